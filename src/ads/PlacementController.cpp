#include "ads/PlacementController.h"

#include <chrono>
#include <exception>
#include <filesystem>
#include <future>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "ads/AdmForRealTime.h"
#include "ads/Clock.h"
#include "ads/CreativeBundleController.h"
#include "ads/ReportPlayFailure.h"
#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "display/DisplayAdController.h"
#include "net/RequestBase.h"
#include "platform/Paths.h"
#include "server/AdMarkupModel.h"
#include "server/AdResponse.h"
#include "server/IRequestController.h"
#include "storage/IFileSystemController.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;


// Calls a publisher's play callback; what it throws is logged.
void CallPlayHandler(const std::function<void(AdPlayEventArgs)>& handler, AdPlayEventArgs args) {
  try {
    handler(std::move(args));
  } catch (const std::exception& e) {
    LogException(e);
  }
}

}  // namespace

std::shared_ptr<PlacementController> PlacementController::Create(const PlacementRecord& record) {
  std::shared_ptr<PlacementController> placement(new PlacementController(record));
  if (auto requests = R::GetRequestController()) {
    placement->m_adRequestName =
        requests->JoinRequestName(R::GetFolderName(), "_" + record.ReferenceId + "_ad_request");
    std::weak_ptr<PlacementController> weak = placement;
    placement->m_listenerId = requests->AddResponseListener([weak](std::shared_ptr<ResponseBase> response) {
      if (auto self = weak.lock()) self->OnResponse(response);
    });
    placement->m_requests = requests;
    placement->m_registered.store(true);
  }
  return placement;
}

PlacementController::PlacementController(const PlacementRecord& record) : m_record(record) {}

PlacementController::~PlacementController() {
  try {
    if (!m_registered.exchange(false)) return;
    if (auto requests = m_requests.lock()) requests->RemoveResponseListener(m_listenerId);
  } catch (const std::exception& e) {
    LogException(e);
  }
}

std::future<bool> PlacementController::Initialize() {
  return MakeReadyFuture(true);
}

std::string PlacementController::GetPlacementId() {
  return m_record.ReferenceId;
}

bool PlacementController::IsHeaderBidding() {
  return m_record.HeaderBidding;
}

// A thread that cannot be started is logged by the caller.
std::future<bool> PlacementController::LoadAd(AdLoadHandler onSuccess, AdLoadHandler onFailure) {
  return std::async(std::launch::async, [self = shared_from_this(), onSuccess, onFailure] {
    return self->RunLoad(onSuccess, onFailure);
  });
}

bool PlacementController::RunLoad(const AdLoadHandler& onSuccess, const AdLoadHandler& onFailure) {
  const std::string& id = m_record.ReferenceId;
  try {
    auto requests = R::GetRequestController();
    if (!requests) {
      LogError("Can't load Ad if we don't have a RequestController.");
      return false;
    }
    if (Clock::NowTicks() < m_sleepUntil.load()) {
      LogInfo("Placement " + id + " is sleeping...");
      NotifyLoadResult(id, onSuccess, onFailure, "placement is sleeping");
      return false;
    }
    if (CountPlayableBundles() == 1) {
      NotifyLoadResult(id, onSuccess, onFailure, "already loaded");
      LogWarn(id + " already has an ad bundle loaded.");
      return true;
    }
    if (m_hasAdResponse.load()) {
      LogWarn(id + " already has an ad response.");
      return false;
    }
    m_bundles.CleanUpBadBundles();
    requests->RequestAd(id, m_record.HeaderBidding, onSuccess, onFailure).get();
    return true;
  } catch (const std::exception& e) {
    NotifyLoadResult(id, onSuccess, onFailure, e.what());
    LogException(e);
    return false;
  }
}

