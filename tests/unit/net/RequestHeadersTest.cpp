#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "NetTest.h"
#include "server/RequestBodies.h"
#include "net/RequestHeaders.h"
#include "net/TpatRequest.h"

namespace kestrel::test {
namespace {

TEST(RequestHeadersTest, UserAgentAndVersion) {
  EXPECT_EQ(GetSdkVersion(), "7.0.1");
  EXPECT_EQ(BuildSdkUserAgent("native"), "TovaneWindows/7.0.1 (Windows 10; native)");
  EXPECT_EQ(BuildSdkUserAgent(""), "TovaneWindows/7.0.1 (Windows 10)");
}

TEST(RequestHeadersTest, AcceptLanguageFollowsTheInterfaceLanguage) {
  struct Case {
    std::map<std::string, const char*> env;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {{}, "en-us"},
      {{{"LANG", "de_DE.UTF-8"}}, "de-de"},
      {{{"LANG", "C"}}, "en-us"},
      {{{"LANG", "C.UTF-8"}}, "en-us"},
      {{{"LANG", "POSIX"}}, "en-us"},
      {{{"LANG", ""}}, "en-us"},
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

TEST(RequestHeadersTest, StandardHeadersAreTheFour) {
  ScopedEnv env([] {
    auto values = NoLanguage();
    values["LANG"] = "de_DE.UTF-8";
    return values;
  }());
  TpatRequest request;
  ApplyStandardHeaders(request);
  const std::map<std::string, std::string> expected = {{"Accept-Language", "de-de"},
                                                       {"Tovane-Version", "5.10.0"},
                                                       {"User-Agent", "TovaneWindows/7.0.1 (Windows 10; native)"},
                                                       {"X-Kestrel-Win-Platform", "Win32"}};
  EXPECT_EQ(request.m_headers, expected);
}

TEST(RequestBodiesTest, MergeJsonIsDeepForObjectsOnly) {
  Json body;
  MergeJson(body, {{"user", {{"ccpa", {{"status", "opted_in"}}}}}});
  MergeJson(body, {{"user", {{"coppa", {{"is_coppa", "false"}}}}}});
  MergeJson(body, Json());               // null changes nothing
  MergeJson(body, Json::array({1, 2}));  // neither does any other non-object
  EXPECT_EQ(body.dump(), R"({"user":{"ccpa":{"status":"opted_in"},"coppa":{"is_coppa":"false"}}})");

  Json target = {{"list", {1, 2, 3}}, {"keep", 1}, {"gone", nullptr}};
  MergeJson(target, {{"list", {9}}, {"gone", {{"now", true}}}, {"keep", 2}});
  EXPECT_EQ(target.dump(), R"({"gone":{"now":true},"keep":2,"list":[9]})");
}

TEST(RequestBodiesTest, AdRequestObject) {
  EXPECT_EQ(BuildAdRequestObject("rewarded_video", false).dump(),
            R"({"request":{"header_bidding":false,"placements":["rewarded_video"]}})");
  EXPECT_EQ(BuildAdRequestObject("hb", true).dump(), R"({"request":{"header_bidding":true,"placements":["hb"]}})");
}

}  // namespace
}  // namespace kestrel::test
