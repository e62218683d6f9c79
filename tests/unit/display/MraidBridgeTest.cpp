// The native side of the bridge without a window: the commands a creative
// sends, the urls it may open, and the properties it is sent.
#include "support/TestPrelude.h"

#include <regex>

#include <nlohmann/json.hpp>

#include "config/PersistentSettingsController.h"
#include "device/DeviceInfoController.h"
#include "display/CreativeUrl.h"
#include "display/DisplayAdController.h"
#include "display/MraidBridgePropertiesController.h"
#include "display/MraidCommand.h"
#include "display/MraidCommandReceiverController.h"
#include "display/StoreLink.h"
#include "server/ITpatController.h"
#include "platform/PlatformServices.h"
#include "privacy/GdprController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "support/RecordingUrlOpener.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;
using Parameters = std::unordered_map<std::string, std::string>;
using Strings = std::vector<std::string>;

// The creative's side of a play, without a window.
class FakeAd : public DisplayAdController {
 public:
  void CloseAd() override { calls.push_back("close"); }
  void OnAdClicked() override {
    calls.push_back("click");
    if (throwOnClick) throw std::runtime_error("click failed");
  }
  void OnSuccessfulView() override { calls.push_back("rewarded"); }
  bool AllowsOpen(const std::string& /*url*/) override { return true; }  // the pace is the play's, not tested here

  Strings calls;
  bool throwOnClick = false;
};

// Records the tracking events it is handed.
class RecordingTpat : public ITpatController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  void SendTpat(std::shared_ptr<TpatsModel>, const Parameters& parameters) override { sent.push_back(parameters); }
  std::string ReplaceMacros(const std::string& url) override { return url; }
  std::vector<Parameters> sent;
};

class MraidBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    R::Clear();
    UseOpener(false);
  }
  void TearDown() override {
    R::Clear();
    PlatformServices::SetUrlOpener(nullptr);
  }
  void UseOpener(bool storeLinks) {
    opener = std::make_shared<test::RecordingUrlOpener>(storeLinks);
    PlatformServices::SetUrlOpener(opener);
  }
  MraidAnswer Process(const std::string& message) { return receiver.ProcessReceivedMraidCommand(message, &ad); }

  MraidCommandReceiverController receiver;
  FakeAd ad;
  std::shared_ptr<test::RecordingUrlOpener> opener;
};

TEST_F(MraidBridgeTest, EachCommandHasItsEffectAndItsAnswer) {
  const std::string unknown = "Unknown Command received from Creative bridge: ";
  const struct {
    std::string message;
    bool answer;          // true: the page may send its next command
    std::string refused;  // part of the reason the page is told, or none
    Strings calls;        // on the ad
    std::string logged;   // an error line starting so, or none
  } rows[] = {
      {"JS_KE_ERROR:boom at file.js:1:2", false, "", {}, unknown},
      {"", false, "", {}, unknown},
      {"ftp://close", false, "", {}, unknown},
      {"mraid://", true, "not a command", {}, unknown},
      {"mraid://tpat?event=" + std::string(MraidCommand::kMaxLength, 'a'), true, "longer than 8192 bytes", {},
       "A command of 8211 bytes from the creative was refused; commands over 8192 bytes are not read."},
      {"https://example.com/close", false, "", {}, "Received non-mraid command from creative! "},
      {"HTTP://EXAMPLE.COM", false, "", {}, "Received non-mraid command from creative! "},
      // "close" is never answered: the page sends nothing after it.
      {"MRAID://Close", false, "", {"close"}, ""},
      {"mraid://close?reason=done", false, "", {"close"}, ""},
      {"mraid://successfulView", true, "", {"rewarded"}, ""},
      {"mraid://open", true, "no url", {"click"}, "open command doesn't have a url!"},
      // Without a GDPR or tracking controller, or for commands this SDK ignores, nothing happens.
      {"mraid://consentAction?event=opted_in", true, "", {}, ""},
      {"mraid://tpat?event=x", true, "", {}, ""},
      {"mraid://useCustomClose?sdkCloseButton=gone", true, "", {}, ""},
      {"mraid://presentStoreView?appStoreId=1", true, "not supported", {},
       "Windows SDK should not receive this MRAID command"},
      {"mraid://action?a=1", true, "", {}, "Action (without value) command is deprecated"},
      {"mraid://playVideo?uri=x", true, "does not know", {}, "Don't know how to handle MRAID"},
      {"mraid://creativeHeartbeat?pad=" + std::string(MraidCommand::kMaxLength - 40, 'x'), true, "", {}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message.substr(0, 40));
    LogCapture log;
    ad.calls.clear();
    const MraidAnswer answer = Process(row.message);
    EXPECT_EQ(answer.complete, row.answer);
    EXPECT_EQ(answer.refusal.empty(), row.refused.empty()) << answer.refusal;
    EXPECT_NE(answer.refusal.find(row.refused), std::string::npos) << answer.refusal;
    EXPECT_EQ(ad.calls, row.calls);
    EXPECT_EQ(log.CountStartingWith(row.logged), row.logged.empty() ? 0 : 1);
  }
  EXPECT_EQ(opener->Urls(), Strings{});
}

