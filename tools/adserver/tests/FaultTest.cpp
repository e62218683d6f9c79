// Fault plans: parsing them, spending their count, and what each mode does on the wire.

#include <gtest/gtest.h>

#include <zip.h>

#include <chrono>
#include <future>

#include "AdDocument.h"
#include "BidMarkup.h"
#include "Fault.h"
#include "FaultPlan.h"
#include "LocalAdServer.h"
#include "TestHttp.h"

namespace kestrel::adserver {
namespace {

using namespace std::chrono_literals;
using test::AdsBody;
using test::Client;
using test::JsonOf;

TEST(FaultParseTest, ReadsRouteModeShorthandAndSettings) {
  const auto status = Fault::Parse("ads=status:503,count=2");
  EXPECT_EQ(status.route, FaultRoute::Ads);
  EXPECT_EQ(status.mode, FaultMode::Status);
  EXPECT_EQ(status.status, 503);
  EXPECT_EQ(status.count, 2);

  const auto slow = Fault::Parse("bundle=slow:50,chunk=512,delay_ms=10");
  EXPECT_EQ(slow.intervalMs, 50);
  EXPECT_EQ(slow.chunkBytes, 512u);
  EXPECT_EQ(slow.delayMs, 10);

  EXPECT_EQ(Fault::Parse("config=delay:1500").delayMs, 1500);
  EXPECT_EQ(Fault::Parse("tpat=close:10").bytes, 10u);
  EXPECT_EQ(Fault::Parse("bundle=large").bytes, 20'000'000u);
  EXPECT_EQ(Fault::Parse("bundle=large:3000").bytes, 3000u);
  const auto sleep = Fault::Parse("hb=sleep:45,info=maintenance");
  EXPECT_EQ(sleep.sleepSeconds, 45);
  EXPECT_EQ(sleep.info, "maintenance");
  EXPECT_EQ(Fault::Parse("ads=body:{\"a\":1,\"b\":[2,3]}").body, "{\"a\":1,\"b\":[2,3]}") << "a body keeps its commas";
  EXPECT_EQ(Fault::Parse("impression=none").mode, FaultMode::None);
}

TEST(FaultParseTest, RefusesWhatItCannotRead) {
  for (const auto* text : {"ads", "ads=", "nowhere=status", "ads=explode", "ads=corrupt", "config=sleep",
                           "tpat=wrongtypes", "ads=status:abc", "ads=status:99", "ads=status:-1", "ads=notjson:3",
                           "ads=delay:10,bogus=1", "ads=delay:10,count", "ads=slow:10,chunk=0"}) {
    EXPECT_THROW(Fault::Parse(text), std::invalid_argument) << text;
  }
}

TEST(FaultJsonTest, RoundTripsAndValidates) {
  for (const auto* text : {"ads=status:418,count=3", "ads=delay:200", "bundle=slow:20,chunk=7", "tpat=close:5",
                           "config=notjson", "hb=sleep:9,info=why", "ads=wrongtypes", "bundle=corrupt",
                           "bundle=zipslip", "bundle=large:1000", "config=body:{}", "asset=status:404,delay_ms=30"}) {
    const auto fault = Fault::Parse(text);
    const auto again = Fault::FromJson(fault.ToJson());
    EXPECT_EQ(again.ToJson(), fault.ToJson()) << text;
  }
  EXPECT_THROW(Fault::FromJson(nlohmann::json::array()), std::invalid_argument);
  EXPECT_THROW(Fault::FromJson({{"route", "ads"}}), std::invalid_argument);
  EXPECT_THROW(Fault::FromJson({{"route", "ads"}, {"mode", "status"}, {"status", "500"}}), std::invalid_argument);
  EXPECT_THROW(Fault::FromJson({{"route", "ads"}, {"mode", "body"}, {"body", 5}}), std::invalid_argument);
}

TEST(FaultPlanTest, CountIsSpentPerAnswerAndZeroMeansUntilCleared) {
  FaultPlan plan;
  plan.Set(Fault::Parse("ads=status:500,count=2"));
  plan.Set(Fault::Parse("tpat=notjson"));
  EXPECT_TRUE(plan.Take(FaultRoute::Ads));
  EXPECT_TRUE(plan.Take(FaultRoute::Ads));
  EXPECT_FALSE(plan.Take(FaultRoute::Ads));
  EXPECT_FALSE(plan.Take(FaultRoute::Config));
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(plan.Take(FaultRoute::Tpat));
  }
  plan.Set(Fault::Parse("tpat=none"));
  EXPECT_FALSE(plan.Take(FaultRoute::Tpat));
  plan.Set(Fault::Parse("bundle=corrupt"));
  plan.Set(Fault::Parse("bundle=zipslip"));
  EXPECT_EQ(plan.ToJson().size(), 1u) << "one fault per route: the later replaces the earlier";
  EXPECT_EQ(plan.Take(FaultRoute::Bundle)->mode, FaultMode::ZipSlip);
  plan.Clear();
  EXPECT_TRUE(plan.ToJson().empty());
}

class FaultServerTest : public ::testing::Test {
 protected:
  void SetUp() override { server.Start(); }

