#pragma once

#include <cstdint>

#include "display/IMraidBridgePropertiesController.h"

namespace kestrel {

// Builds the MRAID properties a creative receives; every leaf value is a JSON
// string. Keeps no state: the GDPR and device controllers are read per call.
class MraidBridgePropertiesController : public IMraidBridgePropertiesController {
 public:
  std::future<bool> Initialize() override;
  Json GetBridgeProperties(const std::string& placementType, bool incentivized) override;

  // What the ad host sends when the overlay window changes size.
  static Json BuildSizeUpdate(std::int32_t width, std::int32_t height);
};

}  // namespace kestrel
