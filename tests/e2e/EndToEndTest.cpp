// The SDK's paths through its public interface against the local ad server:
// initialisation, loads, header bidding and the privacy choices in the requests.

#include "support/TestPrelude.h"

#include "ads/Clock.h"
#include "config/IEndpointController.h"
#include "server/IRequestController.h"
#include "privacy/IGdprController.h"
#include "base/IInitializationController.h"
#include "support/SdkFixture.h"
#include "ads/IPlacementController.h"
#include "ads/IPlacementsController.h"
#include "Base64.h"
#include "Gzip.h"

namespace kestrel {
namespace {

using Json = nlohmann::json;
using R = ControllerRegistry;

// A /config answer with the given members replaced (null removes a member).
std::string ConfigWith(const Json& patch) {
  Json doc = {{"placements", {{{"reference_id", "first"}, {"is_incentivized", true}}, {{"reference_id", "second"}}}},
              {"endpoints", {{"ads", "{{BASE_URL}}/ads"}}},
              {"template", {{"heartbeat_check_enabled", false}}},
              {"config_extension", "ext-from-config"}};
  if (!patch.is_null()) doc.merge_patch(patch);
  return doc.dump();
}

adserver::Fault ConfigBody(std::string body) {
  return adserver::Fault::Body(adserver::FaultRoute::Config, std::move(body));
}

// Records the play callbacks by name.
struct PlayRecorder {
  std::mutex mutex;
  std::vector<std::pair<std::string, AdPlayEventArgs>> events;

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

class EndToEndTest : public test::SdkFixture {
 protected:
  // The body of the newest request under path.
  Json LastBody(const std::string& path) {
    const auto requests = server->Requests(path);
    return requests.empty() ? Json() : Json::parse(requests.back().body, nullptr, false);
  }
  // Sends a fresh /config request and returns its body as the server received it.
  Json ConfigRequest() {
    const std::size_t before = server->Requests("/config").size();
    R::GetRequestController()->RequestConfig().get();
    EXPECT_TRUE(server->WaitForRequests("/config", before + 1));
    return LastBody("/config");
  }
  bool LoadMediatedAndWait(const std::string& placement, const std::string& markup) {
    const std::size_t before = Callbacks();
    return ads->LoadMediatedAd(placement, AdLoadCallback{success.Handler(), failure.Handler()}, markup) &&
           WaitUntil([&] { return Callbacks() > before; });
  }
};

TEST_F(EndToEndTest, InitializationReportsOnceWhatTheServerAnswered) {
  adserver::LocalAdServer dead;  // a port where nothing listens any more
  dead.Start();
  const std::string deadUrl = dead.BaseUrl();
  dead.Stop();
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string baseUrl;
    bool withSuccess;
    std::string failure;  // the start of the one failure; empty for a success
  };
  const std::vector<Case> cases = {
      {"the fixture", [] {}, "", true, ""},
      {"connection refused", [] {}, deadUrl, true, "HttpSendRequestW failed. Error: "},
      {"no template", [&] { server->SetFault(ConfigBody(ConfigWith({{"template", nullptr}}))); }, "", true,
       "key 'template' not found"},
      {"no endpoints", [&] { server->SetFault(ConfigBody(ConfigWith({{"endpoints", nullptr}}))); }, "", true,
       "key 'endpoints' not found"},
      {"no success callback", [] {}, "", false, "onInitCompleted payload is null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SdkState::Reset();
    server->ClearFaults();
    c.arrange();
    const InitOutcome outcome = Initialize(c.baseUrl, {}, c.withSuccess);
    EXPECT_NE(outcome.instance, nullptr);
    if (!c.failure.empty()) {
      EXPECT_TRUE(outcome.successes.empty());
      ASSERT_EQ(outcome.failures.size(), 1u);
      EXPECT_EQ(outcome.failures[0].rfind(c.failure, 0), 0u) << outcome.failures[0];
      continue;
    }
    ASSERT_EQ(outcome.successes.size(), 1u) << (outcome.failures.empty() ? "" : outcome.failures[0]);
    EXPECT_TRUE(outcome.failures.empty());
    const auto& placements = outcome.successes[0].Placements;
    ASSERT_EQ(placements.size(), 3u);
    EXPECT_EQ(placements[0].ReferenceId, "rewarded_video");
    EXPECT_TRUE(placements[0].IsIncentivized);
    EXPECT_TRUE(placements[2].HeaderBidding);
    EXPECT_EQ(R::GetEndpointController()->GetAdsUrl(), server->BaseUrl() + "/ads");
  }
}

// What the server receives: the standard headers once each, and a compact body in key order.
TEST_F(EndToEndTest, TheConfigurationRequestAsTheServerReceivedIt) {
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
  ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
  const auto requests = server->Requests("/config");
  ASSERT_EQ(requests.size(), 1u);
  const auto& request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.Header("User-Agent"), "TovaneWindows/7.0.1 (Windows 10; native)");
  EXPECT_EQ(request.Header("Tovane-Version"), "5.10.0");
  EXPECT_EQ(request.Header("X-Kestrel-Win-Platform"), "Win32");
  EXPECT_EQ(request.Header("Content-Type"), "application/json");
  EXPECT_FALSE(request.Header("Accept-Language").empty());
  for (const char* name : {"User-Agent", "Accept-Language"}) {
    EXPECT_EQ(std::count_if(request.headers.begin(), request.headers.end(),
                            [&](const auto& header) { return header.first == name; }),
              1)
        << name;
  }
  const Json body = Json::parse(request.body);
  EXPECT_EQ(request.body, body.dump());  // compact, members in key order at every level
  for (const char* section : {"app", "device", "user"}) EXPECT_TRUE(body.contains(section)) << section;
  EXPECT_EQ(body["user"]["ccpa"]["status"], "opted_out");
}

TEST_F(EndToEndTest, ConcurrentInitializationsWireOnceAndALaterConfigurationIsIgnored) {
  server->SetFault(ConfigBody(ConfigWith(nullptr)));
  LogCapture log;
  std::atomic<int> successes{0};
  KestrelSdkConfig config;
  config.ConfigBaseUrl = server->BaseUrl();
  InitializationCallback callback{[&](InitializationSuccessEventArgs) { ++successes; }, nullptr};
  std::vector<std::future<KestrelAds*>> futures;
  for (int i = 0; i < 6; ++i) futures.push_back(KestrelAds::InitializeAsync("app", config, nullptr, callback));
  std::vector<KestrelAds*> instances;
  for (auto& f : futures) instances.push_back(f.get());
  ASSERT_NE(instances[0], nullptr);
  for (auto* instance : instances) EXPECT_EQ(instance, instances[0]);
  EXPECT_EQ(successes, 6);
  EXPECT_EQ(log.CountStartingWith("Kestrel SDK Version "), 1);
  EXPECT_EQ(server->Requests("/config").size(), 1u);

  // The extension the answer carried travels in the next request; that answer changes nothing.
  EXPECT_EQ(R::GetInitializationController()->GetExtJson()["ext"]["config_extension"], "ext-from-config");
  server->SetFault(ConfigBody(ConfigWith({{"placements", {{{"reference_id", "late"}}}}})));
  EXPECT_EQ(ConfigRequest()["ext"]["config_extension"], "ext-from-config");
  EXPECT_EQ(R::GetPlacementsController()->FindPlacement("late"), nullptr);
  EXPECT_NE(R::GetPlacementsController()->FindPlacement("first"), nullptr);
  EXPECT_EQ(successes, 6);
}

TEST_F(EndToEndTest, ASuccessCallbackThatThrowsIsReportedAsAFailure) {
  KestrelSdkConfig config;
  config.ConfigBaseUrl = server->BaseUrl();
  std::vector<std::string> failures;  // the callbacks have run when the future is ready
  InitializationCallback callback{[](InitializationSuccessEventArgs) { throw std::runtime_error("publisher bug"); },
                                  [&](InitializationFailureEventArgs args) { failures.push_back(args.Message); }};
  EXPECT_NE(KestrelAds::InitializeAsync("app", config, nullptr, callback).get(), nullptr);
  EXPECT_EQ(failures, std::vector<std::string>{"publisher bug"});
}

TEST_F(EndToEndTest, ALoadUnpacksOneAdAndASleepAnswerHoldsThePlacementForThirtySeconds) {
  ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
  LogCapture log;
  ASSERT_TRUE(LoadAndWait("rewarded_video"));
  ASSERT_EQ(success.Events().size(), 1u) << failure.Events().at(0).Message;
  EXPECT_EQ(success.Events()[0].Count, 1);
  for (const char* file : {"index.html", "images/kestrel.png", "main.png"}) {
    EXPECT_TRUE(fs::is_regular_file(BundleFolder("rewarded_video") / file)) << file;
  }
  EXPECT_TRUE(ads->IsAdPlayable("rewarded_video"));
  EXPECT_FALSE(ads->IsAdPlayable("interstitial"));
  ASSERT_TRUE(LoadAndWait("rewarded_video"));  // already loaded: no second request
  EXPECT_EQ(success.Events().size(), 2u);
  EXPECT_EQ(server->Requests("/ads").size(), 1u);

  const std::int64_t start = Clock::NowTicks();
  Clock::Set(start);
  server->SetFault("ads=sleep");
  struct Step {
    int second;
    std::string failure;  // empty for a success
    std::size_t adsRequests;
  };
  for (const Step& step : {Step{0, "placement is sleeping; Reason: Local ad server asked for a sleep", 2},
                           Step{29, "placement is sleeping", 2}, Step{30, "", 3}}) {
    SCOPED_TRACE(step.second);
    Clock::Set(start + step.second * Clock::kTicksPerSecond);
    const std::size_t failures = failure.Events().size();
    ASSERT_TRUE(LoadAndWait("interstitial"));
    server->ClearFaults();
    if (step.failure.empty()) {
      EXPECT_EQ(failure.Events().size(), failures);
      EXPECT_TRUE(ads->IsAdPlayable("interstitial"));
    } else {
      ASSERT_EQ(failure.Events().size(), failures + 1);
      EXPECT_EQ(failure.Events().back().Message, step.failure);
    }
    EXPECT_EQ(server->Requests("/ads").size(), step.adsRequests);
  }
  Clock::Reset();
}

TEST_F(EndToEndTest, RefusalsReachTheFailureCallbacks) {
  ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
  ASSERT_TRUE(LoadAndWait("no_such_placement"));
  ASSERT_EQ(failure.Events().size(), 1u);
  EXPECT_EQ(failure.Events()[0].Message, "There is no placement with the name no_such_placement.");
  // A bid in a version the SDK does not speak is refused before anything is fetched, and calls nothing.
  EXPECT_FALSE(ads->LoadMediatedAd("hb_banner", AdLoadCallback{success.Handler(), failure.Handler()},
                                   FetchMarkup("hb_banner", "&version=1")));
  EXPECT_EQ(failure.Events().size(), 1u);
  EXPECT_TRUE(server->Requests("/ads").empty());
  EXPECT_TRUE(server->Requests("/bundles/").empty());

  const std::string markup = FetchMarkup("hb_banner");
  struct Case {
    const char* placement;
    bool mediated;
    std::string message;
  };
  PlayRecorder played;
  for (const Case& c :
       {Case{"interstitial", false,
             "The ad could not be shown: no window to show the ad over: pass one to InitializeAsync or in AdConfig."},
        Case{"interstitial", true,
             "Use PlayAd instead of PlayMediatedAd for non-header bidding placements like interstitial"},
        Case{"nope", true, "Don't have a placement with that name: nope"}}) {
    SCOPED_TRACE(c.message);
    const KestrelAdPlayInfo info = c.mediated ? ads->PlayMediatedAd(AdConfig{}, c.placement, played.Callback(), markup)
                                              : ads->PlayAd(c.placement, played.Callback());
    EXPECT_FALSE(info.Success);
    EXPECT_EQ(info.Message, c.message);
    ASSERT_FALSE(played.Events().empty());
    EXPECT_EQ(played.Events().back().first, "failure");
    EXPECT_EQ(played.Events().back().second.Message, c.message);
  }
  EXPECT_EQ(played.Events().size(), 3u);

  // A publisher that loads again from inside the refused play's callback.
  AdPlayCallback reload;
  reload.OnAdPlayFailure = [&](AdPlayEventArgs) { StartLoad("interstitial"); };
  EXPECT_FALSE(ads->PlayAd("interstitial", reload).Success);
  EXPECT_TRUE(WaitUntil([&] { return success.Events().size() == 1; }));
  EXPECT_TRUE(ads->IsAdPlayable("interstitial"));
}

TEST_F(EndToEndTest, BidsLoadWithoutAnAdRequestAndAPlayThatCannotShowSpendsNothing) {
  ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
  for (int bid = 1; bid <= 2; ++bid) {
    SCOPED_TRACE(bid);
    ASSERT_TRUE(LoadMediatedAndWait("hb_banner", FetchMarkup("hb_banner")));
    ASSERT_EQ(success.Events().size(), static_cast<std::size_t>(bid));
    EXPECT_EQ(success.Events().back().Count, bid);
  }
  EXPECT_TRUE(fs::is_regular_file(BundleFolder("hb_banner") / "index.html"));
  EXPECT_TRUE(server->Requests("/ads").empty());

  // No window: the play fails and fires nothing; the bids stay loaded.
  PlayRecorder played;
  const KestrelAdPlayInfo info =
      ads->PlayMediatedAd(AdConfig{}, "hb_banner", played.Callback(), FetchMarkup("hb_banner"));
  EXPECT_FALSE(info.Success);
  ASSERT_EQ(played.Events().size(), 1u);
  EXPECT_EQ(played.Events()[0].first, "failure");
  EXPECT_TRUE(ads->IsAdPlayable("hb_banner"));
  EXPECT_EQ(R::GetPlacementsController()->FindPlacement("hb_banner")->CountPlayableBundles(), 2);
  EXPECT_TRUE(server->Requests("/hb/impression").empty());
}

TEST_F(EndToEndTest, TheSuperTokenCarriesTheChoicesOfTheMoment) {
  ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
  const auto decode = [](const std::string& token) {
    EXPECT_EQ(token.rfind("4:", 0), 0u);
    return Json::parse(adserver::GzipDecompress(adserver::Base64Decode(token.substr(2))));
  };
  for (const auto status : {CcpaConsentStatus::OptedOut, CcpaConsentStatus::OptedIn}) {
    KestrelAds::SetCcpaStatus(status);
    KestrelAds::SetCoppaStatus(status == CcpaConsentStatus::OptedOut);
    const Json token = decode(ads->GetMediationSuperToken("bidder"));
    EXPECT_EQ(token["user"]["ccpa"]["status"], status == CcpaConsentStatus::OptedOut ? "opted_out" : "opted_in");
    EXPECT_EQ(token["user"]["coppa"]["is_coppa"], status == CcpaConsentStatus::OptedOut ? "true" : "false");
    EXPECT_TRUE(token["user"].contains("gdpr"));
    EXPECT_TRUE(token["device"].is_object());
    EXPECT_EQ(token["ext"]["config_extension"], "kestrel-local-adserver");
    EXPECT_FALSE(token["request"]["sdk_user_agent"].get<std::string>().empty());
  }
}

TEST_F(EndToEndTest, RequestsCarryTheChoicesAndWithholdIdentifiersWhenARuleRestricts) {
  KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Accepted, "1.0.0");
  KestrelSdkConfig config;
  config.CcpaStatus = CcpaConsentStatus::OptedIn;
  config.CoppaStatus = false;
  ASSERT_NO_FATAL_FAILURE(InitializeOrFail(config));

