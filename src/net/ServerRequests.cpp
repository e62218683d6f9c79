#include "net/ServerRequests.h"

namespace kestrel {

ServerRequests::ServerRequests() {
  m_requestType = kJsonPost;
  m_maxAttempts = 3;
  m_saveToFile = false;
}

std::shared_ptr<RequestBase> ServerRequests::Clone() const {
  return nullptr;
}

}  // namespace kestrel
