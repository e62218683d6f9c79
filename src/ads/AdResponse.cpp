#include "ads/AdResponse.h"

#include <chrono>

#include "net/RequestBase.h"

namespace kestrel {

AdResponse::AdResponse() : m_expiry(NowTicks()) {
  using namespace std::chrono;
  m_timestampDelivered =
      static_cast<std::int32_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace kestrel