  httplib::Result PostAds(httplib::Client& client) {
    return client.Post("/ads", AdsBody("interstitial"), "application/json");
  }

  LocalAdServer server;
};

TEST_F(FaultServerTest, StatusSpoilsCountAnswersThenTheRouteRecovers) {
  server.SetFault("ads=status:503,count=2");
  auto client = Client(server.Port());
  for (int i = 0; i < 2; ++i) {
    const auto spoiled = PostAds(client);
    ASSERT_TRUE(spoiled);
    EXPECT_EQ(spoiled->status, 503);
    EXPECT_EQ(JsonOf(spoiled)["status"], 503);
  }
  EXPECT_EQ(client.Post("/config", "{}", "application/json")->status, 200) << "other routes are untouched";
  EXPECT_EQ(PostAds(client)->status, 200);

  const auto records = server.Requests("/ads");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].fault, "status");
  EXPECT_EQ(records[0].status, 503);
  EXPECT_EQ(records[2].fault, "");
  EXPECT_EQ(records[2].status, 200);
}

TEST_F(FaultServerTest, ControlEndpointSetsListsAndClearsFaults) {
  auto client = Client(server.Port());
  const auto set = client.Post("/_control/fault", R"([{"route":"config","mode":"notjson"},
                                                      {"route":"tpat","mode":"status","status":404,"count":1}])",
                               "application/json");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->status, 200);
  EXPECT_EQ(JsonOf(client.Get("/_control/faults")).size(), 2u);

  const auto config = client.Post("/config", "{}", "application/json");
  ASSERT_TRUE(config);
  EXPECT_EQ(config->status, 200);
  EXPECT_TRUE(nlohmann::json::parse(config->body, nullptr, false).is_discarded()) << config->body;
  EXPECT_EQ(client.Get("/tpat/click")->status, 404);
  EXPECT_EQ(client.Get("/tpat/click")->status, 200);

  for (const std::string bad : {"not json", R"({"route":"ads","mode":"corrupt"})", R"({"mode":"status"})"}) {
    const auto refused = client.Post("/_control/fault", bad, "application/json");
    ASSERT_TRUE(refused) << bad;
    EXPECT_EQ(refused->status, 400) << bad;
    EXPECT_TRUE(JsonOf(refused)["error"].is_string()) << bad;
  }
  EXPECT_EQ(JsonOf(client.Get("/_control/faults")).size(), 1u) << "refused faults change nothing";

  ASSERT_TRUE(client.Post("/_control/fault", R"({"route":"config","mode":"none"})", "application/json"));
  EXPECT_TRUE(JsonOf(client.Get("/_control/faults")).empty());
  EXPECT_TRUE(JsonOf(client.Post("/config", "{}", "application/json")).is_object());
}

TEST_F(FaultServerTest, DelayHoldsTheAnswerAfterTheRequestIsRecorded) {
  server.SetFault("config=delay:1500");
  const auto start = std::chrono::steady_clock::now();
  auto answer = std::async(std::launch::async, [this] {
    auto client = Client(server.Port());
    return client.Post("/config", "{}", "application/json");
  });
  ASSERT_TRUE(server.WaitForRequests("/config", 1));
  EXPECT_EQ(server.Requests("/config")[0].status, 0) << "recorded on arrival, before the answer";
  const auto result = answer.get();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1500ms);
  EXPECT_TRUE(JsonOf(result).contains("endpoints"));
  EXPECT_EQ(server.Requests("/config")[0].fault, "delay");
}

