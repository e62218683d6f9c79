// What the ad server does that the SDK's own tests cannot see: refusals and
// confinement of the asset folder, the request record the tests, the demo and
// the inspector read, and stopping.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <tuple>

#include "LocalAdServer.h"
#include "TestHttp.h"

namespace kestrel::adserver {
namespace {

using namespace std::chrono_literals;
using test::AdsBody;
using test::Client;
using test::JsonOf;

class AdServerRoutesTest : public ::testing::Test {
 protected:
  void SetUp() override { server.Start(); }
  LocalAdServer server;
};

TEST_F(AdServerRoutesTest, RefusesWhatNoRouteAnswers) {
  struct Row {
    std::string method, target, body;
    int status;
    std::string json;  // the whole answer, when it is fixed
  };
  const Row rows[] = {
      {"POST", "/ads", AdsBody("no_such_placement"), 200, R"({"ads":null})"},
      {"POST", "/ads", "not json", 400, ""}, {"POST", "/ads", "{}", 400, ""},
      {"POST", "/ads", R"({"request":{"placements":[]}})", 400, ""},
      {"POST", "/ads", R"({"request":{"placements":[7]}})", 400, ""},
      {"POST", "/ads", R"({"request":{"placements":"interstitial"}})", 400, ""},
      {"GET", "/hb/markup?placement=nope", "", 404, ""}, {"GET", "/hb/markup", "", 400, ""},
      {"GET", "/hb/markup?placement=hb_banner&version=two", "", 400, ""},
      {"POST", "/_control/fault", "not json", 400, ""},
      {"POST", "/_control/fault", R"({"route":"ads","mode":"corrupt"})", 400, ""},
      {"GET", "/bundles/other.zip", "", 404, ""}, {"GET", "/nothing/here", "", 404, ""},
      {"OPTIONS", "/ads", "", 404, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.method + " " + row.target + " " + row.body);
    if (row.body.empty()) {
      const std::string answer = test::RawExchange(server.Port(), row.method, row.target);
      EXPECT_TRUE(answer.starts_with("HTTP/1.1 " + std::to_string(row.status))) << answer.substr(0, 100);
      EXPECT_EQ(answer.find("placements"), std::string::npos);
      continue;
    }
    auto client = Client(server.Port());
    const auto answer = client.Post(row.target, row.body, "application/json");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, row.status);
    const auto json = JsonOf(answer);
    EXPECT_TRUE(row.json.empty() || json == nlohmann::json::parse(row.json)) << json;
    EXPECT_TRUE(row.status < 400 || json["error"].is_string()) << json;
  }
  EXPECT_TRUE(JsonOf(Client(server.Port()).Get("/_control/faults")).empty()) << "a refused fault was set";
  EXPECT_EQ(server.Requests("/ads").back().route, "rejected") << "the OPTIONS request is recorded as such";
  EXPECT_EQ(server.Requests("/nothing").at(0).route, "unknown");
}

TEST(AdServerAssetsTest, OnlyVisibleFilesOfTheAssetsFolderAreServed) {
  const auto fixtures = std::filesystem::temp_directory_path() / ("kestrel-fixtures-" + std::to_string(getpid()));
  std::filesystem::create_directories(fixtures / "assets");
  std::filesystem::copy_file(std::filesystem::path(KESTREL_ADSERVER_SOURCE_DIR) / "fixtures" / "config.json",
                             fixtures / "config.json");
  for (const char* name : {"assets/icon.png", "assets/.hidden", "secret.txt"}) std::ofstream(fixtures / name) << "x";
  auto options = LocalAdServer::QuietOptions();
  options.fixturesDir = fixtures;
  LocalAdServer server(options);
  server.Start();
  for (const auto& [target, status] : {std::pair{"/assets/icon.png", 200}, {"/assets/.hidden", 404},
                                       {"/assets/..%2Fsecret.txt", 404}, {"/assets/missing.png", 404}}) {
    EXPECT_TRUE(test::RawExchange(server.Port(), "GET", target).starts_with("HTTP/1.1 " + std::to_string(status)))
        << target;
  }
  std::filesystem::remove_all(fixtures);
}

TEST_F(AdServerRoutesTest, RecordsEachRequestAsSentUntilReset) {
  auto client = Client(server.Port());
  const httplib::Headers headers{{"User-Agent", "TovaneWindows/7.0.1 (Windows 10; native)"},
                                 {"Tovane-Version", "5.10.0"}};
  const std::string body = AdsBody("rewarded_video");
  ASSERT_TRUE(client.Post("/ads", headers, body, "application/json"));
  // The query as sent, macros untouched, and decoded beside it.
  const std::string query = "ev=a%20b&ts=%timestamp%&v={{{vlen}}}&flag";
  EXPECT_TRUE(test::RawExchange(server.Port(), "GET", "/tpat/impression?" + query).starts_with("HTTP/1.1 200"));

  const auto ads = server.Requests("/ads");
  ASSERT_EQ(ads.size(), 1u);
  EXPECT_EQ(std::tuple(ads[0].method, ads[0].status, ads[0].body), std::tuple("POST", 200, body));
  EXPECT_EQ(ads[0].Header("tovane-version"), "5.10.0") << "header names match without regard to case";
  EXPECT_EQ(ads[0].Header("User-Agent"), headers.find("User-Agent")->second);
  EXPECT_TRUE(ads[0].Header("REMOTE_ADDR").empty()) << "headers the library adds are not recorded";
  const auto hit = server.Requests("/tpat/");
  ASSERT_EQ(hit.size(), 1u);
  EXPECT_EQ(std::tuple(hit[0].query, hit[0].Param("ev"), hit[0].Param("v")), std::tuple(query, "a b", "{{{vlen}}}"));

  // The same over the control route, in order, filtered by prefix; control requests are not recorded.
  const auto all = JsonOf(client.Get("/_control/requests"));
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0]["json"]["request"]["placements"][0], "rewarded_video");
  EXPECT_EQ(all[1]["params"]["ev"], "a b");
  EXPECT_LT(all[0]["seq"].get<int>(), all[1]["seq"].get<int>());
  EXPECT_EQ(JsonOf(client.Get("/_control/requests?prefix=/tpat/")).size(), 1u);

  // The inspector's page, its list of what came after a number, and one exchange with its answer.
  EXPECT_NE(test::RawExchange(server.Port(), "GET", "/").find("/_inspector/inspector.js"), std::string::npos);
  const auto first = std::to_string(all[0]["seq"].get<int>());
  const auto later = JsonOf(client.Get("/_control/exchanges?after=" + first));
  EXPECT_EQ(later["total"], 2);
  ASSERT_EQ(later["exchanges"].size(), 1u);
  EXPECT_EQ(later["exchanges"][0]["ev"], "a b");
  const auto answer = JsonOf(client.Get("/_control/exchanges/" + first))["response"];
  EXPECT_TRUE(nlohmann::json::parse(answer["body"].get<std::string>())["ads"].is_array()) << answer;

  server.SetFault("ads=status:500");
  // curl -X POST sends no Content-Length.
  EXPECT_TRUE(test::RawExchange(server.Port(), "POST", "/_control/reset").starts_with("HTTP/1.1 200"));
  EXPECT_TRUE(JsonOf(client.Get("/_control/requests")).empty());
  EXPECT_EQ(client.Post("/ads", AdsBody("interstitial"), "application/json")->status, 200) << "faults are cleared too";
}

