#pragma once

#include <chrono>
#include <cstdint>

namespace kestrel {

// Whole seconds since 1970-01-01 UTC by the system clock.
inline std::int32_t NowSeconds() {
  using namespace std::chrono;
  return static_cast<std::int32_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace kestrel
