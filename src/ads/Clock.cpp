#include "ads/Clock.h"

#include <atomic>
#include <limits>

#include "base/Now.h"

namespace kestrel {
namespace {

constexpr std::int64_t kSystem = std::numeric_limits<std::int64_t>::min();
std::atomic<std::int64_t> g_setTicks{kSystem};

}  // namespace

std::int64_t Clock::NowTicks() {
  const std::int64_t set = g_setTicks.load();
  return set != kSystem ? set : kestrel::NowTicks();
}

void Clock::Set(std::int64_t ticks) {
  g_setTicks.store(ticks == kSystem ? kSystem + 1 : ticks);
}

void Clock::Reset() {
  g_setTicks.store(kSystem);
}

}  // namespace kestrel
