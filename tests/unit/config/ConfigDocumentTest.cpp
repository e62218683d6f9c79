#include "support/TestPrelude.h"

#include "config/ConfigDocument.h"
#include "config/EndpointController.h"
#include "config/JsonReadRules.h"

namespace kestrel {
namespace {

using nlohmann::json;
using R = JsonReadRules;

// How a member of any type reads as text, a flag or a number, and what is logged.
TEST(JsonReadRulesTest, EveryTypeReadsByTheRulesAndOnlyTypeErrorsAreLogged) {
  struct Row {
    const char* value;  // the member's JSON, absent when empty
    std::string text;
    bool flag;
    int number;
    const char* flagError;
    const char* numberError;
  };
  const char* const kBool = "type must be boolean, but is ";
  const char* const kNumber = "type must be number, but is ";
  const std::vector<Row> rows = {
      {"\"abc\"", "abc", false, 0, "string", "string"},
      {"true", "", true, 1, "", ""},
      {"false", "", false, 0, "", ""},
      {"null", "", false, 0, "", ""},
      {"", "", false, 0, "", ""},
      {"2.9", "", false, 2, "number", ""},
      {"-2.9", "", false, -2, "number", ""},
      {"4294967297", "", false, 1, "number", ""},  // cut to 32 bits
      {"1e300", "", false, 0, "number", ""},
      {"{}", "", false, 0, "object", "object"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    const json o = *row.value ? json{{"m", json::parse(row.value)}} : json::object();
    test::LogCapture log;
    EXPECT_EQ(R::Text(o, "m"), row.text);
    EXPECT_TRUE(log.Events().empty());
    EXPECT_EQ(R::Bool(o, "m"), row.flag);
    EXPECT_EQ(R::Int(o, "m"), row.number);
    std::vector<std::string> errors;
    if (*row.flagError) errors.push_back(kBool + std::string(row.flagError));
    if (*row.numberError) errors.push_back(kNumber + std::string(row.numberError));
    EXPECT_EQ(log.Messages(), errors);
  }
  EXPECT_EQ(R::Text(json::array({1}), "m"), "");
}

TEST(ConfigDocumentTest, UnreadableDocumentsAndMissingObjects) {
  test::LogCapture log;
  EXPECT_EQ(ConfigDocument::Parse("not json"), nullptr);
  EXPECT_EQ(ConfigDocument::Parse("{\"a\":1} // comment"), nullptr);
  EXPECT_EQ(log.Events().size(), 2u);
  log.Clear();
  // "endpoints" and "template" are required; "config" and "gdpr" are optional with an Error line.
  const auto doc = json::parse(R"({"endpoints": {"ads": 5, "log": "l"}, "template": {}})");
  EXPECT_EQ(ConfigDocument::AdsEndpoint(doc), "");
  EXPECT_EQ(ConfigDocument::RefreshTime(doc), 0);
  EXPECT_FALSE(ConfigDocument::GdprIsCountryDataProtected(doc));
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{"key 'config' not found", "key 'gdpr' not found"}));
  EXPECT_THROW(ConfigDocument::AdsEndpoint(json::parse("{}")), nlohmann::json::out_of_range);
  EXPECT_THROW(ConfigDocument::HeartbeatCheckEnabled(json::parse("[]")), nlohmann::json::type_error);
}

TEST(EndpointTest, JoinUrlUsesOneSlash) {
  for (const auto& [base, path, joined] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"https://a.example/", "/config", "https://a.example/config"},
           {"https://a.example", "config", "https://a.example/config"},
           {"  \t", "/config", "/config"},
           {" http://h:1/api \n", "", "http://h:1/api"}}) {
    EXPECT_EQ(JoinUrl(base, path), joined) << base << " + " << path;
  }
}

}  // namespace
}  // namespace kestrel
