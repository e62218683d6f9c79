// Every exchange over HTTPS with libcurl, against the local ad server with a
// certificate of a test authority that only this process trusts: the program
// runs under tests/support/with-test-ca.sh, which bind-mounts a bundle with the
// authority over the system's in a private mount namespace.

#include "support/TestPrelude.h"

#include "server/ITpatController.h"
#include "server/TpatsModel.h"
#include "support/SdkFixture.h"

namespace kestrel {
namespace {

using adserver::LocalAdServer;
using adserver::TlsCertificate;

constexpr const char* kSystemBundle = "/etc/ssl/certs/ca-certificates.crt";
constexpr long kCurlPeerFailedVerification = 60;  // CURLE_PEER_FAILED_VERIFICATION
constexpr long kCurlUnsupportedProtocol = 1;      // CURLE_UNSUPPORTED_PROTOCOL: a redirect to a refused scheme

// Why the test authority is not trusted here; empty when it is.
std::string TrustProblem() {
  const char* dir = std::getenv("KESTREL_TEST_CA_DIR");
  if (!dir || !*dir) return "KESTREL_TEST_CA_DIR is not set: run under tests/support/with-test-ca.sh as root";
  const std::string authority = test::ReadFile(fs::path(dir) / "ca.pem");
  if (authority.empty() || test::ReadFile(kSystemBundle).find(authority) == std::string::npos) {
    return std::string("the test authority is not in ") + kSystemBundle + " (no private mount namespace)";
  }
  return {};
}

adserver::AdServerOptions TlsOptions(TlsCertificate certificate = TlsCertificate::Valid, int port = 0) {
  auto options = LocalAdServer::QuietOptions();
  options.tls = true;
  options.tlsDir = std::getenv("KESTREL_TEST_CA_DIR");
  options.tlsCertificate = certificate;
  options.port = port;
  return options;
}

class HttpsTest : public test::SdkFixture {
 protected:
  void SetUp() override {
    if (const auto problem = TrustProblem(); !problem.empty()) GTEST_SKIP() << problem;
    SdkFixture::SetUp();
  }
  adserver::AdServerOptions ServerOptions() override { return TlsOptions(); }
};

// Requests that reached the plain http port.
std::size_t PlainRequests(const LocalAdServer& server) {
  std::size_t count = 0;
  for (const auto& request : server.Requests()) count += request.route == "redirect";
  return count;
}

TEST_F(HttpsTest, InitialiseLoadAndTrackingGoOverHttpsAndResumeSessions) {
  ASSERT_EQ(server->BaseUrl().rfind("https://localhost:", 0), 0u) << server->BaseUrl();
  InitOutcome outcome = Initialize(server->BaseUrl());
  ASSERT_TRUE(!outcome.successes.empty()) << (outcome.failures.empty() ? "" : outcome.failures[0]);
  const std::size_t successes = success.Events().size();
  ASSERT_TRUE(outcome.instance->LoadAd("interstitial", AdLoadCallback{success.Handler(), failure.Handler()}));
  ASSERT_TRUE(WaitUntil([&] { return success.Events().size() + failure.Events().size() > successes; }));
  ASSERT_EQ(success.Events().size(), successes + 1) << failure.Events().back().Message;

  auto ad = std::make_shared<AdResponse>();
  ad->m_tpats["impression"] = {server->BaseUrl() + "/tpat/impression"};
  ControllerRegistry::GetTpatController()->SendTpat(std::make_shared<TpatsModel>(ad), {{"event", "impression"}});
  ASSERT_TRUE(WaitUntil([&] {
    const auto hits = server->Requests("/tpat/impression");
    return !hits.empty() && hits.back().status != 0;
  }));

  // The server listens for TLS only: what it recorded came over https.
  for (const char* path : {"/config", "/ads", "/bundles/", "/assets/", "/tpat/impression"}) {
    const auto requests = server->Requests(path);
    ASSERT_FALSE(requests.empty()) << path;
    EXPECT_EQ(requests.back().status, 200) << path;
  }
  EXPECT_EQ(PlainRequests(*server), 0u);
  EXPECT_GT(server->ResumedHandshakes(), 0u) << "no TLS session was resumed";
}

TEST_F(HttpsTest, BadCertificatesFailInitialisationAndLoadsWithoutPlainHttp) {
  const int port = server->Port();
  const std::string url = server->BaseUrl();
  InitOutcome outcome = Initialize(url);
  ASSERT_TRUE(!outcome.successes.empty()) << (outcome.failures.empty() ? "" : outcome.failures[0]);
  const std::string failed = "HttpSendRequestW failed. Error: " + std::to_string(kCurlPeerFailedVerification);
  for (const auto certificate : {TlsCertificate::Expired, TlsCertificate::OtherHost, TlsCertificate::OtherAuthority}) {
    SCOPED_TRACE(static_cast<int>(certificate));
    // The same address, now with a certificate that must not be accepted.
    server->Stop();
    server = std::make_unique<LocalAdServer>(TlsOptions(certificate, port));
    server->Start();
    LogCapture log;

    // A failed /ads exchange is logged; the load brings no callback.
    ASSERT_TRUE(outcome.instance->LoadAd("interstitial", AdLoadCallback{success.Handler(), failure.Handler()}));
    EXPECT_TRUE(WaitUntil([&] { return log.Count("Didn't get ad part response - got network error") > 0; }));
    EXPECT_EQ(log.Count("Url: " + url + "/ads. Error: " + failed), 1);
    EXPECT_FALSE(outcome.instance->IsAdPlayable("interstitial"));

    SdkState::Reset();
    const InitOutcome refused = Initialize(url);
    EXPECT_FALSE(!refused.successes.empty());
    ASSERT_EQ(refused.failures.size(), 1u);
    EXPECT_EQ(refused.failures[0], failed);

    EXPECT_TRUE(server->Requests().empty()) << "a request got through";
    for (const auto& message : log.Messages()) EXPECT_EQ(message.find("http://"), std::string::npos) << message;

    // Back to a good certificate for the next row's load.
    SdkState::Reset();
    server->Stop();
    server = std::make_unique<LocalAdServer>(TlsOptions(TlsCertificate::Valid, port));
    server->Start();
    outcome = Initialize(url);
    ASSERT_TRUE(!outcome.successes.empty()) << (outcome.failures.empty() ? "" : outcome.failures[0]);
  }
}

TEST_F(HttpsTest, RedirectsAreFollowedUpToHttpsButNeverDown) {
  struct Row {
    std::string name;
    std::string url;
    HttpFailure failure;
    long error;
  };
  const Row rows[] = {
      {"http to https", server->PlainUrl() + "/config", HttpFailure::None, 0},
      {"https to http", server->BaseUrl() + "/_control/downgrade/config", HttpFailure::Send, kCurlUnsupportedProtocol},
  };
  const auto client = CreateHttpClient();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    server->Reset();
    const HttpResult result = client->Exchange({"GET", row.url, "Kestrel Test", {}, std::nullopt, {}});
    EXPECT_EQ(result.failure, row.failure);
    EXPECT_EQ(result.error, row.error);
    const bool answered = row.failure == HttpFailure::None;
    if (answered) {
      EXPECT_EQ(result.statusCode, 200);
    }
    EXPECT_EQ(PlainRequests(*server), answered ? 1u : 0u);
    std::size_t overTls = 0;
    for (const auto& request : server->Requests("/config")) overTls += request.route == "config";
    EXPECT_EQ(overTls, answered ? 1u : 0u);
  }
}

}  // namespace
}  // namespace kestrel
