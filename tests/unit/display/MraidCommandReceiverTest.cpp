#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/PersistentSettingsController.h"
#include "display/CreativeUrl.h"
#include "display/DisplayAdController.h"
#include "display/MraidCommand.h"
#include "display/MraidCommandReceiverController.h"
#include "display/StoreLink.h"
#include "server/ITpatController.h"
#include "platform/PlatformServices.h"
#include "privacy/GdprController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "support/LogCapture.h"
#include "support/RecordingUrlOpener.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;
using test::LogCapture;
using Parameters = std::unordered_map<std::string, std::string>;

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

  std::vector<std::string> calls;
  bool throwOnClick = false;
};

// Records what the desktop would open.
using FakeUrlOpener = test::RecordingUrlOpener;

// Records the commands it is handed; while held, each send waits as a slow
// tracking server would.
class RecordingTpat : public ITpatController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  void SendTpat(std::shared_ptr<TpatsModel>, const Parameters& parameters) override {
    std::unique_lock lock(m_mutex);
    ++m_started;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_held; });
    m_sent.push_back(parameters);
  }
  std::string ReplaceMacros(const std::string& url) override { return url; }

  void Hold() {
    std::lock_guard lock(m_mutex);
    m_held = true;
  }
  void Release() {
    std::lock_guard lock(m_mutex);
    m_held = false;
    m_changed.notify_all();
  }
  int Started() {
    std::lock_guard lock(m_mutex);
    return m_started;
  }
  std::vector<Parameters> Sent() {
    std::lock_guard lock(m_mutex);
    return m_sent;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_held = false;
  int m_started = 0;
  std::vector<Parameters> m_sent;
};

class MraidCommandReceiverTest : public ::testing::Test {
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
    opener = std::make_shared<FakeUrlOpener>(storeLinks);
    PlatformServices::SetUrlOpener(opener);
  }
  bool Process(const std::string& message) { return receiver.ProcessReceivedMraidCommand(message, &ad); }

  MraidCommandReceiverController receiver;
  FakeAd ad;
  std::shared_ptr<FakeUrlOpener> opener;
};

using Urls = std::vector<std::string>;
using Calls = std::vector<std::string>;

TEST_F(MraidCommandReceiverTest, MessagesThatAreNotMraidCommandsAreRefused) {
  const std::string unknown = "Unknown Command received from Creative bridge: ";
  const std::string nonMraid = "Received non-mraid command from creative! ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"JS_KE_ERROR:boom at file.js:1:2", unknown},
      {"", unknown},
      {"mraid://c", unknown},          // too short after "://"
      {"mraid://close now", unknown},  // white space
      {"mraid://.close", unknown},     // "." right after "://"
      {"ftp://close", unknown},
      {"mraid://tpat?event=" + std::string(MraidCommand::kMaxLength, 'a'), unknown},
      {"https://example.com/close", nonMraid},
      {"HTTP://EXAMPLE.COM", nonMraid},
  };
  for (const auto& [message, line] : cases) {
    LogCapture log;
    EXPECT_FALSE(Process(message)) << message.substr(0, 40);
    EXPECT_TRUE(log.Has(line + message, LogLevel::Error)) << message.substr(0, 40);
  }
  EXPECT_EQ(ad.calls, Calls{});
}

TEST_F(MraidCommandReceiverTest, CloseInAnyCaseClosesAndAnswersFalse) {
  EXPECT_FALSE(Process("MRAID://Close"));
  EXPECT_FALSE(Process("mraid://close?reason=done"));
  EXPECT_EQ(ad.calls, (Calls{"close", "close"}));
}

