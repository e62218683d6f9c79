#pragma once

#include <sys/socket.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrel {

// Sockets connected ahead of the exchanges that will need them, handed out
// by the address they are connected to. Any thread.
class PreconnectedSockets : public std::enable_shared_from_this<PreconnectedSockets> {
 public:
  // A socket nobody takes within this time is closed: servers close idle
  // connections after a few seconds.
  static constexpr std::chrono::seconds kMaxIdle{4};

  ~PreconnectedSockets();  // closes what nobody took

  // Connects, on a thread of its own, as many sockets to host:port as make
  // `count` waiting or on their way.
  void Open(const std::string& host, int port, int count, std::chrono::seconds timeout);
  // A connected socket to the address that its server has not closed, or -1.
  int Take(const sockaddr* address, socklen_t length);

 private:
  using Clock = std::chrono::steady_clock;
  struct Idle {
    std::string server;   // host:port as asked for
    std::string address;  // what it is connected to
    int fd = -1;
    Clock::time_point since;
  };

  void Connect(const std::string& host, int port, int count, std::chrono::seconds timeout);
  void CloseStaleLocked(Clock::time_point now);

  std::mutex m_mutex;  // guards the two members below
  std::vector<Idle> m_idle;
  std::map<std::string, int> m_opening;  // per host:port, sockets being connected
};

}  // namespace kestrel
