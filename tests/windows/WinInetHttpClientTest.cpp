// The WinINet client against the local ad server on loopback. The runner starts
// the server with these routes spoiled: tpat answers 404, impression 500, hb
// waits a minute before its headers, asset sends one byte a minute.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "kestrel/KestrelAds.h"
#include "server/ITpatController.h"
#include "server/TpatsModel.h"
#include "platform/IHttpClient.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr long kCannotConnect = 12029;
constexpr long kTimedOut = 12002;
constexpr long kConnectionAborted = 12030;  // what Wine reports for a time-out
constexpr long kDateInvalid = 12037;         // ERROR_INTERNET_SEC_CERT_DATE_INVALID
constexpr long kNameInvalid = 12038;         // ERROR_INTERNET_SEC_CERT_CN_INVALID
constexpr long kDowngrade = 12040;           // ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR
constexpr long kInvalidAuthority = 12045;    // ERROR_INTERNET_INVALID_CA
constexpr long kRevocationFailed = 12057;    // ERROR_INTERNET_SEC_CERT_REV_FAILED, Wine's word for an unknown authority

std::string ServerUrl() {
  const char* url = std::getenv("KESTREL_WINDOWS_TEST_SERVER");
  return url ? url : "";
}

std::string EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Unique() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "-" +
         std::to_string(counter++);
}

bool SameText(const std::string& a, const std::string& b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::string Header(const nlohmann::json& record, const std::string& name) {
  for (const auto& [key, value] : record.at("headers").items()) {
    if (SameText(key, name)) return value.get<std::string>();
  }
  return {};
}

// A folder of its own under the temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder() : m_path(fs::temp_directory_path() / ("kestrel-win-" + Unique())) { fs::create_directories(m_path); }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& Path() const { return m_path; }
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_path), fs::directory_iterator()));
  }

 private:
  fs::path m_path;
};

std::string Utf8(const fs::path& path) {
  const auto text = path.u8string();
  return {text.begin(), text.end()};
}

std::string ReadFileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WinInetHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_base = ServerUrl();
    ASSERT_FALSE(m_base.empty()) << "KESTREL_WINDOWS_TEST_SERVER must name the ad server, e.g. http://127.0.0.1:PORT";
  }

  HttpResult Get(const std::string& path, const std::string& saveTo = {}) {
    HttpExchange exchange;
    exchange.verb = "GET";
    exchange.url = m_base + path;
    exchange.agent = "Kestrel Windows Test";
    exchange.saveTo = saveTo;
    return m_client->Exchange(exchange);
  }

  // The one request the server answered under prefix with the header X-Test-Id: id
  // (a plain request redirected to https is not counted).
  nlohmann::json Recorded(const std::string& prefix, const std::string& id) {
    const HttpResult list = Get("/_control/requests?prefix=" + prefix);
    EXPECT_EQ(list.failure, HttpFailure::None);
    EXPECT_EQ(list.statusCode, 200);
    const auto records = nlohmann::json::parse(list.body, nullptr, false);
    nlohmann::json found;
    if (records.is_array()) {
      for (const auto& record : records) {
        if (Header(record, "X-Test-Id") == id && record.value("route", "") != "redirect") {
          EXPECT_TRUE(found.is_null()) << "recorded twice: " << id;
          found = record;
        }
      }
    }
    return found;
  }

  std::string m_base;
  std::unique_ptr<IHttpClient> m_client = CreateHttpClient();
};

TEST_F(WinInetHttpClientTest, GetReturnsStatusAndBody) {
  const HttpResult result = Get("/config");
  EXPECT_EQ(result.failure, HttpFailure::None);
  EXPECT_EQ(result.statusCode, 200);
  EXPECT_FALSE(result.fileCreated);
  const auto config = nlohmann::json::parse(result.body, nullptr, false);
  ASSERT_TRUE(config.is_object()) << result.body;
  EXPECT_TRUE(config.contains("placements"));
}

