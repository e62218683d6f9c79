// The command and privacy-page checks are written by hand so that no
// regular expression recurses over a long message; they must accept exactly
// what their patterns accept. Every combination of the pieces below is checked
// against std::regex (short texts, where the recursion is harmless).
#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "display/CreativeUrl.h"
#include "display/MraidCommand.h"
#include "display/StoreLink.h"

namespace kestrel {
namespace {

using Pieces = std::vector<std::vector<std::string>>;

// Every concatenation of one piece from each list, in order.
std::vector<std::string> Combinations(const Pieces& pieces) {
  std::vector<std::string> texts{""};
  for (const auto& choices : pieces) {
    std::vector<std::string> next;
    for (const auto& text : texts) {
      for (const auto& choice : choices) next.push_back(text + choice);
    }
    texts = std::move(next);
  }
  return texts;
}

TEST(UrlShapeTest, CommandCheckAcceptsWhatItsPatternAccepts) {
  const std::regex pattern(R"((http|https|mraid):\/\/[^\s/$.?#].[^\s]*)", std::regex::ECMAScript | std::regex::icase);
  const auto texts = Combinations({{"", "mraid", "MRaid", "http", "HTTPS", "ftp", "xmraid", "mraid:"},
                                   {"://", ":/", "//", ""},
                                   {"", "a", " ", "/", "$", ".", "?", "#", "\n", "\xc3"},
                                   {"", "b", " ", "\t", "\n", "\r", ".", "\xa4"},
                                   {"", "cd", "c d", "c\vd", "?x=1&y=2", "/p/q", "://", "\f"}});
  int accepted = 0;
  for (const auto& text : texts) {
    const bool expected = std::regex_match(text, pattern);
    accepted += expected ? 1 : 0;
    EXPECT_EQ(MraidCommand::IsCommandUrl(text), expected) << '"' << text << '"';
  }
  EXPECT_GT(accepted, 100);  // the table reaches both answers
  EXPECT_LT(accepted, static_cast<int>(texts.size()) / 2);
}

TEST(UrlShapeTest, PrivacyPageCheckAcceptsWhatItsPatternAccepts) {
  const std::regex pattern(R"((http|https)://([\w.-]+)(:[0-9]+)?(/[\w./-]*)?)");
  const auto texts = Combinations({{"http://", "https://", "HTTP://", "ftp://", "http:/", "https:://"},
                                   {"", "a", "a.b-c_D9", "a b", "\xc3\xa4", "-", "a/"},
                                   {"", ":", ":80", ":8a", "::1"},
                                   {"", "/", "/a/b.c-d_e", "/a b", "?q", "/a?b", "//", "/\xc3\xa4", "#x"}});
  int accepted = 0;
  for (const auto& text : texts) {
    const bool expected = std::regex_match(text, pattern);
    accepted += expected ? 1 : 0;
    EXPECT_EQ(CreativeUrl::IsPrivacyPageUrl(text), expected) << '"' << text << '"';
  }
  EXPECT_GT(accepted, 50);
  EXPECT_LT(accepted, static_cast<int>(texts.size()) / 2);
}

TEST(UrlShapeTest, MessagesUpToTheLimitAreCheckedWithoutRecursion) {
  const std::string longest = "mraid://tpat?pad=" + std::string(MraidCommand::kMaxLength - 17, 'x');
  ASSERT_EQ(longest.size(), MraidCommand::kMaxLength);
  EXPECT_TRUE(MraidCommand::IsCommandUrl(longest));
  EXPECT_FALSE(MraidCommand::IsCommandUrl(longest + "x"));
  EXPECT_FALSE(MraidCommand::IsCommandUrl(longest.substr(0, 100) + " " + longest.substr(101)));
  const std::string page = "https://example.com/" + std::string(MraidCommand::kMaxLength - 20, 'p');
  EXPECT_TRUE(CreativeUrl::IsPrivacyPageUrl(page));
  EXPECT_FALSE(CreativeUrl::IsPrivacyPageUrl(page + "p"));
}

TEST(UrlShapeTest, StoreLinksAreSearchedUpToTheirLimitOnly) {
  const std::string start = "https://www.microsoft.com/en-us/p/app/9WZDNCRFJ3TJ?pad=";
  const std::string longest = start + std::string(StoreLink::kMaxUrlLength - start.size(), 'x');
  EXPECT_EQ(StoreLink::FindProductId(longest), "9WZDNCRFJ3TJ");
  EXPECT_EQ(StoreLink::FindProductId(longest + "x"), std::nullopt);
  // A message at the command limit is passed over, not searched.
  const std::string huge = "https://www.microsoft.com/store/apps/" + std::string(MraidCommand::kMaxLength, 'a');
  EXPECT_EQ(StoreLink::FindProductId(huge), std::nullopt);
}

}  // namespace
}  // namespace kestrel
