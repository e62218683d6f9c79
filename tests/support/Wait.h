#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace kestrel::test {

// Polls a condition until it holds or the deadline passes; returns whether it held.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Seconds since the epoch, as the SDK stamps its records.
inline std::int32_t NowSeconds() {
  using namespace std::chrono;
  return static_cast<std::int32_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace kestrel::test
