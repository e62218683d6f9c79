// The SDK through its public interface on Windows, with a real publisher window
// and ads from the local ad server. The user's Local AppData folder has a name
// outside every code page. The ad's browser is a stand-in for the WebView2
// runtime (tests/windows/webview2-double), found as a fixed-version runtime or
// through the registry; the test plays the page's part through its hooks.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "LocalAdServer.h"
#include "display/DisplayOverlayAdView.h"
#include "kestrel/KestrelAds.h"
#include "platform/IUrlOpener.h"
#include "platform/PlatformServices.h"
#include "sdk/SdkState.h"
#include "support/LogCapture.h"
#include "support/RecordingUrlOpener.h"
#include "support/TempDir.h"
#include "support/windows/MessagePump.h"

namespace kestrel {
namespace {

using test::LogCapture;
using test::PumpMessages;
using test::PumpMessagesUntil;

constexpr wchar_t kPublisherClass[] = L"KestrelTestPublisher";
constexpr wchar_t kOverlayClass[] = L"TovaneOverlayWndClass";
constexpr wchar_t kFolderVariable[] = L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER";
constexpr wchar_t kClientState[] =
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr char kReady[] = "ExecuteScript if(window.tovane){window.tovane.mraidBridge.notifyReadyEvent";

int ErrorLines(const LogCapture& log) {
  int count = 0;
  for (const auto& event : log.Events()) count += event.Level == LogLevel::Error ? 1 : 0;
  return count;
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The runtime stand-in's test hooks.
struct Runtime {
  template <typename F>
  F Hook(const char* name) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
    return reinterpret_cast<F>(GetProcAddress(module, name));
#pragma GCC diagnostic pop
  }
  HMODULE module = nullptr;
  const char* (*calls)() = nullptr;
  void (*failCreation)(int which, HRESULT result) = nullptr;
  int (*liveControllers)() = nullptr;
  void (*post)(const wchar_t* json, const wchar_t* source) = nullptr;
  int (*requestPermission)(int kind) = nullptr;
  BOOL (*openWindow)(const wchar_t* uri, BOOL byUser) = nullptr;
  void (*failProcess)(int kind) = nullptr;
};

using test::RecordingUrlOpener;

class WindowsPlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kPublisherClass;
    RegisterClassExW(&windowClass);  // a second registration fails harmlessly
    window = CreateWindowExW(0, kPublisherClass, L"Publisher", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 640, 480,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr) << GetLastError();
    PumpMessages();

    // The runtime stand-in beside this program, as a fixed-version runtime.
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    runtimeFolder = std::filesystem::path(program).parent_path() / L"webview2-runtime" / L"130.0.2849.39";
    runtime.module = LoadLibraryW((runtimeFolder / L"EBWebView" / L"x64" / L"EmbeddedBrowserWebView.dll").c_str());
    ASSERT_NE(runtime.module, nullptr) << GetLastError();
    runtime.calls = runtime.Hook<decltype(runtime.calls)>("KdCalls");
    runtime.failCreation = runtime.Hook<decltype(runtime.failCreation)>("KdFailCreation");
    runtime.liveControllers = runtime.Hook<decltype(runtime.liveControllers)>("KdLiveControllers");
    runtime.post = runtime.Hook<decltype(runtime.post)>("KdPostMessage");
    runtime.requestPermission = runtime.Hook<decltype(runtime.requestPermission)>("KdRequestPermission");
    runtime.openWindow = runtime.Hook<decltype(runtime.openWindow)>("KdOpenWindow");
    runtime.failProcess = runtime.Hook<decltype(runtime.failProcess)>("KdFailProcess");
    ASSERT_TRUE(runtime.calls && runtime.failCreation && runtime.liveControllers && runtime.post &&
                runtime.requestPermission && runtime.openWindow && runtime.failProcess);
    SetEnvironmentVariableW(kFolderVariable, runtimeFolder.c_str());

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
    InitializationCallback callback;
    auto future = KestrelAds::InitializeAsync("windows-app", config, window, callback);
    ASSERT_TRUE(PumpMessagesUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    ads = future.get();
    ASSERT_NE(ads, nullptr);
  }

