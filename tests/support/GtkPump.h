#pragma once

#include <glib.h>

#include <chrono>
#include <functional>

#include "support/Wait.h"

namespace kestrel::test {

// Runs the default main context until nothing is pending. The calling thread
// plays the publisher's GTK thread.
inline void Pump() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

// Waits for the condition while the main loop runs.
inline bool PumpUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
  return WaitUntil(
      [&] {
        Pump();
        return condition();
      },
      deadline);
}

}  // namespace kestrel::test