TEST_F(MraidCommandReceiverTest, CommandTableAnswersTrueAndActsOnlyWhereItShould) {
  for (const char* name :
       {"propertiesChangeCompleted", "actionWithValue", "error", "setOrientationProperties", "useCustomClose",
        "useCustomPrivacy", "userInteraction", "creativeHeartbeat", "consentAction", "tpat"}) {
    LogCapture log;
    EXPECT_TRUE(Process(std::string("mraid://") + name + "?event=x")) << name;
    EXPECT_TRUE(log.Messages().empty()) << name;  // no GDPR or TPAT controller: nothing happens
  }
  EXPECT_EQ(ad.calls, Calls{});

  for (const char* name : {"prepareStoreView", "presentStoreView", "prepareStoreOverlayView", "presentStoreOverlayView",
                           "dismissStoreOverlayView"}) {
    LogCapture log;
    const std::string message = std::string("mraid://") + name + "?a=1";
    EXPECT_TRUE(Process(message));
    EXPECT_TRUE(log.Has("Windows SDK should not receive this MRAID command: " + message, LogLevel::Warn));
  }

  LogCapture log;
  EXPECT_TRUE(Process("mraid://action?a=1"));
  EXPECT_TRUE(log.Has("Action (without value) command is deprecated: mraid://action?a=1", LogLevel::Error));
  EXPECT_TRUE(Process("mraid://playVideo?uri=x"));
  EXPECT_TRUE(log.Has("Don't know how to handle MRAID mraid://playVideo?uri=x command.", LogLevel::Error));

  EXPECT_TRUE(Process("mraid://successfulView"));
  EXPECT_EQ(ad.calls, Calls{"rewarded"});
  EXPECT_EQ(opener->Urls(), Urls{});
}

TEST_F(MraidCommandReceiverTest, CommandNameAndParametersAreReadAsReceived) {
  EXPECT_EQ(MraidCommand::ParseParameters("mraid://x?a=1&b&c=2=3"), (Parameters{{"a", "1"}, {"c", "2=3"}}));
  EXPECT_EQ(MraidCommand::ParseParameters("mraid://tpat?event=a?b&u=%20x+y&event=c?"),
            (Parameters{{"event", "c"}, {"u", "%20x+y"}}));
  EXPECT_EQ(MraidCommand::ParseParameters("mraid://x?&=v&"), (Parameters{{"", "v"}}));
  EXPECT_EQ(MraidCommand::ParseParameters("mraid://close"), Parameters{});
  EXPECT_EQ(MraidCommand::Name("mraid://OpenPrivacy/extra?url=x"), "openprivacy");
  EXPECT_EQ(MraidCommand::Name("mraid://Tpat?url=a/b"), "tpat");
  EXPECT_EQ(MraidCommand::Scheme("MRAID://close"), "mraid");
  EXPECT_EQ(MraidCommand::Scheme("close"), "close");

  // A message just under the limit still goes through the regular expressions.
  const std::string longMessage = "mraid://creativeHeartbeat?pad=" + std::string(MraidCommand::kMaxLength - 40, 'x');
  EXPECT_TRUE(Process(longMessage));
}

TEST_F(MraidCommandReceiverTest, StoreProductIdsComeFromThePatternsInTheirOrder) {
  // Pattern 3 on a decoded store detail address.
  EXPECT_EQ(StoreLink::FindProductId("https://apps.microsoft.com/store/detail/9WZDNCRFJ3TJ?hl=en"), "9WZDNCRFJ3TJ");
  // Pattern 2 before 3: the segment after the name.
  EXPECT_EQ(StoreLink::FindProductId("https://apps.microsoft.com/store/detail/myapp/9NBLGGH4NNS1"), "9NBLGGH4NNS1");
  // Pattern 4 before 1, and 3 before 1.
  EXPECT_EQ(StoreLink::FindProductId("https://www.microsoft.com/en-us/p/app/ONE/store/games/TWO"), "TWO");
  EXPECT_EQ(StoreLink::FindProductId(
                "https://www.microsoft.com/en-us/p/app/ONE?r=https://apps.microsoft.com/store/detail/TWO"),
            "TWO");
  EXPECT_EQ(StoreLink::FindProductId("http://www.microsoft.com/en-us/p/app/9WZDNCRFHVJL?x=1"), "9WZDNCRFHVJL");
  // Pattern 4 needs "apps" or "games" after "store/", and the address at the start.
  EXPECT_EQ(StoreLink::FindProductId("https://www.microsoft.com/store/music/ABC"), std::nullopt);
  EXPECT_EQ(StoreLink::FindProductId("x https://www.microsoft.com/store/apps/ABC"), std::nullopt);
  EXPECT_EQ(StoreLink::FindProductId("https://www.microsoft.com/store/apps/ABC"), "ABC");
  EXPECT_EQ(StoreLink::FindProductId("https://example.com/a?b=1"), std::nullopt);
  EXPECT_EQ(StoreLink::DeepLink("ABC"), "ms-windows-store://pdp/?ProductId=ABC&cid=tovane");
}