  void TearDown() override {
    SdkState::Reset();
    PlatformServices::SetUrlOpener(nullptr);
    if (window) DestroyWindow(window);
    PumpMessages();
    server.Stop();
  }

  bool Load(const std::string& placement) {
    auto loaded = std::make_shared<std::promise<bool>>();
    auto result = loaded->get_future();
    AdLoadCallback callback{[loaded](AdLoadEventArgs) { loaded->set_value(true); },
                            [loaded](AdLoadEventArgs) { loaded->set_value(false); }};
    if (!ads->LoadAd(placement, callback)) return false;
    return PumpMessagesUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }) &&
           result.get();
  }

  KestrelAdPlayInfo Play() {
    EXPECT_TRUE(Load("interstitial"));
    AdPlayCallback callback;
    callback.OnAdStart = [this](AdPlayEventArgs args) { starts.push_back(args); };
    callback.OnAdEnd = [this](AdPlayEventArgs args) { ends.push_back(args); };
    callback.OnAdClick = [this](AdPlayEventArgs args) { clicks.push_back(args); };
    callback.OnAdRewarded = [this](AdPlayEventArgs args) { rewards.push_back(args); };
    callback.OnAdPlayFailure = [this](AdPlayEventArgs args) { failures.push_back(args); };
    return ads->PlayAd("interstitial", callback);
  }

  // What the browser was asked to do, one call a line.
  std::vector<std::string> Calls() const {
    std::vector<std::string> lines;
    std::istringstream text(runtime.calls());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
  // The positions of the calls that start with the text.
  std::vector<std::size_t> Find(const std::string& start) const {
    std::vector<std::size_t> found;
    const auto calls = Calls();
    for (std::size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].rfind(start, 0) == 0) found.push_back(i);
    }
    return found;
  }
  bool WaitFor(const std::string& start, std::size_t count = 1) {
    return PumpMessagesUntil([&] { return Find(start).size() >= count; });
  }
  // The page sends a command, as the bridge does.
  void Send(const std::wstring& command) {
    runtime.post((L"\"" + command + L"\"").c_str(), nullptr);
    PumpMessages();
  }
  bool Hits(const std::string& path, std::size_t count = 1) {
    return PumpMessagesUntil([&] { return server.Requests(path).size() >= count; });
  }
  bool OverlayGone() {
    return PumpMessagesUntil([] { return FindWindowW(kOverlayClass, nullptr) == nullptr; });
  }

  test::ScopedDataHome dataHome;
  std::filesystem::path localAppData;
  std::filesystem::path runtimeFolder;
  Runtime runtime;
  std::shared_ptr<RecordingUrlOpener> opener = std::make_shared<RecordingUrlOpener>();
  adserver::LocalAdServer server;
  HWND window = nullptr;
  KestrelAds* ads = nullptr;
  std::vector<AdPlayEventArgs> starts, ends, clicks, rewards, failures;
};

TEST_F(WindowsPlayTest, SettingsAndCreativesLiveInTheLocalAppDataFolder) {
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
  ASSERT_TRUE(Load("interstitial"));
  const std::filesystem::path sdk = localAppData / L"windows_play_tests" / L"TovaneSDK";
  EXPECT_TRUE(std::filesystem::is_regular_file(sdk / L"settings.ke"));
  bool creative = false;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(sdk / L"Creatives")) {
    creative = creative || entry.path().filename() == L"index.html";
  }
  EXPECT_TRUE(creative);
  // The choice is in the file the next start reads.
  SdkState::Reset();
  EXPECT_EQ(KestrelAds::GetCcpaStatus(), CcpaConsentStatus::OptedOut);
}

