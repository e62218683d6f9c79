#include "config/EndpointController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> EndpointController::Initialize() {
  return MakeReadyFuture(true);
}

std::string EndpointController::GetConfigUrl() {
  return {};
}

void EndpointController::SetConfigUrl(const std::string& /*url*/) {}

std::string EndpointController::GetNewEndpoint() {
  return {};
}

void EndpointController::SetNewEndpoint(const std::string& /*url*/) {}

std::string EndpointController::GetAdsUrl() {
  return {};
}

void EndpointController::SetAdsUrl(const std::string& /*url*/) {}

std::string EndpointController::GetLogEndpoint() {
  return {};
}

void EndpointController::SetLogEndpoint(const std::string& /*url*/) {}

std::string EndpointController::GetRiEndpoint() {
  return {};
}

void EndpointController::SetRiEndpoint(const std::string& /*url*/) {}

std::string EndpointController::GetSdkBiEndpoint() {
  return {};
}

void EndpointController::SetSdkBiEndpoint(const std::string& /*url*/) {}

}  // namespace kestrel
