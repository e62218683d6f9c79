#include "support/TestPrelude.h"

#include <cwctype>
#include <regex>

#include "platform/TimeZoneNameTable.h"

namespace kestrel {
namespace {

// The rows {L"windows key", "IANA name"} of the table's source file.
std::vector<std::pair<std::string, std::string>> SourceRows() {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(KESTREL_SOURCE_DIR) / "src")) {
    if (entry.path().filename() != "TimeZoneNameTable.cpp") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    const std::string source = text.str();
    const std::regex row(R"re(\{L"([^"]+)", "([^"]+)"\})re");
    for (auto it = std::sregex_iterator(source.begin(), source.end(), row); it != std::sregex_iterator(); ++it) {
      rows.emplace_back((*it)[1], (*it)[2]);
    }
  }
  return rows;
}

std::wstring TitleCase(const std::string& key) {
  std::wstring out;
  bool start = true;
  for (const char c : key) {
    const auto w = static_cast<wchar_t>(c);
    out += start ? static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(w))) : w;
    start = c == ' ' || c == '(' || c == '-';
  }
  return out;
}

// Each name the table gives is one the zone database knows, and each key maps in the registry's spelling.
TEST(TimeZoneNameTableTest, EveryRowNamesARealZoneAndMapsInAnyCase) {
  const fs::path zoneinfo = "/usr/share/zoneinfo";
  if (!fs::is_directory(zoneinfo / "Europe")) GTEST_SKIP() << "no zone database at " << zoneinfo;
  const auto rows = SourceRows();
  ASSERT_GT(rows.size(), 100u);
  for (const auto& [key, iana] : rows) {
    EXPECT_TRUE(fs::is_regular_file(zoneinfo / iana)) << iana << " (for " << key << ") is not a zone";
    EXPECT_EQ(MapWindowsTimeZoneToIana(TitleCase(key) + L"  \t\r\n"), iana) << key;
  }
}

TEST(TimeZoneNameTableTest, UnknownEmptyAndMalformedKeys) {
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"Line Islands Standard Time"), "Etc/Unknown");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L" \t\r\n"), "Etc/Unknown");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L" UTC"), "Etc/Unknown");  // nothing is trimmed on the left
  // The key ends at its first zero unit and after 128 units.
  EXPECT_EQ(MapWindowsTimeZoneToIana(std::wstring(L"UTC\0garbage", 11)), "Etc/UTC");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"UTC" + std::wstring(125, L' ') + L"x"), "Etc/UTC");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"UTC" + std::wstring(124, L' ') + L"x"), "Etc/Unknown");
}

}  // namespace
}  // namespace kestrel
