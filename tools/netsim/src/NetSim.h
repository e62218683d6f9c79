#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kestrel::netsim {

// What the simulated network between a client and a server is like.
struct Link {
  std::chrono::microseconds roundTrip{0};
  double bitsPerSecond = 0;  // downstream, shared by every connection; 0 is unlimited
};

// A relay on 127.0.0.1 that puts a simulated network in front of a server
// on loopback. Each new connection pays a round trip before its first bytes
// pass (the handshake); every chunk then takes half the round trip each way,
// and the bytes going back to the clients share one link of the given speed.
class NetSim {
 public:
  NetSim(std::string upstreamHost, int upstreamPort, Link link);
  ~NetSim();
  NetSim(const NetSim&) = delete;
  NetSim& operator=(const NetSim&) = delete;

  // Listens on the port (0 for an ephemeral one) and returns it; throws
  // std::runtime_error when it cannot listen.
  int Start(int port = 0);
  // Ends every connection and waits for them; idempotent.
  void Stop();
  int Port() const { return m_port; }
  // For a server that must know the relay's port before it starts.
  void SetUpstreamPort(int port) { m_upstreamPort = port; }
  // Connections accepted so far.
  std::int64_t Connections() const { return m_connections.load(); }

 private:
  using Clock = std::chrono::steady_clock;
  class Connection;

  void AcceptLoop();
  // When a chunk of `bytes` read now downstream reaches the client's side of the link.
  Clock::time_point ReserveDownlink(Clock::time_point ready, std::size_t bytes);

  const std::string m_upstreamHost;
  std::atomic<int> m_upstreamPort;
  const Link m_link;
  int m_listener = -1;
  int m_port = 0;
  std::thread m_acceptor;
  std::atomic<bool> m_stopping{false};
  std::atomic<std::int64_t> m_connections{0};

  std::mutex m_mutex;  // guards m_live and m_downlinkFree
  std::list<std::unique_ptr<Connection>> m_live;
  Clock::time_point m_downlinkFree{};
};

}  // namespace kestrel::netsim
