#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "NetTest.h"
#include "server/AdResponse.h"
#include "config/ConfigResponse.h"
#include "device/IDeviceInfoController.h"
#include "device/IPublisherAppInfoController.h"
#include "net/AssetRequest.h"
#include "net/AssetResponse.h"
#include "server/ITpatController.h"
#include "net/TpatRequest.h"
#include "platform/LocalTime.h"
#include "privacy/ICcpaController.h"
#include "privacy/ICoppaController.h"
#include "base/IInitializationController.h"
#include "support/LogCapture.h"
#include "support/StubDeviceInfoController.h"

namespace kestrel::test {
namespace {

using ::testing::HasSubstr;

// yyyyMMddHHmmss and one to three digits of milliseconds.
bool IsTimestampWithMilliseconds(const std::string& text) {
  return text.size() >= 15 && text.size() <= 17 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Fragment sources standing in for controllers that other parts of the SDK own.
class FakeAppInfo : public IPublisherAppInfoController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  Json GetAppJson() override { return {{"app", {{"id", "app-1"}, {"bundle", "com.example.game"}}}}; }
  void PrintAppInfo() override {}
  void SetAppId(const std::string&) override {}
  std::string GetAppId() override { return "app-1"; }
  std::string GetPackageName() override { return "com.example.game"; }
};

class FakeDeviceInfo : public test::StubDeviceInfoController {
 public:
  explicit FakeDeviceInfo(bool fail) : m_fail(fail) {}
  Json GetDeviceJson() override {
    if (m_fail) throw std::runtime_error("device probe failed");
    return {{"device", {{"model", "Test"}, {"make", "Kestrel"}}}};
  }

 private:
  bool m_fail;
};

class FakeInitialization : public IInitializationController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  std::future<bool> InitializeWithCallbacks(std::string, std::string, InitializationSuccessHandler,
                                            InitializationFailureHandler) override {
    return MakeReadyFuture(true);
  }
  bool GetHeartbeatCheckEnabled() override { return false; }
  bool GetPlatformDisabledAdId() override { return false; }
  void SetPlatformDisabledAdId(bool) override {}
  Json GetExtJson() override { return {{"ext", {{"config_extension", "abc"}}}}; }
  std::vector<PlacementRecord> GetPlacements() override { return {}; }
};

// Builds the body with "opted_in" and turns it into "opted_out" just before sending.
class FakeCcpa : public ICcpaController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  void SetCcpaStatus(std::int32_t) override {}
  std::int32_t GetCcpaStatus() override { return 1; }
  Json GetCcpaJson() override { return {{"user", {{"ccpa", {{"status", "opted_in"}}}}}}; }
  Json GetBidTokenCcpaJson() override { return GetCcpaJson(); }
  void UpdateCcpaInRequest(RequestBase& request) override {
    auto& body = request.m_body;
    if (body.contains("user") && body["user"].contains("ccpa")) body["user"]["ccpa"]["status"] = "opted_out";
  }
};

class FakeCoppa : public ICoppaController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  Json GetCoppaJson() override { return {{"user", {{"coppa", {{"is_coppa", "false"}}}}}}; }
  Json GetBidTokenCoppaJson() override { return GetCoppaJson(); }
  bool GetCoppaStatus() override { return true; }
  void SetCoppaStatus(bool) override {}
  void UpdateCoppaInRequest(RequestBase& request) override {
    if (!request.m_body.empty()) request.m_body["user"]["coppa"]["is_coppa"] = true;
  }
};

class FakeTpat : public ITpatController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  void SendTpat(std::shared_ptr<TpatsModel>, const std::unordered_map<std::string, std::string>&) override {}
  std::string ReplaceMacros(const std::string& url) override {
    std::string result = url;
    for (auto at = result.find("%timestamp%"); at != std::string::npos; at = result.find("%timestamp%")) {
      result.replace(at, 11, "T");
    }
    return result;
  }
};

class RequestControllerTest : public NetTest {
 protected:
  void RegisterFragments(bool deviceFails = false) {
    ControllerRegistry::SetPublisherAppInfoController(std::make_shared<FakeAppInfo>());
    ControllerRegistry::SetDeviceInfoController(std::make_shared<FakeDeviceInfo>(deviceFails));
    ControllerRegistry::SetInitializationController(std::make_shared<FakeInitialization>());
    ControllerRegistry::SetCcpaController(std::make_shared<FakeCcpa>());
    ControllerRegistry::SetCoppaController(std::make_shared<FakeCoppa>());
  }

  static std::vector<std::string> Keys(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.push_back(key);
    return keys;
  }
};

