#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/IWebViewHost.h"
#include "platform/windows/WebView2Interfaces.h"

namespace kestrel {

// The ad's browser on Windows: a WebView2 controller in the overlay window,
// over the process's shared environment. Everything runs on the window thread,
// in a single-threaded COM apartment. The browser arrives later than the host:
// calls made before then are kept and applied in order once it is there.
class WebView2Runtime;

class WebView2Host : public IWebViewHost {
 public:
  // Null with `failure` set when no browser can be started in the window.
  static std::unique_ptr<WebView2Host> Create(HWND window, const std::string& userDataFolder, Events events,
                                              std::string& failure);
  // Starts the process's environment, which the plays then share; false
  // with `failure` set when it cannot be started. On the window thread.
  static bool StartEnvironment(const std::string& userDataFolder, std::string& failure);

  ~WebView2Host() override;
  WebView2Host(const WebView2Host&) = delete;
  WebView2Host& operator=(const WebView2Host&) = delete;

  std::string BrowserVersion() const override { return m_version; }
  void AddScriptToExecuteOnDocumentCreated(const std::string& script) override;
  std::string ServeFolder(const std::string& folder) override;
  void Navigate(const std::string& url) override;
  void ExecuteScript(const std::string& script, ScriptCompleted completed) override;
  void Show() override;
  void MoveFocus() override;
  void Stop() override;
  void EndPageProcess() override;
  void SaveSnapshot(const std::string& pngPath, std::function<void(bool saved)> done) override;

 private:
  using Weak = std::weak_ptr<WebView2Host*>;

  WebView2Host(HWND window, Events events, const WebView2Runtime& runtime, std::wstring userDataFolder);
  // The runtime, with this thread in a single-threaded apartment and the folder made.
  static const WebView2Runtime* Prepare(const std::string& userDataFolder, std::string& failure);
  HRESULT RequestEnvironment();
  void OnEnvironment(HRESULT result, webview2::ICoreWebView2Environment* environment);
  void OnController(HRESULT result, webview2::ICoreWebView2Controller* controller);
  void Configure();
  // False when one could not be registered: the host has failed and may be gone.
  bool AddEventHandlers();
  // Registers a handler and releases the caller's reference to it. After a
  // failure, described in `failure`, no more are registered.
  template <typename Object, typename Source, typename Handler>
  void Register(const char* event, Object* object,
                HRESULT (STDMETHODCALLTYPE Source::*add)(Handler*, EventRegistrationToken*),
                HRESULT (STDMETHODCALLTYPE Source::*remove)(EventRegistrationToken), Handler* handler,
                std::string& failure);
  // Runs the step once the browser is there and the scripts before it are in.
  void Apply(std::function<void()> step);
  void ApplyPending();
  // Reports the failure once. The host may be gone when it returns.
  void Fail(const std::string& reason);
  bool FromServedOrigin(const std::string& source) const;

  HWND m_window;
  Events m_events;
  const WebView2Runtime& m_runtime;
  std::wstring m_userDataFolder;
  std::string m_version;
  std::shared_ptr<WebView2Host*> m_self;  // callbacks hold weak copies
  Microsoft::WRL::ComPtr<webview2::ICoreWebView2Controller> m_controller;
  Microsoft::WRL::ComPtr<webview2::ICoreWebView2_3> m_view;
  std::vector<std::function<void()>> m_pending;
  int m_scriptsBeingAdded = 0;
  std::vector<std::string> m_servedOrigins;  // "https://host/"
  std::vector<std::function<void()>> m_removals;  // one for each handler registered
  bool m_starting = true;
  bool m_retried = false;  // a failed controller is made again once
  bool m_failed = false;
  std::string m_startFailure;
};

}  // namespace kestrel
