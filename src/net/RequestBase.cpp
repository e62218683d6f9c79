#include "net/RequestBase.h"

#include <chrono>

#include "platform/Backend.h"

namespace kestrel {

std::int64_t NowTicks() {
  using namespace std::chrono;
  return duration_cast<duration<std::int64_t, std::ratio<1, 10'000'000>>>(system_clock::now().time_since_epoch())
      .count();
}

RequestBase::RequestBase() : m_requestId(NewRequestId()), m_dueTime(NowTicks()) {}

}  // namespace kestrel
