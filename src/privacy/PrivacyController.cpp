#include "privacy/PrivacyController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> PrivacyController::Initialize() {
  return MakeReadyFuture(true);
}

std::string PrivacyController::FilterAdvertisingId(const std::string& /*id*/) {
  return {};
}

std::string PrivacyController::FilterHardwareId(const std::string& /*id*/) {
  return {};
}

}  // namespace kestrel