TEST_F(WinInetHttpClientTest, PostsSendAgentHeadersAndBody) {
  const std::string json = R"({"request":{"id":")" + Unique() + R"(","text":"caf\u00e9 é"}})";
  const std::string jsonId = Unique();
  HttpExchange post;
  post.verb = "POST";
  post.url = m_base + "/config?from=windows";
  post.agent = "Kestrel Windows Test/7.0.1";
  post.headers = {"Accept: application/json", "X-Test-Id: " + jsonId, "Content-Type: application/json"};
  post.body = json;
  HttpResult result = m_client->Exchange(post);
  EXPECT_EQ(result.failure, HttpFailure::None);
  EXPECT_EQ(result.statusCode, 200);

  const auto config = Recorded("/config", jsonId);
  ASSERT_TRUE(config.is_object()) << "the server did not record the JSON post";
  EXPECT_EQ(config.at("method"), "POST");
  EXPECT_EQ(config.at("query"), "from=windows");
  EXPECT_EQ(config.at("body"), json);
  EXPECT_EQ(Header(config, "User-Agent"), "Kestrel Windows Test/7.0.1");
  EXPECT_EQ(Header(config, "Accept"), "application/json");
  EXPECT_EQ(Header(config, "Content-Type"), "application/json");

  const std::string formId = Unique();
  post.url = m_base + "/new";
  post.headers = {"X-Test-Id: " + formId, "Content-Type: application/x-www-form-urlencoded"};
  post.body = "name=caf%C3%A9&note=a%20b";
  result = m_client->Exchange(post);
  EXPECT_EQ(result.failure, HttpFailure::None);
  EXPECT_EQ(result.statusCode, 200);
  EXPECT_EQ(result.body, "{}");

  const auto form = Recorded("/new", formId);
  ASSERT_TRUE(form.is_object()) << "the server did not record the form post";
  EXPECT_EQ(form.at("method"), "POST");
  EXPECT_EQ(form.at("body"), "name=caf%C3%A9&note=a%20b");
  EXPECT_EQ(Header(form, "Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(WinInetHttpClientTest, DownloadReplacesTheFileOnlyWhenComplete) {
  const TempFolder folder;
  const fs::path target = folder.Path() / "sample.zip";
  { std::ofstream(target, std::ios::binary) << "an older download"; }

  const HttpResult saved = Get("/bundles/sample.zip", Utf8(target));
  EXPECT_EQ(saved.failure, HttpFailure::None);
  EXPECT_EQ(saved.statusCode, 200);
  EXPECT_TRUE(saved.fileCreated);
  EXPECT_TRUE(saved.body.empty());
  EXPECT_EQ(folder.Entries(), 1u) << "a temporary file was left behind";

  const HttpResult inMemory = Get("/bundles/sample.zip");
  ASSERT_EQ(inMemory.failure, HttpFailure::None);
  ASSERT_GT(inMemory.body.size(), 4096u) << "the bundle should need several reads";
  EXPECT_EQ(inMemory.body.substr(0, 2), "PK");
  EXPECT_EQ(ReadFileText(target), inMemory.body);
}

TEST_F(WinInetHttpClientTest, DownloadIntoAMissingFolderReadsAndDropsTheBody) {
  const TempFolder folder;
  const fs::path target = folder.Path() / "missing" / "sample.zip";
  const HttpResult result = Get("/bundles/sample.zip", Utf8(target));
  EXPECT_EQ(result.failure, HttpFailure::None);
  EXPECT_EQ(result.statusCode, 200);
  EXPECT_FALSE(result.fileCreated);
  EXPECT_TRUE(result.body.empty());
  EXPECT_EQ(folder.Entries(), 0u);
}

TEST_F(WinInetHttpClientTest, ErrorStatusesAreAnswersNotFailures) {
  const HttpResult missing = Get("/tpat/impression?id=1");
  EXPECT_EQ(missing.failure, HttpFailure::None);
  EXPECT_EQ(missing.statusCode, 404);
  EXPECT_NE(missing.body.find("injected fault"), std::string::npos) << missing.body;

  const HttpResult broken = Get("/hb/impression?id=1");
  EXPECT_EQ(broken.failure, HttpFailure::None);
  EXPECT_EQ(broken.statusCode, 500);
}

TEST_F(WinInetHttpClientTest, UnusableUrlsFailBeforeSending) {
  HttpExchange exchange;
  exchange.verb = "GET";
  exchange.agent = "Kestrel Windows Test";
  for (const char* url : {"", "no url at all", "ftp://127.0.0.1/file"}) {
    exchange.url = url;
    EXPECT_EQ(m_client->Exchange(exchange).failure, HttpFailure::Url) << url;
  }
}

TEST_F(WinInetHttpClientTest, ClosedPortIsASendFailure) {
  HttpExchange exchange;
  exchange.verb = "GET";
  exchange.url = "http://127.0.0.1:1/config";  // nothing listens on port 1
  exchange.agent = "Kestrel Windows Test";
  const HttpResult result = m_client->Exchange(exchange);
  EXPECT_EQ(result.failure, HttpFailure::Send);
  EXPECT_EQ(result.error, kCannotConnect);
  EXPECT_EQ(result.statusCode, 0);
}

TEST_F(WinInetHttpClientTest, StalledServerIsEndedByTheLimits) {
  m_client = CreateHttpClient(HttpLimits{5s, 4s});
  const TempFolder folder;

  // No status line within the limit.
  auto start = std::chrono::steady_clock::now();
  const HttpResult silent = Get("/hb/markup?placement=hb_banner");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 40s) << "the server's own delay ended it, not the limit";
  EXPECT_EQ(silent.failure, HttpFailure::Send);
  EXPECT_TRUE(silent.error == kTimedOut || silent.error == kConnectionAborted) << silent.error;
  EXPECT_EQ(silent.statusCode, 0);

  // The body stops after its first byte: while it hangs only a temporary file
  // exists, and when the limit ends it no file is left.
  start = std::chrono::steady_clock::now();
  const fs::path target = folder.Path() / "icon.png";
  auto download = std::async(std::launch::async, [&] { return Get("/assets/icon.png", Utf8(target)); });
  EXPECT_TRUE(test::WaitUntil([&] { return folder.Entries() == 1; })) << "no temporary file while downloading";
  EXPECT_FALSE(fs::exists(target));
  const HttpResult stalled = download.get();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 40s) << "the server's own delay ended it, not the limit";
  EXPECT_EQ(stalled.failure, HttpFailure::Read);
  EXPECT_NE(stalled.error, 0);  // Wine passes on the socket's WSAETIMEDOUT here
  EXPECT_EQ(stalled.statusCode, 200);
  EXPECT_FALSE(stalled.fileCreated);
  EXPECT_EQ(folder.Entries(), 0u);
}

