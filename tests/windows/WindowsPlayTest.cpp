// The SDK through its public interface on Windows, with a real publisher window
// and ads from the local ad server. The user's Local AppData folder has a name
// outside every code page. The ad's browser is a stand-in for the WebView2
// runtime (tests/windows/webview2-double), found as a fixed-version runtime or
// through the registry; the test plays the page's part through its hooks.
#include "WindowsTest.h"

#include "LocalAdServer.h"
#include "base/WorkQueue.h"
#include "display/DisplayOverlayAdView.h"
#include "display/WebEngineKeeper.h"
#include "platform/Backend.h"
#include "kestrel/KestrelAds.h"
#include "platform/PlatformServices.h"
#include "platform/windows/WindowsSystemInfo.h"
#include "sdk/SdkState.h"
#include "support/RecordingUrlOpener.h"

namespace kestrel {
namespace {

using namespace test;

constexpr wchar_t kOverlayClass[] = L"TovaneOverlayWndClass";
constexpr wchar_t kCloseControlClass[] = L"KestrelCloseControl";
constexpr wchar_t kFolderVariable[] = L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER";
constexpr wchar_t kClientState[] = L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr char kReady[] = "ExecuteScript if(window.tovane){window.tovane.mraidBridge.notifyReadyEvent";

int ErrorLines(const test::LogCapture& log) {
  return static_cast<int>(std::ranges::count(log.Events(), LogLevel::Error, &DiagnosticLogEvent::Level));
}

class WindowsPlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(window = CreatePublisherWindow(100, 100, 640, 480), nullptr) << GetLastError();
    // The runtime stand-in beside this program, as a fixed-version runtime.
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    runtimeFolder = std::filesystem::path(program).parent_path() / L"webview2-runtime" / L"130.0.2849.39";
    runtime = LoadLibraryW((runtimeFolder / L"EBWebView" / L"x64" / L"EmbeddedBrowserWebView.dll").c_str());
    ASSERT_NE(runtime, nullptr) << GetLastError();
    Hook<void(BOOL)>("KdAnswerAtOnce")(atOnce);
    SetEnvironmentVariableW(kFolderVariable, runtimeNamed ? runtimeFolder.c_str() : nullptr);
    // The SDK's folders, the settings file and the creatives among them.
    localAppData = dataHome.Path() / L"donn\u00e9es \u03a9 \u65e5\u672c";
    std::filesystem::create_directories(localAppData);
    const std::wstring folder = localAppData.wstring();
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                              L"Local AppData", REG_EXPAND_SZ, folder.c_str(),
                              static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    SdkState::Reset();
    PlatformServices::SetUrlOpener(opener);
    server.Start();
    KestrelSdkConfig config;
    config.ConfigBaseUrl = server.BaseUrl();
    auto future = KestrelAds::InitializeAsync("windows-app", config, window, InitializationCallback{});
    ASSERT_TRUE(PumpMessagesUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    ASSERT_NE(ads = future.get(), nullptr);
  }

  void TearDown() override {
    SdkState::Reset();
    PlatformServices::SetUrlOpener(nullptr);
    if (window) DestroyWindow(window);
    PumpMessages();
    server.Stop();
  }

  // The runtime stand-in's test hook of that name.
  template <typename F>
  F* Hook(const char* name) {
    return reinterpret_cast<F*>(reinterpret_cast<void (*)()>(GetProcAddress(runtime, name)));
  }

  void Load() {
    auto loaded = std::make_shared<std::promise<bool>>();
    auto result = loaded->get_future();
    EXPECT_TRUE(ads->LoadAd("interstitial", AdLoadCallback{[loaded](AdLoadEventArgs) { loaded->set_value(true); },
                                                           [loaded](AdLoadEventArgs) { loaded->set_value(false); }}));
    EXPECT_TRUE(PumpMessagesUntil([&] { return result.wait_for(0s) == std::future_status::ready; }) && result.get());
  }
  AdPlayCallback Recorder() {
    AdPlayCallback callback;
    callback.OnAdStart = [this](AdPlayEventArgs args) { starts.push_back(args); };
    callback.OnAdEnd = [this](AdPlayEventArgs args) { ends.push_back(args); };
    callback.OnAdClick = [this](AdPlayEventArgs args) { clicks.push_back(args); };
    callback.OnAdRewarded = [this](AdPlayEventArgs args) { rewards.push_back(args); };
    callback.OnAdPlayFailure = [this](AdPlayEventArgs args) { failures.push_back(args); };
    return callback;
  }
  KestrelAdPlayInfo Play() {
    Load();
    return ads->PlayAd("interstitial", Recorder());
  }

