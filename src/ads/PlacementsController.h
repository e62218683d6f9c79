#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ads/IPlacementsController.h"

namespace kestrel {

class PlacementController;

// Owns one placement controller per configured placement and routes the
// public calls to it by name (exact, case-sensitive; the first match wins).
class PlacementsController : public IPlacementsController {
 public:
  std::future<bool> Initialize() override;
  // Holds the load lock until the placement has sent its /ads request and
  // handled the answer. Always true; an unknown name reaches onFailure.
  bool LoadAd(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure) override;
  KestrelAdPlayInfo PlayAd(const std::string& name, const AdConfig& config, KestrelAdPlayInfo info,
                           const std::string& markup) override;
  void AddPlacement(const PlacementRecord& record) override;
  // Placements are never removed, so the pointer stays valid while this controller lives.
  IPlacementController* FindPlacement(const std::string& name) override;
  void NotifyLoadResult(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure,
                        const std::string& message) override;

 private:
  std::shared_ptr<PlacementController> Find(const std::string& name);

  // Held for a whole load, play or addition, so that none of them overlap.
  // Recursive, so that a play callback may load or play again on its thread.
  // Lookups take only m_listMutex: they run on request threads while a load
  // holds m_mutex and waits for them.
  std::recursive_mutex m_mutex;
  std::mutex m_listMutex;  // guards m_placements
  std::vector<std::pair<std::string, std::shared_ptr<PlacementController>>> m_placements;
};

}  // namespace kestrel
