#include "server/TrackingChains.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <exception>

#include "base/Log.h"

namespace kestrel {

bool TrackingChains::KeyLess::operator()(const Key& a, const Key& b) const {
  // By the play's control block, which a weak reference keeps: a new play never takes an ended one's chain.
  if (a.first.owner_before(b.first)) return true;
  if (b.first.owner_before(a.first)) return false;
  return a.second < b.second;
}

std::string TrackingChains::HostOf(const std::string& url) {
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  const auto end = url.find_first_of("/?#", scheme + 3);
  std::string host = url.substr(0, end);
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return host;
}

void TrackingChains::Add(const std::shared_ptr<const void>& play, const std::string& url, Hit hit) {
  Key key(play, HostOf(url));
  {
    std::lock_guard lock(m_mutex);
    const auto [chain, added] = m_chains.try_emplace(key);
    if (!added) {
      chain->second.push_back(std::move(hit));
      return;
    }
  }
  Start(key, std::move(hit));
}

void TrackingChains::Start(const Key& key, Hit hit) {
  auto once = std::make_shared<std::atomic<bool>>(false);
  auto ended = [self = shared_from_this(), key, once] {
    if (!once->exchange(true)) self->Ended(key);
  };
  try {
    hit(ended);
  } catch (const std::exception& e) {
    LogException(e);
    ended();
  } catch (...) {
    LogError("Unknown exception starting a tracking hit");
    ended();
  }
}

void TrackingChains::Ended(const Key& key) {
  Hit next;
  {
    std::lock_guard lock(m_mutex);
    const auto chain = m_chains.find(key);
    if (chain == m_chains.end()) return;
    if (chain->second.empty()) {
      m_chains.erase(chain);
      return;
    }
    next = std::move(chain->second.front());
    chain->second.pop_front();
  }
  Start(key, std::move(next));
}

}  // namespace kestrel
