#pragma once

#include "display/IMraidBridgePropertiesController.h"

namespace kestrel {

class MraidBridgePropertiesController : public IMraidBridgePropertiesController {
 public:
  std::future<bool> Initialize() override;
  Json GetBridgeProperties(const std::string& placementType, bool incentivized) override;
};

}  // namespace kestrel
