#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace kestrel {

class AdResponse;
class CreativeBundleController;
class ICreativeBundleController;

// A placement's creative bundles: those waiting to be played, oldest first,
// and the one playing. A bundle whose ad has expired is not playable. Every
// bundle that leaves the store has its folder deleted. Safe to use from any
// thread; times are Clock ticks.
class CreativeBundleStore {
 public:
  ~CreativeBundleStore();
  // placement id + "_" + a number no other bundle of the process has had,
  // made safe as a file name: two bundles never share a folder, also where
  // names differ only in letter case or in characters that are not allowed.
  static std::string NextFolderName(const std::string& placementId);
  // Creates a bundle for the ad in a new folder and queues it. Throws what
  // the bundle's constructor throws; nothing is queued then.
  std::shared_ptr<CreativeBundleController> AddBundle(const AdResponse& ad, const std::string& placementId,
                                                      std::function<void(bool, const std::string&)> onDone = {});
  std::int32_t CountPlayableBundles(std::int64_t now);
  // The oldest playable bundle, or the playable one of that event id when
  // one is given, removed from the queue. Null when there is none.
  std::shared_ptr<ICreativeBundleController> TakePlayableBundle(std::int64_t now, const std::string& eventId = {});
  // The bundle being played; the one played before is let go.
  void MarkPlayed(std::shared_ptr<ICreativeBundleController> bundle);
  // The play has ended: the played bundle is let go.
  void ReleasePlayed();
  // Lets go of the failed bundles; returns how many.
  int CleanUpBadBundles();
  // Lets go of the complete bundles whose ad has expired; returns how many.
  int DropExpired(std::int64_t now);
  // Keeps the newest `limit` playable bundles and lets go of the older ones; returns how many went.
  int KeepNewest(std::int64_t now, std::int32_t limit);
  // The earliest expiry of a complete bundle; 0 when none expires.
  std::int64_t NextExpiry();

  // Whether an ad of that expiry (0: none) has expired at now.
  static bool Expired(std::int64_t expiry, std::int64_t now);

 private:
  std::mutex m_mutex;  // guards both below
  std::deque<std::shared_ptr<ICreativeBundleController>> m_waiting;
  std::shared_ptr<ICreativeBundleController> m_played;
};

}  // namespace kestrel
