#include "config/PersistentSettingsController.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "platform/Paths.h"
#include "platform/PlatformServices.h"
#include "storage/IFileSystemController.h"

namespace kestrel {
namespace {

constexpr const char* kFileName = "settings.ke";

constexpr const char* kPlatformDisabledAdId = "PlatformDisabledAdId";
constexpr const char* kPlatformDisabledMsaid = "PlatformDisabledMsaid";
constexpr const char* kCoppaConsentStatus = "CoppaConsentStatus";
constexpr const char* kCcpaInternalConsentStatus = "CcpaInternalConsentStatus";
constexpr const char* kGdprConsentStatus = "GdprConsentStatus";
constexpr const char* kGdprConsentSource = "GdprConsentSource";
constexpr const char* kGdprConsentMessageVersion = "GdprConsentMessageVersion";
constexpr const char* kGdprConsentTimestamp = "GdprConsentTimestamp";
constexpr const char* kWatchForGDPRTimeout = "WatchForGDPRTimeout";
constexpr const char* kGdprLastConsentMessageVersionFromServer = "GdprLastConsentMessageVersionFromServer";
constexpr const char* kConfigExtension = "configExtension";
constexpr const char* kPublisherDisableAshwidTracking = "PublisherDisableAshwidTracking";

// Leading blanks and a sign allowed, trailing text ignored; no number, or one
// outside the 32-bit range, gives 0.
std::int32_t ParseInt32(const std::string& text) {
  try {
    const long long value = std::stoll(text);
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) return 0;
    return static_cast<std::int32_t>(value);
  } catch (const std::logic_error&) {
    return 0;
  }
}

const char* BoolText(bool value) {
  return value ? "true" : "false";
}

}  // namespace

PersistentSettingsController::PersistentSettingsController(const std::string& folder) {
  try {
    std::string sdkFolder = folder;
    if (sdkFolder.empty()) {
      if (auto fileSystem = ControllerRegistry::GetFileSystemController()) sdkFolder = fileSystem->GetSdkFolder();
    }
    if (sdkFolder.empty()) {
      LogError("No SDK folder, so settings are kept in memory only");
      return;
    }
    m_filePath = JoinPath(sdkFolder, kFileName);
    std::lock_guard lock(m_mutex);
    LoadSettingsFromFile();
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError("Unknown exception in PersistentSettingsController constructor");
  }
}

std::future<bool> PersistentSettingsController::Initialize() {
  return MakeReadyFuture(true);
}

// What it throws the constructor logs.
void PersistentSettingsController::LoadSettingsFromFile() {
  // Binary, so that lines written on Windows (CR LF) read the same here.
  std::ifstream in(PathFromUtf8(m_filePath), std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (std::filesystem::exists(PathFromUtf8(m_filePath), ec)) LogError("Can't read settings from " + m_filePath);
    return;
  }
  m_settings.clear();
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    m_settings[line.substr(0, equals)] = line.substr(equals + 1);
  }
  m_fileCurrent = !in.bad();
}

void PersistentSettingsController::SaveSettingsToFile() {
  m_fileCurrent = false;
  try {
    if (m_filePath.empty()) return;
    std::string contents;
    for (const auto& [key, value] : m_settings) contents += key + "=" + value + "\n";
    // Before initialisation the SDK folder may not exist yet.
    std::error_code ec;
    std::filesystem::create_directories(PathFromUtf8(m_filePath).parent_path(), ec);
    std::string error;
    if (PlatformServices::FileSystem()->ReplaceFile(m_filePath, contents, error)) {
      m_fileCurrent = true;
      m_saveFailing = false;
    } else {
      // Every unsaved change gets a line; only the first of a run of failures is an
      // Error, and none when the folder itself is missing: its creation failed loudly.
      const bool folderMissing = !std::filesystem::is_directory(PathFromUtf8(m_filePath).parent_path(), ec);
      const std::string line = "Can't save settings: " + error;
      m_saveFailing || folderMissing ? LogWarn(line) : LogError(line);
      m_saveFailing = true;
    }
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError("Unknown exception in SaveSettingsToFile");
  }
}

bool PersistentSettingsController::GetBool(const std::string& key) {
  return GetText(key) == "true";
}

std::int32_t PersistentSettingsController::GetInt(const std::string& key) {
  return ParseInt32(GetText(key));
}

std::string PersistentSettingsController::GetText(const std::string& key) {
  std::lock_guard lock(m_mutex);
  const auto it = m_settings.find(key);
  return it == m_settings.end() ? std::string() : it->second;
}

