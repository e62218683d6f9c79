// The SDK's data folder on a small file system that fills up, is read-only,
// or loses a bundle under the SDK: each failure is reported, nothing half
// written counts as an ad or replaces the settings, and the SDK works again
// once the disk does.

#include <sys/mount.h>

#include "support/TestPrelude.h"

#include "endurance/Endurance.h"
#include "support/SdkFixture.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "storage/IFileSystemController.h"

namespace kestrel::test {
namespace {

class DiskFailureTest : public SdkFixture {
 protected:
  // A fresh SDK whose data folder is a tmpfs of sizeKiB, read-only when asked.
  void MountDataHome(int sizeKiB, bool readOnly) {
    SdkState::Reset();
    dataHome.reset();
    dataHome = std::make_unique<ScopedDataHome>();
    server->ClearFaults();
    const std::string options = "size=" + std::to_string(sizeKiB) + "k";
    ASSERT_EQ(mount("tmpfs", dataHome->Path().c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()), 0)
        << std::strerror(errno);
    mounted = true;
  }
  void TearDown() override {
    SdkState::Reset();
    if (mounted) umount2(dataHome->Path().c_str(), MNT_DETACH);
    SdkFixture::TearDown();
  }

  fs::path Creatives() { return ControllerRegistry::GetFileSystemController()->GetCreativesFolder(); }
  std::vector<std::string> CreativesEntries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(Creatives())) {
      names.push_back(entry.path().lexically_relative(Creatives()).string());
    }
    return names;
  }

  // Loads and waits for the callback; true for a success, else the failure's message.
  bool LoadAndWait(const std::string& placement, std::string* message = nullptr) {
    const std::size_t successes = success.Events().size();
    const std::size_t failures = failure.Events().size();
    EXPECT_TRUE(StartLoad(placement));
    EXPECT_TRUE(WaitUntil([&] { return success.Events().size() + failure.Events().size() > successes + failures; }))
        << "no load callback";
    if (failure.Events().size() > failures && message) *message = failure.Events().back().Message;
    return success.Events().size() > successes;
  }

  // Writes a file into the data folder until the disk is full.
  void FillDisk() {
    std::ofstream filler(dataHome->Path() / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) filler.flush();
  }

  // The disk fills while the bundle arrives (bytes too many for the disk) or
  // while it is unpacked (room for the archive, not for it and its contents).
  void FillsWithBundle(std::size_t bytes) {
    ASSERT_NO_FATAL_FAILURE(InitializeWithChoices());
    server->SetFault("bundle=large,bytes=" + std::to_string(bytes));
    std::string message;
    EXPECT_FALSE(LoadAndWait("interstitial", &message));
    EXPECT_EQ(message.rfind("Can't save the ad parts of interstitial_", 0), 0u) << message;
    EXPECT_FALSE(ads->IsAdPlayable("interstitial"));
    EXPECT_EQ(CreativesEntries(), std::vector<std::string>{});
    ExpectLoadAfterRecovery("interstitial");
    ExpectChoicesKept();
  }

  bool mounted = false;
};

struct DiskCase {
  std::string name;
  int sizeKiB;
  bool readOnly;
  std::function<void()> run;
};

TEST_F(DiskFailureTest, FailingDisksAreReportedAndSurvived) {
  if (!MountNamespaceProblem().empty()) GTEST_SKIP() << "no small file system: " << MountNamespaceProblem();
  const std::vector<DiskCase> cases = {
      {"full during a bundle download", 384, false, [this] { FillsWithBundle(600 * 1000); }},
      {"full while the bundle unpacks", 384, false, [this] { FillsWithBundle(250 * 1000); }},
      {"full during a settings save", 384, false,
       [this] {
         ASSERT_NO_FATAL_FAILURE(InitializeWithChoices());
         FillDisk();
         LogCapture log;
         KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedIn);
         EXPECT_EQ(SettingsText(), settingsBefore);
         EXPECT_EQ(log.CountStartingWith("Can't save settings: "), 1);
         EXPECT_EQ(KestrelAds::GetCcpaStatus(), CcpaConsentStatus::OptedIn);

         fs::remove(dataHome->Path() / "filler");
         KestrelAds::SetCoppaStatus(false);
         const std::string text = SettingsText();
         EXPECT_NE(text.find("CcpaInternalConsentStatus=1\n"), std::string::npos) << text;
         EXPECT_NE(text.find("CoppaConsentStatus=false\n"), std::string::npos) << text;
         for (const auto& entry : fs::directory_iterator(SettingsPath().parent_path())) {
           EXPECT_FALSE(entry.path().filename().string().starts_with("settings.ke.")) << entry.path();
         }
       }},
      {"read-only from the start", 64, true,
       [this] {
         LogCapture log;
         const auto outcome = Initialize();
         ASSERT_EQ(outcome.successes.size(), 1u) << (outcome.failures.empty() ? "" : outcome.failures[0]);
         ads = outcome.instance;
         std::vector<std::string> errors;
         for (const auto& event : log.Events()) {
           if (event.Level == LogLevel::Error) errors.push_back(event.Message);
         }
         ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
         EXPECT_NE(errors[0].find(dataHome->Path().string()), std::string::npos) << errors[0];

         KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
         EXPECT_EQ(KestrelAds::GetCcpaStatus(), CcpaConsentStatus::OptedOut);
         std::string message;
         EXPECT_FALSE(LoadAndWait("interstitial", &message));
         EXPECT_EQ(message.rfind("Can't save the ad parts of interstitial_", 0), 0u) << message;
         EXPECT_FALSE(ads->IsAdPlayable("interstitial"));
       }},
      {"bundle folder deleted between load and play", 384, false,
       [this] {
         ASSERT_NO_FATAL_FAILURE(InitializeWithChoices());
         ASSERT_TRUE(LoadAndWait("interstitial"));
         fs::remove_all(BundleFolder("interstitial"));
         std::vector<std::string> failures;
         int starts = 0;
         AdPlayCallback play;
         play.OnAdStart = [&](AdPlayEventArgs) { ++starts; };
         play.OnAdPlayFailure = [&](AdPlayEventArgs args) { failures.push_back(args.Message); };
         const KestrelAdPlayInfo info = ads->PlayAd("interstitial", play);
         EXPECT_FALSE(info.Success);
         EXPECT_EQ(starts, 0);
         EXPECT_EQ(failures.size(), 1u);  // no window here: refused before the files are looked at
         ExpectLoadAfterRecovery("interstitial");
       }},
  };
  for (const DiskCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(MountDataHome(c.sizeKiB, c.readOnly));
    c.run();
    SdkState::Reset();
    umount2(dataHome->Path().c_str(), MNT_DETACH);
    mounted = false;
  }
}

}  // namespace
}  // namespace kestrel::test
