// InitializeAsync through the public interface against the local ad server on loopback.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>

#include <nlohmann/json.hpp>

#include "LocalAdServer.h"
#include "config/IEndpointController.h"
#include "config/IPersistentSettingsController.h"
#include "kestrel/KestrelAds.h"
#include "server/IRequestController.h"
#include "privacy/IGdprController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "base/IInitializationController.h"
#include "sdk/SdkState.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

// A /config answer with the given members replaced (null removes a member).
std::string ConfigWith(const nlohmann::json& patch) {
  nlohmann::json doc = {
      {"placements", {{{"reference_id", "first"}, {"is_incentivized", true}}, {{"reference_id", "second"}}}},
      {"endpoints", {{"ads", "{{BASE_URL}}/ads"}}},
      {"template", {{"heartbeat_check_enabled", false}}},
      {"config_extension", "ext-from-config"}};
  if (!patch.is_null()) doc.merge_patch(patch);
  return doc.dump();
}

// The server answers /config with `body` until the fault is cleared.
adserver::Fault ConfigBody(std::string body) {
  adserver::Fault fault;
  fault.route = adserver::FaultRoute::Config;
  fault.mode = adserver::FaultMode::Body;
  fault.body = std::move(body);
  return fault;
}

// A loopback port that nothing listens on: bound, never listened on, released.
int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

class InitializeEndToEndTest : public ::testing::Test {
 protected:
  struct Outcome {
    KestrelAds* instance = nullptr;
    std::vector<InitializationSuccessEventArgs> successes;
    std::vector<InitializationFailureEventArgs> failures;
  };

  void SetUp() override {
    SdkState::Reset();
    server.Start();
  }
  void TearDown() override {
    SdkState::Reset();
    server.Stop();
  }

  // Initialises against `baseUrl` (the server by default) and returns what the callbacks saw.
  Outcome Initialize(std::string baseUrl = {}, bool withSuccess = true) {
    KestrelSdkConfig config;
    config.ConfigBaseUrl = baseUrl.empty() ? server.BaseUrl() : baseUrl;
    auto outcome = std::make_shared<Outcome>();
    auto mutex = std::make_shared<std::mutex>();
    InitializationCallback callback;
    if (withSuccess) {
      callback.OnInitializationSuccess = [outcome, mutex](InitializationSuccessEventArgs args) {
        std::lock_guard lock(*mutex);
        outcome->successes.push_back(std::move(args));
      };
    }
    callback.OnInitializationFailure = [outcome, mutex](InitializationFailureEventArgs args) {
      std::lock_guard lock(*mutex);
      outcome->failures.push_back(std::move(args));
    };
    KestrelAds* instance = KestrelAds::InitializeAsync("e2e-app", config, nullptr, callback).get();
    // The callbacks have run by the time the future yields.
    std::lock_guard lock(*mutex);
    Outcome result = *outcome;
    result.instance = instance;
    return result;
  }

  test::ScopedDataHome dataHome;
  adserver::LocalAdServer server;
};

TEST_F(InitializeEndToEndTest, FixtureConfigurationReachesTheCallbackAndTheControllers) {
  Outcome outcome = Initialize();
  ASSERT_NE(outcome.instance, nullptr);
  ASSERT_EQ(outcome.successes.size(), 1u);
  EXPECT_TRUE(outcome.failures.empty());
  std::vector<std::string> names;
  for (const auto& placement : outcome.successes[0].Placements) names.push_back(placement.ReferenceId);
  EXPECT_EQ(names, (std::vector<std::string>{"rewarded_video", "interstitial", "hb_banner"}));
  EXPECT_TRUE(outcome.successes[0].Placements[0].IsIncentivized);
  EXPECT_TRUE(outcome.successes[0].Placements[2].HeaderBidding);

  ASSERT_EQ(server.Requests("/config").size(), 1u);
  EXPECT_EQ(server.Requests("/config")[0].method, "POST");
  EXPECT_EQ(R::GetEndpointController()->GetAdsUrl(), server.BaseUrl() + "/ads");
  EXPECT_EQ(R::GetEndpointController()->GetConfigUrl(), server.BaseUrl() + "/config");
  for (const char* name : {"rewarded_video", "interstitial", "hb_banner"}) {
    EXPECT_NE(R::GetPlacementsController()->FindPlacement(name), nullptr) << name;
  }
  EXPECT_EQ(R::GetGdprController()->GetConsentTitleText(), "Personalized ads");
  EXPECT_EQ(R::GetGdprController()->GetConsentAcceptButtonText(), "I agree");
}

