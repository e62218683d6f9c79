// The routes of the ad server as the SDK meets them, over real HTTP on loopback.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "BidMarkup.h"
#include "LocalAdServer.h"
#include "TestHttp.h"

namespace kestrel::adserver {
namespace {

using test::AdsBody;
using test::Client;
using test::JsonOf;
using test::PathOf;

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

const std::filesystem::path kCreativeDir = std::filesystem::path(KESTREL_ADSERVER_SOURCE_DIR) / "creative";

class AdServerRoutesTest : public ::testing::Test {
 protected:
  void SetUp() override { server.Start(); }

  nlohmann::json Markup(const std::string& placement) {
    auto client = Client(server.Port());
    const auto doc = JsonOf(client.Post("/ads", AdsBody(placement), "application/json"));
    return doc["ads"][0]["ad_markup"];
  }

  LocalAdServer server;
};

TEST_F(AdServerRoutesTest, ConfigListsPlacementsAndPointsBackAtTheServer) {
  auto client = Client(server.Port());
  const auto result = client.Post("/config", "{}", "application/json");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
  const auto config = JsonOf(result);

  EXPECT_EQ(result->body.find("{{"), std::string::npos) << "a placeholder was left in";
  for (const auto* name : {"ads", "new", "log", "ri", "sdk_bi"}) {
    ASSERT_TRUE(config["endpoints"][name].is_string()) << name;
    EXPECT_TRUE(config["endpoints"][name].get<std::string>().starts_with(server.BaseUrl() + "/")) << name;
  }
  EXPECT_EQ(config["endpoints"]["ads"], server.BaseUrl() + "/ads");
  EXPECT_TRUE(config["template"].is_object());
  EXPECT_TRUE(config["config"]["refresh_time"].is_number_integer());
  EXPECT_TRUE(config["config_extension"].is_string());

  std::map<std::string, nlohmann::json> placements;
  for (const auto& p : config["placements"]) {
    placements[p["reference_id"].get<std::string>()] = p;
  }
  ASSERT_EQ(placements.size(), 3u);
  EXPECT_EQ(placements["rewarded_video"]["is_incentivized"], true);
  EXPECT_EQ(placements["interstitial"]["is_incentivized"], false);
  EXPECT_EQ(placements["hb_banner"]["header_bidding"], true);
  EXPECT_EQ(placements["hb_banner"]["max_hb_cache"], 2);

  const auto& gdpr = config["gdpr"];
  EXPECT_TRUE(gdpr["is_country_data_protected"].is_boolean());
  for (const auto* key : {"consent_title", "consent_message", "consent_message_version", "button_accept", "button_deny"}) {
    ASSERT_TRUE(gdpr[key].is_string()) << key;
    EXPECT_FALSE(gdpr[key].get<std::string>().empty()) << key;
  }
}

TEST_F(AdServerRoutesTest, AdsAnswerCarriesEveryFieldTheSdkReads) {
  const auto before = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch()).count();
  const auto ad = Markup("rewarded_video");
  ASSERT_TRUE(ad.is_object());

  EXPECT_EQ(ad["adType"], "tovane_mraid");
  EXPECT_EQ(ad["templateURL"], server.BaseUrl() + "/bundles/sample.zip");
  for (const auto* key : {"id", "template_type", "callToActionDest", "callToActionUrl", "bid_token"}) {
    ASSERT_TRUE(ad[key].is_string()) << key;
    EXPECT_FALSE(ad[key].get<std::string>().empty()) << key;
  }
  EXPECT_TRUE(ad["callToActionUrl"].get<std::string>().starts_with("https://"));

  // campaign id | creative id | more
  const auto campaign = ad["campaign"].get<std::string>();
  EXPECT_TRUE(std::regex_match(campaign, std::regex("[^|]+\\|[^|]+\\|.*"))) << campaign;

  const auto delivered = ad["timestamp_delivered"].get<std::string>();
  ASSERT_TRUE(std::regex_match(delivered, std::regex("[0-9]+"))) << delivered;
  EXPECT_GE(std::stoll(delivered), before);
  EXPECT_LE(std::stoll(delivered), before + 60);
  ASSERT_TRUE(ad["expiry"].is_number_integer());
  EXPECT_GT(ad["expiry"].get<long long>(), std::stoll(delivered));

