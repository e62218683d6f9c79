#include "display/WebEngineKeeper.h"

#include <cstdint>
#include <mutex>
#include <utility>

#include "base/Guarded.h"
#include "base/Log.h"
#include "base/WorkQueue.h"
#include "platform/Backend.h"

namespace kestrel {
namespace {

struct Keeper {
  std::mutex mutex;  // guards everything below
  WindowHandle window = nullptr;
  std::string folder;
  bool configured = false;
  bool ready = false;
  int plays = 0;                // overlays open
  std::uint64_t changes = 0;    // a release waits for no change during its grace
  std::chrono::milliseconds grace = WebEngineKeeper::kReleaseGrace;
};

Keeper& State() {
  static auto* keeper = new Keeper();  // used from detached timer threads: never destroyed
  return *keeper;
}

bool Idle(const Keeper& keeper, std::uint64_t change) {
  return keeper.configured && !keeper.ready && keeper.plays == 0 && keeper.changes == change;
}

// Under the lock: once the grace passes with no change, the engine goes. The
// last check is made on the window thread, where plays start, so none can
// start between it and the release.
void ScheduleReleaseLocked(Keeper& keeper) {
  if (!keeper.configured || keeper.ready || keeper.plays > 0) return;
  const std::uint64_t change = keeper.changes;
  WorkQueue::Shared().PostAfter(keeper.grace, [change] {
    {
      std::lock_guard lock(State().mutex);
      if (!Idle(State(), change)) return;
    }
    RunOnWindowThread([change] {
      RunLogged("The web engine could not be released.", [&] {
        Keeper& state = State();
        std::unique_lock lock(state.mutex);
        if (!Idle(state, change) || !IsWindowThread(state.window)) return;
        lock.unlock();
        LogInfo("No ad is ready or showing: the web engine is released.");
        ReleaseWebEngine();
      });
    });
  });
}

}  // namespace

void WebEngineKeeper::Configure(WindowHandle window, std::string userDataFolder) {
  Keeper& keeper = State();
  std::unique_lock lock(keeper.mutex);
  keeper.window = window;
  keeper.folder = std::move(userDataFolder);
  keeper.configured = window != nullptr;
  ++keeper.changes;
  const bool warm = keeper.configured && keeper.ready;
  const std::string folder = keeper.folder;
  ScheduleReleaseLocked(keeper);
  lock.unlock();
  if (warm) WarmUpWebEngine(window, folder);
}

void WebEngineKeeper::SetAdReady(bool anyReady) {
  Keeper& keeper = State();
  std::unique_lock lock(keeper.mutex);
  const bool warm = anyReady && !keeper.ready && keeper.configured;
  keeper.ready = anyReady;
  ++keeper.changes;
  ScheduleReleaseLocked(keeper);
  const WindowHandle window = keeper.window;
  const std::string folder = keeper.folder;
  lock.unlock();
  if (warm) WarmUpWebEngine(window, folder);
}

void WebEngineKeeper::Reset() {
  Keeper& keeper = State();
  std::lock_guard lock(keeper.mutex);
  keeper.window = nullptr;
  keeper.folder.clear();
  keeper.configured = false;
  keeper.ready = false;
  keeper.grace = kReleaseGrace;
  ++keeper.changes;
}

void WebEngineKeeper::PlayStarted() {
  Keeper& keeper = State();
  std::lock_guard lock(keeper.mutex);
  ++keeper.plays;
  ++keeper.changes;
}

void WebEngineKeeper::PlayEnded() {
  Keeper& keeper = State();
  std::lock_guard lock(keeper.mutex);
  if (keeper.plays > 0) --keeper.plays;
  ++keeper.changes;
  ScheduleReleaseLocked(keeper);
}

void WebEngineKeeper::SetReleaseGraceForTesting(std::chrono::milliseconds grace) {
  Keeper& keeper = State();
  std::lock_guard lock(keeper.mutex);
  keeper.grace = grace;
}

}  // namespace kestrel
