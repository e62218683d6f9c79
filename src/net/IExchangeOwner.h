#pragma once

#include <memory>

namespace kestrel {

class RequestBase;
class ResponseBase;

// The side that sends requests: it makes the response an exchange fills and
// hears about it once the exchange is over.
class IExchangeOwner {
 public:
  virtual std::shared_ptr<ResponseBase> CreateResponse(const std::shared_ptr<RequestBase>& request) const = 0;
  virtual void NotifyResponseListeners(const std::shared_ptr<ResponseBase>& response) = 0;

 protected:
  ~IExchangeOwner() = default;
};

}  // namespace kestrel
