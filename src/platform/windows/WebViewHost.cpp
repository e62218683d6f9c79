#include "platform/Backend.h"

#include <windows.h>

#include "platform/windows/WebView2Host.h"

namespace kestrel {

// The first play creates the process's environment, which every later play shares.
void WarmUpWebEngine(WindowHandle /*window*/, const std::string& /*userDataFolder*/) {}

std::unique_ptr<IWebViewHost> CreateWebViewHost(IOverlayWindow& window, const std::string& userDataFolder,
                                                IWebViewHost::Events events, std::string& failure) {
  HWND native = static_cast<HWND>(window.NativeHandle());
  if (!native || !IsWindow(native)) {
    failure = "the overlay is not a window.";
    return nullptr;
  }
  return WebView2Host::Create(native, userDataFolder, std::move(events), failure);
}

}  // namespace kestrel
