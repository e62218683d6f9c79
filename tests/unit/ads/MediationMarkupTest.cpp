// Bid markup and the mediated loads it refuses, on real placements; markup
// built by the local ad server's encoder.

#include "support/TestPrelude.h"

#include <nlohmann/json.hpp>

#include "BidMarkup.h"
#include "ads/AdmForRealTime.h"
#include "ads/MediationController.h"
#include "net/Base64.h"
#include "ads/PlacementController.h"
#include "ads/PlacementsController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "support/SdkFixture.h"

namespace kestrel {
namespace {

using test::AdBody;
using test::LoadRecorder;

// A bid whose ad unit is the /ads body, with the given impression URLs.
std::string Bid(const std::string& adsBody, const std::vector<std::string>& impressions = {}, int version = 2) {
  return adserver::BidMarkup::Build(nlohmann::json::parse(adsBody), impressions, version).dump();
}

std::string BidWithAdUnit(const std::string& adunit) {
  return nlohmann::json{{"version", 2}, {"adunit", adunit}, {"impression", {"http://i/1"}}}.dump();
}

class MediationMarkupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ControllerRegistry::Clear();
    ControllerRegistry::SetPlacementsController(placements);
  }
  void TearDown() override { ControllerRegistry::Clear(); }

  // The placement of that name, added when it is not there yet.
  IPlacementController& Placement(const std::string& name, bool headerBidding = false) {
    if (!placements->FindPlacement(name)) placements->AddPlacement(PlacementRecord{name, false, true, headerBidding, 0});
    return *placements->FindPlacement(name);
  }
  bool LoadMediated(const std::string& placement, const std::string& markup) {
    return mediation.LoadMediatedAd(placement, AdLoadCallback{success.Handler(), failure.Handler()}, markup);
  }

  std::shared_ptr<PlacementsController> placements = std::make_shared<PlacementsController>();
  MediationController mediation;
  LoadRecorder success, failure;
};

TEST_F(MediationMarkupTest, AnObjectOrItsOneElementArrayGivesTheAdUnitAndImpressions) {
  const std::string body = AdBody("ev-1", "http://h/b/bundle.zip");
  const std::string bid = Bid(body, {"http://i/1", "http://i/2"});
  for (const std::string& text : {bid, "[" + bid + "]", "[" + bid + ",{\"version\":1}]"}) {
    SCOPED_TRACE(text.substr(0, 20));
    LogCapture log;
    auto markup = mediation.ParseHeaderBiddingMarkup(text);
    ASSERT_NE(markup, nullptr);
    EXPECT_TRUE(markup->IsValid());
    EXPECT_EQ(nlohmann::json::parse(markup->GetAdUnit()), nlohmann::json::parse(body));
    EXPECT_EQ(markup->GetImpressions(), (std::vector<std::string>{"http://i/1", "http://i/2"}));
    EXPECT_TRUE(log.Events().empty()) << log.Messages().at(0);
  }
  // Impressions of a bid without any, or of one that is not an object.
  EXPECT_TRUE(AdmForRealTime(nlohmann::json::parse(R"({"version":2})")).GetImpressions().empty());
  EXPECT_TRUE(AdmForRealTime(nlohmann::json::parse(R"([42])")).GetImpressions().empty());
  EXPECT_EQ(AdmForRealTime(nlohmann::json::parse(R"({"impression":["a",7,"b"]})")).GetImpressions(),
            (std::vector<std::string>{"a", "b"}));
}

TEST_F(MediationMarkupTest, UnusableMarkupIsReportedAsInvalidWithoutADownload) {
  Placement("hb", true);
  const std::string body = AdBody("ev-1", "http://h/b/bundle.zip");
  struct Case {
    std::string name, markup, logged;
  };
  const Case cases[] = {
      {"empty text", "", "No header bidding markup to parse"},
      {"not JSON", "{version:2", "Couldn't parse header bidding markup"},
      {"empty array", "[]", "Couldn't parse header bidding markup"},
      {"number", "2", "Couldn't parse header bidding markup"},
      {"version 1", Bid(body, {}, 1), "Unsupported AdmForRealTime version: 1"},
      {"version missing", R"({"adunit":"H4sI"})", "Unsupported AdmForRealTime version: 0"},
      {"wrong types", adserver::BidMarkup::WrongTypes().dump(), "Unsupported AdmForRealTime version: 0"},
      {"empty ad unit", BidWithAdUnit(""), "AdmForRealTime adunit is empty."},
      {"bad base64", BidWithAdUnit("H4sI*AAA"), "Base64 text holds a character outside the alphabet at offset 4"},
      {"not gzip", BidWithAdUnit(Base64Encode(body)), "inflate failed during decompression"},
  };
  // Refused before anything started: false, and no callback.
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    EXPECT_FALSE(LoadMediated("hb", c.markup));
    EXPECT_GE(log.Count(c.logged), 1);
    EXPECT_EQ(log.Count("LoadMediatedAd: Please specify valid Ad Markup. ", LogLevel::Warn), 1);
  }
  ASSERT_TRUE(LoadMediated("hb", Bid(AdBody("ev-0", "http://127.0.0.1:9/bundle.zip"))));
  ASSERT_TRUE(WaitUntil([&] { return failure.Events().size() == 1; }));  // only the accepted load is told
  EXPECT_TRUE(success.Events().empty());
  EXPECT_FALSE(Placement("hb").IsAdPlayable("hb"));
}

TEST_F(MediationMarkupTest, MissingPlacementsAndThrowingCallbacksAreLoggedAndRefused) {
  const std::string bid = Bid(AdBody("ev-1", "http://h/b/bundle.zip"));
  {
    LogCapture log;
    EXPECT_FALSE(LoadMediated("nope", bid));
    EXPECT_TRUE(log.Has("LoadMediatedAd: Placement nope doesn't exist.", LogLevel::Error));
  }
  {
    ControllerRegistry::SetPlacementsController(nullptr);
    LogCapture log;
    EXPECT_FALSE(LoadMediated("hb", bid));
    EXPECT_TRUE(log.Has("LoadMediatedAd: PlacementsController is not initialized.", LogLevel::Error));
    EXPECT_FALSE(LoadMediated("hb", "[]"));
  }
  EXPECT_TRUE(failure.Events().empty());  // refusals call nothing
}

TEST_F(MediationMarkupTest, ASleepAdUnitPutsThePlacementToSleepAndTellsTheCaller) {
  Placement("hb", true);
  const nlohmann::json sleep = {{"ads", {{{"ad_markup", {{"sleep", 30}, {"info", "busy"}}}}}}};
  ASSERT_TRUE(LoadMediated("hb", Bid(sleep.dump())));
  ASSERT_TRUE(WaitUntil([&] { return failure.Events().size() == 1; }));
  EXPECT_EQ(failure.Events()[0].Message, "placement is sleeping; Reason: busy");
  EXPECT_FALSE(Placement("hb").IsAdPlayable("hb"));
}

}  // namespace
}  // namespace kestrel
