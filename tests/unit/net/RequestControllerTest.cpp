#include <gmock/gmock.h>
#include "support/TestPrelude.h"

#include <nlohmann/json.hpp>

#include "NetTest.h"
#include "config/PersistentSettingsController.h"
#include "server/ITpatController.h"
#include "server/RequestBodies.h"
#include "net/RequestHeaders.h"
#include "net/TpatRequest.h"
#include "platform/Backend.h"
#include "privacy/CcpaController.h"
#include "privacy/CoppaController.h"
#include "net/ServerRequests.h"

namespace kestrel::test {
namespace {

using ::testing::HasSubstr;

class FakeTpat : public ITpatController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  void SendTpat(std::shared_ptr<TpatsModel>, const std::unordered_map<std::string, std::string>&) override {}
  std::string ReplaceMacros(const std::string& url) override { return url; }
  // Each "%timestamp%" becomes the milliseconds since 1970 of `at`.
  std::string ReplaceMacrosAt(const std::string& url, std::chrono::system_clock::time_point at) override {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
    std::string result = url;
    for (auto found = result.find("%timestamp%"); found != std::string::npos; found = result.find("%timestamp%")) {
      result.replace(found, 11, std::to_string(ms));
    }
    return result;
  }
};

class RequestControllerTest : public NetTest {
 protected:
};

TEST_F(RequestControllerTest, MissingEndpointsGiveAFailedResponse) {
  ControllerRegistry::SetEndpointController(nullptr);
  m_controller->RequestConfig().get();
  m_controller->RequestAd("interstitial", true);
  ASSERT_TRUE(WaitUntil([&] { return m_responses.Size() == 2; }));
  const auto responses = m_responses.All();
  ASSERT_EQ(responses.size(), 2u);
  for (const auto& response : responses) {
    EXPECT_EQ(response->m_status, ResponseBase::kFailed);
    EXPECT_EQ(response->m_text, "InternetCrackUrlW failed for: ");
  }
  EXPECT_TRUE(m_server.Requests().empty());
}

TEST_F(RequestControllerTest, ListenersRunInOrderAndOneThrowingStopsNoOther) {
  LogCapture log;
  std::mutex mutex;
  std::vector<std::string> calls;
  const auto record = [&](const std::string& name) {
    return [&, name](std::shared_ptr<ResponseBase>) {
      std::lock_guard lock(mutex);
      calls.push_back(name);
    };
  };
  const auto a = m_controller->AddResponseListener(record("a"));
  const auto b = m_controller->AddResponseListener(
      [](std::shared_ptr<ResponseBase>) { throw std::runtime_error("listener failed"); });
  const auto c = m_controller->AddResponseListener(record("c"));
  EXPECT_EQ(std::vector<std::int32_t>({a, b, c}), std::vector<std::int32_t>({1, 2, 3}));  // 0 is the fixture's
  m_controller->RemoveResponseListener(42);  // never handed out: nothing changes

  m_controller->SendTrackingUrl(Url("/tpat/first")).get();
  EXPECT_EQ(calls, (std::vector<std::string>{"a", "c"}));
  EXPECT_TRUE(log.Has("listener failed", LogLevel::Error));
  EXPECT_EQ(m_responses.Size(), 1u);

  m_controller->RemoveResponseListener(a);
  m_controller->SendTrackingUrl(Url("/tpat/second")).get();
  EXPECT_EQ(calls, (std::vector<std::string>{"a", "c", "c"}));
  EXPECT_EQ(m_controller->AddResponseListener(record("d")), 4);
}

TEST_F(RequestControllerTest, TrackingUrlGetsTheTimestampOfTheGivenTimeWithMillisecondsOnce) {
  std::tm local = {};
  local.tm_year = 101, local.tm_mon = 1, local.tm_mday = 3, local.tm_hour = 4, local.tm_min = 5, local.tm_sec = 6;
  local.tm_isdst = -1;
  const auto at = std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(78);
  std::atomic<int> answered{0};
  m_controller->SendTrackingUrl(Url("/tpat/click?t=%timestamp%&again=%timestamp%"), at, [&] { ++answered; }).get();
  ControllerRegistry::SetTpatController(std::make_shared<FakeTpat>());
  m_controller->SendTrackingUrl(Url("/tpat/view?t=%timestamp%&again=%timestamp%"), at).get();

  const auto click = m_server.Requests("/tpat/click");
  ASSERT_EQ(click.size(), 1u);
  EXPECT_EQ(click[0].Param("t"), "2001020304050678");
  EXPECT_EQ(answered, 1);
  EXPECT_EQ(click[0].Param("again"), "%timestamp%");  // without a TPAT controller nothing else replaces it
  EXPECT_EQ(click[0].method, "GET");
  EXPECT_EQ(click[0].Header("User-Agent"), "TovaneWindows/7.0.1 (Windows 10; native)");

  const auto view = m_server.Requests("/tpat/view");
  ASSERT_EQ(view.size(), 1u);
  EXPECT_EQ(view[0].Param("t"), "2001020304050678");
  // The TPAT controller's macro replacement ran after the first, with the same time.
  EXPECT_EQ(view[0].Param("again"), std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       at.time_since_epoch()).count()));

  ASSERT_EQ(m_responses.Size(), 2u);
  EXPECT_EQ(m_responses.All()[0]->m_request->m_name, "_sdk_config_sdk_tpat");
  EXPECT_EQ(m_responses.All()[0]->m_request->m_maxAttempts, 1);
}

