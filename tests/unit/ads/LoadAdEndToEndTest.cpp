// LoadAd through the public interface against the local ad server on loopback.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "LocalAdServer.h"
#include "ads/Clock.h"
#include "kestrel/KestrelAds.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "storage/IFileSystemController.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Wait.h"
#include "unit/ads/AdsFixture.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using test::LoadRecorder;
using test::LogCapture;
using test::WaitUntil;

class LoadAdEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SdkState::Reset();
    server.Start();
    KestrelSdkConfig config;
    config.ConfigBaseUrl = server.BaseUrl();
    std::atomic<bool> initialized{false};
    InitializationCallback callback{[&](InitializationSuccessEventArgs) { initialized = true; }, {}};
    ads = KestrelAds::InitializeAsync("e2e-app", config, nullptr, callback).get();
    ASSERT_NE(ads, nullptr);
    ASSERT_TRUE(initialized);
  }
  void TearDown() override {
    SdkState::Reset();
    Clock::Reset();
    server.Stop();
  }

  // Loads and waits for the first callback that this load brings.
  bool LoadAndWait(const std::string& placement) {
    const std::size_t before = success.Events().size() + failure.Events().size();
    if (!ads->LoadAd(placement, AdLoadCallback{success.Handler(), failure.Handler()})) return false;
    return WaitUntil([&] { return success.Events().size() + failure.Events().size() > before; });
  }
  fs::path BundleFolder(const std::string& name) {
    return fs::path(ControllerRegistry::GetFileSystemController()->GetCreativesFolder()) / name;
  }

  test::ScopedDataHome dataHome;
  adserver::LocalAdServer server;
  KestrelAds* ads = nullptr;
  LoadRecorder success, failure;
};

TEST_F(LoadAdEndToEndTest, LoadUnpacksTheBundleAndReportsOnePlayableAd) {
  LogCapture log;
  ASSERT_TRUE(LoadAndWait("rewarded_video"));
  ASSERT_EQ(success.Events().size(), 1u) << (failure.Events().empty() ? "" : failure.Events()[0].Message);
  EXPECT_EQ(success.Events()[0].PlacementId, "rewarded_video");
  EXPECT_EQ(success.Events()[0].Message, "");
  EXPECT_EQ(success.Events()[0].Count, 1);
  const fs::path folder = BundleFolder("rewarded_video_1");
  for (const char* file : {"index.html", "creative.js", "style.css", "images/kestrel.png", "icon.png", "main.png"}) {
    EXPECT_TRUE(fs::is_regular_file(folder / file)) << file;
  }
  EXPECT_TRUE(ads->IsAdPlayable("rewarded_video"));
  EXPECT_FALSE(ads->IsAdPlayable("interstitial"));

  ASSERT_TRUE(LoadAndWait("rewarded_video"));
  ASSERT_EQ(success.Events().size(), 2u);
  EXPECT_EQ(success.Events()[1].Count, 1);
  EXPECT_EQ(log.Count("rewarded_video already has an ad bundle loaded.", LogLevel::Warn), 1);
  EXPECT_EQ(server.Requests("/ads").size(), 1u);
  EXPECT_TRUE(failure.Events().empty());
}

TEST_F(LoadAdEndToEndTest, ASleepAnswerHoldsThePlacementForThirtySeconds) {
  const std::int64_t start = Clock::NowTicks();
  Clock::Set(start);
  server.SetFault("ads=sleep");
  ASSERT_TRUE(LoadAndWait("interstitial"));
  ASSERT_EQ(failure.Events().size(), 1u);
  EXPECT_EQ(failure.Events()[0].Message, "placement is sleeping; Reason: Local ad server asked for a sleep");
  EXPECT_FALSE(ads->IsAdPlayable("interstitial"));
  server.ClearFaults();

  Clock::Set(start + 29 * Clock::kTicksPerSecond);
  ASSERT_TRUE(LoadAndWait("interstitial"));
  ASSERT_EQ(failure.Events().size(), 2u);
  EXPECT_EQ(failure.Events()[1].Message, "placement is sleeping");
  EXPECT_EQ(server.Requests("/ads").size(), 1u);

  Clock::Set(start + 30 * Clock::kTicksPerSecond);
  ASSERT_TRUE(LoadAndWait("interstitial"));
  ASSERT_EQ(success.Events().size(), 1u);
  EXPECT_TRUE(ads->IsAdPlayable("interstitial"));
  EXPECT_EQ(server.Requests("/ads").size(), 2u);
}

TEST_F(LoadAdEndToEndTest, AFailedPartIsDroppedAndTheNextLoadSucceeds) {
  struct Case {
    const char* placement;
    const char* fault;
    const char* logged;
  };
  for (const Case& c :
       {Case{"interstitial", "bundle=status:404,count=1", "Didn't get ad part - got HTTP status 404"},
        Case{"rewarded_video", "asset=close,count=1", "Didn't get ad part - got network error"},
        Case{"hb_banner", "bundle=corrupt,count=1", "The ad parts of hb_banner_1 hold no index.html"}}) {
    SCOPED_TRACE(c.fault);
    LogCapture log;
    server.SetFault(c.fault);
    const std::size_t successes = success.Events().size();
    EXPECT_TRUE(ads->LoadAd(c.placement, AdLoadCallback{success.Handler(), failure.Handler()}));
    EXPECT_TRUE(WaitUntil([&] { return log.CountStartingWith(c.logged) == 1; }));
    EXPECT_FALSE(ads->IsAdPlayable(c.placement));
    EXPECT_EQ(success.Events().size(), successes);

    ASSERT_TRUE(LoadAndWait(c.placement));
    EXPECT_TRUE(log.Has("Deleted 1 bad bundles.", LogLevel::Info));
    ASSERT_EQ(success.Events().size(), successes + 1);
    EXPECT_EQ(success.Events().back().Count, 1);
    EXPECT_TRUE(ads->IsAdPlayable(c.placement));
    EXPECT_FALSE(fs::exists(BundleFolder(std::string(c.placement) + "_1")));
    EXPECT_TRUE(fs::is_regular_file(BundleFolder(std::string(c.placement) + "_2") / "index.html"));
  }
  EXPECT_TRUE(failure.Events().empty());
}

TEST_F(LoadAdEndToEndTest, UnknownPlacementsAndEmptyPlaysAreRefused) {
  ASSERT_TRUE(LoadAndWait("no_such_placement"));
  ASSERT_EQ(failure.Events().size(), 1u);
  EXPECT_EQ(failure.Events()[0].Message, "There is no placement with the name no_such_placement.");
  EXPECT_EQ(failure.Events()[0].Count, 0);
  EXPECT_TRUE(server.Requests("/ads").empty());

  std::vector<AdPlayEventArgs> playFailures;
  AdPlayCallback callback;
  callback.OnAdPlayFailure = [&](AdPlayEventArgs args) { playFailures.push_back(args); };
  KestrelAdPlayInfo info = ads->PlayAd("interstitial", callback);
  EXPECT_FALSE(info.Success);
  EXPECT_EQ(info.Message, "interstitial doesn't have any bundles to play!");
  ASSERT_EQ(playFailures.size(), 1u);
  EXPECT_EQ(playFailures[0].PlacementId, "interstitial");
  EXPECT_EQ(playFailures[0].Message, "interstitial doesn't have any bundles to play!");
}

}  // namespace
}  // namespace kestrel
