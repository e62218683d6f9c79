#pragma once

#include <cstdint>
#include <string>

#include "base/IBaseController.h"

namespace kestrel {

// The SDK's small durable state, kept in settings.ke.
class IPersistentSettingsController : public IBaseController {
 public:
  virtual bool GetPlatformDisabledAdId() = 0;
  virtual void SetPlatformDisabledAdId(bool value) = 0;
  virtual bool HasCoppaConsentStatus() = 0;
  virtual bool GetCoppaConsentStatus() = 0;
  virtual void SetCoppaConsentStatus(bool value) = 0;
  // Kept for the interface; the SDK itself does not call it.
  virtual void ClearCoppaConsentStatus() = 0;
  virtual std::int32_t GetCcpaInternalConsentStatus() = 0;
  virtual void SetCcpaInternalConsentStatus(std::int32_t value) = 0;
  // Kept for the interface; the SDK itself does not call it.
  virtual void ClearCcpaInternalConsentStatus() = 0;
  virtual std::string GetConfigExtension() = 0;
  virtual void SetConfigExtension(const std::string& value) = 0;
  virtual std::int32_t GetGdprConsentStatus() = 0;
  virtual void SetGdprConsentStatus(std::int32_t value) = 0;
  virtual std::int32_t GetGdprConsentSource() = 0;
  virtual void SetGdprConsentSource(std::int32_t value) = 0;
  virtual std::string GetGdprConsentMessageVersion() = 0;
  virtual void SetGdprConsentMessageVersion(const std::string& value) = 0;
  virtual std::int32_t GetGdprConsentTimestamp() = 0;
  virtual void SetGdprConsentTimestamp(std::int32_t value) = 0;
  // Kept for the interface; the SDK itself does not call it.
  virtual void ClearGdprSettings() = 0;
  virtual bool GetWatchForGDPRTimeout() = 0;
  virtual void SetWatchForGDPRTimeout(bool value) = 0;
  virtual std::string GetGdprLastConsentMessageVersionFromServer() = 0;
  virtual void SetGdprLastConsentMessageVersionFromServer(const std::string& value) = 0;
  virtual bool HasSetting(const std::string& key) = 0;
  virtual bool GetPublisherDisableAshwidTracking() = 0;
  virtual void SetPublisherDisableAshwidTracking(bool value) = 0;
};

}  // namespace kestrel