TEST_F(FaultServerTest, StopEndsDelayedAndTrickledAnswersAtOnce) {
  server.SetFault("config=delay:600000");
  server.SetFault("ads=slow:600000");
  auto delayed = std::async(std::launch::async, [this] {
    return Client(server.Port()).Post("/config", "{}", "application/json");
  });
  auto trickled = std::async(std::launch::async, [this] {
    auto client = Client(server.Port());
    return client.Post("/ads", AdsBody("interstitial"), "application/json");
  });
  ASSERT_TRUE(server.WaitForRequests("/config", 1));
  ASSERT_TRUE(server.WaitForRequests("/ads", 1));
  const auto start = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  const auto first = delayed.get();
  EXPECT_TRUE(!first || first->status == 503);
  const auto second = trickled.get();
  EXPECT_FALSE(second && second->status == 200 && JsonOf(second).is_object()) << "the trickled body is never complete";
}

TEST_F(FaultServerTest, SlowTricklesTheBodyInChunks) {
  server.SetFault("ads=slow:40,chunk=256");
  auto client = Client(server.Port());
  const auto start = std::chrono::steady_clock::now();
  const auto result = PostAds(client);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  const auto chunks = (result->body.size() + 255) / 256;
  ASSERT_GE(chunks, 4u);
  EXPECT_GE(elapsed, (chunks - 1) * 40ms);
  EXPECT_EQ(JsonOf(result)["ads"][0]["ad_markup"]["adType"], "tovane_mraid") << "the body arrives whole";
}

TEST_F(FaultServerTest, SlowBodyTripsAClientReadTimeout) {
  server.SetFault("bundle=slow:5000");
  auto client = Client(server.Port());
  client.set_read_timeout(1s);
  const auto result = client.Get("/bundles/sample.zip");
  EXPECT_FALSE(result);
  if (!result) {
    EXPECT_EQ(result.error(), httplib::Error::Read);
  }
}

