#pragma once

#include <string>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// The MRAID property set handed to a creative.
class IMraidBridgePropertiesController : public IBaseController {
 public:
  virtual Json GetBridgeProperties(const std::string& placementType, bool incentivized) = 0;
};

}  // namespace kestrel
