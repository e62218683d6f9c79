// A header-bidding markup as LoadMediatedAd reads it: JSON, then the ad unit
// (base64, then gunzip) and the impressions, then the ad unit as an /ads body.
// The codecs also get the raw input, which mutations rarely reach through JSON.
#include <cstdint>
#include <exception>

#include "FuzzSupport.h"
#include "server/AdMarkupModel.h"
#include "server/AdResponse.h"
#include "ads/AdmForRealTime.h"
#include "ads/MediationController.h"
#include "net/Base64.h"
#include "net/Gzip.h"

using kestrel::fuzz::Require;

namespace {

void Codecs(const std::string& text) {
  try {
    const std::string decoded = kestrel::Base64Decode(text);
    Require(kestrel::Base64Encode(decoded).size() == (decoded.size() + 2) / 3 * 4, "a wrong base64 length");
    Require(kestrel::Base64Decode(kestrel::Base64Encode(decoded)) == decoded, "base64 does not round-trip");
    kestrel::GzipDecompress(decoded);
  } catch (const std::exception&) {
  }
  try {
    Require(kestrel::GzipDecompress(text).size() <= kestrel::kMaxGunzipBytes, "gunzip beyond its limit");
  } catch (const std::exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrel::fuzz::SilenceLog();
  const std::string text = kestrel::fuzz::Text(data, size);
  Codecs(text);

  kestrel::MediationController mediation;
  const auto markup = mediation.ParseHeaderBiddingMarkup(text);
  Require(markup != nullptr, "no markup object");
  const bool valid = markup->IsValid();
  const std::string adUnit = markup->GetAdUnit();
  Require(!valid || !adUnit.empty(), "a valid markup without an ad unit");
  Require(adUnit.size() <= kestrel::kMaxGunzipBytes, "an ad unit beyond the gunzip limit");
  Require(markup->GetAdUnit() == adUnit, "the ad unit changed on a second read");
  markup->GetImpressions();
  if (!valid) return 0;

  const auto response = mediation.MakeAdResponse(adUnit);
  try {
    const kestrel::AdMarkupModel model(response->m_text);
    if (!model.Markup().is_null()) response->ParseAdMarkup(model);
  } catch (const std::exception&) {
  }
  return 0;
}