  // What the browser was asked to do, one call a line, and the positions of the calls that start with a text.
  std::vector<std::string> Calls() {
    std::vector<std::string> lines;
    std::istringstream text(Hook<const char*()>("KdCalls")());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::size_t> Find(const std::string& start) {
    std::vector<std::size_t> found;
    const auto calls = Calls();
    for (std::size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].starts_with(start)) found.push_back(i);
    }
    return found;
  }
  bool WaitFor(const std::string& start, std::size_t count = 1) {
    return PumpMessagesUntil([&] { return Find(start).size() >= count; });
  }
  // The page sends a command, as the bridge does, from its own page unless `source` is given.
  void Send(const std::wstring& command, const wchar_t* source = nullptr) {
    Hook<void(const wchar_t*, const wchar_t*)>("KdPostMessage")((L"\"" + command + L"\"").c_str(), source);
    PumpMessages();
  }
  bool Hits(const std::string& path, std::size_t count = 1) {
    return PumpMessagesUntil([&] { return server.Requests(path).size() >= count; });
  }
  bool OverlayGone() {
    return PumpMessagesUntil([] { return FindWindowW(kOverlayClass, nullptr) == nullptr; });
  }
  int LiveControllers() { return Hook<int()>("KdLiveControllers")(); }
  // The publisher window moves; the system tells the hooks (Wine 8 does not by itself).
  void MovePublisher(int x, int y, int width, int height) {
    SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, window, OBJID_WINDOW, CHILDID_SELF);
  }
  // Whether the overlay comes to lie over the publisher's client area.
  bool Covers(HWND overlay) {
    return PumpMessagesUntil([&] {
      RECT placed{}, client{};
      GetWindowRect(overlay, &placed);
      GetClientRect(window, &client);
      MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
      return EqualRect(&placed, &client) != 0;
    });
  }
  // Keys as the keyboard sends them: to the window with the focus, the modifier held.
  void Press(UINT key, UINT modifier = 0) {
    BYTE keys[256]{}, none[256]{};
    keys[modifier] = modifier ? 0x80 : 0;
    SetKeyboardState(keys);
    const UINT down = modifier == VK_MENU ? WM_SYSKEYDOWN : WM_KEYDOWN;
    SendMessageW(GetFocus(), down, key, 1);
    SendMessageW(GetFocus(), down + 1, key, static_cast<LPARAM>(0xC0000001));
    SetKeyboardState(none);
    PumpMessages();
  }

  bool atOnce = false;        // the runtime answers inside its calls
  bool runtimeNamed = true;   // as a fixed-version runtime, else not at all
  test::ScopedDataHome dataHome;
  std::filesystem::path localAppData, runtimeFolder;
  HMODULE runtime = nullptr;
  std::shared_ptr<test::RecordingUrlOpener> opener = std::make_shared<test::RecordingUrlOpener>();
  adserver::LocalAdServer server;
  HWND window = nullptr;
  KestrelAds* ads = nullptr;
  std::vector<AdPlayEventArgs> starts, ends, clicks, rewards, failures;
};

// The runtime answers through the message queue, or inside its calls.
class WindowsPlayAnswersTest : public WindowsPlayTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override { atOnce = GetParam(); WindowsPlayTest::SetUp(); }
};
INSTANTIATE_TEST_SUITE_P(Runtime, WindowsPlayAnswersTest, ::testing::Bool());

