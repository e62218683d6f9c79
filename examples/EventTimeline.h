// The callbacks the demo received, with their arrival times, from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrel::demo {

class EventTimeline {
 public:
  struct Entry {
    std::int64_t Milliseconds = 0;  // since the timeline was created
    std::string Name;
    std::string Detail;
    bool OnMainThread = false;  // arrived on the thread that created the timeline
  };

  // Create it on the GTK main-loop thread.
  EventTimeline();

  // Records one event and returns it. Safe from any thread.
  Entry Record(std::string name, std::string detail);

  bool Has(const std::string& name) const;
  std::vector<Entry> Entries() const;

  // "+  1234 ms  NAME  DETAIL  (thread)"
  static std::string Format(const Entry& entry);

 private:
  const std::chrono::steady_clock::time_point m_start;
  const std::thread::id m_mainThread;
  mutable std::mutex m_mutex;
  std::vector<Entry> m_entries;  // guarded by m_mutex
};

}  // namespace kestrel::demo
