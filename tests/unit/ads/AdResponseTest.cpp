#include "support/TestPrelude.h"

#include <nlohmann/json.hpp>

#include "server/AdMarkupModel.h"
#include "server/AdResponse.h"

namespace kestrel {
namespace {

using nlohmann::json;

json Markup() {
  return json{{"id", "event-1"},
              {"adType", "tovane_mraid"},
              {"template_type", "flexview"},
              {"templateURL", "http://127.0.0.1/bundles/bundle.zip"},
              {"callToActionUrl", "ms-windows-store://pdp/?productid=X"},
              {"campaign", "123|456|789"},
              {"bid_token", "tok"},
              {"timestamp_delivered", "1700000000"},
              {"expiry", 1700000100.9},
              {"templateSettings",
               {{"normal_replacements", {{"TITLE", "Hello"}, {"APP_ICON", "normal"}, {"COUNT", 3}}},
                {"cacheable_replacements",
                 {{"APP_ICON", {{"url", "http://127.0.0.1/assets/icon.png"}, {"extension", "png"}}},
                  {"MAIN_VIDEO", {{"url", "http://127.0.0.1/assets/v.mp4"}}}}}}},
              {"tpat", {{"impression", {"http://t/1", "http://t/2"}}, {"click", "not a list"}}}};
}

std::string Body(const json& markup) {
  return json{{"ads", json::array({json{{"ad_markup", markup}}})}}.dump();
}

TEST(AdMarkupModelTest, NullAdsOrNullFirstAdGiveANullMarkupAndOtherShapesThrow) {
  EXPECT_TRUE(AdMarkupModel(R"({"ads":null})").Markup().is_null());
  EXPECT_TRUE(AdMarkupModel(R"({"ads":[null]})").Markup().is_null());
  EXPECT_EQ(AdMarkupModel(R"({"ads":[{"ad_markup":{"id":"x"}}]})").Text("id"), "x");

  LogCapture log;
  for (const char* body : {R"({"ads":[]})", "{}", R"({"ads":{}})", R"({"ads":[{}]})", "[]", "not json"}) {
    EXPECT_THROW(AdMarkupModel{body}, nlohmann::json::exception) << body;
  }
  // A body that is not JSON is logged before the lookup fails.
  EXPECT_EQ(log.CountStartingWith("parse error at line 1, column 2: syntax error"), 1);
}

// One ad markup changed one way per row: what the parse reads, or that it throws.
TEST(AdResponseTest, EachMarkupVariantReadsByTheRulesOrThrows) {
  struct Row {
    const char* name;
    std::function<void(json&)> change;
    std::function<void(const AdResponse&)> check;  // none: the parse throws
  };
  const std::vector<Row> rows = {
      {"as sent", [](json&) {},
       [](const AdResponse& ad) {
         EXPECT_EQ(ad.m_campaignId, "123");
         EXPECT_EQ(ad.m_creativeId, "456");
         EXPECT_EQ(ad.m_expiry, 17000001000000000);  // the fraction of a second is dropped
         EXPECT_EQ(ad.m_normalReplacements.at("COUNT"), "");  // not a string
         EXPECT_EQ(ad.m_cacheableReplacements.size(), 1u);    // MAIN_VIDEO has no extension
         EXPECT_EQ(ad.m_tpats.at("impression"), (std::vector<std::string>{"http://t/1", "http://t/2"}));
         EXPECT_FALSE(ad.m_tpats.contains("click"));  // not a list
         // Cacheable entries win over normal ones.
         EXPECT_EQ(ad.GetTemplateReplacements().at("APP_ICON"), "http://127.0.0.1/assets/icon.png");
         EXPECT_EQ(ad.GetTemplateReplacements().at("templateURL"), "http://127.0.0.1/bundles/bundle.zip");
       }},
      {"cacheable templateURL",
       [](json& m) {
         m["templateSettings"]["cacheable_replacements"]["templateURL"] = {{"url", "http://c/t.zip"},
                                                                           {"extension", "zip"}};
       },
       [](const AdResponse& ad) { EXPECT_EQ(ad.GetTemplateReplacements().at("templateURL"), "http://c/t.zip"); }},
      {"campaign of one part", [](json& m) { m["campaign"] = "123|456"; },
       [](const AdResponse& ad) { EXPECT_EQ(ad.m_creativeId, ""); }},
      {"campaign without an id", [](json& m) { m["campaign"] = "|456|"; },
       [](const AdResponse& ad) { EXPECT_EQ(ad.m_campaignId, ""); }},
      {"delivery time with blanks and text", [](json& m) { m["timestamp_delivered"] = " +1700000001xyz"; },
       [](const AdResponse& ad) { EXPECT_EQ(ad.m_timestampDelivered, 1700000001); }},
      {"no tracking", [](json& m) { m.erase("tpat"); }, nullptr},
      {"no template settings", [](json& m) { m.erase("templateSettings"); }, nullptr},
      {"no cacheable replacements", [](json& m) { m["templateSettings"].erase("cacheable_replacements"); }, nullptr},
      {"a number in a tracking list", [](json& m) { m["tpat"]["impression"] = json::array({1}); }, nullptr},
      {"replacements as a list", [](json& m) { m["templateSettings"]["normal_replacements"] = json::array({"a"}); },
       nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    json markup = Markup();
    row.change(markup);
    AdResponse ad;
    if (!row.check) {
      EXPECT_ANY_THROW(ad.ParseAdMarkup(AdMarkupModel(Body(markup))));
      continue;
    }
    ad.ParseAdMarkup(AdMarkupModel(Body(markup)));
    EXPECT_EQ(ad.m_eventId, "event-1");
    row.check(ad);
  }
}

TEST(AdResponseTest, UnreadableDeliveryTimesFallBackToNow) {
  for (const json& value : {json(1700000000), json("soon"), json("99999999999"), json()}) {
    auto markup = Markup();
    markup["timestamp_delivered"] = value;
    AdResponse ad;
    const std::int32_t before = test::NowSeconds();
    ad.ParseAdMarkup(AdMarkupModel(Body(markup)));
    EXPECT_GE(ad.m_timestampDelivered, before) << value;
    EXPECT_LE(ad.m_timestampDelivered, test::NowSeconds()) << value;
  }
}

}  // namespace
}  // namespace kestrel
