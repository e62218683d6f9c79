#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "ads/PlacementsController.h"
#include "config/ConfigResponse.h"
#include "config/EndpointController.h"
#include "server/IRequestController.h"
#include "net/ServerRequests.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/InitializationController.h"
#include "sdk/SdkState.h"
#include "support/LogCapture.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

// Answers RequestConfig with scripted responses, delivered to the listeners
// the way the real request controller does: on a worker, outside its lock.
class ScriptedRequests : public IRequestController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  std::future<void> RequestAd(const std::string&, bool, AdLoadHandler, AdLoadHandler) override { return Done(); }
  bool DownloadAdPart(const std::string&, const std::string&, const std::string&, const std::string&,
                      const std::string&) override {
    return false;
  }
  std::future<bool> ProcessPendingRequests() override { return MakeReadyFuture(true); }
  std::future<void> SendTrackingUrl(const std::string&) override { return Done(); }
  std::string GetTpatRequestName() override { return "_sdk_config_sdk_tpat"; }
  std::string JoinRequestName(const std::string& a, const std::string& b) override { return a + b; }

  struct Answer {
    std::int32_t status = ResponseBase::kCompleted;
    std::int32_t httpStatus = 200;
    std::string text;
  };
  std::vector<Answer> answers;
  std::atomic<int> configRequests{0};

  std::future<void> RequestConfig() override {
    ++configRequests;
    return std::async(std::launch::async, [this] {
      for (const auto& answer : answers) {
        auto request = std::make_shared<ServerRequests>();
        request->m_name = GetConfigRequestName();
        auto response = std::make_shared<ConfigResponse>();
        response->m_request = request;
        response->m_status = answer.status;
        response->m_httpStatusCode = answer.httpStatus;
        response->m_text = answer.text;
        Notify(response);
      }
    });
  }
  std::int32_t AddResponseListener(ResponseListener listener) override {
    std::lock_guard lock(m_mutex);
    m_listeners.emplace_back(m_nextId, std::move(listener));
    return m_nextId++;
  }
  void RemoveResponseListener(std::int32_t id) override {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; });
  }
  std::string GetConfigRequestName() override { return "_sdk_config_sdk_config"; }

 private:
  static std::future<void> Done() {
    std::promise<void> p;
    p.set_value();
    return p.get_future();
  }
  void Notify(const std::shared_ptr<ResponseBase>& response) {
    std::vector<std::pair<std::int32_t, ResponseListener>> listeners;
    {
      std::lock_guard lock(m_mutex);
      listeners = m_listeners;
    }
    for (auto& [id, listener] : listeners) listener(response);
  }
  std::mutex m_mutex;
  std::vector<std::pair<std::int32_t, ResponseListener>> m_listeners;
  std::int32_t m_nextId = 0;
};

class RecordingPlacements : public PlacementsController {
 public:
  void AddPlacement(const PlacementRecord& record) override {
    std::lock_guard lock(m_mutex);
    added.push_back(record.ReferenceId);
  }
  std::vector<std::string> Added() {
    std::lock_guard lock(m_mutex);
    return added;
  }

 private:
  std::mutex m_mutex;
  std::vector<std::string> added;
};

const char* kGoodConfig = R"({
  "placements": [{"reference_id": "first", "is_incentivized": true}, {"reference_id": "second", "header_bidding": true}],
  "endpoints": {"ads": "http://127.0.0.1:1/ads", "log": "l", "new": "n", "ri": "r", "sdk_bi": "b"},
  "config": {"refresh_time": 300},
  "template": {"heartbeat_check_enabled": true},
  "gdpr": {"is_country_data_protected": false}
})";

class InitializationControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SdkState::Reset();
    R::SetRequestController(requests);
    R::SetPlacementsController(placements);
    R::SetEndpointController(endpoints);
  }
  void TearDown() override { SdkState::Reset(); }

  struct Outcome {
    std::vector<InitializationSuccessEventArgs> successes;
    std::vector<InitializationFailureEventArgs> failures;
  };

  // Runs one initialisation and returns what reached the callbacks.
  Outcome Run(InitializationController& controller, bool withSuccess = true, const std::string& configText = {}) {
    auto outcome = std::make_shared<Outcome>();
    auto mutex = std::make_shared<std::mutex>();
    InitializationSuccessHandler onSuccess;
    if (withSuccess) {
      onSuccess = [outcome, mutex](const InitializationSuccessEventArgs& a) {
        std::lock_guard lock(*mutex);
        outcome->successes.push_back(a);
      };
    }
    auto onFailure = [outcome, mutex](const InitializationFailureEventArgs& a) {
      std::lock_guard lock(*mutex);
      outcome->failures.push_back(a);
    };
    controller.InitializeWithCallbacks("app", configText, onSuccess, onFailure).get();
    std::lock_guard lock(*mutex);
    return *outcome;
  }

  std::shared_ptr<ScriptedRequests> requests = std::make_shared<ScriptedRequests>();
  std::shared_ptr<RecordingPlacements> placements = std::make_shared<RecordingPlacements>();
  std::shared_ptr<EndpointController> endpoints = std::make_shared<EndpointController>();
};

TEST_F(InitializationControllerTest, AppliesAGoodConfigurationInDocumentOrder) {
  requests->answers = {{ResponseBase::kCompleted, 200, kGoodConfig}};
  InitializationController controller;
  auto outcome = Run(controller);
  ASSERT_EQ(outcome.successes.size(), 1u);
  EXPECT_TRUE(outcome.failures.empty());
  const auto& got = outcome.successes[0].Placements;
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].ReferenceId, "first");
  EXPECT_TRUE(got[0].IsIncentivized);
  EXPECT_EQ(got[1].ReferenceId, "second");
  EXPECT_TRUE(got[1].HeaderBidding);
  EXPECT_EQ(placements->Added(), (std::vector<std::string>{"first", "second"}));
  ASSERT_EQ(controller.GetPlacements().size(), 2u);
  EXPECT_EQ(controller.GetPlacements()[1].ReferenceId, "second");
  EXPECT_TRUE(controller.GetHeartbeatCheckEnabled());
  EXPECT_EQ(endpoints->GetAdsUrl(), "http://127.0.0.1:1/ads");
  EXPECT_EQ(endpoints->GetLogEndpoint(), "l");
  EXPECT_EQ(endpoints->GetNewEndpoint(), "n");
  EXPECT_EQ(endpoints->GetRiEndpoint(), "r");
  EXPECT_EQ(endpoints->GetSdkBiEndpoint(), "b");
}

TEST_F(InitializationControllerTest, PublisherBaseUrlReplacesTheConfigEndpoint) {
  requests->answers = {{ResponseBase::kCompleted, 200, kGoodConfig}};
  InitializationController controller;
  Run(controller, true, "http://127.0.0.1:8080/ ");
  EXPECT_EQ(endpoints->GetConfigUrl(), "http://127.0.0.1:8080/config");
}

TEST_F(InitializationControllerTest, NetworkFailuresReportOnceWithTheResponseText) {
  for (auto answer : {ScriptedRequests::Answer{ResponseBase::kFailed, 0, "HttpSendRequestW failed. Error: 7"},
                      ScriptedRequests::Answer{ResponseBase::kCompleted, 500, "{\"error\": \"overloaded\"}"}}) {
    SCOPED_TRACE(answer.text);
    test::LogCapture log;
    requests->answers = {answer};
    InitializationController controller;
    auto outcome = Run(controller);
    EXPECT_TRUE(outcome.successes.empty());
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].Message, answer.text);
    EXPECT_FALSE(outcome.failures[0].Exception);
    EXPECT_TRUE(log.Has("Didn't get /config response - got network error", LogLevel::Error));
    EXPECT_TRUE(placements->Added().empty());
  }
}

