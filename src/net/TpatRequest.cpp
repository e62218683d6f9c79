#include "net/TpatRequest.h"

namespace kestrel {

std::shared_ptr<RequestBase> TpatRequest::Clone() const {
  return std::shared_ptr<TpatRequest>(new TpatRequest(*this));
}

}  // namespace kestrel
