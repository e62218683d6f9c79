// The WinINet client's own handling against the local ad server on loopback (the runner's
// spoils hb and asset): downloads through a temporary file, time-outs, what it keeps (no
// cookies, no cache copies), long URLs, and over https its redirects and bodies cut short.
// The portable transport tests run under Wine too.
#include "WindowsTest.h"

#include <wininet.h>

#include <nlohmann/json.hpp>

#include "LocalAdServer.h"
#include "platform/Backend.h"

namespace kestrel {
namespace {

using namespace test;

std::size_t Entries(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class WinInetHttpClientTest : public ::testing::Test {
 protected:
  HttpResult Get(const std::string& url, const std::string& saveTo = {}) {
    return m_client->Exchange(HttpExchange{"GET", url, "Kestrel Windows Test", {}, {}, saveTo});
  }

  std::unique_ptr<IHttpClient> m_client = CreateHttpClient(HttpLimits{5s, 4s});
  const TempDir m_folder;
};

TEST_F(WinInetHttpClientTest, DownloadsReplaceTheFileOnlyWhenTheBodyIsWholeAndStallsEndAtTheLimits) {
  const std::string base = Env("KESTREL_WINDOWS_TEST_SERVER");
  ASSERT_FALSE(base.empty()) << "KESTREL_WINDOWS_TEST_SERVER must name the ad server";
  const fs::path target = m_folder.Path() / "sample.zip";
  std::ofstream(target, std::ios::binary) << "an older download";
  const HttpResult inMemory = Get(base + "/bundles/sample.zip");
  ASSERT_GT(inMemory.body.size(), 4096u) << "the bundle should need several reads";
  const HttpResult saved = Get(base + "/bundles/sample.zip", Utf8(target));
  EXPECT_EQ(std::tuple(saved.failure, saved.fileCreated, saved.body), std::tuple(HttpFailure::None, true, ""));
  EXPECT_EQ(ReadFile(target), inMemory.body);
  EXPECT_EQ(Entries(m_folder.Path()), 1u) << "a temporary file was left behind";
  fs::remove(target);

  auto start = std::chrono::steady_clock::now();
  const HttpResult silent = Get(base + "/hb/markup?placement=hb_banner");  // no status line within the limit
  EXPECT_LT(std::chrono::steady_clock::now() - start, 40s) << "the server's own delay ended it, not the limit";
  EXPECT_EQ(silent.failure, HttpFailure::Send);
  EXPECT_TRUE(silent.error == 12002 || silent.error == 12030) << silent.error;  // time-out; Wine: aborted

  // The body stops after its first byte: while it hangs only a temporary file
  // exists, and when the limit ends it no file is left.
  start = std::chrono::steady_clock::now();
  const fs::path icon = m_folder.Path() / "icon.png";
  auto download = std::async(std::launch::async, [&] { return Get(base + "/assets/icon.png", Utf8(icon)); });
  EXPECT_TRUE(WaitUntil([&] { return Entries(m_folder.Path()) == 1; })) << "no temporary file while downloading";
  EXPECT_FALSE(fs::exists(icon));
  const HttpResult stalled = download.get();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 40s) << "the server's own delay ended it, not the limit";
  EXPECT_EQ(std::tuple(stalled.failure, stalled.statusCode, stalled.fileCreated), std::tuple(HttpFailure::Read, 200, false));
  EXPECT_EQ(Entries(m_folder.Path()), 0u);
}

// Against an ad server of the test's own, which records the headers.
TEST_F(WinInetHttpClientTest, KeepsNoCookieNorCopyAndSendsLongUrlsWhole) {
  adserver::LocalAdServer server;
  server.Start();
  server.SetFault("config=cookie,count=1");
  const std::string tpat = "/tpat/click?ev=a%20b&sig=" + std::string(3000, 's');
  for (const std::string& path : {std::string("/config"), std::string("/config"), tpat}) {
    const std::wstring url = ToUtf16(server.BaseUrl() + path);
    DeleteUrlCacheEntryW(url.c_str());
    EXPECT_EQ(Get(server.BaseUrl() + path).statusCode, 200) << path.substr(0, 40);
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size) || GetLastError() != ERROR_FILE_NOT_FOUND)
        << "in the user's cache: " << path.substr(0, 40);
  }
  const auto configs = server.Requests("/config");
  ASSERT_EQ(configs.size(), 2u);
  EXPECT_EQ(configs[1].Header("Cookie"), "") << "the first answer's cookie went back";
  const auto clicks = server.Requests("/tpat/");
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].target, tpat);
}

// HTTPS against the native ad server's TLS instances, which the runner starts
// with certificates of a test authority only the tests' processes trust.
TEST_F(WinInetHttpClientTest, OverHttpsRedirectsGoOnlyUpBadCertificatesAreRefusedAndCutBodiesFail) {
  const std::string base = Env("KESTREL_WINDOWS_TEST_HTTPS");
  if (base.empty()) GTEST_SKIP() << "no HTTPS ad server: the runner starts one when it runs as root";
  const std::string plain = nlohmann::json::parse(Get(base + "/_control/tls").body).at("plain");
  ASSERT_EQ(m_client->Exchange(HttpExchange{"POST", base + "/_control/reset", "test", {}, {}, {}}).statusCode, 200);
  const HttpExchange fault{"POST", base + "/_control/fault", "test", {"Content-Type: application/json"},
                           R"({"route":"bundle","mode":"close","count":1})", {}};
  ASSERT_EQ(m_client->Exchange(fault).statusCode, 200);
  const struct {
    std::string url;
    HttpFailure failure;
    long error;  // 0: any
  } rows[] = {
      {base + "/config", HttpFailure::None, 0},
      {plain + "/config", HttpFailure::None, 0},                         // http to https
      {base + "/_control/downgrade/config", HttpFailure::Send, 12040},  // https to http
      {Env("KESTREL_WINDOWS_TEST_HTTPS_EXPIRED") + "/config", HttpFailure::Send, 12037},
      {Env("KESTREL_WINDOWS_TEST_HTTPS_OTHER_HOST") + "/config", HttpFailure::Send, 12038},
      {Env("KESTREL_WINDOWS_TEST_HTTPS_OTHER_AUTHORITY") + "/config", HttpFailure::Send, 0},  // 12045; Wine 12057
      {base + "/bundles/sample.zip", HttpFailure::Read, 0},  // the connection closes inside the body
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.url);
    const HttpResult result = Get(row.url);
    EXPECT_EQ(result.failure, row.failure) << result.error;
    EXPECT_TRUE(row.error == 0 || result.error == row.error) << result.error;
    EXPECT_TRUE(row.failure == HttpFailure::Send || result.statusCode == 200) << result.statusCode;
  }
  // Received over https, and nothing over plain http but the one request redirected up.
  std::vector<std::string> routes;
  for (const auto& record : nlohmann::json::parse(Get(base + "/_control/requests").body)) {
    routes.push_back(record.at("route").get<std::string>());
  }
  std::ranges::sort(routes);
  EXPECT_EQ(routes, (std::vector<std::string>{"bundle", "config", "config", "redirect"}));
}

}  // namespace
}  // namespace kestrel
