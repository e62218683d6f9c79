#include "display/DisplayOverlayAdView.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <exception>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "display/CreativeUrl.h"
#include "display/DisplayAdController.h"
#include "display/IMraidBridgePropertiesController.h"
#include "display/IMraidCommandReceiverController.h"
#include "display/MraidBridgePropertiesController.h"
#include "display/MraidCommand.h"
#include "display/MraidScript.h"
#include "display/WebEngineKeeper.h"
#include "platform/Backend.h"
#include "platform/Paths.h"
#include "storage/IFileSystemController.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

constexpr const char* kCommandComplete = "if(window.tovane){window.tovane.mraidBridge.notifyCommandComplete();}";

// How a page posts a message to the host.
const std::string kPostMessage = "window." + std::string(kWebMessageChannel) + ".postMessage";
const std::string kBridgeHookUp = "if (window.tovane){window.tovane.mraidBridge.notifyContainer = function(message){" +
                                  kPostMessage + "(message);}; 'true'} else { 'false'; }";
const std::string kErrorHook = "window.onerror = function(message, source, lineno, colno, error) {    " + kPostMessage +
                               "('JS_KE_ERROR:' + message + ' at ' + source + ':' + lineno + ':' + colno);    "
                               "return true;};window.addEventListener('unhandledrejection', function(event) {    " +
                               kPostMessage + "('JS_KE_PROMISE_ERROR:' + event.reason);});";

// Compact JSON; text that is not UTF-8 is replaced rather than refused.
std::string ToJsonText(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string PropertiesScript(const std::string& json) {
  return "if(window.tovane)window.tovane.mraidBridge.notifyPropertiesChange(" + json + ");";
}

// Each refusal: the creative's error event, then the completion that lets the
// bridge send its next command. Runs of one refusal go in a loop.
std::string RefusalsScript(const std::vector<DisplayOverlayAdView::Refusal>& runs) {
  std::string script = "if(window.tovane){var b=window.tovane.mraidBridge;";
  for (const auto& run : runs) {
    const std::string text = "The SDK refused the \"" + run.command + "\" command: " + run.reason + ".";
    script += "for(var i=0;i<" + std::to_string(run.count) + ";i++){b.notifyErrorEvent(" +
              ToJsonText(run.command) + "," + ToJsonText(text) + ");b.notifyCommandComplete();}";
  }
  return script + "}";
}

// The command name of a message the bridge posts: a JSON string beginning with
// "mraid://" (in any case). Empty for every other message.
std::string BridgeCommandName(const std::string& json) {
  static constexpr std::string_view kPrefix = "\"mraid://";
  if (json.size() < kPrefix.size() + 1 || json.back() != '"') return {};
  for (std::size_t i = 0; i < kPrefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(json[i])) != kPrefix[i]) return {};
  }
  const std::size_t end = json.find_first_of("?/\"\\", kPrefix.size());  // the closing quote at the latest
  return MraidCommand::Lowercase(json.substr(kPrefix.size(), std::min<std::size_t>(end - kPrefix.size(), 64)));
}

std::string ReadyEventScript(const std::string& json) {
  return "if(window.tovane){window.tovane.mraidBridge.notifyReadyEvent(" + json + ");}";
}

// A relative file path as a url path: "\\" becomes "/", and every byte but
// the unreserved ones and "/" is percent-encoded.
std::string UrlPath(const std::string& relative) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string path;
  for (const char c : relative) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '/') {
      path.push_back('/');
    } else if ((byte < 0x80 && std::isalnum(byte)) || c == '-' || c == '.' || c == '_' || c == '~') {
      path.push_back(c);
    } else {
      path += {'%', kHex[byte >> 4], kHex[byte & 0xF]};
    }
  }
  return path;
}

// The script runs only in documents of the ad's own origin: a page the ad
// navigates to elsewhere gets no bridge.
std::string OnlyUnder(const std::string& baseUrl, const std::string& script) {
  return "if (location.href.indexOf(" + Json(baseUrl).dump() + ") === 0) {\n" + script + "\n}";
}

// Process-wide: at most one overlay at a time. Touched on the window thread
// only, but for the publisher window, which every view records on creation.
std::atomic<WindowHandle> g_publisherWindow{nullptr};
std::weak_ptr<DisplayOverlayAdView> g_overlayView;  // the view whose window is the overlay
bool g_locationHook = false;                        // an overlay follows the publisher window

}  // namespace