TEST_P(WindowsPlayAnswersTest, APlayRunsInTheBrowserFromStartToEnd) {
  test::LogCapture log;
  // The browser starts once an ad is ready, on the window's thread.
  WebEngineKeeper::SetAdReady(true);
  ASSERT_TRUE(WaitFor("environment "));
  const KestrelAdPlayInfo info = Play();
  EXPECT_TRUE(info.Success) << info.Message;
  ASSERT_EQ(starts.size(), 1u);
  ASSERT_TRUE(WaitFor(kReady));
  const std::filesystem::path sdk = localAppData / L"windows_play_tests" / L"TovaneSDK";
  EXPECT_TRUE(std::filesystem::is_regular_file(sdk / L"settings.ke"));

  // Locked down, the scripts in before the page, only in documents of the ad's
  // own origin, the page from its own origin, and the bridge hooked up once it has loaded.
  const auto calls = Calls();
  const std::size_t navigate = Find("Navigate ").at(0);
  for (const char* setting : {"setting DevTools 0", "setting ContextMenus 0", "setting StatusBar 0",
                              "setting ZoomControl 0", "setting BrowserAcceleratorKeys 0", "background 255 0 0 0"}) {
    EXPECT_EQ(Find(setting).size(), 1u) << setting;
  }
  EXPECT_LT(Find("background ").at(0), navigate);
  const auto scripts = Find("AddScript ");
  ASSERT_EQ(scripts.size(), 2u);
  for (const auto script : scripts) EXPECT_TRUE(calls[script].starts_with("AddScript if (location.href.indexOf(\"https://ad"));
  EXPECT_LT(scripts[1], navigate);
  const std::string mapping = calls.at(Find("map ").at(0));
  const std::string host = mapping.substr(4, mapping.find(' ', 4) - 4);
  EXPECT_TRUE(host.ends_with(".kestrel.invalid")) << host;
  EXPECT_TRUE(mapping.ends_with(" 0")) << mapping;  // no other origin may read it
  EXPECT_NE(mapping.find(Utf8(sdk / L"Creatives")), std::string::npos) << mapping;
  EXPECT_EQ(calls[navigate], "Navigate https://" + host + "/index.html");
  EXPECT_GT(Find("ExecuteScript if (window.tovane){window.tovane.mraidBridge.notifyContainer").at(0), navigate);
  // The browser's data stays under Local AppData, shared by the process's plays; it fills the publisher window.
  EXPECT_TRUE(calls.at(Find("environment ").at(0)).starts_with("environment flag 1 type 1 options 0 folder " + Utf8(sdk)));
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(calls.at(Find("bounds ").at(0)), "bounds 0 0 " + std::to_string(client.right) + " " + std::to_string(client.bottom));

  // The creative's part.
  Send(L"mraid://tpat?event=impression");
  EXPECT_TRUE(Hits("/tpat/impression"));
  Send(L"mraid://tpat?event=successful_view");
  Send(L"mraid://successfulView");
  EXPECT_TRUE(PumpMessagesUntil([&] { return rewards.size() == 1; }));
  Send(L"mraid://tpat?event=click");
  Send(L"mraid://close", L"https://elsewhere.example/");  // a page from elsewhere cannot drive the ad
  EXPECT_TRUE(ends.empty());
  EXPECT_EQ(Find("ExecuteScript if(window.tovane){window.tovane.mraidBridge.notifyCommand").size(), 4u);
  EXPECT_TRUE(Hits("/tpat/successful_view") && Hits("/tpat/click"));
  // A command the SDK does not know is answered too, with the reason.
  Send(L"mraid://frobnicate?x=1");
  EXPECT_TRUE(WaitFor("ExecuteScript if(window.tovane){var b=window.tovane.mraidBridge;for(var i=0;i<1;i++)"
                      "{b.notifyErrorEvent(\"frobnicate\",\"The SDK refused the \\\"frobnicate\\\" command: "));
  // Camera and microphone denied (2), geolocation left to the browser (0).
  for (const auto& [kind, state] : {std::pair{2, 2}, {1, 2}, {3, 0}}) {
    EXPECT_EQ(Hook<int(int)>("KdRequestPermission")(kind), state) << kind;
  }
  // No window ever opens; a web page the user asked for opens as the creative's "open" does: a click.
  for (const auto& [uri, byUser] : {std::pair{L"https://www.example.com/offer?a=1&b=%C3%A9", TRUE},
                                    {L"https://www.example.com/unasked", FALSE},
                                    {L"file:///C:/windows/notepad.exe", TRUE}}) {
    EXPECT_TRUE(Hook<BOOL(const wchar_t*, BOOL)>("KdOpenWindow")(uri, byUser));
  }
  ASSERT_TRUE(PumpMessagesUntil([&] { return clicks.size() == 1 && opener->Urls().size() == 1; }));
  // A pop-up is no command of the bridge: it completes none.
  EXPECT_EQ(Find("ExecuteScript if(window.tovane){window.tovane.mraidBridge.notifyCommand").size(), 4u);

  Send(L"mraid://close");
  ASSERT_TRUE(PumpMessagesUntil([&] { return ends.size() == 1; }));
  EXPECT_TRUE(OverlayGone());
  EXPECT_TRUE(WaitFor("Close"));
  EXPECT_EQ(LiveControllers(), 0);
  EXPECT_EQ(Find("environment ").size(), 1u);
  for (const char* removed : {"remove 15", "remove 19", "remove 23", "remove 25", "remove 34", "remove 44"}) {
    EXPECT_EQ(Find(removed).size(), 1u) << removed;
  }
  EXPECT_TRUE(Find("bad slot").empty()) << Hook<const char*()>("KdCalls")();
  EXPECT_EQ(opener->Urls(), std::vector<std::string>{"https://www.example.com/offer?a=1&b=%C3%A9"});
  EXPECT_EQ(clicks.size(), 1u);
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ErrorLines(log), 1);  // the unknown command's
}