TEST_F(FaultServerTest, CloseSendsPartOfTheAnnouncedBodyThenHangsUp) {
  server.SetFault("ads=close");
  const auto body = AdsBody("interstitial");
  const auto request = "POST /ads HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n\r\n" + body;
  const auto half = test::RawExchange(server.Port(), request);
  EXPECT_TRUE(half.head.starts_with("HTTP/1.1 200")) << half.head;
  EXPECT_TRUE(half.closed);
  ASSERT_GT(half.ContentLength(), 0);
  EXPECT_EQ(static_cast<long long>(half.body.size()), half.ContentLength() / 2);

  server.SetFault("bundle=close:10");
  const auto ten = test::RawExchange(server.Port(), "GET /bundles/sample.zip HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_TRUE(ten.closed) << "the keep-alive connection is closed too";
  EXPECT_EQ(ten.body.size(), 10u);
  EXPECT_GT(ten.ContentLength(), 10);
}

TEST_F(FaultServerTest, NotJsonAndBodyReplaceTheAnswer) {
  auto client = Client(server.Port());
  server.SetFault("hb=notjson");
  const auto html = client.Get("/hb/markup?placement=hb_banner");
  ASSERT_TRUE(html);
  EXPECT_EQ(html->status, 200);
  EXPECT_TRUE(nlohmann::json::parse(html->body, nullptr, false).is_discarded());

  server.SetFault(R"(config=body:{"endpoints":{"ads":"{{BASE_URL}}/ads"}})");
  const auto config = JsonOf(client.Post("/config", "{}", "application/json"));
  EXPECT_EQ(config, nlohmann::json({{"endpoints", {{"ads", server.BaseUrl() + "/ads"}}}}));
}

TEST_F(FaultServerTest, SleepAnswersCarrySleepAndInfoInTheAdMarkup) {
  server.SetFault("ads=sleep:45,info=too many requests");
  auto client = Client(server.Port());
  const auto doc = JsonOf(PostAds(client));
  EXPECT_EQ(doc, nlohmann::json::parse(R"({"ads":[{"ad_markup":{"sleep":45,"info":"too many requests"}}]})"));

  server.SetFault("hb=sleep");
  const auto markup = JsonOf(client.Get("/hb/markup?placement=hb_banner"));
  EXPECT_EQ(markup["version"], 2);
  const auto inner = nlohmann::json::parse(BidMarkup::DecodeAdUnit(markup["adunit"]));
  EXPECT_EQ(inner["ads"][0]["ad_markup"]["sleep"], 30);
  EXPECT_TRUE(inner["ads"][0]["ad_markup"]["info"].is_string());
}

TEST_F(FaultServerTest, WrongTypesGivesEveryFieldAnotherJsonType) {
  auto client = Client(server.Port());
  const auto good = JsonOf(PostAds(client))["ads"][0]["ad_markup"];
  server.SetFault("ads=wrongtypes");
  const auto bad = JsonOf(PostAds(client))["ads"][0]["ad_markup"];

  for (const auto& [key, value] : good.items()) {
    if (key == "templateSettings" || key == "tpat") {
      continue;
    }
    ASSERT_TRUE(bad.contains(key)) << key;
    EXPECT_NE(bad[key].type(), value.type()) << key;
  }
  EXPECT_TRUE(bad["sleep"].is_string());
  EXPECT_FALSE(bad["info"].is_string());
  for (const auto& [name, value] : bad["templateSettings"]["normal_replacements"].items()) {
    EXPECT_FALSE(value.is_string()) << name;
  }
  for (const auto& [name, entry] : bad["templateSettings"]["cacheable_replacements"].items()) {
    const bool usable = entry.is_object() && entry.contains("url") && entry.contains("extension") &&
                        !entry["url"].is_null() && !entry["extension"].is_null();
    EXPECT_FALSE(usable) << name;
  }
  for (const auto& [event, urls] : bad["tpat"].items()) {
    EXPECT_FALSE(urls.is_array()) << event;
  }

  server.SetFault("hb=wrongtypes");
  const auto markup = JsonOf(client.Get("/hb/markup?placement=hb_banner"));
  EXPECT_FALSE(markup["version"].is_number());
  EXPECT_FALSE(markup["adunit"].is_string());
  EXPECT_FALSE(markup["impression"].is_array());
}

TEST_F(FaultServerTest, BundleFaultsServeDamagedArchives) {
  auto client = Client(server.Port());
  const auto good = client.Get("/bundles/sample.zip");
  ASSERT_TRUE(good);

  server.SetFault("bundle=corrupt,count=1");
  const auto corrupt = client.Get("/bundles/sample.zip");
  ASSERT_TRUE(corrupt);
  EXPECT_EQ(corrupt->status, 200);
  EXPECT_THROW(test::ReadZip(corrupt->body), std::runtime_error);
  EXPECT_TRUE(corrupt->body.starts_with(good->body.substr(0, 4))) << "still looks like a zip at first";

  server.SetFault("bundle=zipslip,count=1");
  std::set<std::string> names;
  for (const auto& entry : test::ReadZip(client.Get("/bundles/sample.zip")->body)) {
    names.insert(entry.name);
  }
  for (const auto* name : {"index.html", "images/kestrel.png", "../evil.txt", "images/../../evil-nested.txt",
                           "/tmp/kestrel-adserver-evil.txt"}) {
    EXPECT_TRUE(names.contains(name)) << name;
  }

  server.SetFault("bundle=large:3000000,count=1");
  const auto large = client.Get("/bundles/sample.zip");
  ASSERT_TRUE(large);
  EXPECT_GT(large->body.size(), 3'000'000u);
  EXPECT_EQ(large->get_header_value("Content-Length"), std::to_string(large->body.size()));
  bool filler = false;
  for (const auto& entry : test::ReadZip(large->body)) {
    if (entry.name == "filler.bin") {
      filler = true;
      EXPECT_EQ(entry.data.size(), 3'000'000u);
      EXPECT_EQ(entry.method, ZIP_CM_STORE);
    }
  }
  EXPECT_TRUE(filler);

  EXPECT_EQ(client.Get("/bundles/sample.zip")->body, good->body) << "each fault was spent after one answer";
}

}  // namespace
}  // namespace kestrel::adserver
