#pragma once

#include <atomic>
#include <memory>

#include "device/IDeviceInfo.h"
#include "device/IDeviceInfoController.h"

namespace kestrel {

class DeviceInfoController : public IDeviceInfoController {
 public:
  explicit DeviceInfoController(WindowHandle window);
  DeviceInfoController(WindowHandle window, std::shared_ptr<IDeviceInfo> deviceInfo);

  std::future<bool> Initialize() override;
  Json GetDeviceJson() override;
  void LogDeviceInfo() override;
  void SetWindowHandle(WindowHandle window) override;
  WindowHandle GetWindowHandle() override;
  std::future<std::string> GetCustomUserAgentAsync() override;
  std::int32_t GetDefaultScreenWidth() override;
  std::int32_t GetDefaultScreenHeight() override;
  Json GetBidTokenDeviceJson() override;

 private:
  enum class Shape { Request, BidToken };
  Json BuildDeviceJson(Shape shape) const;

  std::atomic<WindowHandle> m_hwnd;
  const std::shared_ptr<IDeviceInfo> m_deviceInfo;  // keeps the window it was created with
};

}  // namespace kestrel