// The registry may drop the controller (e.g. on a reset) while a hit is on its
// way; the task keeps the controller alive until the answer has been handled.
// The controller is owned as the factory hands it over: as its interface.
TEST_F(RequestControllerTest, TrackingHitOutlivesTheLastOwner) {
  std::shared_ptr<IRequestController> owned = RequestController::Share(std::make_unique<RequestController>());
  ResponseLog responses;
  owned->AddResponseListener([&responses](std::shared_ptr<ResponseBase> r) { responses.Add(std::move(r)); });
  ControllerRegistry::SetRequestController(owned);
  m_server.SetFault("tpat=delay,delay_ms=300");
  auto hit = owned->SendTrackingUrl(Url("/tpat/late"));
  ControllerRegistry::SetRequestController(nullptr);
  owned.reset();
  ASSERT_EQ(hit.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  hit.get();
  EXPECT_EQ(m_server.Requests("/tpat/late").size(), 1u);
  ASSERT_EQ(responses.Size(), 1u);
  EXPECT_EQ(responses.All()[0]->m_request->m_url, Url("/tpat/late"));
}

// Parts queued together go out at once, over connections that later exchanges reuse.
TEST_F(RequestControllerTest, QueuedPartsGoOutTogetherOverKeptAliveConnections) {
  m_server.SetFault("asset=delay:3000");
  ::testing::internal::CaptureStdout();
  for (const char* asset : {"/assets/icon.png", "/assets/main.png", "/assets/icon.png?v=3"}) {
    EXPECT_TRUE(m_controller->QueueAdPart("ev3", "part", "event-3", Url(asset), "together_1"));
  }
  auto pass = m_controller->ProcessPendingRequests();
  // One after the other, the second would only be asked for after the first's delay.
  const bool together = m_server.WaitForRequests("/assets/", 3, std::chrono::milliseconds(2000));
  pass.get();
  m_server.ClearFaults();
  for (const char* folder : {"later_1", "later_2"}) {
    EXPECT_TRUE(m_controller->DownloadAdPart("ev3", "part", "event-3", Url("/assets/icon.png"), folder));
  }
  EXPECT_TRUE(m_server.WaitForRequests("/assets/", 5));  // a download is queued, not waited for
  EXPECT_TRUE(WaitUntil([&] {
    const auto all = m_server.Requests("/assets/");
    return std::all_of(all.begin(), all.end(), [](const auto& r) { return r.status != 0; });
  }));
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(together);
  std::set<int> connections;
  for (const auto& request : m_server.Requests("/assets/")) connections.insert(request.clientPort);
  EXPECT_EQ(m_server.Requests("/assets/").size(), 5u);
  EXPECT_LE(connections.size(), 3u);
}

// A queued request is sent with the CCPA and COPPA choices of the moment it leaves, not of when it was made.
TEST_F(RequestControllerTest, AQueuedRequestCarriesThePrivacyChoicesOfItsSending) {
  test::TempDir settingsFolder;
  ControllerRegistry::SetPersistentSettingsController(
      std::make_shared<PersistentSettingsController>(settingsFolder.String()));
  auto ccpa = std::make_shared<CcpaController>();
  auto coppa = std::make_shared<CoppaController>();
  ControllerRegistry::SetCcpaController(ccpa);
  ControllerRegistry::SetCoppaController(coppa);
  auto request = std::make_shared<ServerRequests>();
  request->m_url = Url("/config");
  request->m_requestType = RequestBase::kJsonPost;
  request->m_body = ccpa->GetCcpaJson();  // opted in when made
  m_controller->Enqueue(request);
  ccpa->SetCcpaStatus(CcpaController::kOptedOut);
  coppa->SetCoppaStatus(true);
  EXPECT_TRUE(m_controller->ProcessPendingRequests().get());
  const auto recorded = m_server.Requests("/config");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].body, R"({"user":{"ccpa":{"status":"opted_out"},"coppa":{"is_coppa":true}}})");
}

