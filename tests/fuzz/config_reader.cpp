// The /config answer as initialisation reads it: parse, the placements, the
// settings, the GDPR texts, then the required "template" and "endpoints".
#include <cstdint>
#include <exception>

#include "FuzzSupport.h"
#include "config/ConfigDocument.h"

using kestrel::ConfigDocument;
using kestrel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrel::fuzz::SilenceLog();
  const auto doc = ConfigDocument::Parse(kestrel::fuzz::Text(data, size));
  if (!doc) return 0;

  const std::size_t count = ConfigDocument::PlacementCount(*doc);
  for (std::size_t i = 0; i < count; ++i) {
    const auto entry = ConfigDocument::PlacementAt(*doc, i);
    if (entry.is_null()) continue;
    ConfigDocument::ReadPlacement(entry);
  }
  Require(ConfigDocument::PlacementAt(*doc, count).is_null(), "a placement past the end");

  ConfigDocument::RefreshTime(*doc);
  ConfigDocument::DisableAdId(*doc);
  ConfigDocument::ConfigExtension(*doc);
  ConfigDocument::GdprIsCountryDataProtected(*doc);
  ConfigDocument::GdprConsentTitle(*doc);
  ConfigDocument::GdprConsentMessage(*doc);
  ConfigDocument::GdprConsentMessageVersion(*doc);
  ConfigDocument::GdprButtonAccept(*doc);
  ConfigDocument::GdprButtonDeny(*doc);

  // The required parts throw the JSON library's errors, which initialisation
  // reports as a failure; with both present as objects nothing may throw.
  const bool complete = doc->is_object() && doc->contains("template") && doc->at("template").is_object() &&
                        doc->contains("endpoints") && doc->at("endpoints").is_object();
  try {
    ConfigDocument::HeartbeatCheckEnabled(*doc);
    ConfigDocument::AdsEndpoint(*doc);
    ConfigDocument::LogEndpoint(*doc);
    ConfigDocument::NewEndpoint(*doc);
    ConfigDocument::RiEndpoint(*doc);
    ConfigDocument::SdkBiEndpoint(*doc);
  } catch (const std::exception&) {
    Require(!complete, "a complete /config document failed to read");
  }
  return 0;
}
