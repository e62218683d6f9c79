#include "RecordedRequests.h"

#include <cstdio>
#include <fstream>

namespace kestrel::demo {

namespace {

// Member `key` of a recorded request when it is a text, else empty.
std::string Text(const nlohmann::json& request, const char* key) {
  const auto it = request.find(key);
  return it != request.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

RecordedRequests::RecordedRequests(std::string recordFile) : m_recordFile(std::move(recordFile)) {}

std::vector<nlohmann::json> RecordedRequests::WithPrefix(const std::string& prefix) const {
  std::vector<nlohmann::json> found;
  if (m_recordFile.empty()) return found;
  std::ifstream in(m_recordFile);
  for (std::string line; std::getline(in, line);) {
    auto entry = nlohmann::json::parse(line, nullptr, false);
    if (!entry.is_object()) continue;
    const auto path = Text(entry, "path");
    if (path.compare(0, prefix.size(), prefix) == 0) found.push_back(std::move(entry));
  }
  return found;
}

nlohmann::json RecordedRequests::Last(const std::string& path) const {
  nlohmann::json last;
  for (auto& request : WithPrefix(path)) {
    if (Text(request, "path") == path) last = std::move(request);
  }
  if (last.is_null()) std::printf("The ad server recorded no %s request.\n", path.c_str());
  return last;
}

void RecordedRequests::ShowLastRequest(const std::string& path) const {
  if (m_recordFile.empty()) return;
  const nlohmann::json last = Last(path);
  if (last.is_null()) return;
  std::printf("The SDK's last %s request, as the ad server recorded it:\n%s %s\n", path.c_str(),
              Text(last, "method").c_str(), Text(last, "target").c_str());
  if (const auto headers = last.find("headers"); headers != last.end() && headers->is_object()) {
    for (const auto& [name, value] : headers->items()) {
      std::printf("%s: %s\n", name.c_str(), value.is_string() ? value.get<std::string>().c_str() : "");
    }
  }
  const nlohmann::json& body = last["json"];
  std::printf("\n%s\n", body.is_null() ? Text(last, "body").c_str() : body.dump(2).c_str());
}

void RecordedRequests::ShowLastBodyMember(const std::string& path, const char* member) const {
  if (m_recordFile.empty()) return;
  const nlohmann::json last = Last(path);
  if (last.is_null()) return;
  const nlohmann::json& body = last["json"];
  const bool has = body.is_object() && body.contains(member);
  std::printf("The SDK's last %s request (\"%s\" of its body):\n%s\n", path.c_str(), member,
              has ? body[member].dump(2).c_str() : "(absent)");
}

void RecordedRequests::ShowPaths(const std::string& prefix) const {
  if (m_recordFile.empty()) return;
  const auto requests = WithPrefix(prefix);
  std::printf("The ad server recorded %zu %s request%s\n", requests.size(), prefix.c_str(),
              requests.size() == 1 ? ":" : "s:");
  for (const auto& request : requests) {
    const auto query = Text(request, "query");
    std::printf("  %s%s%s\n", Text(request, "path").c_str(), query.empty() ? "" : "?", query.c_str());
  }
}

}  // namespace kestrel::demo
