// PlayMediatedAd refuses a placement entry that is not the SDK's own placement controller.

#include <gtest/gtest.h>

#include "ads/IPlacementController.h"
#include "ads/IPlacementsController.h"
#include "kestrel/KestrelAds.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "support/LogCapture.h"

namespace kestrel {
namespace {

// A header-bidding placement of some other kind; playing it would succeed.
class ForeignPlacement : public IPlacementController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  std::future<bool> LoadAd(AdLoadHandler, AdLoadHandler) override { return MakeReadyFuture(true); }
  KestrelAdPlayInfo PlayAd(const AdConfig&, KestrelAdPlayInfo info, const std::string&) override { return info; }
  bool IsAdPlayable(const std::string&) override { return true; }
  std::string GetPlacementId() override { return "hb"; }
  void OnAdResponse(std::shared_ptr<ResponseBase>) override {}
  std::int32_t CountPlayableBundles() override { return 1; }
  bool IsHeaderBidding() override { return true; }
  void NotifyLoadResult(const std::string&, AdLoadHandler, AdLoadHandler, const std::string&) override {}
};

class ForeignPlacements : public IPlacementsController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  bool LoadAd(const std::string&, AdLoadHandler, AdLoadHandler) override { return true; }
  KestrelAdPlayInfo PlayAd(const std::string&, const AdConfig&, KestrelAdPlayInfo info, const std::string&) override {
    return info;
  }
  void AddPlacement(const PlacementRecord&) override {}
  IPlacementController* FindPlacement(const std::string& name) override { return name == "hb" ? &placement : nullptr; }
  void NotifyLoadResult(const std::string&, AdLoadHandler, AdLoadHandler, const std::string&) override {}

  ForeignPlacement placement;
};

TEST(MediationPlayGuardTest, APlacementOfAnotherKindIsRefused) {
  ControllerRegistry::Clear();
  ControllerRegistry::SetPlacementsController(std::make_shared<ForeignPlacements>());
  test::LogCapture log;
  std::vector<AdPlayEventArgs> failures;
  AdPlayCallback callback;
  callback.OnAdPlayFailure = [&](AdPlayEventArgs args) { failures.push_back(args); };
  KestrelAds ads;
  const KestrelAdPlayInfo info = ads.PlayMediatedAd(AdConfig{}, "hb", callback, R"({"version":2})");
  ControllerRegistry::Clear();

  const std::string message = "Placement found but cannot cast to concrete PlacementController.";
  EXPECT_FALSE(info.Success);
  EXPECT_EQ(info.Message, message);
  EXPECT_TRUE(log.Has(message, LogLevel::Error));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].PlacementId, "hb");
  EXPECT_EQ(failures[0].Message, message);
}

}  // namespace
}  // namespace kestrel
