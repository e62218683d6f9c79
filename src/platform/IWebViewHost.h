#pragma once

#include <functional>
#include <string>

namespace kestrel {

// The browser control that shows a creative inside the overlay window.
// All text is UTF-8. Used on the overlay window's thread only; every event
// and completion arrives there, and none after the host is destroyed.
class IWebViewHost {
 public:
  enum class Permission { Microphone, Camera, Other };

  struct Events {
    std::function<void()> navigationCompleted;  // each finished navigation
    // What the page posted through kWebMessageChannel (Backend.h), as JSON text.
    std::function<void(const std::string& json)> webMessageReceived;
    // True denies the request; false leaves it to the browser's default handling.
    std::function<bool(Permission)> permissionRequested;
    // Escape was pressed while the page has the keyboard. True when it closes
    // the ad: the key then goes no further. The close must not happen inside
    // the call (the browser may be waiting on it).
    std::function<bool()> escapePressed;
    // The page asked for a new window (window.open, a link to another
    // target); none ever opens. `byUser`: a gesture of the user asked for it.
    std::function<void(const std::string& url, bool byUser)> newWindowRequested;
    // The browser could not start, or its process ended: nothing more will show.
    // The reason is one line of text for the log and the publisher.
    std::function<void(const std::string& reason)> failed;
  };
  // Error 0 and the result as JSON text (empty for none), or a non-zero error.
  using ScriptCompleted = std::function<void(int error, const std::string& resultJson)>;

  // Stops the events and releases the browser. An event handler may destroy
  // the host that called it.
  virtual ~IWebViewHost() = default;
  virtual std::string BrowserVersion() const = 0;
  // Runs in every document before the page's own scripts, in the order added.
  virtual void AddScriptToExecuteOnDocumentCreated(const std::string& script) = 0;
  // Serves the files inside the folder, and nothing else, from an origin of
  // this host's own; returns that origin's base url, ending in "/". Call it
  // before navigating there.
  virtual std::string ServeFolder(const std::string& folder) = 0;
  virtual void Navigate(const std::string& url) = 0;
  // Scripts run in the order issued.
  virtual void ExecuteScript(const std::string& script, ScriptCompleted completed = {}) = 0;
  // Fills the window, shows the browser and gives it the keyboard focus.
  virtual void Show() = 0;
  virtual void MoveFocus() = 0;
  virtual void Stop() = 0;
  // Ends the process of a page that stopped answering; no `failed` event follows.
  virtual void EndPageProcess() = 0;
  // Saves what the browser shows as a PNG file; `done` tells whether it was saved.
  virtual void SaveSnapshot(const std::string& pngPath, std::function<void(bool saved)> done) = 0;
};

}  // namespace kestrel
