#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Forward.h"
#include "kestrel/KestrelAds.h"
#include "platform/IWebViewHost.h"

namespace kestrel {

class IOverlayWindow;

// The overlay window laid over the publisher's window while an ad plays, and
// the browser in it that runs the creative with the MRAID bridge. Used on the
// thread that owns the publisher window; at most one overlay shows at a time.
class DisplayOverlayAdView : public std::enable_shared_from_this<DisplayOverlayAdView> {
 public:
  using Replacements = std::unordered_map<std::string, std::string>;

  // The SDK's own close control, and Escape, come this long after the play
  // starts over an interstitial,
  static constexpr std::chrono::seconds kCloseControlGrace{5};
  // and over a rewarded ad once the creative has reported its view (but not
  // before the grace), or this long after the start without it.
  static constexpr std::chrono::seconds kRewardedCloseLimit{30};
  // The page must have loaded with the bridge in it and run the ready event
  // within this time of the play's start, or the play fails.
  static constexpr std::chrono::seconds kReadyTimeout{15};
  // Messages from the page beyond this many in a second are not read,
  static constexpr int kMaxMessagesPerSecond = 200;
  // nor is any message longer than this. A command of the bridge is still
  // answered, with the reason it was refused.
  static constexpr std::size_t kMaxMessageBytes = 1024 * 1024;

  // `count` refusals of one command for one reason, one after the other.
  struct Refusal {
    std::string command;
    std::string reason;
    int count = 1;
  };

  // Shows the overlay over the publisher window and starts loading the
  // creative. A handle that is not a window or a call from another thread
  // than the window's is logged and shows nothing.
  static std::shared_ptr<DisplayOverlayAdView> Create(const std::string& bundleFolder, const std::string& templateType,
                                                      bool incentivized, WindowHandle publisherWindow,
                                                      Replacements replacements, DisplayAdController* owner);
  ~DisplayOverlayAdView();
  DisplayOverlayAdView(const DisplayOverlayAdView&) = delete;
  DisplayOverlayAdView& operator=(const DisplayOverlayAdView&) = delete;

  // The view whose window is the overlay; null when none shows.
  static std::shared_ptr<DisplayOverlayAdView> Current();
  // Lays the overlay over the publisher's client area and tells the creative its size.
  static void UpdateOverlayPosition();

  void OnAppFocusChanged(bool isActive);
  void NotifyPropertiesChanged(const std::map<std::string, std::string>& properties);
  void NotifySizeChanged(std::int32_t width, std::int32_t height);
  // Stops the browser and destroys the window.
  void Close();
  // The creative reported its successful view.
  void OnCreativeViewed();
  // Whether the SDK's close control shows.
  bool ShowsCloseControl() const;

  bool HasWebView() const { return m_webView != nullptr; }
  // The ad is ending: the publisher is being told, and the next play may start.
  void MarkEnding() { m_ending = true; }
  bool Ending() const { return m_ending; }
  // The overlay opened but no browser could be made in it, so nothing can show.
  bool OpenedWithoutWebView() const { return m_window != nullptr && m_webView == nullptr; }
  // Why the browser could not be made, or stopped; empty while nothing failed.
  const std::string& Failure() const { return m_failure; }
  // Runs a script in the creative's page; for tests.
  void ExecuteScript(const std::string& script, IWebViewHost::ScriptCompleted completed);
  // Saves what the ad shows as a PNG file; `done` tells whether it was saved.
  void SaveSnapshot(const std::string& pngPath, std::function<void(bool saved)> done);

 private:
  DisplayOverlayAdView(const std::string& bundleFolder, const std::string& templateType, bool incentivized,
                       Replacements replacements, DisplayAdController* owner);

  void Show(WindowHandle publisherWindow);
  void CreateOverlayWindow(WindowHandle publisher);
  void SetupWebView();
  void OnNavigationCompleted();
  void OnWebMessageReceived(const std::string& json);
  void OnWebViewFailed(const std::string& reason);
  void OnGraceOver();
  void OnRewardedLimit();
  void OnReadyDeadline();
  void OnCloseRequested();
  void ShowCloseControl();
  // Why a message may not reach the command receiver, empty when it may; logs
  // the first drop of each kind. `overRate`: refused by the rate cap.
  std::string Admits(const std::string& json, bool& overRate);
  // Tells the creative its command was refused and completes it.
  void Refuse(const std::string& command, const std::string& reason, bool overRate);
  void AnswerRefused();
  void OnNewWindowRequested(const std::string& url, bool byUser);
  // The replacements with the bundle's files named by their url in the bundle's origin.
  Replacements ReplacementsServedFrom(const std::string& baseUrl) const;
  bool DeniesPermission(IWebViewHost::Permission kind) const;
  void SendProperties(const Json& properties);
  // Runs an event of the window or the browser while the view lives.
  template <typename... Args>
  std::function<void(Args...)> WhileAlive(void (DisplayOverlayAdView::*handler)(Args...));

  std::unique_ptr<IWebViewHost> m_webView;
  std::unique_ptr<IOverlayWindow> m_window;
  std::string m_bundleFolder;
  std::string m_templateType;
  bool m_incentivized = false;
  Replacements m_replacements;
  bool m_navigationCompletedToken = false;
  bool m_graceOver = false;
  bool m_viewed = false;
  bool m_bridgeConnected = false;  // the first page has the bridge
  bool m_readyAnswered = false;    // and has run the ready event
  std::chrono::steady_clock::time_point m_messageSecond;  // start of the second being counted
  int m_messagesThisSecond = 0;
  bool m_floodLogged = false;
  std::vector<Refusal> m_refused;  // over the rate cap, answered at the end of the second
  bool m_refusalsDue = false;
  bool m_ending = false;
  bool m_onScreen = false;  // counted by WebEngineKeeper as a play that holds the engine
  bool m_hugeLogged = false;
  std::string m_failure;
  DisplayAdController* m_owner = nullptr;  // not owned
};

}  // namespace kestrel