TEST_F(WindowsPlayTest, APlayRunsInTheBrowserFromStartToEnd) {
  LogCapture log;
  const KestrelAdPlayInfo info = Play();
  EXPECT_TRUE(info.Success) << info.Message;
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].Message, "interstitialAd started successfully.");
  ASSERT_TRUE(WaitFor(kReady));

  // Locked down, the scripts in before the page, the page from its own origin,
  // and the bridge hooked up once it has loaded.
  const auto calls = Calls();
  const std::size_t navigate = Find("Navigate ").at(0);
  for (const char* setting : {"setting DevTools 0", "setting ContextMenus 0", "setting StatusBar 0"}) {
    EXPECT_EQ(Find(setting).size(), 1u) << setting;
  }
  const auto scripts = Find("AddScript ");
  ASSERT_EQ(scripts.size(), 2u);
  // Both only in documents of the ad's own origin.
  for (const auto script : scripts) {
    EXPECT_EQ(calls[script].rfind("AddScript if (location.href.indexOf(\"https://ad", 0), 0u) << calls[script];
  }
  EXPECT_LT(scripts[1], navigate);
  const std::string mapping = calls.at(Find("map ").at(0));
  const std::string host = mapping.substr(4, mapping.find(' ', 4) - 4);
  EXPECT_TRUE(host.ends_with(".kestrel.invalid")) << host;
  EXPECT_TRUE(mapping.ends_with(" 0")) << mapping;  // no other origin may read it
  EXPECT_NE(mapping.find(Utf8(localAppData / L"windows_play_tests" / L"TovaneSDK" / L"Creatives")), std::string::npos)
      << mapping;
  EXPECT_EQ(calls[navigate], "Navigate https://" + host + "/index.html");
  EXPECT_GT(Find("ExecuteScript if (window.tovane){window.tovane.mraidBridge.notifyContainer").at(0), navigate);
  // The browser's data stays under Local AppData, shared by the process's plays.
  const std::string environment = calls.at(Find("environment ").at(0));
  const std::string dataFolder = Utf8(localAppData / L"windows_play_tests" / L"TovaneSDK");
  EXPECT_EQ(environment.rfind("environment flag 1 type 1 options 0 folder " + dataFolder, 0), 0u) << environment;
  const std::string used = environment.substr(environment.find(" folder ") + 8);
  EXPECT_TRUE(std::filesystem::is_directory(std::u8string(used.begin(), used.end()))) << used;

  // The creative's part.
  Send(L"mraid://tpat?event=impression");
  EXPECT_TRUE(Hits("/tpat/impression"));
  Send(L"mraid://tpat?event=successful_view");
  Send(L"mraid://successfulView");
  EXPECT_TRUE(PumpMessagesUntil([&] { return rewards.size() == 1; }));
  EXPECT_TRUE(Hits("/tpat/successful_view"));
  Send(L"mraid://tpat?event=click");
  Send(L"mraid://open?url=https%3A%2F%2Fwww.example.com%2Foffer");
  EXPECT_TRUE(PumpMessagesUntil([&] { return clicks.size() == 1 && opener->Urls().size() == 1; }));
  EXPECT_EQ(opener->Urls().at(0), "https://www.example.com/offer");
  EXPECT_TRUE(Hits("/tpat/click"));
  // A page from elsewhere cannot drive the ad.
  runtime.post(L"\"mraid://close\"", L"https://elsewhere.example/");
  PumpMessages();
  EXPECT_TRUE(ends.empty());
  EXPECT_EQ(Find("ExecuteScript if(window.tovane){window.tovane.mraidBridge.notifyCommand").size(), 5u);

  Send(L"mraid://tpat?event=close");
  Send(L"mraid://close");
  ASSERT_TRUE(PumpMessagesUntil([&] { return ends.size() == 1; }));
  EXPECT_TRUE(Hits("/tpat/close"));
  EXPECT_TRUE(OverlayGone());
  EXPECT_TRUE(WaitFor("Close"));
  EXPECT_EQ(runtime.liveControllers(), 0);
  for (const char* removed : {"remove 15", "remove 23", "remove 25", "remove 34", "remove 44"}) {
    EXPECT_EQ(Find(removed).size(), 1u) << removed;
  }
  EXPECT_TRUE(Find("bad slot").empty()) << runtime.calls();
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ErrorLines(log), 0);
}