// The browser ends a grace after no ad is ready or showing, never while one shows; the next play starts it again.
TEST_F(WindowsPlayTest, TheBrowserRunsWhileAnAdIsReadyOrShowingAndOnlyThen) {
  constexpr auto grace = 100ms;
  WebEngineKeeper::SetReleaseGraceForTesting(grace);
  const test::LogCapture log;
  const auto environments = [&] { return Hook<int()>("KdLiveEnvironments")(); };
  WebEngineKeeper::SetAdReady(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return environments() == 1; }));
  for (std::size_t play = 1; play <= 2; ++play) {
    ASSERT_TRUE(Play().Success);
    ASSERT_TRUE(WaitFor(kReady, play));
    WebEngineKeeper::SetAdReady(false);
    auto over = std::make_shared<std::atomic<bool>>(false);  // the grace and the check after it
    WorkQueue::Shared().PostAfter(3 * grace, [over] { RunOnWindowThread([over] { *over = true; }); });
    ASSERT_TRUE(PumpMessagesUntil([&] { return over->load(); }));
    EXPECT_EQ(log.CountStartingWith("No ad is ready or showing"), static_cast<int>(play) - 1);
    Send(L"mraid://close");
    ASSERT_TRUE(PumpMessagesUntil([&] { return ends.size() == play; }));
    EXPECT_TRUE(PumpMessagesUntil([&] { return environments() == 0 && LiveControllers() == 0; }));
  }
  EXPECT_EQ(Find("environment ").size(), 2u);
  EXPECT_TRUE(failures.empty());
}

// Each failure ends the play with the reason, one Error line and no overlay;
// the next play works once the cause is gone.
TEST_F(WindowsPlayTest, EachBrowserFailureEndsThePlayAndTheNextOneWorks) {
  const auto failCreation = Hook<void(int, HRESULT, int)>("KdFailCreation");
  const auto failAdd = Hook<void(int, HRESULT)>("KdFailAdd");
  const auto failProcess = Hook<void(int)>("KdFailProcess");
  const auto fails = [&](const std::function<void()>& duringPlay, const std::string& reason) {
    failures.clear();
    test::LogCapture log;
    Play();
    if (duringPlay) {
      ASSERT_TRUE(WaitFor(kReady, Find(kReady).size() + 1));
      duringPlay();
    }
    ASSERT_TRUE(PumpMessagesUntil([&] { return failures.size() == 1; }));
    EXPECT_TRUE(failures[0].Message.starts_with("The ad could not be shown: " + reason)) << failures[0].Message;
    EXPECT_EQ(ErrorLines(log), 1);
    EXPECT_TRUE(OverlayGone());
    EXPECT_EQ(LiveControllers(), 0);
  };
  const auto plays = [&] {
    const std::size_t ready = Find(kReady).size();
    ends.clear();
    Play();
    ASSERT_TRUE(WaitFor(kReady, ready + 1));
    Send(L"mraid://close");
    ASSERT_TRUE(PumpMessagesUntil([&] { return ends.size() == 1; }));
    EXPECT_EQ(failures.size(), 1u);
  };

  const struct {
    std::function<void()> cause, duringPlay;
    std::string reason;
    std::size_t controllers;  // the controllers asked for
  } rows[] = {
      // The browser's end drops the environment: the next play makes one.
      {{}, [&] { failProcess(0); }, "the WebView2 browser's process failed (kind 0).", 1},
      // A failed controller is asked for again from a new environment, which fails here.
      {[&] { failCreation(1, E_FAIL, 1); failCreation(0, E_ACCESSDENIED, 1); }, {},
       "the WebView2 environment could not be created (HRESULT 0x80070005).", 1},
      // In use with other options: final. Any other failure: made once more, from a new environment.
      {[&] { failCreation(1, HRESULT_FROM_WIN32(ERROR_INVALID_STATE), 2); }, {},
       "the WebView2 controller could not be created (HRESULT 0x8007139F).", 1},
      {[&] { failCreation(1, E_FAIL, 2); }, {}, "the WebView2 controller could not be created (HRESULT 0x80004005).", 2},
      {[&] { failAdd(34, E_FAIL); }, {},
       "the WebView2 WebMessageReceived handler could not be registered (HRESULT 0x80004005).", 1},
      {{}, [&] { failProcess(1); }, "the WebView2 browser's process failed (kind 1).", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.reason);
    const std::size_t controllers = Find("CreateCoreWebView2Controller").size();
    if (row.cause) row.cause();
    fails(row.duringPlay, row.reason);
    EXPECT_EQ(Find("CreateCoreWebView2Controller").size() - controllers, row.controllers);
    failCreation(0, S_OK, 0);
    failCreation(1, S_OK, 0);
    failAdd(34, S_OK);
    plays();
  }
  failCreation(1, E_FAIL, 1);  // once: the second controller shows the ad
  plays();
  // One environment for the process, made again only after its browser ended, a failed one, and for the second
  // try of a controller (three times).
  EXPECT_EQ(Find("environment ").size(), 6u) << Hook<const char*()>("KdCalls")();
}

