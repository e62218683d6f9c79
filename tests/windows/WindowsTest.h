// The prelude of the Windows backend's tests: includes and small helpers.
#pragma once

#include <windows.h>

#include "support/TestPrelude.h"

#include "platform/windows/Utf16.h"
#include "support/windows/MessagePump.h"

namespace kestrel::test {

using namespace std::chrono_literals;

inline std::string Utf8(const fs::path& path) { return ToUtf8(path.wstring()); }

inline std::string Env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }

// A visible top-level window of the test's thread, as a publisher's.
inline HWND CreatePublisherWindow(int x, int y, int width, int height) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"KestrelTestPublisher";
  RegisterClassExW(&windowClass);  // a second registration fails harmlessly
  return CreateWindowExW(0, windowClass.lpszClassName, L"Publisher", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width,
                         height, nullptr, nullptr, windowClass.hInstance, nullptr);
}

}  // namespace kestrel::test
