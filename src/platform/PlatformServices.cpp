#include "platform/PlatformServices.h"

#include <mutex>

namespace kestrel {
namespace {

std::mutex& Mutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

// Returns the service in slot, creating the platform's one when the slot is empty.
template <typename T, typename Create>
std::shared_ptr<T> GetOrCreate(std::shared_ptr<T>& slot, Create create) {
  std::lock_guard lock(Mutex());
  if (!slot) slot = create();
  return slot;
}

template <typename T>
void Replace(std::shared_ptr<T>& slot, std::shared_ptr<T> service) {
  std::lock_guard lock(Mutex());
  slot = std::move(service);
}

std::shared_ptr<IProcessInfo> g_processInfo;

}  // namespace

std::shared_ptr<IProcessInfo> PlatformServices::ProcessInfo() { return GetOrCreate(g_processInfo, CreateProcessInfo); }
void PlatformServices::SetProcessInfo(std::shared_ptr<IProcessInfo> service) {
  Replace(g_processInfo, std::move(service));
}

}  // namespace kestrel
