// The WinINet client's own handling against the local ad server on loopback (the runner's
// spoils hb and asset): downloads through a temporary file, time-outs, and over https its
// redirects and bodies cut short. The portable transport tests run under Wine too.
#include "WindowsTest.h"

#include <nlohmann/json.hpp>

#include "platform/IHttpClient.h"

namespace kestrel {
namespace {

using namespace test;

constexpr long kTimedOut = 12002;
constexpr long kConnectionAborted = 12030;  // what Wine reports for a time-out
constexpr long kDowngrade = 12040;          // ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR

std::size_t Entries(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class WinInetHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_base = Env("KESTREL_WINDOWS_TEST_SERVER");
    ASSERT_FALSE(m_base.empty()) << "KESTREL_WINDOWS_TEST_SERVER must name the ad server";
  }

  HttpResult Get(const std::string& url, const std::string& saveTo = {}) {
    return m_client->Exchange(HttpExchange{"GET", url, "Kestrel Windows Test", {}, {}, saveTo});
  }

  std::string m_base;
  std::unique_ptr<IHttpClient> m_client = CreateHttpClient();
};

TEST_F(WinInetHttpClientTest, DownloadReplacesTheFileOnlyWhenTheBodyIsWhole) {
  const test::TempDir folder;
  const fs::path target = folder.Path() / "sample.zip";
  std::ofstream(target, std::ios::binary) << "an older download";
  const HttpResult inMemory = Get(m_base + "/bundles/sample.zip");
  ASSERT_GT(inMemory.body.size(), 4096u) << "the bundle should need several reads";

  const HttpResult saved = Get(m_base + "/bundles/sample.zip", ToUtf8(target.wstring()));
  EXPECT_EQ(saved.failure, HttpFailure::None);
  EXPECT_TRUE(saved.fileCreated);
  EXPECT_TRUE(saved.body.empty());
  std::ifstream in(target, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), inMemory.body);
  EXPECT_EQ(Entries(folder.Path()), 1u) << "a temporary file was left behind";
}

TEST_F(WinInetHttpClientTest, StalledServerIsEndedByTheLimits) {
  m_client = CreateHttpClient(HttpLimits{5s, 4s});
  const test::TempDir folder;
  auto start = std::chrono::steady_clock::now();
  const HttpResult silent = Get(m_base + "/hb/markup?placement=hb_banner");  // no status line within the limit
  EXPECT_LT(std::chrono::steady_clock::now() - start, 40s) << "the server's own delay ended it, not the limit";
  EXPECT_EQ(silent.failure, HttpFailure::Send);
  EXPECT_TRUE(silent.error == kTimedOut || silent.error == kConnectionAborted) << silent.error;

  // The body stops after its first byte: while it hangs only a temporary file
  // exists, and when the limit ends it no file is left.
  start = std::chrono::steady_clock::now();
  const fs::path target = folder.Path() / "icon.png";
  auto download = std::async(std::launch::async, [&] { return Get(m_base + "/assets/icon.png", ToUtf8(target.wstring())); });
  EXPECT_TRUE(test::WaitUntil([&] { return Entries(folder.Path()) == 1; })) << "no temporary file while downloading";
  EXPECT_FALSE(fs::exists(target));
  const HttpResult stalled = download.get();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 40s) << "the server's own delay ended it, not the limit";
  EXPECT_EQ(stalled.failure, HttpFailure::Read);
  EXPECT_EQ(stalled.statusCode, 200);
  EXPECT_FALSE(stalled.fileCreated);
  EXPECT_EQ(Entries(folder.Path()), 0u);
}

// HTTPS against the native ad server's TLS instances, which the runner starts
// with certificates of a test authority only the tests' processes trust.
class WinInetHttpsTest : public WinInetHttpClientTest {
 protected:
  void SetUp() override {
    m_base = Env("KESTREL_WINDOWS_TEST_HTTPS");
    if (m_base.empty()) GTEST_SKIP() << "no HTTPS ad server: the runner starts one when it runs as root";
  }
};

TEST_F(WinInetHttpsTest, RedirectsAreFollowedOnlyUpToHttpsAndBadCertificatesRefused) {
  const std::string plain = nlohmann::json::parse(Get(m_base + "/_control/tls").body).at("plain");
  ASSERT_EQ(m_client->Exchange(HttpExchange{"POST", m_base + "/_control/reset", "test", {}, {}, {}}).statusCode, 200);
  const struct {
    std::string url;
    HttpFailure failure;
    long error;  // 0: any
  } rows[] = {
      {m_base + "/config", HttpFailure::None, 0},
      {plain + "/config", HttpFailure::None, 0},  // http to https
      {m_base + "/_control/downgrade/config", HttpFailure::Send, kDowngrade},
      {Env("KESTREL_WINDOWS_TEST_HTTPS_EXPIRED") + "/config", HttpFailure::Send, 12037},
      {Env("KESTREL_WINDOWS_TEST_HTTPS_OTHER_HOST") + "/config", HttpFailure::Send, 12038},
      {Env("KESTREL_WINDOWS_TEST_HTTPS_OTHER_AUTHORITY") + "/config", HttpFailure::Send, 0},  // 12045; Wine 12057
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.url);
    const HttpResult result = Get(row.url);
    EXPECT_EQ(result.failure, row.failure);
    EXPECT_TRUE(row.error == 0 || result.error == row.error) << result.error;
    EXPECT_TRUE(row.failure != HttpFailure::None || result.statusCode == 200) << result.statusCode;
  }
  // Received over https, and nothing over plain http but the one request redirected up.
  std::vector<std::string> routes;
  for (const auto& record : nlohmann::json::parse(Get(m_base + "/_control/requests").body)) {
    routes.push_back(record.at("route").get<std::string>());
  }
  std::ranges::sort(routes);
  EXPECT_EQ(routes, (std::vector<std::string>{"config", "config", "redirect"}));
}

TEST_F(WinInetHttpsTest, StalledAndCutBodiesFail) {
  m_client = CreateHttpClient(HttpLimits{5s, 4s});
  const std::string faults = R"([{"route":"asset","mode":"slow","interval_ms":60000,"count":1},
                                 {"route":"bundle","mode":"close","count":1}])";
  HttpExchange fault{"POST", m_base + "/_control/fault", "Kestrel Windows Test", {"Content-Type: application/json"},
                     faults, {}};
  ASSERT_EQ(m_client->Exchange(fault).statusCode, 200);
  for (const char* path : {"/assets/icon.png", "/bundles/sample.zip"}) {
    SCOPED_TRACE(path);
    const auto start = std::chrono::steady_clock::now();
    const HttpResult result = Get(m_base + path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 40s);
    EXPECT_EQ(result.failure, HttpFailure::Read) << "error " << result.error;
    EXPECT_EQ(result.statusCode, 200);
  }
}

}  // namespace
}  // namespace kestrel
