#include "ads/PlacementsController.h"

#include <algorithm>

#include "ads/PlacementController.h"
#include "ads/ReportPlayFailure.h"
#include "base/CallbackDispatcher.h"
#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "display/WebEngineKeeper.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

// Logs the unknown name and tells onFailure on the callback dispatcher, or logs that it cannot.
void ReportUnknownPlacement(const std::string& name, const AdLoadHandler& onFailure) {
  const std::string message = "There is no placement with the name " + name + ".";
  LogError(message);
  if (!onFailure) {
    LogError("Failure callback is null, cannot report error for placement: " + name);
    return;
  }
  CallbackDispatcher::Post([onFailure, name, message] { onFailure(AdLoadEventArgs{false, name, message, 0}); });
}

}  // namespace

std::future<bool> PlacementsController::Initialize() {
  return MakeReadyFuture(true);
}

std::shared_ptr<PlacementController> PlacementsController::Find(const std::string& name) {
  std::lock_guard lock(m_listMutex);
  for (const auto& [placementName, placement] : m_placements) {
    if (placementName == name) return placement;
  }
  return nullptr;
}

IPlacementController* PlacementsController::FindPlacement(const std::string& name) {
  auto placement = Find(name);
  return placement.get();
}

bool PlacementsController::LoadAd(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure) {
  try {
    if (auto placement = Find(name)) {
      placement->LoadAd(std::move(onSuccess), std::move(onFailure));
    } else {
      ReportUnknownPlacement(name, onFailure);
    }
  } catch (const std::exception& e) {
    LogException(e);
  }
  return true;
}

KestrelAdPlayInfo PlacementsController::PlayAd(const std::string& name, const AdConfig& config, KestrelAdPlayInfo info,
                                               const std::string& markup) {
  try {
    if (auto placement = Find(name)) return placement->PlayAd(config, info, markup);

    const std::string message = "Don't have a placement with that name (" + name + ")!";
    info.PlacementId = name;
    LogError(message);
    ReportPlayFailure(info, name, message, info.EventId);
  } catch (const std::exception& e) {
    LogException(e);
    info.Success = false;
  }
  return info;
}

void PlacementsController::AddPlacement(const PlacementRecord& record) {
  try {
    if (record.ReferenceId.empty()) {
      LogError("Missing Placement Name");
      return;
    }
    auto placement = PlacementController::Create(record, &PlacementsController::ReadyChanged);
    std::lock_guard listLock(m_listMutex);
    m_placements.emplace_back(record.ReferenceId, std::move(placement));
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void PlacementsController::StartAutoLoads() {
  std::vector<std::shared_ptr<PlacementController>> placements;
  {
    std::lock_guard lock(m_listMutex);
    for (const auto& entry : m_placements) placements.push_back(entry.second);
  }
  for (const auto& placement : placements) placement->AutoLoad();
}

bool PlacementsController::AnyAdReady() {
  std::lock_guard lock(m_listMutex);
  return std::any_of(m_placements.begin(), m_placements.end(),
                     [](const auto& entry) { return entry.second->CountPlayableBundles() > 0; });
}

void PlacementsController::ReadyChanged() {
  // Through the registry: a placement's timer may outlive the controller that made it.
  auto placements = std::dynamic_pointer_cast<PlacementsController>(R::GetPlacementsController());
  if (!placements) return;
  // The web engine stays warm while an ad waits for its play.
  WebEngineKeeper::SetAdReady(placements->AnyAdReady());
}

void PlacementsController::NotifyLoadResult(const std::string& name, AdLoadHandler onSuccess, AdLoadHandler onFailure,
                                            const std::string& message) {
  try {
    if (auto placement = Find(name)) {
      placement->NotifyLoadResult(name, onSuccess, onFailure, message);
    } else {
      ReportUnknownPlacement(name, onFailure);
    }
  } catch (const std::exception& e) {
    LogException(e);
  }
}

}  // namespace kestrel
