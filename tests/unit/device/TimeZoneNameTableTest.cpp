#include <gtest/gtest.h>

#include <cwctype>
#include <utility>
#include <vector>

#include "device/TimeZoneNameTable.h"

namespace kestrel {
namespace {

// A sample across the table: first and last keys, keys with dots, parentheses and signs.
const std::vector<std::pair<std::wstring, std::string>> kSample = {
    {L"afghanistan standard time", "Asia/Kabul"},
    {L"argentina standard time", "America/Argentina/Buenos_Aires"},
    {L"aus eastern standard time", "Australia/Sydney"},
    {L"e. south america standard time", "America/Sao_Paulo"},
    {L"pacific standard time (mexico)", "America/Tijuana"},
    {L"utc-02", "Etc/GMT+2"},
    {L"w. central africa standard time", "Africa/Lagos"},
    {L"yakutsk standard time", "Asia/Yakutsk"},
};

// "w. europe standard time" as Windows writes it: "W. Europe Standard Time".
std::wstring TitleCase(std::wstring key) {
  bool start = true;
  for (wchar_t& c : key) {
    if (start) c = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
    start = c == L' ' || c == L'(' || c == L'-';
  }
  return key;
}

TEST(TimeZoneNameTableTest, EveryKeyMapsInAnyCaseAndWithTrailingBlanks) {
  for (const auto& [key, iana] : kSample) {
    EXPECT_EQ(MapWindowsTimeZoneToIana(key), iana);
    EXPECT_EQ(MapWindowsTimeZoneToIana(TitleCase(key)), iana);
    EXPECT_EQ(MapWindowsTimeZoneToIana(TitleCase(key) + L"  \t\r\n"), iana);
  }
}

TEST(TimeZoneNameTableTest, NotedRows) {
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"W. Europe Standard Time"), "Europe/Berlin");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"W. EUROPE STANDARD TIME\n"), "Europe/Berlin");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"UTC"), "Etc/UTC");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"UTC-02"), "Etc/GMT+2");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"Mid-Atlantic Standard Time"), "Etc/GMT+2");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"UTC+12"), "Etc/GMT-12");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"Dateline Standard Time"), "Etc/GMT+12");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"Central Standard Time (Mexico)"), "America/Mexico_City");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"Central Standard Time"), "America/Chicago");
}

TEST(TimeZoneNameTableTest, UnknownEmptyAndMalformedKeys) {
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"Line Islands Standard Time"), "Etc/Unknown");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L""), "Etc/Unknown");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L" \t\r\n"), "Etc/Unknown");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L" UTC"), "Etc/Unknown");  // nothing is trimmed on the left
  // The key ends at its first zero unit and after 128 units.
  EXPECT_EQ(MapWindowsTimeZoneToIana(std::wstring(L"UTC\0garbage", 11)), "Etc/UTC");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"UTC" + std::wstring(125, L' ') + L"x"), "Etc/UTC");
  EXPECT_EQ(MapWindowsTimeZoneToIana(L"UTC" + std::wstring(124, L' ') + L"x"), "Etc/Unknown");
}

}  // namespace
}  // namespace kestrel
