#include "ads/MediationController.h"

#include <exception>

#include <nlohmann/json.hpp>

#include "ads/AdmForRealTime.h"
#include "ads/IPlacementController.h"
#include "ads/IPlacementsController.h"
#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "config/IPersistentSettingsController.h"
#include "config/JsonReadRules.h"
#include "device/IDeviceInfoController.h"
#include "net/Base64.h"
#include "net/Gzip.h"
#include "net/RequestHeaders.h"
#include "net/ServerRequests.h"
#include "privacy/ICcpaController.h"
#include "privacy/ICoppaController.h"
#include "privacy/IGdprController.h"
#include "server/AdResponse.h"
#include "server/RequestBodies.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

// CR LF and lone CR become LF; a text of blanks only becomes empty.
std::string NormaliseLineEnds(const std::string& text) {
  if (text.find_first_not_of(" \t\r\n\f\v") == std::string::npos) return {};
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
      continue;
    }
    out += '\n';
    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  return out;
}

}  // namespace

std::future<bool> MediationController::Initialize() {
  return MakeReadyFuture(true);
}

std::string MediationController::GetSuperToken(const std::string& /*argument*/) {
  Json token = Json::object();
  try {
    if (auto ccpa = R::GetCcpaController()) MergeJson(token, ccpa->GetBidTokenCcpaJson());
    if (auto coppa = R::GetCoppaController()) MergeJson(token, coppa->GetBidTokenCoppaJson());
    if (auto gdpr = R::GetGdprController()) MergeJson(token, gdpr->GetBidTokenGdprJson());
    if (auto device = R::GetDeviceInfoController()) MergeJson(token, device->GetBidTokenDeviceJson());
    std::int32_t ordinal = 0;
    {
      std::lock_guard lock(m_mutex);
      ordinal = m_ordinal;
    }
    std::string extension;
    if (auto settings = R::GetPersistentSettingsController()) extension = settings->GetConfigExtension();
    MergeJson(token, Json{{"ext", {{"config_extension", extension}, {"ordinal_view", ordinal}}},
                          {"request", {{"sdk_user_agent", BuildSdkUserAgent("native")}}}});
  } catch (const std::exception& e) {
    LogException(e);
  }
  // Bytes that are not UTF-8 (a stored extension, a device name) must not cost the whole token.
  const std::string text = NormaliseLineEnds(token.dump(-1, ' ', false, Json::error_handler_t::replace));
  return "4:" + Base64Encode(GzipCompress(text));
}

std::shared_ptr<AdmForRealTime> MediationController::ParseHeaderBiddingMarkup(const std::string& markup) {
  if (markup.empty()) {
    LogError("No header bidding markup to parse");
    return std::make_shared<AdmForRealTime>();
  }
  Json parsed;
  try {
    parsed = JsonReadRules::Parse(markup);
  } catch (const Json::exception& e) {
    LogError(JsonReadRules::ErrorText(e));
  }
  auto result = std::make_shared<AdmForRealTime>(std::move(parsed));
  if (!result->IsValid()) LogError("Couldn't parse header bidding markup");
  return result;
}

std::shared_ptr<AdResponse> MediationController::MakeAdResponse(const std::string& adUnit) {
  auto response = std::make_shared<AdResponse>();
  response->m_text = adUnit;
  response->m_request = std::make_shared<ServerRequests>();
  return response;
}

bool MediationController::LoadMediatedAd(const std::string& placementId, const AdLoadCallback& callback,
                                         const std::string& markupText) {
  IPlacementController* placement = nullptr;
  try {
    const auto markup = ParseHeaderBiddingMarkup(markupText);
    auto placements = R::GetPlacementsController();
    // A refusal returns false and calls nothing: the caller knows at once.
    if (!markup->IsValid()) {
      LogWarn("LoadMediatedAd: Please specify valid Ad Markup. ");
      return false;
    }
    const std::string adUnit = markup->GetAdUnit();
    if (adUnit.empty()) {
      LogWarn("LoadMediatedAd: Ad Markup does not contain Ad!");
      return false;
    }
    auto response = MakeAdResponse(adUnit);
    // The download's outcome goes to the callbacks of the response's request.
    response->m_request->m_onSuccess = callback.OnAdLoadSuccess;
    response->m_request->m_onFailure = callback.OnAdLoadFailure;
    if (!placements) {
      LogError("LoadMediatedAd: PlacementsController is not initialized.");
      return false;
    }
    placement = placements->FindPlacement(placementId);
    if (!placement) {
      LogError("LoadMediatedAd: Placement " + placementId + " doesn't exist.");
      return false;
    }
    placement->OnAdResponse(response);
    return true;
  } catch (const std::exception& e) {
    LogException(e);
    if (!placement) return false;
    // The placement took the ad unit: its load ends in a callback like any other.
    placement->NotifyLoadResult(placementId, callback.OnAdLoadSuccess, callback.OnAdLoadFailure, e.what());
    return true;
  }
}

}  // namespace kestrel