TEST_F(InitializeEndToEndTest, NetworkFailuresGiveExactlyOneFailureCallback) {
  {
    SCOPED_TRACE("connection refused");
    const std::string deadUrl = "http://127.0.0.1:" + std::to_string(UnusedPort());
    test::LogCapture log;
    Outcome outcome = Initialize(deadUrl);
    EXPECT_NE(outcome.instance, nullptr);
    EXPECT_TRUE(outcome.successes.empty());
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_NE(outcome.failures[0].Message.find("HttpSendRequestW failed. Error: "), std::string::npos)
        << outcome.failures[0].Message;
    EXPECT_TRUE(log.Has("Didn't get /config response - got network error", LogLevel::Error));
  }
  SdkState::Reset();
  {
    SCOPED_TRACE("HTTP 500");
    server.SetFault("config=status:500");
    Outcome outcome = Initialize();
    EXPECT_TRUE(outcome.successes.empty());
    ASSERT_EQ(outcome.failures.size(), 1u);
    const auto body = nlohmann::json::parse(outcome.failures[0].Message, nullptr, false);
    EXPECT_EQ(body.value("status", 0), 500) << outcome.failures[0].Message;
    EXPECT_EQ(R::GetPlacementsController()->FindPlacement("rewarded_video"), nullptr);
  }
}

TEST_F(InitializeEndToEndTest, BadDocumentsFailWithTheirMessages) {
  struct Case {
    const char* name;
    adserver::Fault fault;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"not JSON", adserver::Fault::Parse("config=notjson"), "ApplyConfig got bad response!"},
      {"no template", ConfigBody(ConfigWith({{"template", nullptr}})), "key 'template' not found"},
      {"no endpoints", ConfigBody(ConfigWith({{"endpoints", nullptr}})), "key 'endpoints' not found"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SdkState::Reset();
    server.SetFault(c.fault);
    Outcome outcome = Initialize();
    EXPECT_NE(outcome.instance, nullptr);
    EXPECT_TRUE(outcome.successes.empty());
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].Message, c.message);
  }
}

TEST_F(InitializeEndToEndTest, OnlyAFailureCallbackHearsThatThePayloadHasNoReceiver) {
  Outcome outcome = Initialize({}, false);
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].Message, "onInitCompleted payload is null");
}

TEST_F(InitializeEndToEndTest, ALaterConfigurationResponseIsIgnored) {
  Outcome outcome = Initialize();
  ASSERT_EQ(outcome.successes.size(), 1u);
  server.SetFault(ConfigBody(ConfigWith({{"placements", {{{"reference_id", "late"}}}}})));
  R::GetRequestController()->RequestConfig().get();
  ASSERT_EQ(server.Requests("/config").size(), 2u);
  EXPECT_EQ(R::GetPlacementsController()->FindPlacement("late"), nullptr);
  EXPECT_NE(R::GetPlacementsController()->FindPlacement("rewarded_video"), nullptr);
  EXPECT_EQ(outcome.successes.size(), 1u);
}

TEST_F(InitializeEndToEndTest, ConfigExtensionReachesTheExtensionJsonAndTheNextRequest) {
  server.SetFault(ConfigBody(ConfigWith(nullptr)));
  Outcome outcome = Initialize();
  ASSERT_EQ(outcome.successes.size(), 1u);
  EXPECT_EQ(R::GetPersistentSettingsController()->GetConfigExtension(), "ext-from-config");
  EXPECT_EQ(R::GetInitializationController()->GetExtJson()["ext"]["config_extension"], "ext-from-config");

  server.ClearFaults();
  R::GetRequestController()->RequestConfig().get();
  const auto requests = server.Requests("/config");
  ASSERT_EQ(requests.size(), 2u);
  const auto first = nlohmann::json::parse(requests[0].body, nullptr, false);
  const auto second = nlohmann::json::parse(requests[1].body, nullptr, false);
  ASSERT_TRUE(second.is_object()) << requests[1].body;
  EXPECT_EQ(second["ext"]["config_extension"], "ext-from-config") << requests[1].body;
  EXPECT_NE(first.value("/ext/config_extension"_json_pointer, std::string()), "ext-from-config");
}

}  // namespace
}  // namespace kestrel
