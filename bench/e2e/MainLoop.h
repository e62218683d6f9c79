#pragma once

#include <glib.h>

#include <chrono>

namespace kestrel::bench {

// Runs the default main context until the condition holds or the deadline
// passes; returns whether it held. Blocks between events, so a condition set
// by a main-loop event is seen at once; a 5 ms timer wakes it for conditions
// set on other threads.
template <typename Condition>
bool PumpUntil(Condition condition, std::chrono::steady_clock::duration deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  const guint timer = g_timeout_add(
      5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  while (!condition() && std::chrono::steady_clock::now() < end) g_main_context_iteration(nullptr, TRUE);
  g_source_remove(timer);
  return condition();
}

// Runs whatever is pending on the default main context.
inline void Pump() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

}  // namespace kestrel::bench
