#pragma once

#include <functional>
#include <memory>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "kestrel/KestrelAds.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/PreinitSettings.h"

namespace kestrel {

// The facade's process-wide state: the instance, the pre-initialisation
// settings and the lock that lets one initialisation run at a time.
class SdkState {
 public:
  static KestrelAds* Instance();
  static void SetInstance(std::unique_ptr<KestrelAds> instance);

  // Runs fn with the pre-initialisation settings (null once initialisation
  // dropped them) under their lock, so that initialisation cannot drop them
  // while a privacy operation uses them. Created on first use.
  template <typename Fn>
  static auto WithPreinit(Fn&& fn) {
    std::lock_guard lock(PreinitMutex());
    return fn(PreinitOrNull());
  }

  static std::recursive_mutex& PreinitMutex();
  static void DropPreinit();

  // Where initialisation stands. One attempt runs at a time; callers that
  // come while it runs wait for its outcome; a failed attempt may be retried.
  enum class InitPhase { kNotStarted, kRunning, kConfigured, kFailed };
  struct InitWaiter {
    InitializationCallback callback;
    std::shared_ptr<std::promise<KestrelAds*>> done;
  };
  enum class InitStart { kRun, kJoined, kConfigured };
  // kRun: the caller runs an attempt; kJoined: the waiter waits for the one
  // running; kConfigured: the SDK is configured already (the waiter is not kept).
  static InitStart StartInitialization(InitWaiter waiter);
  // Ends the running attempt and hands back its waiters.
  static std::vector<InitWaiter> FinishInitialization(bool configured, const std::string& failure);
  // The phase, and why the last attempt failed.
  static InitPhase GetInitPhase(std::string* failure = nullptr);

  // The factory that initialisation wires the controllers with. Tests replace it.
  using FactoryMaker = std::function<std::shared_ptr<ITovaneSdkAbstractFactory>()>;
  static std::shared_ptr<ITovaneSdkAbstractFactory> MakeFactory();
  static void SetFactoryMaker(FactoryMaker maker);

  // Back to the state of a freshly loaded library. Used by tests; keeps the factory maker.
  static void Reset();

 private:
  static PreinitSettings* PreinitOrNull();
};

}  // namespace kestrel
