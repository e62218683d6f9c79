#include "ads/PlacementsController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> PlacementsController::Initialize() {
  return MakeReadyFuture(true);
}

bool PlacementsController::LoadAd(const std::string& /*name*/, AdLoadHandler /*onSuccess*/,
                                  AdLoadHandler /*onFailure*/) {
  return false;
}

KestrelAdPlayInfo PlacementsController::PlayAd(const std::string& /*name*/, const AdConfig& /*config*/,
                                               KestrelAdPlayInfo info, const std::string& /*markup*/) {
  info.Success = false;
  return info;
}

void PlacementsController::AddPlacement(const PlacementRecord& /*record*/) {}

IPlacementController* PlacementsController::FindPlacement(const std::string& /*name*/) {
  return nullptr;
}

void PlacementsController::NotifyLoadResult(const std::string& /*name*/, AdLoadHandler /*onSuccess*/,
                                            AdLoadHandler /*onFailure*/, const std::string& /*message*/) {}

}  // namespace kestrel
