#include "ads/PlacementController.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <future>
#include <sstream>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "ads/AdmForRealTime.h"
#include "ads/Clock.h"
#include "ads/CreativeBundleController.h"
#include "ads/ReportPlayFailure.h"
#include "base/CallbackDispatcher.h"
#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "base/WorkQueue.h"
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

constexpr std::chrono::milliseconds kDefaultLoadTimeout{30000};
std::atomic<std::int64_t> g_loadTimeoutMs{kDefaultLoadTimeout.count()};


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

std::chrono::milliseconds PlacementController::LoadTimeout() {
  return std::chrono::milliseconds(g_loadTimeoutMs.load());
}

void PlacementController::SetLoadTimeout(std::chrono::milliseconds timeout) {
  g_loadTimeoutMs.store(timeout.count() > 0 ? timeout.count() : kDefaultLoadTimeout.count());
}

std::future<bool> PlacementController::LoadAd(AdLoadHandler onSuccess, AdLoadHandler onFailure) {
  const std::string& id = m_record.ReferenceId;
  auto requests = R::GetRequestController();
  if (!requests) {
    LogError("Can't load Ad if we don't have a RequestController.");
    NotifyLoadResult(id, onSuccess, onFailure, "Can't load Ad if we don't have a RequestController.");
    return MakeReadyFuture(false);
  }
  if (Clock::NowTicks() < m_sleepUntil.load()) {
    LogInfo("Placement " + id + " is sleeping...");
    NotifyLoadResult(id, onSuccess, onFailure, "placement is sleeping");
    return MakeReadyFuture(false);
  }
  std::uint64_t serial = 0;
  {
    std::lock_guard lock(m_loadMutex);
    if (m_phase == Phase::kRequesting || m_phase == Phase::kDownloading) {
      m_waiters.push_back(Waiter{std::move(onSuccess), std::move(onFailure)});
      LogInfo(id + " joins the load in progress.");
      return MakeReadyFuture(true);
    }
    if (CountPlayableBundles() >= 1) {
      LogWarn(id + " already has an ad bundle loaded.");
      NotifyLoadResult(id, onSuccess, onFailure, "already loaded");
      return MakeReadyFuture(true);
    }
    serial = ++m_serial;
    m_phase = Phase::kRequesting;
    m_waiters.assign(1, Waiter{std::move(onSuccess), std::move(onFailure)});
    // Queued, not sent: the answer comes through the listener, never under this lock.
    m_requestId = requests->RequestAd(id, m_record.HeaderBidding);
  }
  std::weak_ptr<PlacementController> weak = weak_from_this();
  WorkQueue::Shared().Post([weak] {
    if (auto self = weak.lock()) self->m_bundles.CleanUpBadBundles();
  });
  WorkQueue::Shared().PostAfter(LoadTimeout(), [weak, serial] {
    if (auto self = weak.lock()) self->OnDeadline(serial);
  });
  return MakeReadyFuture(true);
}

void PlacementController::OnDeadline(std::uint64_t serial) {
  std::shared_ptr<CreativeBundleController> bundle;
  {
    std::lock_guard lock(m_loadMutex);
    if (serial != m_serial || (m_phase != Phase::kRequesting && m_phase != Phase::kDownloading)) return;
    bundle = m_downloading;
  }
  const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(LoadTimeout()).count();
  std::ostringstream message;
  message << "The load of " << m_record.ReferenceId << " timed out after " << seconds << " s.";
  if (!Finish(serial, false, message.str())) return;
  LogError(message.str());
  // Parts that arrive later make no playable ad.
  if (bundle) bundle->Abandon(message.str());
}

