#include "server/RequestBodies.h"

#include <nlohmann/json.hpp>

#include "base/ControllerRegistry.h"
#include "base/IInitializationController.h"
#include "base/Log.h"
#include "device/IDeviceInfoController.h"
#include "device/IPublisherAppInfoController.h"
#include "net/RequestBase.h"
#include "privacy/ICcpaController.h"
#include "privacy/ICoppaController.h"
#include "privacy/IGdprController.h"

namespace kestrel {

void MergeJson(Json& target, const Json& source) {
  if (!source.is_object()) return;
  for (const auto& [key, value] : source.items()) {
    if (value.is_object()) {
      Json& member = target[key];
      if (member.is_null()) member = Json::object();
      MergeJson(member, value);
    } else {
      target[key] = value;
    }
  }
}

void BuildCommonBody(RequestBase& request) {
  using R = ControllerRegistry;
  try {
    if (auto app = R::GetPublisherAppInfoController()) MergeJson(request.m_body, app->GetAppJson());
    if (auto device = R::GetDeviceInfoController()) MergeJson(request.m_body, device->GetDeviceJson());
    if (auto initialization = R::GetInitializationController()) MergeJson(request.m_body, initialization->GetExtJson());
    if (auto ccpa = R::GetCcpaController()) MergeJson(request.m_body, ccpa->GetCcpaJson());
    if (auto coppa = R::GetCoppaController()) MergeJson(request.m_body, coppa->GetCoppaJson());
    if (auto gdpr = R::GetGdprController()) MergeJson(request.m_body, gdpr->GetGdprJson());
  } catch (const std::exception& e) {
    LogException(e);
  }
}

Json BuildAdRequestObject(const std::string& placementId, bool headerBidding) {
  return {{"request", {{"header_bidding", headerBidding}, {"placements", Json::array({placementId})}}}};
}

}  // namespace kestrel
