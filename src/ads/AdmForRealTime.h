#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kestrel {

// A header-bidding bid's markup: {"version":2,"adunit":base64(gzip(/ads body)),
// "impression":[URL,...]}, or an array whose first element is that object.
// The ad unit and the impressions are read once and then reused.
class AdmForRealTime {
 public:
  AdmForRealTime() = default;  // no bid: invalid
  explicit AdmForRealTime(nlohmann::json markup);

  // True for version 2 with an ad unit that decodes to a non-empty text; logs why not.
  bool IsValid();
  // The decoded /ads body; empty when there is none or it cannot be decoded (logged).
  std::string GetAdUnit();
  // The "impression" URLs; empty without a bid or the key.
  std::vector<std::string> GetImpressions();

 private:
  const nlohmann::json* Bid() const;

  const nlohmann::json m_markup;
  std::mutex m_mutex;  // guards the cached values below
  bool m_adUnitRead = false;
  std::string m_adUnit;
  bool m_impressionsRead = false;
  std::vector<std::string> m_impressions;
};

}  // namespace kestrel
