#include <gtest/gtest.h>

#include "config/ConfigDocument.h"
#include "config/EndpointController.h"
#include "config/JsonReadRules.h"
#include "support/LogCapture.h"

namespace kestrel {
namespace {

using nlohmann::json;
using R = JsonReadRules;

TEST(JsonReadRulesTest, TextIsSilentAndEmptyForAnythingButAString) {
  test::LogCapture log;
  const json o = {{"s", "abc"}, {"n", 5}, {"z", nullptr}, {"b", true}};
  EXPECT_EQ(R::Text(o, "s"), "abc");
  EXPECT_EQ(R::Text(o, "n"), "");
  EXPECT_EQ(R::Text(o, "z"), "");
  EXPECT_EQ(R::Text(o, "b"), "");
  EXPECT_EQ(R::Text(o, "missing"), "");
  EXPECT_EQ(R::Text(json::array({1}), "s"), "");
  EXPECT_TRUE(log.Events().empty());
}

TEST(JsonReadRulesTest, BoolLogsTheTypeErrorForNonBooleans) {
  test::LogCapture log;
  const json o = {{"t", true}, {"f", false}, {"s", "true"}, {"z", nullptr}, {"n", 1}};
  EXPECT_TRUE(R::Bool(o, "t"));
  EXPECT_FALSE(R::Bool(o, "f"));
  EXPECT_FALSE(R::Bool(o, "z"));
  EXPECT_FALSE(R::Bool(o, "missing"));
  EXPECT_TRUE(log.Events().empty());
  EXPECT_FALSE(R::Bool(o, "s"));
  EXPECT_FALSE(R::Bool(o, "n"));
  EXPECT_EQ(log.Messages(),
            (std::vector<std::string>{"type must be boolean, but is string", "type must be boolean, but is number"}));
  for (const auto& e : log.Events()) EXPECT_EQ(e.Level, LogLevel::Error);
}

TEST(JsonReadRulesTest, IntTruncatesAndLogsTheTypeErrorForOtherTypes) {
  test::LogCapture log;
  const json o = json::parse(R"({"f": 2.9, "neg": -2.9, "t": true, "fa": false, "s": "5", "z": null,
                                "big": 4294967297, "huge": 1e300, "i": -17, "o": {}})");
  EXPECT_EQ(R::Int(o, "f"), 2);
  EXPECT_EQ(R::Int(o, "neg"), -2);
  EXPECT_EQ(R::Int(o, "t"), 1);
  EXPECT_EQ(R::Int(o, "fa"), 0);
  EXPECT_EQ(R::Int(o, "z"), 0);
  EXPECT_EQ(R::Int(o, "missing"), 0);
  EXPECT_EQ(R::Int(o, "big"), 1);  // cut to 32 bits
  EXPECT_EQ(R::Int(o, "huge"), 0);
  EXPECT_EQ(R::Int(o, "i"), -17);
  EXPECT_TRUE(log.Events().empty());
  EXPECT_EQ(R::Int(o, "s"), 0);
  EXPECT_EQ(R::Int(o, "o"), 0);
  EXPECT_EQ(log.Messages(),
            (std::vector<std::string>{"type must be number, but is string", "type must be number, but is object"}));
}

TEST(JsonReadRulesTest, ErrorTextDropsTheLibraryTag) {
  try {
    (void)json::parse("{}").at("endpoints");
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_EQ(R::ErrorText(e), "key 'endpoints' not found");
  }
  EXPECT_EQ(R::ErrorText(std::runtime_error("plain")), "plain");
}

TEST(ConfigDocumentTest, ParseFailureLogsAndGivesNull) {
  test::LogCapture log;
  EXPECT_EQ(ConfigDocument::Parse("not json"), nullptr);
  EXPECT_EQ(ConfigDocument::Parse("{\"a\":1} // comment"), nullptr);
  EXPECT_EQ(log.Events().size(), 2u);
  ASSERT_NE(ConfigDocument::Parse("{}"), nullptr);
}

TEST(ConfigDocumentTest, PlacementCountAndIndex) {
  test::LogCapture log;
  EXPECT_EQ(ConfigDocument::PlacementCount(json::parse(R"({"placements": []})")), 0u);
  EXPECT_EQ(ConfigDocument::PlacementCount(json::parse(R"({"placements": null})")), 0u);
  EXPECT_EQ(ConfigDocument::PlacementCount(json::parse(R"({"placements": [{}, null, {}]})")), 3u);
  EXPECT_EQ(ConfigDocument::PlacementCount(json::parse(R"({"placements": {"a": 1, "b": 2}})")), 2u);
  EXPECT_EQ(ConfigDocument::PlacementCount(json::parse(R"({"placements": "x"})")), 1u);
  EXPECT_TRUE(log.Events().empty());
  EXPECT_EQ(ConfigDocument::PlacementCount(json::parse("{}")), 0u);
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"key 'placements' not found"});

  log.Clear();
  const auto doc = json::parse(R"({"placements": [null, {"reference_id": "p"}]})");
  EXPECT_TRUE(ConfigDocument::PlacementAt(doc, 0).is_null());
  EXPECT_EQ(ConfigDocument::PlacementAt(doc, 1)["reference_id"], "p");
  EXPECT_TRUE(ConfigDocument::PlacementAt(json::parse(R"({"placements": {"a": 1}})"), 0).is_null());
  EXPECT_EQ(log.Count("cannot use operator[] with a numeric argument with object", LogLevel::Error), 1);
}

