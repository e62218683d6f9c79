#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "support/TestPrelude.h"

#include <regex>

#include "support/ChildProcess.h"
#include "device/DeviceInfo.h"
#include "platform/PlatformServices.h"
#include "platform/linux/LinuxSystemInfo.h"

namespace kestrel {
namespace {

// A DeviceInfo reading the machine's files under root.
class DeviceInfoTest : public ::testing::Test {
 protected:
  void TearDown() override { PlatformServices::SetSystemInfo(nullptr); }

  DeviceInfo Probes() {
    PlatformServices::SetSystemInfo(std::make_shared<LinuxSystemInfo>(root.Path()));
    return DeviceInfo(nullptr);
  }

  void Write(const std::string& file, const std::string& text) {
    fs::create_directories((root.Path() / file).parent_path());
    std::ofstream(root.Path() / file) << text;
  }

  void Supply(const std::string& name, const std::string& type, const std::string& online,
              const std::string& capacity = {}, const std::string& status = {}, const std::string& scope = {}) {
    const std::string dir = "sys/class/power_supply/" + name + "/";
    Write(dir + "type", type + "\n");
    if (!online.empty()) Write(dir + "online", online + "\n");
    if (!capacity.empty()) Write(dir + "capacity", capacity + "\n");
    if (!status.empty()) Write(dir + "status", status + "\n");
    if (!scope.empty()) Write(dir + "scope", scope + "\n");
  }

  // The battery level, the battery state and what the probes wrote to standard error.
  std::string Battery() {
    const DeviceInfo info = Probes();
    testing::internal::CaptureStderr();
    std::ostringstream out;
    out << info.GetBatteryLevel() << " " << info.GetBatteryState();
    return out.str() + " | " + testing::internal::GetCapturedStderr();
  }

