// The SDK through its public interface on Windows, with a real publisher window
// and ads from the local ad server. The user's Local AppData folder has a name
// outside every code page. This build has no WebView2 host, so a play must
// fail cleanly: one Error line, OnAdPlayFailure, no overlay left.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "LocalAdServer.h"
#include "kestrel/KestrelAds.h"
#include "sdk/SdkState.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/windows/MessagePump.h"

namespace kestrel {
namespace {

using test::LogCapture;
using test::PumpMessages;
using test::PumpMessagesUntil;

constexpr wchar_t kPublisherClass[] = L"KestrelTestPublisher";
constexpr wchar_t kOverlayClass[] = L"TovaneOverlayWndClass";

int ErrorLines(const LogCapture& log) {
  int count = 0;
  for (const auto& event : log.Events()) count += event.Level == LogLevel::Error ? 1 : 0;
  return count;
}

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

    // The SDK's folders, the settings file and the creatives among them.
    localAppData = dataHome.Path() / L"donn\u00e9es \u03a9 \u65e5\u672c";
    std::filesystem::create_directories(localAppData);
    const std::wstring folder = localAppData.wstring();
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                              L"Local AppData", REG_EXPAND_SZ, folder.c_str(),
                              static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);

    SdkState::Reset();
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

  // The files under the data folder, as paths relative to it.
  std::vector<std::filesystem::path> Files() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(localAppData)) {
      if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(localAppData));
    }
    return files;
  }

  test::ScopedDataHome dataHome;
  std::filesystem::path localAppData;
  adserver::LocalAdServer server;
  HWND window = nullptr;
  KestrelAds* ads = nullptr;
};

TEST_F(WindowsPlayTest, SettingsAndCreativesLiveInTheLocalAppDataFolder) {
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
  ASSERT_TRUE(Load("interstitial"));
  const std::filesystem::path sdk = std::filesystem::path(L"windows_play_tests") / L"TovaneSDK";
  const auto files = Files();
  EXPECT_NE(std::find(files.begin(), files.end(), sdk / L"settings.ke"), files.end());
  EXPECT_TRUE(std::any_of(files.begin(), files.end(), [&](const std::filesystem::path& file) {
    return file.filename() == L"index.html" && file.parent_path().parent_path() == sdk / L"Creatives";
  }));
  // The choice is in the file the next start reads.
  SdkState::Reset();
  EXPECT_EQ(KestrelAds::GetCcpaStatus(), CcpaConsentStatus::OptedOut);
}

TEST_F(WindowsPlayTest, APlayWithoutAWebViewHostFailsWithOneErrorAndClosesItsWindow) {
  ASSERT_TRUE(Load("interstitial"));
  std::vector<AdPlayEventArgs> starts, failures;
  AdPlayCallback callback;
  callback.OnAdStart = [&](AdPlayEventArgs args) { starts.push_back(args); };
  callback.OnAdPlayFailure = [&](AdPlayEventArgs args) { failures.push_back(args); };

  LogCapture log;
  const KestrelAdPlayInfo info = ads->PlayAd("interstitial", callback);
  EXPECT_FALSE(info.Success);
  EXPECT_EQ(info.Message, "The ad could not be shown: no web view could be created in its window.");
  EXPECT_TRUE(starts.empty());
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].PlacementId, "interstitial");
  EXPECT_EQ(failures[0].Message, info.Message);
  EXPECT_EQ(log.Count("No WebViewController, so can't set up WebView2 for MRAID!", LogLevel::Error), 1);
  EXPECT_EQ(ErrorLines(log), 1);

  // The overlay that was opened for the ad is gone again.
  EXPECT_TRUE(PumpMessagesUntil([] { return FindWindowW(kOverlayClass, nullptr) == nullptr; }));
  EXPECT_TRUE(IsWindow(window));
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

}  // namespace
}  // namespace kestrel
