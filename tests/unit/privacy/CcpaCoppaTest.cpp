#include <string>

#include "PrivacyFixture.h"
#include "net/ServerRequests.h"
#include "support/LogCapture.h"

namespace kestrel {
namespace {

class CcpaCoppaTest : public test::PrivacyFixture {
 protected:
  // The body after the CCPA and COPPA updates that run before each send.
  std::string Updated(const std::string& body) {
    ServerRequests request;
    request.m_body = Json::parse(body);
    ccpa->UpdateCcpaInRequest(request);
    coppa->UpdateCoppaInRequest(request);
    return request.m_body.dump();
  }
};

TEST_F(CcpaCoppaTest, CcpaStatusAndFragment) {
  EXPECT_EQ(ccpa->GetCcpaStatus(), CcpaController::kOptedIn);
  EXPECT_EQ(ccpa->GetCcpaJson().dump(), R"({"user":{"ccpa":{"status":"opted_in"}}})");

  ccpa->SetCcpaStatus(CcpaController::kOptedOut);
  Start();
  EXPECT_EQ(ccpa->GetCcpaStatus(), CcpaController::kOptedOut);
  EXPECT_EQ(ccpa->GetCcpaJson().dump(), R"({"user":{"ccpa":{"status":"opted_out"}}})");
  EXPECT_EQ(ccpa->GetBidTokenCcpaJson(), ccpa->GetCcpaJson());

  ccpa->SetCcpaStatus(5);
  EXPECT_NE(SettingsFile().find("CcpaInternalConsentStatus=1\n"), std::string::npos);
  EXPECT_EQ(ccpa->GetCcpaStatus(), CcpaController::kOptedIn);

  settings->SetCcpaInternalConsentStatus(7);  // a damaged file
  EXPECT_EQ(ccpa->GetCcpaStatus(), CcpaController::kOptedIn);
  EXPECT_EQ(ccpa->GetCcpaJson().dump(), R"({"user":{"ccpa":{"status":"opted_in"}}})");
}

TEST_F(CcpaCoppaTest, CoppaFragmentOnlyOnceSet) {
  EXPECT_FALSE(coppa->GetCoppaStatus());
  EXPECT_TRUE(coppa->GetCoppaJson().is_null());

  coppa->SetCoppaStatus(false);
  Start();
  EXPECT_FALSE(coppa->GetCoppaStatus());
  EXPECT_EQ(coppa->GetCoppaJson().dump(), R"({"user":{"coppa":{"is_coppa":"false"}}})");

  coppa->SetCoppaStatus(true);
  EXPECT_TRUE(coppa->GetCoppaStatus());
  EXPECT_EQ(coppa->GetCoppaJson().dump(), R"({"user":{"coppa":{"is_coppa":"true"}}})");
  EXPECT_EQ(coppa->GetBidTokenCoppaJson(), coppa->GetCoppaJson());
}

TEST_F(CcpaCoppaTest, RequestUpdatesPatchOnlyWhatTheyShould) {
  const std::string sent = R"({"app":{},"user":{"ccpa":{"status":"opted_in"},"gdpr":{"consent_status":"unknown"}}})";
  // Nothing stored for COPPA: only the CCPA member follows the current choice.
  ccpa->SetCcpaStatus(CcpaController::kOptedOut);
  EXPECT_EQ(Updated(sent), R"({"app":{},"user":{"ccpa":{"status":"opted_out"},"gdpr":{"consent_status":"unknown"}}})");

  // COPPA is written as a boolean, creating the objects on the way.
  coppa->SetCoppaStatus(false);
  EXPECT_EQ(Updated(R"({"app":{}})"), R"({"app":{},"user":{"coppa":{"is_coppa":false}}})");
  EXPECT_EQ(Updated(sent), R"({"app":{},"user":{"ccpa":{"status":"opted_out"},"coppa":{"is_coppa":false},)"
                           R"("gdpr":{"consent_status":"unknown"}}})");
  coppa->SetCoppaStatus(true);
  EXPECT_EQ(Updated(R"({"user":{"coppa":{"is_coppa":"false"}}})"), R"({"user":{"coppa":{"is_coppa":true}}})");

  // Bodies without the members stay as they are.
  EXPECT_EQ(Updated("null"), "null");
  EXPECT_EQ(Updated("{}"), "{}");
  EXPECT_EQ(Updated(R"({"user":{"ccpa":{}},"x":1})"), R"({"user":{"ccpa":{},"coppa":{"is_coppa":true}},"x":1})");

  test::LogCapture log;
  EXPECT_EQ(Updated(R"({"user":"u"})"), R"({"user":"u"})");
  EXPECT_EQ(Updated(R"([1])"), R"([1])");
  EXPECT_EQ(log.Events().size(), 2u);  // logged, not thrown
}

}  // namespace
}  // namespace kestrel