TEST_F(WindowsPlayTest, CameraMicrophoneAndPopUpsAreRefused) {
  Play();
  ASSERT_TRUE(WaitFor(kReady));
  const struct {
    int kind;
    int state;
  } permissions[] = {{2, 2}, {1, 2}, {3, 0}};  // camera and microphone denied, geolocation left to the browser
  for (const auto& permission : permissions) {
    EXPECT_EQ(runtime.requestPermission(permission.kind), permission.state) << permission.kind;
  }
  // No window ever opens; a page the user asked for opens as the ad's click.
  const struct {
    const wchar_t* uri;
    BOOL byUser;
  } popUps[] = {{L"https://www.example.com/offer?a=1&b=%C3%A9", TRUE},
                {L"https://www.example.com/unasked", FALSE},
                {L"file:///C:/windows/notepad.exe", TRUE}};
  for (const auto& popUp : popUps) EXPECT_TRUE(runtime.openWindow(popUp.uri, popUp.byUser));
  ASSERT_TRUE(PumpMessagesUntil([&] { return clicks.size() == 1 && opener->Urls().size() == 1; }));
  PumpMessages();
  EXPECT_EQ(opener->Urls(), std::vector<std::string>{"https://www.example.com/offer?a=1&b=%C3%A9"});
  EXPECT_EQ(clicks.size(), 1u);
  EXPECT_NE(FindWindowW(kOverlayClass, nullptr), nullptr);
}

TEST_F(WindowsPlayTest, TheBrowserFollowsTheOverlayWhenThePublisherWindowMoves) {
  Play();
  ASSERT_TRUE(WaitFor("Navigate "));
  for (const SIZE size : {SIZE{800, 600}, SIZE{500, 700}}) {
    SetWindowPos(window, nullptr, 40, 30, size.cx, size.cy, SWP_NOZORDER);
    NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, window, OBJID_WINDOW, CHILDID_SELF);  // Windows does; Wine 8 does not
    RECT client{};
    GetClientRect(window, &client);
    const std::string bounds = "bounds 0 0 " + std::to_string(client.right) + " " + std::to_string(client.bottom);
    EXPECT_TRUE(PumpMessagesUntil([&] {
      const auto placed = Find("bounds ");
      return !placed.empty() && Calls().at(placed.back()) == bounds;
    })) << runtime.calls();
  }
}

TEST_F(WindowsPlayTest, TheDemoPublisherPlaysAnAd) {
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const auto demo = std::filesystem::path(program).parent_path().parent_path() / L"examples" / L"kestrel-demo-windows.exe";
  const std::string url = server.BaseUrl();
  std::wstring command = L"\"" + demo.wstring() + L"\" --auto " + std::wstring(url.begin(), url.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      << GetLastError();
  const bool ended = PumpMessagesUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; },
                                       std::chrono::seconds(90));
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process.hProcess, &code);
  if (!ended) TerminateProcess(process.hProcess, 3);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u) << "0: the ad started; 1: a failure; 2: nothing within a minute";
  EXPECT_FALSE(server.Requests("/bundles/").empty());
}

TEST_F(WindowsPlayTest, TheRegisteredRuntimeIsFoundWhenNoFolderIsNamed) {
  SetEnvironmentVariableW(kFolderVariable, nullptr);
  const std::wstring folder = runtimeFolder.wstring();
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kClientState, L"EBWebView", REG_SZ, folder.c_str(),
                            static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  const KestrelAdPlayInfo info = Play();
  RegDeleteKeyW(HKEY_CURRENT_USER, kClientState);
  EXPECT_TRUE(info.Success) << info.Message;
  EXPECT_TRUE(WaitFor("environment flag 1 type 0 "));
  EXPECT_TRUE(WaitFor(kReady));
}

// Each failure ends the play with the reason, one Error line and no overlay;
// the next play works once the cause is gone.
class WindowsPlayFailureTest : public WindowsPlayTest {
 protected:
  void FailsThenRecovers(const std::function<void()>& cause, const std::function<void()>& duringPlay,
                         const std::string& reason) {
    SCOPED_TRACE(reason);
    if (cause) cause();
    failures.clear();
    LogCapture log;
    Play();
    if (duringPlay) {
      ASSERT_TRUE(WaitFor(kReady, Find(kReady).size() + 1));
      duringPlay();
    }
    ASSERT_TRUE(PumpMessagesUntil([&] { return failures.size() == 1; }));
    EXPECT_EQ(failures[0].Message.rfind("The ad could not be shown: " + reason, 0), 0u) << failures[0].Message;
    EXPECT_EQ(ErrorLines(log), 1);
    EXPECT_TRUE(OverlayGone());
    EXPECT_EQ(runtime.liveControllers(), 0);

    SetEnvironmentVariableW(kFolderVariable, runtimeFolder.c_str());
    runtime.failCreation(0, S_OK);
    runtime.failCreation(1, S_OK);
    const std::size_t ready = Find(kReady).size();
    ends.clear();
    Play();
    ASSERT_TRUE(WaitFor(kReady, ready + 1));
    Send(L"mraid://close");
    ASSERT_TRUE(PumpMessagesUntil([&] { return ends.size() == 1; }));
    EXPECT_EQ(failures.size(), 1u);
  }
};

