#pragma once

#include <vector>

#include "kestrel/KestrelAds.h"
#include "net/ResponseBase.h"

namespace kestrel {

// The /config answer and the placements built from it.
class ConfigResponse : public ResponseBase {
 public:
  std::vector<PlacementRecord> m_placements;
};

}  // namespace kestrel
