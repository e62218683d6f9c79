// Loaded ads over time: expiry, the automatic loads of auto-cached
// placements, the header-bidding cache and where bundles are kep

#include "support/TestPrelude.h"

#include "ads/Clock.h"
#include "ads/IPlacementController.h"
#include "ads/IPlacementsController.h"
#include "support/SdkFixture.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using R = ControllerRegistry;

class AdCacheTest : public test::SdkFixture {
 protected:
  void TearDown() override {
    Clock::Reset();
    SdkFixture::TearDown();
  }
  // Initialises with interstitial auto-cached and the placement callbacks recorded.
  void InitializeAutoCached() {
    Json doc = server->ConfigDocument();
    doc["placements"][1]["is_auto_cached"] = true;
    server->SetFault(adserver::Fault::Body(adserver::FaultRoute::Config, doc.dump()));
    KestrelAds::SetLoadCallback("interstitial", {automatic.Handler(), automatic.Handler()});
    ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
  }
  std::size_t AdRequests() { return server->Requests("/ads").size() - adsBefore; }
  std::string LastFailure() { return failure.Events().empty() ? "" : failure.Events().back().Message; }
  std::vector<std::string> BundleFolders() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(BundleFolder("x").parent_path())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
  test::LoadRecorder automatic;  // what the SDK loaded by itself, and the expiries
  std::size_t adsBefore = 0;     // /ads requests of the rows before
};

struct Row {
  const char* name;
  std::function<void()> run;
};

