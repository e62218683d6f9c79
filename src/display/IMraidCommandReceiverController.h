#pragma once

#include <string>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// Checks and dispatches the command URLs a creative posts.
class IMraidCommandReceiverController : public IBaseController {
 public:
  // True when the creative should be told that the command completed.
  virtual bool ProcessReceivedMraidCommand(const std::string& message, DisplayAdController* ad) = 0;
};

}  // namespace kestrel
