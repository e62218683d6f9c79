#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kestrel::test {

// The web engine's processes that this process started (WebKitWebProcess,
// WebKitNetworkProcess; ended ones not yet reaped left out), and the kB each holds resident.
inline std::vector<long> EngineProcessesRssKb() {
  std::vector<long> rss;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line) || line.find(") ") == std::string::npos) continue;
    const std::string name = line.substr(line.find('(') + 1, line.rfind(')') - line.find('(') - 1);
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    char state = 0;
    long parent = 0, pages = 0, resident = 0;
    rest >> state >> parent;
    std::ifstream statm(entry.path() / "statm");
    if (parent != getpid() || state == 'Z' || !name.starts_with("WebKit") || !(statm >> pages >> resident)) continue;
    rss.push_back(resident * (sysconf(_SC_PAGESIZE) / 1024));
  }
  return rss;
}

}  // namespace kestrel::test
