#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "platform/PlatformServices.h"
#include "storage/FileSystemController.h"
#include "storage/FileSystemModel.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// Sets (or, with nullopt, unsets) an environment variable while it lives.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  }
  ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

bool IsEmptyFolder(const fs::path& path) {
  return fs::is_directory(path) && fs::is_empty(path);
}

class FileSystemControllerTest : public ::testing::Test {
 protected:
  test::ScopedDataHome dataHome;
  // The application folder is named after this test program.
  fs::path sdk = dataHome.Path() / "storage_tests" / "TovaneSDK";
};

TEST_F(FileSystemControllerTest, LaysOutTheFoldersUnderTheDataHome) {
  FileSystemController controller("TovaneSDK");

  EXPECT_TRUE(controller.Initialize().get());
  EXPECT_TRUE(controller.Initialize().get());  // asking again is harmless
  EXPECT_EQ(controller.GetSdkFolder(), sdk.string());
  EXPECT_EQ(controller.GetCreativesFolder(), (sdk / "Creatives").string());
  EXPECT_EQ(controller.GetWebView2Folder(), (sdk / "WebView2").string());
  EXPECT_TRUE(IsEmptyFolder(sdk / "Creatives"));
  EXPECT_TRUE(IsEmptyFolder(sdk / "WebView2"));
}

TEST_F(FileSystemControllerTest, StartEmptiesTheCreativesOfAnEarlierRunOnly) {
  test::TempDir outside;
  WriteFile(outside.Path() / "keep.txt", "outside");
  fs::create_directories(sdk / "Creatives" / "p_1" / "images");
  WriteFile(sdk / "Creatives" / "p_1" / "images" / "a.png", "png");
  WriteFile(sdk / "Creatives" / "index.html", "html");
  fs::create_directory_symlink(outside.Path(), sdk / "Creatives" / "link");
  fs::create_directories(sdk / "WebView2" / "Cache");
  WriteFile(sdk / "settings.ke", "CoppaConsentStatus=true\n");

  FileSystemController controller("TovaneSDK");

  EXPECT_TRUE(controller.Initialize().get());
  EXPECT_TRUE(IsEmptyFolder(sdk / "Creatives"));
  EXPECT_TRUE(fs::exists(outside.Path() / "keep.txt")) << "a link inside Creatives was followed";
  EXPECT_TRUE(fs::is_directory(sdk / "WebView2" / "Cache"));
  EXPECT_TRUE(fs::exists(sdk / "settings.ke"));
}

TEST_F(FileSystemControllerTest, StartReportsFailureWhenTheFoldersCannotBeMade) {
  const fs::path blocker = dataHome.Path() / "not-a-folder";
  WriteFile(blocker, "");
  ScopedEnv env("XDG_DATA_HOME", blocker.string());
  test::LogCapture log;

  FileSystemController controller("TovaneSDK");

  EXPECT_FALSE(controller.Initialize().get());
  EXPECT_TRUE(log.Has("Failed to create directory: " + (blocker / "storage_tests" / "TovaneSDK" / "WebView2").string(),
                      LogLevel::Error));
}

TEST_F(FileSystemControllerTest, CreateFolderTakesOtherPathsAsRelativeToTheSdkFolder) {
  FileSystemController controller("TovaneSDK");
  const std::string separator(1, fs::path::preferred_separator);

  controller.CreateFolder("plain");
  controller.CreateFolder(separator + "leading");
  controller.CreateFolder((sdk / "Creatives" / "p_1").string());
  controller.CreateFolder("missing" + separator + "child");  // parent missing: nothing, silently

  EXPECT_TRUE(fs::is_directory(sdk / "plain"));
  EXPECT_TRUE(fs::is_directory(sdk / "leading"));
  EXPECT_TRUE(fs::is_directory(sdk / "Creatives" / "p_1"));
  EXPECT_FALSE(fs::exists(sdk / "missing"));
  EXPECT_FALSE(fs::exists(dataHome.Path() / "storage_tests" / "TovaneSDK" / "TovaneSDK"));
}

