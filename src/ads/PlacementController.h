#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ads/CreativeBundleStore.h"
#include "ads/IPlacementController.h"
#include "display/IAdPlayEvents.h"

namespace kestrel {

class IRequestController;

// The life of one placement: asks the ad server for an ad, downloads its
// bundle in the background, honours the server's sleep, plays a downloaded
// bundle and relays what the playing ad reports to the publisher.
//
// A load goes idle -> requesting -> downloading -> ready (or back to idle on
// a failure, or to sleeping); every change happens in Finish, which hands the
// waiting callers' callbacks to the callback dispatcher. A ready ad goes when
// it is played or expires. An auto-cached placement loads by itself after
// initialisation, after each play and after an expiry, and after a failure
// again with a back-off of 1 s doubling to 64 s; the placement's callbacks
// (PlacementCallbacks) hear those loads and the expiries. No call here waits
// for the network, and no callback runs under a lock of this class.
class PlacementController : public IPlacementController,
                            public IAdPlayEvents,
                            public std::enable_shared_from_this<PlacementController> {
 public:
  // Creates the placement and registers its /ads response listener.
  // onReadyChanged runs, under no lock, when the placement may have gained or lost a playable ad.
  static std::shared_ptr<PlacementController> Create(const PlacementRecord& record,
                                                     std::function<void()> onReadyChanged = {});
  ~PlacementController() override;
  PlacementController(const PlacementController&) = delete;
  PlacementController& operator=(const PlacementController&) = delete;

  // How long a load may take before it fails with "timed out"; answers that come later are ignored.
  static void SetLoadTimeout(std::chrono::milliseconds timeout);
  static std::chrono::milliseconds LoadTimeout();

  enum class Phase { kIdle, kRequesting, kDownloading, kReady, kSleeping };

  std::future<bool> Initialize() override;
  // Returns at once with a ready future. While sleeping, with a playable
  // bundle, or while an automatic retry waits out its back-off, the callback
  // is told so at once; while a load is in flight the caller joins it;
  // otherwise an ad is requested. The future yields false when nothing was
  // or will be loaded.
  std::future<bool> LoadAd(AdLoadHandler onSuccess, AdLoadHandler onFailure) override;
  // For an auto-cached placement without an ad, a load of the SDK's own,
  // unless one is in flight or a retry is on its way.
  void AutoLoad();
  // Takes the oldest playable bundle, or for header bidding the one of the
  // bid's markup, and creates its display on the calling thread.
  KestrelAdPlayInfo PlayAd(const AdConfig& config, KestrelAdPlayInfo info, const std::string& markup) override;
  bool IsAdPlayable(const std::string& name) override;
  std::string GetPlacementId() override;
  // Handles a bid's ad unit: sleep, or a new bundle to download. Its outcome
  // goes to the callbacks its request carries, not to the load in flight.
  void OnAdResponse(std::shared_ptr<ResponseBase> response) override;
  std::int32_t CountPlayableBundles() override;
  bool IsHeaderBidding() override;
  // Success with the playable count when there is at least one playable
  // bundle, else failure with the message; told on the callback dispatcher.
  void NotifyLoadResult(const std::string& placementId, AdLoadHandler onSuccess, AdLoadHandler onFailure,
                        const std::string& message) override;

  // Events of the ad being played.
  void NotifyAdClicked() override;
  void NotifyAdClosed() override;
  void NotifyAdRewarded() override;
  void NotifyAdPlayFailed(const std::string& message) override;

 private:
  struct Waiter {
    AdLoadHandler onSuccess;
    AdLoadHandler onFailure;
    bool automatic = false;  // the SDK's own load: the placement's callbacks are told
  };
  // What a handled ad answer came to: a bundle downloading, or a message to report.
  struct Accepted {
    std::shared_ptr<CreativeBundleController> bundle;
    std::string message;
  };

  PlacementController(const PlacementRecord& record, std::function<void()> onReadyChanged);
  bool AutoCached() const;
  bool Load(Waiter waiter);
  void Tell(const Waiter& waiter, bool success, const std::string& message);
  // The automatic load again after delay.
  void ScheduleRetry(std::chrono::milliseconds delay);
  void OnRetry(std::uint64_t token);
  // A bundle has completed: the header-bidding cache keeps its size and the expiry is watched.
  void BundleReady();
  void ScheduleExpiryCheck();
  // Lets go of expired ads and tells the placement's callbacks; returns how many went.
  int SweepExpired();
  void ReadyChanged();
  // The played bundle is done with: its folder goes and an auto-cached placement loads the next ad.
  void PlayEnded();
  void OnResponse(const std::shared_ptr<ResponseBase>& response);
  // Reads the answer, honours a sleep and starts the bundle's download, whose
  // end goes to onDone. Throws nothing.
  Accepted AcceptAd(AdResponse ad, std::function<void(bool, const std::string&)> onDone);
  // Ends the load `serial` when it is still the one in flight: the phase
  // follows the outcome and its waiters are told. False when it had ended.
  bool Finish(std::uint64_t serial, bool success, const std::string& message);
  void OnBundleDone(std::uint64_t serial, bool complete, const std::string& message);
  void OnDeadline(std::uint64_t serial);
  void FireImpressions(const std::string& markup);
  using PlayHandler = std::function<void(AdPlayEventArgs)>;
  void NotifyPlayEvent(PlayHandler KestrelAdPlayInfo::*handler, const std::string& message,
                       const std::string& noPlayText, const std::string& noHandlerText);

  const PlacementRecord m_record;
  std::atomic<std::int64_t> m_sleepUntil{std::numeric_limits<std::int64_t>::min()};  // Clock ticks
  CreativeBundleStore m_bundles;

  std::mutex m_loadMutex;  // guards the load state below; never held while a callback runs
  Phase m_phase = Phase::kIdle;
  std::uint64_t m_serial = 0;     // the load in flight, or the last one
  std::string m_requestId;        // its /ads exchange
  std::shared_ptr<CreativeBundleController> m_downloading;  // its bundle
  std::vector<Waiter> m_waiters;  // the callers it will tell
  std::chrono::milliseconds m_backoff{0};  // after the last failed load; 0 after a success
  std::uint64_t m_retryToken = 0;          // the retry on its way, when m_retryDue
  bool m_retryDue = false;
  std::int64_t m_retryAt = 0;              // Clock ticks
  std::string m_lastFailure;               // what the last failed load said
  std::uint64_t m_expiryToken = 0;         // the expiry check that counts
  const std::function<void()> m_onReadyChanged;

  std::mutex m_playMutex;  // guards the play state below
  std::shared_ptr<KestrelAdPlayInfo> m_currentPlayInfo;
  std::shared_ptr<DisplayAdController> m_currentDisplay;
  std::vector<std::future<void>> m_impressionTasks;  // header-bidding impressions still on their way

  // The response listener: m_listenerId and m_requests are written before
  // m_registered is set and read only by the call that clears it.
  std::string m_adRequestName;
  std::atomic<bool> m_registered{false};
  std::int32_t m_listenerId = 0;
  std::weak_ptr<IRequestController> m_requests;
};

}  // namespace kestrel