  const auto& normal = ad["templateSettings"]["normal_replacements"];
  ASSERT_TRUE(normal.is_object());
  for (const auto& [key, value] : normal.items()) {
    EXPECT_TRUE(value.is_string()) << key;
  }
  EXPECT_EQ(normal["ASOI_SETTINGS"], "aggressive");
  EXPECT_EQ(normal["AUTO_CLOSE_SECONDS"], "0");
  EXPECT_EQ(normal["COUNTDOWN_SECONDS"], "3");
  EXPECT_EQ(normal["PLACEMENT_ID"], "rewarded_video");

  const auto& cacheable = ad["templateSettings"]["cacheable_replacements"];
  ASSERT_TRUE(cacheable.contains("MAIN_IMAGE"));
  for (const auto& [name, entry] : cacheable.items()) {
    EXPECT_TRUE(entry["url"].get<std::string>().starts_with(server.BaseUrl() + "/assets/")) << name;
    EXPECT_EQ(entry["extension"], "png") << name;
  }

  const auto& tpat = ad["tpat"];
  for (const auto* event : {"impression", "click", "successful_view", "close"}) {
    ASSERT_TRUE(tpat[event].is_array()) << event;
    ASSERT_FALSE(tpat[event].empty()) << event;
    for (const auto& url : tpat[event]) {
      EXPECT_TRUE(url.get<std::string>().starts_with(server.BaseUrl() + "/tpat/")) << url;
    }
  }
  const auto impression = tpat["impression"][0].get<std::string>();
  const auto count = [&](const std::string& macro) {
    std::size_t n = 0;
    for (auto at = impression.find(macro); at != std::string::npos; at = impression.find(macro, at + 1)) {
      ++n;
    }
    return n;
  };
  EXPECT_EQ(count("%timestamp%"), 2u);
  EXPECT_EQ(count("{{{vlen}}}"), 2u);
  for (const auto* macro : {"{{{carrier}}}", "{{{time_dl}}}", "{{{vol}}}", "{{{remote_play}}}", "{{{is_success}}}",
                            "{{{session_id}}}"}) {
    EXPECT_EQ(count(macro), 1u) << macro;
  }
}

TEST_F(AdServerRoutesTest, EveryPartOfTheAdDownloadsFromTheServer) {
  const auto ad = Markup("interstitial");
  auto client = Client(server.Port());

  const auto bundle = client.Get(PathOf(ad["templateURL"].get<std::string>()));
  ASSERT_TRUE(bundle);
  EXPECT_EQ(bundle->status, 200);
  EXPECT_EQ(bundle->get_header_value("Content-Type"), "application/zip");
  std::map<std::string, std::string> files;
  for (const auto& entry : test::ReadZip(bundle->body)) {
    files[entry.name] = entry.data;
  }
  ASSERT_TRUE(files.contains("index.html"));
  EXPECT_TRUE(files.contains("images/")) << "the sub-folder has its own entry";
  for (const auto* name : {"index.html", "creative.js", "style.css", "images/kestrel.png"}) {
    ASSERT_TRUE(files.contains(name)) << name;
    EXPECT_EQ(files[name], ReadFile(kCreativeDir / name)) << name;
  }

  for (const auto& [name, entry] : ad["templateSettings"]["cacheable_replacements"].items()) {
    const auto asset = client.Get(PathOf(entry["url"].get<std::string>()));
    ASSERT_TRUE(asset) << name;
    EXPECT_EQ(asset->status, 200) << name;
    EXPECT_EQ(asset->get_header_value("Content-Type"), "image/png") << name;
    EXPECT_TRUE(asset->body.starts_with("\x89PNG\r\n\x1a\n")) << name;
  }

  for (const auto& [event, urls] : ad["tpat"].items()) {
    for (const auto& url : urls) {
      const auto hit = client.Get(PathOf(url.get<std::string>()));
      ASSERT_TRUE(hit) << url;
      EXPECT_EQ(hit->status, 200) << url;
    }
  }
  const auto hits = server.Requests("/tpat/");
  EXPECT_EQ(hits.size(), 6u);
  for (const auto& hit : hits) {
    EXPECT_EQ(hit.route, "tpat");
    EXPECT_EQ(hit.Param("ev"), ad["id"]);
  }
}

TEST_F(AdServerRoutesTest, EachAnswerIsANewAdForTheRequestedPlacement) {
  const auto first = Markup("interstitial");
  const auto second = Markup("interstitial");
  const auto other = Markup("hb_banner");
  EXPECT_NE(first["id"], second["id"]);
  EXPECT_EQ(first["templateSettings"]["normal_replacements"]["PLACEMENT_ID"], "interstitial");
  EXPECT_EQ(other["templateSettings"]["normal_replacements"]["PLACEMENT_ID"], "hb_banner");
  EXPECT_NE(first["tpat"]["click"][0], second["tpat"]["click"][0]) << "tracking URLs name their ad";
}

TEST_F(AdServerRoutesTest, AdsRefusesBodiesWithoutAPlacementAndHasNoFillForUnknownOnes) {
  auto client = Client(server.Port());
  const auto unknown = client.Post("/ads", AdsBody("no_such_placement"), "application/json");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 200);
  EXPECT_EQ(JsonOf(unknown), nlohmann::json::parse(R"({"ads":null})"));

