#pragma once

#include <chrono>
#include <cstdint>

namespace kestrel {

// Whole seconds since 1970-01-01 UTC by the system clock.
inline std::int32_t NowSeconds() {
  using namespace std::chrono;
  return static_cast<std::int32_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

// 100 ns ticks since 1970-01-01 UTC by the system clock.
inline std::int64_t NowTicks() {
  using namespace std::chrono;
  return duration_cast<duration<std::int64_t, std::ratio<1, 10'000'000>>>(system_clock::now().time_since_epoch())
      .count();
}

}  // namespace kestrel