  test::TempDir root;
};

TEST_F(DeviceInfoTest, BatteryAndPowerSaverFromPowerSupplies) {
  EXPECT_EQ(Battery(), "-1 NotPresent | Failed to retrieve power status.\n");  // no power_supply folder
  fs::create_directories(root.Path() / "sys/class/power_supply");
  EXPECT_EQ(Battery(), "-1 NotPresent | Battery status is unknown.\n");  // a desktop
  Supply("hid-mouse-battery", "Battery", "", "40", "Discharging", "Device");
  EXPECT_EQ(Battery(), "-1 NotPresent | Battery status is unknown.\n");  // a mouse's battery is not the machine's

  Supply("AC", "Mains", "0");
  Supply("BAT0", "Battery", "", "87", "Discharging");
  Supply("BAT1", "Battery", "", "10", "Charging");  // the first battery speaks
  EXPECT_EQ(Battery(), "0.87 Discharging | ");
  Supply("AC", "Mains", "1");
  Supply("BAT0", "Battery", "", "100", "Full");
  EXPECT_EQ(Battery(), "1 Idle | ");
  Supply("BAT0", "Battery", "", "55", "Charging");
  EXPECT_EQ(Battery(), "0.55 Charging | ");
  fs::remove_all(root.Path() / "sys/class/power_supply/AC");  // charging without a listed supply
  EXPECT_EQ(Battery(), "0.55 Charging | ");
  Supply("BAT0", "Battery", "", "n/a", "Discharging");
  EXPECT_EQ(Battery(), "-1 Discharging | Battery status is unknown.\n");

  EXPECT_EQ(Probes().IsBatterySaverEnabled(), 0);
  Write("sys/firmware/acpi/platform_profile", "low-power\n");
  EXPECT_EQ(Probes().IsBatterySaverEnabled(), 1);
  Write("sys/firmware/acpi/platform_profile", "balanced\n");
  EXPECT_EQ(Probes().IsBatterySaverEnabled(), 0);
}

TEST_F(DeviceInfoTest, MakerAndModelFromDmi) {
  EXPECT_EQ(Probes().GetManufacturer(), "Unknown");
  EXPECT_EQ(Probes().GetModel(), "Unknown");
  Write("sys/class/dmi/id/sys_vendor", "LENOVO  \n");
  Write("sys/class/dmi/id/product_name", "Caf\xe9 Book\n");  // Latin-1, not UTF-8
  EXPECT_EQ(Probes().GetManufacturer(), "LENOVO");
  EXPECT_EQ(Probes().GetModel(), "Caf\u00e9 Book");
}

TEST_F(DeviceInfoTest, DiskAndVolumeOfTheRootFileSystem) {
  PlatformServices::SetSystemInfo(nullptr);
  const DeviceInfo info(nullptr);
  struct statvfs mine {};
  ASSERT_EQ(statvfs("/", &mine), 0);
  const auto free = static_cast<double>(info.GetFreeDiskSpace());
  EXPECT_NEAR(free, static_cast<double>(mine.f_bavail) * static_cast<double>(mine.f_frsize), 256.0 * 1024 * 1024);
  std::ostringstream fsid;
  fsid << std::hex << mine.f_fsid;
  EXPECT_EQ(info.GetHardwareId(), fsid.str());

  EXPECT_EQ(info.GetOsName(), "linux");
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  const std::string version = info.GetOsVersion();
  EXPECT_TRUE(std::regex_match(version, std::regex(R"(\d+(\.\d+)*)"))) << version;
  EXPECT_EQ(std::string(names.release).rfind(version, 0), 0u) << names.release;
  EXPECT_EQ(LinuxSystemInfo::VersionOfRelease("6.1.0-13-amd64"), "6.1.0");
  EXPECT_EQ(LinuxSystemInfo::VersionOfRelease("5.15.0."), "5.15.0");
  EXPECT_EQ(LinuxSystemInfo::VersionOfRelease("rolling"), std::nullopt);

  // A root that cannot be read gives the fallbacks.
  PlatformServices::SetSystemInfo(std::make_shared<LinuxSystemInfo>(root.Path() / "missing"));
  const DeviceInfo broken(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(broken.GetFreeDiskSpace(), 1073741824u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error retrieving disk space for drive C:\\. Error code: " + std::to_string(ENOENT) + "\n");
  EXPECT_EQ(broken.GetHardwareId(), "Unknown");
}

TEST_F(DeviceInfoTest, LocaleFromTheEnvironment) {
  const auto locale = [](std::initializer_list<std::pair<const char*, const char*>> variables) {
    return test::InChild([&] {
      for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(name);
      for (const auto& [name, value] : variables) setenv(name, value, 1);
      const DeviceInfo info(nullptr);
      return info.GetLocale() + " " + info.GetLanguage();
    });
  };
  EXPECT_EQ(locale({{"LANG", "de_DE.UTF-8"}}), "de-DE de");
  EXPECT_EQ(locale({{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "sr_RS@latin"}}), "sr-RS sr");
  EXPECT_EQ(locale({{"LANG", "de_DE"}, {"LC_MESSAGES", "sr_RS"}, {"LC_ALL", "fr_CA.UTF-8"}}), "fr-CA fr");
  EXPECT_EQ(locale({{"LANG", "en_US.UTF-8"}, {"LC_ALL", ""}}), "en-US en");
  EXPECT_EQ(locale({}), "C C");  // nothing set: the process runs in the C locale
  EXPECT_EQ(locale({{"LANG", "C.UTF-8"}}), "C C");
  EXPECT_EQ(locale({{"LANG", "POSIX"}}), "C C");
  EXPECT_EQ(locale({{"LANG", "../../etc/passwd"}}), "Unknown Locale Un");
}

TEST_F(DeviceInfoTest, TimeZoneFromTzThenEtc) {
  const auto zone = [this](const char* tz) {
    return test::InChild([&] {
      tz ? setenv("TZ", tz, 1) : unsetenv("TZ");
      return Probes().GetTimeZone();
    });
  };
  EXPECT_EQ(zone(nullptr), "Etc/Unknown");
  fs::create_directories(root.Path() / "etc");
  fs::create_symlink("/usr/share/zoneinfo/Asia/Kolkata", root.Path() / "etc/localtime");
  EXPECT_EQ(zone(nullptr), "Asia/Kolkata");
  Write("etc/timezone", "America/Argentina/Buenos_Aires\n");
  EXPECT_EQ(zone(nullptr), "America/Argentina/Buenos_Aires");
  EXPECT_EQ(zone("Europe/Berlin"), "Europe/Berlin");
  EXPECT_EQ(zone(":Etc/GMT+2"), "Etc/GMT+2");
  EXPECT_EQ(zone("/usr/share/zoneinfo/Asia/Tokyo"), "Asia/Tokyo");
  EXPECT_EQ(zone("CET-1CEST,M3.5.0,M10.5.0/3"), "Etc/Unknown");  // a rule has no name
  EXPECT_EQ(zone("../../secret"), "Etc/Unknown");
}

}  // namespace
}  // namespace kestrel