TEST_F(RequestControllerTest, ConcurrentPassesNeverSendARequestTwice) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 60;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kPerThread; ++i) {
        auto request = std::make_shared<TpatRequest>();
        request->m_url = Url("/tpat/hammer?id=" + std::to_string(t * kPerThread + i));
        request->m_maxAttempts = 3;  // only the taken state keeps a second pass away
        m_controller->Enqueue(request);
        if (i % 4 == 0) m_controller->ProcessPendingRequests().get();
      }
      m_controller->ProcessPendingRequests().get();
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_TRUE(m_controller->ProcessPendingRequests().get());

  const auto recorded = m_server.Requests("/tpat/hammer");
  std::set<std::string> ids;
  for (const auto& r : recorded) ids.insert(r.Param("id"));
  EXPECT_EQ(recorded.size(), static_cast<std::size_t>(kThreads * kPerThread));
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kThreads * kPerThread));

  std::set<std::string> requestIds;
  for (const auto& response : m_responses.All()) requestIds.insert(response->m_request->m_requestId);
  EXPECT_EQ(m_responses.Size(), static_cast<std::size_t>(kThreads * kPerThread));
  EXPECT_EQ(requestIds.size(), static_cast<std::size_t>(kThreads * kPerThread));
}

TEST(RequestHeadersTest, AcceptLanguageFollowsTheInterfaceLanguage) {
  struct Case {
    std::map<std::string, const char*> env;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {{}, "en-us"},
      {{{"LANG", "de_DE.UTF-8"}}, "de-de"},
      {{{"LANG", "C.UTF-8"}}, "en-us"},
      {{{"LANG", "POSIX"}}, "en-us"},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "sr_RS@latin"}}, "sr-rs"},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "sr_RS@latin"}, {"LC_ALL", "pt_BR.UTF-8"}}, "pt-br"},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "pt_BR.UTF-8"}, {"LANGUAGE", "fr_CA:de"}}, "fr-ca"},
      {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", ""}}, "de-de"},
      {{{"LANG", "de\r\nX-Injected: 1"}}, "en-us"},  // never a header of its own
      {{{"LANG", "../../etc"}}, "en-us"},
  };
  for (const auto& c : cases) {
    auto env = NoLanguage();
    for (const auto& [name, value] : c.env) env[name] = value;
    ScopedEnv scoped(env);
    EXPECT_EQ(AcceptLanguage(), c.expected) << ::testing::PrintToString(c.env);
  }
}

TEST(RequestBodiesTest, MergeJsonIsDeepForObjectsOnly) {
  Json target = {{"list", {1, 2, 3}}, {"keep", 1}, {"gone", nullptr}, {"user", {{"ccpa", 1}}}};
  MergeJson(target, {{"list", {9}}, {"gone", {{"now", true}}}, {"user", {{"coppa", 2}}}});
  MergeJson(target, Json());               // null changes nothing
  MergeJson(target, Json::array({1, 2}));  // neither does any other non-object
  EXPECT_EQ(target.dump(), R"({"gone":{"now":true},"keep":1,"list":[9],"user":{"ccpa":1,"coppa":2}})");
}

}  // namespace
}  // namespace kestrel::test