TEST_F(MraidCommandReceiverTest, OpenReportsTheClickAndOpensTheDecodedUrlOrTheStore) {
  const std::string store = "mraid://open?url=https%3A%2F%2Fapps.microsoft.com%2Fstore%2Fdetail%2F9WZDNCRFJ3TJ";
  LogCapture log;
  EXPECT_TRUE(Process(store));
  EXPECT_TRUE(log.Has("Cleaned Store URL: https://apps.microsoft.com/store/detail/9WZDNCRFJ3TJ", LogLevel::Info));
  EXPECT_TRUE(log.Has("Found ProductId: 9WZDNCRFJ3TJ", LogLevel::Info));
  // This platform has no store: the product's web page opens.
  EXPECT_EQ(opener->Urls(), Urls{"https://apps.microsoft.com/store/detail/9WZDNCRFJ3TJ"});

  UseOpener(true);
  EXPECT_TRUE(Process(store));
  EXPECT_TRUE(Process("mraid://open?url=https%3A%2F%2Fexample.com%2Fa%3Fb%3D1%26c%3D%2541"));
  EXPECT_EQ(opener->Urls(),
            (Urls{"ms-windows-store://pdp/?ProductId=9WZDNCRFJ3TJ&cid=tovane", "https://example.com/a?b=1&c=%41"}));
  EXPECT_TRUE(log.Has("Opening Store URL: ms-windows-store://pdp/?ProductId=9WZDNCRFJ3TJ&cid=tovane", LogLevel::Info));
  EXPECT_EQ(ad.calls, (Calls{"click", "click", "click"}));

  // One decoding pass; broken escapes and "+" stay; a decoded NUL ends the url.
  EXPECT_EQ(CreativeUrl::Unescape("%41%2541%zz%4+%e2%82%AC"), "A%41%zz%4+\xe2\x82\xac");
  EXPECT_EQ(CreativeUrl::Unescape("https://a.example/x%00y"), "https://a.example/x");
}

TEST_F(MraidCommandReceiverTest, OpenWithoutAWebUrlReportsTheClickButOpensNothing) {
  LogCapture log;
  EXPECT_TRUE(Process("mraid://open"));
  EXPECT_TRUE(log.Has("open command doesn't have a url!", LogLevel::Error));

  for (const std::string url :
       {"file:///etc/passwd", "javascript%3Aalert(1)", "myapp://run", "", "%00https://x.example", "https:", "https://",
        "https://x.example/%0Aecho", "/usr/bin/xterm", "-e%20https://x.example",
        "javascript:x//https://apps.microsoft.com/store/detail/ABC"}) {
    EXPECT_TRUE(Process("mraid://open?url=" + url)) << url;
  }
  EXPECT_EQ(log.CountStartingWith("Not opening a url that is not http or https: "), 11);
  EXPECT_EQ(opener->Urls(), Urls{});
  EXPECT_EQ(ad.calls.size(), 12u);

  // Where a store exists its own link is opened, whatever the address around the id.
  UseOpener(true);
  EXPECT_TRUE(Process("mraid://open?url=javascript:x//https://apps.microsoft.com/store/detail/ABC"));
  EXPECT_TRUE(Process("mraid://open?url=HTTPS://Example.com"));
  EXPECT_EQ(opener->Urls(), (Urls{"ms-windows-store://pdp/?ProductId=ABC&cid=tovane", "HTTPS://Example.com"}));
}

TEST_F(MraidCommandReceiverTest, OpenPrivacyOpensOnlyAPlainWebAddress) {
  EXPECT_TRUE(Process("mraid://openPrivacy"));
  EXPECT_TRUE(Process("mraid://openPrivacy?url=https://example.com:8443/legal/privacy.html"));
  LogCapture log;
  for (const std::string url : {"https%3A%2F%2Fexample.com%2Fprivacy", "file:///etc/passwd", "https://x.example/a%20b",
                                "javascript:alert(1)", "HTTPS://example.com/"}) {
    EXPECT_TRUE(Process("mraid://openPrivacy?url=" + url)) << url;
    EXPECT_TRUE(log.Has("Not opening privacy page url: " + url, LogLevel::Error)) << url;
  }
  EXPECT_EQ(opener->Urls(),
            (Urls{MraidCommandReceiverController::kDefaultPrivacyUrl, "https://example.com:8443/legal/privacy.html"}));
  EXPECT_EQ(ad.calls, Calls{});
}

