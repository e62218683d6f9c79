// The privacy sections of the requests the local ad server receives.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include <nlohmann/json.hpp>

#include "LocalAdServer.h"
#include "kestrel/KestrelAds.h"
#include "server/IRequestController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace kestrel {
namespace {

using Json = nlohmann::json;

class PrivacyEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SdkState::Reset();
    server.Start();
  }
  void TearDown() override {
    SdkState::Reset();
    server.Stop();
  }

  KestrelAds* Initialize(KestrelSdkConfig config) {
    config.ConfigBaseUrl = server.BaseUrl();
    return KestrelAds::InitializeAsync("privacy-app", config, nullptr, {}).get();
  }

  // The body of the newest request under `path`.
  Json LastBody(const std::string& path) {
    const auto requests = server.Requests(path);
    return requests.empty() ? Json() : Json::parse(requests.back().body, nullptr, false);
  }

  // Sends an /ads request and returns its body as the server received it.
  Json AdsBody(KestrelAds& ads, const std::string& placement) {
    const std::size_t before = server.Requests("/ads").size();
    std::atomic<bool> done{false};
    auto handler = [&](AdLoadEventArgs) { done = true; };
    EXPECT_TRUE(ads.LoadAd(placement, AdLoadCallback{handler, handler}));
    EXPECT_TRUE(server.WaitForRequests("/ads", before + 1));
    EXPECT_TRUE(test::WaitUntil([&] { return done.load(); }));
    return LastBody("/ads");
  }

  // Sends a fresh /config request and returns its body as the server received it.
  Json ConfigBody() {
    const std::size_t before = server.Requests("/config").size();
    ControllerRegistry::GetRequestController()->RequestConfig().get();
    EXPECT_TRUE(server.WaitForRequests("/config", before + 1));
    return LastBody("/config");
  }

  static Json Identifiers(const Json& body) {
    const Json& windows = body["device"]["ext"]["tovane"]["windows"];
    return {{"ifa", body["device"]["ifa"]}, {"msaid", windows["msaid"]}, {"ashwid", windows["ashwid"]}};
  }

  test::ScopedDataHome dataHome;
  adserver::LocalAdServer server;
};

TEST_F(PrivacyEndToEndTest, RequestsCarryTheChoicesAndWithholdIdentifiersWhenARuleRestricts) {
  KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Accepted, "1.0.0");
  KestrelSdkConfig config;
  config.CcpaStatus = CcpaConsentStatus::OptedIn;
  config.CoppaStatus = false;
  KestrelAds* ads = Initialize(config);
  ASSERT_NE(ads, nullptr);

  // /config: every privacy fragment side by side, the hardware id sent.
  const Json config0 = LastBody("/config");
  ASSERT_TRUE(config0.is_object());
  const Json& user = config0["user"];
  EXPECT_EQ(user["ccpa"]["status"], "opted_in") << user.dump();
  EXPECT_TRUE(user["coppa"].contains("is_coppa")) << user.dump();
  EXPECT_EQ(user["gdpr"]["consent_status"], "opted_in") << user.dump();
  EXPECT_EQ(user["gdpr"]["consent_source"], "publisher") << user.dump();
  EXPECT_EQ(user["gdpr"]["consent_message_version"], "1.0.0") << user.dump();
  const Json open = AdsBody(*ads, "rewarded_video");
  EXPECT_NE(Identifiers(open)["ashwid"], "") << Identifiers(open).dump();

  // Choices changed after initialisation reach the next request and withhold the identifiers.
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
  const Json ccpa = AdsBody(*ads, "interstitial");
  EXPECT_EQ(ccpa["user"]["ccpa"]["status"], "opted_out");
  EXPECT_EQ(Identifiers(ccpa), (Json{{"ifa", ""}, {"msaid", ""}, {"ashwid", ""}}));

  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedIn);
  KestrelAds::SetCoppaStatus(true);
  const Json coppa = ConfigBody();
  EXPECT_EQ(coppa["user"]["ccpa"]["status"], "opted_in");
  EXPECT_EQ(coppa["user"]["coppa"]["is_coppa"], true);
  EXPECT_EQ(Identifiers(coppa), (Json{{"ifa", ""}, {"msaid", ""}, {"ashwid", ""}}));

  KestrelAds::SetCoppaStatus(false);
  KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Denied, "2.0.0");
  const Json gdpr = ConfigBody();
  EXPECT_EQ(gdpr["user"]["gdpr"]["consent_status"], "opted_out");
  EXPECT_EQ(gdpr["user"]["gdpr"]["consent_message_version"], "2.0.0");
  EXPECT_EQ(Identifiers(gdpr), (Json{{"ifa", ""}, {"msaid", ""}, {"ashwid", ""}}));
}

}  // namespace
}  // namespace kestrel
