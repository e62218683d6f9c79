#include "AdDocument.h"

#include <cctype>
#include <initializer_list>
#include <utility>

namespace kestrel::adserver {

namespace {

constexpr int kExpirySeconds = 3600;
constexpr std::string_view kClickThrough = "https://www.example.com/kestrel-demo";

nlohmann::json List(std::initializer_list<std::string> items) {
  auto list = nlohmann::json::array();
  for (const auto& item : items) {
    list.push_back(item);
  }
  return list;
}

nlohmann::json AdsWith(nlohmann::json markup) {
  nlohmann::json ad;
  ad["ad_markup"] = std::move(markup);
  nlohmann::json doc;
  doc["ads"] = nlohmann::json::array();
  doc["ads"].push_back(std::move(ad));
  return doc;
}

}  // namespace

AdDocument::AdDocument(std::string baseUrl, int autoCloseSeconds, int countdownSeconds)
    : m_baseUrl(std::move(baseUrl)), m_autoCloseSeconds(autoCloseSeconds), m_countdownSeconds(countdownSeconds) {}

nlohmann::json AdDocument::Ad(const std::string& placement, const std::string& eventId,
                              std::int64_t nowSeconds) const {
  const nlohmann::json normal{
      {"ASOI_SETTINGS", "aggressive"},
      {"AUTO_CLOSE_SECONDS", std::to_string(m_autoCloseSeconds)},
      {"COUNTDOWN_SECONDS", std::to_string(m_countdownSeconds)},
      {"TITLE", "Kestrel sample ad"},
      {"BODY_TEXT", "A small MRAID creative served by the local ad server."},
      {"CTA_TEXT", "Learn more"},
      {"CTA_URL", std::string(kClickThrough) + "?placement=" + PercentEncode(placement)},
      {"PLACEMENT_ID", placement},
      {"EVENT_ID", eventId},
      {"INCENTIVIZED_TITLE_TEXT", "Close this ad?"},
      {"INCENTIVIZED_BODY_TEXT", "Watch until the end to earn your reward."},
      {"INCENTIVIZED_CLOSE_TEXT", "Close"},
      {"INCENTIVIZED_CONTINUE_TEXT", "Keep watching"},
  };
  const nlohmann::json cacheable{
      {"MAIN_IMAGE", {{"url", m_baseUrl + "/assets/main.png"}, {"extension", "png"}}},
      {"APP_ICON", {{"url", m_baseUrl + "/assets/icon.png"}, {"extension", "png"}}},
  };
  const nlohmann::json markup{
      {"id", eventId},
      {"adType", "tovane_mraid"},
      {"template_type", "interstitial"},
      {"templateURL", m_baseUrl + std::string(kBundlePath)},
      {"callToActionDest", kClickThrough},
      {"callToActionUrl", std::string(kClickThrough) + "?ev=" + PercentEncode(eventId)},
      {"campaign", "cmp-1001|crv-2002|" + placement},
      {"bid_token", "bid-" + eventId},
      {"timestamp_delivered", std::to_string(nowSeconds)},
      {"expiry", nowSeconds + kExpirySeconds},
      {"templateSettings", {{"normal_replacements", normal}, {"cacheable_replacements", cacheable}}},
      {"tpat", Tpat(eventId)},
  };
  return AdsWith(markup);
}

nlohmann::json AdDocument::Tpat(const std::string& eventId) const {
  const auto url = [&](std::string_view event, std::string_view extra) {
    return m_baseUrl + "/tpat/" + std::string(event) + "?ev=" + PercentEncode(eventId) + std::string(extra);
  };
  // Every macro the SDK fills, "%timestamp%" and "{{{vlen}}}" twice.
  const std::string macros =
      "&ts=%timestamp%&ts2=%timestamp%&carrier={{{carrier}}}&time_dl={{{time_dl}}}&vol={{{vol}}}"
      "&remote_play={{{remote_play}}}&is_success={{{is_success}}}&session={{{session_id}}}"
      "&vlen={{{vlen}}}&vlen2={{{vlen}}}";
  return {
      {"impression", List({url("impression", macros), url("partner/impression", "")})},
      {"click", List({url("click", "&ts=%timestamp%")})},
      {"successful_view", List({url("successful_view", "&ts=%timestamp%&vlen={{{vlen}}}")})},
      {"close", List({url("close", "&ts=%timestamp%")})},
      {"consent", List({url("consent", "&ts=%timestamp%")})},
  };
}

nlohmann::json AdDocument::Sleep(int seconds, const std::string& info) {
  return AdsWith({{"sleep", seconds}, {"info", info}});
}

nlohmann::json AdDocument::WrongTypes() const {
  const nlohmann::json markup{
      {"id", 1001},
      {"adType", true},
      {"template_type", 7},
      {"templateURL", List({m_baseUrl + std::string(kBundlePath)})},
      {"callToActionDest", nlohmann::json::object()},
      {"callToActionUrl", 3.5},
      {"campaign", 123},
      {"bid_token", false},
      {"timestamp_delivered", 1700000000},
      {"expiry", "tomorrow"},
      {"sleep", "30"},
      {"info", 42},
      {"templateSettings",
       {{"normal_replacements", {{"ASOI_SETTINGS", 1}, {"TITLE", nullptr}, {"CTA_TEXT", List({"Learn more"})}}},
        {"cacheable_replacements",
         {{"MAIN_IMAGE", {{"url", m_baseUrl + "/assets/main.png"}}},
          {"APP_ICON", "icon.png"},
          {"FONT_URL", {{"url", nullptr}, {"extension", "ttf"}}}}}}},
      {"tpat", {{"impression", m_baseUrl + "/tpat/impression"}, {"click", {{"url", m_baseUrl + "/tpat/click"}}}}},
  };
  return AdsWith(markup);
}

nlohmann::json AdDocument::NoFill() { return {{"ads", nullptr}}; }

std::string AdDocument::PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

}  // namespace kestrel::adserver
