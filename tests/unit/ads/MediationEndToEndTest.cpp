// Header bidding through the public interface against the local ad server:
// the token, a load from the server's bid markup, and the play that fires
// the bid's impressions.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>

#include <nlohmann/json.hpp>

#include "Base64.h"
#include "Gzip.h"
#include "LocalAdServer.h"
#include "config/IPersistentSettingsController.h"
#include "device/IDeviceInfoController.h"
#include "kestrel/KestrelAds.h"
#include "server/RequestBodies.h"
#include "platform/IHttpClient.h"
#include "privacy/ICcpaController.h"
#include "privacy/ICoppaController.h"
#include "privacy/IGdprController.h"
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
using R = ControllerRegistry;
using test::LoadRecorder;
using test::LogCapture;
using test::WaitUntil;

// Records the play callbacks.
struct PlayRecorder {
  std::mutex mutex;
  std::vector<std::pair<std::string, AdPlayEventArgs>> events;  // callback name, arguments

  AdPlayCallback Callback() {
    auto record = [this](const char* name) {
      return [this, name](AdPlayEventArgs args) {
        std::lock_guard lock(mutex);
        events.emplace_back(name, std::move(args));
      };
    };
    return AdPlayCallback{record("start"), record("end"), record("click"), record("rewarded"), record("failure")};
  }
  std::vector<std::pair<std::string, AdPlayEventArgs>> Events() {
    std::lock_guard lock(mutex);
    return events;
  }
};

class MediationEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SdkState::Reset();
    server.Start();
    KestrelSdkConfig config;
    config.ConfigBaseUrl = server.BaseUrl();
    std::atomic<bool> initialized{false};
    InitializationCallback callback{[&](InitializationSuccessEventArgs) { initialized = true; }, {}};
    ads = KestrelAds::InitializeAsync("hb-app", config, nullptr, callback).get();
    ASSERT_NE(ads, nullptr);
    ASSERT_TRUE(initialized);
  }
  void TearDown() override {
    SdkState::Reset();
    server.Stop();
  }

  // The server's bid markup for the placement, fetched as a mediation layer would.
  std::string FetchMarkup(const std::string& placement, const std::string& extra = {}) {
    HttpExchange exchange;
    exchange.verb = "GET";
    exchange.url = server.BaseUrl() + "/hb/markup?placement=" + placement + extra;
    exchange.agent = "mediation-test";
    const HttpResult result = CreateHttpClient()->Exchange(exchange);
    EXPECT_EQ(result.statusCode, 200) << result.body;
    return result.body;
  }
  bool LoadMediatedAndWait(const std::string& placement, const std::string& markup) {
    const std::size_t before = success.Events().size() + failure.Events().size();
    if (!ads->LoadMediatedAd(placement, AdLoadCallback{success.Handler(), failure.Handler()}, markup)) return false;
    return WaitUntil([&] { return success.Events().size() + failure.Events().size() > before; });
  }

  test::ScopedDataHome dataHome;
  adserver::LocalAdServer server;
  KestrelAds* ads = nullptr;
  LoadRecorder success, failure;
};

TEST_F(MediationEndToEndTest, TheSuperTokenPacksTheSdksOwnFragments) {
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
  KestrelAds::SetCoppaStatus(true);
  const std::string token = ads->GetMediationSuperToken("bidder");
  ASSERT_EQ(token.rfind("4:", 0), 0u);
  const Json decoded = Json::parse(adserver::GzipDecompress(adserver::Base64Decode(token.substr(2))));

  Json expected = Json::object();
  MergeJson(expected, R::GetCcpaController()->GetBidTokenCcpaJson());
  MergeJson(expected, R::GetCoppaController()->GetBidTokenCoppaJson());
  MergeJson(expected, R::GetGdprController()->GetBidTokenGdprJson());
  MergeJson(expected, R::GetDeviceInfoController()->GetBidTokenDeviceJson());
  EXPECT_TRUE(expected.contains("device"));
  EXPECT_TRUE(expected["user"].contains("gdpr"));
  expected["ext"] = {{"config_extension", "kestrel-local-adserver"}, {"ordinal_view", 1}};
  expected["request"]["sdk_user_agent"] = "TovaneWindows/7.0.1 (Windows 10; native)";
  EXPECT_EQ(decoded, expected);
  EXPECT_EQ(decoded["user"]["ccpa"]["status"], "opted_out");

  // A later choice shows in the next token.
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedIn);
  const Json again =
      Json::parse(adserver::GzipDecompress(adserver::Base64Decode(ads->GetMediationSuperToken("").substr(2))));
  EXPECT_EQ(again["user"]["ccpa"]["status"], "opted_in");
}

