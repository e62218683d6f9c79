#include "privacy/GdprController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> GdprController::Initialize() {
  return MakeReadyFuture(true);
}

bool GdprController::IsGdprEnabled() {
  return false;
}

void GdprController::SetGdprEnabled(bool /*enabled*/) {}

std::string GdprController::GetConsentTitleText() {
  return {};
}

void GdprController::SetConsentTitleText(const std::string& /*text*/) {}

std::string GdprController::GetConsentBodyText() {
  return {};
}

void GdprController::SetConsentBodyText(const std::string& /*text*/) {}

std::string GdprController::GetConsentMessageVersion() {
  return {};
}

void GdprController::SetConsentMessageVersion(const std::string& /*text*/) {}

std::string GdprController::GetConsentAcceptButtonText() {
  return {};
}

void GdprController::SetConsentAcceptButtonText(const std::string& /*text*/) {}

std::string GdprController::GetConsentDenyButtonText() {
  return {};
}

void GdprController::SetConsentDenyButtonText(const std::string& /*text*/) {}

bool GdprController::IsConsentStatusUnknown() {
  return false;
}

bool GdprController::IsConsentRequired() {
  return false;
}

void GdprController::SetConsentStatus(std::int32_t /*status*/, const std::string& /*version*/) {}

void GdprController::SetConsentStatusFromModal(std::int32_t /*status*/) {}

void GdprController::ResetConsentStatusToUnknown() {}

Json GdprController::GetGdprJson() {
  return {};
}

Json GdprController::GetBidTokenGdprJson() {
  return {};
}

std::int32_t GdprController::GetConsentStatus() {
  return 0;
}

void GdprController::StartConsentTimeoutWatch() {}

void GdprController::CheckConsentTimeout() {}

void GdprController::StopConsentTimeoutWatch() {}

void GdprController::GetGdprSettingsFromConfigResponse(std::shared_ptr<ConfigResponse> /*response*/,
                                                       std::shared_ptr<const Json> /*document*/) {}

void GdprController::HandleMraidConsentAction(const Json& /*commandParams*/) {}

void GdprController::AddGdprEnabledListener(std::function<void(bool)> /*listener*/) {}

}  // namespace kestrel
