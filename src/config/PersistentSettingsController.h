#pragma once

#include <initializer_list>
#include <map>
#include <mutex>

#include "config/IPersistentSettingsController.h"

namespace kestrel {

// Keeps the settings in memory, loaded once from settings.ke in the SDK folder,
// and replaces the file whole after every change.
class PersistentSettingsController : public IPersistentSettingsController {
 public:
  // Uses settings.ke in folder, or in the SDK folder of the registry's file
  // system controller when folder is empty.
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

 private:
  bool GetBool(const std::string& key);
  std::int32_t GetInt(const std::string& key);
  std::string GetText(const std::string& key);
  void Set(const std::string& key, const std::string& value);
  void Remove(std::initializer_list<const char*> keys);
  void LoadSettingsFromFile();
  void SaveSettingsToFile();  // the caller holds m_mutex

  std::map<std::string, std::string> m_settings;
  std::mutex m_mutex;      // guards m_settings and the file
  std::string m_filePath;  // empty when no SDK folder is known: nothing is read or written
  // The file holds exactly m_settings; guarded by m_mutex.
  bool m_fileCurrent = false;
  bool m_saveFailing = false;  // the last save failed; guarded by m_mutex
};

}  // namespace kestrel
