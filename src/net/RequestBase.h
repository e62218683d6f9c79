#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "base/Forward.h"
#include "base/Statuses.h"

namespace kestrel {

// One outgoing request: what the transport sends and how the request
// controller schedules it.
class RequestBase {
 public:
  using enum RequestType;
  using enum RequestState;

  RequestBase();
  virtual std::shared_ptr<RequestBase> Clone() const = 0;  // kept for the interface; the SDK does not call it
  virtual ~RequestBase() = default;

  Json m_body;
  std::string m_name;
  std::map<std::string, std::string> m_headers;
  std::string m_requestId;
  RequestType m_requestType = kGet;
  std::map<std::string, std::string> m_queryParameters;
  std::int32_t m_maxAttempts = 1;
  RequestState m_state = kWaiting;
  std::string m_url;
  std::int64_t m_dueTime = 0;  // 100 ns ticks of the system clock since 1970
  std::int32_t m_attempts = 0;
  bool m_saveToFile = false;
  std::string m_partName;  // the two texts an ad-part download carries for its caller
  std::string m_eventId;
  AdLoadHandler m_onSuccess;  // travel with an /ads request for its consumer
  AdLoadHandler m_onFailure;
  std::function<void()> m_onAnswered;  // runs once the exchange has ended and the listeners have heard

 protected:
  RequestBase(const RequestBase&) = default;
  RequestBase& operator=(const RequestBase&) = default;
};

}  // namespace kestrel
