#include "platform/Backend.h"

#include <windows.h>

#include "base/Log.h"
#include "platform/windows/WebView2Environment.h"
#include "platform/windows/WebView2Host.h"

namespace kestrel {

// The process's environment, which every play then shares, starts on the
// window's thread: its browser process is running by the first play.
void WarmUpWebEngine(WindowHandle window, const std::string& userDataFolder) {
  if (!window) return;
  RunOnWindowThread([window, userDataFolder] {
    if (!IsWindowThread(window)) {
      LogInfo("WebView2 starts with the first play: InitializeAsync was not called on the window's thread.");
      return;
    }
    std::string failure;
    if (!WebView2Host::StartEnvironment(userDataFolder, failure)) {
      LogWarn("WebView2 could not be started ahead of the first play: " + failure);
    }
  });
}

// Every play's controller closes with its host, so the shared environment is
// all that keeps the browser's processes: without it they end.
void ReleaseWebEngine() {
  RunOnWindowThread([] { WebView2Environment::Forget(); });
}

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