TEST_F(RequestControllerTest, NamesAndResponseClasses) {
  EXPECT_EQ(m_controller->GetConfigRequestName(), "_sdk_config_sdk_config");
  EXPECT_EQ(m_controller->GetTpatRequestName(), "_sdk_config_sdk_tpat");
  EXPECT_EQ(m_controller->JoinRequestName("TovaneSDK", "_P_ad_request"), "TovaneSDK_P_ad_request");

  const auto responseFor = [this](const std::string& name) {
    auto request = std::make_shared<TpatRequest>();
    request->m_name = name;
    request->m_url = "http://example.invalid/config";
    auto response = m_controller->CreateResponse(request);
    EXPECT_EQ(response->m_request, request);
    EXPECT_EQ(response->m_status, ResponseBase::kCompleted);
    return response;
  };
  EXPECT_TRUE(std::dynamic_pointer_cast<ConfigResponse>(responseFor("_sdk_config_sdk_config")));
  EXPECT_TRUE(std::dynamic_pointer_cast<AdResponse>(responseFor("TovaneSDK_P_ad_request")));
  EXPECT_TRUE(std::dynamic_pointer_cast<AssetResponse>(responseFor("TovaneSDK_e_ad_part")));
  for (const char* name : {"_sdk_config_sdk_tpat", "", "_sdk_config"}) {
    auto response = responseFor(name);
    EXPECT_FALSE(std::dynamic_pointer_cast<ConfigResponse>(response) ||
                 std::dynamic_pointer_cast<AdResponse>(response) || std::dynamic_pointer_cast<AssetResponse>(response))
        << name;
  }
}

TEST_F(RequestControllerTest, ConfigRequestAsTheServerReceivedIt) {
  ScopedEnv env([] {
    auto values = NoLanguage();
    values["LANG"] = "de_DE.UTF-8";
    return values;
  }());
  RegisterFragments();
  m_controller->RequestConfig().get();

  const auto recorded = m_server.Requests("/config");
  ASSERT_EQ(recorded.size(), 1u);
  const auto& request = recorded[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.Header("User-Agent"), "TovaneWindows/7.0.1 (Windows 10; native)");
  EXPECT_EQ(request.Header("Tovane-Version"), "5.10.0");
  EXPECT_EQ(request.Header("Accept-Language"), "de-de");
  EXPECT_EQ(request.Header("X-Kestrel-Win-Platform"), "Win32");
  EXPECT_EQ(request.Header("Content-Type"), "application/json");
  EXPECT_EQ(std::count_if(request.headers.begin(), request.headers.end(),
                          [](const auto& header) { return header.first == "User-Agent"; }),
            1);
  // Members in key order at every level, compact, with the privacy sections refreshed just before sending.
  EXPECT_EQ(request.body,
            R"({"app":{"bundle":"com.example.game","id":"app-1"},"device":{"make":"Kestrel","model":"Test"},)"
            R"("ext":{"config_extension":"abc"},"user":{"ccpa":{"status":"opted_out"},"coppa":{"is_coppa":true}}})");

  // The response reached the listener before the future completed.
  ASSERT_EQ(m_responses.Size(), 1u);
  auto response = std::dynamic_pointer_cast<ConfigResponse>(m_responses.All()[0]);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->m_status, ResponseBase::kCompleted);
  EXPECT_EQ(response->m_httpStatusCode, 200);
  EXPECT_EQ(response->m_request->m_name, "_sdk_config_sdk_config");
  EXPECT_EQ(response->m_request->m_maxAttempts, 3);
  EXPECT_TRUE(Json::parse(response->m_text).contains("endpoints"));
}

TEST_F(RequestControllerTest, AdRequestAddsTheRequestObject) {
  RegisterFragments();
  bool successCalled = false;
  m_controller
      ->RequestAd(
          "rewarded_video", false, [&](AdLoadEventArgs) { successCalled = true; }, nullptr)
      .get();

  const auto recorded = m_server.Requests("/ads");
  ASSERT_EQ(recorded.size(), 1u);
  const Json body = recorded[0].BodyJson();
  EXPECT_EQ(recorded[0].body, body.dump());  // the text is already in key order
  EXPECT_EQ(Keys(body), (std::vector<std::string>{"app", "device", "ext", "request", "user"}));
  EXPECT_EQ(body["request"].dump(), R"({"header_bidding":false,"placements":["rewarded_video"]})");

  ASSERT_EQ(m_responses.Size(), 1u);
  auto response = std::dynamic_pointer_cast<AdResponse>(m_responses.All()[0]);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->m_httpStatusCode, 200);
  EXPECT_EQ(response->m_request->m_name, "TovaneSDK_rewarded_video_ad_request");
  EXPECT_TRUE(Json::parse(response->m_text).contains("ads"));
  ASSERT_TRUE(response->m_request->m_onSuccess);
  EXPECT_FALSE(response->m_request->m_onFailure);
  response->m_request->m_onSuccess(AdLoadEventArgs{});
  EXPECT_TRUE(successCalled);
}

TEST_F(RequestControllerTest, FailingFragmentEndsTheBodyButTheRequestGoesOut) {
  LogCapture log;
  RegisterFragments(/*deviceFails=*/true);
  m_controller->RequestConfig().get();
  EXPECT_TRUE(log.Has("device probe failed", LogLevel::Error));
  const auto recorded = m_server.Requests("/config");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].body,
            R"({"app":{"bundle":"com.example.game","id":"app-1"},"user":{"coppa":{"is_coppa":true}}})");
}

