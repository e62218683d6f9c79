#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "AdServerOptions.h"
#include "BundleBuilder.h"
#include "ConfigFixture.h"
#include "Fault.h"
#include "FaultPlan.h"
#include "CreativeShelf.h"
#include "RequestLog.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace kestrel::adserver {

// The local ad server: HTTP/1.1 on 127.0.0.1, answering the SDK's exchanges
// from fixtures, recording every request and misbehaving on demand.
class AdServer {
 public:
  // Loads the config fixture and zips the creative; throws std::runtime_error.
  explicit AdServer(AdServerOptions options);
  ~AdServer();
  AdServer(const AdServer&) = delete;
  AdServer& operator=(const AdServer&) = delete;

  // Binds 127.0.0.1 on the configured port (0: any free one) and returns the
  // port; throws std::runtime_error. Clients may connect from here on.
  int Bind();
  // Serves until Stop(); call after Bind(). False when serving failed.
  bool Run();
  // Ends Run() and every answer still being delayed or trickled; thread-safe.
  void Stop();
  // With true, every delay ends at once, those being waited and later ones, until called with false.
  void ReleaseDelays(bool released);
  // Waits until Run() accepts connections or has ended; false when it did not within `deadline`.
  bool WaitUntilServing(std::chrono::milliseconds deadline);

  int Port() const { return m_port; }
  std::string BaseUrl() const { return m_baseUrl; }
  // With TLS: the test authority's certificate (PEM), and the plain http
  // address whose every request is redirected to the same target over https.
  std::filesystem::path AuthorityPath() const { return m_authorityPath; }
  std::string PlainUrl() const { return m_plainUrl; }
  // TLS handshakes completed, and how many of them resumed an earlier session.
  std::uint64_t Handshakes() const { return m_handshakes; }
  std::uint64_t ResumedHandshakes() const { return m_resumed; }
  RequestLog& Requests() { return m_requests; }
  FaultPlan& Faults() { return m_faults; }
  const ConfigFixture& Config() const { return m_config; }
  CreativeShelf& Creatives() { return m_shelf; }

 private:
  using Answer = std::function<void(const httplib::Request&, httplib::Response&, const Fault*)>;

  void SetUpTls();
  void AddRoutes();
  void AddControlRoutes();
  void Serve(std::string_view route, std::optional<FaultRoute> faultRoute, const httplib::Request& req,
             httplib::Response& res, const Answer& answer);
  void ApplyFault(const Fault& fault, const httplib::Request& req, httplib::Response& res, const Answer& answer);
  void Trickle(httplib::Response& res, const Fault& fault);
  static void CutShort(httplib::Response& res, const Fault& fault);
  // False when the server is stopping.
  // Waits for the duration, or less when delays are released; false when the server stops meanwhile.
  bool WaitUnlessStopping(std::chrono::milliseconds duration);
  void LogLine(const httplib::Request& req, int status, std::string_view fault);

  void AnswerInspectorFile(const std::string& name, httplib::Response& res) const;
  void AnswerConfig(httplib::Response& res) const;
  void AnswerAds(const httplib::Request& req, httplib::Response& res, const Fault* fault);
  void AnswerBundle(const httplib::Request& req, httplib::Response& res, const Fault* fault);
  void AnswerAsset(const httplib::Request& req, httplib::Response& res) const;
  void AnswerBidMarkup(const httplib::Request& req, httplib::Response& res, const Fault* fault);
  std::string NextEventId(const std::string& placement);

  AdServerOptions m_options;
  ConfigFixture m_config;
  BundleBuilder m_bundles;
  CreativeShelf m_shelf;
  std::filesystem::path m_assetsDir;
  RequestLog m_requests;
  FaultPlan m_faults;
  std::unique_ptr<httplib::Server> m_server;
  int m_port = 0;
  std::string m_baseUrl;
  std::filesystem::path m_authorityPath;
  std::unique_ptr<httplib::Server> m_plain;  // with TLS: redirects plain http to https
  std::thread m_plainThread;
  std::string m_plainUrl;
  std::atomic<std::uint64_t> m_handshakes{0};
  std::atomic<std::uint64_t> m_resumed{0};
  std::atomic<std::uint64_t> m_adCount{0};

  std::mutex m_stateMutex;
  bool m_runEnded = false;  // Run() has returned
  std::condition_variable m_stateChanged;
  bool m_stopping = false;
  bool m_delaysReleased = false;
  bool m_running = false;

  std::mutex m_logMutex;
};

}  // namespace kestrel::adserver
