#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

using InitializationSuccessHandler = std::function<void(const InitializationSuccessEventArgs&)>;
using InitializationFailureHandler = std::function<void(const InitializationFailureEventArgs&)>;

// Fetches the configuration, applies it and reports the outcome.
class IInitializationController : public IBaseController {
 public:
  virtual std::future<bool> InitializeWithCallbacks(std::string appId, std::string configText,
                                                    InitializationSuccessHandler onSuccess,
                                                    InitializationFailureHandler onFailure) = 0;
  virtual bool GetHeartbeatCheckEnabled() = 0;
  virtual bool GetPlatformDisabledAdId() = 0;
  virtual void SetPlatformDisabledAdId(bool disabled) = 0;
  virtual Json GetExtJson() = 0;
  virtual std::vector<PlacementRecord> GetPlacements() = 0;
};

}  // namespace kestrel
