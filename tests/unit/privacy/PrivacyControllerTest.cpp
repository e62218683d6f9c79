// The identifier filter, and the CCPA and COPPA choices in fragments and requests.

#include "support/TestPrelude.h"

#include "PrivacyFixture.h"
#include "net/ServerRequests.h"

namespace kestrel {
namespace {

using Ids = std::pair<std::string, std::string>;

class PrivacyControllerTest : public test::PrivacyFixture {
 protected:
  // The two identifiers as the device section would carry them.
  Ids Filtered() { return {privacy->FilterAdvertisingId("ad-id"), privacy->FilterHardwareId("hw-id")}; }
  // The body after the CCPA and COPPA updates that run before each send.
  std::string Updated(const std::string& body) {
    ServerRequests request;
    request.m_body = Json::parse(body);
    ccpa->UpdateCcpaInRequest(request);
    coppa->UpdateCoppaInRequest(request);
    return request.m_body.dump();
  }
};

TEST_F(PrivacyControllerTest, EachRuleWithholdsTheIdentifiers) {
  const std::vector<std::tuple<const char*, std::function<void()>, Ids>> rules = {
      {"nothing restricts",
       [&] {
         gdpr->SetConsentStatus(GdprController::kOptedIn, "v1");
         ccpa->SetCcpaStatus(CcpaController::kOptedIn);
         coppa->SetCoppaStatus(false);
       },
       {"ad-id", "hw-id"}},
      {"publisher's hardware-id opt-out", [&] { settings->SetPublisherDisableAshwidTracking(true); }, {"ad-id", ""}},
      {"server's ad-id opt-out", [&] { settings->SetPlatformDisabledAdId(true); }, {"", ""}},
      {"GDPR opted out", [&] { gdpr->SetConsentStatus(GdprController::kOptedOut, "v1"); }, {"", ""}},
      {"GDPR timed out", [&] { gdpr->SetConsentStatusFromModal(GdprController::kOptedOutByTimeout); }, {"", ""}},
      {"CCPA opted out", [&] { ccpa->SetCcpaStatus(CcpaController::kOptedOut); }, {"", ""}},
      {"COPPA", [&] { coppa->SetCoppaStatus(true); }, {"", ""}},
      {"no settings", [] { R::SetPersistentSettingsController(nullptr); }, {"", ""}},
      {"no initialisation controller", [] { R::SetInitializationController(nullptr); }, {"", ""}},
      {"no GDPR controller", [] { R::SetGdprController(nullptr); }, {"", ""}},
      {"no CCPA controller", [] { R::SetCcpaController(nullptr); }, {"", ""}},
      {"no COPPA controller", [] { R::SetCoppaController(nullptr); }, {"", ""}},
  };
  for (const auto& [name, apply, expected] : rules) {
    SCOPED_TRACE(name);
    test::TempDir fresh;
    StartOver(fresh.String());
    ASSERT_EQ(Filtered(), Ids("ad-id", "hw-id"));  // nothing ever stored
    apply();
    EXPECT_EQ(Filtered(), expected);
  }
}

TEST_F(PrivacyControllerTest, ChoicesSurviveARestartAndShapeTheFragments) {
  EXPECT_EQ(ccpa->GetCcpaJson().dump(), R"({"user":{"ccpa":{"status":"opted_in"}}})");
  EXPECT_TRUE(coppa->GetCoppaJson().is_null());  // nothing stored yet
  ccpa->SetCcpaStatus(CcpaController::kOptedOut);
  coppa->SetCoppaStatus(false);
  Start();
  EXPECT_EQ(ccpa->GetCcpaJson().dump(), R"({"user":{"ccpa":{"status":"opted_out"}}})");
  EXPECT_EQ(coppa->GetCoppaJson().dump(), R"({"user":{"coppa":{"is_coppa":"false"}}})");

  ccpa->SetCcpaStatus(static_cast<CcpaStatus>(5));  // not a status: stored as opted in
  EXPECT_NE(SettingsFile().find("CcpaInternalConsentStatus=1\n"), std::string::npos);
  settings->SetCcpaInternalConsentStatus(7);  // a damaged file
  EXPECT_EQ(ccpa->GetCcpaStatus(), CcpaController::kOptedIn);
}

TEST_F(PrivacyControllerTest, RequestUpdatesPatchOnlyWhatTheyShould) {
  const std::string sent = R"({"app":{},"user":{"ccpa":{"status":"opted_in"},"gdpr":{"consent_status":"unknown"}}})";
  ccpa->SetCcpaStatus(CcpaController::kOptedOut);
  const std::vector<std::tuple<std::function<void()>, std::string, std::string>> rows = {
      // Nothing stored for COPPA: only the CCPA member follows the current choice.
      {[] {}, sent, R"({"app":{},"user":{"ccpa":{"status":"opted_out"},"gdpr":{"consent_status":"unknown"}}})"},
      // COPPA is written as a boolean, creating the objects on the way.
      {[&] { coppa->SetCoppaStatus(false); }, R"({"app":{}})", R"({"app":{},"user":{"coppa":{"is_coppa":false}}})"},
      {[&] { coppa->SetCoppaStatus(true); }, R"({"user":{"coppa":{"is_coppa":"false"}}})",
       R"({"user":{"coppa":{"is_coppa":true}}})"},
      // Bodies without the members stay as they are; bodies of the wrong shape are logged, not thrown.
      {[] {}, "null", "null"},
      {[] {}, "{}", "{}"},
      {[] {}, R"({"user":"u"})", R"({"user":"u"})"},
      {[] {}, "[1]", "[1]"},
  };
  test::LogCapture log;
  for (const auto& [apply, body, expected] : rows) {
    apply();
    EXPECT_EQ(Updated(body), expected) << body;
  }
  EXPECT_EQ(log.Events().size(), 2u);
}

}  // namespace
}  // namespace kestrel