  for (const std::string body : {"not json", "{}", R"({"request":{"placements":[]}})",
                                 R"({"request":{"placements":[7]}})", R"({"request":{"placements":"interstitial"}})"}) {
    const auto bad = client.Post("/ads", body, "application/json");
    ASSERT_TRUE(bad) << body;
    EXPECT_EQ(bad->status, 400) << body;
    EXPECT_TRUE(JsonOf(bad)["error"].is_string()) << body;
  }
}

TEST_F(AdServerRoutesTest, RecordsTheExactHeadersBodyAndQuerySent) {
  auto client = Client(server.Port());
  const httplib::Headers headers{{"User-Agent", "TovaneWindows/7.0.1 (Windows 10; native)"},
                                 {"Tovane-Version", "5.10.0"},
                                 {"Accept-Language", "en-us"},
                                 {"X-Kestrel-Win-Platform", "Win32"}};
  const auto body = AdsBody("rewarded_video");
  ASSERT_TRUE(client.Post("/ads", headers, body, "application/json"));

  const auto records = server.Requests("/ads");
  ASSERT_EQ(records.size(), 1u);
  const auto& r = records[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.route, "ads");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, body);
  EXPECT_EQ(r.BodyJson(), nlohmann::json::parse(body));
  for (const auto& [name, value] : headers) {
    EXPECT_EQ(r.Header(name), value) << name;
  }
  EXPECT_EQ(r.Header("tovane-version"), "5.10.0") << "header names match without regard to case";
  EXPECT_EQ(r.Header("Content-Type"), "application/json");
  EXPECT_TRUE(r.Header("REMOTE_ADDR").empty()) << "headers the library adds are not recorded";

  // The query as sent, macros untouched, and decoded beside it.
  const std::string target = "/tpat/impression?ev=a%20b&ts=%timestamp%&v={{{vlen}}}&flag";
  const auto raw = test::RawExchange(server.Port(), "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_TRUE(raw.head.starts_with("HTTP/1.1 200")) << raw.head;
  const auto hit = server.Requests("/tpat/impression");
  ASSERT_EQ(hit.size(), 1u);
  EXPECT_EQ(hit[0].target, target);
  EXPECT_EQ(hit[0].query, "ev=a%20b&ts=%timestamp%&v={{{vlen}}}&flag");
  EXPECT_EQ(hit[0].Param("ev"), "a b");
  EXPECT_EQ(hit[0].Param("v"), "{{{vlen}}}");
  EXPECT_EQ(hit[0].method, "GET");
  EXPECT_TRUE(hit[0].body.empty());
}

