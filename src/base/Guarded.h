#pragma once

#include <exception>
#include <utility>

#include "base/Log.h"

namespace kestrel {

// Runs body and returns what it returns. What it throws is logged (anything
// that is not a std::exception as `unknown`) and never passed on; the
// fallback is returned instead.
template <typename T, typename Fn>
T RunLogged(const char* unknown, T fallback, Fn&& body) {
  try {
    return std::forward<Fn>(body)();
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError(unknown);
  }
  return fallback;
}

template <typename Fn>
void RunLogged(const char* unknown, Fn&& body) {
  try {
    std::forward<Fn>(body)();
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError(unknown);
  }
}

}  // namespace kestrel
