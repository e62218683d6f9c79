#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// The life of one placement: load, play and the events of the playing ad.
class IPlacementController : public IBaseController {
 public:
  virtual std::future<bool> LoadAd(AdLoadHandler onSuccess, AdLoadHandler onFailure) = 0;
  virtual KestrelAdPlayInfo PlayAd(const AdConfig& config, KestrelAdPlayInfo info, const std::string& markup) = 0;
  virtual bool IsAdPlayable(const std::string& name) = 0;
  virtual std::string GetPlacementId() = 0;
  virtual void OnAdResponse(std::shared_ptr<ResponseBase> response) = 0;
  virtual std::int32_t CountPlayableBundles() = 0;
  virtual bool IsHeaderBidding() = 0;
  virtual void NotifyLoadResult(const std::string& placementId, AdLoadHandler onSuccess, AdLoadHandler onFailure,
                                const std::string& message) = 0;
};

}  // namespace kestrel
