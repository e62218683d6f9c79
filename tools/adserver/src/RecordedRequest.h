#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace kestrel::adserver {

// How the server answered a request.
struct RecordedAnswer {
  int status = 0;
  std::string fault;  // mode of the fault applied, or empty
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;         // a text body, at most RecordedRequest::kKeptBodyBytes; else empty
  std::size_t bytes = 0;    // size of the whole body
};

// One request as the server received it.
struct RecordedRequest {
  std::uint64_t seq = 0;     // 1, 2, ... in order of arrival
  std::int64_t timeMs = 0;   // arrival, milliseconds since 1970 UTC
  std::string method;
  std::string path;          // decoded path, without the query
  std::string query;         // raw text after "?", as sent
  std::string target;        // raw request target, as sent
  std::vector<std::pair<std::string, std::string>> params;   // decoded query parameters
  std::vector<std::pair<std::string, std::string>> headers;  // as sent, ordered by name
  std::string body;
  std::string route;         // config, ads, bundle, asset, tpat, hb, impression, endpoint, unknown, rejected
  int status = 0;            // 0 until the answer is decided
  std::string fault;         // mode of the fault applied, or empty
  int clientPort = 0;        // the client's port: requests on one connection share it
  // The answer as the handler left it: headers, a text body (up to kKeptBodyBytes; empty for
  // others and for bodies sent in pieces) and the size of the whole body.
  std::vector<std::pair<std::string, std::string>> responseHeaders;
  std::string responseBody;
  std::size_t responseBytes = 0;

  static constexpr std::size_t kKeptBodyBytes = 64 * 1024;

  // The value of a header, found without regard to case; empty when absent.
  std::string Header(std::string_view name) const;
  // The value of a query parameter; empty when absent.
  std::string Param(std::string_view name) const;
  // The body parsed as JSON; null when it is not JSON.
  nlohmann::json BodyJson() const;
  // {"seq","time_ms","method","path","query","target","params","headers","body","json","route","status","fault",
  //  "client_port","response":{"headers","body","bytes"}}
  nlohmann::json ToJson() const;
  // {"seq","time_ms","method","path","route","status","fault","ev"}: a line of the inspector's timeline.
  nlohmann::json Summary() const;

  // Splits a raw query at "&" and "=" and percent-decodes ("+" is a blank).
  static std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query);
};

}  // namespace kestrel::adserver
