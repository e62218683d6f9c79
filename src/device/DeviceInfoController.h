#pragma once

#include "device/IDeviceInfoController.h"

namespace kestrel {

class DeviceInfoController : public IDeviceInfoController {
 public:
  explicit DeviceInfoController(WindowHandle window);
  std::future<bool> Initialize() override;
  Json GetDeviceJson() override;
  void LogDeviceInfo() override;
  void SetWindowHandle(WindowHandle window) override;
  WindowHandle GetWindowHandle() override;
  std::future<std::string> GetCustomUserAgentAsync() override;
  std::int32_t GetDefaultScreenWidth() override;
  std::int32_t GetDefaultScreenHeight() override;
  Json GetBidTokenDeviceJson() override;
};

}  // namespace kestrel
