#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/IUrlOpener.h"

namespace kestrel::test {

// An url opener that keeps what it was asked to open instead of opening it.
class RecordingUrlOpener : public IUrlOpener {
 public:
  explicit RecordingUrlOpener(bool storeLinks = false) : m_storeLinks(storeLinks) {}
  void Open(const std::string& url) override {
    std::lock_guard lock(m_mutex);
    m_urls.push_back(url);
  }
  bool OpensStoreLinks() const override { return m_storeLinks; }
  std::vector<std::string> Urls() const {
    std::lock_guard lock(m_mutex);
    return m_urls;
  }

 private:
  const bool m_storeLinks;
  mutable std::mutex m_mutex;
  std::vector<std::string> m_urls;
};

}  // namespace kestrel::test