TEST_F(MraidBridgeTest, ParametersAndUrlsAreReadAsReceived) {
  EXPECT_EQ(MraidCommand::ParseParameters("mraid://x?a=1&b&c=2=3"), (Parameters{{"a", "1"}, {"c", "2=3"}}));
  EXPECT_EQ(MraidCommand::ParseParameters("mraid://tpat?event=a?b&u=%20x+y&event=c?"),
            (Parameters{{"event", "c"}, {"u", "%20x+y"}}));
  // One decoding pass; broken escapes and "+" stay; a decoded NUL ends the url.
  EXPECT_EQ(CreativeUrl::Unescape("%41%2541%zz%4+%e2%82%AC"), "A%41%zz%4+\xe2\x82\xac");
  EXPECT_EQ(CreativeUrl::Unescape("https://a.example/x%00y"), "https://a.example/x");
}

// "open" reports a click, then opens a web address or, where the desktop has a
// store, the store's own link for a product id found in the address.
TEST_F(MraidBridgeTest, OpenOpensOnlyAWebAddressOrTheStoresLink) {
  const std::string detail = "https://apps.microsoft.com/store/detail/";
  const std::string deepLink = "ms-windows-store://pdp/?ProductId=";
  const struct {
    std::string url;  // as the page sends it
    bool store;       // the desktop opens store links
    std::string opened;
  } rows[] = {
      {"https%3A%2F%2Fapps.microsoft.com%2Fstore%2Fdetail%2F9WZDNCRFJ3TJ", false, detail + "9WZDNCRFJ3TJ"},
      {"https%3A%2F%2Fapps.microsoft.com%2Fstore%2Fdetail%2F9WZDNCRFJ3TJ", true, deepLink + "9WZDNCRFJ3TJ&cid=tovane"},
      {"javascript:x//" + detail + "ABC", true, deepLink + "ABC&cid=tovane"},
      {"https%3A%2F%2Fexample.com%2Fa%3Fb%3D1%26c%3D%2541", true, "https://example.com/a?b=1&c=%41"},
      {"HTTPS://Example.com", false, "HTTPS://Example.com"},
      {"javascript:x//" + detail + "ABC", false, ""},
      {"file:///etc/passwd", false, ""},
      {"javascript%3Aalert(1)", false, ""},
      {"myapp://run", true, ""},
      {"ms-windows-store://pdp/?ProductId=1", false, ""},
      {"", false, ""},
      {"%00https://x.example", false, ""},
      {"https:", false, ""},
      {"https://", false, ""},
      {"https://x.example/%0Aecho", false, ""},
      {"/usr/bin/xterm", false, ""},
      {"-e%20https://x.example", false, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.url);
    UseOpener(row.store);
    ad.calls.clear();
    const MraidAnswer answer = Process("mraid://open?url=" + row.url);
    EXPECT_TRUE(answer.complete);
    EXPECT_EQ(answer.refusal.empty(), !row.opened.empty()) << answer.refusal;
    EXPECT_EQ(ad.calls, Strings{"click"});
    EXPECT_EQ(opener->Urls(), row.opened.empty() ? Strings{} : Strings{row.opened});
  }
}

