// A play through the public interface on Windows, with a real publisher window
// and the ad loaded from the local ad server. This build has no WebView2 host,
// so the play must fail cleanly: one Error line, OnAdPlayFailure, no overlay left.
#include <windows.h>

#include <gtest/gtest.h>

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

  test::ScopedDataHome dataHome;
  adserver::LocalAdServer server;
  HWND window = nullptr;
  KestrelAds* ads = nullptr;
};

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
