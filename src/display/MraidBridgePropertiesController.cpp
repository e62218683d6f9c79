#include "display/MraidBridgePropertiesController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> MraidBridgePropertiesController::Initialize() {
  return MakeReadyFuture(true);
}

Json MraidBridgePropertiesController::GetBridgeProperties(const std::string& /*placementType*/, bool /*incentivized*/) {
  return {};
}

}  // namespace kestrel