TEST_F(MraidBridgeTest, StoreProductIdsComeFromThePatternsInTheirOrder) {
  const std::optional<std::string> none;
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {"https://apps.microsoft.com/store/detail/9WZDNCRFJ3TJ?hl=en", "9WZDNCRFJ3TJ"},
      {"https://apps.microsoft.com/store/detail/myapp/9NBLGGH4NNS1", "9NBLGGH4NNS1"},
      {"https://www.microsoft.com/en-us/p/app/ONE/store/games/TWO", "TWO"},
      {"https://www.microsoft.com/en-us/p/app/ONE?r=https://apps.microsoft.com/store/detail/TWO", "TWO"},
      {"http://www.microsoft.com/en-us/p/app/9WZDNCRFHVJL?x=1", "9WZDNCRFHVJL"},
      {"https://www.microsoft.com/store/apps/ABC", "ABC"},
      {"https://www.microsoft.com/store/music/ABC", none},
      {"x https://www.microsoft.com/store/apps/ABC", none},
      {"https://example.com/a?b=1", none},
      // Searched up to their limit only.
      {"https://www.microsoft.com/en-us/p/app/ID?pad=" + std::string(StoreLink::kMaxUrlLength - 45, 'x'), "ID"},
      {"https://www.microsoft.com/en-us/p/app/ID?pad=" + std::string(StoreLink::kMaxUrlLength - 44, 'x'), none},
  };
  for (const auto& [url, id] : rows) EXPECT_EQ(StoreLink::FindProductId(url), id) << url.substr(0, 80);
}

TEST_F(MraidBridgeTest, OpenPrivacyOpensOnlyAPlainWebAddress) {
  EXPECT_EQ(Process("mraid://openPrivacy").refusal, "");
  EXPECT_EQ(Process("mraid://openPrivacy?url=https://example.com:8443/legal/privacy.html").refusal, "");
  for (const std::string url : {"https%3A%2F%2Fexample.com%2Fprivacy", "file:///etc/passwd", "https://x.example/a%20b",
                                "javascript:alert(1)", "HTTPS://example.com/"}) {
    const MraidAnswer answer = Process("mraid://openPrivacy?url=" + url);
    EXPECT_TRUE(answer.complete && !answer.refusal.empty()) << url;
  }
  EXPECT_EQ(opener->Urls(), (Strings{MraidCommandReceiverController::kDefaultPrivacyUrl,
                                     "https://example.com:8443/legal/privacy.html"}));
  EXPECT_EQ(ad.calls, Strings{});
}

// The checks of commands and privacy pages are written by hand so that no
// regular expression recurses over a long message; they accept exactly what
// their patterns accept: every combination of the pieces is checked against std::regex.
TEST_F(MraidBridgeTest, UrlChecksAcceptWhatTheirPatternsAccept) {
  const struct {
    std::regex pattern;
    bool (*check)(const std::string&);
    std::vector<Strings> pieces;
  } rows[] = {
      {std::regex(R"((http|https|mraid):\/\/[^\s/$.?#].[^\s]*)", std::regex::ECMAScript | std::regex::icase),
       &MraidCommand::IsCommandUrl,
       {{"", "mraid", "MRaid", "http", "HTTPS", "ftp", "xmraid", "mraid:"},
        {"://", ":/", "//", ""},
        {"", "a", " ", "/", "$", ".", "?", "#", "\n", "\xc3"},
        {"", "b", " ", "\t", "\n", "\r", ".", "\xa4"},
        {"", "cd", "c d", "c\vd", "?x=1&y=2", "/p/q", "://", "\f"}}},
      {std::regex(R"((http|https)://([\w.-]+)(:[0-9]+)?(/[\w./-]*)?)"),
       &CreativeUrl::IsPrivacyPageUrl,
       {{"http://", "https://", "HTTP://", "ftp://", "http:/", "https:://"},
        {"", "a", "a.b-c_D9", "a b", "\xc3\xa4", "-", "a/"},
        {"", ":", ":80", ":8a", "::1"},
        {"", "/", "/a/b.c-d_e", "/a b", "?q", "/a?b", "//", "/\xc3\xa4", "#x"}}},
  };
  for (const auto& row : rows) {
    Strings texts{""};
    for (const auto& choices : row.pieces) {
      Strings next;
      for (const auto& text : texts) {
        for (const auto& choice : choices) next.push_back(text + choice);
      }
      texts = std::move(next);
    }
    std::size_t accepted = 0;
    for (const auto& text : texts) {
      const bool expected = std::regex_match(text, row.pattern);
      accepted += expected;
      EXPECT_EQ(row.check(text), expected) << '"' << text << '"';
    }
    EXPECT_TRUE(accepted > 50 && accepted < texts.size() / 2) << accepted;  // the pieces reach both answers
  }
  // Up to the message limit, without recursion.
  const std::string longest = "mraid://tpat?pad=" + std::string(MraidCommand::kMaxLength - 17, 'x');
  EXPECT_TRUE(MraidCommand::IsCommandUrl(longest));
  EXPECT_FALSE(MraidCommand::IsCommandUrl(longest + "x"));
  EXPECT_FALSE(MraidCommand::IsCommandUrl(longest.substr(0, 100) + " " + longest.substr(101)));
  const std::string page = "https://example.com/" + std::string(MraidCommand::kMaxLength - 20, 'p');
  EXPECT_TRUE(CreativeUrl::IsPrivacyPageUrl(page));
  EXPECT_FALSE(CreativeUrl::IsPrivacyPageUrl(page + "p"));
}

