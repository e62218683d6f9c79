#include "privacy/CcpaController.h"

#include <nlohmann/json.hpp>

#include "net/RequestBase.h"
#include "privacy/PrivacyGuard.h"

namespace kestrel {

std::future<bool> CcpaController::Initialize() {
  return MakeReadyFuture(true);
}

const char* CcpaController::StatusText() {
  // Never set (0) and anything unknown count as opted in.
  return RequireSettings()->GetCcpaInternalConsentStatus() == Number(kOptedOut) ? "opted_out" : "opted_in";
}

void CcpaController::SetCcpaStatus(CcpaStatus status) {
  RunGuarded([&] {
    auto settings = RequireSettings();
    std::lock_guard lock(m_mutex);
    settings->SetCcpaInternalConsentStatus(Number(status == kOptedOut ? kOptedOut : kOptedIn));
  });
}

CcpaStatus CcpaController::GetCcpaStatus() {
  return RunGuarded(kOptedIn, [&] {
    auto settings = RequireSettings();
    std::lock_guard lock(m_mutex);
    return settings->GetCcpaInternalConsentStatus() == Number(kOptedOut) ? kOptedOut : kOptedIn;
  });
}

Json CcpaController::GetCcpaJson() {
  return RunGuarded(Json(), [&] {
    std::lock_guard lock(m_mutex);
    return Json{{"user", {{"ccpa", {{"status", StatusText()}}}}}};
  });
}

Json CcpaController::GetBidTokenCcpaJson() {
  return GetCcpaJson();
}

void CcpaController::UpdateCcpaInRequest(RequestBase& request) {
  RunGuarded([&] {
    std::lock_guard lock(m_mutex);
    Json& body = request.m_body;
    if (!body.is_object()) return;
    auto user = body.find("user");
    if (user == body.end() || !user->is_object()) return;
    auto ccpa = user->find("ccpa");
    if (ccpa == user->end() || !ccpa->is_object() || !ccpa->contains("status")) return;
    (*ccpa)["status"] = StatusText();
  });
}

}  // namespace kestrel
