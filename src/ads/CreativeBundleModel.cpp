#include "ads/CreativeBundleModel.h"

#include "server/AdResponse.h"

namespace kestrel {

CreativeBundleModel::CreativeBundleModel(const AdResponse& ad) : m_eventId(ad.m_eventId), m_adType(ad.m_adType) {}

void CreativeBundleModel::AddExpectedPart(const std::string& url, const std::string& name) {
  std::lock_guard lock(m_mutex);
  m_expectedParts[url] = name;
}

void CreativeBundleModel::RecordDownloadedPart(const std::string& url, const std::string& savedFile) {
  std::lock_guard lock(m_mutex);
  m_downloadedParts[url] = savedFile;
}

std::unordered_map<std::string, std::string> CreativeBundleModel::ExpectedParts() const {
  std::lock_guard lock(m_mutex);
  return m_expectedParts;
}

bool CreativeBundleModel::AllPartsDownloaded() const {
  std::lock_guard lock(m_mutex);
  for (const auto& [url, name] : m_expectedParts) {
    if (!m_downloadedParts.contains(url)) return false;
  }
  return true;
}

}  // namespace kestrel
