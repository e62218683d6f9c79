#pragma once

#include "config/IPersistentSettingsController.h"

namespace kestrel {

class PersistentSettingsController : public IPersistentSettingsController {
 public:
  explicit PersistentSettingsController(const std::string& folder);
  std::future<bool> Initialize() override;
  bool GetPlatformDisabledAdId() override;
  void SetPlatformDisabledAdId(bool value) override;
  bool HasCoppaConsentStatus() override;
  bool GetCoppaConsentStatus() override;
  void SetCoppaConsentStatus(bool value) override;
  void ClearCoppaConsentStatus() override;
  std::int32_t GetCcpaInternalConsentStatus() override;
  void SetCcpaInternalConsentStatus(std::int32_t value) override;
  void ClearCcpaInternalConsentStatus() override;
  std::string GetConfigExtension() override;
  void SetConfigExtension(const std::string& value) override;
  std::int32_t GetGdprConsentStatus() override;
  void SetGdprConsentStatus(std::int32_t value) override;
  std::int32_t GetGdprConsentSource() override;
  void SetGdprConsentSource(std::int32_t value) override;
  std::string GetGdprConsentMessageVersion() override;
  void SetGdprConsentMessageVersion(const std::string& value) override;
  std::int32_t GetGdprConsentTimestamp() override;
  void SetGdprConsentTimestamp(std::int32_t value) override;
  void ClearGdprSettings() override;
  bool GetWatchForGDPRTimeout() override;
  void SetWatchForGDPRTimeout(bool value) override;
  std::string GetGdprLastConsentMessageVersionFromServer() override;
  void SetGdprLastConsentMessageVersionFromServer(const std::string& value) override;
  bool HasSetting(const std::string& key) override;
  bool GetPublisherDisableAshwidTracking() override;
  void SetPublisherDisableAshwidTracking(bool value) override;
};

}  // namespace kestrel
