#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "support/Wait.h"
#include "unit/ads/AdsFixture.h"

namespace kestrel {
namespace {

using test::AdBody;
using test::LoadRecorder;
using test::LogCapture;
using Answer = test::FakeRequestController::Answer;

class PlacementControllerTest : public test::AdsFixture {
 protected:
  bool Load(const std::string& name, LoadRecorder& success, LoadRecorder& failure) {
    return Placement(name).LoadAd(success.Handler(), failure.Handler()).get();
  }
};

TEST_F(PlacementControllerTest, AnAnswerStillDownloadingBlocksAFurtherRequest) {
  LogCapture log;
  LoadRecorder success, failure;
  requests->HoldParts(true);
  requests->AnswerAds(Answer{200, false, AdBody("e1", "http://h/b/bundle.zip")});
  EXPECT_TRUE(Load("P", success, failure));
  EXPECT_FALSE(Placement("P").IsAdPlayable("P"));

  EXPECT_FALSE(Load("P", success, failure));
  EXPECT_EQ(log.Count("P already has an ad response.", LogLevel::Warn), 1);
  EXPECT_EQ(requests->AdCalls().size(), 1u);
  EXPECT_TRUE(success.Events().empty());
  EXPECT_TRUE(failure.Events().empty());

  // The part arriving later completes the load with the callbacks of the /ads request.
  requests->DeliverPart(requests->PartCalls().at(0), Answer{});
  ASSERT_EQ(success.Events().size(), 1u);
  EXPECT_TRUE(Placement("P").IsAdPlayable("P"));
}

TEST_F(PlacementControllerTest, UnusableAnswersAreLoggedAndLetTheNextLoadAskAgain) {
  struct Case {
    Answer answer;
    std::string logged;
  };
  const Case cases[] = {
      {Answer{200, false, R"({"ads":null})"}, "Bad response from /ads for P!"},
      {Answer{200, false, R"({"ads":[]})"}, "[json.exception.out_of_range.401] array index 0 is out of range"},
      {Answer{200, false, AdBody("e1", "http://h/b.zip", {}, "vast")}, "Not yet Implemented!"},
      {Answer{500, false, "oops"}, "Didn't get ad part response - got network error"},
      {Answer{0, true, "HttpSendRequestW failed"}, "Didn't get ad part response - got network error"},
  };
  std::size_t adCalls = 0;
  for (const auto& c : cases) {
    LogCapture log;
    LoadRecorder success, failure;
    requests->AnswerAds(c.answer);
    EXPECT_TRUE(Load("P", success, failure));
    EXPECT_EQ(requests->AdCalls().size(), ++adCalls);
    EXPECT_EQ(log.Count(c.logged, LogLevel::Error), 1) << c.logged;
    EXPECT_TRUE(success.Events().empty());
    EXPECT_TRUE(failure.Events().empty());
    EXPECT_FALSE(Placement("P").IsAdPlayable("P"));
  }
  EXPECT_TRUE(requests->PartCalls().empty());
}

TEST_F(PlacementControllerTest, APlacementTakesOnlyItsOwnAnswers) {
  LoadRecorder success, failure;
  PlacementController& p = Placement("P");
  requests->AnswerAds(Answer{200, false, AdBody("e1", "http://h/xp/bundle.zip")});
  Placement("XP").LoadAd(success.Handler(), failure.Handler()).get();
  EXPECT_TRUE(Placement("XP").IsAdPlayable("XP"));
  EXPECT_EQ(p.CountPlayableBundles(), 0);
  EXPECT_EQ(requests->PartCalls().size(), 1u);
}

TEST_F(PlacementControllerTest, PlayTakesTheBundleAndReportsTheStart) {
  LogCapture log;
  KestrelAdPlayInfo info;
  info.PlacementId = "P";
  std::vector<AdPlayEventArgs> events;
  info.OnAdPlayFailure = [&](AdPlayEventArgs args) { events.push_back(args); };
  info.OnAdStart = [&](AdPlayEventArgs args) { events.push_back(args); };

  KestrelAdPlayInfo refused = Placement("P").PlayAd(AdConfig{}, info, "");
  EXPECT_FALSE(refused.Success);
  EXPECT_EQ(refused.Message, "P doesn't have any bundles to play!");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Message, "P doesn't have any bundles to play!");
  EXPECT_EQ(log.Count("P doesn't have any bundles to play!", LogLevel::Warn), 1);

