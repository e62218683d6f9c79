#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/IOverlayWindow.h"

namespace kestrel {

// The browser control that shows a creative inside the overlay window.
// All text is UTF-8. Used on the overlay window's thread only; every event
// and completion arrives there, and none after the host is destroyed.
class IWebViewHost {
 public:
  enum class Permission { Microphone, Camera, Other };

  struct Events {
    std::function<void()> navigationCompleted;  // each finished navigation
    // What the page posted with window.chrome.webview.postMessage, as JSON text.
    std::function<void(const std::string& json)> webMessageReceived;
    // True denies the request; false leaves it to the browser's default handling.
    std::function<bool(Permission)> permissionRequested;
  };
  // Error 0 and the result as JSON text (empty for none), or a non-zero error.
  using ScriptCompleted = std::function<void(int error, const std::string& resultJson)>;

  virtual ~IWebViewHost() = default;  // stops the events and releases the browser
  virtual std::string BrowserVersion() const = 0;
  // Runs in every document before the page's own scripts, in the order added.
  virtual void AddScriptToExecuteOnDocumentCreated(const std::string& script) = 0;
  virtual void Navigate(const std::string& filePath) = 0;
  // Scripts run in the order issued.
  virtual void ExecuteScript(const std::string& script, ScriptCompleted completed = {}) = 0;
  // Fills the window, shows the browser and gives it the keyboard focus.
  virtual void Show() = 0;
  virtual void MoveFocus() = 0;
  virtual void Stop() = 0;
  // Saves what the browser shows as a PNG file; `done` tells whether it was saved.
  virtual void SaveSnapshot(const std::string& pngPath, std::function<void(bool saved)> done) = 0;
};

// Null when the browser cannot be created in the window.
std::unique_ptr<IWebViewHost> CreateWebViewHost(IOverlayWindow& window, const std::string& userDataFolder,
                                                IWebViewHost::Events events);

}  // namespace kestrel
