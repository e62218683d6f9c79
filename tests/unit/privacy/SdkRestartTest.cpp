#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "config/ConfigResponse.h"
#include "kestrel/KestrelAds.h"
#include "platform/PlatformServices.h"
#include "privacy/IGdprController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "support/LogCapture.h"
#include "support/RecordingFactory.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

constexpr const char* kChildVariable = "KESTREL_PRIVACY_CHILD";

// Whole SDK starts through the public interface. The child process uses the
// data folder of its parent.
class SdkRestartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv(kChildVariable)) dataHome.emplace();
    SdkState::Reset();
    SdkState::SetFactoryMaker([journal = journal] { return std::make_shared<test::RecordingFactory>(journal); });
  }
  void TearDown() override {
    SdkState::Reset();
    SdkState::SetFactoryMaker(nullptr);
  }

  std::optional<test::ScopedDataHome> dataHome;
  std::shared_ptr<test::Journal> journal = std::make_shared<test::Journal>();
};

// The first run of the test below: an ad is shown with GDPR applying, and the process ends unanswered.
TEST_F(SdkRestartTest, ChildShowsAnAdAndExits) {
  if (!std::getenv(kChildVariable)) GTEST_SKIP() << "runs only as the child of UnansweredDialogIsDeniedAtTheNextRun";
  ASSERT_NE(KestrelAds::InitializeAsync("app", nullptr, {}).get(), nullptr);
  auto gdpr = R::GetGdprController();
  gdpr->GetGdprSettingsFromConfigResponse(
      std::make_shared<ConfigResponse>(),
      std::make_shared<const Json>(Json::parse(R"({"gdpr":{"is_country_data_protected":true,
        "consent_message_version":"v5"}})")));
  gdpr->StartConsentTimeoutWatch();
}

TEST_F(SdkRestartTest, UnansweredDialogIsDeniedAtTheNextRun) {
  const std::string self = PlatformServices::ProcessInfo()->ExecutablePath();
  ASSERT_FALSE(self.empty());
  setenv(kChildVariable, "1", 1);
  const int status =
      std::system(("'" + self + "' --gtest_filter=SdkRestartTest.ChildShowsAnAdAndExits >/dev/null").c_str());
  unsetenv(kChildVariable);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(KestrelAds::GetGdprConsentStatus(), GdprConsentStatus::Accepted);  // still unknown

  test::LogCapture log;
  ASSERT_NE(KestrelAds::InitializeAsync("app", nullptr, {}).get(), nullptr);
  EXPECT_TRUE(log.Has("User didn't click on GDPR dialog button -- setting Consent to Timeout", LogLevel::Info));
  EXPECT_EQ(KestrelAds::GetGdprConsentStatus(), GdprConsentStatus::Denied);
  EXPECT_EQ(KestrelAds::GetGdprConsentMessageVersion(), "v5");
  const Json consent = R::GetGdprController()->GetGdprJson()["user"]["gdpr"];
  EXPECT_EQ(consent["consent_status"], "opted_out_by_timeout");
  EXPECT_EQ(consent["consent_source"], "tovane_modal");
}

}  // namespace
}  // namespace kestrel
