#include "sdk/SdkState.h"

#include <atomic>

#include "base/ControllerRegistry.h"
#include "sdk/TovaneSdkConcreteFactory.h"

namespace kestrel {
namespace {

struct State {
  std::mutex initMutex;
  std::recursive_mutex preinitMutex;
  std::unique_ptr<KestrelAds> instance;  // guarded by initMutex for writes
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
  state.instancePtr.store(instance.get());
  state.instance = std::move(instance);
}

std::recursive_mutex& SdkState::PreinitMutex() {
  return Get().preinitMutex;
}

std::mutex& SdkState::InitMutex() {
  return Get().initMutex;
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
  state.instancePtr.store(nullptr);
  state.instance.reset();
  state.preinit.reset();
  state.preinitDropped = false;
}

}  // namespace kestrel
