#include "support/TestPrelude.h"

#include <nlohmann/json.hpp>

#include "support/ChildProcess.h"
#include "device/PublisherAppInfoController.h"
#include "platform/PlatformServices.h"

namespace kestrel {
namespace {

// The "app" fragment built in a child whose environment holds the given variables.
Json AppIn(std::initializer_list<std::pair<const char*, const char*>> variables) {
  return Json::parse(test::InChild([&] {
    for (const char* name : {"FLATPAK_ID", "SNAP_NAME", "SNAP_VERSION"}) unsetenv(name);
    for (const auto& [name, value] : variables) setenv(name, value, 1);
    return PublisherAppInfoController("abc").GetAppJson().dump();
  }));
}

TEST(PublisherAppInfoTest, PackageIdentityElseTheExecutable) {
  EXPECT_EQ(AppIn({}), Json::parse(R"({"app":{"id":"abc","bundle":"device_tests","ver":"1.0.0.0"}})"));
  EXPECT_EQ(AppIn({{"FLATPAK_ID", "org.example.Game"}}),
            Json::parse(R"({"app":{"id":"abc","bundle":"org.example.Game","ver":"1.0.0.0"}})"));
  EXPECT_EQ(AppIn({{"SNAP_NAME", "mygame"}, {"SNAP_VERSION", "2.5.0.17"}}),
            Json::parse(R"({"app":{"id":"abc","bundle":"mygame","ver":"2.5.0.17"}})"));
}

class FakeProcess : public IProcessInfo {
 public:
  explicit FakeProcess(std::string path) : m_path(std::move(path)) {}
  std::string ExecutablePath() override { return m_path; }
  unsigned long ProcessId() override { return 1; }

 private:
  std::string m_path;
};

TEST(PublisherAppInfoTest, ExecutableNamesOfAnyForm) {
  const auto bundle = [](const std::string& path) {
    PlatformServices::SetProcessInfo(std::make_shared<FakeProcess>(path));
    std::string name = PublisherAppInfoController("abc").GetAppJson().dump();
    PlatformServices::SetProcessInfo(nullptr);
    return Json::parse(name)["app"]["bundle"].get<std::string>();
  };
  EXPECT_EQ(bundle("C:\\Games\\MyGame.exe"), "MyGame.exe");
  EXPECT_EQ(bundle("mygame"), "mygame");
  EXPECT_EQ(bundle(""), "");
  EXPECT_EQ(bundle("/opt/g\xe9me/g\xe9me"), "g\u00e9me");  // a Latin-1 file name still makes valid JSON
}

}  // namespace
}  // namespace kestrel
