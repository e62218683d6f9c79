#pragma once

#include <string>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// What the creative is told about a message it posted.
struct MraidAnswer {
  bool complete = false;  // the bridge may send its next command
  std::string refusal;    // why the command was not carried out; empty when it was
};

// Checks and dispatches the command URLs a creative posts.
class IMraidCommandReceiverController : public IBaseController {
 public:
  virtual MraidAnswer ProcessReceivedMraidCommand(const std::string& message, DisplayAdController* ad) = 0;
};

}  // namespace kestrel
