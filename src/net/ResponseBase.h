#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Forward.h"

namespace kestrel {

// The outcome of one exchange. Completed (1) means the exchange ended; the
// HTTP status code beside it says what the server answered.
class ResponseBase {
 public:
  static constexpr std::int32_t kCompleted = 1;
  static constexpr std::int32_t kFailed = 2;

  ResponseBase() = default;
  ResponseBase(const ResponseBase&) = default;
  ResponseBase& operator=(const ResponseBase&) = default;
  virtual ~ResponseBase() = default;

  std::shared_ptr<RequestBase> m_request;
  std::int32_t m_status = kCompleted;
  std::int32_t m_httpStatusCode = 0;
  std::string m_text;
};

}  // namespace kestrel
