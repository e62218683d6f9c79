#include "privacy/CcpaController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> CcpaController::Initialize() {
  return MakeReadyFuture(true);
}

void CcpaController::SetCcpaStatus(std::int32_t /*status*/) {}

std::int32_t CcpaController::GetCcpaStatus() {
  return 0;
}

Json CcpaController::GetCcpaJson() {
  return {};
}

Json CcpaController::GetBidTokenCcpaJson() {
  return {};
}

void CcpaController::UpdateCcpaInRequest(RequestBase& /*request*/) {}

}  // namespace kestrel
