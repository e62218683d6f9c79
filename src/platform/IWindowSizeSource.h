#pragma once

#include <cstdint>
#include <optional>

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

}  // namespace kestrel
