#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
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
// waiting callers' callbacks to the callback dispatcher. No call here waits
// for the network, and no callback runs under a lock of this class.
class PlacementController : public IPlacementController,
                            public IAdPlayEvents,
                            public std::enable_shared_from_this<PlacementController> {
 public:
  // Creates the placement and registers its /ads response listener.
  static std::shared_ptr<PlacementController> Create(const PlacementRecord& record);
  ~PlacementController() override;
  PlacementController(const PlacementController&) = delete;
  PlacementController& operator=(const PlacementController&) = delete;

  // How long a load may take before it fails with "timed out"; answers that come later are ignored.
  static void SetLoadTimeout(std::chrono::milliseconds timeout);
  static std::chrono::milliseconds LoadTimeout();

  enum class Phase { kIdle, kRequesting, kDownloading, kReady, kSleeping };

  std::future<bool> Initialize() override;
  // Returns at once with a ready future. While sleeping, or with a playable
  // bundle, the callback is told so at once; while a load is in flight the
  // caller joins it; otherwise an ad is requested. The future yields false
  // for the sleeping placement.
  std::future<bool> LoadAd(AdLoadHandler onSuccess, AdLoadHandler onFailure) override;
  // Takes the oldest playable bundle and creates its display on the calling thread.
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
  };
  // What a handled ad answer came to: a bundle downloading, or a message to report.
  struct Accepted {
    std::shared_ptr<CreativeBundleController> bundle;
    std::string message;
  };

  explicit PlacementController(const PlacementRecord& record);
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
