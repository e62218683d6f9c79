#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

namespace kestrel::test {

// Handles the calling thread's pending window messages.
inline void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Handles the calling thread's window messages until the condition holds or the
// deadline passes; whether it holds.
inline bool PumpMessagesUntil(const std::function<bool()>& condition,
                              std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    PumpMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

}  // namespace kestrel::test
