#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "RecordedRequest.h"

namespace kestrel::adserver {

// Every request the server received, in order of arrival; thread-safe.
// Optionally each answered request is also appended as one JSON line to a file.
class RequestLog {
 public:
  static constexpr std::size_t kMaxRecords = 100000;  // the oldest are dropped beyond this

  // Throws std::runtime_error when the JSON-lines file cannot be opened.
  explicit RequestLog(const std::filesystem::path& jsonLinesFile = {});

  // Records a request on arrival; returns its sequence number.
  std::uint64_t Begin(RecordedRequest request);
  // Records the answer; writes the JSON line.
  void Finish(std::uint64_t seq, RecordedAnswer answer);

  // The records whose path starts with the prefix (all for an empty prefix).
  std::vector<RecordedRequest> Snapshot(std::string_view pathPrefix = {}) const;
  // Waits until at least `count` records have a path starting with the prefix.
  bool WaitFor(std::string_view pathPrefix, std::size_t count, std::chrono::milliseconds timeout) const;
  // The timeline lines (RecordedRequest::Summary) of the records after `seq`, and how many records there are.
  std::pair<nlohmann::json, std::size_t> SummariesAfter(std::uint64_t seq) const;
  // The record numbered `seq`, if it is still kept.
  std::optional<RecordedRequest> Find(std::uint64_t seq) const;
  void Clear();

 private:
  std::size_t CountLocked(std::string_view pathPrefix) const;

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::deque<RecordedRequest> m_records;
  std::uint64_t m_nextSeq = 1;
  std::ofstream m_file;
};

}  // namespace kestrel::adserver