class WindowsPlayWithoutRuntimeTest : public WindowsPlayTest {
 protected:
  void SetUp() override { runtimeNamed = false; WindowsPlayTest::SetUp(); }
};

// No runtime named or registered; then, the runtime registered for the user serves the plays.
TEST_F(WindowsPlayWithoutRuntimeTest, APlayWithoutARuntimeFailsAndTheRegisteredOneIsFound) {
  Play();
  ASSERT_TRUE(PumpMessagesUntil([&] { return failures.size() == 1; }));
  EXPECT_TRUE(failures[0].Message.starts_with("The ad could not be shown: the WebView2 runtime is not installed."))
      << failures[0].Message;
  const std::wstring folder = runtimeFolder.wstring();
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kClientState, L"EBWebView", REG_SZ, folder.c_str(),
                            static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  Play();
  EXPECT_TRUE(WaitFor(kReady));
  RegDeleteKeyW(HKEY_CURRENT_USER, kClientState);
  EXPECT_TRUE(Find("environment flag 1 type 0 ").size() == 1 && failures.size() == 1);
}

TEST_F(WindowsPlayTest, TheSdksCloseControlAndEscapeEndThePlayAfterTheGracePeriod) {
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "close control");
    ends.clear();
    const std::size_t closeHits = server.Requests("/tpat/close").size();
    const auto started = std::chrono::steady_clock::now();
    Play();
    const HWND overlay = FindWindowW(kOverlayClass, nullptr);
    ASSERT_NE(overlay, nullptr);
    SendMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);  // does nothing before the control shows
    HWND control = nullptr;
    const auto grace = DisplayOverlayAdView::kCloseControlGrace;
    ASSERT_TRUE(PumpMessagesUntil([&] { return (control = FindWindowW(kCloseControlClass, nullptr)); }, grace + 10s));
    EXPECT_EQ(GetWindow(control, GW_OWNER), overlay);
    EXPECT_GE(std::chrono::steady_clock::now() - started, grace - 1s);
    EXPECT_TRUE(ends.empty());
    SendMessageW(escape ? overlay : control, escape ? WM_KEYDOWN : WM_LBUTTONDOWN, escape ? VK_ESCAPE : MK_LBUTTON, 0);
    if (!escape) SendMessageW(control, WM_LBUTTONUP, 0, 0);  // a click
    ASSERT_TRUE(PumpMessagesUntil([&] { return ends.size() == 1; }));
    EXPECT_EQ(ends[0].Message, "Ad Closed.");
    EXPECT_TRUE(Hits("/tpat/close", closeHits + 1));
    EXPECT_TRUE(OverlayGone());
    EXPECT_TRUE(rewards.empty());
  }
}

