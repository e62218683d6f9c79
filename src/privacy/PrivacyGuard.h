#pragma once

#include <exception>
#include <memory>
#include <stdexcept>

#include "config/IPersistentSettingsController.h"
#include "sdk/ControllerRegistry.h"
#include "sdk/Log.h"

namespace kestrel {

// Runs a privacy entry point's body; an exception is logged and the fallback returned.
template <typename T, typename Fn>
T RunGuarded(T fallback, Fn&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError("Unknown exception in privacy controller");
  }
  return fallback;
}

template <typename Fn>
void RunGuarded(Fn&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError("Unknown exception in privacy controller");
  }
}

// The persisted settings, where every privacy choice lives.
inline std::shared_ptr<IPersistentSettingsController> RequireSettings() {
  auto settings = ControllerRegistry::GetPersistentSettingsController();
  if (!settings) throw std::runtime_error("PersistentSettingsController is not available");
  return settings;
}

}  // namespace kestrel
