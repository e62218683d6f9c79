#include "sdk/InitializationController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> InitializationController::Initialize() {
  return MakeReadyFuture(true);
}

std::future<bool> InitializationController::InitializeWithCallbacks(std::string /*appId*/, std::string /*configText*/,
                                                                    InitializationSuccessHandler /*onSuccess*/,
                                                                    InitializationFailureHandler /*onFailure*/) {
  return MakeReadyFuture(false);
}

bool InitializationController::GetHeartbeatCheckEnabled() {
  return false;
}

bool InitializationController::GetPlatformDisabledAdId() {
  return false;
}

void InitializationController::SetPlatformDisabledAdId(bool /*disabled*/) {}

Json InitializationController::GetExtJson() {
  return {};
}

std::vector<PlacementRecord> InitializationController::GetPlacements() {
  return {};
}

}  // namespace kestrel
