#include "RequestLog.h"

#include <algorithm>
#include <stdexcept>

namespace kestrel::adserver {

namespace {

// The record numbered `seq` of a deque of records, or null; sequence numbers are contiguous in it.
template <typename Records>
auto* At(Records& records, std::uint64_t seq) {
  const bool kept = !records.empty() && seq >= records.front().seq && seq - records.front().seq < records.size();
  return kept ? &records[static_cast<std::size_t>(seq - records.front().seq)] : nullptr;
}

}  // namespace

RequestLog::RequestLog(const std::filesystem::path& jsonLinesFile) {
  if (!jsonLinesFile.empty()) {
    m_file.open(jsonLinesFile, std::ios::out | std::ios::app | std::ios::binary);
    if (!m_file) {
      throw std::runtime_error("cannot open " + jsonLinesFile.string());
    }
  }
}

std::uint64_t RequestLog::Begin(RecordedRequest request) {
  std::uint64_t seq = 0;
  {
    std::lock_guard lock(m_mutex);
    seq = m_nextSeq++;
    request.seq = seq;
    m_records.push_back(std::move(request));
    if (m_records.size() > kMaxRecords) {
      m_records.pop_front();
    }
  }
  m_changed.notify_all();
  return seq;
}

void RequestLog::Finish(std::uint64_t seq, RecordedAnswer answer) {
  {
    std::lock_guard lock(m_mutex);
    auto* it = At(m_records, seq);
    if (it == nullptr) {
      return;  // cleared or dropped meanwhile
    }
    it->status = answer.status;
    it->fault = std::move(answer.fault);
    it->responseHeaders = std::move(answer.headers);
    it->responseBody = std::move(answer.body);
    it->responseBytes = answer.bytes;
    if (m_file.is_open()) {
      m_file << it->ToJson().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n' << std::flush;
    }
  }
  m_changed.notify_all();
}

std::vector<RecordedRequest> RequestLog::Snapshot(std::string_view pathPrefix) const {
  std::lock_guard lock(m_mutex);
  std::vector<RecordedRequest> out;
  for (const auto& r : m_records) {
    if (r.path.starts_with(pathPrefix)) {
      out.push_back(r);
    }
  }
  return out;
}

bool RequestLog::WaitFor(std::string_view pathPrefix, std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return CountLocked(pathPrefix) >= count; });
}

std::pair<nlohmann::json, std::size_t> RequestLog::SummariesAfter(std::uint64_t seq) const {
  std::lock_guard lock(m_mutex);
  auto lines = nlohmann::json::array();
  for (auto it = std::ranges::upper_bound(m_records, seq, {}, &RecordedRequest::seq); it != m_records.end(); ++it) {
    lines.push_back(it->Summary());
  }
  return {std::move(lines), m_records.size()};
}

std::optional<RecordedRequest> RequestLog::Find(std::uint64_t seq) const {
  std::lock_guard lock(m_mutex);
  const auto* it = At(m_records, seq);
  return it ? std::optional<RecordedRequest>(*it) : std::nullopt;
}

void RequestLog::Clear() {
  std::lock_guard lock(m_mutex);
  m_records.clear();
}

std::size_t RequestLog::CountLocked(std::string_view pathPrefix) const {
  return static_cast<std::size_t>(
      std::ranges::count_if(m_records, [&](const RecordedRequest& r) { return r.path.starts_with(pathPrefix); }));
}

}  // namespace kestrel::adserver
