#include "platform/TimeZoneNameTable.h"

#include <algorithm>
#include <cwctype>
#include <unordered_map>

namespace kestrel {
namespace {

constexpr std::size_t kMaxKeyLength = 128;

// Windows key names in lower case → IANA names.
const std::unordered_map<std::wstring, std::string>& TimeZoneNameTable() {
  static const std::unordered_map<std::wstring, std::string> table = {
      {L"afghanistan standard time", "Asia/Kabul"},
      {L"alaskan standard time", "America/Anchorage"},
      {L"aleutian standard time", "America/Adak"},
      {L"altai standard time", "Asia/Barnaul"},
      {L"arab standard time", "Asia/Riyadh"},
      {L"arabian standard time", "Asia/Dubai"},
      {L"arabic standard time", "Asia/Baghdad"},
      {L"argentina standard time", "America/Argentina/Buenos_Aires"},
      {L"astrakhan standard time", "Europe/Astrakhan"},
      {L"atlantic standard time", "America/Halifax"},
      {L"aus central standard time", "Australia/Darwin"},
      {L"aus eastern standard time", "Australia/Sydney"},
      {L"azerbaijan standard time", "Asia/Baku"},
      {L"azores standard time", "Atlantic/Azores"},
      {L"bahia standard time", "America/Bahia"},
      {L"bangladesh standard time", "Asia/Dhaka"},
      {L"belarus standard time", "Europe/Minsk"},
      {L"bougainville standard time", "Pacific/Bougainville"},
      {L"canada central standard time", "America/Regina"},
      {L"cape verde standard time", "Atlantic/Cape_Verde"},
      {L"caucasus standard time", "Asia/Yerevan"},
      {L"cen. australia standard time", "Australia/Adelaide"},
      {L"central america standard time", "America/Guatemala"},
      {L"central asia standard time", "Asia/Almaty"},
      {L"central brazilian standard time", "America/Cuiaba"},
      {L"central europe standard time", "Europe/Budapest"},
      {L"central european standard time", "Europe/Warsaw"},
      {L"central pacific standard time", "Pacific/Guadalcanal"},
      {L"central standard time (mexico)", "America/Mexico_City"},
      {L"central standard time", "America/Chicago"},
      {L"chatham islands standard time", "Pacific/Chatham"},
      {L"china standard time", "Asia/Shanghai"},
      {L"cuba standard time", "America/Havana"},
      {L"dateline standard time", "Etc/GMT+12"},
      {L"e. africa standard time", "Africa/Nairobi"},
      {L"e. australia standard time", "Australia/Brisbane"},
      {L"e. europe standard time", "Europe/Chisinau"},
      {L"e. south america standard time", "America/Sao_Paulo"},
      {L"eastern standard time (mexico)", "America/Cancun"},
      {L"eastern standard time", "America/New_York"},
      {L"egypt standard time", "Africa/Cairo"},
      {L"ekaterinburg standard time", "Asia/Yekaterinburg"},
      {L"fiji standard time", "Pacific/Fiji"},
      {L"fle standard time", "Europe/Kiev"},
      {L"georgian standard time", "Asia/Tbilisi"},
      {L"gmt standard time", "Europe/London"},
      {L"greenland standard time", "America/Godthab"},
      {L"greenwich standard time", "Atlantic/Reykjavik"},
      {L"gtb standard time", "Europe/Bucharest"},
      {L"hawaiian standard time", "Pacific/Honolulu"},
      {L"india standard time", "Asia/Kolkata"},
      {L"iran standard time", "Asia/Tehran"},
      {L"israel standard time", "Asia/Jerusalem"},
      {L"jordan standard time", "Asia/Amman"},
      {L"kaliningrad standard time", "Europe/Kaliningrad"},
      {L"korea standard time", "Asia/Seoul"},
      {L"magadan standard time", "Asia/Magadan"},
      {L"mauritius standard time", "Indian/Mauritius"},
      {L"mid-atlantic standard time", "Etc/GMT+2"},
      {L"middle east standard time", "Asia/Beirut"},
      {L"montevideo standard time", "America/Montevideo"},
      {L"morocco standard time", "Africa/Casablanca"},
      {L"mountain standard time (mexico)", "America/Chihuahua"},
      {L"mountain standard time", "America/Denver"},
      {L"myanmar standard time", "Asia/Yangon"},
      {L"n. central asia standard time", "Asia/Novosibirsk"},
      {L"namibia standard time", "Africa/Windhoek"},
      {L"nepal standard time", "Asia/Kathmandu"},
      {L"new zealand standard time", "Pacific/Auckland"},
      {L"newfoundland standard time", "America/St_Johns"},
      {L"north asia east standard time", "Asia/Irkutsk"},
      {L"north asia standard time", "Asia/Krasnoyarsk"},
      {L"pacific sa standard time", "America/Santiago"},
      {L"pacific standard time (mexico)", "America/Tijuana"},
      {L"pacific standard time", "America/Los_Angeles"},
      {L"pakistan standard time", "Asia/Karachi"},
      {L"paraguay standard time", "America/Asuncion"},
      {L"romance standard time", "Europe/Paris"},
      {L"russian standard time", "Europe/Moscow"},
      {L"sa eastern standard time", "America/Cayenne"},
      {L"sa pacific standard time", "America/Bogota"},
      {L"sa western standard time", "America/La_Paz"},
      {L"samoa standard time", "Pacific/Apia"},
      {L"se asia standard time", "Asia/Bangkok"},
      {L"singapore standard time", "Asia/Singapore"},
      {L"south africa standard time", "Africa/Johannesburg"},
      {L"sri lanka standard time", "Asia/Colombo"},
      {L"syria standard time", "Asia/Damascus"},
      {L"taipei standard time", "Asia/Taipei"},
      {L"tasmania standard time", "Australia/Hobart"},
      {L"tokyo standard time", "Asia/Tokyo"},
      {L"tonga standard time", "Pacific/Tongatapu"},
      {L"turkey standard time", "Europe/Istanbul"},
      {L"us eastern standard time", "America/Indianapolis"},
      {L"us mountain standard time", "America/Phoenix"},
      {L"utc+12", "Etc/GMT-12"},
      {L"utc-02", "Etc/GMT+2"},
      {L"utc", "Etc/UTC"},
      {L"venezuela standard time", "America/Caracas"},
      {L"vladivostok standard time", "Asia/Vladivostok"},
      {L"west asia standard time", "Asia/Tashkent"},
      {L"west pacific standard time", "Pacific/Port_Moresby"},
      {L"w. central africa standard time", "Africa/Lagos"},
      {L"w. europe standard time", "Europe/Berlin"},
      {L"yakutsk standard time", "Asia/Yakutsk"},
  };
  return table;
}

}  // namespace

std::string MapWindowsTimeZoneToIana(std::wstring_view keyName) {
  std::wstring key(keyName.substr(0, std::min(keyName.find(L'\0'), kMaxKeyLength)));
  const auto last = key.find_last_not_of(L" \t\r\n");
  if (last != std::wstring::npos) key.erase(last + 1);
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));

  const auto& table = TimeZoneNameTable();
  const auto found = table.find(key);
  return found == table.end() ? "Etc/Unknown" : found->second;
}

}  // namespace kestrel
