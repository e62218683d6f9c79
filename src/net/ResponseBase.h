#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Forward.h"
#include "base/Statuses.h"

namespace kestrel {

// The outcome of one exchange.
class ResponseBase {
 public:
  using enum ExchangeStatus;

  ResponseBase() = default;
  ResponseBase(const ResponseBase&) = default;
  ResponseBase& operator=(const ResponseBase&) = default;
  virtual ~ResponseBase() = default;

  std::shared_ptr<RequestBase> m_request;
  ExchangeStatus m_status = kCompleted;
  std::int32_t m_httpStatusCode = 0;
  std::string m_text;
};

}  // namespace kestrel
