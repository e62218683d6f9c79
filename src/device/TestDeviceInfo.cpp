#include <exception>
#include <nlohmann/json.hpp>

#include "base/Log.h"
#include "base/PrintLine.h"
#include "device/DeviceInfo.h"
#include "device/DeviceInfoController.h"
#include "device/PublisherAppInfo.h"
#include "kestrel/KestrelAds.h"

extern "C" KESTREL_API void TestDeviceInfo(kestrel::WindowHandle window, const std::string& appId) {
  using namespace kestrel;
  try {
    const DeviceInfo info(window);
    const PublisherAppInfo appInfo(appId);
    PrintLine(stdout, "Ad tracking enabled: ", (info.IsAdTrackingEnabled() ? 1 : 0));
    PrintLine(stdout, "Advertiser ID: ", info.GetAdvertisingId());
    PrintLine(stdout, "Time Zone: ", info.GetTimeZone());
    PrintLine(stdout, "Locale: ", info.GetLocale());
    PrintLine(stdout, "Language: ", info.GetLanguage());
    PrintLine(stdout, "Battery State: ", info.GetBatteryState());
    PrintLine(stdout, "Battery Saver Status: ", info.IsBatterySaverEnabled());
    PrintLine(stdout, "OS Version: ", info.GetOsVersion());
    PrintLine(stdout, "OS Name: ", info.GetOsName());
    PrintLine(stdout, "Connection Type: ", info.GetConnectionType());
    PrintLine(stdout, "Model: ", info.GetModel());
    PrintLine(stdout, "Manufacturer: ", info.GetManufacturer());
    PrintLine(stdout, "Hardware ID: ", info.GetHardwareId());
    PrintLine(stdout, "Free Disk Space: ", info.GetFreeDiskSpace(), " bytes");
    PrintLine(stdout, "Battery Level: ", info.GetBatteryLevel());
    PrintLine(stdout, "User Agent: ", info.GetUserAgent());

    DeviceInfoController controller(window);
    PrintLine(stdout, "Data Dictionary: ");
    PrintLine(stdout, controller.GetDeviceJson().dump(4));

    info.PrintDeviceInfo();
    appInfo.PrintAppInfo();
    PrintLine(stdout, "DeviceInfo complete!");
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError("Unknown exception in TestDeviceInfo");
  }
}
