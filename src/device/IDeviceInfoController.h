#pragma once

#include <cstdint>
#include <string>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// The "device" sections of request bodies and of the bid token.
class IDeviceInfoController : public IBaseController {
 public:
  virtual Json GetDeviceJson() = 0;
  // LogDeviceInfo, SetWindowHandle and GetCustomUserAgentAsync are kept for the interface; the SDK does not call them.
  virtual void LogDeviceInfo() = 0;
  virtual void SetWindowHandle(WindowHandle window) = 0;
  virtual WindowHandle GetWindowHandle() = 0;
  virtual std::future<std::string> GetCustomUserAgentAsync() = 0;
  virtual std::int32_t GetDefaultScreenWidth() = 0;
  virtual std::int32_t GetDefaultScreenHeight() = 0;
  virtual Json GetBidTokenDeviceJson() = 0;
};

}  // namespace kestrel