// HTTPS against the native ad server's TLS instances, which the runner starts
// with certificates of a test authority that only the tests' processes trust:
// KESTREL_WINDOWS_TEST_HTTPS (valid for localhost) and ..._EXPIRED,
// ..._OTHER_HOST, ..._OTHER_AUTHORITY.
class WinInetHttpsTest : public WinInetHttpClientTest {
 protected:
  void SetUp() override {
    m_base = EnvText("KESTREL_WINDOWS_TEST_HTTPS");
    if (m_base.empty()) {
      GTEST_SKIP() << "no HTTPS ad server: scripts/run-windows-tests starts one when it runs as root, in a mount "
                      "namespace where the test authority is trusted (tests/support/with-test-ca.sh)";
    }
    const HttpResult tls = Get("/_control/tls");
    ASSERT_EQ(tls.failure, HttpFailure::None) << "error " << tls.error;
    m_tls = nlohmann::json::parse(tls.body);
  }

  nlohmann::json m_tls;
};

TEST_F(WinInetHttpsTest, CertificatesAndRedirectsDecideTheExchange) {
  const std::string plain = m_tls.at("plain").get<std::string>();
  struct Row {
    std::string name;
    std::string url;
    HttpFailure failure;
    long error;
    long wineError = 0;  // what Wine 8 reports instead, if it differs
  };
  const Row rows[] = {
      {"trusted", m_base + "/config", HttpFailure::None, 0},
      {"http to https is followed", plain + "/config", HttpFailure::None, 0},
      {"https to http is refused", m_base + "/_control/downgrade/config", HttpFailure::Send, kDowngrade},
      {"expired", EnvText("KESTREL_WINDOWS_TEST_HTTPS_EXPIRED") + "/config", HttpFailure::Send, kDateInvalid},
      {"other host", EnvText("KESTREL_WINDOWS_TEST_HTTPS_OTHER_HOST") + "/config", HttpFailure::Send, kNameInvalid},
      {"other authority", EnvText("KESTREL_WINDOWS_TEST_HTTPS_OTHER_AUTHORITY") + "/config", HttpFailure::Send,
       kInvalidAuthority, kRevocationFailed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name + ": " + row.url);
    HttpExchange exchange;
    exchange.verb = "GET";
    exchange.url = row.url;
    exchange.agent = "Kestrel Windows Test";
    exchange.headers = {"X-Test-Id: " + Unique()};
    const HttpResult result = m_client->Exchange(exchange);
    EXPECT_EQ(result.failure, row.failure);
    EXPECT_TRUE(result.error == row.error || (row.wineError != 0 && result.error == row.wineError)) << result.error;
    if (row.failure == HttpFailure::None) {
      EXPECT_EQ(result.statusCode, 200);
      EXPECT_TRUE(Recorded("/config", exchange.headers[0].substr(11)).is_object()) << "not received over https";
    }
  }
  // Nothing went out over plain http but the one request that was redirected up.
  const HttpResult requests = Get("/_control/requests");
  std::size_t plainRequests = 0;
  for (const auto& record : nlohmann::json::parse(requests.body)) plainRequests += record.at("route") == "redirect";
  EXPECT_EQ(plainRequests, 1u);
}

