#include "EventTimeline.h"

#include <algorithm>
#include <cstdio>

namespace kestrel::demo {

EventTimeline::EventTimeline() : m_start(std::chrono::steady_clock::now()), m_mainThread(std::this_thread::get_id()) {}

EventTimeline::Entry EventTimeline::Record(std::string name, std::string detail) {
  Entry entry;
  entry.Milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count();
  entry.Name = std::move(name);
  entry.Detail = std::move(detail);
  entry.OnMainThread = std::this_thread::get_id() == m_mainThread;
  std::lock_guard lock(m_mutex);
  m_entries.push_back(entry);
  return entry;
}

bool EventTimeline::Has(const std::string& name) const {
  std::lock_guard lock(m_mutex);
  return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.Name == name; });
}

std::vector<EventTimeline::Entry> EventTimeline::Entries() const {
  std::lock_guard lock(m_mutex);
  return m_entries;
}

std::string EventTimeline::Format(const Entry& entry) {
  char time[32];
  std::snprintf(time, sizeof time, "+%6lld ms", static_cast<long long>(entry.Milliseconds));
  std::string line = std::string(time) + "  " + entry.Name;
  if (!entry.Detail.empty()) line += "  " + entry.Detail;
  line += entry.OnMainThread ? "  (GTK thread)" : "  (SDK thread)";
  return line;
}

}  // namespace kestrel::demo
