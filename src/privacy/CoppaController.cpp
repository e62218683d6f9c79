#include "privacy/CoppaController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> CoppaController::Initialize() {
  return MakeReadyFuture(true);
}

Json CoppaController::GetCoppaJson() {
  return {};
}

Json CoppaController::GetBidTokenCoppaJson() {
  return {};
}

bool CoppaController::GetCoppaStatus() {
  return false;
}

void CoppaController::SetCoppaStatus(bool /*status*/) {}

void CoppaController::UpdateCoppaInRequest(RequestBase& /*request*/) {}

}  // namespace kestrel
