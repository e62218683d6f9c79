// Zipping creative folders with libzip, checked by reading the archives back.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "BundleBuilder.h"
#include "TestHttp.h"

namespace kestrel::adserver {
namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder()
      : m_path(fs::temp_directory_path() /
               ("kestrel-bundle-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
    fs::create_directories(m_path);
  }
  ~TempFolder() { fs::remove_all(m_path); }
  const fs::path& Path() const { return m_path; }
  void Write(const std::string& name, const std::string& data) const {
    fs::create_directories((m_path / name).parent_path());
    std::ofstream(m_path / name, std::ios::binary) << data;
  }

 private:
  fs::path m_path;
};

std::map<std::string, std::string> Files(const std::string& archive) {
  std::map<std::string, std::string> files;
  for (const auto& entry : test::ReadZip(archive)) {
    files[entry.name] = entry.data;
  }
  return files;
}

TEST(BundleBuilderTest, ZipsAFolderWithItsSubFoldersAndSkipsHiddenNames) {
  TempFolder folder;
  const std::string binary("\x89PNG\0\x01\x02\xff", 8);
  folder.Write("index.html", "<html></html>");
  folder.Write("js/app.js", "var a = 1;");
  folder.Write("img/deep/pic.png", binary);
  folder.Write(".git/config", "secret");
  folder.Write(".DS_Store", "junk");

  BundleBuilder builder(folder.Path());
  const auto files = Files(builder.Archive());
  const std::map<std::string, std::string> expected{
      {"img/", ""}, {"img/deep/", ""}, {"img/deep/pic.png", binary}, {"index.html", "<html></html>"},
      {"js/", ""},  {"js/app.js", "var a = 1;"}};
  EXPECT_EQ(files, expected);

  EXPECT_EQ(BundleBuilder(folder.Path()).Archive(), builder.Archive()) << "the same files give the same bytes";
}

TEST(BundleBuilderTest, RefusesAFolderWithoutIndexHtml) {
  TempFolder folder;
  folder.Write("main.html", "<html></html>");
  EXPECT_THROW(BundleBuilder{folder.Path()}, std::runtime_error);
  EXPECT_THROW(BundleBuilder{folder.Path() / "missing"}, std::runtime_error);
}

TEST(BundleBuilderTest, DamagedVariantsKeepTheCreativeAndAddTheirEntries) {
  TempFolder folder;
  folder.Write("index.html", "<html></html>");
  BundleBuilder builder(folder.Path());

  const auto unsafe = Files(builder.UnsafeArchive());
  EXPECT_EQ(unsafe.at("index.html"), "<html></html>");
  EXPECT_TRUE(unsafe.contains("../evil.txt"));
  EXPECT_TRUE(unsafe.contains("images/../../evil-nested.txt"));
  EXPECT_TRUE(unsafe.contains(BundleBuilder::kAbsoluteEntry));

  EXPECT_THROW(test::ReadZip(builder.CorruptArchive()), std::runtime_error);

  const auto large = builder.LargeArchive(100'000);
  EXPECT_EQ(builder.LargeArchive(100'000), large) << "built once per size";
  for (const auto& entry : test::ReadZip(*large)) {
    if (entry.name == "filler.bin") {
      EXPECT_EQ(entry.data.size(), 100'000u);
    }
  }
  EXPECT_GT(large->size(), 100'000u) << "random filler does not compress";
}

TEST(BundleBuilderTest, SampleCreativeHoldsEveryFileItsPageNames) {
  const fs::path creative = fs::path(KESTREL_ADSERVER_SOURCE_DIR) / "creative";
  BundleBuilder builder(creative);
  const auto files = Files(builder.Archive());

  std::ifstream in(creative / "index.html");
  std::ostringstream text;
  text << in.rdbuf();
  const std::string html = text.str();
  const std::regex reference(R"re((?:src|href)="([^"#:]+)")re");
  int references = 0;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), reference); it != std::sregex_iterator(); ++it) {
    ++references;
    EXPECT_TRUE(files.contains((*it)[1].str())) << (*it)[1].str();
  }
  EXPECT_GE(references, 3);
  EXPECT_TRUE(files.contains("images/")) << "the sample keeps a sub-folder";
}

}  // namespace
}  // namespace kestrel::adserver