bool PlacementController::Finish(std::uint64_t serial, bool success, const std::string& message) {
  std::vector<Waiter> waiters;
  {
    std::lock_guard lock(m_loadMutex);
    if (serial != m_serial || (m_phase != Phase::kRequesting && m_phase != Phase::kDownloading)) return false;
    waiters.swap(m_waiters);
    m_requestId.clear();
    m_downloading.reset();
    if (Clock::NowTicks() < m_sleepUntil.load()) {
      m_phase = Phase::kSleeping;
    } else {
      m_phase = CountPlayableBundles() >= 1 ? Phase::kReady : Phase::kIdle;
    }
  }
  const std::string& id = m_record.ReferenceId;
  for (auto& waiter : waiters) {
    if (success) {
      const std::int32_t count = std::max(CountPlayableBundles(), 1);
      CallbackDispatcher::Post([onSuccess = std::move(waiter.onSuccess), id, count] {
        if (onSuccess) {
          onSuccess(AdLoadEventArgs{true, id, std::string(), count});
        } else {
          LogWarn("No OnAdLoadSuccess callback provided to notify that ad is loaded.");
        }
      });
    } else {
      NotifyLoadResult(id, waiter.onSuccess, waiter.onFailure, message);
    }
  }
  return true;
}

void PlacementController::OnBundleDone(std::uint64_t serial, bool complete, const std::string& message) {
  Finish(serial, complete, message);
}