// What only shows where the browser's window takes the keyboard and sits
// over the overlay: its keys, the close control above it, Escape in the page.
TEST_F(WindowsPlayTest, ThePageHasTheKeyboardButNotTheBrowsersKeysAndTheCloseControlStaysOnTop) {
  Play();
  ASSERT_TRUE(WaitFor(kReady));
  const HWND overlay = FindWindowW(kOverlayClass, nullptr);
  ASSERT_EQ(GetParent(GetFocus()), overlay);
  const std::size_t navigations = Find("Navigate ").size();
  for (const auto& [key, modifier] : {std::pair<UINT, UINT>{VK_F5, 0}, {'R', VK_CONTROL}, {'P', VK_CONTROL},
                                      {'F', VK_CONTROL}, {'S', VK_CONTROL}, {VK_LEFT, VK_MENU}}) {
    Press(key, modifier);
  }
  SendMessageW(GetFocus(), WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WHEEL_DELTA), 0);
  Press(VK_ESCAPE);  // before the close control shows, the page's
  EXPECT_TRUE(Find("browser ").empty()) << Hook<const char*()>("KdCalls")();
  EXPECT_TRUE(Find("Navigate ").size() == navigations && Find("key 27 to page").size() == 1);

  HWND control = nullptr;
  ASSERT_TRUE(PumpMessagesUntil([&] { return (control = FindWindowW(kCloseControlClass, nullptr)); },
                                DisplayOverlayAdView::kCloseControlGrace + 10s));
  for (const auto& [x, y, width, height] : {std::tuple{200, 150, 800, 600}, {40, 30, 500, 400}, {300, 20, 640, 480}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const std::size_t told = Find("parent moved").size();
    MovePublisher(x, y, width, height);
    ASSERT_TRUE(Covers(overlay));
    EXPECT_TRUE(PumpMessagesUntil([&] { return Find("parent moved").size() > told; }));
    // Its own window at the overlay's top right corner. Windows keeps an owned window above its
    // owner; Wine does not once the browser's window takes the keyboard, so which window is under
    // the control's centre (WindowFromPoint) cannot be checked here.
    RECT placed{}, over{};
    GetWindowRect(control, &placed);
    GetWindowRect(overlay, &over);
    EXPECT_TRUE(IsWindowVisible(control) && GetAncestor(control, GA_ROOT) == control);
    EXPECT_EQ(std::tuple(placed.top - over.top, over.right - placed.right), std::tuple(12, 12));
  }
  Press(VK_ESCAPE);
  ASSERT_TRUE(PumpMessagesUntil([&] { return ends.size() == 1; }));
  EXPECT_TRUE(ends[0].Message == "Ad Closed." && OverlayGone() && failures.empty());
}

TEST_F(WindowsPlayTest, APlayFromOnAdEndFollowsThePublisherWindow) {
  Load();
  // The first play's end starts the next, whose overlay comes before the first one goes.
  AdPlayCallback first = Recorder();
  first.OnAdEnd = [this](AdPlayEventArgs args) {
    ends.push_back(args);
    ads->PlayAd("interstitial", Recorder());
  };
  ads->PlayAd("interstitial", first);
  ASSERT_TRUE(WaitFor(kReady));
  Load();
  Send(L"mraid://close");
  HWND overlay = nullptr;  // the second play's, alone
  ASSERT_TRUE(PumpMessagesUntil([&] {
    overlay = FindWindowW(kOverlayClass, nullptr);
    return starts.size() == 2 && Find(kReady).size() == 2 && !FindWindowExW(nullptr, overlay, kOverlayClass, nullptr);
  }));
  MovePublisher(250, 120, 700, 500);
  EXPECT_TRUE(Covers(overlay));
  EXPECT_TRUE(failures.empty());
}

TEST_F(WindowsPlayTest, AGameInExclusiveFullScreenIsNotCovered) {
  struct FullScreen : WindowsSystemInfo { bool ExclusiveFullScreen() override { return true; } };
  PlatformServices::SetSystemInfo(std::make_shared<FullScreen>());
  const KestrelAdPlayInfo info = Play();
  PlatformServices::SetSystemInfo(nullptr);
  EXPECT_FALSE(info.Success);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_TRUE(failures[0].Message.starts_with("The ad could not be shown: a program holds the screen in exclusive"));
  EXPECT_TRUE(FindWindowW(kOverlayClass, nullptr) == nullptr && starts.empty());
}

}  // namespace
}  // namespace kestrel
