#include "net/RequestBase.h"

#include "base/Now.h"
#include "platform/Backend.h"

namespace kestrel {

RequestBase::RequestBase() : m_requestId(NewRequestId()), m_dueTime(NowTicks()) {}

}  // namespace kestrel
