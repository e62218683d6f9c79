#include "AdServer.h"

#include <httplib.h>
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
#include <openssl/ssl.h>
#endif

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <utility>

#include "AdDocument.h"
#include "BidMarkup.h"
#include "InspectorFiles.h"
#include "TestAuthority.h"

namespace kestrel::adserver {

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kJson = "application/json";
constexpr std::size_t kThreads = 16;
constexpr std::size_t kProviderChunk = 64 * 1024;

// Headers that cpp-httplib adds to a received request; they were not sent.
constexpr std::array<std::string_view, 4> kAddedHeaders{"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"};

AdServerOptions WithDefaults(AdServerOptions options) {
  if (options.creativeDir.empty()) {
    options.creativeDir = KESTREL_ADSERVER_CREATIVE_DIR;
  }
  if (options.fixturesDir.empty()) {
    options.fixturesDir = KESTREL_ADSERVER_FIXTURES_DIR;
  }
  return options;
}

std::string Dump(const nlohmann::json& json) {
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void SetBody(httplib::Response& res, int status, const std::string& body, const char* type) {
  res.status = status;
  res.headers.erase("Content-Type");
  res.set_content(body, type);
}

void SetError(httplib::Response& res, int status, const std::string& message) {
  SetBody(res, status, Dump({{"error", message}}), kJson);
}

std::int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

RecordedRequest Record(const httplib::Request& req, std::string_view route) {
  RecordedRequest r;
  r.timeMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::system_clock::now().time_since_epoch())
                 .count();
  r.method = req.method;
  r.path = req.path;
  r.target = req.target;
  const auto q = req.target.find('?');
  r.query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
  r.params = RecordedRequest::ParseQuery(r.query);
  for (const auto& [name, value] : req.headers) {
    if (std::ranges::find(kAddedHeaders, name) == kAddedHeaders.end()) {
      r.headers.emplace_back(name, value);
    }
  }
  r.body = req.body;
  r.route = std::string(route);
  r.clientPort = req.remote_port;
  return r;
}

bool IsText(std::string_view type) {
  return type.starts_with("text/") || type.starts_with(kJson) || type.starts_with("application/javascript");
}

// What the record keeps of an answer: headers, a text body that is not too large, its size.
RecordedAnswer Answered(const httplib::Response& res, std::string_view fault) {
  RecordedAnswer answer{res.status, std::string(fault), {}, {},
                        res.content_provider_ ? res.content_length_ : res.body.size()};
  for (const auto& [name, value] : res.headers) {
    answer.headers.emplace_back(name, value);
  }
  if (!res.content_provider_ && res.body.size() <= RecordedRequest::kKeptBodyBytes &&
      IsText(res.get_header_value("Content-Type"))) {
    answer.body = res.body;
  }
  return answer;
}

const char* ContentType(const std::filesystem::path& file) {
  const auto ext = file.extension().string();
  if (ext == ".png") return "image/png";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  if (ext == ".gif") return "image/gif";
  if (ext == ".svg") return "image/svg+xml";
  if (ext == ".mp4") return "video/mp4";
  if (ext == ".ttf") return "font/ttf";
  if (ext == ".css") return "text/css";
  if (ext == ".js") return "text/javascript";
  if (ext == ".html") return "text/html";
  if (ext == ".json") return kJson;
  return "application/octet-stream";
}

}  // namespace

AdServer::AdServer(AdServerOptions options)
    : m_options(WithDefaults(std::move(options))),
      m_config(ConfigFixture::Load(m_options.fixturesDir / "config.json")),
      m_bundles(m_options.creativeDir),
      m_shelf(m_options.creativeDir.parent_path() / "creatives"),
      m_assetsDir(m_options.fixturesDir / "assets"),
      m_requests(m_options.recordFile),
      m_server(std::make_unique<httplib::Server>()) {
  if (m_options.tls) {
    SetUpTls();
  }
  for (const auto& fault : m_options.faults) {
    m_faults.Set(fault);
  }
  m_server->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
  // cpp-httplib also sets SO_REUSEPORT, which would let a second server share a busy port.
  m_server->set_socket_options([](socket_t sock) {
    int yes = 1;
    // char* is what Winsock takes; POSIX takes any pointer.
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
  });
  // A body written in pieces (the bundle) must not wait for the client's
  // delayed ACK, or the next request on that connection stalls for 40 ms.
  m_server->set_tcp_nodelay(true);
  // Short, so that Stop() does not wait long on idle keep-alive connections.
  m_server->set_keep_alive_timeout(1);
  // Requests that cpp-httplib answers itself (a method no route takes, a
  // malformed request) reach no handler; record and log them here.
  m_server->set_error_handler(httplib::Server::HandlerWithResponse([this](const httplib::Request& req,
                                                                         httplib::Response& res) {
    if (res.body.empty() && !res.content_provider_) {
      const auto seq = m_requests.Begin(Record(req, "rejected"));
      m_requests.Finish(seq, Answered(res, {}));
      LogLine(req, res.status, {});
    }
    return httplib::Server::HandlerResponse::Unhandled;
  }));
  AddControlRoutes();
  m_shelf.AddRoutes(*m_server, [this] { return m_baseUrl; });
  AddRoutes();
}

