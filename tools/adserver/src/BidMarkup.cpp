#include "BidMarkup.h"

#include "Base64.h"
#include "Gzip.h"

namespace kestrel::adserver {

nlohmann::json BidMarkup::Build(const nlohmann::json& adsDocument, const std::vector<std::string>& impressions,
                                int version) {
  nlohmann::json markup;
  markup["version"] = version;
  markup["adunit"] = Base64Encode(GzipCompress(adsDocument.dump()));
  markup["impression"] = impressions;
  return markup;
}

std::string BidMarkup::DecodeAdUnit(const std::string& adunit) { return GzipDecompress(Base64Decode(adunit)); }

nlohmann::json BidMarkup::WrongTypes() {
  nlohmann::json markup;
  markup["version"] = "2";
  markup["adunit"] = 12345;
  markup["impression"] = "not-a-list";
  return markup;
}

}  // namespace kestrel::adserver
