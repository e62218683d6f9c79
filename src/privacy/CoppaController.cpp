#include "privacy/CoppaController.h"


#include <nlohmann/json.hpp>

#include "base/Log.h"
#include "net/RequestBase.h"
#include "privacy/PrivacyGuard.h"

namespace kestrel {

std::future<bool> CoppaController::Initialize() {
  return MakeReadyFuture(true);
}

Json CoppaController::GetCoppaJson() {
  return RunGuarded(Json(), [&] {
    auto settings = RequireSettings();
    std::lock_guard lock(m_mutex);
    // Nothing stored: the publisher never said, and the fragment adds nothing.
    if (!settings->HasCoppaConsentStatus()) return Json();
    // The fragment carries the flag as text; UpdateCoppaInRequest writes a boolean.
    const char* value = settings->GetCoppaConsentStatus() ? "true" : "false";
    return Json{{"user", {{"coppa", {{"is_coppa", value}}}}}};
  });
}

Json CoppaController::GetBidTokenCoppaJson() {
  return GetCoppaJson();
}

bool CoppaController::GetCoppaStatus() {
  try {
    auto settings = RequireSettings();
    std::lock_guard lock(m_mutex);
    return settings->GetCoppaConsentStatus();
  } catch (const std::exception& e) {
    // Read on every request body; kept out of the diagnostic log.
    WriteLine(stderr, e.what());
  } catch (...) {
    WriteLine(stderr, "Unknown exception in GetCoppaStatus");
  }
  return false;
}

void CoppaController::SetCoppaStatus(bool status) {
  RunGuarded([&] {
    auto settings = RequireSettings();
    std::lock_guard lock(m_mutex);
    settings->SetCoppaConsentStatus(status);
  });
}

void CoppaController::UpdateCoppaInRequest(RequestBase& request) {
  RunGuarded([&] {
    auto settings = RequireSettings();
    std::lock_guard lock(m_mutex);
    Json& body = request.m_body;
    if (body.is_null() || body.empty() || !settings->HasCoppaConsentStatus()) return;
    const bool value = settings->GetCoppaConsentStatus();
    Json& user = body["user"];
    if (user.is_null()) user = Json::object();
    Json& coppa = user["coppa"];
    if (coppa.is_null()) coppa = Json::object();
    coppa["is_coppa"] = value;
  });
}

}  // namespace kestrel