TEST_F(AdServerRoutesTest, CookieFaultAddsACookieToTheNormalAnswer) {
  server.SetFault("config=cookie");
  const std::string answer = test::RawExchange(server.Port(), "GET", "/config");
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 200")) << answer.substr(0, 100);
  EXPECT_NE(answer.find("\r\nSet-Cookie: kestrel-fault=1;"), std::string::npos) << answer.substr(0, 300);
  EXPECT_NE(answer.find("placements"), std::string::npos);
}

TEST_F(AdServerRoutesTest, StopEndsHeldAnswersAtOnceAndFreesThePort) {
  server.SetFault("config=delay:600000");
  server.SetFault("ads=slow:600000");
  const auto post = [this](const char* path, const std::string& body) {
    return std::async(std::launch::async, [=, this] { return Client(server.Port()).Post(path, body, "application/json"); });
  };
  auto delayed = post("/config", "{}");
  auto trickled = post("/ads", AdsBody("interstitial"));
  ASSERT_TRUE(server.WaitForRequests("/config", 1));
  ASSERT_TRUE(server.WaitForRequests("/ads", 1));
  const int port = server.Port();
  const auto start = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  const auto first = delayed.get();
  EXPECT_TRUE(!first || first->status == 503);
  const auto second = trickled.get();
  EXPECT_FALSE(second && second->status == 200) << "the trickled body is never complete";

  EXPECT_EQ(test::RawExchange(port, "GET", "/config"), "") << "a stopped server's port takes no more connections";
}

}  // namespace
}  // namespace kestrel::adserver
