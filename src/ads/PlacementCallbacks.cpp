#include "ads/PlacementCallbacks.h"

#include <map>
#include <mutex>

#include "kestrel/KestrelAds.h"

namespace kestrel {
namespace {

std::mutex g_mutex;  // guards g_callbacks
std::map<std::string, AdLoadCallback> g_callbacks;

}  // namespace

void PlacementCallbacks::Set(const std::string& placement, AdLoadCallback callbacks) {
  std::lock_guard lock(g_mutex);
  if (!callbacks.OnAdLoadSuccess && !callbacks.OnAdLoadFailure) {
    g_callbacks.erase(placement);
  } else {
    g_callbacks[placement] = std::move(callbacks);
  }
}

AdLoadCallback PlacementCallbacks::Get(const std::string& placement) {
  std::lock_guard lock(g_mutex);
  const auto found = g_callbacks.find(placement);
  return found != g_callbacks.end() ? found->second : AdLoadCallback{};
}

void PlacementCallbacks::Clear() {
  std::lock_guard lock(g_mutex);
  g_callbacks.clear();
}

}  // namespace kestrel