TEST_F(InitializationControllerTest, BodyThatIsNotJsonIsABadResponse) {
  test::LogCapture log;
  requests->answers = {{ResponseBase::kCompleted, 200, "<html>oops</html>"}};
  InitializationController controller;
  auto outcome = Run(controller);
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].Message, "ApplyConfig got bad response!");
  EXPECT_EQ(log.Count("ApplyConfig got bad response!", LogLevel::Error), 1);
}

TEST_F(InitializationControllerTest, MissingTemplateFailsAfterThePlacementsButBeforeTheEndpoints) {
  requests->answers = {{ResponseBase::kCompleted, 200,
                        R"({"placements": [{"reference_id": "p"}], "endpoints": {"ads": "http://a/ads"}})"}};
  InitializationController controller;
  auto outcome = Run(controller);
  EXPECT_TRUE(outcome.successes.empty());
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].Message, "key 'template' not found");
  ASSERT_TRUE(outcome.failures[0].Exception);
  try {
    std::rethrow_exception(outcome.failures[0].Exception);
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "key 'template' not found");
  }
  EXPECT_EQ(placements->Added(), std::vector<std::string>{"p"});
  EXPECT_EQ(endpoints->GetAdsUrl(), "");
}

TEST_F(InitializationControllerTest, MissingEndpointsFails) {
  requests->answers = {{ResponseBase::kCompleted, 200, R"({"placements": [], "template": {}})"}};
  InitializationController controller;
  auto outcome = Run(controller);
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].Message, "key 'endpoints' not found");
}

TEST_F(InitializationControllerTest, OnlyAFailureCallbackHearsThatThePayloadHasNoReceiver) {
  requests->answers = {{ResponseBase::kCompleted, 200, kGoodConfig}};
  InitializationController controller;
  auto outcome = Run(controller, false);
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].Message, "onInitCompleted payload is null");
}

TEST_F(InitializationControllerTest, OnlyTheFirstConfigurationResponseIsHandled) {
  requests->answers = {{ResponseBase::kCompleted, 200, kGoodConfig},
                       {ResponseBase::kCompleted, 200, R"({"placements": [{"reference_id": "late"}]})"}};
  InitializationController controller;
  auto outcome = Run(controller);
  EXPECT_EQ(outcome.successes.size(), 1u);
  EXPECT_TRUE(outcome.failures.empty());
  EXPECT_EQ(placements->Added(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(InitializationControllerTest, NullPlacementEntriesAreSkippedWithALogLine) {
  test::LogCapture log;
  requests->answers = {{ResponseBase::kCompleted, 200,
                        R"({"placements": [null, {"reference_id": "only"}], "endpoints": {}, "template": {}})"}};
  InitializationController controller;
  auto outcome = Run(controller);
  ASSERT_EQ(outcome.successes.size(), 1u);
  ASSERT_EQ(outcome.successes[0].Placements.size(), 1u);
  EXPECT_EQ(outcome.successes[0].Placements[0].ReferenceId, "only");
  EXPECT_EQ(log.Count("Got bad placement info from Platform.", LogLevel::Error), 1);
  EXPECT_EQ(log.Count("key 'config' not found", LogLevel::Error), 1);
}

TEST_F(InitializationControllerTest, ThrowingSuccessCallbackIsReportedAsAFailure) {
  requests->answers = {{ResponseBase::kCompleted, 200, kGoodConfig}};
  InitializationController controller;
  std::vector<std::string> failures;
  controller
      .InitializeWithCallbacks(
          "app", "", [](const InitializationSuccessEventArgs&) { throw std::runtime_error("publisher bug"); },
          [&](const InitializationFailureEventArgs& a) { failures.push_back(a.Message); })
      .get();
  EXPECT_EQ(failures, std::vector<std::string>{"publisher bug"});
}

TEST_F(InitializationControllerTest, WithoutARequestControllerTheSendFails) {
  R::SetRequestController(nullptr);
  test::LogCapture log;
  InitializationController controller;
  auto outcome = Run(controller);
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_TRUE(log.Has("Failed to get new config or apply old config.", LogLevel::Error));
}

}  // namespace
}  // namespace kestrel
