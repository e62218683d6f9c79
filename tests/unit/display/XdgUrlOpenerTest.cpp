#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/IUrlOpener.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// Puts a folder in front of PATH while it lives.
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& front, bool keepRest) {
    const char* previous = std::getenv("PATH");
    m_previous = previous ? previous : "";
    const std::string path = keepRest ? front + ":" + m_previous : front;
    setenv("PATH", path.c_str(), 1);
  }
  ~ScopedPath() { setenv("PATH", m_previous.c_str(), 1); }
  ScopedPath(const ScopedPath&) = delete;
  ScopedPath& operator=(const ScopedPath&) = delete;

 private:
  std::string m_previous;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(XdgUrlOpenerTest, HandsTheUrlToXdgOpenAsOneArgument) {
  test::TempDir bin;
  const fs::path args = bin.Path() / "args";
  {
    std::ofstream script(bin.Path() / "xdg-open");
    script << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '" << args.string() << ".tmp'\nmv '" << args.string()
           << ".tmp' '" << args.string() << "'\n";
  }
  fs::permissions(bin.Path() / "xdg-open", fs::perms::owner_all);
  ScopedPath path(bin.String(), true);

  const std::string url = "https://x.example/a b;$(touch pwned)&`id`|'\"*";
  auto opener = CreateUrlOpener();
  EXPECT_FALSE(opener->OpensStoreLinks());
  opener->Open(url);
  ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(args); }));
  EXPECT_EQ(ReadFile(args), "1\n" + url + "\n");
}

TEST(XdgUrlOpenerTest, MissingXdgOpenIsLogged) {
  test::TempDir emptyBin;
  ScopedPath path(emptyBin.String(), false);
  test::LogCapture log;
  CreateUrlOpener()->Open("https://x.example/");
  EXPECT_TRUE(
      test::WaitUntil([&] { return log.Has("Could not start xdg-open: No such file or directory", LogLevel::Error); }));
}

}  // namespace
}  // namespace kestrel
