#pragma once

#include "net/RequestBase.h"

namespace kestrel {

// A tracking URL: one GET, no body.
class TpatRequest : public RequestBase {
 public:
  TpatRequest() = default;
  std::shared_ptr<RequestBase> Clone() const override;
};

}  // namespace kestrel
