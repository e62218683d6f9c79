#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "kestrel/KestrelAds.h"

namespace kestrel {

// Reading operations over a parsed /config document. "endpoints" and
// "template" are required: reading them throws the JSON library's error when
// they are missing. Every other read gives a default instead, logging where
// the value had the wrong type or an optional object was missing.
class ConfigDocument {
 public:
  // Null, with the parse error logged, when the text is not JSON.
  static std::shared_ptr<const nlohmann::json> Parse(const std::string& text);

  static std::size_t PlacementCount(const nlohmann::json& doc);
  static nlohmann::json PlacementAt(const nlohmann::json& doc, std::size_t index);
  static PlacementRecord ReadPlacement(const nlohmann::json& placement);

  static std::string AdsEndpoint(const nlohmann::json& doc);
  static std::string NewEndpoint(const nlohmann::json& doc);
  static std::string LogEndpoint(const nlohmann::json& doc);
  static std::string RiEndpoint(const nlohmann::json& doc);
  static std::string SdkBiEndpoint(const nlohmann::json& doc);

  static std::int32_t RefreshTime(const nlohmann::json& doc);
  static bool HeartbeatCheckEnabled(const nlohmann::json& doc);
  static bool DisableAdId(const nlohmann::json& doc);
  static std::string ConfigExtension(const nlohmann::json& doc);

  static bool GdprIsCountryDataProtected(const nlohmann::json& doc);
  static std::string GdprConsentTitle(const nlohmann::json& doc);
  static std::string GdprConsentMessage(const nlohmann::json& doc);
  static std::string GdprConsentMessageVersion(const nlohmann::json& doc);
  static std::string GdprButtonAccept(const nlohmann::json& doc);
  static std::string GdprButtonDeny(const nlohmann::json& doc);
};

}  // namespace kestrel
