#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <iomanip>
#include <sstream>
#include <string>

namespace kestrel::test {

// The tracking stamp "yyyyMMddHHmmss" and milliseconds, as milliseconds since 1970; -1 when it is not one.
inline std::int64_t StampMs(const std::string& stamp) {
  std::tm local = {};
  std::istringstream in(stamp.substr(0, 14));
  in >> std::get_time(&local, "%Y%m%d%H%M%S");
  if (in.fail() || stamp.size() < 15 || stamp.size() > 17) return -1;
  local.tm_isdst = -1;
  return std::int64_t{std::mktime(&local)} * 1000 + std::stoll(stamp.substr(14));
}

inline std::int64_t EpochMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace kestrel::test
