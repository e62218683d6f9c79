#pragma once

#include "display/IMraidCommandReceiverController.h"

namespace kestrel {

class MraidCommandReceiverController : public IMraidCommandReceiverController {
 public:
  std::future<bool> Initialize() override;
  bool ProcessReceivedMraidCommand(const std::string& message, DisplayAdController* ad) override;
};

}  // namespace kestrel
