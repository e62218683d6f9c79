#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kestrel::adserver {

// The header-bidding markup a mediation layer hands to the SDK:
// {"version":2,"adunit":base64(gzip(/ads document)),"impression":[URL,...]}.
class BidMarkup {
 public:
  static nlohmann::json Build(const nlohmann::json& adsDocument, const std::vector<std::string>& impressions,
                              int version = 2);
  // The /ads document text inside an "adunit"; throws on bad base64 or gzip.
  static std::string DecodeAdUnit(const std::string& adunit);
  // Markup whose members all have the wrong JSON type.
  static nlohmann::json WrongTypes();
};

}  // namespace kestrel::adserver
