#include <windows.h>

#include <atomic>
#include <memory>

#include "platform/Backend.h"
#include "platform/IWindowSizeSource.h"

namespace kestrel {
namespace {

// Reads the client size when asked: GetClientRect works from any thread of
// the process. Once the window is gone it stays gone, even if its handle is
// later given to another window.
class Win32WindowSizeSource : public IWindowSizeSource {
 public:
  explicit Win32WindowSizeSource(HWND window) : m_window(window) {}

  std::optional<Size> ClientSize() const override {
    if (m_gone) return std::nullopt;
    RECT client{};
    if (!IsWindow(m_window) || !GetClientRect(m_window, &client)) {
      m_gone = true;
      return std::nullopt;
    }
    return Size{client.right - client.left, client.bottom - client.top};
  }

 private:
  HWND m_window;
  mutable std::atomic<bool> m_gone{false};
};

}  // namespace

std::unique_ptr<IWindowSizeSource> CreateWindowSizeSource(WindowHandle window) {
  if (!window) return nullptr;
  return std::make_unique<Win32WindowSizeSource>(window);
}

}  // namespace kestrel
