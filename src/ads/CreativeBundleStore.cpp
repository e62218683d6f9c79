#include "ads/CreativeBundleStore.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "ads/CreativeBundleController.h"
#include "base/Log.h"
#include "storage/FileSystemController.h"

namespace kestrel {
namespace {

std::atomic<std::uint64_t> g_folderNumber{0};

bool HasExpired(const ICreativeBundleController& bundle, std::int64_t now) {
  return CreativeBundleStore::Expired(bundle.GetAdResponse().m_expiry, now);
}

bool Playable(ICreativeBundleController& bundle, std::int64_t now) {
  return bundle.AllPartsDownloaded() && !HasExpired(bundle, now);
}

}  // namespace

CreativeBundleStore::~CreativeBundleStore() {
  // The placement goes with the SDK: what it downloaded goes too.
  for (auto& bundle : m_waiting) bundle->DeleteAsync();
  if (m_played) m_played->DeleteAsync();
}

bool CreativeBundleStore::Expired(std::int64_t expiry, std::int64_t now) {
  return expiry != 0 && now >= expiry;
}

std::string CreativeBundleStore::NextFolderName(const std::string& placementId) {
  return FileSystemController::SanitizeFileName(placementId) + "_" + std::to_string(++g_folderNumber);
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

std::int32_t CreativeBundleStore::CountPlayableBundles(std::int64_t now) {
  std::deque<std::shared_ptr<ICreativeBundleController>> waiting;
  {
    std::lock_guard lock(m_mutex);
    waiting = m_waiting;
  }
  return static_cast<std::int32_t>(
      std::count_if(waiting.begin(), waiting.end(), [now](const auto& bundle) { return Playable(*bundle, now); }));
}

std::shared_ptr<ICreativeBundleController> CreativeBundleStore::TakePlayableBundle(std::int64_t now,
                                                                                   const std::string& eventId) {
  std::lock_guard lock(m_mutex);
  const auto found = std::find_if(m_waiting.begin(), m_waiting.end(), [&](const auto& bundle) {
    return Playable(*bundle, now) && (eventId.empty() || bundle->GetAdResponse().m_eventId == eventId);
  });
  if (found == m_waiting.end()) return nullptr;
  auto bundle = *found;
  m_waiting.erase(found);
  return bundle;
}

void CreativeBundleStore::MarkPlayed(std::shared_ptr<ICreativeBundleController> bundle) {
  std::lock_guard lock(m_mutex);
  if (m_played) m_played->DeleteAsync();
  m_played = std::move(bundle);
}

void CreativeBundleStore::ReleasePlayed() {
  std::lock_guard lock(m_mutex);
  if (m_played) m_played->DeleteAsync();
  m_played.reset();
}

int CreativeBundleStore::CleanUpBadBundles() {
  int deleted = 0;
  {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_waiting, [&](const auto& bundle) {
      if (bundle->GetState() != BundleState::kFailed) return false;
      bundle->DeleteAsync();
      ++deleted;
      return true;
    });
  }
  LogInfo("Deleted " + std::to_string(deleted) + " bad bundles.");
  return deleted;
}

int CreativeBundleStore::DropExpired(std::int64_t now) {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(std::erase_if(m_waiting, [now](const auto& bundle) {
    if (!bundle->AllPartsDownloaded() || !HasExpired(*bundle, now)) return false;
    bundle->DeleteAsync();
    return true;
  }));
}

int CreativeBundleStore::KeepNewest(std::int64_t now, std::int32_t limit) {
  std::lock_guard lock(m_mutex);
  std::int32_t keep = std::max(limit, 0);
  int dropped = 0;
  // From the newest back: the playable ones beyond the limit go.
  for (auto it = m_waiting.end(); it != m_waiting.begin();) {
    --it;
    if (!Playable(**it, now)) continue;
    if (keep > 0) {
      --keep;
      continue;
    }
    (*it)->DeleteAsync();
    it = m_waiting.erase(it);
    ++dropped;
  }
  return dropped;
}

std::int64_t CreativeBundleStore::NextExpiry() {
  std::lock_guard lock(m_mutex);
  std::int64_t next = 0;
  for (const auto& bundle : m_waiting) {
    const std::int64_t expiry = bundle->GetAdResponse().m_expiry;
    if (expiry != 0 && bundle->AllPartsDownloaded() && (next == 0 || expiry < next)) next = expiry;
  }
  return next;
}

}  // namespace kestrel
