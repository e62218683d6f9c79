#include "device/DeviceInfoController.h"

#include <cctype>
#include <exception>
#include <nlohmann/json.hpp>

#include "base/ControllerRegistry.h"
#include "base/IBaseController.h"
#include "base/Log.h"
#include "base/PrintLine.h"
#include "device/DeviceInfo.h"
#include "privacy/IPrivacyController.h"

namespace kestrel {
namespace {

// Runs one of the privacy controller's identifier filters. Without the
// controller, or when it fails, the identifier is withheld.
template <typename Filter>
std::string Filtered(const std::string& id, Filter filter) {
  try {
    if (auto privacy = ControllerRegistry::GetPrivacyController()) return ((*privacy).*filter)(id);
  } catch (const std::exception& e) {
    LogException(e);
  }
  return {};
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

DeviceInfoController::DeviceInfoController(WindowHandle window)
    : DeviceInfoController(window, std::make_shared<DeviceInfo>(window)) {}

DeviceInfoController::DeviceInfoController(WindowHandle window, std::shared_ptr<IDeviceInfo> deviceInfo)
    : m_hwnd(window), m_deviceInfo(std::move(deviceInfo)) {}

std::future<bool> DeviceInfoController::Initialize() {
  return MakeReadyFuture(true);
}

Json DeviceInfoController::GetDeviceJson() {
  return BuildDeviceJson(Shape::Request);
}

Json DeviceInfoController::GetBidTokenDeviceJson() {
  return BuildDeviceJson(Shape::BidToken);
}

// A failure is logged and gives a null section, which the body merge skips.
Json DeviceInfoController::BuildDeviceJson(Shape shape) const {
  try {
    const IDeviceInfo& info = *m_deviceInfo;
    const bool request = shape == Shape::Request;
    const std::string advertisingId = Filtered(info.GetAdvertisingId(), &IPrivacyController::FilterAdvertisingId);

    Json windows = {
        {"ashwid", Filtered(info.GetHardwareId(), &IPrivacyController::FilterHardwareId)},
        {"battery_level", info.GetBatteryLevel()},
        {"battery_saver_enabled", info.IsBatterySaverEnabled()},
        {"battery_state", request ? info.GetBatteryState() : "BATTERY_PLUGGED_AC"},
        {"connection_type", info.GetConnectionType()},
        {"language", info.GetLanguage()},
        {"locale", info.GetLocale()},
        {"msaid", advertisingId},
        {"os_name", UpperCase(info.GetOsName())},
        {"time_zone", info.GetTimeZone()},
    };
    if (request) windows["storage_bytes_available"] = info.GetFreeDiskSpace();

    Json device = {
        {"ext", {{"tovane", {{"windows", std::move(windows)}}}}},
        {"h", info.GetScreenHeight()},
        {"ifa", advertisingId},
        {"lmt", request || info.IsAdTrackingEnabled() ? 0 : 1},
        {"make", info.GetManufacturer()},
        {"model", info.GetModel()},
        {"os", info.GetOsName()},
        {"osv", info.GetOsVersion()},
        {"ua", info.GetUserAgent()},
        {"w", info.GetScreenWidth()},
    };
    return {{"device", std::move(device)}};
  } catch (const std::exception& e) {
    LogException(e);
    return nullptr;
  }
}

void DeviceInfoController::LogDeviceInfo() {
  PrintLine(stdout, "Logging device info.");
}

void DeviceInfoController::SetWindowHandle(WindowHandle window) {
  m_hwnd = window;
}

WindowHandle DeviceInfoController::GetWindowHandle() {
  return m_hwnd;
}

std::future<std::string> DeviceInfoController::GetCustomUserAgentAsync() {
  std::promise<std::string> agent;
  agent.set_value("CustomUserAgent/1.0");
  return agent.get_future();
}

std::int32_t DeviceInfoController::GetDefaultScreenWidth() {
  return 1920;
}

std::int32_t DeviceInfoController::GetDefaultScreenHeight() {
  return 1080;
}

}  // namespace kestrel
