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
#include "ads/PlacementCallbacks.h"
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
constexpr std::chrono::milliseconds kFirstRetry{1000};
constexpr std::chrono::milliseconds kLastRetry{64000};
// A timer further ahead than this is set again when it fires.
constexpr std::chrono::hours kLongestTimer{24};

// The event id of the ad a bid's markup carries; empty when it carries none.
std::string BidEventId(const std::string& markup) {
  const std::string adUnit = AdmForRealTime(nlohmann::json::parse(markup, nullptr, false)).GetAdUnit();
  if (adUnit.empty()) return {};
  AdMarkupModel model(adUnit);
  return model.Markup().is_null() ? std::string() : model.Text("id");
}

std::chrono::milliseconds TicksToDelay(std::int64_t ticks) {
  const std::int64_t ms = std::max<std::int64_t>(ticks / (Clock::kTicksPerSecond / 1000), 0);
  return std::min(std::chrono::milliseconds(ms), std::chrono::milliseconds(kLongestTimer));
}


// Calls a publisher's play callback; what it throws is logged.
void CallPlayHandler(const std::function<void(AdPlayEventArgs)>& handler, AdPlayEventArgs args) {
  try {
    handler(std::move(args));
  } catch (const std::exception& e) {
    LogException(e);
  }
}

}  // namespace

std::shared_ptr<PlacementController> PlacementController::Create(const PlacementRecord& record,
                                                                std::function<void()> onReadyChanged) {
  std::shared_ptr<PlacementController> placement(new PlacementController(record, std::move(onReadyChanged)));
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

PlacementController::PlacementController(const PlacementRecord& record, std::function<void()> onReadyChanged)
    : m_record(record), m_onReadyChanged(std::move(onReadyChanged)) {}

bool PlacementController::AutoCached() const {
  // A header-bidding placement's ads come from bids, not from loads of its own.
  return m_record.IsAutoCached && !m_record.HeaderBidding;
}

void PlacementController::ReadyChanged() {
  if (m_onReadyChanged) m_onReadyChanged();
}

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
  return MakeReadyFuture(Load(Waiter{std::move(onSuccess), std::move(onFailure)}));
}

void PlacementController::AutoLoad() {
  if (!AutoCached()) return;
  {
    std::lock_guard lock(m_loadMutex);
    if (m_retryDue) return;  // the retry starts it
  }
  Load(Waiter{{}, {}, true});
}

