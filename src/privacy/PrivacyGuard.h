#pragma once

#include <memory>
#include <stdexcept>
#include <utility>

#include "base/ControllerRegistry.h"
#include "base/Guarded.h"
#include "config/IPersistentSettingsController.h"

namespace kestrel {

// Runs a privacy entry point's body; an exception is logged and the fallback returned.
template <typename T, typename Fn>
T RunGuarded(T fallback, Fn&& body) {
  return RunLogged("Unknown exception in privacy controller", std::move(fallback), std::forward<Fn>(body));
}

template <typename Fn>
void RunGuarded(Fn&& body) {
  RunLogged("Unknown exception in privacy controller", std::forward<Fn>(body));
}

// The persisted settings, where every privacy choice lives.
inline std::shared_ptr<IPersistentSettingsController> RequireSettings() {
  auto settings = ControllerRegistry::GetPersistentSettingsController();
  if (!settings) throw std::runtime_error("PersistentSettingsController is not available");
  return settings;
}

}  // namespace kestrel
