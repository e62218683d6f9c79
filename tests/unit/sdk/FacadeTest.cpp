#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kestrel/KestrelAds.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "support/LogCapture.h"
#include "support/RecordingFactory.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

using test::LogCapture;

class FacadeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SdkState::Reset();
    SdkState::SetFactoryMaker([journal = journal] { return std::make_shared<test::RecordingFactory>(journal); });
  }
  void TearDown() override {
    SdkState::Reset();
    SdkState::SetFactoryMaker(nullptr);
  }

  test::ScopedDataHome dataHome;
  std::shared_ptr<test::Journal> journal = std::make_shared<test::Journal>();
};

TEST_F(FacadeTest, AdOperationsRefuseBeforeInitialization) {
  LogCapture log;
  KestrelAds ads;
  const std::string notInitialized = "Can't load placement if placements aren't initialized yet!";

  std::atomic<int> loadCallbacks{0};
  AdLoadCallback load{[&](AdLoadEventArgs) { ++loadCallbacks; }, [&](AdLoadEventArgs) { ++loadCallbacks; }};
  EXPECT_FALSE(ads.LoadAd("p", load));
  EXPECT_EQ(log.Count(notInitialized, LogLevel::Error), 1);
  EXPECT_EQ(loadCallbacks, 0);

  EXPECT_FALSE(ads.LoadMediatedAd("p", load, "{}"));
  EXPECT_TRUE(log.Has("LoadMediatedAd: MediationController is not initialized.", LogLevel::Error));

  log.Clear();
  EXPECT_FALSE(ads.IsAdPlayable("p"));
  EXPECT_TRUE(log.Events().empty());

  EXPECT_EQ(ads.GetMediationSuperToken("x"), "");
  EXPECT_TRUE(log.Has("Can't get supertoken if placements aren't initialized yet!", LogLevel::Error));
}

TEST_F(FacadeTest, PlayRefusalsReachTheFailureCallbackAndTheRecord) {
  LogCapture log;
  KestrelAds ads;
  std::vector<AdPlayEventArgs> failures;
  AdPlayCallback callback;
  callback.OnAdPlayFailure = [&](AdPlayEventArgs args) { failures.push_back(args); };
  const std::string notInitialized = "Can't load placement if placements aren't initialized yet!";

  KestrelAdPlayInfo info = ads.PlayAd("rewarded", callback);
  EXPECT_FALSE(info.Success);
  EXPECT_EQ(info.PlacementId, "rewarded");
  EXPECT_EQ(info.Message, notInitialized);
  EXPECT_TRUE(info.OnAdPlayFailure);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].PlacementId, "rewarded");
  EXPECT_EQ(failures[0].Message, notInitialized);
  EXPECT_EQ(failures[0].EventId, "");
  EXPECT_FALSE(failures[0].Exception);

  AdConfig config;
  config.IncentivizedTitleText = "t";
  info = ads.PlayAd("rewarded", callback, config);
  EXPECT_FALSE(info.Success);

  info = ads.PlayMediatedAd(config, "hb", callback, "{}");
  EXPECT_FALSE(info.Success);
  EXPECT_EQ(info.Message, notInitialized);
  EXPECT_EQ(failures.size(), 3u);
  EXPECT_EQ(log.Count(notInitialized, LogLevel::Error), 3);

  // Without a failure callback the refusal is still returned and logged.
  info = ads.PlayAd("rewarded", AdPlayCallback{});
  EXPECT_FALSE(info.Success);
  EXPECT_EQ(log.Count(notInitialized, LogLevel::Error), 4);
}

TEST_F(FacadeTest, PrivacyOperationsWithoutControllersOrPreinitSettingsLogAndReturnDefaults) {
  SdkState::DropPreinit();
  LogCapture log;
  EXPECT_EQ(KestrelAds::GetGdprConsentStatus(), GdprConsentStatus::Accepted);
  KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Denied, "v1");
  KestrelAds::ResetGdprConsentStatusToUnknown();
  EXPECT_EQ(KestrelAds::GetGdprConsentMessageVersion(), "");
  EXPECT_EQ(KestrelAds::GetCcpaStatus(), CcpaConsentStatus::OptedIn);
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
  EXPECT_FALSE(KestrelAds::GetCoppaStatus());
  KestrelAds::SetCoppaStatus(true);
  EXPECT_FALSE(KestrelAds::GetDisableASHWID());
  KestrelAds::SetDisableAshwidTracking(true);

  const std::vector<std::string> expected = {"GetGdprConsentStatus: m_preinitSettings is null.",
                                             "SetGdprConsentStatus: m_preinitSettings is null.",
                                             "GetGdprConsentMessageVersion: m_preinitSettings is null.",
                                             "GetCcpaStatus: m_preinitSettings is null.",
                                             "SetCcpaStatus: m_preinitSettings is null.",
                                             "GetCoppaStatus: m_preinitSettings is null.",
                                             "SetCoppaStatus: m_preinitSettings is null.",
                                             "GetDisableASHWID: m_preinitSettings is null.",
                                             "SetDisableAshwidTracking: m_preinitSettings is null."};
  EXPECT_EQ(log.Messages(), expected);
  for (const auto& e : log.Events()) EXPECT_EQ(e.Level, LogLevel::Error);
}

