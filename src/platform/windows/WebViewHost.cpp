#include "platform/IWebViewHost.h"

namespace kestrel {

// This build has no browser control: the WebView2 SDK is not part of it.
// A WebView2 host implements IWebViewHost over ICoreWebView2Controller,
// created in the window's NativeHandle() (an HWND), and is returned here.
std::unique_ptr<IWebViewHost> CreateWebViewHost(IOverlayWindow& /*window*/, const std::string& /*userDataFolder*/,
                                                IWebViewHost::Events /*events*/, std::string& failure) {
  failure = "no web view could be created in its window.";
  return nullptr;
}

}  // namespace kestrel