std::shared_ptr<DisplayOverlayAdView> DisplayOverlayAdView::Create(const std::string& bundleFolder,
                                                                   const std::string& templateType, bool incentivized,
                                                                   WindowHandle publisherWindow,
                                                                   Replacements replacements,
                                                                   DisplayAdController* owner) {
  std::shared_ptr<DisplayOverlayAdView> view(
      new DisplayOverlayAdView(bundleFolder, templateType, incentivized, std::move(replacements), owner));
  view->Show(publisherWindow);
  return view;
}

DisplayOverlayAdView::DisplayOverlayAdView(const std::string& bundleFolder, const std::string& templateType,
                                           bool incentivized, Replacements replacements, DisplayAdController* owner)
    : m_bundleFolder(bundleFolder),
      m_templateType(templateType),
      m_incentivized(incentivized),
      m_replacements(std::move(replacements)),
      m_owner(owner) {}

DisplayOverlayAdView::~DisplayOverlayAdView() {
  if (m_onScreen) WebEngineKeeper::PlayEnded();
  if (!m_window && !m_webView) return;
  // Released without a close: the window goes on its own thread.
  auto parts = std::make_shared<std::pair<std::unique_ptr<IWebViewHost>, std::unique_ptr<IOverlayWindow>>>(
      std::move(m_webView), std::move(m_window));
  RunOnWindowThread([parts] {
    parts->first.reset();
    if (g_overlayView.expired()) g_overlayView.reset();
    if (parts->second) g_locationHook = false;
    parts->second.reset();
  });
}

void DisplayOverlayAdView::Show(WindowHandle publisherWindow) {
  g_publisherWindow = publisherWindow;
  if (!IsLiveWindow(publisherWindow)) {
    LogError("Invalid publisher window handle provided.");
    return;
  }
  CreateOverlayWindow(publisherWindow);
}

template <typename... Args>
std::function<void(Args...)> DisplayOverlayAdView::WhileAlive(void (DisplayOverlayAdView::*handler)(Args...)) {
  return [weak = weak_from_this(), handler](Args... args) {
    if (auto self = weak.lock()) ((*self).*handler)(args...);
  };
}

void DisplayOverlayAdView::CreateOverlayWindow(WindowHandle publisher) {
  if (!IsWindowThread(publisher)) {
    LogError("Overlay window must be created on the same thread as the publisher window!");
    return;
  }
  IOverlayWindow::Events events;
  events.ownerMoved = [] { UpdateOverlayPosition(); };
  events.appFocusChanged = WhileAlive(&DisplayOverlayAdView::OnAppFocusChanged);
  events.closeRequested = WhileAlive(&DisplayOverlayAdView::OnCloseRequested);
  m_window = kestrel::CreateOverlayWindow(publisher, std::move(events));
  if (!m_window) {
    LogError("Failed to create overlay window.");
    return;
  }
  m_onScreen = true;
  WebEngineKeeper::PlayStarted();
  m_messageSecond = std::chrono::steady_clock::now();
  m_window->After(kCloseControlGrace, WhileAlive(&DisplayOverlayAdView::OnGraceOver));
  if (m_incentivized) m_window->After(kRewardedCloseLimit, WhileAlive(&DisplayOverlayAdView::OnRewardedLimit));
  m_window->After(kReadyTimeout, WhileAlive(&DisplayOverlayAdView::OnReadyDeadline));
  g_overlayView = weak_from_this();
  if (g_locationHook) {
    LogError("Failed to set event hook for overlay window.  There should only be _one_ ad window at a time.");
  } else {
    g_locationHook = true;
  }
  UpdateOverlayPosition();
  m_window->Show();
  SetupWebView();
}

std::shared_ptr<DisplayOverlayAdView> DisplayOverlayAdView::Current() {
  return g_overlayView.lock();
}

void DisplayOverlayAdView::UpdateOverlayPosition() {
  const WindowHandle publisher = g_publisherWindow;
  if (!publisher || !IsLiveWindow(publisher)) {
    LogError("Publisher window is not valid for updating overlay position.");
    return;
  }
  auto view = g_overlayView.lock();
  if (!view || !view->m_window) return;
  view->m_window->CoverOwner();
  if (!view->m_webView) return;
  view->m_webView->Show();
  const WindowSize size = view->m_window->ClientSize();
  view->NotifySizeChanged(size.width, size.height);
}

