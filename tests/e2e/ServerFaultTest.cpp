// A misbehaving ad server on every route the SDK uses: the SDK reports what it
// documents, keeps the publisher's stored choices, and loads again once the
// server behaves.

#include "support/TestPrelude.h"

#include <nlohmann/json.hpp>

#include "Base64.h"
#include "Gzip.h"
#include "support/SdkFixture.h"

namespace kestrel {
namespace {

using test::kStallMs;

const std::string kStall = std::to_string(kStallMs);

// A JSON array nested `depth` times.
std::string Nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

const std::string kTooDeep = "parse error: document nested deeper than 512 levels";

// A fault and what the SDK says about it.
struct Case {
  std::string fault;
  std::string logged;  // the start of a log line
  LogLevel level = LogLevel::Error;
  std::string message = {};  // the start of the failure callback's message, when there is one
};

class ServerFaultTest : public test::SdkFixture {
 protected:
  // Files of the data folder that a zip entry pointing outside its bundle folder would have written.
  std::vector<fs::path> EscapedFiles() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(dataHome->Path())) {
      if (entry.path().filename().string().starts_with("evil")) found.push_back(entry.path());
    }
    return found;
  }
  bool HasLine(const LogCapture& log, const Case& c) {
    for (const auto& event : log.Events()) {
      if (event.Level == c.level && event.Message.rfind(c.logged, 0) == 0) return true;
    }
    return false;
  }
  // Loads with the fault in place: its log line, and one failure callback
  // whose message starts with the case's message (or its log line).
  void LoadThroughFault(const std::string& placement, const Case& c) {
    LogCapture log;
    server->SetFault(c.fault);
    const std::size_t failures = failure.Events().size();
    ASSERT_TRUE(StartLoad(placement));
    EXPECT_TRUE(WaitUntil([&] { return HasLine(log, c); })) << "missing: " << c.logged;
    ASSERT_TRUE(WaitUntil([&] { return failure.Events().size() == failures + 1; }));
    const std::string& expected = c.message.empty() ? c.logged : c.message;
    EXPECT_EQ(failure.Events().back().Message.rfind(expected, 0), 0u) << failure.Events().back().Message;
    EXPECT_FALSE(ads->IsAdPlayable(placement));
  }
};

// A failed exchange or an unreadable document fails initialisation once. Members of
// the wrong type are read as absent: initialisation goes on without them.
TEST_F(ServerFaultTest, ConfigFaultsAreReportedOnceAndKeepTheChoices) {
  ASSERT_NO_FATAL_FAILURE(InitializeWithChoices());
  const std::string kNetworkError = "Didn't get /config response - got network error";
  const std::string kBadPlacement = "Got bad placement info from Platform.";
  const std::vector<Case> cases = {
      {"config=status:500", kNetworkError, LogLevel::Error, "{\"error\":\"injected fault\",\"status\":500}"},
      {"config=delay:" + kStall, kNetworkError, LogLevel::Error, "HttpSendRequestW failed. Error: 28"},
      {"config=slow:" + kStall, kNetworkError, LogLevel::Error, "InternetReadFile failed"},
      {"config=close", kNetworkError, LogLevel::Error, "InternetReadFile failed"},
      {"config=notjson", "ApplyConfig got bad response!", LogLevel::Error, "ApplyConfig got bad response!"},
      {"config=body:[]", "", LogLevel::Error, "cannot use at() with array"},
      {"config=body:{\"junk\":" + Nested(1000000) + "}", kTooDeep, LogLevel::Error, "ApplyConfig got bad response!"},
      // Initialises, without placements.
      {"config=body:{\"placements\":\"none\",\"endpoints\":7,\"template\":[]}", kBadPlacement},
      {"config=body:{\"placements\":[null,{\"reference_id\":5}],\"endpoints\":{\"ads\":[]},\"template\":{}}",
       kBadPlacement},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    SdkState::Reset();
    server->SetFault(c.fault);
    LogCapture log;
    InitOutcome outcome = Initialize();
    ASSERT_NE(outcome.instance, nullptr);
    if (c.message.empty()) {
      ASSERT_EQ(outcome.successes.size(), 1u) << (outcome.failures.empty() ? "" : outcome.failures[0]);
      for (const auto& placement : outcome.successes[0].Placements) EXPECT_NE(placement.ReferenceId, "interstitial");
      EXPECT_TRUE(outcome.failures.empty());
      const std::size_t failures = failure.Events().size();
      EXPECT_TRUE(outcome.instance->LoadAd("interstitial", AdLoadCallback{success.Handler(), failure.Handler()}));
      ASSERT_TRUE(WaitUntil([&] { return failure.Events().size() == failures + 1; }));
      EXPECT_EQ(failure.Events().back().Message, "There is no placement with the name interstitial.");
    } else {
      EXPECT_TRUE(outcome.successes.empty());
      ASSERT_EQ(outcome.failures.size(), 1u);
      EXPECT_EQ(outcome.failures[0].rfind(c.message, 0), 0u) << outcome.failures[0];
    }
    if (!c.logged.empty()) {
      EXPECT_TRUE(HasLine(log, c)) << "missing: " << c.logged;
    }
    // A document that was read leaves its own values behind ("config_extension", the
    // server's consent message version), but none of the publisher's choices.
    ExpectChoicesKept(c.fault.starts_with("config=body:"));

    SdkState::Reset();
    server->ClearFaults();
    outcome = Initialize();
    ASSERT_EQ(outcome.successes.size(), 1u) << (outcome.failures.empty() ? "" : outcome.failures[0]);
    ads = outcome.instance;
    ExpectLoadAfterRecovery("interstitial");
    ExpectChoicesKept();
  }
}

