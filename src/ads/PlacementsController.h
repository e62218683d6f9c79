#pragma once

#include "ads/IPlacementsController.h"

namespace kestrel {

class PlacementsController : public IPlacementsController {
 public:
  std::future<bool> Initialize() override;
  bool LoadAd(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure) override;
  KestrelAdPlayInfo PlayAd(const std::string& name, const AdConfig& config, KestrelAdPlayInfo info,
                           const std::string& markup) override;
  void AddPlacement(const PlacementRecord& record) override;
  IPlacementController* FindPlacement(const std::string& name) override;
  void NotifyLoadResult(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure,
                        const std::string& message) override;
};

}  // namespace kestrel