TEST_F(FileSystemControllerTest, DeleteFolderRemovesTheFolderAndItsContents) {
  FileSystemController controller("TovaneSDK");
  const fs::path bundle = sdk / "Creatives" / "p_1";
  fs::create_directories(bundle / "a" / "b");
  WriteFile(bundle / "a" / "b" / "c.txt", "c");
  WriteFile(bundle / "index.html", "html");

  controller.DeleteFolder(bundle.string());
  controller.DeleteFolder((sdk / "Creatives" / "never-there").string());

  EXPECT_FALSE(fs::exists(bundle));
  EXPECT_TRUE(IsEmptyFolder(sdk / "Creatives"));
}

TEST_F(FileSystemControllerTest, CreateSubfolderCreatesOrReturnsAnExistingFolderAndThrowsOtherwise) {
  test::TempDir base;
  const std::string made = FileSystemController::CreateSubfolder(base.String(), "zip");
  EXPECT_EQ(made, (base.Path() / "zip").string());
  EXPECT_TRUE(fs::is_directory(made));
  EXPECT_EQ(FileSystemController::CreateSubfolder(base.String(), "zip"), made);

  const std::string missingParent = (base.Path() / "no" / "deeper").string();
  try {
    FileSystemController::CreateSubfolder((base.Path() / "no").string(), "deeper");
    ADD_FAILURE() << "no exception for a missing parent";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Failed to create directory: " + missingParent);
  }
  WriteFile(base.Path() / "file", "");
  EXPECT_THROW(FileSystemController::CreateSubfolder(base.String(), "file"), std::runtime_error);
}

TEST(FileSystemNamesTest, SanitizeAndApplicationFolderName) {
  EXPECT_EQ(FileSystemController::SanitizeFileName("a<b>c:d\"e/f\\g|h?i*j"), "a_b_c_d_e_f_g_h_i_j");
  EXPECT_EQ(FileSystemController::SanitizeFileName("name..."), "name");
  EXPECT_EQ(FileSystemController::SanitizeFileName("..."), "");
  EXPECT_EQ(FileSystemController::SanitizeFileName("p.1_2"), "p.1_2");

  const fs::path folder = fs::path("games") / "bin";
  EXPECT_EQ(FileSystemModel::ApplicationFolderName((folder / "My.Game.exe").string()), "My.Game");
  EXPECT_EQ(FileSystemModel::ApplicationFolderName((folder / "My.Game.EXE").string()), "My.Game");
  EXPECT_EQ(FileSystemModel::ApplicationFolderName((folder / "My.Game").string()), "My.Game");
  EXPECT_EQ(FileSystemModel::ApplicationFolderName((folder / "what?.").string()), "what_");
}

TEST(LocalAppDataTest, FollowsXdgDataHomeThenHome) {
  test::TempDir home;
  auto folders = PlatformServices::FileSystem();
  {
    ScopedEnv xdg("XDG_DATA_HOME", (home.Path() / "data").string() + fs::path::preferred_separator);
    EXPECT_EQ(folders->LocalAppDataFolder(), (home.Path() / "data").string());
  }
  ScopedEnv homeEnv("HOME", home.String());
  for (const std::optional<std::string>& xdgValue : {std::optional<std::string>(), std::optional<std::string>("rel")}) {
    ScopedEnv xdg("XDG_DATA_HOME", xdgValue);
    EXPECT_EQ(folders->LocalAppDataFolder(), (home.Path() / ".local" / "share").string());
    EXPECT_TRUE(fs::is_directory(home.Path() / ".local" / "share"));  // made when missing
  }
}

TEST(LocalAppDataTest, WithoutDataHomeOrHomeTheFoldersHangOffTheRoot) {
  ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
  ScopedEnv home("HOME", std::nullopt);
  EXPECT_EQ(PlatformServices::FileSystem()->LocalAppDataFolder(), "");

  const FileSystemModel model("TovaneSDK");
  const std::string separator(1, fs::path::preferred_separator);
  EXPECT_EQ(model.ApplicationFolder(), separator + "storage_tests");
  EXPECT_EQ(model.SdkFolder(), separator + "storage_tests" + separator + "TovaneSDK");
}

}  // namespace
}  // namespace kestrel
