#include "ads/MediationController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> MediationController::Initialize() {
  return MakeReadyFuture(true);
}

std::string MediationController::GetSuperToken(const std::string& /*argument*/) {
  return {};
}

std::shared_ptr<AdmForRealTime> MediationController::ParseHeaderBiddingMarkup(const std::string& /*markup*/) {
  return nullptr;
}

bool MediationController::LoadMediatedAd(const std::string& /*placementId*/, const AdLoadCallback& /*callback*/,
                                         const std::string& /*markup*/) {
  return false;
}

std::shared_ptr<AdResponse> MediationController::MakeAdResponse(const std::string& /*adUnit*/) {
  return nullptr;
}

}  // namespace kestrel
