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
  // Hands the load to the placement and returns at once. Always true; an
  // unknown name reaches onFailure on the callback dispatcher.
  bool LoadAd(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure) override;
  KestrelAdPlayInfo PlayAd(const std::string& name, const AdConfig& config, KestrelAdPlayInfo info,
                           const std::string& markup) override;
  void AddPlacement(const PlacementRecord& record) override;
  // Placements are never removed, so the pointer stays valid while this controller lives.
  IPlacementController* FindPlacement(const std::string& name) override;
  void NotifyLoadResult(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure,
                        const std::string& message) override;
  void StartAutoLoads() override;

 private:
  std::shared_ptr<PlacementController> Find(const std::string& name);
  // Whether some placement has an ad ready to play.
  bool AnyAdReady();
  static void ReadyChanged();

  // No lock is held while a placement loads or plays: each placement guards its own state.
  std::mutex m_listMutex;  // guards m_placements
  std::vector<std::pair<std::string, std::shared_ptr<PlacementController>>> m_placements;
};

}  // namespace kestrel
