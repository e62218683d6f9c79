#include "sdk/SdkState.h"

#include <atomic>

#include "ads/PlacementCallbacks.h"
#include "base/ControllerRegistry.h"
#include "display/WebEngineKeeper.h"
#include "sdk/TovaneSdkConcreteFactory.h"

namespace kestrel {
namespace {

struct State {
  std::mutex initMutex;  // guards the initialisation phase and its waiters, and the instance for writes
  SdkState::InitPhase initPhase = SdkState::InitPhase::kNotStarted;
  std::string initFailure;
  std::vector<SdkState::InitWaiter> initWaiters;
  std::recursive_mutex preinitMutex;
  std::unique_ptr<KestrelAds> instance;
  std::atomic<KestrelAds*> instancePtr{nullptr};
  std::unique_ptr<PreinitSettings> preinit;
  bool preinitDropped = false;
  std::mutex factoryMutex;
  SdkState::FactoryMaker factoryMaker;
};

// Never destroyed, like the registry it sits beside.
State& Get() {
  static auto* state = new State();
  return *state;
}

}  // namespace

KestrelAds* SdkState::Instance() {
  return Get().instancePtr.load();
}

void SdkState::SetInstance(std::unique_ptr<KestrelAds> instance) {
  auto& state = Get();
  std::lock_guard lock(state.initMutex);
  state.instancePtr.store(instance.get());
  state.instance = std::move(instance);
}

std::recursive_mutex& SdkState::PreinitMutex() {
  return Get().preinitMutex;
}

SdkState::InitStart SdkState::StartInitialization(InitWaiter waiter) {
  auto& state = Get();
  std::lock_guard lock(state.initMutex);
  switch (state.initPhase) {
    case InitPhase::kConfigured: return InitStart::kConfigured;
    case InitPhase::kRunning:
      state.initWaiters.push_back(std::move(waiter));
      return InitStart::kJoined;
    case InitPhase::kNotStarted:
    case InitPhase::kFailed: break;
  }
  state.initPhase = InitPhase::kRunning;
  state.initWaiters.assign(1, std::move(waiter));
  return InitStart::kRun;
}

std::vector<SdkState::InitWaiter> SdkState::FinishInitialization(bool configured, const std::string& failure) {
  auto& state = Get();
  std::lock_guard lock(state.initMutex);
  if (state.initPhase != InitPhase::kRunning) return {};
  state.initPhase = configured ? InitPhase::kConfigured : InitPhase::kFailed;
  state.initFailure = configured ? std::string() : failure;
  std::vector<InitWaiter> waiters;
  waiters.swap(state.initWaiters);
  return waiters;
}

SdkState::InitPhase SdkState::GetInitPhase(std::string* failure) {
  auto& state = Get();
  std::lock_guard lock(state.initMutex);
  if (failure) *failure = state.initFailure;
  return state.initPhase;
}

PreinitSettings* SdkState::PreinitOrNull() {
  auto& state = Get();
  if (!state.preinit && !state.preinitDropped) state.preinit = std::make_unique<PreinitSettings>();
  return state.preinit.get();
}

void SdkState::DropPreinit() {
  auto& state = Get();
  std::lock_guard lock(state.preinitMutex);
  state.preinit.reset();
  state.preinitDropped = true;
}

std::shared_ptr<ITovaneSdkAbstractFactory> SdkState::MakeFactory() {
  auto& state = Get();
  std::lock_guard lock(state.factoryMutex);
  if (state.factoryMaker) return state.factoryMaker();
  return std::make_shared<TovaneSdkConcreteFactory>();
}

void SdkState::SetFactoryMaker(FactoryMaker maker) {
  auto& state = Get();
  std::lock_guard lock(state.factoryMutex);
  state.factoryMaker = std::move(maker);
}

void SdkState::Reset() {
  auto& state = Get();
  std::lock_guard initLock(state.initMutex);
  std::lock_guard preinitLock(state.preinitMutex);
  ControllerRegistry::Clear();
  WebEngineKeeper::Reset();
  state.instancePtr.store(nullptr);
  state.instance.reset();
  state.preinit.reset();
  state.preinitDropped = false;
  state.initPhase = InitPhase::kNotStarted;
  state.initFailure.clear();
  state.initWaiters.clear();
  PlacementCallbacks::Clear();
}

}  // namespace kestrel