void PlacementController::OnResponse(const std::shared_ptr<ResponseBase>& response) {
  try {
    if (!response || !response->m_request || response->m_request->m_name != m_adRequestName) return;
    const std::string& id = m_record.ReferenceId;
    std::uint64_t serial = 0;
    {
      std::lock_guard lock(m_loadMutex);
      if (m_phase != Phase::kRequesting || response->m_request->m_requestId != m_requestId) {
        LogWarn("Ignored an /ads answer for " + id + " that came after its load had ended.");
        return;
      }
      serial = m_serial;
    }
    if (response->m_status != ResponseBase::kCompleted || response->m_httpStatusCode != 200) {
      LogError("Didn't get ad part response - got network error");
      const std::string why = response->m_status != ResponseBase::kCompleted
                                  ? response->m_text
                                  : "HTTP status " + std::to_string(response->m_httpStatusCode);
      Finish(serial, false, "The /ads request for " + id + " failed: " + why);
      return;
    }
    auto ad = std::dynamic_pointer_cast<AdResponse>(response);
    if (!ad) {
      LogError("Got ad response, but not a Tovane MRAID ad!");
      Finish(serial, false, "Got ad response, but not a Tovane MRAID ad!");
      return;
    }
    std::weak_ptr<PlacementController> weak = weak_from_this();
    Accepted accepted = AcceptAd(*ad, [weak, serial](bool complete, const std::string& message) {
      if (auto self = weak.lock()) self->OnBundleDone(serial, complete, message);
    });
    if (!accepted.bundle) {
      Finish(serial, false, accepted.message);
      return;
    }
    std::lock_guard lock(m_loadMutex);
    // The bundle may have finished, or the deadline passed, already.
    if (serial == m_serial && m_phase == Phase::kRequesting) {
      m_phase = Phase::kDownloading;
      m_downloading = accepted.bundle;
    }
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void PlacementController::OnAdResponse(std::shared_ptr<ResponseBase> response) {
  auto ad = std::dynamic_pointer_cast<AdResponse>(response);
  AdLoadHandler onSuccess;
  AdLoadHandler onFailure;
  if (response && response->m_request) {
    onSuccess = response->m_request->m_onSuccess;
    onFailure = response->m_request->m_onFailure;
  }
  const std::string& id = m_record.ReferenceId;
  if (!ad) {
    LogError("Got ad response, but not a Tovane MRAID ad!");
    NotifyLoadResult(id, onSuccess, onFailure, "Got ad response, but not a Tovane MRAID ad!");
    return;
  }
  std::weak_ptr<PlacementController> weak = weak_from_this();
  Accepted accepted = AcceptAd(*ad, [weak, onSuccess, onFailure](bool, const std::string& message) {
    if (auto self = weak.lock()) self->NotifyLoadResult(self->m_record.ReferenceId, onSuccess, onFailure, message);
  });
  if (!accepted.bundle) NotifyLoadResult(id, onSuccess, onFailure, accepted.message);
}

PlacementController::Accepted PlacementController::AcceptAd(AdResponse ad,
                                                            std::function<void(bool, const std::string&)> onDone) {
  const std::string& id = m_record.ReferenceId;
  try {
    AdMarkupModel model(ad.m_text);
    if (model.Markup().is_null()) {
      const std::string message = "Bad response from /ads for " + id + "!";
      LogError(message);
      return {nullptr, message};
    }

    const std::int32_t sleep = model.Int("sleep");
    if (sleep >= 1) {
      m_sleepUntil.store(Clock::NowTicks() + sleep * Clock::kTicksPerSecond);
      const std::string info = model.Text("info");
      LogWarn("Sleep code for " + id + "; Reason: " + info + "!");
      return {nullptr, "placement is sleeping; Reason: " + info};
    }

    ad.ParseAdMarkup(model);
    if (ad.m_adType != CreativeBundleController::kMraidAdType) {
      const std::string message = "The ad of " + id + " is of type \"" + ad.m_adType +
                                  "\", which this SDK cannot play.";
      LogError(message);
      return {nullptr, message};
    }
    auto bundle = m_bundles.AddBundle(ad, id, std::move(onDone));
    bundle->SetState(ICreativeBundleController::kDownloading);
    bundle->StartDownload();
    return {bundle, std::string()};
  } catch (const std::exception& e) {
    // An answer that cannot be used is no answer: the next load asks again.
    LogException(e);
    return {nullptr, std::string("The ad of ") + id + " could not be used: " + e.what()};
  }
}

std::int32_t PlacementController::CountPlayableBundles() {
  return m_bundles.CountPlayableBundles();
}

void PlacementController::NotifyLoadResult(const std::string& placementId, AdLoadHandler onSuccess,
                                           AdLoadHandler onFailure, const std::string& message) {
  const std::int32_t count = CountPlayableBundles();
  CallbackDispatcher::Post([=] {
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
  });
}

bool PlacementController::IsAdPlayable(const std::string& name) {
  return name == m_record.ReferenceId && Clock::NowTicks() >= m_sleepUntil.load() && CountPlayableBundles() >= 1;
}

KestrelAdPlayInfo PlacementController::PlayAd(const AdConfig& config, KestrelAdPlayInfo info,
                                              const std::string& markup) {
  const std::string& id = m_record.ReferenceId;
  auto refuse = [&](const std::string& message, LogLevel level) {
    level == LogLevel::Warn ? LogWarn(message) : LogError(message);
    ReportPlayFailure(info, id, message, std::string());
    return info;
  };
  try {
    // Nothing is taken, fired or spent for a play that cannot show.
    const std::string cannot = DisplayAdController::WhyCannotShow(config);
    if (!cannot.empty()) return refuse(DisplayAdController::CannotShowMessage(cannot), LogLevel::Error);
    if (CountPlayableBundles() <= 0) return refuse(id + " doesn't have any bundles to play!", LogLevel::Warn);

    auto bundle = m_bundles.TakePlayableBundle();
    if (!bundle) return refuse("Can't play an ad if no creative bundles have been loaded.", LogLevel::Error);
    info.EventId = bundle->GetEventId();
    info.CreativeId = bundle->GetCreativeId();
    info.CampaignId = bundle->GetCampaignId();

    bundle->SetState(ICreativeBundleController::kPlayed);
    m_bundles.MarkPlayed(bundle);
    std::string folder;
    if (auto files = R::GetFileSystemController())
      folder = JoinPath(files->GetCreativesFolder(), bundle->GetFolderName());
    // The folder may have been deleted or emptied since the load.
    std::error_code missing;
    if (!std::filesystem::is_regular_file(PathFromUtf8(JoinPath(folder, "index.html")), missing)) {
      return refuse("The ad's files are missing from " + folder, LogLevel::Error);
    }
    {
      std::lock_guard lock(m_playMutex);
      m_currentPlayInfo = std::make_shared<KestrelAdPlayInfo>(info);
    }
    // The bundle's own ad: the placement may have taken newer answers since.
    auto display =
        std::make_shared<DisplayAdController>(folder, m_record.IsIncentivized, this, bundle->GetAdResponse(), config);
    if (display->CannotShow()) {
      // The view has logged why; releasing it closes its window. The bundle
      // is spent as in a play that started: the next load may fetch another.
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
    {
      std::lock_guard lock(m_loadMutex);
      if (m_phase == Phase::kReady && CountPlayableBundles() <= 0) m_phase = Phase::kIdle;
    }
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
