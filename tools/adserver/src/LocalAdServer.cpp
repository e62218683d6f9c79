#include "LocalAdServer.h"

#include <stdexcept>
#include <utility>

#include "AdServer.h"

namespace kestrel::adserver {

AdServerOptions LocalAdServer::QuietOptions() {
  AdServerOptions options;
  options.logRequests = false;
  return options;
}

LocalAdServer::LocalAdServer(AdServerOptions options) : m_options(std::move(options)) {}

LocalAdServer::~LocalAdServer() { Stop(); }

void LocalAdServer::Start() {
  if (m_server) {
    throw std::runtime_error("the local ad server is already started");
  }
  auto server = std::make_unique<AdServer>(m_options);
  server->Bind();
  m_server = std::move(server);
  m_thread = std::thread([server = m_server.get()] { server->Run(); });
  // A stop before the server loop runs would leave the bound socket open.
  if (!m_server->WaitUntilServing(std::chrono::seconds(30))) {
    throw std::runtime_error("the local ad server did not start serving");
  }
}

void LocalAdServer::Stop() {
  if (!m_server) {
    return;
  }
  m_server->Stop();
  if (m_thread.joinable()) {
    m_thread.join();
  }
}

int LocalAdServer::Port() const { return Server().Port(); }

std::string LocalAdServer::BaseUrl() const { return Server().BaseUrl(); }

nlohmann::json LocalAdServer::ConfigDocument() const { return Server().Config().Document(Server().BaseUrl()); }

std::string LocalAdServer::PlainUrl() const { return Server().PlainUrl(); }

std::uint64_t LocalAdServer::ResumedHandshakes() const { return Server().ResumedHandshakes(); }

std::vector<RecordedRequest> LocalAdServer::Requests(std::string_view pathPrefix) const {
  return Server().Requests().Snapshot(pathPrefix);
}

bool LocalAdServer::WaitForRequests(std::string_view pathPrefix, std::size_t count,
                                    std::chrono::milliseconds timeout) const {
  return Server().Requests().WaitFor(pathPrefix, count, timeout);
}

void LocalAdServer::SetFault(const Fault& fault) {
  Server().ReleaseDelays(false);
  Server().Faults().Set(fault);
}

void LocalAdServer::SetFault(std::string_view text) { SetFault(Fault::Parse(text)); }

void LocalAdServer::ClearFaults() {
  Server().ReleaseDelays(false);
  Server().Faults().Clear();
}
void LocalAdServer::ReleaseDelays() { Server().ReleaseDelays(true); }

void LocalAdServer::ChooseCreative(const std::string& name) { Server().Creatives().Choose(name); }

void LocalAdServer::Reset() {
  Server().Requests().Clear();
  Server().Faults().Clear();
}

AdServer& LocalAdServer::Server() const {
  if (!m_server) {
    throw std::logic_error("the local ad server is not started");
  }
  return *m_server;
}

}  // namespace kestrel::adserver
