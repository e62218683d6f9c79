// Reads the local ad server's --record file: one JSON object per request.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kestrel::demo {

class RecordedRequests {
 public:
  // An empty path gives no requests.
  explicit RecordedRequests(std::string recordFile);

  bool Enabled() const { return !m_recordFile.empty(); }

  // Every recorded request whose path starts with `prefix`, oldest first.
  std::vector<nlohmann::json> WithPrefix(const std::string& prefix) const;

  // Prints the headers and the body of the last request for `path`.
  void ShowLastRequest(const std::string& path) const;

  // Prints member `member` of the body of the last request for `path`.
  void ShowLastBodyMember(const std::string& path, const char* member) const;

  // Prints one line per recorded request under `prefix`: its path and query.
  void ShowPaths(const std::string& prefix) const;

 private:
  // The last request for exactly `path`; null (with a line saying so) when none.
  nlohmann::json Last(const std::string& path) const;

  std::string m_recordFile;
};

}  // namespace kestrel::demo
