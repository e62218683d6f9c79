// The simulator in front of the local ad server: it must never deliver
// sooner than the network it stands for. (How close it comes is measured by
// the benchmarks, not here.)
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include <httplib.h>

#include "LocalAdServer.h"
#include "NetSim.h"

namespace kestrel::netsim {
namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

struct Timed {
  int status = 0;
  std::size_t bytes = 0;
  double seconds = 0;
};

Timed Get(httplib::Client& client, const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  const auto answer = client.Get(path);
  Timed timed{answer ? answer->status : 0, answer ? answer->body.size() : 0};
  timed.seconds = Seconds(std::chrono::steady_clock::now() - start).count();
  return timed;
}

class NetSimTest : public ::testing::Test {
 protected:
  void SetUp() override { server.Start(); }
  adserver::LocalAdServer server;
};

TEST_F(NetSimTest, ConnectionsPayTheHandshakeOnceAndEveryExchangeARoundTrip) {
  NetSim sim("127.0.0.1", server.Port(), {150ms, 0});
  httplib::Client client("127.0.0.1", sim.Start());
  client.set_keep_alive(true);
  const Timed first = Get(client, "/assets/icon.png");
  const Timed second = Get(client, "/assets/icon.png");
  ASSERT_EQ(first.status, 200);
  ASSERT_EQ(second.status, 200);
  EXPECT_GE(first.seconds, 0.300);  // handshake and exchange
  EXPECT_GE(second.seconds, 0.150);
  EXPECT_EQ(sim.Connections(), 1);
}

TEST_F(NetSimTest, ConnectionsShareTheDownlink) {
  constexpr std::size_t kBytes = 300 * 1000;
  constexpr double kBitsPerSecond = 8e6;
  server.SetFault("bundle=large,bytes=" + std::to_string(kBytes));
  NetSim sim("127.0.0.1", server.Port(), {0ms, kBitsPerSecond});
  const int port = sim.Start();
  auto download = [port] {
    httplib::Client client("127.0.0.1", port);
    return Get(client, "/bundles/sample.zip");
  };
  auto one = std::async(std::launch::async, download);
  auto other = std::async(std::launch::async, download);
  const Timed a = one.get();
  const Timed b = other.get();
  ASSERT_EQ(a.status, 200);
  ASSERT_EQ(b.status, 200);
  ASSERT_GT(a.bytes, kBytes);
  const double both = static_cast<double>(a.bytes + b.bytes) * 8 / kBitsPerSecond;
  EXPECT_GE(std::max(a.seconds, b.seconds), both * 0.99);
  EXPECT_EQ(sim.Connections(), 2);
}

}  // namespace
}  // namespace kestrel::netsim