// The SDK itself over https: with a good certificate it initialises, loads the
// bundle and assets and sends tracking, all received over TLS; with a bad one
// initialisation fails with WinINet's number and nothing is sent.
TEST_F(WinInetHttpsTest, TheSdkInitialisesLoadsAndTracksOnlyWithAGoodCertificate) {
  struct Row {
    std::string name;
    std::string url;
    std::string failure;  // the initialisation failure's message; empty: success
  };
  const Row rows[] = {
      {"trusted", m_base, ""},
      {"expired", EnvText("KESTREL_WINDOWS_TEST_HTTPS_EXPIRED"), "HttpSendRequestW failed. Error: 12037"},
      {"other host", EnvText("KESTREL_WINDOWS_TEST_HTTPS_OTHER_HOST"), "HttpSendRequestW failed. Error: 12038"},
      {"other authority", EnvText("KESTREL_WINDOWS_TEST_HTTPS_OTHER_AUTHORITY"), "HttpSendRequestW failed. Error: 1205"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::ScopedDataHome dataHome;
    SdkState::Reset();
    test::LogCapture log;
    std::promise<std::string> outcome;  // empty on success, else the failure's message
    InitializationCallback callback;
    callback.OnInitializationSuccess = [&outcome](InitializationSuccessEventArgs) { outcome.set_value(""); };
    callback.OnInitializationFailure = [&outcome](InitializationFailureEventArgs args) {
      outcome.set_value(args.Message);
    };
    KestrelSdkConfig config;
    config.ConfigBaseUrl = row.url;
    auto result = outcome.get_future();
    KestrelAds* ads = KestrelAds::InitializeAsync("windows-https", config, nullptr, callback).get();
    ASSERT_NE(ads, nullptr);
    ASSERT_EQ(result.wait_for(30s), std::future_status::ready);
    const std::string failure = result.get();
    // "Error: 1205" covers 12045 (Windows) and 12057 (Wine).
    EXPECT_EQ(failure.rfind(row.failure, 0), 0u) << failure;
    for (const auto& message : log.Messages()) EXPECT_EQ(message.find("http://"), std::string::npos) << message;
    if (!row.failure.empty()) continue;

    std::promise<bool> loaded;
    ASSERT_TRUE(ads->LoadAd("interstitial", AdLoadCallback{[&loaded](AdLoadEventArgs) { loaded.set_value(true); },
                                                           [&loaded](AdLoadEventArgs) { loaded.set_value(false); }}));
    auto load = loaded.get_future();
    ASSERT_EQ(load.wait_for(60s), std::future_status::ready);
    EXPECT_TRUE(load.get());
    auto ad = std::make_shared<AdResponse>();
    const std::string tracking = "/tpat/https-" + Unique();
    ad->m_tpats["impression"] = {m_base + tracking};
    ControllerRegistry::GetTpatController()->SendTpat(std::make_shared<TpatsModel>(ad), {{"event", "impression"}});

    // The TLS port answers nothing else: what it recorded came over https.
    for (const std::string path : {"/config", "/ads", "/bundles/", "/assets/", tracking.c_str()}) {
      const HttpResult list = Get("/_control/requests?prefix=" + path);
      const auto records = nlohmann::json::parse(list.body, nullptr, false);
      ASSERT_TRUE(records.is_array()) << list.body;
      std::size_t answered = 0;
      for (const auto& record : records) answered += record.value("route", "") != "redirect";
      EXPECT_GT(answered, 0u) << path;
    }
  }
  SdkState::Reset();
}

TEST_F(WinInetHttpsTest, StalledAndCutBodiesFail) {
  m_client = CreateHttpClient(HttpLimits{5s, 4s});
  HttpExchange fault;
  fault.verb = "POST";
  fault.url = m_base + "/_control/fault";
  fault.agent = "Kestrel Windows Test";
  fault.headers = {"Content-Type: application/json"};
  fault.body = R"([{"route":"asset","mode":"slow","interval_ms":60000,"count":1},
                   {"route":"bundle","mode":"close","count":1}])";
  ASSERT_EQ(m_client->Exchange(fault).statusCode, 200);
  for (const char* path : {"/assets/icon.png", "/bundles/sample.zip"}) {
    SCOPED_TRACE(path);
    const auto start = std::chrono::steady_clock::now();
    const HttpResult result = Get(path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 40s);
    EXPECT_EQ(result.failure, HttpFailure::Read) << "error " << result.error;
    EXPECT_EQ(result.statusCode, 200);
  }
}

}  // namespace
}  // namespace kestrel