void PersistentSettingsController::Set(const std::string& key, const std::string& value) {
  try {
    // A line end would split the entry in two when the file is read back.
    if (value.find_first_of("\r\n") != std::string::npos) {
      LogError("Can't store " + key + ": the value holds a line end");
      return;
    }
    std::lock_guard lock(m_mutex);
    const auto found = m_settings.find(key);
    // Setting the value the file already holds changes nothing: no rewrite (and no sync to disk).
    if (m_fileCurrent && found != m_settings.end() && found->second == value) return;
    m_settings[key] = value;
    SaveSettingsToFile();
  } catch (const std::exception& e) {
    WriteLine(stderr, std::string("Exception: ") + e.what());
  }
}

void PersistentSettingsController::Remove(std::initializer_list<const char*> keys) {
  try {
    std::lock_guard lock(m_mutex);
    for (const char* key : keys) m_settings.erase(key);
    SaveSettingsToFile();
  } catch (const std::exception& e) {
    WriteLine(stderr, std::string("Exception: ") + e.what());
  }
}

bool PersistentSettingsController::GetPlatformDisabledAdId() {
  return GetBool(kPlatformDisabledAdId);
}

void PersistentSettingsController::SetPlatformDisabledAdId(bool value) {
  Set(kPlatformDisabledAdId, BoolText(value));
}

bool PersistentSettingsController::HasCoppaConsentStatus() {
  return HasSetting(kCoppaConsentStatus);
}

bool PersistentSettingsController::GetCoppaConsentStatus() {
  return GetBool(kCoppaConsentStatus);
}

void PersistentSettingsController::SetCoppaConsentStatus(bool value) {
  Set(kCoppaConsentStatus, BoolText(value));
}

void PersistentSettingsController::ClearCoppaConsentStatus() {
  Remove({kCoppaConsentStatus, kPlatformDisabledMsaid});
}

std::int32_t PersistentSettingsController::GetCcpaInternalConsentStatus() {
  return GetInt(kCcpaInternalConsentStatus);
}

void PersistentSettingsController::SetCcpaInternalConsentStatus(std::int32_t value) {
  Set(kCcpaInternalConsentStatus, std::to_string(value));
}

void PersistentSettingsController::ClearCcpaInternalConsentStatus() {
  Remove({kCcpaInternalConsentStatus});
}

std::string PersistentSettingsController::GetConfigExtension() {
  return GetText(kConfigExtension);
}

void PersistentSettingsController::SetConfigExtension(const std::string& value) {
  Set(kConfigExtension, value);
}

std::int32_t PersistentSettingsController::GetGdprConsentStatus() {
  return GetInt(kGdprConsentStatus);
}

void PersistentSettingsController::SetGdprConsentStatus(std::int32_t value) {
  Set(kGdprConsentStatus, std::to_string(value));
}

std::int32_t PersistentSettingsController::GetGdprConsentSource() {
  return GetInt(kGdprConsentSource);
}

void PersistentSettingsController::SetGdprConsentSource(std::int32_t value) {
  Set(kGdprConsentSource, std::to_string(value));
}

std::string PersistentSettingsController::GetGdprConsentMessageVersion() {
  return GetText(kGdprConsentMessageVersion);
}

void PersistentSettingsController::SetGdprConsentMessageVersion(const std::string& value) {
  Set(kGdprConsentMessageVersion, value);
}

std::int32_t PersistentSettingsController::GetGdprConsentTimestamp() {
  return GetInt(kGdprConsentTimestamp);
}

void PersistentSettingsController::SetGdprConsentTimestamp(std::int32_t value) {
  Set(kGdprConsentTimestamp, std::to_string(value));
}

void PersistentSettingsController::ClearGdprSettings() {
  Remove({kGdprConsentStatus, kGdprConsentSource, kGdprConsentMessageVersion, kGdprConsentTimestamp,
          kWatchForGDPRTimeout, kGdprLastConsentMessageVersionFromServer});
}

bool PersistentSettingsController::GetWatchForGDPRTimeout() {
  return GetBool(kWatchForGDPRTimeout);
}

void PersistentSettingsController::SetWatchForGDPRTimeout(bool value) {
  Set(kWatchForGDPRTimeout, BoolText(value));
}

std::string PersistentSettingsController::GetGdprLastConsentMessageVersionFromServer() {
  return GetText(kGdprLastConsentMessageVersionFromServer);
}

void PersistentSettingsController::SetGdprLastConsentMessageVersionFromServer(const std::string& value) {
  Set(kGdprLastConsentMessageVersionFromServer, value);
}

bool PersistentSettingsController::HasSetting(const std::string& key) {
  std::lock_guard lock(m_mutex);
  return m_settings.count(key) > 0;
}

bool PersistentSettingsController::GetPublisherDisableAshwidTracking() {
  return GetBool(kPublisherDisableAshwidTracking);
}

void PersistentSettingsController::SetPublisherDisableAshwidTracking(bool value) {
  Set(kPublisherDisableAshwidTracking, BoolText(value));
}

}  // namespace kestrel
