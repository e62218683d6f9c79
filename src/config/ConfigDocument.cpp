#include "config/ConfigDocument.h"

#include "base/Log.h"
#include "config/JsonReadRules.h"

namespace kestrel {
namespace {

using R = JsonReadRules;

// A required object: the library's throwing access, errors go to the caller.
const nlohmann::json& Required(const nlohmann::json& doc, const char* key) {
  return doc.at(key);
}

// An optional object: the same access, but a failure is logged and the default returned.
template <typename T, typename Read>
T Optional(const nlohmann::json& doc, const char* key, T fallback, Read read) {
  try {
    return read(doc.at(key));
  } catch (const std::exception& e) {
    LogError(R::ErrorText(e));
    return fallback;
  }
}

}  // namespace

std::shared_ptr<const nlohmann::json> ConfigDocument::Parse(const std::string& text) {
  try {
    return std::make_shared<const nlohmann::json>(R::Parse(text));
  } catch (const std::exception& e) {
    LogError(R::ErrorText(e));
    return nullptr;
  }
}

std::size_t ConfigDocument::PlacementCount(const nlohmann::json& doc) {
  try {
    const auto& placements = doc.at("placements");
    if (placements.is_null()) return 0;
    if (placements.is_array() || placements.is_object()) return placements.size();
    return 1;
  } catch (const std::exception& e) {
    LogError(R::ErrorText(e));
    return 0;
  }
}

nlohmann::json ConfigDocument::PlacementAt(const nlohmann::json& doc, std::size_t index) {
  if (!doc.is_object()) return nullptr;
  auto it = doc.find("placements");
  if (it == doc.end() || it->is_null() || it->empty()) return nullptr;
  if (!it->is_array()) {
    LogError(std::string("cannot use operator[] with a numeric argument with ") + it->type_name());
    return nullptr;
  }
  return index < it->size() ? (*it)[index] : nlohmann::json();
}

PlacementRecord ConfigDocument::ReadPlacement(const nlohmann::json& placement) {
  PlacementRecord record;
  record.ReferenceId = R::Text(placement, "reference_id");
  record.IsAutoCached = R::Bool(placement, "is_auto_cached");
  record.IsIncentivized = R::Bool(placement, "is_incentivized");
  record.HeaderBidding = R::Bool(placement, "header_bidding");
  record.MaxHbCache = R::Int(placement, "max_hb_cache");
  return record;
}

std::string ConfigDocument::AdsEndpoint(const nlohmann::json& doc) {
  return R::Text(Required(doc, "endpoints"), "ads");
}
std::string ConfigDocument::NewEndpoint(const nlohmann::json& doc) {
  return R::Text(Required(doc, "endpoints"), "new");
}
std::string ConfigDocument::LogEndpoint(const nlohmann::json& doc) {
  return R::Text(Required(doc, "endpoints"), "log");
}
std::string ConfigDocument::RiEndpoint(const nlohmann::json& doc) {
  return R::Text(Required(doc, "endpoints"), "ri");
}
std::string ConfigDocument::SdkBiEndpoint(const nlohmann::json& doc) {
  return R::Text(Required(doc, "endpoints"), "sdk_bi");
}

std::int32_t ConfigDocument::RefreshTime(const nlohmann::json& doc) {
  return Optional<std::int32_t>(doc, "config", 0, [](const nlohmann::json& c) { return R::Int(c, "refresh_time"); });
}

bool ConfigDocument::HeartbeatCheckEnabled(const nlohmann::json& doc) {
  return R::Bool(Required(doc, "template"), "heartbeat_check_enabled");
}

bool ConfigDocument::DisableAdId(const nlohmann::json& doc) {
  return R::Bool(doc, "disable_ad_id");
}

std::string ConfigDocument::ConfigExtension(const nlohmann::json& doc) {
  return R::Text(doc, "config_extension");
}

bool ConfigDocument::GdprIsCountryDataProtected(const nlohmann::json& doc) {
  return Optional(doc, "gdpr", false, [](const nlohmann::json& g) { return R::Bool(g, "is_country_data_protected"); });
}

#define KESTREL_GDPR_TEXT(Name, key)                                                                      \
  std::string ConfigDocument::Name(const nlohmann::json& doc) {                                           \
    return Optional(doc, "gdpr", std::string(), [](const nlohmann::json& g) { return R::Text(g, key); }); \
  }

KESTREL_GDPR_TEXT(GdprConsentTitle, "consent_title")
KESTREL_GDPR_TEXT(GdprConsentMessage, "consent_message")
KESTREL_GDPR_TEXT(GdprConsentMessageVersion, "consent_message_version")
KESTREL_GDPR_TEXT(GdprButtonAccept, "button_accept")
KESTREL_GDPR_TEXT(GdprButtonDeny, "button_deny")

#undef KESTREL_GDPR_TEXT

}  // namespace kestrel
