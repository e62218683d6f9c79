#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/PersistentSettingsController.h"
#include "kestrel/KestrelAds.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "support/LogCapture.h"
#include "support/RecordingFactory.h"
#include "support/TempDir.h"
#include "unit/config/SelfProcess.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kReaderVariable = "KESTREL_TEST_PRIVACY_READER";

// What the privacy getters answer, as one line.
std::string PrivacyLine() {
  return std::string("privacy gdpr=") +
         (KestrelAds::GetGdprConsentStatus() == GdprConsentStatus::Accepted ? "Accepted" : "Denied") +
         " version=" + KestrelAds::GetGdprConsentMessageVersion() +
         " ccpa=" + (KestrelAds::GetCcpaStatus() == CcpaConsentStatus::OptedOut ? "OptedOut" : "OptedIn") +
         " coppa=" + (KestrelAds::GetCoppaStatus() ? "true" : "false") +
         " ashwid=" + (KestrelAds::GetDisableASHWID() ? "true" : "false");
}

// Started as a fresh process by the tests below: prints what it reads.
[[maybe_unused]] const bool kIsReader = [] {
  if (std::getenv(kReaderVariable) == nullptr) return false;
  const std::string line = PrivacyLine() + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  std::_Exit(0);
}();

// The line that a fresh process reads from the same data folder.
std::string PrivacyLineOfAFreshProcess() {
  std::istringstream out(test::RunSelf(kReaderVariable, "1"));
  for (std::string line; std::getline(out, line);) {
    if (line.rfind("privacy ", 0) == 0) return line;
  }
  return "no privacy line";
}

std::int32_t Now() {
  using namespace std::chrono;
  return static_cast<std::int32_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

class PreinitPrivacyTest : public ::testing::Test {
 protected:
  void SetUp() override { SdkState::Reset(); }
  void TearDown() override {
    SdkState::Reset();
    SdkState::SetFactoryMaker(nullptr);
  }

  std::string SettingsText() const {
    std::ifstream in(settingsFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  test::ScopedDataHome dataHome;
  fs::path sdkFolder = dataHome.Path() / "config_tests" / "TovaneSDK";
  fs::path settingsFile = sdkFolder / "settings.ke";
};

TEST_F(PreinitPrivacyTest, ChoicesAreStoredAndReadBackHereAndByAFreshProcess) {
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
  EXPECT_NE(SettingsText().find("CcpaInternalConsentStatus=2\n"), std::string::npos) << SettingsText();

  KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Denied, "v2");
  KestrelAds::SetCoppaStatus(true);
  KestrelAds::SetDisableAshwidTracking(true);
  const std::string expected = "privacy gdpr=Denied version=v2 ccpa=OptedOut coppa=true ashwid=true";
  EXPECT_EQ(PrivacyLine(), expected);
  EXPECT_EQ(PrivacyLineOfAFreshProcess(), expected);

  KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Accepted, "v3");
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedIn);
  KestrelAds::SetCoppaStatus(false);
  KestrelAds::SetDisableAshwidTracking(false);
  const std::string changed = "privacy gdpr=Accepted version=v3 ccpa=OptedIn coppa=false ashwid=false";
  EXPECT_EQ(PrivacyLine(), changed);
  EXPECT_EQ(PrivacyLineOfAFreshProcess(), changed);
  EXPECT_NE(SettingsText().find("CcpaInternalConsentStatus=1\n"), std::string::npos);
}

TEST_F(PreinitPrivacyTest, GdprChoiceStoresStatusSourceTimestampAndVersion) {
  struct Case {
    GdprConsentStatus status;
    std::int32_t stored;
    GdprConsentStatus readBack;
  };
  for (const Case& c : {Case{GdprConsentStatus::Accepted, 1, GdprConsentStatus::Accepted},
                        Case{GdprConsentStatus::Denied, 2, GdprConsentStatus::Denied},
                        Case{static_cast<GdprConsentStatus>(7), 0, GdprConsentStatus::Accepted}}) {
    SCOPED_TRACE(c.stored);
    const std::int32_t before = Now();
    KestrelAds::SetGdprConsentStatus(c.status, "v" + std::to_string(c.stored));
    const std::int32_t after = Now();

    PersistentSettingsController file(sdkFolder.string());
    EXPECT_EQ(file.GetGdprConsentStatus(), c.stored);
    EXPECT_TRUE(file.HasSetting("GdprConsentSource"));
    EXPECT_EQ(file.GetGdprConsentSource(), 0);
    if (c.stored == 0) {
      EXPECT_EQ(file.GetGdprConsentTimestamp(), 0);
      EXPECT_EQ(file.GetGdprConsentMessageVersion(), "");
    } else {
      EXPECT_GE(file.GetGdprConsentTimestamp(), before);
      EXPECT_LE(file.GetGdprConsentTimestamp(), after);
      EXPECT_EQ(file.GetGdprConsentMessageVersion(), "v" + std::to_string(c.stored));
    }
    EXPECT_EQ(KestrelAds::GetGdprConsentStatus(), c.readBack);
    EXPECT_EQ(KestrelAds::GetGdprConsentMessageVersion(), file.GetGdprConsentMessageVersion());
  }
}

TEST_F(PreinitPrivacyTest, StoredFileFromAnEarlierRunIsReadBeforeInitialization) {
  fs::create_directories(sdkFolder);
  std::ofstream(settingsFile, std::ios::binary)
      << "CcpaInternalConsentStatus=2\r\nCoppaConsentStatus=true\r\nGdprConsentStatus=9\r\n";
  test::LogCapture log;

  EXPECT_EQ(KestrelAds::GetCcpaStatus(), CcpaConsentStatus::OptedOut);
  EXPECT_TRUE(KestrelAds::GetCoppaStatus());
  EXPECT_EQ(KestrelAds::GetGdprConsentStatus(), GdprConsentStatus::Accepted);
  EXPECT_TRUE(log.Has("Bad Consent Value! 9", LogLevel::Error));
}

TEST_F(PreinitPrivacyTest, ChoicesMadeBeforeInitializationReachTheSdksSettings) {
  auto journal = std::make_shared<test::Journal>();
  SdkState::SetFactoryMaker([journal] { return std::make_shared<test::RecordingFactory>(journal); });
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
  KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Denied, "v2");
  KestrelAds::SetCoppaStatus(true);
  KestrelAds::SetDisableAshwidTracking(true);

  ASSERT_NE(KestrelAds::InitializeAsync("app", nullptr, {}).get(), nullptr);

  auto settings = ControllerRegistry::GetPersistentSettingsController();
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->GetCcpaInternalConsentStatus(), 2);
  EXPECT_EQ(settings->GetGdprConsentStatus(), 2);
  EXPECT_EQ(settings->GetGdprConsentMessageVersion(), "v2");
  EXPECT_TRUE(settings->GetCoppaConsentStatus());
  EXPECT_TRUE(KestrelAds::GetDisableASHWID());

  KestrelAds::SetDisableAshwidTracking(false);
  EXPECT_EQ(PrivacyLineOfAFreshProcess(), "privacy gdpr=Denied version=v2 ccpa=OptedOut coppa=true ashwid=false");
}

}  // namespace
}  // namespace kestrel
