#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "kestrel/KestrelAds.h"
#include "platform/PlatformServices.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

TEST(TestDeviceInfoTest, PrintsEveryFactTheSectionAndTheAppFacts) {
  ControllerRegistry::Clear();  // no SDK: identifiers are withheld
  test::TempDir root;
  PlatformServices::SetSystemInfo(std::make_shared<LinuxSystemInfo>(root.Path()));
  testing::internal::CaptureStdout();
  TestDeviceInfo(nullptr, "app-7");
  const std::string out = testing::internal::GetCapturedStdout();
  PlatformServices::SetSystemInfo(nullptr);

  std::vector<std::string> labels;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line) && line != "Data Dictionary: ";)
    labels.push_back(line.substr(0, line.find(':') + 2));
  EXPECT_EQ(labels,
            (std::vector<std::string>{
                "Ad tracking enabled: ", "Advertiser ID: ", "Time Zone: ", "Locale: ", "Language: ", "Battery State: ",
                "Battery Saver Status: ", "OS Version: ", "OS Name: ", "Connection Type: ", "Model: ", "Manufacturer: ",
                "Hardware ID: ", "Free Disk Space: ", "Battery Level: ", "User Agent: "}));
  EXPECT_NE(out.find("Ad tracking enabled: 0\nAdvertiser ID: \n"), std::string::npos);
  EXPECT_NE(out.find("\nBattery State: NotPresent\n"), std::string::npos);
  EXPECT_NE(out.find("\nModel: Unknown\nManufacturer: Unknown\n"), std::string::npos);

  const auto begin = out.find("Data Dictionary: \n{\n    \"device\"");
  const auto end = out.find("\n}\n", begin);
  ASSERT_NE(begin, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  const Json section = Json::parse(out.substr(out.find('{', begin), end + 2 - out.find('{', begin)));
  EXPECT_EQ(section["device"]["ext"]["tovane"]["windows"]["ashwid"], "");
  EXPECT_EQ(section["device"]["w"], 640);

  // Then the probes' own dump and the app's facts.
  EXPECT_NE(out.find("\n}\nbattery_level: -1\nbattery_saver_enabled: 0\nbattery_state: NotPresent\nlanguage: "),
            std::string::npos);
  const std::string tail =
      "\nos: " + section["device"]["os"].get<std::string>() + "\nosv: " + section["device"]["osv"].get<std::string>() +
      "\nw: 640\nh: 480\nApp Package Name: device_tests\nApp ID: app-7\nApp Version: 1.0.0.0\nDeviceInfo complete!\n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

}  // namespace
}  // namespace kestrel
