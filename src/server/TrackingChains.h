#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace kestrel {

// Tracking hits in chains, one per play and host: a hit starts when the one
// before it in its chain has ended, and chains never wait for each other. A
// waiting hit is data, not a thread; a chain goes when its last hit has ended.
// The chains of a play outlive it, so a hit still waiting when the play ends
// is sent all the same.
class TrackingChains : public std::enable_shared_from_this<TrackingChains> {
 public:
  // Starts one hit and calls `ended` once, from any thread, when it has ended however it ended.
  using Hit = std::function<void(std::function<void()> ended)>;

  // Adds the hit to the chain of the play and the URL's host; starts it at once when the chain is idle.
  void Add(const std::shared_ptr<const void>& play, const std::string& url, Hit hit);
  // The scheme and authority of the URL, lower case; empty when it has none.
  static std::string HostOf(const std::string& url);

 private:
  using Key = std::pair<std::weak_ptr<const void>, std::string>;
  struct KeyLess {
    bool operator()(const Key& a, const Key& b) const;
  };
  void Start(const Key& key, Hit hit);
  void Ended(const Key& key);

  std::mutex m_mutex;  // guards m_chains
  std::map<Key, std::deque<Hit>, KeyLess> m_chains;  // each chain with a hit out, and its hits waiting
};

}  // namespace kestrel
