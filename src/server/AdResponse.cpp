#include "server/AdResponse.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "base/Log.h"
#include "base/Now.h"
#include "config/JsonReadRules.h"
#include "net/RequestBase.h"
#include "server/AdMarkupModel.h"

namespace kestrel {
namespace {

using Json = nlohmann::json;

// The member that must hold an object; null counts as an empty one.
const Json& ObjectAt(const Json& parent, const char* key) {
  const Json& value = parent.at(key);
  if (!value.is_object() && !value.is_null()) {
    throw std::runtime_error(std::string("\"") + key + "\" must be an object, but is " + value.type_name());
  }
  return value;
}

std::int32_t ReadTimestampDelivered(const AdMarkupModel& model) {
  const std::string text = model.Text("timestamp_delivered");
  if (text.empty()) {
    LogWarn("timestamp_delivered was missing from /ads response. Will set it from SDK.");
    return NowSeconds();
  }
  try {
    return std::stoi(text);
  } catch (const std::exception& e) {
    LogException(e);
    LogError("Couldn't read timestamp_delivered from /ads response. Will set it from SDK.");
    return NowSeconds();
  }
}

// Whole seconds (toward zero) as 100 ns ticks; values beyond the tick range are clamped.
std::int64_t SecondsToTicks(double seconds) {
  constexpr double kMaxSeconds = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 10'000'000);
  if (std::isnan(seconds)) return 0;
  const double whole = std::trunc(seconds);
  if (whole >= kMaxSeconds) return std::numeric_limits<std::int64_t>::max() / 10'000'000 * 10'000'000;
  if (whole <= -kMaxSeconds) return std::numeric_limits<std::int64_t>::min() / 10'000'000 * 10'000'000;
  return static_cast<std::int64_t>(whole) * 10'000'000;
}

}  // namespace

AdResponse::AdResponse() : m_expiry(NowTicks()) {
  m_timestampDelivered = NowSeconds();
}

void AdResponse::ParseAdMarkup(const AdMarkupModel& model) {
  m_eventId = model.Text("id");
  m_adType = model.Text("adType");
  m_callToActionDest = model.Text("callToActionDest");
  m_callToActionUrl = model.Text("callToActionUrl");
  m_templateUrl = model.Text("templateURL");

  // "campaign id|creative id|further text"
  const std::string campaign = model.Text("campaign");
  const auto firstBar = campaign.find('|');
  m_campaignId = campaign.substr(0, firstBar);
  m_creativeId.clear();
  if (firstBar != std::string::npos) {
    const auto secondBar = campaign.find('|', firstBar + 1);
    if (secondBar != std::string::npos) m_creativeId = campaign.substr(firstBar + 1, secondBar - firstBar - 1);
  }

  m_bidToken = model.Text("bid_token");
  m_timestampDelivered = ReadTimestampDelivered(model);
  m_expiry = SecondsToTicks(model.Number("expiry"));

  const Json& settings = model.Markup().at("templateSettings");
  m_normalReplacements.clear();
  for (const auto& [name, value] : ObjectAt(settings, "normal_replacements").items()) {
    m_normalReplacements[name] = value.is_string() ? value.get<std::string>() : std::string();
  }
  m_cacheableReplacements.clear();
  for (const auto& [name, entry] : ObjectAt(settings, "cacheable_replacements").items()) {
    const bool usable = entry.is_object() && entry.contains("extension") && entry.contains("url") &&
                        !entry.at("extension").is_null() && !entry.at("url").is_null();
    if (!usable) {
      LogError("Received a bad Cacheable Replacement: " + entry.dump());
      continue;
    }
    m_cacheableReplacements[name] = JsonReadRules::Text(entry, "url");
  }

  m_tpats.clear();
  for (const auto& [event, urls] : ObjectAt(model.Markup(), "tpat").items()) {
    if (!urls.is_array()) continue;
    m_tpats[event] = urls.get<std::vector<std::string>>();
  }

  m_templateType = model.Text("template_type");

  LogInfo("Parsed AdResponse: EventId=" + m_eventId + ", AdType=" + m_adType + "\r\n\tCreativeID: " + m_creativeId +
          "\r\n\tCampaign ID: " + m_campaignId + "\r\n\tTemplateUrl:" + m_templateUrl);
}

std::unordered_map<std::string, std::string> AdResponse::GetTemplateReplacements() const {
  auto replacements = m_normalReplacements;
  replacements["templateURL"] = m_templateUrl;
  for (const auto& [name, url] : m_cacheableReplacements) replacements[name] = url;
  return replacements;
}

}  // namespace kestrel