// Each row is one sequence; the clock is moved where an ad's hour must pass.
TEST_F(AdCacheTest, LoadedAdsStayFreshAndTidy) {
  const std::vector<Row> rows = {
      {"an expired ad is refused, deleted and replaced by the next load",
       [this] {
         ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
         KestrelAds::SetLoadCallback("interstitial", {automatic.Handler(), automatic.Handler()});
         ASSERT_TRUE(LoadAndWait("interstitial"));
         const fs::path folder = BundleFolder("interstitial");
         ASSERT_TRUE(fs::is_regular_file(folder / "index.html"));
         Clock::Set(Clock::NowTicks() + 2 * 3600 * Clock::kTicksPerSecond);
         EXPECT_FALSE(ads->IsAdPlayable("interstitial"));
         std::vector<std::string> failures;
         AdPlayCallback play;
         play.OnAdPlayFailure = [&](AdPlayEventArgs args) { failures.push_back(args.Message); };
         play.OnAdStart = [&](AdPlayEventArgs) { failures.push_back("started"); };
         EXPECT_FALSE(ads->PlayAd("interstitial", play, AdConfig{}).Success);
         EXPECT_EQ(failures, std::vector<std::string>{"The ad loaded for interstitial expired; load another."});
         EXPECT_TRUE(WaitUntil([&] { return !fs::exists(folder); }));
         EXPECT_TRUE(WaitUntil([&] { return automatic.Events().size() == 1; }));
         EXPECT_EQ(automatic.Events()[0].Message, "The ad loaded for interstitial expired.");
         Clock::Reset();
         const std::size_t before = AdRequests();
         EXPECT_TRUE(LoadAndWait("interstitial"));
         EXPECT_EQ(AdRequests(), before + 1);
       }},
      {"an auto-cached placement loads after initialisation, is joined, and loads again when its ad expires",
       [this] {
         Json body = Json::parse(test::AdBody("ev-brief", "{{BASE_URL}}/bundles/sample.zip"));
         body["ads"][0]["ad_markup"]["expiry"] = Clock::NowTicks() / Clock::kTicksPerSecond + 2;
         server->SetFault(adserver::Fault::Body(adserver::FaultRoute::Ads, body.dump(), 1));
         ASSERT_NO_FATAL_FAILURE(InitializeAutoCached());
         ASSERT_TRUE(WaitUntil([&] { return automatic.Events().size() == 1; }));
         EXPECT_TRUE(automatic.Events()[0].Success);
         EXPECT_TRUE(LoadAndWait("interstitial"));  // "already loaded"
         EXPECT_EQ(AdRequests(), 1u);
         ASSERT_TRUE(WaitUntil([&] { return automatic.Events().size() == 3; }));
         EXPECT_EQ(automatic.Events()[1].Message, "The ad loaded for interstitial expired.");
         EXPECT_TRUE(automatic.Events()[2].Success);
         EXPECT_EQ(AdRequests(), 2u);
       }},
      {"failed automatic loads are tried again after 1 s and 2 s, and a LoadAd meanwhile asks nothing",
       [this] {
         server->SetFault("ads=status:500,count=2");
         ASSERT_NO_FATAL_FAILURE(InitializeAutoCached());
         ASSERT_TRUE(WaitUntil([&] { return !automatic.Events().empty(); }));
         ASSERT_TRUE(LoadAndWait("interstitial"));
         EXPECT_NE(LastFailure().find("again in"), std::string::npos) << LastFailure();
         EXPECT_EQ(AdRequests(), 1u);
         ASSERT_TRUE(WaitUntil([&] { return automatic.Events().size() == 3; }, std::chrono::seconds(30)));
         const auto events = automatic.Events();
         EXPECT_FALSE(events[0].Success);
         EXPECT_FALSE(events[1].Success);
         EXPECT_TRUE(events[2].Success);
         EXPECT_EQ(AdRequests(), 3u);
       }},
      {"a sleeping auto-cached placement asks nothing until its sleep ends",
       [this] {
         server->SetFault("ads=sleep,sleep=2,count=1");
         ASSERT_NO_FATAL_FAILURE(InitializeAutoCached());
         ASSERT_TRUE(WaitUntil([&] { return !automatic.Events().empty(); }));
         EXPECT_EQ(automatic.Events()[0].Message.rfind("placement is sleeping", 0), 0u);
         ASSERT_TRUE(LoadAndWait("interstitial"));
         EXPECT_EQ(LastFailure(), "placement is sleeping");
         EXPECT_EQ(AdRequests(), 1u);
         ASSERT_TRUE(WaitUntil([&] { return automatic.Events().size() == 2; }, std::chrono::seconds(30)));
         EXPECT_TRUE(automatic.Events()[1].Success);
         EXPECT_EQ(AdRequests(), 2u);
       }},
      {"a header-bidding placement keeps its two newest bids; bundles never share a folder",
       [this] {
         ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
         for (int bid = 1; bid <= 3; ++bid) {
           const std::size_t before = Callbacks();
           ASSERT_TRUE(ads->LoadMediatedAd("hb_banner", {success.Handler(), failure.Handler()},
                                             FetchMarkup("hb_banner")));
           ASSERT_TRUE(WaitUntil([&] { return Callbacks() > before; }));
         }
         EXPECT_EQ(R::GetPlacementsController()->FindPlacement("hb_banner")->CountPlayableBundles(), 2);
         EXPECT_TRUE(WaitUntil([&] { return BundleFolders().size() == 2; }));
         const auto folders = BundleFolders();
         EXPECT_NE(folders[0], folders[1]);
       }},
      {"a signed template URL with a query is unpacked like any archive",
       [this] {
         ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
         server->SetFault(adserver::Fault::Body(
             adserver::FaultRoute::Ads, test::AdBody("ev-signed", "{{BASE_URL}}/bundles/sample.zip?sig=a%2Fb&exp=1")));
         ASSERT_TRUE(LoadAndWait("interstitial"));
         EXPECT_TRUE(fs::is_regular_file(BundleFolder("interstitial") / "index.html"));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SdkState::Reset();
    Clock::Reset();
    KestrelAds::SetLoadCallback("interstitial", {});
    std::atomic<bool> drained{false};  // the callbacks of the row before have all arrived
    CallbackDispatcher::Post([&] { drained = true; });
    WaitUntil([&] { return drained.load(); });
    for (test::LoadRecorder* recorder : {&automatic, &success, &failure}) {
      std::lock_guard lock(recorder->mutex);
      recorder->events.clear();
    }
    dataHome.reset();
    dataHome = std::make_unique<test::ScopedDataHome>();
    server->ClearFaults();
    adsBefore = server->Requests("/ads").size();
    row.run();
  }
}

}  // namespace
}  // namespace kestrel
