// What a publisher's program may rely on, whatever the ad server does: a load
// returns before the server answers, ends in exactly one callback that says
// why, and a callback may call the SDK again.

#include "support/TestPrelude.h"

#include "base/CallbackDispatcher.h"
#include "support/SdkFixture.h"

namespace kestrel {
namespace {

// How long the server holds an answer back unless the test releases it: far beyond any deadline here.
const std::string kHold = "delay_ms=60000";

class ContractTest : public test::SdkFixture {
 protected:
  // Every callback posted before this call has run when it returns.
  static void DrainCallbacks() {
    std::atomic<bool> drained{false};
    CallbackDispatcher::Post([&] { drained = true; });
    ASSERT_TRUE(WaitUntil([&] { return drained.load(); }));
  }
  // Exactly one callback since `before`, with the flag and a message that starts with `message`.
  void ExpectOneCallback(std::size_t before, bool succeeded, const std::string& message) {
    ASSERT_TRUE(WaitUntil([&] { return Callbacks() > before; })) << "no callback";
    DrainCallbacks();
    ASSERT_EQ(Callbacks(), before + 1);
    const auto& events = succeeded ? success.Events() : failure.Events();
    ASSERT_FALSE(events.empty()) << (succeeded ? failure.Events().back().Message : "a success");
    EXPECT_EQ(events.back().Message.rfind(message, 0), 0u) << events.back().Message;
  }
};

// Server behaviours: the answer is held until LoadAd has returned, then released.
TEST_F(ContractTest, EveryLoadReturnsFirstAndEndsInOneCallbackThatSaysWhy) {
  const struct {
    std::string fault;
    bool succeeds;
    std::string message;
  } rows[] = {
      {"ads=delay", true, ""},
      {"ads=status:500", false, "The /ads request for interstitial failed: HTTP status 500"},
      {"ads=close", false, "The /ads request for interstitial failed: InternetReadFile failed"},
      {"ads=body:{\"ads\":null}", false, "The ad of interstitial could not be used: "},
      {"ads=wrongtypes", false, "The ad of interstitial is of type"},
      {"bundle=status:404", false, "Didn't get ad part - got HTTP status 404"},
      {"ads=sleep", false, "placement is sleeping; Reason: Local ad server asked for a sleep"},
  };
  PlatformServices::SetHttpClient(CreateHttpClient({std::chrono::seconds(10), std::chrono::seconds(30)}));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    ASSERT_NO_FATAL_FAILURE(FreshSdk());
    server->SetFault(row.fault + "," + kHold);
    const std::size_t before = Callbacks();
    ASSERT_TRUE(StartLoad("interstitial"));
    ASSERT_TRUE(server->WaitForRequests(row.fault.starts_with("ads") ? "/ads" : "/bundles/", 1));
    EXPECT_EQ(Callbacks(), before);  // the server has not answered yet
    server->ReleaseDelays();
    ASSERT_NO_FATAL_FAILURE(ExpectOneCallback(before, row.succeeds, row.message));
    EXPECT_EQ(ads->IsAdPlayable("interstitial"), row.succeeds);
  }
}

TEST_F(ContractTest, AStalledLoadTimesOutAndItsLateAnswerIsIgnored) {
  KestrelSdkConfig config;
  config.LoadTimeout = std::chrono::milliseconds(1500);
  ASSERT_EQ(Initialize({}, config).successes.size(), 1u);
  ads = SdkState::Instance();
  server->SetFault("ads=delay," + kHold);
  const std::size_t before = Callbacks();
  ASSERT_TRUE(StartLoad("interstitial"));
  ASSERT_NO_FATAL_FAILURE(ExpectOneCallback(before, false, "The load of interstitial timed out after 1.5 s."));
  server->ReleaseDelays();  // the answer comes now, too late
  ASSERT_TRUE(WaitUntil([&] { return server->Requests("/ads").back().status == 200; }));
  DrainCallbacks();
  EXPECT_EQ(Callbacks(), before + 1);
  EXPECT_FALSE(ads->IsAdPlayable("interstitial"));
  ExpectLoadAfterRecovery("interstitial");
}

// Publisher behaviours: calls from callbacks, calls at once, a start while the server is away.
TEST_F(ContractTest, CallbacksMayCallTheSdkAndCallsNeverWaitForEachOther) {
  PlatformServices::SetHttpClient(CreateHttpClient({std::chrono::seconds(10), std::chrono::seconds(30)}));
  ASSERT_NO_FATAL_FAILURE(InitializeOrFail());

  // Two loads of one placement while its answer is held: one request, both told.
  server->SetFault("ads=delay,count=1," + kHold);  // the first /ads answer only
  std::size_t before = Callbacks();
  ASSERT_TRUE(StartLoad("interstitial"));
  ASSERT_TRUE(StartLoad("interstitial"));
  ASSERT_TRUE(server->WaitForRequests("/ads", 1));
  // Meanwhile another placement loads and a play returns at once.
  ASSERT_TRUE(LoadAndWait("rewarded_video"));
  EXPECT_FALSE(ads->PlayAd("interstitial", {}).Success);
  EXPECT_EQ(success.Events().size(), 1u);
  server->ReleaseDelays();
  ASSERT_TRUE(WaitUntil([&] { return Callbacks() == before + 3; }));
  EXPECT_EQ(success.Events().size(), 3u);
  EXPECT_EQ(server->Requests("/ads").size(), 2u);

  // A load from a load's failure callback, and from that load's own callback (the placement is
  // loaded: the answers come at once); an initialisation from an initialisation callback.
  std::atomic<bool> reloaded{false}, reinitialized{false};
  AdLoadCallback again;
  again.OnAdLoadFailure = [&](AdLoadEventArgs) {
    ads->LoadAd("interstitial", {[&](AdLoadEventArgs) {
                                   ads->LoadAd("interstitial", {[&](AdLoadEventArgs) { reloaded = true; }, {}});
                                 },
                                 {}});
  };
  ASSERT_TRUE(ads->LoadAd("no_such_placement", again));
  EXPECT_TRUE(WaitUntil([&] { return reloaded.load(); }));
  KestrelSdkConfig config;
  config.ConfigBaseUrl = server->BaseUrl();
  InitializationCallback init;
  init.OnInitializationSuccess = [&](InitializationSuccessEventArgs) {
    KestrelAds::InitializeAsync("e2e-app", config, nullptr,
                                {[&](InitializationSuccessEventArgs) { reinitialized = true; }, {}});
  };
  KestrelAds::InitializeAsync("e2e-app", config, nullptr, init);
  EXPECT_TRUE(WaitUntil([&] { return reinitialized.load(); }));
}

TEST_F(ContractTest, AnOfflineStartRecoversWhenInitializedAgain) {
  adserver::LocalAdServer dead;  // a port where nothing listens any more
  dead.Start();
  const std::string deadUrl = dead.BaseUrl();
  dead.Stop();
  InitOutcome offline = Initialize(deadUrl);
  ASSERT_EQ(offline.failures.size(), 1u);
  ads = offline.instance;
  ASSERT_NE(ads, nullptr);
  const std::size_t before = Callbacks();
  ASSERT_TRUE(StartLoad("interstitial"));
  ASSERT_NO_FATAL_FAILURE(ExpectOneCallback(before, false, "The SDK is not configured: its configuration failed ("));

  InitOutcome online = Initialize();
  ASSERT_EQ(online.successes.size(), 1u) << (online.failures.empty() ? "" : online.failures[0]);
  EXPECT_FALSE(online.successes[0].Placements.empty());
  ExpectLoadAfterRecovery("interstitial");
}

}  // namespace
}  // namespace kestrel
