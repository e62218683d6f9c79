#include "platform/linux/PreconnectedSockets.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>

namespace kestrel {
namespace {

// Family, port and address: equal for two sockaddrs of the same peer.
std::string AddressKey(const sockaddr* address, socklen_t length) {
  if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    return "4:" + std::to_string(ntohs(in->sin_port)) + ":" +
           std::string(reinterpret_cast<const char*>(&in->sin_addr), sizeof in->sin_addr);
  }
  if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
    return "6:" + std::to_string(ntohs(in6->sin6_port)) + ":" +
           std::string(reinterpret_cast<const char*>(&in6->sin6_addr), sizeof in6->sin6_addr);
  }
  return {};
}

// A socket connected to the address within the time, or -1.
int ConnectWithin(const addrinfo& at, std::chrono::seconds timeout) {
  const int fd = socket(at.ai_family, at.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, at.ai_protocol);
  if (fd < 0) return -1;
  if (connect(fd, at.ai_addr, at.ai_addrlen) != 0) {
    pollfd wait{fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    if (errno != EINPROGRESS || poll(&wait, 1, static_cast<int>(timeout.count() * 1000)) != 1 ||
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
      close(fd);
      return -1;
    }
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

// Whether the server has closed the connection (or sent what nobody asked for).
bool ClosedByPeer(int fd) {
  pollfd check{fd, POLLIN | POLLRDHUP, 0};
  return poll(&check, 1, 0) != 0;
}

}  // namespace

PreconnectedSockets::~PreconnectedSockets() {
  for (const Idle& idle : m_idle) close(idle.fd);
}

void PreconnectedSockets::Open(const std::string& host, int port, int count, std::chrono::seconds timeout) {
  const std::string server = host + ":" + std::to_string(port);
  int missing = 0;
  {
    std::lock_guard lock(m_mutex);
    CloseStaleLocked(Clock::now());
    const auto waiting = std::count_if(m_idle.begin(), m_idle.end(), [&](const Idle& i) { return i.server == server; });
    missing = count - static_cast<int>(waiting) - m_opening[server];
    if (missing <= 0) return;
    m_opening[server] += missing;
  }
  try {
    std::thread([self = shared_from_this(), host, port, missing, timeout] {
      self->Connect(host, port, missing, timeout);
    }).detach();
  } catch (const std::exception&) {
    std::lock_guard lock(m_mutex);
    m_opening[server] -= missing;  // no thread: nothing is opened
  }
}

void PreconnectedSockets::Connect(const std::string& host, int port, int count, std::chrono::seconds timeout) {
  const std::string server = host + ":" + std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0) {
    for (int i = 0; i < count; ++i) {
      int fd = -1;
      const addrinfo* used = found;
      for (; used && fd < 0; used = fd < 0 ? used->ai_next : used) fd = ConnectWithin(*used, timeout);
      if (fd < 0) break;
      std::lock_guard lock(m_mutex);
      m_idle.push_back({server, AddressKey(used->ai_addr, used->ai_addrlen), fd, Clock::now()});
    }
    freeaddrinfo(found);
  }
  std::lock_guard lock(m_mutex);
  m_opening[server] -= count;
}

int PreconnectedSockets::Take(const sockaddr* address, socklen_t length) {
  const std::string key = AddressKey(address, length);
  if (key.empty()) return -1;
  std::lock_guard lock(m_mutex);
  CloseStaleLocked(Clock::now());
  for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
    if (it->address != key) continue;
    const int fd = it->fd;
    m_idle.erase(it);
    return fd;
  }
  return -1;
}

void PreconnectedSockets::CloseStaleLocked(Clock::time_point now) {
  std::erase_if(m_idle, [&](const Idle& idle) {
    if (now - idle.since < kMaxIdle && !ClosedByPeer(idle.fd)) return false;
    close(idle.fd);
    return true;
  });
}

}  // namespace kestrel