AdServer::~AdServer() { Stop(); }

void AdServer::SetUpTls() {
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
  std::filesystem::path folder = m_options.tlsDir;
  if (folder.empty()) {
    folder = std::filesystem::temp_directory_path() /
             ("kestrel-adserver-ca-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  }
  const auto authority = TestAuthority::OpenOrCreate(folder);
  const auto issued = authority.Issue(m_options.tlsCertificate);
  auto server = std::make_unique<httplib::SSLServer>(issued.certificate.c_str(), issued.key.c_str());
  if (!server->is_valid()) {
    throw std::runtime_error("cannot serve TLS with " + issued.certificate.string());
  }
  SSL_CTX* ctx = server->ssl_context();
  SSL_CTX_set_app_data(ctx, this);
  static constexpr unsigned char kSessionContext[] = "kestrel-adserver";
  SSL_CTX_set_session_id_context(ctx, kSessionContext, sizeof kSessionContext - 1);
  SSL_CTX_set_info_callback(ctx, [](const SSL* ssl, int where, int) {
    if ((where & SSL_CB_HANDSHAKE_DONE) == 0) return;
    auto* self = static_cast<AdServer*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    ++self->m_handshakes;
    if (SSL_session_reused(ssl)) ++self->m_resumed;
  });
  // The TLS handshake waits this long for a client that connected and sent
  // nothing (a connection opened ahead of time), and so does Stop().
  server->set_read_timeout(1);
  m_server = std::move(server);
  m_authorityPath = authority.CertificatePath();

  m_plain = std::make_unique<httplib::Server>();
  m_plain->set_keep_alive_timeout(1);
  const auto redirect = [this](const httplib::Request& req, httplib::Response& res) {
    const auto seq = m_requests.Begin(Record(req, "redirect"));
    res.set_redirect(m_baseUrl + req.target, 302);
    m_requests.Finish(seq, Answered(res, {}));
    LogLine(req, res.status, {});
  };
  m_plain->Get(".*", redirect);
  m_plain->Post(".*", redirect);
#else
  throw std::runtime_error("this build of kestrel-adserver has no TLS");
#endif
}

int AdServer::Bind() {
  int port = m_options.port;
  if (port == 0) {
    port = m_server->bind_to_any_port(kHost);
  } else if (!m_server->bind_to_port(kHost, port)) {
    port = -1;
  }
  if (port <= 0) {
    throw std::runtime_error("cannot listen on " + std::string(kHost) + ":" + std::to_string(m_options.port));
  }
  m_port = port;
  // Certificates name a host, so TLS clients come by name.
  const std::string own = m_plain ? "https://localhost:" + std::to_string(port)
                                  : "http://" + std::string(kHost) + ":" + std::to_string(port);
  m_baseUrl = m_options.publicBaseUrl.empty() ? own : m_options.publicBaseUrl;
  if (m_plain) {
    const int plainPort = m_plain->bind_to_any_port(kHost);
    if (plainPort <= 0) {
      throw std::runtime_error("cannot listen on " + std::string(kHost) + " for plain http");
    }
    m_plainUrl = "http://" + std::string(kHost) + ":" + std::to_string(plainPort);
  }
  return port;
}

bool AdServer::Run() {
  {
    std::lock_guard lock(m_stateMutex);
    if (m_stopping) {
      return true;
    }
    m_running = true;
  }
  std::atomic<bool> plainEnded{false};
  if (m_plain) {
    m_plainThread = std::thread([this, &plainEnded] {
      m_plain->listen_after_bind();
      plainEnded = true;
    });
  }
  const bool ok = m_server->listen_after_bind();
  if (m_plain) {
    // A stop that arrives before the plain server listens is lost; repeat it.
    while (!plainEnded) {
      m_plain->stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_plainThread.join();
  }
  std::lock_guard lock(m_stateMutex);
  m_running = false;
  m_runEnded = true;
  m_stateChanged.notify_all();
  return ok || m_stopping;
}

void AdServer::Stop() {
  std::unique_lock lock(m_stateMutex);
  m_stopping = true;
  m_stateChanged.notify_all();
  // A stop that arrives while Run() is still starting up is lost; repeat it.
  while (m_running) {
    lock.unlock();
    m_server->stop();
    lock.lock();
    m_stateChanged.wait_for(lock, std::chrono::milliseconds(20), [this] { return !m_running; });
  }
}

bool AdServer::WaitUntilServing(std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!m_server->is_running()) {
    {
      std::lock_guard lock(m_stateMutex);
      if (m_stopping || m_runEnded) return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool AdServer::WaitUnlessStopping(std::chrono::milliseconds duration) {
  std::unique_lock lock(m_stateMutex);
  m_stateChanged.wait_for(lock, duration, [&] { return m_stopping || m_delaysReleased; });
  return !m_stopping;
}

void AdServer::ReleaseDelays(bool released) {
  std::lock_guard lock(m_stateMutex);
  m_delaysReleased = released;
  m_stateChanged.notify_all();
}

void AdServer::AddRoutes() {
  auto& s = *m_server;
  const auto route = [this](std::string_view name, std::optional<FaultRoute> faultRoute, Answer answer) {
    return [this, name, faultRoute, answer = std::move(answer)](const httplib::Request& req,
                                                                httplib::Response& res) {
      Serve(name, faultRoute, req, res, answer);
    };
  };
  const auto config = route("config", FaultRoute::Config,
                            [this](const httplib::Request&, httplib::Response& res, const Fault*) { AnswerConfig(res); });
  s.Post("/config", config);
  s.Get("/config", config);
  s.Post("/ads", route("ads", FaultRoute::Ads, [this](const auto& req, auto& res, const Fault* f) {
    AnswerAds(req, res, f);
  }));
  s.Get("/bundles/([^/]+)", route("bundle", FaultRoute::Bundle, [this](const auto& req, auto& res, const Fault* f) {
    AnswerBundle(req, res, f);
  }));
  s.Get("/assets/([^/]+)", route("asset", FaultRoute::Asset, [this](const auto& req, auto& res, const Fault*) {
    AnswerAsset(req, res);
  }));
  const auto empty = [](const httplib::Request&, httplib::Response& res, const Fault*) {
    SetBody(res, 200, "", "text/plain");
  };
  s.Get("/tpat/.+", route("tpat", FaultRoute::Tpat, empty));
  const auto markup = route("hb", FaultRoute::Hb, [this](const auto& req, auto& res, const Fault* f) {
    AnswerBidMarkup(req, res, f);
  });
  s.Get("/hb/markup", markup);
  s.Post("/hb/markup", markup);
  s.Get("/hb/impression", route("impression", FaultRoute::Impression, empty));
  // The endpoints that /config names but the SDK never calls.
  const auto stub = route("endpoint", std::nullopt, [](const httplib::Request&, httplib::Response& res, const Fault*) {
    SetBody(res, 200, "{}", kJson);
  });
  for (const char* path : {"/new", "/log", "/ri", "/sdk_bi"}) {
    s.Get(path, stub);
    s.Post(path, stub);
  }
  const auto unknown = route("unknown", std::nullopt, [](const httplib::Request&, httplib::Response& res, const Fault*) {
    SetError(res, 404, "no such endpoint");
  });
  s.Get(".*", unknown);
  s.Post(".*", unknown);
  s.Put(".*", unknown);
  s.Delete(".*", unknown);
}

void AdServer::AddControlRoutes() {
  auto& s = *m_server;
  // The inspector's page and its polling are not logged: it polls every second.
  s.Get("/", [this](const httplib::Request&, httplib::Response& res) { AnswerInspectorFile("index.html", res); });
  s.Get("/_inspector/([a-z]+\\.(?:js|css))", [this](const httplib::Request& req, httplib::Response& res) {
    AnswerInspectorFile(req.matches[1], res);
  });
  s.Get("/_control/exchanges", [this](const httplib::Request& req, httplib::Response& res) {
    std::uint64_t after = 0;
    const auto text = req.get_param_value("after");
    std::from_chars(text.data(), text.data() + text.size(), after);
    auto [list, total] = m_requests.SummariesAfter(after);
    SetBody(res, 200, Dump({{"exchanges", std::move(list)}, {"total", total}}), kJson);
  });
  s.Get("/_control/exchanges/([0-9]+)", [this](const httplib::Request& req, httplib::Response& res) {
    std::uint64_t seq = 0;
    const std::string text = req.matches[1];
    std::from_chars(text.data(), text.data() + text.size(), seq);
    const auto record = m_requests.Find(seq);
    if (record) {
      SetBody(res, 200, Dump(record->ToJson()), kJson);
    } else {
      SetError(res, 404, "no such exchange, or no longer kept");
    }
  });
  s.Get("/_control/requests", [this](const httplib::Request& req, httplib::Response& res) {
    auto list = nlohmann::json::array();
    for (const auto& r : m_requests.Snapshot(req.get_param_value("prefix"))) {
      list.push_back(r.ToJson());
    }
    SetBody(res, 200, Dump(list), kJson);
    LogLine(req, res.status, {});
  });
  const auto reset = [this](const httplib::Request& req, httplib::Response& res) {
    m_requests.Clear();
    m_faults.Clear();
    SetBody(res, 200, Dump({{"ok", true}}), kJson);
    LogLine(req, res.status, {});
  };
  s.Post("/_control/reset", reset);
  // cpp-httplib refuses a POST without Content-Length (curl -X POST sends none) before any route sees it.
  s.set_pre_routing_handler([reset](const httplib::Request& req, httplib::Response& res) {
    if (req.method != "POST" || req.path != "/_control/reset" || req.has_header("Content-Length")) {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    reset(req, res);
    return httplib::Server::HandlerResponse::Handled;
  });
  s.Post("/_control/fault", [this](const httplib::Request& req, httplib::Response& res) {
    try {
      const auto body = nlohmann::json::parse(req.body);
      std::vector<Fault> faults;
      if (body.is_array()) {
        for (const auto& item : body) {
          faults.push_back(Fault::FromJson(item));
        }
      } else {
        faults.push_back(Fault::FromJson(body));
      }
      for (const auto& fault : faults) {
        m_faults.Set(fault);
      }
      SetBody(res, 200, Dump(m_faults.ToJson()), kJson);
    } catch (const std::exception& e) {
      SetError(res, 400, e.what());
    }
    LogLine(req, res.status, {});
  });
  s.Get("/_control/tls", [this](const httplib::Request& req, httplib::Response& res) {
    SetBody(res, 200,
            Dump({{"handshakes", m_handshakes.load()},
                  {"resumed", m_resumed.load()},
                  {"authority", m_authorityPath.string()},
                  {"plain", m_plainUrl}}),
            kJson);
    LogLine(req, res.status, {});
  });
  // /_control/downgrade/PATH redirects to PATH on the plain http address.
  const auto downgrade = [this](const httplib::Request& req, httplib::Response& res) {
    res.set_redirect(m_plainUrl + "/" + std::string(req.matches[1]), 302);
    LogLine(req, res.status, {});
  };
  s.Get("/_control/downgrade/(.*)", downgrade);
  s.Post("/_control/downgrade/(.*)", downgrade);
  s.Get("/_control/faults", [this](const httplib::Request& req, httplib::Response& res) {
    SetBody(res, 200, Dump(m_faults.ToJson()), kJson);
    LogLine(req, res.status, {});
  });
}

void AdServer::Serve(std::string_view route, std::optional<FaultRoute> faultRoute, const httplib::Request& req,
                     httplib::Response& res, const Answer& answer) {
  const auto seq = m_requests.Begin(Record(req, route));
  const auto fault = faultRoute ? m_faults.Take(*faultRoute) : std::nullopt;
  const std::string_view faultName = fault ? ModeName(fault->mode) : std::string_view{};
  try {
    if (fault && fault->delayMs > 0 && !WaitUnlessStopping(std::chrono::milliseconds(fault->delayMs))) {
      SetError(res, 503, "the server is stopping");
    } else if (fault) {
      ApplyFault(*fault, req, res, answer);
    } else {
      answer(req, res, nullptr);
    }
  } catch (const std::exception& e) {
    SetError(res, 500, e.what());
  }
  m_requests.Finish(seq, Answered(res, faultName));
  LogLine(req, res.status, faultName);
}

void AdServer::ApplyFault(const Fault& fault, const httplib::Request& req, httplib::Response& res,
                          const Answer& answer) {
  switch (fault.mode) {
    case FaultMode::Status:
      SetBody(res, fault.status, Dump({{"error", "injected fault"}, {"status", fault.status}}), kJson);
      break;
    case FaultMode::NotJson:
      SetBody(res, 200, "<html><body>This is not JSON {\"ads\":</body></html>", "text/html");
      break;
    case FaultMode::Body:
      SetBody(res, 200, ConfigFixture::ExpandBaseUrl(fault.body, m_baseUrl), kJson);
      break;
    case FaultMode::Slow:
      answer(req, res, nullptr);
      Trickle(res, fault);
      break;
    case FaultMode::Close:
      answer(req, res, nullptr);
      CutShort(res, fault);
      break;
    case FaultMode::Cookie:
      answer(req, res, nullptr);
      res.set_header("Set-Cookie", "kestrel-fault=1; Path=/; Max-Age=86400");
      break;
    case FaultMode::None:
    case FaultMode::Delay:
      answer(req, res, nullptr);
      break;
    default:  // modes that the route's own answer carries out
      answer(req, res, &fault);
      break;
  }
}

void AdServer::Trickle(httplib::Response& res, const Fault& fault) {
  auto body = std::make_shared<const std::string>(std::move(res.body));
  res.body.clear();
  const auto type = res.get_header_value("Content-Type");
  res.headers.erase("Content-Type");
  const auto chunk = fault.chunkBytes;
  const auto interval = std::chrono::milliseconds(fault.intervalMs);
  res.set_content_provider(body->size(), type,
                           [this, body, chunk, interval](std::size_t offset, std::size_t length,
                                                         httplib::DataSink& sink) {
                             if (offset > 0 && !WaitUnlessStopping(interval)) {
                               return false;
                             }
                             return sink.write(body->data() + offset, std::min(chunk, length));
                           });
}

void AdServer::CutShort(httplib::Response& res, const Fault& fault) {
  auto text = std::move(res.body);
  res.body.clear();
  if (text.size() < 2) {
    text.assign(64, '.');  // something to cut
  }
  const auto keep = fault.bytes > 0 ? std::min(fault.bytes, text.size() - 1) : text.size() / 2;
  auto body = std::make_shared<const std::string>(std::move(text));
  const auto type = res.get_header_value("Content-Type");
  res.headers.erase("Content-Type");
  res.set_content_provider(body->size(), type,
                           [body, keep](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                             // Returning false drops the connection with the rest unsent.
                             return offset < keep && sink.write(body->data() + offset, keep - offset);
                           });
}

void AdServer::LogLine(const httplib::Request& req, int status, std::string_view fault) {
  if (!m_options.logRequests) {
    return;
  }
  std::lock_guard lock(m_logMutex);
  std::cout << req.method << ' ' << req.target << ' ' << status;
  if (!fault.empty()) {
    std::cout << " fault=" << fault;
  }
  std::cout << std::endl;
}

void AdServer::AnswerInspectorFile(const std::string& name, httplib::Response& res) const {
  const auto text = InspectorFile(name);
  if (!text) {
    SetError(res, 404, "no such file of the inspector: " + name);
    return;
  }
  res.set_header("Cache-Control", "no-store");
  SetBody(res, 200, std::string(*text), ContentType(name));
}

void AdServer::AnswerConfig(httplib::Response& res) const {
  SetBody(res, 200, Dump(m_config.Document(m_baseUrl)), kJson);
}

void AdServer::AnswerAds(const httplib::Request& req, httplib::Response& res, const Fault* fault) {
  const auto body = nlohmann::json::parse(req.body, nullptr, false);
  const auto pointer = nlohmann::json::json_pointer("/request/placements/0");
  if (body.is_discarded() || !body.contains(pointer) || !body.at(pointer).is_string()) {
    SetError(res, 400, "the body needs \"request\".\"placements\"[0], a placement id");
    return;
  }
  const auto placement = body.at(pointer).get<std::string>();
  const AdDocument ads(m_baseUrl, m_options.autoCloseSeconds, m_options.countdownSeconds);
  nlohmann::json document;
  if (fault != nullptr && fault->mode == FaultMode::Sleep) {
    document = AdDocument::Sleep(fault->sleepSeconds, fault->info);
  } else if (fault != nullptr && fault->mode == FaultMode::WrongTypes) {
    document = ads.WrongTypes();
  } else if (!m_config.HasPlacement(placement)) {
    document = AdDocument::NoFill();
  } else {
    document = ads.Ad(placement, NextEventId(placement), NowSeconds());
  }
  SetBody(res, 200, Dump(document), kJson);
}

void AdServer::AnswerBundle(const httplib::Request& req, httplib::Response& res, const Fault* fault) {
  if ("/bundles/" + std::string(req.matches[1]) != AdDocument::kBundlePath) {
    SetError(res, 404, "no such bundle");
    return;
  }
  const auto mode = fault != nullptr ? fault->mode : FaultMode::None;
  if (mode == FaultMode::Large) {
    const auto archive = m_bundles.LargeArchive(fault->bytes);
    res.status = 200;
    res.set_content_provider(archive->size(), "application/zip",
                             [archive](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                               return sink.write(archive->data() + offset, std::min(length, kProviderChunk));
                             });
    return;
  }
  if (mode == FaultMode::None) {
    if (auto chosen = m_shelf.ChosenArchive(m_baseUrl)) {
      SetBody(res, 200, *chosen, "application/zip");
      return;
    }
  }
  const auto& archive = mode == FaultMode::ZipSlip ? m_bundles.UnsafeArchive()
                        : mode == FaultMode::Corrupt ? m_bundles.CorruptArchive()
                                                      : m_bundles.Archive();
  SetBody(res, 200, archive, "application/zip");
}

void AdServer::AnswerAsset(const httplib::Request& req, httplib::Response& res) const {
  const std::string name = req.matches[1];
  const auto file = m_assetsDir / name;
  if (name.starts_with('.') || name.find('\\') != std::string::npos || !std::filesystem::is_regular_file(file)) {
    SetError(res, 404, "no such asset");
    return;
  }
  std::ifstream in(file, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  SetBody(res, 200, data.str(), ContentType(file));
}

void AdServer::AnswerBidMarkup(const httplib::Request& req, httplib::Response& res, const Fault* fault) {
  auto placement = req.get_param_value("placement");
  if (placement.empty()) {
    const auto body = nlohmann::json::parse(req.body, nullptr, false);
    if (body.is_object() && body.contains("placement") && body["placement"].is_string()) {
      placement = body["placement"].get<std::string>();
    }
  }
  if (placement.empty()) {
    SetError(res, 400, "name the placement: ?placement=ID or {\"placement\":\"ID\"}");
    return;
  }
  if (!m_config.HasPlacement(placement)) {
    SetError(res, 404, "unknown placement " + placement);
    return;
  }
  int version = 2;
  if (req.has_param("version")) {
    const auto text = req.get_param_value("version");
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), version);
    if (ec != std::errc{} || ptr != text.data() + text.size()) {
      SetError(res, 400, "version must be an integer");
      return;
    }
  }
  if (fault != nullptr && fault->mode == FaultMode::WrongTypes) {
    SetBody(res, 200, Dump(BidMarkup::WrongTypes()), kJson);
    return;
  }
  const auto eventId = NextEventId(placement);
  const auto ads = fault != nullptr && fault->mode == FaultMode::Sleep
                       ? AdDocument::Sleep(fault->sleepSeconds, fault->info)
                       : AdDocument(m_baseUrl, m_options.autoCloseSeconds, m_options.countdownSeconds)
                             .Ad(placement, eventId, NowSeconds());
  const std::vector<std::string> impressions{m_baseUrl + "/hb/impression?placement=" +
                                             AdDocument::PercentEncode(placement) +
                                             "&ev=" + AdDocument::PercentEncode(eventId) + "&ts=%timestamp%"};
  SetBody(res, 200, Dump(BidMarkup::Build(ads, impressions, version)), kJson);
}

std::string AdServer::NextEventId(const std::string& placement) {
  return placement + "-" + std::to_string(++m_adCount);
}

}  // namespace kestrel::adserver

#if defined(__SANITIZE_THREAD__)
// cpp-httplib comes as an uninstrumented shared library. ThreadSanitizer does not
// see the synchronisation compiled into it (the fast path of its function-local
// static regexes, for one) and reports races on objects that it shares safely.
extern "C" const char* __tsan_default_suppressions() { return "race:libcpp-httplib.so\n"; }
#endif