TEST_F(MediationEndToEndTest, ServerMarkupLoadsABundleWithoutAskingForAnAd) {
  LogCapture log;
  ASSERT_TRUE(LoadMediatedAndWait("hb_banner", FetchMarkup("hb_banner")));
  ASSERT_EQ(success.Events().size(), 1u) << (failure.Events().empty() ? "" : failure.Events()[0].Message);
  EXPECT_EQ(success.Events()[0].PlacementId, "hb_banner");
  EXPECT_EQ(success.Events()[0].Count, 1);
  EXPECT_TRUE(
      log.Has("Placement hb_banner is downloading assets after a successful LoadMediatedAd call....", LogLevel::Info));
  const fs::path folder = fs::path(R::GetFileSystemController()->GetCreativesFolder()) / "hb_banner_1";
  EXPECT_TRUE(fs::is_regular_file(folder / "index.html"));
  EXPECT_TRUE(ads->IsAdPlayable("hb_banner"));
  EXPECT_TRUE(server.Requests("/ads").empty());

  // A version the SDK does not speak is refused before anything is fetched.
  const std::size_t bundles = server.Requests("/bundles/").size();
  EXPECT_FALSE(ads->LoadMediatedAd("interstitial", AdLoadCallback{success.Handler(), failure.Handler()},
                                   FetchMarkup("interstitial", "&version=1")));
  ASSERT_EQ(failure.Events().size(), 1u);
  EXPECT_EQ(failure.Events()[0].Message, "Invalid Ad Markup");
  EXPECT_TRUE(log.Has("Unsupported AdmForRealTime version: 1", LogLevel::Error));
  EXPECT_EQ(log.CountStartingWith("Placement interstitial is downloading assets"), 0);
  EXPECT_EQ(server.Requests("/bundles/").size(), bundles);
}

TEST_F(MediationEndToEndTest, PlayingAMediatedAdFiresTheBidImpressions) {
  const std::string markup = FetchMarkup("hb_banner");
  ASSERT_TRUE(LoadMediatedAndWait("hb_banner", markup));
  ASSERT_EQ(success.Events().size(), 1u);

  PlayRecorder refused;
  for (const auto& [placement, message] :
       {std::pair<std::string, std::string>{"interstitial",
                                            "Use PlayAd instead of PlayMediatedAd for non-header bidding placements "
                                            "like interstitial"},
        {"nope", "Don't have a placement with that name: nope"}}) {
    LogCapture log;
    const KestrelAdPlayInfo info = ads->PlayMediatedAd(AdConfig{}, placement, refused.Callback(), markup);
    EXPECT_FALSE(info.Success);
    EXPECT_EQ(info.Message, message);
    EXPECT_TRUE(log.Has(message, LogLevel::Error));
    ASSERT_FALSE(refused.Events().empty());
    EXPECT_EQ(refused.Events().back().first, "failure");
    EXPECT_EQ(refused.Events().back().second.Message, message);
  }
  EXPECT_EQ(refused.Events().size(), 2u);
  EXPECT_TRUE(ads->IsAdPlayable("hb_banner"));  // the refusals took nothing

  // No window: the play goes through the placement up to its impressions.
  PlayRecorder played;
  const KestrelAdPlayInfo info = ads->PlayMediatedAd(AdConfig{}, "hb_banner", played.Callback(), markup);
  EXPECT_TRUE(info.Success) << info.Message;
  EXPECT_FALSE(info.EventId.empty());
  ASSERT_TRUE(server.WaitForRequests("/hb/impression", 1));
  const auto hits = server.Requests("/hb/impression");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].Param("placement"), "hb_banner");
  EXPECT_EQ(hits[0].Param("ev"), info.EventId);
  EXPECT_FALSE(hits[0].Param("ts").empty());
  EXPECT_EQ(hits[0].Param("ts").find('%'), std::string::npos);
  const auto events = played.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].first, "start");
  EXPECT_EQ(events[0].second.Message, "hb_bannerAd started successfully.");

  // The next bid's play fires that bid's impressions.
  const std::string next = FetchMarkup("hb_banner");
  ASSERT_TRUE(LoadMediatedAndWait("hb_banner", next));
  const KestrelAdPlayInfo second = ads->PlayMediatedAd(AdConfig{}, "hb_banner", played.Callback(), next);
  EXPECT_TRUE(second.Success) << second.Message;
  ASSERT_TRUE(server.WaitForRequests("/hb/impression", 2));
  EXPECT_EQ(server.Requests("/hb/impression").at(1).Param("ev"), second.EventId);
  EXPECT_NE(second.EventId, info.EventId);
}

}  // namespace
}  // namespace kestrel
