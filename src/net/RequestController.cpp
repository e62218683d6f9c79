#include "net/RequestController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> RequestController::Initialize() {
  return MakeReadyFuture(true);
}

std::future<void> RequestController::RequestConfig() {
  return [] {
    std::promise<void> p;
    p.set_value();
    return p.get_future();
  }();
}

std::future<void> RequestController::RequestAd(const std::string& /*placementId*/, bool /*headerBidding*/,
                                               AdLoadHandler /*onSuccess*/, AdLoadHandler /*onFailure*/) {
  return [] {
    std::promise<void> p;
    p.set_value();
    return p.get_future();
  }();
}

bool RequestController::DownloadAdPart(const std::string& /*identifier*/, const std::string& /*partName*/,
                                       const std::string& /*eventId*/, const std::string& /*partUrl*/,
                                       const std::string& /*folderName*/) {
  return false;
}

std::future<bool> RequestController::ProcessPendingRequests() {
  return MakeReadyFuture(false);
}

std::future<void> RequestController::SendTrackingUrl(const std::string& /*url*/) {
  return [] {
    std::promise<void> p;
    p.set_value();
    return p.get_future();
  }();
}

std::int32_t RequestController::AddResponseListener(ResponseListener /*listener*/) {
  return 0;
}

void RequestController::RemoveResponseListener(std::int32_t /*id*/) {}

std::string RequestController::GetConfigRequestName() {
  return {};
}

std::string RequestController::GetTpatRequestName() {
  return {};
}

std::string RequestController::JoinRequestName(const std::string& /*first*/, const std::string& /*second*/) {
  return {};
}

}  // namespace kestrel
