#include "support/TestPrelude.h"

#include <nlohmann/json.hpp>

#include "device/DeviceInfoController.h"
#include "privacy/IPrivacyController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

class FakeDeviceInfo : public IDeviceInfo {
 public:
  std::int32_t GetScreenWidth() const override { return 1280; }
  std::int32_t GetScreenHeight() const override { return 720; }
  std::string GetOsVersion() const override { return "6.1.0"; }
  std::string GetUserAgent() const override { return "UA"; }
  std::string GetModel() const override { return "ThinkPad"; }
  std::string GetManufacturer() const override { return "LENOVO"; }
  std::string GetOsName() const override { return osName; }
  std::string GetHardwareId() const override { return "a1b2"; }
  std::uint64_t GetFreeDiskSpace() const override { return 5368709120; }
  double GetBatteryLevel() const override { return 0.87; }
  std::int32_t IsBatterySaverEnabled() const override { return 1; }
  std::string GetBatteryState() const override { return "Discharging"; }
  void ReservedProbe() const override {}
  std::string GetTimeZone() const override { return "Europe/Berlin"; }
  std::string GetConnectionType() const override { return "wifi"; }
  std::string GetLanguage() const override { return "de"; }
  std::string GetLocale() const override {
    if (throwFromLocale) throw std::runtime_error("locale probe broke");
    return "de-DE";
  }
  std::string GetAdvertisingId() const override { return advertisingId; }
  bool IsAdTrackingEnabled() const override { return !advertisingId.empty(); }
  void PrintDeviceInfo() const override {}
  std::future<bool> ReadyAsync() const override { return MakeReadyFuture(true); }

  std::string osName = "windows";
  std::string advertisingId = "ad-id";
  bool throwFromLocale = false;
};

// Passes or withholds each identifier as told, and remembers what it was asked.
class FakePrivacy : public IPrivacyController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  std::string FilterAdvertisingId(const std::string& id) override {
    if (fail) throw std::runtime_error("privacy broke");
    seenAdvertisingId = id;
    return restrictAll ? "" : id;
  }
  std::string FilterHardwareId(const std::string& id) override {
    if (fail) throw std::runtime_error("privacy broke");
    seenHardwareId = id;
    return restrictAll || disableAshwid ? "" : id;
  }
  std::atomic<bool> restrictAll = false, disableAshwid = false, fail = false;
  std::string seenAdvertisingId, seenHardwareId;
};

class DeviceSectionTest : public ::testing::Test {
 protected:
  void SetUp() override { R::Clear(); }
  void TearDown() override { R::Clear(); }

  std::shared_ptr<FakeDeviceInfo> info = std::make_shared<FakeDeviceInfo>();
  std::shared_ptr<FakePrivacy> privacy = std::make_shared<FakePrivacy>();
  DeviceInfoController controller{nullptr, info};
};

TEST_F(DeviceSectionTest, IdentifiersFollowThePrivacyAnswerOfEachBuild) {
  const auto ids = [](const Json& section) {
    const Json& device = section["device"];
    const Json& windows = device["ext"]["tovane"]["windows"];
    return std::vector<std::string>{device["ifa"], windows["msaid"], windows["ashwid"]};
  };
  using Ids = std::vector<std::string>;

  // Without a privacy controller nothing leaves, yet every key is there.
  EXPECT_EQ(ids(controller.GetDeviceJson()), (Ids{"", "", ""}));
  EXPECT_EQ(ids(controller.GetBidTokenDeviceJson()), (Ids{"", "", ""}));

  R::SetPrivacyController(privacy);
  EXPECT_EQ(ids(controller.GetDeviceJson()), (Ids{"ad-id", "ad-id", "a1b2"}));
  privacy->disableAshwid = true;
  EXPECT_EQ(ids(controller.GetDeviceJson()), (Ids{"ad-id", "ad-id", ""}));
  privacy->restrictAll = true;
  EXPECT_EQ(ids(controller.GetDeviceJson()), (Ids{"", "", ""}));
  EXPECT_EQ(ids(controller.GetBidTokenDeviceJson()), (Ids{"", "", ""}));

  test::LogCapture log;
  privacy->fail = true;
  const Json section = controller.GetDeviceJson();
  EXPECT_EQ(ids(section), (Ids{"", "", ""}));
  EXPECT_EQ(section["device"]["model"], "ThinkPad");
  EXPECT_EQ(log.Count("privacy broke", LogLevel::Error), 2);
}

TEST_F(DeviceSectionTest, TokenShapeDiffersOnlyInItsFourMembers) {
  R::SetPrivacyController(privacy);
  info->osName = "linux";
  Json request = controller.GetDeviceJson();
  Json token = controller.GetBidTokenDeviceJson();

  EXPECT_EQ(token["device"]["lmt"], 0);
  EXPECT_EQ(token["device"]["os"], "linux");
  EXPECT_EQ(token["device"]["ext"]["tovane"]["windows"]["os_name"], "LINUX");
  EXPECT_EQ(token["device"]["ext"]["tovane"]["windows"]["battery_state"], "BATTERY_PLUGGED_AC");
  EXPECT_FALSE(token["device"]["ext"]["tovane"]["windows"].contains("storage_bytes_available"));
  request["device"]["ext"]["tovane"]["windows"]["battery_state"] = "BATTERY_PLUGGED_AC";
  request["device"]["ext"]["tovane"]["windows"].erase("storage_bytes_available");
  EXPECT_EQ(token, request);

  // No advertising identifier: the token says tracking is limited, requests never do.
  info->advertisingId = "";
  EXPECT_EQ(controller.GetBidTokenDeviceJson()["device"]["lmt"], 1);
  EXPECT_EQ(controller.GetDeviceJson()["device"]["lmt"], 0);
}

TEST_F(DeviceSectionTest, AFailingProbeIsLoggedAndGivesNoSection) {
  test::LogCapture log;
  info->throwFromLocale = true;
  EXPECT_TRUE(controller.GetDeviceJson().is_null());
  EXPECT_TRUE(controller.GetBidTokenDeviceJson().is_null());
  EXPECT_EQ(log.Count("locale probe broke", LogLevel::Error), 2);
}

}  // namespace
}  // namespace kestrel
