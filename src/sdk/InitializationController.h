#pragma once

#include "sdk/IInitializationController.h"

namespace kestrel {

class InitializationController : public IInitializationController {
 public:
  std::future<bool> Initialize() override;
  std::future<bool> InitializeWithCallbacks(std::string appId, std::string configText,
                                            InitializationSuccessHandler onSuccess,
                                            InitializationFailureHandler onFailure) override;
  bool GetHeartbeatCheckEnabled() override;
  bool GetPlatformDisabledAdId() override;
  void SetPlatformDisabledAdId(bool disabled) override;
  Json GetExtJson() override;
  std::vector<PlacementRecord> GetPlacements() override;
};

}  // namespace kestrel