void DisplayOverlayAdView::OnAppFocusChanged(bool isActive) {
  try {
    LogInfo(std::string("****App Focus Changed****: IsActive = ") + (isActive ? "true" : "false"));
    NotifyPropertiesChanged({{"isViewable", isActive ? "true" : "false"}});
    if (isActive && m_webView) m_webView->MoveFocus();
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void DisplayOverlayAdView::SetupWebView() {
  auto files = R::GetFileSystemController();
  if (!files) {
    LogError("No FileSystemController, so can't set up WebView2 for MRAID!");
    return;
  }
  IWebViewHost::Events events;
  events.navigationCompleted = WhileAlive(&DisplayOverlayAdView::OnNavigationCompleted);
  events.webMessageReceived = WhileAlive<const std::string&>(&DisplayOverlayAdView::OnWebMessageReceived);
  events.permissionRequested = [weak = weak_from_this()](IWebViewHost::Permission kind) {
    auto self = weak.lock();
    return self && self->DeniesPermission(kind);
  };
  events.failed = WhileAlive<const std::string&>(&DisplayOverlayAdView::OnWebViewFailed);
  events.newWindowRequested = WhileAlive<const std::string&, bool>(&DisplayOverlayAdView::OnNewWindowRequested);
  // Escape in the page closes as the close control does, once it shows;
  // the close runs from the window's own loop, after the browser's call.
  events.escapePressed = [weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || !self->ShowsCloseControl() || !self->m_window) return false;
    self->m_window->After(std::chrono::milliseconds(0), self->WhileAlive(&DisplayOverlayAdView::OnCloseRequested));
    return true;
  };
  std::string failure;
  m_webView = CreateWebViewHost(*m_window, files->GetWebView2Folder(), std::move(events), failure);
  if (!m_webView) {
    m_failure = failure.empty() ? "no web view could be created in its window." : failure;
    LogError("No WebViewController, so can't set up WebView2 for MRAID! " + m_failure);
    return;
  }
  LogInfo("WebView2 Runtime Version: " + m_webView->BrowserVersion());
  const std::string base = m_webView->ServeFolder(m_bundleFolder);
  m_webView->AddScriptToExecuteOnDocumentCreated(OnlyUnder(base, kErrorHook));
  m_webView->AddScriptToExecuteOnDocumentCreated(OnlyUnder(base, std::string(MraidScript())));
  m_navigationCompletedToken = true;
  m_webView->Show();
  m_replacements = ReplacementsServedFrom(base);
  m_webView->Navigate(base + "index.html");
}

DisplayOverlayAdView::Replacements DisplayOverlayAdView::ReplacementsServedFrom(const std::string& baseUrl) const {
  Replacements served = m_replacements;
  const std::string inside = JoinPath(m_bundleFolder, "");
  for (auto& [key, value] : served) {
    if (value.size() > inside.size() && value.compare(0, inside.size(), inside) == 0) {
      value = baseUrl + UrlPath(value.substr(inside.size()));
    }
  }
  return served;
}

void DisplayOverlayAdView::OnGraceOver() {
  m_graceOver = true;
  if (!m_incentivized || m_viewed) ShowCloseControl();
}

void DisplayOverlayAdView::OnRewardedLimit() {
  ShowCloseControl();
}

void DisplayOverlayAdView::OnCreativeViewed() {
  m_viewed = true;
  if (m_graceOver) ShowCloseControl();
}

void DisplayOverlayAdView::ShowCloseControl() {
  if (!m_window || m_window->ShowsCloseControl()) return;
  LogInfo("The SDK's close control shows over the ad.");
  m_window->ShowCloseControl();
}

bool DisplayOverlayAdView::ShowsCloseControl() const {
  return m_window && m_window->ShowsCloseControl();
}

void DisplayOverlayAdView::OnCloseRequested() {
  if (!ShowsCloseControl()) return;
  LogInfo("The user closed the ad with the SDK's close control.");
  auto self = shared_from_this();  // the close releases this view
  if (m_owner) m_owner->CloseBySdk();
}

void DisplayOverlayAdView::OnReadyDeadline() {
  if (m_bridgeConnected && m_readyAnswered) return;
  const std::string reason = "the ad's page did not load with its bridge and run the ready event within " +
                             std::to_string(kReadyTimeout.count()) + " seconds.";
  // A page that hangs keeps its process busy: it goes with the play.
  if (m_webView) m_webView->EndPageProcess();
  OnWebViewFailed(reason);
}

void DisplayOverlayAdView::OnWebViewFailed(const std::string& reason) {
  m_failure = reason;
  LogError("The ad's web view failed: " + reason);
  // The owner ends the play, which may release this view.
  auto self = shared_from_this();
  if (m_owner) m_owner->OnWebViewFailed(reason);
}

bool DisplayOverlayAdView::DeniesPermission(IWebViewHost::Permission kind) const {
  return kind == IWebViewHost::Permission::Microphone || kind == IWebViewHost::Permission::Camera;
}

void DisplayOverlayAdView::OnNavigationCompleted() {
  if (!m_navigationCompletedToken) return;  // only the first navigation counts
  LogInfo("WebView2 NavigationCompleted event fired.");
  m_navigationCompletedToken = false;
  if (!m_webView) {
    LogError("Can't handle navigation completed without m_webViewWindow");
    return;
  }
  try {
    const std::weak_ptr<DisplayOverlayAdView> weak = weak_from_this();
    m_webView->ExecuteScript(kBridgeHookUp, [weak](int /*error*/, const std::string& result) {
      LogInfo("Notify container set " + result);
      if (auto self = weak.lock()) self->m_bridgeConnected = result == "\"true\"";
    });
    const WindowSize size = m_window ? m_window->ClientSize() : WindowSize{};
    const bool sized = size.width > 0 && size.height > 0;
    if (auto properties = R::GetMraidBridgePropertiesController()) {
      Json sent = properties->GetBridgeProperties(m_templateType, m_incentivized);
      // The size the creative is shown at, rather than the device's.
      if (sized && sent.is_object()) sent.update(MraidBridgePropertiesController::BuildSizeUpdate(size.width, size.height));
      SendProperties(sent);
    }
    Replacements replacements = m_replacements;
    auto asoi = replacements.find("ASOI_SETTINGS");
    if (asoi != replacements.end() && asoi->second == "aggressive") asoi->second = "off";
    Json ready = Json::object();
    for (const auto& [key, value] : replacements) ready[key] = value;
    m_webView->ExecuteScript(ReadyEventScript(ToJsonText(ready)), [weak](int error, const std::string& result) {
      LogInfo("notifyReadyEvent " + result);
      // The page ran it: whatever its listeners did, the page is alive.
      if (auto self = weak.lock()) self->m_readyAnswered = true;
      if (error != 0) LogError("Failed to execute notifyReadyEvent script. HRESULT: " + std::to_string(error));
    });
    // Creatives that lay themselves out at the ready event hear the size again.
    if (sized) NotifySizeChanged(size.width, size.height);
  } catch (const std::exception& e) {
    LogException(e);
  }
}

std::string DisplayOverlayAdView::Admits(const std::string& json, bool& overRate) {
  overRate = false;
  if (json.size() > kMaxMessageBytes) {
    if (!m_hugeLogged) {
      LogWarn("A message of " + std::to_string(json.size()) + " bytes from the creative was dropped; messages over " +
              std::to_string(kMaxMessageBytes) + " bytes are not read.");
    }
    m_hugeLogged = true;
    return "it is longer than " + std::to_string(kMaxMessageBytes) + " bytes";
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - m_messageSecond >= std::chrono::seconds(1)) {
    m_messageSecond = now;
    m_messagesThisSecond = 0;
  }
  if (++m_messagesThisSecond <= kMaxMessagesPerSecond) return {};
  if (!m_floodLogged) {
    LogWarn("The creative sends more than " + std::to_string(kMaxMessagesPerSecond) +
            " messages a second; the extra ones are dropped.");
  }
  m_floodLogged = true;
  overRate = true;
  return "the creative sent more than " + std::to_string(kMaxMessagesPerSecond) + " messages in a second";
}

void DisplayOverlayAdView::Refuse(const std::string& command, const std::string& reason, bool overRate) {
  if (!m_webView) return;
  if (!overRate) {
    m_webView->ExecuteScript(RefusalsScript({{command, reason, 1}}));
    return;
  }
  // Answered when the second ends: the bridge's queue slows to the cap
  // instead of running into it again at once.
  if (!m_refused.empty() && m_refused.back().command == command && m_refused.back().reason == reason) {
    ++m_refused.back().count;
  } else {
    m_refused.push_back({command, reason, 1});
  }
  if (std::exchange(m_refusalsDue, true) || !m_window) return;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      m_messageSecond + std::chrono::seconds(1) - std::chrono::steady_clock::now());
  m_window->After(std::max(left, std::chrono::milliseconds(0)), WhileAlive(&DisplayOverlayAdView::AnswerRefused));
}

