#include "config/DatabaseController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> DatabaseController::Initialize() { return MakeReadyFuture(true); }

}  // namespace kestrel