// A failed /ads exchange, or an answer that holds no usable ad, is logged and
// fails the load with why; the next load asks again.
TEST_F(ServerFaultTest, AdsFaultsFailTheLoadAndTheNextLoadAsksAgain) {
  const std::string kNetworkError = "Didn't get ad part response - got network error";
  const std::string kFailed = "The /ads request for interstitial failed: ";
  const std::vector<Case> cases = {
      {"ads=status:500", kNetworkError, LogLevel::Error, kFailed + "HTTP status 500"},
      {"ads=delay:" + kStall, kNetworkError, LogLevel::Error, kFailed + "HttpSendRequestW failed. Error: "},
      {"ads=slow:" + kStall, kNetworkError, LogLevel::Error, kFailed + "InternetReadFile failed"},
      {"ads=close", kNetworkError, LogLevel::Error, kFailed + "InternetReadFile failed"},
      {"ads=notjson", "[json.exception.type_error.304] cannot use at() with null", LogLevel::Error,
       "The ad of interstitial could not be used: [json.exception.type_error.304] cannot use at() with null"},
      // "adType" is not a string, so not an MRAID ad.
      {"ads=wrongtypes", "The ad of interstitial is of type \"\", which this SDK cannot play."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    ASSERT_NO_FATAL_FAILURE(FreshSdk());
    LoadThroughFault("interstitial", c);
    ExpectChoicesKept();
    const std::size_t failures = failure.Events().size();
    ExpectLoadAfterRecovery("interstitial");
    EXPECT_EQ(failure.Events().size(), failures);
    ExpectChoicesKept();
  }
}

// A failed or unusable part drops the bundle and fails the load with why; the next load fetches a new one.
TEST_F(ServerFaultTest, BundleAndAssetFaultsDropTheBundle) {
  const std::vector<Case> cases = {
      {"bundle=status:404", "Didn't get ad part - got HTTP status 404"},
      {"bundle=delay:" + kStall, "Didn't get ad part - got network error"},
      {"bundle=slow:" + kStall, "Didn't get ad part - got network error"},
      {"bundle=close", "Didn't get ad part - got network error"},
      {"bundle=notjson", "The ad parts of interstitial_"},
      {"bundle=corrupt", "The ad parts of interstitial_"},
      {"asset=status:500", "Didn't get ad part - got HTTP status 500"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    ASSERT_NO_FATAL_FAILURE(FreshSdk());
    LoadThroughFault("interstitial", c);
    ExpectChoicesKept();

    LogCapture log;
    const std::size_t failures = failure.Events().size();
    ExpectLoadAfterRecovery("interstitial");
    EXPECT_TRUE(log.Has("Deleted 1 bad bundles.", LogLevel::Info));
    // The failed bundle's folder is gone: only the new one is left.
    EXPECT_TRUE(WaitUntil([&] {
      return std::distance(fs::directory_iterator(BundleFolder("interstitial").parent_path()), {}) == 1;
    }));
    EXPECT_TRUE(fs::is_regular_file(BundleFolder("interstitial") / "index.html"));
    EXPECT_EQ(failure.Events().size(), failures);
    ExpectChoicesKept();
  }
}

TEST_F(ServerFaultTest, EntriesLeavingTheBundleFolderAreNotWritten) {
  const bool absoluteExisted = fs::exists("/tmp/kestrel-adserver-evil.txt");
  ASSERT_NO_FATAL_FAILURE(FreshSdk());
  server->SetFault("bundle=zipslip");
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(StartLoad("rewarded_video"));
  const bool loaded = WaitUntil([&] { return Callbacks() == 1; });
  const std::string errors = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(loaded);
  ASSERT_EQ(success.Events().size(), 1u) << failure.Events()[0].Message;
  for (const char* entry : {"../evil.txt", "images/../../evil-nested.txt", "/tmp/kestrel-adserver-evil.txt"}) {
    EXPECT_NE(errors.find(std::string("Failed to extract file: ") + entry + "\n"), std::string::npos) << entry;
  }
  EXPECT_EQ(EscapedFiles(), std::vector<fs::path>{});
  if (!absoluteExisted) {
    EXPECT_FALSE(fs::exists("/tmp/kestrel-adserver-evil.txt"));
  }
  EXPECT_TRUE(fs::is_regular_file(BundleFolder("rewarded_video") / "index.html"));
  EXPECT_TRUE(ads->IsAdPlayable("rewarded_video"));
  ExpectChoicesKept();
  ExpectLoadAfterRecovery("interstitial");
}

TEST_F(ServerFaultTest, AVeryLargeBundleLoadsWhole) {
  // The platform's own limits: the server needs a while to start sending 40 MB
  // under a sanitizer, and a failed part would give no callback at all.
  PlatformServices::SetHttpClient(nullptr);
  ASSERT_NO_FATAL_FAILURE(FreshSdk());
  constexpr std::size_t kFiller = 40u * 1000 * 1000;
  server->SetFault("bundle=large,bytes=" + std::to_string(kFiller));
  ASSERT_TRUE(StartLoad("rewarded_video"));
  ASSERT_TRUE(WaitUntil([&] { return Callbacks() == 1; }, std::chrono::minutes(5)));
  ASSERT_EQ(success.Events().size(), 1u) << failure.Events()[0].Message;
  EXPECT_EQ(fs::file_size(BundleFolder("rewarded_video") / "filler.bin"), kFiller);
  EXPECT_TRUE(fs::is_regular_file(BundleFolder("rewarded_video") / "index.html"));
  ExpectChoicesKept();
  ExpectLoadAfterRecovery("interstitial");
}

// A version 2 bid whose ad unit is the gzip of `adUnit`.
std::string BidWithAdUnit(const std::string& adUnit) {
  return nlohmann::json{{"version", 2},
                        {"adunit", adserver::Base64Encode(adserver::GzipCompress(adUnit))},
                        {"impression", nlohmann::json::array()}}
      .dump();
}

// Bid markup as a mediation layer would pass it on after a misbehaving exchange.
TEST_F(ServerFaultTest, BadBidMarkupFailsTheMediatedLoad) {
  struct MarkupCase {
    std::string name;
    std::string markup;
    std::string message;    // the start of the failure callback's, when LoadMediatedAd accepted the bid
    std::string logged;     // the start of a log line
    bool accepted = false;  // LoadMediatedAd returns true; a refusal calls nothing
  };
  ASSERT_NO_FATAL_FAILURE(FreshSdk());
  // The markup's plain refusals are the unit tests'; here, markup too deep to read and ad units that are no ad.
  const std::vector<MarkupCase> cases = {
      {"nested", "{\"junk\":" + Nested(1000000) + "}", "", kTooDeep},
      {"nested ad unit", BidWithAdUnit("{\"ads\":[{\"ad_markup\":" + Nested(1000000) + "}]}"),
       "", kTooDeep, true},
      // Unusable like an /ads answer that is not JSON.
      {"ad unit not JSON", BidWithAdUnit("<html>no ad</html>"), "The ad of hb_banner could not be used: ",
       "[json.exception.type_error.304] cannot use at() with null", true},
  };
  for (const MarkupCase& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    const std::size_t failures = failure.Events().size();
    EXPECT_EQ(ads->LoadMediatedAd("hb_banner", AdLoadCallback{success.Handler(), failure.Handler()}, c.markup),
              c.accepted);
    EXPECT_TRUE(WaitUntil([&] { return log.CountStartingWith(c.logged) >= 1; })) << "missing: " << c.logged;
    if (c.accepted) {
      ASSERT_TRUE(WaitUntil([&] { return failure.Events().size() == failures + 1; }));
      EXPECT_EQ(failure.Events().back().Message.rfind(c.message, 0), 0u) << failure.Events().back().Message;
      EXPECT_EQ(failure.Events().back().PlacementId, "hb_banner");
    } else {
      EXPECT_EQ(failure.Events().size(), failures);
    }
    EXPECT_TRUE(success.Events().empty());
    EXPECT_FALSE(ads->IsAdPlayable("hb_banner"));
  }
  ExpectChoicesKept();

  const std::string markup = FetchMarkup("hb_banner");
  ASSERT_TRUE(ads->LoadMediatedAd("hb_banner", AdLoadCallback{success.Handler(), failure.Handler()}, markup));
  ASSERT_TRUE(WaitUntil([&] { return !success.Events().empty(); }));
  EXPECT_TRUE(ads->IsAdPlayable("hb_banner"));
  ExpectChoicesKept();
}

}  // namespace
}  // namespace kestrel