void DisplayOverlayAdView::AnswerRefused() {
  m_refusalsDue = false;
  if (m_webView && !m_refused.empty()) m_webView->ExecuteScript(RefusalsScript(m_refused));
  m_refused.clear();
}

void DisplayOverlayAdView::OnWebMessageReceived(const std::string& json) {
  try {
    const std::string command = BridgeCommandName(json);
    bool overRate = false;
    if (const std::string refusal = Admits(json, overRate); !refusal.empty()) {
      if (!command.empty()) Refuse(command, refusal, overRate);
      return;
    }
    // The page's text without the JSON string's quotes (quotes inside go too).
    std::string message;
    message.reserve(json.size());
    for (char c : json) {
      if (c != '"') message.push_back(c);
    }
    LogInfo("*****Receive script notify: " + message);
    auto receiver = R::GetMraidCommandReceiverController();
    if (!receiver) {
      LogError("MraidCommandReceiverController is null");
      if (!command.empty()) Refuse(command, "the SDK is not ready for commands", false);
      return;
    }
    // "close" ends the play: the view may be released inside.
    auto self = shared_from_this();
    const MraidAnswer answer = receiver->ProcessReceivedMraidCommand(message, m_owner);
    if (!answer.complete || !m_webView || command.empty()) return;
    if (answer.refusal.empty()) {
      m_webView->ExecuteScript(kCommandComplete);
    } else {
      Refuse(command, answer.refusal, false);
    }
  } catch (const std::exception& e) {
    LogException(e);
  }
}

