#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "unit/ads/AdsFixture.h"

namespace kestrel {
namespace {

using test::LoadRecorder;
using test::LogCapture;

class PlacementsControllerTest : public test::AdsFixture {};

TEST_F(PlacementsControllerTest, UnknownNamesAreReportedThroughTheFailureCallbackOrTheLog) {
  Placement("Rewarded");
  LogCapture log;
  LoadRecorder success, failure;
  EXPECT_TRUE(placements->LoadAd("rewarded", success.Handler(), failure.Handler()));
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"There is no placement with the name rewarded."});
  ASSERT_EQ(failure.Events().size(), 1u);
  EXPECT_FALSE(failure.Events()[0].Success);
  EXPECT_EQ(failure.Events()[0].PlacementId, "rewarded");
  EXPECT_EQ(failure.Events()[0].Message, "There is no placement with the name rewarded.");
  EXPECT_EQ(failure.Events()[0].Count, 0);
  EXPECT_TRUE(requests->AdCalls().empty());

  log.Clear();
  EXPECT_TRUE(placements->LoadAd("nope", success.Handler(), nullptr));
  EXPECT_EQ(log.Messages(),
            (std::vector<std::string>{"There is no placement with the name nope.",
                                      "Failure callback is null, cannot report error for placement: nope"}));

  // The bundle downloader's notification for an unknown placement takes the same road.
  placements->NotifyLoadResult("gone", success.Handler(), failure.Handler(), "Downloaded all Ad Parts");
  EXPECT_EQ(failure.Events().size(), 2u);
  EXPECT_EQ(failure.Events()[1].Message, "There is no placement with the name gone.");
  EXPECT_TRUE(success.Events().empty());

  std::vector<AdPlayEventArgs> playFailures;
  KestrelAdPlayInfo info;
  info.OnAdPlayFailure = [&](AdPlayEventArgs args) { playFailures.push_back(args); };
  KestrelAdPlayInfo played = placements->PlayAd("nope", AdConfig{}, info, "");
  EXPECT_FALSE(played.Success);
  EXPECT_EQ(played.PlacementId, "nope");
  EXPECT_EQ(played.Message, "Don't have a placement with that name (nope)!");
  ASSERT_EQ(playFailures.size(), 1u);
  EXPECT_EQ(playFailures[0].Message, played.Message);
}

TEST_F(PlacementsControllerTest, PlacementsAreAddedByExactNameAndRouted) {
  LogCapture log;
  placements->AddPlacement(PlacementRecord{});
  EXPECT_TRUE(log.Has("Missing Placement Name", LogLevel::Error));
  EXPECT_EQ(placements->FindPlacement(""), nullptr);

  Placement("Video");
  Placement("video");
  ASSERT_NE(placements->FindPlacement("Video"), nullptr);
  EXPECT_NE(placements->FindPlacement("Video"), placements->FindPlacement("video"));
  EXPECT_EQ(placements->FindPlacement("Video")->GetPlacementId(), "Video");

  requests->AnswerAds(test::FakeRequestController::Answer{200, false, test::AdBody("e", "http://h/b.zip")});
  LoadRecorder success, failure;
  EXPECT_TRUE(placements->LoadAd("video", success.Handler(), failure.Handler()));
  ASSERT_EQ(requests->AdCalls().size(), 1u);
  EXPECT_EQ(requests->AdCalls()[0].placementId, "video");
  ASSERT_EQ(success.Events().size(), 1u);
  EXPECT_EQ(success.Events()[0].PlacementId, "video");
  EXPECT_TRUE(placements->FindPlacement("video")->IsAdPlayable("video"));
  EXPECT_FALSE(placements->FindPlacement("Video")->IsAdPlayable("Video"));
}

TEST_F(PlacementsControllerTest, APlayCallbackMayLoadAgainOnItsOwnThread) {
  Placement("P");
  requests->AnswerAds(test::FakeRequestController::Answer{200, false, test::AdBody("e", "http://h/b.zip")});
  LoadRecorder success, failure;
  KestrelAdPlayInfo info;
  // A publisher that reloads when there is nothing to play, from inside the play call.
  info.OnAdPlayFailure = [&](AdPlayEventArgs) { placements->LoadAd("P", success.Handler(), failure.Handler()); };
  EXPECT_FALSE(placements->PlayAd("P", AdConfig{}, info, "").Success);
  ASSERT_EQ(success.Events().size(), 1u);
  EXPECT_TRUE(placements->PlayAd("P", AdConfig{}, info, "").Success);
}

}  // namespace
}  // namespace kestrel
