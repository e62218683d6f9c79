#pragma once

#include <atomic>
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
class PlacementController : public IPlacementController,
                            public IAdPlayEvents,
                            public std::enable_shared_from_this<PlacementController> {
 public:
  // Creates the placement and registers its /ads response listener.
  static std::shared_ptr<PlacementController> Create(const PlacementRecord& record);
  ~PlacementController() override;
  PlacementController(const PlacementController&) = delete;
  PlacementController& operator=(const PlacementController&) = delete;

  std::future<bool> Initialize() override;
  // Runs the load on a task: refuses while sleeping or while an answer is
  // held, reports an already loaded bundle, otherwise requests an ad and
  // handles the answer. The future yields false for a refusal.
  std::future<bool> LoadAd(AdLoadHandler onSuccess, AdLoadHandler onFailure) override;
  // Takes the oldest playable bundle and creates its display on the calling thread.
  KestrelAdPlayInfo PlayAd(const AdConfig& config, KestrelAdPlayInfo info, const std::string& markup) override;
  bool IsAdPlayable(const std::string& name) override;
  std::string GetPlacementId() override;
  // Handles an /ads answer (or a bid's ad unit): sleep, or a new bundle to download.
  void OnAdResponse(std::shared_ptr<ResponseBase> response) override;
  std::int32_t CountPlayableBundles() override;
  bool IsHeaderBidding() override;
  // Success with the playable count when there is at least one playable bundle, else failure with the message.
  void NotifyLoadResult(const std::string& placementId, AdLoadHandler onSuccess, AdLoadHandler onFailure,
                        const std::string& message) override;

  // Events of the ad being played.
  void NotifyAdClicked() override;
  void NotifyAdClosed() override;
  void NotifyAdRewarded() override;
  void NotifyAdPlayFailed(const std::string& message) override;

 private:
  explicit PlacementController(const PlacementRecord& record);
  bool RunLoad(const AdLoadHandler& onSuccess, const AdLoadHandler& onFailure);
  void OnResponse(const std::shared_ptr<ResponseBase>& response);
  void AcceptAd(AdResponse ad);
  void FireImpressions(const std::string& markup);
  using PlayHandler = std::function<void(AdPlayEventArgs)>;
  void NotifyPlayEvent(PlayHandler KestrelAdPlayInfo::*handler, const std::string& message,
                       const std::string& noPlayText, const std::string& noHandlerText);

  const PlacementRecord m_record;
  // Written from the request threads, read from the load and play calls.
  std::atomic<bool> m_hasAdResponse{false};
  std::atomic<std::int64_t> m_sleepUntil{std::numeric_limits<std::int64_t>::min()};  // Clock ticks
  CreativeBundleStore m_bundles;

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
