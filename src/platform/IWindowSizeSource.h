#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "kestrel/KestrelAds.h"

namespace kestrel {

// The client-area size of one window, readable from any thread.
class IWindowSizeSource {
 public:
  struct Size {
    std::int32_t width = 0;
    std::int32_t height = 0;
  };

  virtual ~IWindowSizeSource() = default;
  // Empty while the size is not known, or once the window is gone.
  virtual std::optional<Size> ClientSize() const = 0;
};

// Starts tracking the window's size. The window may be destroyed at any
// time; from then on it has no size.
std::unique_ptr<IWindowSizeSource> CreateWindowSizeSource(WindowHandle window);

}  // namespace kestrel
