#include "ads/CreativeBundleStore.h"

#include <algorithm>

#include "ads/CreativeBundleController.h"
#include "base/Log.h"
#include "storage/FileSystemController.h"

namespace kestrel {

std::string CreativeBundleStore::NextFolderName(const std::string& placementId) {
  std::int32_t counter = 0;
  {
    std::lock_guard lock(m_mutex);
    if (++m_folderCounter > 5) m_folderCounter = 0;
    counter = m_folderCounter;
  }
  return FileSystemController::SanitizeFileName(placementId + "_" + std::to_string(counter));
}

std::shared_ptr<CreativeBundleController> CreativeBundleStore::AddBundle(const AdResponse& ad,
                                                                         const std::string& placementId,
                                                                         std::function<void(bool, const std::string&)> onDone) {
  auto bundle =
      std::make_shared<CreativeBundleController>(ad, placementId, NextFolderName(placementId), std::move(onDone));
  std::lock_guard lock(m_mutex);
  m_waiting.push_back(bundle);
  return bundle;
}

std::int32_t CreativeBundleStore::CountPlayableBundles() {
  std::deque<std::shared_ptr<ICreativeBundleController>> waiting;
  {
    std::lock_guard lock(m_mutex);
    waiting = m_waiting;
  }
  return static_cast<std::int32_t>(
      std::count_if(waiting.begin(), waiting.end(), [](const auto& bundle) { return bundle->AllPartsDownloaded(); }));
}

std::shared_ptr<ICreativeBundleController> CreativeBundleStore::TakePlayableBundle() {
  std::lock_guard lock(m_mutex);
  while (!m_waiting.empty()) {
    auto bundle = m_waiting.front();
    m_waiting.pop_front();
    if (bundle->AllPartsDownloaded()) return bundle;
    bundle->DeleteAsync();  // the folder goes on the work queue
  }
  return nullptr;
}

void CreativeBundleStore::MarkPlayed(std::shared_ptr<ICreativeBundleController> bundle) {
  std::lock_guard lock(m_mutex);
  // Only the latest play's bundle is kept: a process that plays for hours must not collect them all.
  m_played.clear();
  m_played.push_back(std::move(bundle));
}

void CreativeBundleStore::CleanUpBadBundles() {
  std::lock_guard lock(m_mutex);
  int deleted = 0;
  std::erase_if(m_waiting, [&](const auto& bundle) {
    if (bundle->GetState() != BundleState::kFailed) return false;
    bundle->DeleteAsync();
    ++deleted;
    return true;
  });
  LogInfo("Deleted " + std::to_string(deleted) + " bad bundles.");
}

}  // namespace kestrel