TEST_F(RequestControllerTest, MissingEndpointsGiveAFailedResponse) {
  ControllerRegistry::SetEndpointController(nullptr);
  m_controller->RequestConfig().get();
  m_controller->RequestAd("interstitial", true, nullptr, nullptr).get();
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

TEST_F(RequestControllerTest, TrackingUrlGetsTheTimestampWithMillisecondsOnce) {
  const auto today = [] {
    char text[16] = {};
    const std::tm local = ToLocalTime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
    std::strftime(text, sizeof text, "%Y%m%d", &local);
    return std::string(text);
  };
  const std::string before = today();
  m_controller->SendTrackingUrl(Url("/tpat/click?t=%timestamp%&again=%timestamp%")).get();
  const std::string after = today();
  ControllerRegistry::SetTpatController(std::make_shared<FakeTpat>());
  m_controller->SendTrackingUrl(Url("/tpat/view?t=%timestamp%&again=%timestamp%")).get();

  const auto click = m_server.Requests("/tpat/click");
  ASSERT_EQ(click.size(), 1u);
  const std::string stamp = click[0].Param("t");
  EXPECT_THAT(stamp, ::testing::Truly(IsTimestampWithMilliseconds));
  EXPECT_TRUE(stamp.starts_with(before) || stamp.starts_with(after)) << stamp;
  EXPECT_EQ(click[0].Param("again"), "%timestamp%");  // without a TPAT controller nothing else replaces it
  EXPECT_EQ(click[0].method, "GET");
  EXPECT_EQ(click[0].Header("User-Agent"), "TovaneWindows/7.0.1 (Windows 10; native)");

  const auto view = m_server.Requests("/tpat/view");
  ASSERT_EQ(view.size(), 1u);
  EXPECT_THAT(view[0].Param("t"), ::testing::Truly(IsTimestampWithMilliseconds));
  EXPECT_EQ(view[0].Param("again"), "T");  // the TPAT controller's macro replacement ran after the first

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
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(together);
  std::set<int> connections;
  for (const auto& request : m_server.Requests("/assets/")) connections.insert(request.clientPort);
  EXPECT_EQ(m_server.Requests("/assets/").size(), 5u);
  EXPECT_LE(connections.size(), 3u);
}

TEST_F(RequestControllerTest, DownloadAdPartUnpacksANestedBundle) {
  ::testing::internal::CaptureStdout();
  const bool queued =
      m_controller->DownloadAdPart("ev1", "template", "event-9", Url("/bundles/sample.zip"), "rewarded_video_1");
  const bool withQuery =
      m_controller->DownloadAdPart("ev1", "icon", "event-9", Url("/assets/icon.png?v=2"), "rewarded_video_1");
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(queued);
  EXPECT_TRUE(withQuery);

  const auto folder = Creatives() / "rewarded_video_1";
  EXPECT_THAT(FilesIn(folder),
              ::testing::IsSupersetOf({"sample.zip", "index.html", "images/kestrel.png", "icon.png_v=2"}));
  const auto responses = m_responses.All();
  ASSERT_EQ(responses.size(), 2u);
  auto bundle = std::dynamic_pointer_cast<AssetResponse>(responses[0]);
  ASSERT_TRUE(bundle);
  EXPECT_EQ(bundle->m_status, ResponseBase::kCompleted);
  auto request = std::dynamic_pointer_cast<AssetRequest>(bundle->m_request);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->m_name, "TovaneSDK_ev1_ad_part");
  EXPECT_EQ(request->m_fileName, "sample.zip");
  EXPECT_EQ(request->m_folderName, "rewarded_video_1");
  EXPECT_EQ(request->m_partName, "template");
  EXPECT_EQ(request->m_eventId, "event-9");
  EXPECT_EQ(std::dynamic_pointer_cast<AssetRequest>(responses[1]->m_request)->m_fileName, "icon.png_v=2");
  EXPECT_EQ(m_server.Requests("/bundles/sample.zip").at(0).Header("Tovane-Version"), "5.10.0");
}

TEST_F(RequestControllerTest, BundleWithEntriesOutsideItsFolderWritesOnlyInside) {
  const std::filesystem::path absolute = "/tmp/kestrel-adserver-evil.txt";  // the server's absolute entry
  const bool absoluteExisted = std::filesystem::exists(absolute);
  m_server.SetFault("bundle=zipslip");
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(m_controller->DownloadAdPart("ev2", "template", "event-1", Url("/bundles/sample.zip"), "slip_1"));
  ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(err, HasSubstr("Failed to extract file: ../evil.txt\n"));
  EXPECT_THAT(err, HasSubstr("Failed to extract file: images/../../evil-nested.txt\n"));
  EXPECT_THAT(err, HasSubstr("Failed to extract file: /tmp/kestrel-adserver-evil.txt\n"));
  EXPECT_TRUE(std::filesystem::exists(Creatives() / "slip_1" / "index.html"));
  for (const auto& name : FilesIn(m_dataHome.Path())) EXPECT_THAT(name, ::testing::Not(HasSubstr("evil"))) << name;
  if (!absoluteExisted) {
    EXPECT_FALSE(std::filesystem::exists(absolute));
  }
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

}  // namespace
}  // namespace kestrel::test