// Tracking events go out with the command's parameters, up to the play's cap.
TEST_F(MraidBridgeTest, TrackingEventsGoOutUpToThePlaysCap) {
  auto tpat = std::make_shared<RecordingTpat>();
  R::SetTpatController(tpat);
  EXPECT_EQ(Process("mraid://tpat?event=start&extra=%20").refusal, "");
  for (int i = 1; i < DisplayAdController::kMaxTrackingEventsPerPlay; ++i) Process("mraid://tpat?event=e");
  const MraidAnswer over = Process("mraid://tpat?event=over");
  EXPECT_TRUE(over.complete);
  EXPECT_NE(over.refusal, "");
  ASSERT_EQ(tpat->sent.size(), DisplayAdController::kMaxTrackingEventsPerPlay);
  EXPECT_EQ(tpat->sent[0], (Parameters{{"event", "start"}, {"extra", "%20"}}));
}

TEST_F(MraidBridgeTest, FailuresNeverLeaveTheReceiver) {
  LogCapture log;
  ad.throwOnClick = true;
  EXPECT_EQ(Process("mraid://open?url=https://example.com").refusal, "the SDK failed to carry it out");
  EXPECT_TRUE(log.Has("Exception in ProcessReceivedMraidCommand: click failed", LogLevel::Error));
  // No playing ad: the commands that need one are logged, not performed, and refused.
  R::SetTpatController(std::make_shared<RecordingTpat>());
  for (const char* command : {"mraid://close", "mraid://tpat?event=x", "mraid://successfulView"}) {
    const MraidAnswer answer = receiver.ProcessReceivedMraidCommand(command, nullptr);
    EXPECT_TRUE(answer.complete && answer.refusal == "no ad is playing") << command;
  }
  EXPECT_EQ(log.CountStartingWith("No playing ad for MRAID command: "), 3);
}

// The creative sees a size once the device is known, and a consent dialog
// only while no choice is stored; each build with a dialog watches for its timeout.
TEST_F(MraidBridgeTest, BridgePropertiesFollowTheDeviceAndTheConsentChoice) {
  MraidBridgePropertiesController properties;
  EXPECT_EQ(properties.GetBridgeProperties("", false)["maxSize"], nullptr);
  test::TempDir folder;
  auto settings = std::make_shared<PersistentSettingsController>(folder.String());
  R::SetPersistentSettingsController(settings);
  auto gdpr = std::make_shared<GdprController>();
  R::SetGdprController(gdpr);
  R::SetDeviceInfoController(std::make_shared<DeviceInfoController>(nullptr));
  gdpr->SetGdprEnabled(true);
  EXPECT_EQ(properties.GetBridgeProperties("", false)["maxSize"], (Json{{"width", "1920"}, {"height", "1080"}}));
  EXPECT_TRUE(settings->GetWatchForGDPRTimeout());
  settings->SetWatchForGDPRTimeout(false);
  gdpr->SetConsentStatus(GdprController::kOptedOut, "v1");
  EXPECT_EQ(properties.GetBridgeProperties("", false)["consentRequired"], "false");
  EXPECT_FALSE(settings->GetWatchForGDPRTimeout());
}

}  // namespace
}  // namespace kestrel
