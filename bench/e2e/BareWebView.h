#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

namespace kestrel::bench {

// A plain WebKitWebView in a GtkWindow, as an application would show a page
// without the SDK. Call on the thread that runs the GTK main loop.
class BareWebView {
 public:
  // Opens a new window with a new view on the page and pumps the main loop
  // until the page has finished loading and the creative has reported its
  // start; then closes the window. Returns the time taken, or nothing when
  // the deadline passed.
  static std::optional<std::chrono::duration<double, std::milli>> OpenUntilReady(const std::filesystem::path& indexHtml,
                                                                                 std::chrono::seconds deadline);
};

}  // namespace kestrel::bench
