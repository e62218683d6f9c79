#pragma once

#include <memory>
#include <string>
#include <vector>

#include "server/AdResponse.h"

namespace kestrel {

// The tracking URLs of the ad being shown.
class TpatsModel {
 public:
  explicit TpatsModel(std::shared_ptr<const AdResponse> ad) : m_ad(std::move(ad)) {}

  // A copy of the URLs listed for the event; empty when it has none.
  std::vector<std::string> UrlsFor(const std::string& event) const {
    if (!m_ad) return {};
    auto it = m_ad->m_tpats.find(event);
    return it == m_ad->m_tpats.end() ? std::vector<std::string>() : it->second;
  }

 private:
  std::shared_ptr<const AdResponse> m_ad;  // shared, so a late event never reads a released ad
};

}  // namespace kestrel