  LoadRecorder success, failure;
  requests->AnswerAds(Answer{200, false, AdBody("e1", "http://h/b/bundle.zip")});
  ASSERT_TRUE(Load("P", success, failure));
  const std::string bid = R"({"version":2,"adunit":"x","impression":["http://i/1"]})";
  KestrelAdPlayInfo played = Placement("P").PlayAd(AdConfig{}, info, bid);
  EXPECT_TRUE(played.Success);
  EXPECT_EQ(played.EventId, "e1");
  EXPECT_EQ(played.CampaignId, "camp");
  EXPECT_EQ(played.CreativeId, "crea");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].Message, "PAd started successfully.");
  EXPECT_EQ(events[1].EventId, "e1");
  EXPECT_EQ(log.Count("Playing ad for placement P with Event ID: e1\r\n\tCreative ID: crea\r\n\tCampaign ID: camp",
                      LogLevel::Info),
            1);
  EXPECT_FALSE(Placement("P").IsAdPlayable("P"));
  // The display got the bundle's folder as its replacement root.
  EXPECT_EQ(log.CountStartingWith("Can't GetAllReplacements"), 0);

  // Only header-bidding placements ping a bid's impressions.
  EXPECT_TRUE(requests->TrackingUrls().empty());

  // Events of the playing ad reach the callbacks that are set, and only those.
  Placement("P").NotifyAdClosed();
  EXPECT_EQ(log.Count("No current display ad controller to notify for ad closed.", LogLevel::Warn), 1);
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(PlacementControllerTest, HeaderBiddingPlaysPingTheBidImpressions) {
  LoadRecorder success, failure;
  requests->AnswerAds(Answer{200, false, AdBody("e1", "http://h/b/bundle.zip")});
  PlacementController& hb = Placement("HB", true);
  ASSERT_TRUE(hb.LoadAd(success.Handler(), failure.Handler()).get());
  KestrelAdPlayInfo info;
  std::atomic<int> clicks{0};
  info.OnAdClick = [&](AdPlayEventArgs args) {
    EXPECT_EQ(args.Message, "Ad Clicked.");
    ++clicks;
  };
  EXPECT_TRUE(hb.PlayAd(AdConfig{}, info, R"([{"impression":["http://i/1","http://i/2"]}])").Success);
  EXPECT_TRUE(test::WaitUntil([&] { return requests->TrackingUrls().size() == 2; }));
  hb.NotifyAdClicked();
  EXPECT_EQ(clicks, 1);
}

TEST_F(PlacementControllerTest, TheLoadResultFollowsThePlayableCountNotTheMessage) {
  LoadRecorder success, failure;
  PlacementController& p = Placement("P");
  p.NotifyLoadResult("P", success.Handler(), failure.Handler(), "Downloaded all Ad Parts");
  ASSERT_EQ(failure.Events().size(), 1u);
  EXPECT_EQ(failure.Events()[0].Message, "Downloaded all Ad Parts");

  requests->AnswerAds(Answer{200, false, AdBody("e1", "http://h/b/bundle.zip")});
  ASSERT_TRUE(Load("P", success, failure));
  p.NotifyLoadResult("P", success.Handler(), failure.Handler(), "placement is sleeping");
  EXPECT_EQ(success.Events().size(), 2u);
  EXPECT_EQ(failure.Events().size(), 1u);

  LogCapture log;
  p.NotifyLoadResult("P", nullptr, nullptr, "x");
  EXPECT_EQ(log.Count("No OnAdLoadSuccess callback provided to notify that ad is loaded.", LogLevel::Warn), 1);
}

}  // namespace
}  // namespace kestrel