bool PlacementController::Load(Waiter waiter) {
  const std::string& id = m_record.ReferenceId;
  auto requests = R::GetRequestController();
  if (!requests) {
    LogError("Can't load Ad if we don't have a RequestController.");
    Tell(waiter, false, "Can't load Ad if we don't have a RequestController.");
    return false;
  }
  SweepExpired();
  const std::int64_t sleepUntil = m_sleepUntil.load();
  if (Clock::NowTicks() < sleepUntil) {
    LogInfo("Placement " + id + " is sleeping...");
    if (waiter.automatic) {
      ScheduleRetry(TicksToDelay(sleepUntil - Clock::NowTicks()));
      return false;
    }
    Tell(waiter, false, "placement is sleeping");
    return false;
  }
  std::uint64_t serial = 0;
  {
    std::unique_lock lock(m_loadMutex);
    if (m_phase == Phase::kRequesting || m_phase == Phase::kDownloading) {
      const bool joined = std::any_of(m_waiters.begin(), m_waiters.end(), [](const Waiter& w) { return w.automatic; });
      if (waiter.automatic && joined) return true;
      m_waiters.push_back(std::move(waiter));
      LogInfo(id + " joins the load in progress.");
      return true;
    }
    if (CountPlayableBundles() >= 1) {
      lock.unlock();
      if (waiter.automatic) return true;
      LogWarn(id + " already has an ad bundle loaded.");
      Tell(waiter, false, "already loaded");
      return true;
    }
    if (m_retryDue && !waiter.automatic) {
      // The automatic load tries again when its back-off ends; asking the server sooner would defeat it.
      const auto seconds = (m_retryAt - Clock::NowTicks() + Clock::kTicksPerSecond - 1) / Clock::kTicksPerSecond;
      const std::string message = m_lastFailure + " The SDK loads an ad for " + id + " again in " +
                                  std::to_string(std::max<std::int64_t>(seconds, 0)) + " s.";
      lock.unlock();
      Tell(waiter, false, message);
      return true;
    }
    serial = ++m_serial;
    m_phase = Phase::kRequesting;
    m_waiters.assign(1, std::move(waiter));
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
  return true;
}

void PlacementController::Tell(const Waiter& waiter, bool success, const std::string& message) {
  const std::string& id = m_record.ReferenceId;
  if (!waiter.automatic) {
    if (!success) {
      NotifyLoadResult(id, waiter.onSuccess, waiter.onFailure, message);
      return;
    }
    const std::int32_t count = std::max(CountPlayableBundles(), 1);
    CallbackDispatcher::Post([onSuccess = waiter.onSuccess, id, count] {
      if (onSuccess) {
        onSuccess(AdLoadEventArgs{true, id, std::string(), count});
      } else {
        LogWarn("No OnAdLoadSuccess callback provided to notify that ad is loaded.");
      }
    });
    return;
  }
  // The placement's own callbacks, as they are when the outcome is known.
  const AdLoadCallback callbacks = PlacementCallbacks::Get(id);
  const std::int32_t count = CountPlayableBundles();
  LogInfo(success ? "The SDK loaded an ad for " + id + "." : "The SDK's load for " + id + " ended: " + message);
  CallbackDispatcher::Post([callbacks, id, count, success, message] {
    const auto& handler = success ? callbacks.OnAdLoadSuccess : callbacks.OnAdLoadFailure;
    if (handler) handler(AdLoadEventArgs{success, id, success ? std::string() : message, count});
  });
}

void PlacementController::ScheduleRetry(std::chrono::milliseconds delay) {
  std::uint64_t token = 0;
  {
    std::lock_guard lock(m_loadMutex);
    token = ++m_retryToken;
    m_retryDue = true;
    m_retryAt = Clock::NowTicks() + delay.count() * (Clock::kTicksPerSecond / 1000);
  }
  std::weak_ptr<PlacementController> weak = weak_from_this();
  WorkQueue::Shared().PostAfter(delay, [weak, token] {
    if (auto self = weak.lock()) self->OnRetry(token);
  });
}

void PlacementController::OnRetry(std::uint64_t token) {
  {
    std::lock_guard lock(m_loadMutex);
    if (!m_retryDue || token != m_retryToken) return;
    m_retryDue = false;
  }
  Load(Waiter{{}, {}, true});
}

void PlacementController::BundleReady() {
  const std::string& id = m_record.ReferenceId;
  if (m_record.HeaderBidding) {
    // A placement that may keep none still keeps the bid it has just loaded.
    const std::int32_t limit = std::max(m_record.MaxHbCache, 1);
    const int dropped = m_bundles.KeepNewest(Clock::NowTicks(), limit);
    if (dropped > 0) {
      LogInfo("Dropped the " + std::to_string(dropped) + " oldest header-bidding ads of " + id + ": it keeps " +
              std::to_string(limit) + ".");
    }
  }
  ScheduleExpiryCheck();
  ReadyChanged();
}

void PlacementController::ScheduleExpiryCheck() {
  const std::int64_t next = m_bundles.NextExpiry();
  if (next == 0) return;
  std::uint64_t token = 0;
  {
    std::lock_guard lock(m_loadMutex);
    token = ++m_expiryToken;
  }
  std::weak_ptr<PlacementController> weak = weak_from_this();
  // A millisecond late rather than early: the check then finds the ad expired.
  const auto delay = TicksToDelay(next - Clock::NowTicks()) + std::chrono::milliseconds(1);
  WorkQueue::Shared().PostAfter(delay, [weak, token] {
    auto self = weak.lock();
    if (!self) return;
    {
      std::lock_guard lock(self->m_loadMutex);
      if (token != self->m_expiryToken) return;  // a later check replaced this one
    }
    if (self->SweepExpired() == 0) self->ScheduleExpiryCheck();
  });
}

int PlacementController::SweepExpired() {
  const int dropped = m_bundles.DropExpired(Clock::NowTicks());
  if (dropped == 0) return 0;
  const std::string message = "The ad loaded for " + m_record.ReferenceId + " expired.";
  LogInfo(message + " Its files are deleted.");
  {
    std::lock_guard lock(m_loadMutex);
    if (m_phase == Phase::kReady && CountPlayableBundles() <= 0) m_phase = Phase::kIdle;
  }
  Tell(Waiter{{}, {}, true}, false, message);
  ReadyChanged();
  ScheduleExpiryCheck();
  AutoLoad();
  return dropped;
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
  std::chrono::milliseconds retry{-1};
  {
    std::lock_guard lock(m_loadMutex);
    if (serial != m_serial || (m_phase != Phase::kRequesting && m_phase != Phase::kDownloading)) return false;
    waiters.swap(m_waiters);
    m_requestId.clear();
    m_downloading.reset();
    const std::int64_t now = Clock::NowTicks();
    if (now < m_sleepUntil.load()) {
      m_phase = Phase::kSleeping;
      retry = TicksToDelay(m_sleepUntil.load() - now);
    } else {
      m_phase = CountPlayableBundles() >= 1 ? Phase::kReady : Phase::kIdle;
      if (m_phase == Phase::kReady) {
        m_backoff = std::chrono::milliseconds(0);
      } else {
        m_backoff = m_backoff.count() == 0 ? kFirstRetry : std::min(m_backoff * 2, kLastRetry);
        m_lastFailure = message;
        retry = m_backoff;
      }
    }
  }
  if (AutoCached() && retry.count() >= 0) ScheduleRetry(retry);
  for (const auto& waiter : waiters) Tell(waiter, success, message);
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
    std::weak_ptr<PlacementController> weak = weak_from_this();
    auto done = [weak, expiry = ad.m_expiry, onDone = std::move(onDone)](bool complete, const std::string& message) {
      auto self = weak.lock();
      if (!self) return;
      if (complete && CreativeBundleStore::Expired(expiry, Clock::NowTicks())) {
        self->m_bundles.DropExpired(Clock::NowTicks());
        onDone(false, "The ad loaded for " + self->m_record.ReferenceId + " had expired when its download ended.");
        return;
      }
      if (complete) self->BundleReady();
      onDone(complete, message);
    };
    auto bundle = m_bundles.AddBundle(ad, id, std::move(done));
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
  return m_bundles.CountPlayableBundles(Clock::NowTicks());
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
    // An expired ad goes whether or not this play could show.
    if (SweepExpired() > 0 && CountPlayableBundles() <= 0) {
      return refuse("The ad loaded for " + id + " expired; load another.", LogLevel::Warn);
    }
    // Nothing is taken, fired or spent for a play that cannot show.
    const std::string cannot = DisplayAdController::WhyCannotShow(config);
    if (!cannot.empty()) return refuse(DisplayAdController::CannotShowMessage(cannot), LogLevel::Error);
    // A bid plays its own ad: its impressions bill that ad.
    std::string eventId;
    if (m_record.HeaderBidding && !markup.empty()) {
      eventId = BidEventId(markup);
      if (eventId.empty()) return refuse("The bid's markup carries no ad for " + id + ".", LogLevel::Error);
    }
    if (CountPlayableBundles() <= 0) return refuse(id + " doesn't have any bundles to play!", LogLevel::Warn);
    auto bundle = m_bundles.TakePlayableBundle(Clock::NowTicks(), eventId);
    if (!bundle && !eventId.empty()) {
      return refuse("The ad of this bid (event id " + eventId + ") is not loaded for " + id +
                        ": load the bid with LoadMediatedAd and wait for its success callback.",
                    LogLevel::Error);
    }
    if (!bundle) return refuse("Can't play an ad if no creative bundles have been loaded.", LogLevel::Error);
    ReadyChanged();
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
      PlayEnded();
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
      PlayEnded();
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

void PlacementController::PlayEnded() {
  m_bundles.ReleasePlayed();
  AutoLoad();
}

void PlacementController::NotifyAdPlayFailed(const std::string& message) {
  PlayEnded();
  NotifyPlayEvent(&KestrelAdPlayInfo::OnAdPlayFailure, message, "No ad is currently being played, so no play failure to notify.",
                  "No current display ad controller to notify for a play failure.");
}

void PlacementController::NotifyAdClicked() {
  NotifyPlayEvent(&KestrelAdPlayInfo::OnAdClick, "Ad Clicked.",
                  "No ad is currently being played, so no notify for ad clicked.",
                  "No current display ad controller to notify for ad clicked.");
}

void PlacementController::NotifyAdClosed() {
  // Before OnAdEnd: a LoadAd from there joins the automatic load.
  PlayEnded();
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