TEST_F(FacadeTest, InitializationWiresInitializesAndYieldsTheInstance) {
  LogCapture log;
  std::atomic<int> successes{0};
  InitializationCallback callback{[&](InitializationSuccessEventArgs) { ++successes; }, nullptr};
  KestrelAds* instance = KestrelAds::InitializeAsync("app", nullptr, callback).get();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(successes, 1);  // the callback ran before the future became ready
  EXPECT_EQ(log.Count("Initializing Win32", LogLevel::Info), 1);
  EXPECT_EQ(log.CountStartingWith("Kestrel SDK Version "), 1);
  EXPECT_EQ(journal->Created().size(), 17u);
  EXPECT_EQ(journal->Initialized().size(), 15u);
  EXPECT_EQ(journal->Calls(), std::vector<std::string>{"InitializeWithCallbacks"});
  EXPECT_NE(ControllerRegistry::GetPlacementsController(), nullptr);

  // Ad operations now reach the controllers instead of refusing.
  log.Clear();
  KestrelAds ads;
  ads.LoadAd("p", {});
  EXPECT_EQ(log.Count("Can't load placement if placements aren't initialized yet!"), 0);
}

TEST_F(FacadeTest, SecondInitializationReportsSuccessAgainWithoutWiring) {
  KestrelAds* first = KestrelAds::InitializeAsync("app", nullptr, {}).get();
  ASSERT_NE(first, nullptr);

  LogCapture log;
  std::atomic<int> successes{0};
  KestrelSdkConfig config;
  config.CoppaStatus = true;
  KestrelAds* second =
      KestrelAds::InitializeAsync("other", config, nullptr, {[&](InitializationSuccessEventArgs) { ++successes; }, {}})
          .get();
  EXPECT_EQ(second, first);
  EXPECT_EQ(successes, 1);
  EXPECT_TRUE(log.Has("SDK has already been initialized!", LogLevel::Error));
  EXPECT_EQ(log.CountStartingWith("Kestrel SDK Version "), 0);
  EXPECT_EQ(journal->Created().size(), 17u);

  // A repeated initialisation without a success callback still yields the instance.
  EXPECT_EQ(KestrelAds::InitializeAsync("app", nullptr, {}).get(), first);
}

TEST_F(FacadeTest, InitializeControllersFailureDoesNotStopInitialization) {
  journal->throwOnInitialize = "Database";
  LogCapture log;
  KestrelAds* instance = KestrelAds::InitializeAsync("app", nullptr, {}).get();
  EXPECT_NE(instance, nullptr);
  EXPECT_TRUE(log.Has("Database failed to initialize", LogLevel::Error));
  EXPECT_EQ(journal->Initialized().back(), "Database");
  EXPECT_EQ(journal->Calls(), std::vector<std::string>{"InitializeWithCallbacks"});
}

TEST_F(FacadeTest, ConcurrentInitializationsWireOnce) {
  LogCapture log;
  std::atomic<int> successes{0};
  InitializationCallback callback{[&](InitializationSuccessEventArgs) { ++successes; }, nullptr};
  std::vector<std::future<KestrelAds*>> futures;
  for (int i = 0; i < 6; ++i) futures.push_back(KestrelAds::InitializeAsync("app", nullptr, callback));
  std::vector<KestrelAds*> instances;
  for (auto& f : futures) instances.push_back(f.get());
  ASSERT_NE(instances[0], nullptr);
  for (auto* instance : instances) EXPECT_EQ(instance, instances[0]);
  EXPECT_EQ(successes, 6);
  EXPECT_EQ(log.CountStartingWith("Kestrel SDK Version "), 1);
  EXPECT_EQ(log.Count("SDK has already been initialized!"), 5);
  EXPECT_EQ(journal->Created().size(), 17u);
}

TEST_F(FacadeTest, WorkerExceptionYieldsNullAndIsLogged) {
  SdkState::SetFactoryMaker(
      []() -> std::shared_ptr<ITovaneSdkAbstractFactory> { throw std::runtime_error("factory unavailable"); });
  LogCapture log;
  EXPECT_EQ(KestrelAds::InitializeAsync("app", nullptr, {}).get(), nullptr);
  EXPECT_TRUE(log.Has("factory unavailable", LogLevel::Error));
}

}  // namespace
}  // namespace kestrel
