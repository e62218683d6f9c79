#pragma once

#include <string>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// Owns one placement controller per configured placement and routes calls by name.
class IPlacementsController : public IBaseController {
 public:
  virtual bool LoadAd(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure) = 0;
  virtual KestrelAdPlayInfo PlayAd(const std::string& name, const AdConfig& config, KestrelAdPlayInfo info,
                                   const std::string& markup) = 0;
  virtual void AddPlacement(const PlacementRecord& record) = 0;
  virtual IPlacementController* FindPlacement(const std::string& name) = 0;
  virtual void NotifyLoadResult(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure,
                                const std::string& message) = 0;
  // The first automatic load of every auto-cached placement; once the ad server is known.
  virtual void StartAutoLoads() = 0;
};

}  // namespace kestrel