TEST(ConfigDocumentTest, PlacementRecordFollowsTheReadRules) {
  test::LogCapture log;
  auto record = ConfigDocument::ReadPlacement(json::parse(
      R"({"reference_id": "rewarded", "is_auto_cached": true, "is_incentivized": "true", "header_bidding": true,
          "max_hb_cache": 2.9})"));
  EXPECT_EQ(record.ReferenceId, "rewarded");
  EXPECT_TRUE(record.IsAutoCached);
  EXPECT_FALSE(record.IsIncentivized);
  EXPECT_TRUE(record.HeaderBidding);
  EXPECT_EQ(record.MaxHbCache, 2);
  EXPECT_EQ(log.Count("type must be boolean, but is string", LogLevel::Error), 1);

  record = ConfigDocument::ReadPlacement(json::parse(R"({"reference_id": 12, "max_hb_cache": true})"));
  EXPECT_EQ(record.ReferenceId, "");
  EXPECT_EQ(record.MaxHbCache, 1);
  record = ConfigDocument::ReadPlacement(json::parse(R"({"max_hb_cache": "5"})"));
  EXPECT_EQ(record.MaxHbCache, 0);
  EXPECT_EQ(log.Count("type must be number, but is string", LogLevel::Error), 1);
}

TEST(ConfigDocumentTest, RequiredAndOptionalObjects) {
  test::LogCapture log;
  const auto doc = json::parse(R"({"endpoints": {"ads": 5, "log": "l"}, "template": {}})");
  EXPECT_EQ(ConfigDocument::AdsEndpoint(doc), "");  // a number reads as empty
  EXPECT_EQ(ConfigDocument::LogEndpoint(doc), "l");
  EXPECT_FALSE(ConfigDocument::HeartbeatCheckEnabled(doc));
  EXPECT_TRUE(log.Events().empty());

  EXPECT_EQ(ConfigDocument::RefreshTime(doc), 0);  // "config" is optional: one Error line
  EXPECT_EQ(ConfigDocument::GdprConsentTitle(doc), "");
  EXPECT_FALSE(ConfigDocument::GdprIsCountryDataProtected(doc));
  EXPECT_EQ(log.Count("key 'config' not found", LogLevel::Error), 1);
  EXPECT_EQ(log.Count("key 'gdpr' not found", LogLevel::Error), 2);

  EXPECT_THROW(ConfigDocument::AdsEndpoint(json::parse("{}")), nlohmann::json::out_of_range);
  EXPECT_THROW(ConfigDocument::HeartbeatCheckEnabled(json::parse("[]")), nlohmann::json::type_error);
}

TEST(EndpointTest, JoinUrlUsesOneSlash) {
  EXPECT_EQ(JoinUrl("https://a.example/", "/config"), "https://a.example/config");
  EXPECT_EQ(JoinUrl("https://a.example", "config"), "https://a.example/config");
  EXPECT_EQ(JoinUrl("https://a.example/", "config"), "https://a.example/config");
  EXPECT_EQ(JoinUrl("  \t", "/config"), "/config");
  EXPECT_EQ(JoinUrl(" http://h:1/api \n", ""), "http://h:1/api");
}

TEST(EndpointTest, ConfigUrlStartsFromTheBuiltInEndpoint) {
  EndpointController endpoints;
  EXPECT_EQ(endpoints.GetConfigUrl(), "https://config.kestrel-ads.example/config");
  EXPECT_EQ(endpoints.GetAdsUrl(), "");
  endpoints.SetAdsUrl("http://x/ads");
  endpoints.SetSdkBiEndpoint("bi");
  EXPECT_EQ(endpoints.GetAdsUrl(), "http://x/ads");
  EXPECT_EQ(endpoints.GetSdkBiEndpoint(), "bi");
  EXPECT_EQ(endpoints.GetLogEndpoint(), "");
  EXPECT_TRUE(endpoints.Initialize().get());
}

}  // namespace
}  // namespace kestrel
