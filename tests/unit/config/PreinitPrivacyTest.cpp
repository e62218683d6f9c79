#include "support/TestPrelude.h"

#include "kestrel/KestrelAds.h"
#include "sdk/SdkState.h"
#include "support/ChildProcess.h"

namespace kestrel {
namespace {

// What the privacy getters answer, as one line.
std::string PrivacyLine() {
  return std::string("privacy gdpr=") +
         (KestrelAds::GetGdprConsentStatus() == GdprConsentStatus::Accepted ? "Accepted" : "Denied") +
         " version=" + KestrelAds::GetGdprConsentMessageVersion() +
         " ccpa=" + (KestrelAds::GetCcpaStatus() == CcpaConsentStatus::OptedOut ? "OptedOut" : "OptedIn") +
         " coppa=" + (KestrelAds::GetCoppaStatus() ? "true" : "false") +
         " ashwid=" + (KestrelAds::GetDisableASHWID() ? "true" : "false");
}

// What a fresh process reads from the same data folder.
std::string PrivacyLineOfAFreshProcess() {
  return test::InChild([] {
    SdkState::Reset();
    return PrivacyLine();
  });
}

class PreinitPrivacyTest : public ::testing::Test {
 protected:
  void SetUp() override { SdkState::Reset(); }
  void TearDown() override { SdkState::Reset(); }

  std::string SettingsText() const { return test::ReadFile(settingsFile); }

  test::ScopedDataHome dataHome;
  fs::path sdkFolder = dataHome.Path() / "config_tests" / "TovaneSDK";
  fs::path settingsFile = sdkFolder / "settings.ke";
};

TEST_F(PreinitPrivacyTest, ChoicesAreStoredAndReadBackHereAndByAFreshProcess) {
  for (const bool restrict : {true, false}) {
    KestrelAds::SetGdprConsentStatus(restrict ? GdprConsentStatus::Denied : GdprConsentStatus::Accepted,
                                     restrict ? "v2" : "v3");
    KestrelAds::SetCcpaStatus(restrict ? CcpaConsentStatus::OptedOut : CcpaConsentStatus::OptedIn);
    KestrelAds::SetCoppaStatus(restrict);
    KestrelAds::SetDisableAshwidTracking(restrict);
    const std::string expected = restrict ? "privacy gdpr=Denied version=v2 ccpa=OptedOut coppa=true ashwid=true"
                                          : "privacy gdpr=Accepted version=v3 ccpa=OptedIn coppa=false ashwid=false";
    EXPECT_EQ(PrivacyLine(), expected);
    EXPECT_EQ(PrivacyLineOfAFreshProcess(), expected);
    EXPECT_NE(SettingsText().find(restrict ? "CcpaInternalConsentStatus=2\n" : "CcpaInternalConsentStatus=1\n"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace kestrel
