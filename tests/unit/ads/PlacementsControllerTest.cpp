#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "unit/ads/AdsFixture.h"

namespace kestrel {
namespace {

using test::LoadRecorder;
using test::LogCapture;

class PlacementsControllerTest : public test::AdsFixture {};

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
