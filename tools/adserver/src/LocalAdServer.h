#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "AdServerOptions.h"
#include "Fault.h"
#include "RecordedRequest.h"

namespace kestrel::adserver {

class AdServer;

// The ad server running on a thread of the calling process, for tests:
//   LocalAdServer server;
//   server.Start();
//   ... KestrelSdkConfig::ConfigBaseUrl = server.BaseUrl() ...
//   server.WaitForRequests("/tpat/impression", 1);
// Queries and faults are thread-safe; Start and Stop belong to one thread.
// The destructor stops the server.
class LocalAdServer {
 public:
  // Options with request logging off; the port is ephemeral unless set.
  static AdServerOptions QuietOptions();

  explicit LocalAdServer(AdServerOptions options = QuietOptions());
  ~LocalAdServer();
  LocalAdServer(const LocalAdServer&) = delete;
  LocalAdServer& operator=(const LocalAdServer&) = delete;

  // Loads the fixtures, binds 127.0.0.1 and starts serving; clients may
  // connect when it returns. Throws std::runtime_error.
  void Start();
  // Idempotent; waits until the serving thread has ended.
  void Stop();

  int Port() const;
  std::string BaseUrl() const;  // "http://127.0.0.1:PORT", or "https://localhost:PORT" with TLS
  // With TLS: the plain http address that redirects to BaseUrl(), and the TLS
  // handshakes that resumed an earlier session.
  std::string PlainUrl() const;
  std::uint64_t ResumedHandshakes() const;

  // Requests received so far whose path starts with the prefix.
  std::vector<RecordedRequest> Requests(std::string_view pathPrefix = {}) const;
  // Waits until at least `count` requests whose path starts with the prefix have arrived.
  bool WaitForRequests(std::string_view pathPrefix, std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  // The /config document it serves when no fault is set.
  nlohmann::json ConfigDocument() const;
  void SetFault(const Fault& fault);
  // ROUTE=MODE[:ARG][,key=value...], as the --fault flag; throws std::invalid_argument.
  void SetFault(std::string_view text);
  void ClearFaults();
  // Ends the delays of delay faults, those being waited and later ones, until the next SetFault or ClearFaults.
  void ReleaseDelays();
  // The creative of the bundles served from now on: a folder of creatives/,
  // or empty for the sample. Throws std::invalid_argument.
  void ChooseCreative(const std::string& name);
  // Forgets the recorded requests and clears every fault.
  void Reset();

 private:
  AdServer& Server() const;

  AdServerOptions m_options;
  std::unique_ptr<AdServer> m_server;
  std::thread m_thread;
};

}  // namespace kestrel::adserver
