#pragma once

#include <future>
#include <string>

#include "device/IDeviceInfoController.h"

namespace kestrel::test {

// A device controller that knows nothing: empty sections, no window, no
// agent. Tests override what they need.
class StubDeviceInfoController : public IDeviceInfoController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  Json GetDeviceJson() override { return nullptr; }
  void LogDeviceInfo() override {}
  void SetWindowHandle(WindowHandle) override {}
  WindowHandle GetWindowHandle() override { return nullptr; }
  std::future<std::string> GetCustomUserAgentAsync() override {
    std::promise<std::string> agent;
    agent.set_value({});
    return agent.get_future();
  }
  std::int32_t GetDefaultScreenWidth() override { return 0; }
  std::int32_t GetDefaultScreenHeight() override { return 0; }
  Json GetBidTokenDeviceJson() override { return nullptr; }
};

}  // namespace kestrel::test