TEST_F(AdServerRoutesTest, ControlEndpointListsRequestsAndResetForgetsThem) {
  auto client = Client(server.Port());
  ASSERT_TRUE(client.Post("/config", "{}", "application/json"));
  ASSERT_TRUE(client.Post("/ads", AdsBody("interstitial"), "application/json"));
  ASSERT_TRUE(client.Get("/tpat/click?ev=1"));

  const auto all = JsonOf(client.Get("/_control/requests"));
  ASSERT_EQ(all.size(), 3u) << "control requests are not recorded";
  EXPECT_EQ(all[0]["path"], "/config");
  EXPECT_EQ(all[1]["path"], "/ads");
  EXPECT_EQ(all[1]["json"]["request"]["placements"][0], "interstitial");
  EXPECT_EQ(all[1]["headers"]["Content-Type"], "application/json");
  EXPECT_EQ(all[2]["query"], "ev=1");
  EXPECT_EQ(all[2]["params"]["ev"], "1");
  EXPECT_LT(all[0]["seq"].get<int>(), all[1]["seq"].get<int>());
  for (const auto& r : all) {
    EXPECT_EQ(r["status"], 200);
  }
  const auto tpat = JsonOf(client.Get("/_control/requests?prefix=/tpat/"));
  ASSERT_EQ(tpat.size(), 1u);
  EXPECT_EQ(tpat[0]["path"], "/tpat/click");

  server.SetFault("ads=status:500");
  const auto reset = client.Post("/_control/reset", "", "application/json");
  ASSERT_TRUE(reset);
  EXPECT_EQ(reset->status, 200);
  EXPECT_TRUE(JsonOf(client.Get("/_control/requests")).empty());
  EXPECT_EQ(client.Post("/ads", AdsBody("interstitial"), "application/json")->status, 200) << "faults are cleared too";
}

TEST_F(AdServerRoutesTest, HeaderBiddingMarkupWrapsAnAdForThePlacement) {
  auto client = Client(server.Port());
  const auto markup = JsonOf(client.Get("/hb/markup?placement=hb_banner"));
  EXPECT_EQ(markup["version"], 2);
  ASSERT_TRUE(markup["adunit"].is_string());
  const auto ads = nlohmann::json::parse(BidMarkup::DecodeAdUnit(markup["adunit"].get<std::string>()));
  const auto& ad = ads["ads"][0]["ad_markup"];
  EXPECT_EQ(ad["adType"], "tovane_mraid");
  EXPECT_EQ(ad["templateSettings"]["normal_replacements"]["PLACEMENT_ID"], "hb_banner");
  EXPECT_EQ(ad["templateURL"], server.BaseUrl() + "/bundles/sample.zip");

  ASSERT_EQ(markup["impression"].size(), 1u);
  const auto impression = markup["impression"][0].get<std::string>();
  EXPECT_TRUE(impression.starts_with(server.BaseUrl() + "/hb/impression?")) << impression;
  EXPECT_NE(impression.find("ev=" + ad["id"].get<std::string>()), std::string::npos) << impression;
  ASSERT_TRUE(client.Get(PathOf(impression)));
  const auto hits = server.Requests("/hb/impression");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].route, "impression");
  EXPECT_EQ(hits[0].Param("placement"), "hb_banner");

  const auto posted = JsonOf(client.Post("/hb/markup", R"({"placement":"interstitial"})", "application/json"));
  EXPECT_EQ(nlohmann::json::parse(BidMarkup::DecodeAdUnit(posted["adunit"]))["ads"][0]["ad_markup"]
                ["templateSettings"]["normal_replacements"]["PLACEMENT_ID"],
            "interstitial");
  EXPECT_EQ(JsonOf(client.Get("/hb/markup?placement=hb_banner&version=1"))["version"], 1);
  EXPECT_EQ(client.Get("/hb/markup?placement=nope")->status, 404);
  EXPECT_EQ(client.Get("/hb/markup")->status, 400);
  EXPECT_EQ(client.Get("/hb/markup?placement=hb_banner&version=two")->status, 400);
}

