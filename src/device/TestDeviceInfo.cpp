#include <exception>
#include <iostream>
#include <nlohmann/json.hpp>

#include "device/DeviceInfo.h"
#include "device/DeviceInfoController.h"
#include "device/PublisherAppInfo.h"
#include "kestrel/KestrelAds.h"
#include "sdk/Log.h"

extern "C" KESTREL_API void TestDeviceInfo(kestrel::WindowHandle window, const std::string& appId) {
  using namespace kestrel;
  try {
    const DeviceInfo info(window);
    const PublisherAppInfo appInfo(appId);
    std::cout << "Ad tracking enabled: " << (info.IsAdTrackingEnabled() ? 1 : 0) << std::endl;
    std::cout << "Advertiser ID: " << info.GetAdvertisingId() << std::endl;
    std::cout << "Time Zone: " << info.GetTimeZone() << std::endl;
    std::cout << "Locale: " << info.GetLocale() << std::endl;
    std::cout << "Language: " << info.GetLanguage() << std::endl;
    std::cout << "Battery State: " << info.GetBatteryState() << std::endl;
    std::cout << "Battery Saver Status: " << info.IsBatterySaverEnabled() << std::endl;
    std::cout << "OS Version: " << info.GetOsVersion() << std::endl;
    std::cout << "OS Name: " << info.GetOsName() << std::endl;
    std::cout << "Connection Type: " << info.GetConnectionType() << std::endl;
    std::cout << "Model: " << info.GetModel() << std::endl;
    std::cout << "Manufacturer: " << info.GetManufacturer() << std::endl;
    std::cout << "Hardware ID: " << info.GetHardwareId() << std::endl;
    std::cout << "Free Disk Space: " << info.GetFreeDiskSpace() << " bytes" << std::endl;
    std::cout << "Battery Level: " << info.GetBatteryLevel() << std::endl;
    std::cout << "User Agent: " << info.GetUserAgent() << std::endl;

    DeviceInfoController controller(window);
    std::cout << "Data Dictionary: " << std::endl;
    std::cout << controller.GetDeviceJson().dump(4) << std::endl;

    info.PrintDeviceInfo();
    appInfo.PrintAppInfo();
    std::cout << "DeviceInfo complete!" << std::endl;
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError("Unknown exception in TestDeviceInfo");
  }
}
