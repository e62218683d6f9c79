// Zipping creative folders with libzip, checked by reading the archives back.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "BundleBuilder.h"
#include "TestHttp.h"

namespace kestrel::adserver {
namespace {

namespace fs = std::filesystem;

TEST(BundleBuilderTest, ZipsAFolderWithItsSubFoldersAndSkipsHiddenNames) {
  const fs::path folder =
      fs::temp_directory_path() /
      ("kestrel-bundle-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  const auto write = [&folder](const std::string& name, const std::string& data) {
    fs::create_directories((folder / name).parent_path());
    std::ofstream(folder / name, std::ios::binary) << data;
  };
  const std::string binary("\x89PNG\0\x01\x02\xff", 8);
  write("main.html", "<html></html>");
  EXPECT_THROW(BundleBuilder{folder}, std::runtime_error) << "no index.html";
  fs::remove(folder / "main.html");
  write("index.html", "<html></html>");
  write("js/app.js", "var a = 1;");
  write("img/deep/pic.png", binary);
  write(".git/config", "secret");
  write(".DS_Store", "junk");

  BundleBuilder builder(folder);
  const std::map<std::string, std::string> expected{
      {"img/", ""}, {"img/deep/", ""}, {"img/deep/pic.png", binary}, {"index.html", "<html></html>"},
      {"js/", ""},  {"js/app.js", "var a = 1;"}};
  EXPECT_EQ(test::ReadZip(builder.Archive()), expected);
  EXPECT_EQ(BundleBuilder(folder).Archive(), builder.Archive()) << "the same files give the same bytes";
  fs::remove_all(folder);
}

}  // namespace
}  // namespace kestrel::adserver
