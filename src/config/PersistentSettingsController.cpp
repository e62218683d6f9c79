#include "config/PersistentSettingsController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

PersistentSettingsController::PersistentSettingsController(const std::string& /*folder*/) {}

std::future<bool> PersistentSettingsController::Initialize() { return MakeReadyFuture(true); }

bool PersistentSettingsController::GetPlatformDisabledAdId() { return false; }

void PersistentSettingsController::SetPlatformDisabledAdId(bool /*value*/) {}

bool PersistentSettingsController::HasCoppaConsentStatus() { return false; }

bool PersistentSettingsController::GetCoppaConsentStatus() { return false; }

void PersistentSettingsController::SetCoppaConsentStatus(bool /*value*/) {}

void PersistentSettingsController::ClearCoppaConsentStatus() {}

std::int32_t PersistentSettingsController::GetCcpaInternalConsentStatus() { return 0; }

void PersistentSettingsController::SetCcpaInternalConsentStatus(std::int32_t /*value*/) {}

void PersistentSettingsController::ClearCcpaInternalConsentStatus() {}

std::string PersistentSettingsController::GetConfigExtension() { return {}; }

void PersistentSettingsController::SetConfigExtension(const std::string& /*value*/) {}

std::int32_t PersistentSettingsController::GetGdprConsentStatus() { return 0; }

void PersistentSettingsController::SetGdprConsentStatus(std::int32_t /*value*/) {}

std::int32_t PersistentSettingsController::GetGdprConsentSource() { return 0; }

void PersistentSettingsController::SetGdprConsentSource(std::int32_t /*value*/) {}

std::string PersistentSettingsController::GetGdprConsentMessageVersion() { return {}; }

void PersistentSettingsController::SetGdprConsentMessageVersion(const std::string& /*value*/) {}

std::int32_t PersistentSettingsController::GetGdprConsentTimestamp() { return 0; }

void PersistentSettingsController::SetGdprConsentTimestamp(std::int32_t /*value*/) {}

void PersistentSettingsController::ClearGdprSettings() {}

bool PersistentSettingsController::GetWatchForGDPRTimeout() { return false; }

void PersistentSettingsController::SetWatchForGDPRTimeout(bool /*value*/) {}

std::string PersistentSettingsController::GetGdprLastConsentMessageVersionFromServer() { return {}; }

void PersistentSettingsController::SetGdprLastConsentMessageVersionFromServer(const std::string& /*value*/) {}

bool PersistentSettingsController::HasSetting(const std::string& /*key*/) { return false; }

bool PersistentSettingsController::GetPublisherDisableAshwidTracking() { return false; }

void PersistentSettingsController::SetPublisherDisableAshwidTracking(bool /*value*/) {}

}  // namespace kestrel
