#include "support/TestPrelude.h"

#include "support/ChildProcess.h"

#include "platform/PlatformServices.h"
#include "storage/FileSystemController.h"
#include "storage/FileSystemModel.h"

namespace kestrel {
namespace {

using test::ScopedEnv;

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

class FileSystemControllerTest : public ::testing::Test {
 protected:
  test::ScopedDataHome dataHome;
  // The application folder is named after this test program.
  fs::path sdk = dataHome.Path() / "storage_tests" / "TovaneSDK";
};

TEST_F(FileSystemControllerTest, StartRemovesOnlyWhatNoLiveInstanceHolds) {
  test::TempDir outside;
  WriteFile(outside.Path() / "keep.txt", "outside");
  const fs::path creatives = sdk / "Creatives";
  for (const char* folder : {"p_1/images", "held/p_1", "ended"}) fs::create_directories(creatives / folder);
  for (const char* file : {"p_1/images/a.png", "loose.txt", "held/p_1/a.png", "ended/a.png", "ended.lock"}) {
    WriteFile(creatives / file, "x");
  }
  fs::create_directory_symlink(outside.Path(), creatives / "link");
  fs::create_directories(sdk / "WebView2" / "Cache");
  WriteFile(sdk / "settings.ke", "CoppaConsentStatus=true\n");
  std::string error;
  const auto held = PlatformServices::FileSystem()->TryLockFile((creatives / "held.lock").string(), error);
  ASSERT_TRUE(held) << error;

  FileSystemController controller("TovaneSDK");
  EXPECT_TRUE(controller.Initialize().get());
  const fs::path own = controller.GetCreativesFolder();
  EXPECT_EQ(own.parent_path(), creatives);
  EXPECT_TRUE(fs::is_empty(own));
  for (const auto& [path, kept] : std::vector<std::pair<fs::path, bool>>{
           {creatives / "p_1", false}, {creatives / "loose.txt", false}, {creatives / "link", false},
           {creatives / "ended", false}, {creatives / "ended.lock", false}, {creatives / "held/p_1/a.png", true},
           {outside.Path() / "keep.txt", true}, {sdk / "WebView2" / "Cache", true}, {sdk / "settings.ke", true}}) {
    EXPECT_EQ(fs::exists(fs::symlink_status(path)), kept) << path;
  }
}

// Another process's instance keeps its files while it runs; once it has ended
// the next start-up removes them.
TEST_F(FileSystemControllerTest, EachProcessHasItsOwnCreatives) {
  FileSystemController first("TovaneSDK");
  const fs::path bundle = fs::path(first.GetCreativesFolder()) / "p_1";
  fs::create_directory(bundle);
  WriteFile(bundle / "a.png", "png");
  const fs::path second = test::InChild([] { return FileSystemController("TovaneSDK").GetCreativesFolder(); });
  EXPECT_NE(second, first.GetCreativesFolder());
  EXPECT_TRUE(fs::is_directory(second));
  EXPECT_TRUE(fs::exists(bundle / "a.png"));
  FileSystemController third("TovaneSDK");
  EXPECT_FALSE(fs::exists(second)) << "an ended process's creatives were kept";
  EXPECT_TRUE(fs::exists(bundle / "a.png"));
}

TEST_F(FileSystemControllerTest, StartReportsFailureWhenTheFoldersCannotBeMade) {
  const std::string blocker = (dataHome.Path() / "not-a-folder").string();
  WriteFile(blocker, "");
  ScopedEnv env("XDG_DATA_HOME", blocker.c_str());
  test::LogCapture log;
  FileSystemController controller("TovaneSDK");
  EXPECT_FALSE(controller.Initialize().get());
  EXPECT_EQ(log.CountStartingWith("Failed to create directory: " + blocker), 1);
}

TEST(FileSystemNamesTest, NamesAreMadeStorable) {
  EXPECT_EQ(FileSystemController::SanitizeFileName("a<b>c:d\"e/f\\g|h?i*j"), "a_b_c_d_e_f_g_h_i_j");
  EXPECT_EQ(FileSystemController::SanitizeFileName("name..."), "name");
  EXPECT_EQ(FileSystemController::SanitizeFileName("..."), "");
  const fs::path folder = fs::path("games") / "bin";
  EXPECT_EQ(FileSystemModel::ApplicationFolderName((folder / "My.Game.EXE").string()), "My.Game");
  EXPECT_EQ(FileSystemModel::ApplicationFolderName((folder / "what?.").string()), "what_");
  for (const auto& [url, name] : std::vector<std::pair<std::string, std::string>>{
           {"http://h/x/bundle.zip?sig=a/b", "bundle.zip"}, {"http://h/a.png#x/y?z", "a.png"},
           {"http://h/x\\a:b\x01.png?q", "a_b_.png"}, {"http://h/x/", "x"}, {"http://h/..?a", "part"}}) {
    EXPECT_EQ(FileSystemController::PartFileName(url), name) << url;
  }
}

TEST(LocalAppDataTest, FollowsXdgDataHomeThenHomeThenTheRoot) {
  test::TempDir home;
  auto folders = PlatformServices::FileSystem();
  const std::string data = (home.Path() / "data").string() + fs::path::preferred_separator;
  {
    ScopedEnv xdg("XDG_DATA_HOME", data.c_str());
    EXPECT_EQ(folders->LocalAppDataFolder(), (home.Path() / "data").string());
  }
  ScopedEnv homeEnv("HOME", home.String().c_str());
  for (const char* xdgValue : {static_cast<const char*>(nullptr), "rel"}) {
    ScopedEnv xdg("XDG_DATA_HOME", xdgValue);
    EXPECT_EQ(folders->LocalAppDataFolder(), (home.Path() / ".local" / "share").string());
    EXPECT_TRUE(fs::is_directory(home.Path() / ".local" / "share"));  // made when missing
  }
  ScopedEnv none(std::map<std::string, const char*>{{"XDG_DATA_HOME", nullptr}, {"HOME", nullptr}});
  EXPECT_EQ(folders->LocalAppDataFolder(), "");
  const std::string separator(1, fs::path::preferred_separator);
  EXPECT_EQ(FileSystemModel("TovaneSDK").SdkFolder(), separator + "storage_tests" + separator + "TovaneSDK");
}

}  // namespace
}  // namespace kestrel