void PlacementController::OnResponse(const std::shared_ptr<ResponseBase>& response) {
  try {
    if (!response || !response->m_request || response->m_request->m_name != m_adRequestName) return;
    if (response->m_status == ResponseBase::kCompleted && response->m_httpStatusCode == 200) {
      OnAdResponse(response);
      return;
    }
    LogError("Didn't get ad part response - got network error");
    m_hasAdResponse.store(false);
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void PlacementController::OnAdResponse(std::shared_ptr<ResponseBase> response) {
  auto ad = std::dynamic_pointer_cast<AdResponse>(response);
  if (!ad) {
    LogError("Got ad response, but not a Tovane MRAID ad!");
    m_hasAdResponse.store(false);
    return;
  }
  m_hasAdResponse.store(true);
  AcceptAd(*ad);
}

void PlacementController::AcceptAd(AdResponse ad) {
  const std::string& id = m_record.ReferenceId;
  try {
    AdMarkupModel model(ad.m_text);
    if (model.Markup().is_null()) {
      LogError("Bad response from /ads for " + id + "!");
      m_hasAdResponse.store(false);
      return;
    }

    const std::int32_t sleep = model.Int("sleep");
    if (sleep >= 1) {
      m_sleepUntil.store(Clock::NowTicks() + sleep * Clock::kTicksPerSecond);
      m_hasAdResponse.store(false);
      const std::string info = model.Text("info");
      LogWarn("Sleep code for " + id + "; Reason: " + info + "!");
      AdLoadHandler onSuccess;
      AdLoadHandler onFailure;
      if (ad.m_request) {
        onSuccess = ad.m_request->m_onSuccess;
        onFailure = ad.m_request->m_onFailure;
      }
      NotifyLoadResult(id, onSuccess, onFailure, "placement is sleeping; Reason: " + info);
      return;
    }

    ad.ParseAdMarkup(model);
    // A failed part releases the answer, so that the next load asks for a new ad.
    std::weak_ptr<PlacementController> weak = weak_from_this();
    auto bundle = m_bundles.AddBundle(ad, id, [weak] {
      if (auto self = weak.lock()) self->m_hasAdResponse.store(false);
    });
    bundle->SetState(ICreativeBundleController::kDownloading);
    bundle->StartDownload();
  } catch (const std::exception& e) {
    // An answer that cannot be used is no answer: the next load asks again.
    LogException(e);
    m_hasAdResponse.store(false);
  }
}

std::int32_t PlacementController::CountPlayableBundles() {
  return m_bundles.CountPlayableBundles();
}

void PlacementController::NotifyLoadResult(const std::string& placementId, AdLoadHandler onSuccess,
                                           AdLoadHandler onFailure, const std::string& message) {
  try {
    const std::int32_t count = CountPlayableBundles();
    if (count < 1) {
      if (onFailure) {
        onFailure(AdLoadEventArgs{false, placementId, message, count});
      } else {
        LogWarn("No OnAdLoadFailure callback provided to notify that ad is not loaded.");
      }
      return;
    }
    if (onSuccess) {
      onSuccess(AdLoadEventArgs{true, placementId, std::string(), count});
    } else {
      LogWarn("No OnAdLoadSuccess callback provided to notify that ad is loaded.");
    }
  } catch (const std::exception& e) {
    LogException(e);
  }
}

bool PlacementController::IsAdPlayable(const std::string& name) {
  return name == m_record.ReferenceId && Clock::NowTicks() >= m_sleepUntil.load() && CountPlayableBundles() >= 1 &&
         m_hasAdResponse.load();
}

KestrelAdPlayInfo PlacementController::PlayAd(const AdConfig& config, KestrelAdPlayInfo info,
                                              const std::string& markup) {
  const std::string& id = m_record.ReferenceId;
  auto refuse = [&](const std::string& message, LogLevel level, bool tellPublisher) {
    m_hasAdResponse.store(false);
    level == LogLevel::Warn ? LogWarn(message) : LogError(message);
    if (tellPublisher) {
      ReportPlayFailure(info, id, message, std::string());
    } else {
      info.Success = false;
      info.Message = message;
    }
    return info;
  };
  try {
    {
      std::lock_guard lock(m_playMutex);
      m_currentPlayInfo = std::make_shared<KestrelAdPlayInfo>(info);
    }
    if (CountPlayableBundles() <= 0) return refuse(id + " doesn't have any bundles to play!", LogLevel::Warn, true);

    auto bundle = m_bundles.TakePlayableBundle();
    if (!bundle) return refuse("Can't play an ad if no creative bundles have been loaded.", LogLevel::Error, true);
    info.EventId = bundle->GetEventId();
    info.CreativeId = bundle->GetCreativeId();
    info.CampaignId = bundle->GetCampaignId();
    if (!m_hasAdResponse.load()) {
      return refuse("Can't play an ad if we don't have a good response.", LogLevel::Error, false);
    }

    bundle->SetState(ICreativeBundleController::kPlayed);
    m_bundles.MarkPlayed(bundle);
    std::string folder;
    if (auto files = R::GetFileSystemController())
      folder = JoinPath(files->GetCreativesFolder(), bundle->GetFolderName());
    // The folder may have been deleted or emptied since the load.
    std::error_code missing;
    if (!std::filesystem::is_regular_file(PathFromUtf8(JoinPath(folder, "index.html")), missing)) {
      return refuse("The ad's files are missing from " + folder, LogLevel::Error, true);
    }
    // The bundle's own ad: the placement may have taken newer answers since.
    auto display =
        std::make_shared<DisplayAdController>(folder, m_record.IsIncentivized, this, bundle->GetAdResponse(), config);
    if (display->CannotShow()) {
      // The view has logged why; releasing it closes its window. The bundle
      // is spent as in a play that started: the next load may fetch another.
      if (CountPlayableBundles() <= 0) m_hasAdResponse.store(false);
      ReportPlayFailure(info, id, DisplayAdController::CannotShowMessage(display->Failure()), info.EventId);
      return info;
    }
    {
      std::lock_guard lock(m_playMutex);
      m_currentDisplay = display;
    }
    LogInfo("Playing ad for placement " + id + " with Event ID: " + info.EventId +
            "\r\n\tCreative ID: " + info.CreativeId + "\r\n\tCampaign ID: " + info.CampaignId);
    if (info.OnAdStart) {
      CallPlayHandler(info.OnAdStart, AdPlayEventArgs{id, id + "Ad started successfully.", info.EventId, nullptr});
    }
    if (CountPlayableBundles() <= 0) m_hasAdResponse.store(false);
    FireImpressions(markup);
    return info;
  } catch (const std::exception& e) {
    LogException(e);
    ReportPlayFailure(info, id, e.what(), info.EventId, std::current_exception());
    return info;
  }
}

void PlacementController::FireImpressions(const std::string& markup) {
  if (!m_record.HeaderBidding || markup.empty()) return;
  auto requests = R::GetRequestController();
  if (!requests) return;
  std::vector<std::future<void>> sent;
  // Markup that is not JSON has no impressions.
  for (const auto& url : AdmForRealTime(nlohmann::json::parse(markup, nullptr, false)).GetImpressions()) {
    sent.push_back(requests->SendTrackingUrl(url));
  }
  // The hits finish on their own; only those already answered are let go here,
  // so a slow tracking server never holds the play.
  std::lock_guard lock(m_playMutex);
  std::erase_if(m_impressionTasks, [](const std::future<void>& task) {
    return !task.valid() || task.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  });
  for (auto& task : sent) m_impressionTasks.push_back(std::move(task));
}

void PlacementController::NotifyPlayEvent(PlayHandler KestrelAdPlayInfo::*handler, const std::string& message,
                                          const std::string& noPlayText, const std::string& noHandlerText) {
  PlayHandler callback;
  {
    std::lock_guard lock(m_playMutex);
    if (!m_currentPlayInfo) {
      LogWarn(noPlayText);
      return;
    }
    callback = (*m_currentPlayInfo).*handler;
  }
  if (!callback) {
    LogWarn(noHandlerText);
    return;
  }
  CallPlayHandler(callback, AdPlayEventArgs{m_record.ReferenceId, message, std::string(), nullptr});
}

void PlacementController::NotifyAdPlayFailed(const std::string& message) {
  NotifyPlayEvent(&KestrelAdPlayInfo::OnAdPlayFailure, message, "No ad is currently being played, so no play failure to notify.",
                  "No current display ad controller to notify for a play failure.");
}

void PlacementController::NotifyAdClicked() {
  NotifyPlayEvent(&KestrelAdPlayInfo::OnAdClick, "Ad Clicked.",
                  "No ad is currently being played, so no notify for ad clicked.",
                  "No current display ad controller to notify for ad clicked.");
}

void PlacementController::NotifyAdClosed() {
  NotifyPlayEvent(&KestrelAdPlayInfo::OnAdEnd, "Ad Closed.",
                  "No ad is currently being played, so no notify for ad closed.",
                  "No current display ad controller to notify for ad closed.");
}

void PlacementController::NotifyAdRewarded() {
  NotifyPlayEvent(&KestrelAdPlayInfo::OnAdRewarded, "Rewarded ad viewed.",
                  "No incentivized ad is currently being played, so no reward to notify.",
                  "No current display ad controller to notify for rewarded ad view.");
}

}  // namespace kestrel
