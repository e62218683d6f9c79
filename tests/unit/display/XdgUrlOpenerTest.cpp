#include "support/TestPrelude.h"

#include "platform/Backend.h"
#include "platform/IUrlOpener.h"

namespace kestrel {
namespace {

// The url reaches xdg-open as one argument, whatever shell syntax it holds;
// without xdg-open the failure is logged.
TEST(XdgUrlOpenerTest, HandsTheUrlToXdgOpenAsOneArgument) {
  const std::string path = std::getenv("PATH");
  test::TempDir bin;
  const fs::path args = bin.Path() / "args";
  std::ofstream(bin.Path() / "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '" << args.string()
                                         << ".tmp'\nmv '" << args.string() << ".tmp' '" << args.string() << "'\n";
  fs::permissions(bin.Path() / "xdg-open", fs::perms::owner_all);
  test::SetEnv("PATH", bin.String() + ":" + path);
  const std::string url = "https://x.example/a b;$(touch pwned)&`id`|'\"*";
  auto opener = CreateUrlOpener();
  EXPECT_FALSE(opener->OpensStoreLinks());
  opener->Open(url);
  EXPECT_TRUE(test::WaitUntil([&] { return fs::exists(args); }));
  EXPECT_EQ(test::ReadFile(args), "1\n" + url + "\n");

  test::TempDir emptyBin;
  test::SetEnv("PATH", emptyBin.String());
  test::LogCapture log;
  opener->Open("https://x.example/");
  EXPECT_TRUE(
      test::WaitUntil([&] { return log.Has("Could not start xdg-open: No such file or directory", LogLevel::Error); }));
  test::SetEnv("PATH", path);
}

}  // namespace
}  // namespace kestrel
