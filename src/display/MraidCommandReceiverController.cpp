#include "display/MraidCommandReceiverController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> MraidCommandReceiverController::Initialize() {
  return MakeReadyFuture(true);
}

bool MraidCommandReceiverController::ProcessReceivedMraidCommand(const std::string& /*message*/,
                                                                 DisplayAdController* /*ad*/) {
  return false;
}

}  // namespace kestrel
