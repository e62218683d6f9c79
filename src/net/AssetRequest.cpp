#include "net/AssetRequest.h"

namespace kestrel {

std::shared_ptr<RequestBase> AssetRequest::Clone() const {
  return std::shared_ptr<AssetRequest>(new AssetRequest(*this));
}

}  // namespace kestrel
