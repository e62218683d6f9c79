#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/windows/WebView2Interfaces.h"

namespace kestrel {

// The WebView2 runtime of this machine, found without WebView2Loader.dll: a
// fixed-version runtime named by WEBVIEW2_BROWSER_EXECUTABLE_FOLDER first, then
// the installed (Evergreen) runtime that EdgeUpdate records, machine-wide and
// then per user. Its EmbeddedBrowserWebView.dll stays loaded for the life of
// the process once found.
class WebView2Runtime {
 public:
  // The runtime, or null with `failure` saying why none can be used. Nothing
  // is remembered of a search that found nothing: the next call looks again.
  static const WebView2Runtime* Find(std::string& failure);

  // Starts creating an environment; the handler hears the result on this thread.
  HRESULT CreateEnvironment(const std::wstring& userDataFolder,
                            webview2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) const;
  // The runtime's version as its folder names it, e.g. "131.0.2903.86".
  const std::string& Version() const { return m_version; }

 private:
  WebView2Runtime(webview2::CreateWebViewEnvironmentWithOptionsInternal create, int type, std::string version)
      : m_create(create), m_type(type), m_version(std::move(version)) {}

  webview2::CreateWebViewEnvironmentWithOptionsInternal m_create;
  int m_type;  // 0 installed, 1 fixed version
  std::string m_version;
};

}  // namespace kestrel