TEST_F(WindowsPlayFailureTest, WithoutARuntimeThePlayFailsUntilOneIsThere) {
  FailsThenRecovers([] { SetEnvironmentVariableW(kFolderVariable, nullptr); }, {},
                    "the WebView2 runtime is not installed. Windows 10 and 11 come with it (the Evergreen runtime); "
                    "get it from https://developer.microsoft.com/microsoft-edge/webview2/");
}

TEST_F(WindowsPlayFailureTest, ABrowserThatFailsEndsThePlay) {
  const struct {
    std::function<void()> cause, duringPlay;
    std::string reason;
  } cases[] = {
      {[this] { runtime.failCreation(0, E_ACCESSDENIED); }, {},
       "the WebView2 environment could not be created (HRESULT 0x80070005)."},
      {[this] { runtime.failCreation(1, HRESULT_FROM_WIN32(ERROR_INVALID_STATE)); }, {},
       "the WebView2 controller could not be created (HRESULT 0x8007139F)."},
      {{}, [this] { runtime.failProcess(1); }, "the WebView2 browser's process failed (kind 1)."},
      {{}, [this] { runtime.failProcess(0); }, "the WebView2 browser's process failed (kind 0)."},
  };
  for (const auto& failure : cases) FailsThenRecovers(failure.cause, failure.duringPlay, failure.reason);
  // One environment for the process, made again only after a failed one and after its browser ended.
  EXPECT_EQ(Find("environment ").size(), 3u) << runtime.calls();
}

TEST_F(WindowsPlayTest, APlayOffTheWindowThreadOpensNothing) {
  ASSERT_TRUE(Load("interstitial"));
  LogCapture log;
  auto played = std::async(std::launch::async, [&] { return ads->PlayAd("interstitial", AdPlayCallback{}); });
  ASSERT_TRUE(PumpMessagesUntil([&] { return played.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  played.get();
  EXPECT_EQ(log.Count("Overlay window must be created on the same thread as the publisher window!", LogLevel::Error),
            1);
  PumpMessages();
  EXPECT_EQ(FindWindowW(kOverlayClass, nullptr), nullptr);
}

TEST_F(WindowsPlayTest, TheSdksCloseControlAndEscapeEndThePlayAfterTheGracePeriod) {
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "close control");
    starts.clear();
    ends.clear();
    const std::size_t closeHits = server.Requests("/tpat/close").size();
    const auto started = std::chrono::steady_clock::now();
    Play();
    ASSERT_EQ(starts.size(), 1u);
    const HWND overlay = FindWindowW(kOverlayClass, nullptr);
    ASSERT_NE(overlay, nullptr);
    // Escape does nothing before the control shows.
    SendMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
    HWND control = nullptr;
    ASSERT_TRUE(PumpMessagesUntil([&] { return (control = FindWindowExW(overlay, nullptr, L"BUTTON", nullptr)) != nullptr; },
                                  DisplayOverlayAdView::kCloseControlGrace + std::chrono::seconds(10)));
    EXPECT_GE(std::chrono::steady_clock::now() - started, DisplayOverlayAdView::kCloseControlGrace - std::chrono::seconds(1));
    EXPECT_TRUE(ends.empty());
    if (escape) {
      SendMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
      SendMessageW(control, BM_CLICK, 0, 0);
    }
    ASSERT_TRUE(PumpMessagesUntil([&] { return ends.size() == 1; }));
    EXPECT_EQ(ends[0].Message, "Ad Closed.");
    EXPECT_TRUE(Hits("/tpat/close", closeHits + 1));
    EXPECT_TRUE(OverlayGone());
    EXPECT_TRUE(rewards.empty());
    EXPECT_TRUE(failures.empty());
  }
}

}  // namespace
}  // namespace kestrel
