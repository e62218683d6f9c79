#include <functional>
#include <string>
#include <vector>

#include "PrivacyFixture.h"

namespace kestrel {
namespace {

class PrivacyControllerTest : public test::PrivacyFixture {
 protected:
  // The two identifiers as the device section would carry them.
  std::pair<std::string, std::string> Filtered() {
    return {privacy->FilterAdvertisingId("ad-id"), privacy->FilterHardwareId("hw-id")};
  }
  using Ids = std::pair<std::string, std::string>;
};

TEST_F(PrivacyControllerTest, IdentifiersPassWhenNothingRestricts) {
  EXPECT_EQ(Filtered(), Ids("ad-id", "hw-id"));  // nothing ever stored, GDPR status 0

  gdpr->SetConsentStatus(GdprController::kOptedIn, "v1");
  ccpa->SetCcpaStatus(CcpaController::kOptedIn);
  coppa->SetCoppaStatus(false);
  settings->SetPlatformDisabledAdId(false);
  EXPECT_EQ(Filtered(), Ids("ad-id", "hw-id"));
}

TEST_F(PrivacyControllerTest, EachRuleWithholdsBothIdentifiers) {
  const std::vector<std::pair<const char*, std::function<void()>>> rules = {
      {"platform opt-out", [&] { settings->SetPlatformDisabledAdId(true); }},
      {"GDPR opted out", [&] { gdpr->SetConsentStatus(GdprController::kOptedOut, "v1"); }},
      {"GDPR timed out", [&] { gdpr->SetConsentStatusFromModal(GdprController::kOptedOutByTimeout); }},
      {"CCPA opted out", [&] { ccpa->SetCcpaStatus(CcpaController::kOptedOut); }},
      {"COPPA", [&] { coppa->SetCoppaStatus(true); }},
      {"no settings", [] { R::SetPersistentSettingsController(nullptr); }},
      {"no initialisation controller", [] { R::SetInitializationController(nullptr); }},
      {"no GDPR controller", [] { R::SetGdprController(nullptr); }},
      {"no CCPA controller", [] { R::SetCcpaController(nullptr); }},
      {"no COPPA controller", [] { R::SetCoppaController(nullptr); }},
  };
  for (const auto& [name, apply] : rules) {
    settings->ClearGdprSettings();
    Start();
    ASSERT_EQ(Filtered(), Ids("ad-id", "hw-id")) << name;
    apply();
    EXPECT_EQ(Filtered(), Ids("", "")) << name;
    settings->SetPlatformDisabledAdId(false);
    settings->ClearCcpaInternalConsentStatus();
    settings->ClearCoppaConsentStatus();
  }
}

TEST_F(PrivacyControllerTest, PublisherOptOutWithholdsOnlyTheHardwareId) {
  settings->SetPublisherDisableAshwidTracking(true);
  EXPECT_EQ(Filtered(), Ids("ad-id", ""));
}

}  // namespace
}  // namespace kestrel
