#pragma once

#include "net/RequestBase.h"

namespace kestrel {

// A /config or /ads request: a JSON POST, tried up to three times. Never cloned.
class ServerRequests : public RequestBase {
 public:
  ServerRequests();
  std::shared_ptr<RequestBase> Clone() const override;
};

}  // namespace kestrel