  struct Step {
    const char* name;
    std::function<void()> choose;
    bool throughAnAdRequest;
    Json user;  // members the request's "user" holds
    bool withheld;
  };
  const std::vector<Step> steps = {
      {"nothing restricts", [] {}, false,
       {{"ccpa", {{"status", "opted_in"}}},
        {"gdpr", {{"consent_status", "opted_in"}, {"consent_source", "publisher"}, {"consent_message_version", "1.0.0"}}}},
       false},
      {"CCPA opt-out", [] { KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut); }, true,
       {{"ccpa", {{"status", "opted_out"}}}}, true},
      {"COPPA",
       [] {
         KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedIn);
         KestrelAds::SetCoppaStatus(true);
       },
       false, {{"ccpa", {{"status", "opted_in"}}}, {"coppa", {{"is_coppa", true}}}}, true},
      {"GDPR denied",
       [] {
         KestrelAds::SetCoppaStatus(false);
         KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Denied, "2.0.0");
       },
       false, {{"gdpr", {{"consent_status", "opted_out"}, {"consent_message_version", "2.0.0"}}}}, true},
      {"the server's ad-id opt-out",
       [&] {
         KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Accepted, "2.0.0");
         SdkState::Reset();
         server->SetFault(ConfigBody(ConfigWith({{"disable_ad_id", true}})));
         ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
       },
       false, {{"gdpr", {{"consent_status", "opted_in"}}}}, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.choose();
    Json body;
    if (step.throughAnAdRequest) {
      ASSERT_TRUE(LoadAndWait("interstitial"));
      body = LastBody("/ads");
    } else {
      body = ConfigRequest();
    }
    ASSERT_TRUE(body.is_object());
    for (const auto& [section, members] : step.user.items()) {
      for (const auto& [key, value] : members.items()) {
        EXPECT_EQ(body["user"][section][key], value) << section << "." << key << " in " << body["user"].dump();
      }
    }
    const Json& windows = body["device"]["ext"]["tovane"]["windows"];
    const Json ids = {body["device"]["ifa"], windows["msaid"], windows["ashwid"]};
    if (step.withheld) {
      EXPECT_EQ(ids, Json({"", "", ""}));
    } else {
      EXPECT_NE(windows["ashwid"], "") << ids.dump();
    }
  }
}

// The watch a consent dialog arms outlives the process: the next start that finds it unanswered denies consent.
TEST_F(EndToEndTest, AConsentDialogLeftUnansweredIsDeniedAtTheNextStart) {
  server->SetFault(
      ConfigBody(ConfigWith({{"gdpr", {{"is_country_data_protected", true}, {"consent_message_version", "v5"}}}})));
  ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
  R::GetGdprController()->StartConsentTimeoutWatch();
  SdkState::Reset();  // the process ends with the dialog unanswered
  EXPECT_EQ(KestrelAds::GetGdprConsentStatus(), GdprConsentStatus::Accepted);  // still unknown

  ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
  EXPECT_EQ(KestrelAds::GetGdprConsentStatus(), GdprConsentStatus::Denied);
  EXPECT_EQ(KestrelAds::GetGdprConsentMessageVersion(), "v5");
  const Json consent = R::GetGdprController()->GetGdprJson()["user"]["gdpr"];
  EXPECT_EQ(consent["consent_status"], "opted_out_by_timeout");
  EXPECT_EQ(consent["consent_source"], "tovane_modal");
}

}  // namespace
}  // namespace kestrel