// A pop-up the user asked for, to a web page, opens the way the creative's
// "open" does: a click, checked. It is no command of the bridge, so it gets
// no completion.
void DisplayOverlayAdView::OnNewWindowRequested(const std::string& url, bool byUser) {
  try {
    auto receiver = R::GetMraidCommandReceiverController();
    if (!byUser || !CreativeUrl::IsWebUrl(url) || !receiver) {
      LogInfo("A pop-up window for " + url + " was not opened.");
      return;
    }
    auto self = shared_from_this();
    receiver->ProcessReceivedMraidCommand("mraid://open?url=" + CreativeUrl::Escape(url), m_owner);
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void DisplayOverlayAdView::SendProperties(const Json& properties) {
  m_webView->ExecuteScript(PropertiesScript(ToJsonText(properties)));
}

void DisplayOverlayAdView::NotifyPropertiesChanged(const std::map<std::string, std::string>& properties) {
  if (!m_webView) {
    LogError("Can't notify properties changed without m_webViewWindow");
    return;
  }
  try {
    SendProperties(Json(properties));
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void DisplayOverlayAdView::NotifySizeChanged(std::int32_t width, std::int32_t height) {
  if (!m_webView) {
    LogError("Can't notify size changed without m_webViewWindow");
    return;
  }
  try {
    SendProperties(MraidBridgePropertiesController::BuildSizeUpdate(width, height));
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void DisplayOverlayAdView::Close() {
  if (m_webView) {
    m_navigationCompletedToken = false;
    m_webView->Stop();
  }
  m_webView.reset();
  if (m_window) {
    if (g_overlayView.lock().get() == this) g_overlayView.reset();
    g_locationHook = false;
    m_window.reset();
  }
  if (std::exchange(m_onScreen, false)) WebEngineKeeper::PlayEnded();
}

void DisplayOverlayAdView::ExecuteScript(const std::string& script, IWebViewHost::ScriptCompleted completed) {
  if (m_webView) m_webView->ExecuteScript(script, std::move(completed));
}

void DisplayOverlayAdView::SaveSnapshot(const std::string& pngPath, std::function<void(bool saved)> done) {
  if (m_webView) {
    m_webView->SaveSnapshot(pngPath, std::move(done));
  } else if (done) {
    done(false);
  }
}

}  // namespace kestrel
