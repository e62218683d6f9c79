#include "device/DeviceInfoController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

DeviceInfoController::DeviceInfoController(WindowHandle /*window*/) {}

std::future<bool> DeviceInfoController::Initialize() { return MakeReadyFuture(true); }

Json DeviceInfoController::GetDeviceJson() { return {}; }

void DeviceInfoController::LogDeviceInfo() {}

void DeviceInfoController::SetWindowHandle(WindowHandle /*window*/) {}

WindowHandle DeviceInfoController::GetWindowHandle() { return nullptr; }

std::future<std::string> DeviceInfoController::GetCustomUserAgentAsync() { return [] { std::promise<std::string> p; p.set_value({}); return p.get_future(); }(); }

std::int32_t DeviceInfoController::GetDefaultScreenWidth() { return 0; }

std::int32_t DeviceInfoController::GetDefaultScreenHeight() { return 0; }

Json DeviceInfoController::GetBidTokenDeviceJson() { return {}; }

}  // namespace kestrel
