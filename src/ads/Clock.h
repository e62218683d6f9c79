#pragma once

#include <cstdint>

namespace kestrel {

// The time by which placements judge the server's sleep windows. It follows
// the system clock unless a test has set it.
class Clock {
 public:
  static constexpr std::int64_t kTicksPerSecond = 10'000'000;

  // 100 ns ticks since 1970-01-01 UTC.
  static std::int64_t NowTicks();
  // Holds the time at the given tick until Reset.
  static void Set(std::int64_t ticks);
  static void Reset();
};

}  // namespace kestrel