TEST_F(MraidCommandReceiverTest, ConsentActionStoresTheDialogAnswer) {
  test::TempDir folder;
  auto settings = std::make_shared<PersistentSettingsController>(folder.String());
  R::SetPersistentSettingsController(settings);
  R::SetGdprController(std::make_shared<GdprController>());
  settings->SetWatchForGDPRTimeout(true);

  EXPECT_TRUE(Process("mraid://consentAction?event=OPTED_IN&version=v9"));
  EXPECT_EQ(settings->GetGdprConsentStatus(), GdprController::kOptedIn);
  EXPECT_EQ(settings->GetGdprConsentSource(), GdprController::kSourceDialog);
  EXPECT_EQ(settings->GetGdprLastConsentMessageVersionFromServer(), "v9");
  EXPECT_FALSE(settings->GetWatchForGDPRTimeout());

  LogCapture log;
  EXPECT_TRUE(Process("mraid://consentAction?event=maybe"));
  EXPECT_TRUE(log.Has("Unknown GDPR Consent Status received from MRAID: maybe", LogLevel::Error));
  EXPECT_EQ(settings->GetGdprConsentStatus(), GdprController::kOptedIn);
}

TEST_F(MraidCommandReceiverTest, TpatHandsTheParametersToTheTrackingController) {
  auto tpat = std::make_shared<RecordingTpat>();
  R::SetTpatController(tpat);
  EXPECT_TRUE(Process("mraid://tpat?event=checkpoint.25&extra=%20"));
  ASSERT_TRUE(test::WaitUntil([&] { return tpat->Sent().size() == 1; }));
  EXPECT_EQ(tpat->Sent()[0], (Parameters{{"event", "checkpoint.25"}, {"extra", "%20"}}));
}

// The creative's window must not wait on a tracking server; the hits still go
// out in the order of the commands.
TEST_F(MraidCommandReceiverTest, TpatNeverHoldsTheWindowAndKeepsTheCommandsInOrder) {
  auto tpat = std::make_shared<RecordingTpat>();
  R::SetTpatController(tpat);
  tpat->Hold();
  EXPECT_TRUE(Process("mraid://tpat?event=start"));  // returns while the first send is held
  EXPECT_TRUE(Process("mraid://tpat?event=midpoint"));
  ASSERT_TRUE(test::WaitUntil([&] { return tpat->Started() == 1; }));
  EXPECT_TRUE(tpat->Sent().empty());
  EXPECT_EQ(tpat->Started(), 1);  // the second waits for the first
  tpat->Release();
  ASSERT_TRUE(test::WaitUntil([&] { return tpat->Sent().size() == 2; }));
  EXPECT_EQ(tpat->Sent()[0].at("event"), "start");
  EXPECT_EQ(tpat->Sent()[1].at("event"), "midpoint");
}

TEST_F(MraidCommandReceiverTest, FailuresNeverLeaveTheReceiver) {
  LogCapture log;
  ad.throwOnClick = true;
  EXPECT_FALSE(Process("mraid://open?url=https://example.com"));
  EXPECT_TRUE(log.Has("click failed", LogLevel::Error));
  EXPECT_TRUE(log.Has("Exception in ProcessReceivedMraidCommand: click failed", LogLevel::Error));

  // No playing ad: the commands that need one are logged, not performed.
  R::SetTpatController(std::make_shared<RecordingTpat>());
  EXPECT_FALSE(receiver.ProcessReceivedMraidCommand("mraid://close", nullptr));
  EXPECT_TRUE(receiver.ProcessReceivedMraidCommand("mraid://tpat?event=x", nullptr));
  EXPECT_TRUE(receiver.ProcessReceivedMraidCommand("mraid://successfulView", nullptr));
  EXPECT_EQ(log.CountStartingWith("No playing ad for MRAID command: "), 3);
}

}  // namespace
}  // namespace kestrel
