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
// and the one played last. Safe to use from any thread.
class CreativeBundleStore {
 public:
  // placement id + "_" + a counter that runs 1, 2, 3, 4, 5, 0, 1, …, made
  // safe as a file name.
  std::string NextFolderName(const std::string& placementId);
  // Creates a bundle for the ad in the next folder and queues it. Throws what
  // the bundle's constructor throws; nothing is queued then.
  std::shared_ptr<CreativeBundleController> AddBundle(const AdResponse& ad, const std::string& placementId,
                                                      std::function<void(bool, const std::string&)> onDone = {});
  std::int32_t CountPlayableBundles();
  // The oldest playable bundle, removed from the queue; the unplayable ones
  // queued before it are removed and their folders deleted on the work
  // queue. Null when none.
  std::shared_ptr<ICreativeBundleController> TakePlayableBundle();
  void MarkPlayed(std::shared_ptr<ICreativeBundleController> bundle);
  // Drops the failed bundles and deletes their folders on the work queue.
  void CleanUpBadBundles();

 private:
  std::mutex m_mutex;  // guards everything below
  std::int32_t m_folderCounter = 0;
  std::deque<std::shared_ptr<ICreativeBundleController>> m_waiting;
  std::deque<std::shared_ptr<ICreativeBundleController>> m_played;
};

}  // namespace kestrel
