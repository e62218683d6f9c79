#include "NetSim.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <utility>
#include <vector>

namespace kestrel::netsim {
namespace {

constexpr std::size_t kChunk = 16 * 1024;

void NoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int ConnectTo(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (addrinfo* at = found; at && fd < 0; at = at->ai_next) {
    fd = socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
    if (fd >= 0 && connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd >= 0) NoDelay(fd);
  return fd;
}

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace

// One relayed connection: a reader and a writer thread for each direction.
// A reader stamps each chunk with the time it may reach the other side; the
// writer holds it until then, so chunks in flight overlap as on a real link.
class NetSim::Connection {
 public:
  Connection(NetSim& sim, int client, Clock::time_point accepted) : m_sim(sim), m_client(client) {
    m_threads.emplace_back([this, accepted] { Open(accepted); });
  }

  ~Connection() {
    Shutdown();
    for (auto& thread : m_threads) {
      if (thread.joinable()) thread.join();
    }
    for (auto* pipe : {&m_up, &m_down}) {
      for (auto& thread : pipe->threads) thread.join();
    }
    if (m_server >= 0) close(m_server);
    close(m_client);
  }

  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Shutdown() {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    shutdown(m_client, SHUT_RDWR);
    if (m_server >= 0) shutdown(m_server, SHUT_RDWR);
    m_up.ready.notify_all();
    m_down.ready.notify_all();
  }

  bool Finished() {
    std::lock_guard lock(m_mutex);
    return m_up.ended && m_down.ended;
  }

 private:
  struct Chunk {
    Clock::time_point due;
    std::string bytes;  // empty: the sender closed its side
  };
  struct Pipe {
    std::deque<Chunk> queue;
    std::condition_variable ready;
    bool ended = false;  // the writer is done
    std::vector<std::thread> threads;
  };

  void Open(Clock::time_point accepted) {
    const int server = ConnectTo(m_sim.m_upstreamHost, m_sim.m_upstreamPort);
    {
      std::lock_guard lock(m_mutex);
      m_server = server;
      if (server < 0 || m_stopping) {
        m_up.ended = m_down.ended = true;
        shutdown(m_client, SHUT_RDWR);
        return;
      }
    }
    // The client's first bytes wait for the handshake's round trip.
    const auto handshake = accepted + m_sim.m_link.roundTrip;
    const auto half = m_sim.m_link.roundTrip / 2;
    m_up.threads.emplace_back([this, handshake, half] {
      Read(m_client, m_up, [&](std::size_t) { return std::max(Clock::now(), handshake) + half; });
    });
    m_up.threads.emplace_back([this] { Write(m_server, m_up); });
    m_down.threads.emplace_back([this, half] {
      Read(m_server, m_down, [&](std::size_t bytes) { return m_sim.ReserveDownlink(Clock::now(), bytes) + half; });
    });
    m_down.threads.emplace_back([this] { Write(m_client, m_down); });
  }

  template <typename DueTime>
  void Read(int from, Pipe& pipe, DueTime due) {
    std::string buffer(kChunk, '\0');
    for (;;) {
      const ssize_t n = recv(from, buffer.data(), buffer.size(), 0);
      if (n < 0 && errno == EINTR) continue;
      const std::size_t size = n > 0 ? static_cast<std::size_t>(n) : 0;
      const auto at = due(size);  // before the lock: the link has a lock of its own
      std::lock_guard lock(m_mutex);
      pipe.queue.push_back({at, buffer.substr(0, size)});
      pipe.ready.notify_all();
      if (size == 0 || m_stopping) return;
    }
  }

  void Write(int to, Pipe& pipe) {
    std::unique_lock lock(m_mutex);
    for (;;) {
      pipe.ready.wait(lock, [&] { return m_stopping || !pipe.queue.empty(); });
      if (m_stopping) break;
      const auto due = pipe.queue.front().due;
      if (pipe.ready.wait_until(lock, due, [&] { return m_stopping; })) break;
      Chunk chunk = std::move(pipe.queue.front());
      pipe.queue.pop_front();
      lock.unlock();
      const bool sent = !chunk.bytes.empty() && SendAll(to, chunk.bytes.data(), chunk.bytes.size());
      lock.lock();
      if (!sent) {
        shutdown(to, SHUT_WR);
        break;
      }
    }
    pipe.ended = true;
  }

  NetSim& m_sim;
  const int m_client;
  std::mutex m_mutex;  // guards everything below and both pipes
  int m_server = -1;
  bool m_stopping = false;
  Pipe m_up;
  Pipe m_down;
  std::vector<std::thread> m_threads;
};

NetSim::NetSim(std::string upstreamHost, int upstreamPort, Link link)
    : m_upstreamHost(std::move(upstreamHost)), m_upstreamPort(upstreamPort), m_link(link) {}

NetSim::~NetSim() {
  Stop();
}

int NetSim::Start(int port) {
  m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listener < 0) throw std::runtime_error(std::string("netsim: socket: ") + std::strerror(errno));
  const int on = 1;
  setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_listener, 64) != 0 ||
      getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const std::string error = std::strerror(errno);
    close(m_listener);
    m_listener = -1;
    throw std::runtime_error("netsim: cannot listen on port " + std::to_string(port) + ": " + error);
  }
  m_port = ntohs(address.sin_port);
  m_acceptor = std::thread([this] { AcceptLoop(); });
  return m_port;
}

void NetSim::Stop() {
  if (m_stopping.exchange(true)) return;
  if (m_listener >= 0) shutdown(m_listener, SHUT_RDWR);
  if (m_acceptor.joinable()) m_acceptor.join();
  if (m_listener >= 0) close(m_listener);
  m_listener = -1;
  std::list<std::unique_ptr<Connection>> live;
  {
    std::lock_guard lock(m_mutex);
    live.swap(m_live);
  }
  for (auto& connection : live) connection->Shutdown();
  live.clear();
}

void NetSim::AcceptLoop() {
  while (!m_stopping) {
    const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    const auto accepted = Clock::now();
    NoDelay(client);
    ++m_connections;
    std::list<std::unique_ptr<Connection>> finished;
    std::lock_guard lock(m_mutex);
    for (auto it = m_live.begin(); it != m_live.end();) {
      auto next = std::next(it);
      if ((*it)->Finished()) finished.splice(finished.end(), m_live, it);
      it = next;
    }
    m_live.push_back(std::make_unique<Connection>(*this, client, accepted));
  }
}

NetSim::Clock::time_point NetSim::ReserveDownlink(Clock::time_point ready, std::size_t bytes) {
  if (m_link.bitsPerSecond <= 0) return ready;
  const auto transmit = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(bytes) * 8.0 / m_link.bitsPerSecond));
  std::lock_guard lock(m_mutex);
  m_downlinkFree = std::max(m_downlinkFree, ready) + transmit;
  return m_downlinkFree;
}

}  // namespace kestrel::netsim
