#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kestrel::adserver {

// Builds the /ads answers: an ad whose bundle, images and tracking URLs all
// point back at this server, and the special answers used by faults.
class AdDocument {
 public:
  static constexpr std::string_view kBundlePath = "/bundles/sample.zip";

  // autoCloseSeconds 0 leaves closing to the user; countdownSeconds is the
  // time the creative waits before it reports a successful view.
  AdDocument(std::string baseUrl, int autoCloseSeconds, int countdownSeconds);

  // {"ads":[{"ad_markup":{...}}]} for the placement; eventId names this ad.
  nlohmann::json Ad(const std::string& placement, const std::string& eventId, std::int64_t nowSeconds) const;
  // The tracking URLs of the ad, by event name.
  nlohmann::json Tpat(const std::string& eventId) const;

  // {"ads":[{"ad_markup":{"sleep":N,"info":"..."}}]}
  static nlohmann::json Sleep(int seconds, const std::string& info);
  // An ad whose every field has the wrong JSON type.
  nlohmann::json WrongTypes() const;
  // {"ads":null}: no ad for this request.
  static nlohmann::json NoFill();

  static std::string PercentEncode(std::string_view text);

 private:
  std::string m_baseUrl;
  int m_autoCloseSeconds;
  int m_countdownSeconds;
};

}  // namespace kestrel::adserver
