#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/windows/WebView2Interfaces.h"

namespace kestrel {

class WebView2Runtime;

// The process's WebView2 environment, shared by every play: created on first
// use and kept until forgotten; a creation that failed is tried again by the
// next request. Used on the window thread only.
class WebView2Environment {
 public:
  // Called with S_OK and the environment (borrowed), or a failure and null.
  using Ready = std::function<void(HRESULT result, webview2::ICoreWebView2Environment* environment)>;

  // Hands the environment to `ready`: at once when it exists, otherwise once
  // created (later, from the message queue). A creation the runtime refuses at
  // once is returned here, and `ready` is not called.
  static HRESULT Request(const WebView2Runtime& runtime, const std::wstring& userDataFolder, Ready ready);
  // Drops the environment: its browser process has ended, or is to end.
  static void Forget();
};

}  // namespace kestrel
