// Connections opened ahead of time, through a relay that counts them: the
// exchanges that follow take them, and one the server has closed is passed over.
#include "support/TestPrelude.h"

#include "LocalAdServer.h"
#include "NetSim.h"
#include "platform/Backend.h"

namespace kestrel {
namespace {

HttpResult Get(IHttpClient& client, const std::string& url) {
  HttpExchange exchange{"GET", url, "kestrel-test", {}, std::nullopt, {}};
  return client.Exchange(exchange);
}

TEST(PreconnectTest, ExchangesTakeTheOpenedConnectionsAndPassOverClosedOnes) {
  adserver::LocalAdServer server;
  server.Start();
  auto sim = std::make_unique<netsim::NetSim>("127.0.0.1", server.Port(), netsim::Link{});
  const int port = sim->Start();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/assets/icon.png";
  auto client = CreateHttpClient();

  client->Preconnect(url, 2);
  client->Preconnect(url, 2);  // already on their way: no more
  ASSERT_TRUE(test::WaitUntil([&] { return sim->Connections() == 2; }, std::chrono::seconds(10)));
  EXPECT_EQ(Get(*client, url).statusCode, 200);
  EXPECT_EQ(Get(*client, url).statusCode, 200);
  EXPECT_EQ(sim->Connections(), 2);

  // One opened connection still waits (the second exchange reused the
  // first's); two more join it. The relay goes away with them all, and comes
  // back on the same port.
  client->Preconnect(url, 3);
  ASSERT_TRUE(test::WaitUntil([&] { return sim->Connections() == 4; }, std::chrono::seconds(10)));
  sim.reset();
  sim = std::make_unique<netsim::NetSim>("127.0.0.1", server.Port(), netsim::Link{});
  ASSERT_EQ(sim->Start(port), port);
  const HttpResult after = Get(*client, url);
  EXPECT_EQ(after.failure, HttpFailure::None);
  EXPECT_EQ(after.statusCode, 200);
}

}  // namespace
}  // namespace kestrel
