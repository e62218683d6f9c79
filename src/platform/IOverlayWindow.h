#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace kestrel {

struct WindowSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// A borderless window laid over the client area of the publisher's window,
// above it and out of the taskbar, black until its content shows. Created,
// used and destroyed on the thread that owns the publisher window.
class IOverlayWindow {
 public:
  struct Events {
    std::function<void()> ownerMoved;  // the publisher window moved or changed size
    std::function<void(bool active)> appFocusChanged;
    // The user clicked the close control, or pressed Escape while it shows.
    std::function<void()> closeRequested;
  };

  virtual ~IOverlayWindow() = default;  // destroys the window
  // Moves and sizes the window over the owner's client area and raises it
  // without activating it.
  virtual void CoverOwner() = 0;
  virtual WindowSize ClientSize() const = 0;
  virtual void Show() = 0;
  // Draws the SDK's own close control over the content, in a corner.
  virtual void ShowCloseControl() = 0;
  virtual bool ShowsCloseControl() const = 0;
  // Runs the work on the window's thread after the delay, unless the window
  // is destroyed first.
  virtual void After(std::chrono::milliseconds delay, std::function<void()> work) = 0;
  // The platform's object the web view goes into, for the web view host of
  // the same platform.
  virtual void* NativeHandle() const = 0;
};

}  // namespace kestrel
