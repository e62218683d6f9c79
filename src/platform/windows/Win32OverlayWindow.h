#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>

#include "platform/IOverlayWindow.h"

namespace kestrel {

// An owned popup laid over the publisher window's client area: borderless,
// above its owner, painted black; the close control is a popup owned by it.
// While one exists a location hook reports the moves and size changes of
// the owner and of the windows it sits in. Created, used and destroyed on the
// thread that owns the publisher window.
class Win32OverlayWindow : public IOverlayWindow {
 public:
  // Null when the owner is not a window, the caller is not its thread, or
  // the window cannot be created.
  static std::unique_ptr<Win32OverlayWindow> Create(HWND owner, Events events);

  ~Win32OverlayWindow() override;
  Win32OverlayWindow(const Win32OverlayWindow&) = delete;
  Win32OverlayWindow& operator=(const Win32OverlayWindow&) = delete;

  void CoverOwner() override;
  WindowSize ClientSize() const override;
  void Show() override;
  void ShowCloseControl() override;
  bool ShowsCloseControl() const override { return m_closeControl != nullptr; }
  void After(std::chrono::milliseconds delay, std::function<void()> work) override;
  void* NativeHandle() const override { return m_window; }
  // The SDK's close control, a small window owned by the overlay; null until it shows.
  HWND CloseControl() const { return m_closeControl; }

  // Whether the process has a location hook installed.
  static bool HasLocationHook();
  // Before the module goes: its window classes go with it.
  static void UnregisterClasses();

 private:
  Win32OverlayWindow(HWND owner, Events events);

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK CloseControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
  static void CALLBACK OnWinEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child,
                                  DWORD thread, DWORD time);
  static void InstallLocationHook();
  static void RemoveLocationHook();
  void OwnerMoved();
  void AppFocusChanged(bool active);
  void PlaceCloseControl();
  // The window and this object may be gone when it returns.
  void RaiseClose();
  void RunTimer(UINT_PTR id);

  HWND m_owner;
  Events m_events;
  HWND m_window = nullptr;  // cleared when the window is destroyed
  HWND m_closeControl = nullptr;
  std::map<UINT_PTR, std::function<void()>> m_timers;  // pending, by timer id
  UINT_PTR m_nextTimer = 1;
};

}  // namespace kestrel
