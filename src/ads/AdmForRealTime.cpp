#include "ads/AdmForRealTime.h"

#include <exception>

#include "base/Log.h"
#include "config/JsonReadRules.h"
#include "net/Base64.h"
#include "net/Gzip.h"

namespace kestrel {

AdmForRealTime::AdmForRealTime(nlohmann::json markup) : m_markup(std::move(markup)) {}

const nlohmann::json* AdmForRealTime::Bid() const {
  if (m_markup.is_object()) return &m_markup;
  if (m_markup.is_array() && !m_markup.empty()) return &m_markup.front();
  return nullptr;
}

bool AdmForRealTime::IsValid() {
  const nlohmann::json* bid = Bid();
  if (!bid) return false;
  const std::int32_t version = JsonReadRules::Int(*bid, "version");
  if (version != 2) {
    LogError("Unsupported AdmForRealTime version: " + std::to_string(version));
    return false;
  }
  if (GetAdUnit().empty()) {
    LogError("AdmForRealTime adunit is empty.");
    return false;
  }
  return true;
}

std::string AdmForRealTime::GetAdUnit() {
  std::lock_guard lock(m_mutex);
  const nlohmann::json* bid = Bid();
  if (m_adUnitRead || !bid) return m_adUnit;
  m_adUnitRead = true;
  const std::string encoded = JsonReadRules::Text(*bid, "adunit");
  if (encoded.empty()) return m_adUnit;
  try {
    m_adUnit = GzipDecompress(Base64Decode(encoded));
  } catch (const std::exception& e) {
    LogException(e);
  }
  return m_adUnit;
}

std::vector<std::string> AdmForRealTime::GetImpressions() {
  std::lock_guard lock(m_mutex);
  if (m_impressionsRead) return m_impressions;
  m_impressionsRead = true;
  const nlohmann::json* bid = Bid();
  if (!bid || !bid->is_object()) return m_impressions;
  const auto urls = bid->find("impression");
  if (urls == bid->end() || !urls->is_array()) return m_impressions;
  for (const auto& url : *urls) {
    if (url.is_string()) m_impressions.push_back(url.get<std::string>());
  }
  return m_impressions;
}

}  // namespace kestrel
