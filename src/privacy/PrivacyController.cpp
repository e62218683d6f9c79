#include "privacy/PrivacyController.h"

#include <nlohmann/json.hpp>

#include "base/IInitializationController.h"
#include "privacy/CcpaController.h"
#include "privacy/GdprController.h"
#include "privacy/ICoppaController.h"
#include "privacy/PrivacyGuard.h"

namespace kestrel {

using R = ControllerRegistry;

std::future<bool> PrivacyController::Initialize() {
  return MakeReadyFuture(true);
}

// The first rule that holds decides. A controller that is missing restricts:
// without it nobody can say the identifiers may leave the device. The same
// holds for the settings, where every choice below is stored.
bool PrivacyController::IdentifiersRestricted() {
  if (!R::GetPersistentSettingsController()) return true;
  auto init = R::GetInitializationController();
  if (!init || init->GetPlatformDisabledAdId()) return true;

  auto gdpr = R::GetGdprController();
  if (!gdpr) return true;
  const GdprStatus consent = gdpr->GetConsentStatus();
  if (consent == GdprController::kOptedOut || consent == GdprController::kOptedOutByTimeout) return true;

  auto ccpa = R::GetCcpaController();
  if (!ccpa || ccpa->GetCcpaStatus() == CcpaController::kOptedOut) return true;

  auto coppa = R::GetCoppaController();
  return !coppa || coppa->GetCoppaStatus();
}

std::string PrivacyController::FilterAdvertisingId(const std::string& id) {
  return RunGuarded(std::string(), [&] { return IdentifiersRestricted() ? std::string() : id; });
}

std::string PrivacyController::FilterHardwareId(const std::string& id) {
  return RunGuarded(std::string(), [&] {
    if (IdentifiersRestricted()) return std::string();
    auto settings = R::GetPersistentSettingsController();
    if (settings && settings->GetPublisherDisableAshwidTracking()) return std::string();
    return id;
  });
}

}  // namespace kestrel
