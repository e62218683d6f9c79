#pragma once

#include <string>

#include "base/Forward.h"

namespace kestrel {

// The load callbacks a publisher gave for a placement: they hear what the SDK
// loads by itself and the expiry of loaded ads. Kept across initialisations;
// safe on any thread.
class PlacementCallbacks {
 public:
  // Empty members remove the placement's callbacks.
  static void Set(const std::string& placement, AdLoadCallback callbacks);
  static AdLoadCallback Get(const std::string& placement);
  static void Clear();
};

}  // namespace kestrel
