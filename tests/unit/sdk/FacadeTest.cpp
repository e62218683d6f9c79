// The public interface before initialisation, and its error policy.

#include "support/TestPrelude.h"

#include "kestrel/KestrelAds.h"
#include "sdk/SdkState.h"

namespace kestrel {
namespace {

class FacadeTest : public ::testing::Test {
 protected:
  void SetUp() override { SdkState::Reset(); }
  void TearDown() override {
    SdkState::Reset();
    SdkState::SetFactoryMaker(nullptr);
  }
  test::ScopedDataHome dataHome;
};

TEST_F(FacadeTest, AdOperationsBeforeInitializationRefuseThroughTheirCallbacks) {
  LogCapture log;
  KestrelAds ads;
  const std::string notInitialized = "Can't load placement if placements aren't initialized yet!";
  int loadCallbacks = 0;
  AdLoadCallback load{[&](AdLoadEventArgs) { ++loadCallbacks; }, [&](AdLoadEventArgs) { ++loadCallbacks; }};
  EXPECT_FALSE(ads.LoadAd("p", load));
  EXPECT_FALSE(ads.LoadMediatedAd("p", load, "{}"));
  EXPECT_EQ(loadCallbacks, 0);
  EXPECT_FALSE(ads.IsAdPlayable("p"));
  EXPECT_EQ(ads.GetMediationSuperToken("x"), "");

  std::vector<AdPlayEventArgs> failures;
  AdPlayCallback callback;
  callback.OnAdPlayFailure = [&](AdPlayEventArgs args) { failures.push_back(args); };
  for (const KestrelAdPlayInfo& info : {ads.PlayAd("rewarded", callback), ads.PlayMediatedAd({}, "rewarded", callback, "{}"),
                                        ads.PlayAd("rewarded", AdPlayCallback{})}) {
    EXPECT_FALSE(info.Success);
    EXPECT_EQ(info.PlacementId, "rewarded");
    EXPECT_EQ(info.Message, notInitialized);
  }
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].Message, notInitialized);
  EXPECT_EQ(log.Count(notInitialized, LogLevel::Error), 3);
  EXPECT_EQ(log.Count("Can't load an ad before InitializeAsync has been called.", LogLevel::Error), 1);
}

TEST_F(FacadeTest, AFailureInsideInitializationYieldsNullAndIsLogged) {
  SdkState::SetFactoryMaker(
      []() -> std::shared_ptr<ITovaneSdkAbstractFactory> { throw std::runtime_error("factory unavailable"); });
  LogCapture log;
  KestrelSdkConfig config;
  config.ConfigBaseUrl = "http://127.0.0.1:9";
  EXPECT_EQ(KestrelAds::InitializeAsync("app", config, nullptr, {}).get(), nullptr);
  EXPECT_TRUE(log.Has("factory unavailable", LogLevel::Error));
}

}  // namespace
}  // namespace kestrel
