#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

// One HTTP exchange as the transport hands it to the platform.
struct HttpExchange {
  std::string verb;                  // "GET" or "POST"
  std::string url;                   // absolute, with its query, as the SDK built it
  std::string agent;                 // the client's agent name
  std::vector<std::string> headers;  // "Name: value" lines, in sending order
  std::optional<std::string> body;   // none: no body
  std::string saveTo;                // when set, the answer's body goes into this file
};

// The step at which an exchange failed.
enum class HttpFailure {
  None,
  Session,    // the client could not be set up
  Url,        // the URL does not parse, or its scheme is not http or https
  Request,    // the request could not be prepared
  Send,       // connecting, sending or waiting for the answer failed; `error` says why
  Read,       // the answer broke off or stalled after its status line
  WriteFile,  // the body could not be written to `saveTo`
};

struct HttpResult {
  HttpFailure failure = HttpFailure::None;
  long error = 0;               // the backend's error number
  std::int32_t statusCode = 0;  // 0 until the final answer's status line was read
  std::string body;             // empty when the body went to a file
  bool fileCreated = false;     // saveTo was written; when it could not be created the body was read and dropped
};

// Limits that keep a dead or stalled server from holding an exchange for ever.
struct HttpLimits {
  std::chrono::seconds connectTimeout{60};
  std::chrono::seconds lowSpeedTime{30};  // below 1 byte per second for this long ends the exchange
};

// Performs HTTP exchanges. TLS certificates are always verified.
class IHttpClient {
 public:
  virtual ~IHttpClient() = default;
  // One exchange on a connection of its own; any number may run at once.
  // A download goes to a temporary file that takes the name saveTo only when
  // the whole body has arrived; on failure no file is left behind.
  virtual HttpResult Exchange(const HttpExchange& exchange) = 0;
  // Starts opening up to `count` connections to the url's server for
  // exchanges about to come, which take them instead of connecting. Returns
  // at once; a connection nobody takes in a few seconds is closed.
  virtual void Preconnect(const std::string& /*url*/, int /*count*/) {}
};

}  // namespace kestrel