TEST_F(AdServerRoutesTest, UnknownPathsAndAssetsOutsideTheFolderAre404AndRecorded) {
  auto client = Client(server.Port());
  EXPECT_EQ(client.Get("/assets/missing.png")->status, 404);
  EXPECT_EQ(client.Get("/bundles/other.zip")->status, 404);
  for (const std::string target : {"/assets/..%2Fconfig.json", "/assets/.hidden", "/nothing/here"}) {
    const auto raw = test::RawExchange(server.Port(), "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(raw.head.starts_with("HTTP/1.1 404")) << target << ": " << raw.head;
    EXPECT_EQ(raw.body.find("placements"), std::string::npos) << target;
  }
  const auto unknown = server.Requests("/nothing");
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_EQ(unknown[0].route, "unknown");
  EXPECT_EQ(unknown[0].status, 404);

  // A method no route takes is refused by the library, and still recorded.
  const auto refused = test::RawExchange(server.Port(), "OPTIONS /ads HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_TRUE(refused.head.starts_with("HTTP/1.1 404")) << refused.head;
  const auto ads = server.Requests("/ads");
  ASSERT_EQ(ads.size(), 1u);
  EXPECT_EQ(ads[0].method, "OPTIONS");
  EXPECT_EQ(ads[0].route, "rejected");
  EXPECT_EQ(ads[0].status, 404);
}

TEST_F(AdServerRoutesTest, AnswersParallelRequestsEachWithItsOwnAd) {
  constexpr int kClients = 8;
  constexpr int kEach = 10;
  std::vector<std::future<std::vector<std::string>>> tasks;
  for (int c = 0; c < kClients; ++c) {
    tasks.push_back(std::async(std::launch::async, [this] {
      std::vector<std::string> ids;
      auto client = Client(server.Port());
      client.set_keep_alive(true);
      for (int i = 0; i < kEach; ++i) {
        const auto doc = JsonOf(client.Post("/ads", AdsBody("interstitial"), "application/json"));
        ids.push_back(doc["ads"][0]["ad_markup"]["id"].get<std::string>());
      }
      return ids;
    }));
  }
  std::set<std::string> ids;
  for (auto& task : tasks) {
    for (const auto& id : task.get()) {
      ids.insert(id);
    }
  }
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kClients * kEach));
  const auto records = server.Requests("/ads");
  EXPECT_EQ(records.size(), static_cast<std::size_t>(kClients * kEach));
  EXPECT_TRUE(std::ranges::all_of(records, [](const RecordedRequest& r) { return r.status == 200; }));
}

TEST(AdServerRecordFileTest, WritesOneJsonLinePerAnsweredRequest) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("kestrel-adserver-record-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                     "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".jsonl");
  {
    auto options = LocalAdServer::QuietOptions();
    options.recordFile = file;
    LocalAdServer server(options);
    server.Start();
    auto client = Client(server.Port());
    ASSERT_TRUE(client.Post("/config", "{}", "application/json"));
    ASSERT_TRUE(client.Get("/tpat/close?ev=9"));
    server.Stop();
  }
  std::ifstream in(file);
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(nlohmann::json::parse(line));
  }
  std::filesystem::remove(file);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["path"], "/config");
  EXPECT_EQ(lines[0]["status"], 200);
  EXPECT_EQ(lines[1]["path"], "/tpat/close");
  EXPECT_EQ(lines[1]["params"]["ev"], "9");
}

TEST(AdServerOptionsTest, AutoCloseAndCountdownReachTheCreative) {
  auto options = LocalAdServer::QuietOptions();
  options.autoCloseSeconds = 4;
  options.countdownSeconds = 0;
  LocalAdServer server(options);
  server.Start();
  auto client = Client(server.Port());
  const auto doc = JsonOf(client.Post("/ads", AdsBody("rewarded_video"), "application/json"));
  const auto& normal = doc["ads"][0]["ad_markup"]["templateSettings"]["normal_replacements"];
  EXPECT_EQ(normal["AUTO_CLOSE_SECONDS"], "4");
  EXPECT_EQ(normal["COUNTDOWN_SECONDS"], "0");
}

TEST(AdServerStartTest, RefusesAFixturesFolderWithoutConfig) {
  auto options = LocalAdServer::QuietOptions();
  options.fixturesDir = std::filesystem::temp_directory_path() / "kestrel-adserver-no-such-folder";
  LocalAdServer server(options);
  EXPECT_THROW(server.Start(), std::runtime_error);
}

TEST(LocalAdServerLifeTest, StopRightAfterStartFreesThePort) {
  for (int round = 0; round < 10; ++round) {
    LocalAdServer server;
    server.Start();
    const int port = server.Port();
    server.Stop();
    auto client = Client(port);
    client.set_connection_timeout(std::chrono::seconds(2));
    client.set_read_timeout(std::chrono::seconds(2));
    EXPECT_FALSE(client.Get("/config")) << "round " << round << ": port " << port << " still accepts";
  }
}

}  // namespace
}  // namespace kestrel::adserver
