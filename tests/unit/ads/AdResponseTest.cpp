#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "server/AdMarkupModel.h"
#include "server/AdResponse.h"
#include "support/LogCapture.h"

namespace kestrel {
namespace {

using nlohmann::json;
using test::LogCapture;

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

std::int32_t NowSeconds() {
  using namespace std::chrono;
  return static_cast<std::int32_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
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

TEST(AdResponseTest, ParseFillsEveryFieldAndLogsTheAd) {
  LogCapture log;
  AdResponse ad;
  ad.ParseAdMarkup(AdMarkupModel(Body(Markup())));

  EXPECT_EQ(ad.m_eventId, "event-1");
  EXPECT_EQ(ad.m_adType, "tovane_mraid");
  EXPECT_EQ(ad.m_templateType, "flexview");
  EXPECT_EQ(ad.m_templateUrl, "http://127.0.0.1/bundles/bundle.zip");
  EXPECT_EQ(ad.m_callToActionUrl, "ms-windows-store://pdp/?productid=X");
  EXPECT_EQ(ad.m_campaignId, "123");
  EXPECT_EQ(ad.m_creativeId, "456");
  EXPECT_EQ(ad.m_bidToken, "tok");
  EXPECT_EQ(ad.m_timestampDelivered, 1700000000);
  EXPECT_EQ(ad.m_expiry, 17000001000000000);  // the fraction of a second is dropped
  EXPECT_EQ(ad.m_normalReplacements.at("TITLE"), "Hello");
  EXPECT_EQ(ad.m_normalReplacements.at("COUNT"), "");  // not a string
  EXPECT_EQ(ad.m_cacheableReplacements.size(), 1u);
  EXPECT_EQ(ad.m_cacheableReplacements.at("APP_ICON"), "http://127.0.0.1/assets/icon.png");
  EXPECT_EQ(ad.m_tpats.size(), 1u);
  EXPECT_EQ(ad.m_tpats.at("impression"), (std::vector<std::string>{"http://t/1", "http://t/2"}));

  EXPECT_EQ(
      log.Count(R"(Received a bad Cacheable Replacement: {"url":"http://127.0.0.1/assets/v.mp4"})", LogLevel::Error),
      1);
  EXPECT_EQ(log.Count("Parsed AdResponse: EventId=event-1, AdType=tovane_mraid\r\n\tCreativeID: 456\r\n\t"
                      "Campaign ID: 123\r\n\tTemplateUrl:http://127.0.0.1/bundles/bundle.zip",
                      LogLevel::Info),
            1);

  // Cacheable entries win over normal ones and over "templateURL".
  const auto replacements = ad.GetTemplateReplacements();
  EXPECT_EQ(replacements.at("APP_ICON"), "http://127.0.0.1/assets/icon.png");
  EXPECT_EQ(replacements.at("templateURL"), "http://127.0.0.1/bundles/bundle.zip");
  EXPECT_EQ(replacements.at("TITLE"), "Hello");
  auto markup = Markup();
  markup["templateSettings"]["cacheable_replacements"]["templateURL"] = {{"url", "http://c/t.zip"},
                                                                         {"extension", "zip"}};
  ad.ParseAdMarkup(AdMarkupModel(Body(markup)));
  EXPECT_EQ(ad.GetTemplateReplacements().at("templateURL"), "http://c/t.zip");
}

TEST(AdResponseTest, CampaignSplitsIntoCampaignAndCreative) {
  const std::pair<const char*, std::pair<const char*, const char*>> cases[] = {{"123", {"123", ""}},
                                                                               {"123|456", {"123", ""}},
                                                                               {"123|", {"123", ""}},
                                                                               {"123|456|789", {"123", "456"}},
                                                                               {"|456|", {"", "456"}}};
  for (const auto& [campaign, expected] : cases) {
    auto markup = Markup();
    markup["campaign"] = campaign;
    AdResponse ad;
    ad.ParseAdMarkup(AdMarkupModel(Body(markup)));
    EXPECT_EQ(ad.m_campaignId, expected.first) << campaign;
    EXPECT_EQ(ad.m_creativeId, expected.second) << campaign;
  }
}

TEST(AdResponseTest, UnreadableDeliveryTimesFallBackToNow) {
  struct Case {
    json value;
    int warnings;
    int errors;
  };
  const Case cases[] = {{json(1700000000), 1, 0}, {json("soon"), 0, 2}, {json("99999999999"), 0, 2}, {json(), 1, 0}};
  for (const auto& c : cases) {
    auto markup = Markup();
    markup["templateSettings"]["cacheable_replacements"].erase("MAIN_VIDEO");
    markup["timestamp_delivered"] = c.value;
    LogCapture log;
    AdResponse ad;
    const std::int32_t before = NowSeconds();
    ad.ParseAdMarkup(AdMarkupModel(Body(markup)));
    EXPECT_GE(ad.m_timestampDelivered, before) << c.value;
    EXPECT_LE(ad.m_timestampDelivered, NowSeconds()) << c.value;
    EXPECT_EQ(log.Count("timestamp_delivered was missing from /ads response. Will set it from SDK.", LogLevel::Warn),
              c.warnings);
    EXPECT_EQ(log.Count("Couldn't read timestamp_delivered from /ads response. Will set it from SDK.", LogLevel::Error),
              c.errors / 2);
    EXPECT_EQ(static_cast<int>(log.Events().size()) - 1, c.warnings + c.errors) << c.value;  // plus "Parsed"
  }
  // Leading blanks, a sign and trailing text are read as far as the digits go.
  auto markup = Markup();
  markup["timestamp_delivered"] = " +1700000001xyz";
  AdResponse ad;
  ad.ParseAdMarkup(AdMarkupModel(Body(markup)));
  EXPECT_EQ(ad.m_timestampDelivered, 1700000001);
}

TEST(AdResponseTest, MissingPartsAndBadTrackingListsThrow) {
  auto noTpat = Markup();
  noTpat.erase("tpat");
  auto noSettings = Markup();
  noSettings.erase("templateSettings");
  auto noCacheable = Markup();
  noCacheable["templateSettings"].erase("cacheable_replacements");
  auto numbers = Markup();
  numbers["tpat"]["impression"] = json::array({1});
  auto listOfReplacements = Markup();
  listOfReplacements["templateSettings"]["normal_replacements"] = json::array({"a"});

  for (const auto& markup : {noTpat, noSettings, noCacheable, listOfReplacements}) {
    AdResponse ad;
    EXPECT_ANY_THROW(ad.ParseAdMarkup(AdMarkupModel(Body(markup)))) << markup.dump();
  }
  AdResponse ad;
  try {
    ad.ParseAdMarkup(AdMarkupModel(Body(numbers)));
    ADD_FAILURE() << "a number in a tracking list must throw";
  } catch (const nlohmann::json::type_error& e) {
    EXPECT_NE(std::string(e.what()).find("type must be string, but is number"), std::string::npos);
  }
  EXPECT_EQ(ad.m_eventId, "event-1");  // fields read before the failure stay set
}

}  // namespace
}  // namespace kestrel
