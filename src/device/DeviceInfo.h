#pragma once

#include <memory>

#include "device/IDeviceInfo.h"
#include "kestrel/KestrelAds.h"
#include "platform/ISystemInfo.h"
#include "platform/IWindowSizeSource.h"

namespace kestrel {

// The device probes over the platform's facts. Failures are written to
// standard error and answered with the probe's fallback value.
class DeviceInfo : public IDeviceInfo {
 public:
  explicit DeviceInfo(WindowHandle window);

  std::int32_t GetScreenWidth() const override;
  std::int32_t GetScreenHeight() const override;
  std::string GetOsVersion() const override;
  std::string GetUserAgent() const override;
  std::string GetModel() const override;
  std::string GetManufacturer() const override;
  std::string GetOsName() const override;
  std::string GetHardwareId() const override;
  std::uint64_t GetFreeDiskSpace() const override;
  double GetBatteryLevel() const override;
  std::int32_t IsBatterySaverEnabled() const override;
  std::string GetBatteryState() const override;
  void ReservedProbe() const override;
  std::string GetTimeZone() const override;
  std::string GetConnectionType() const override;
  std::string GetLanguage() const override;
  std::string GetLocale() const override;
  std::string GetAdvertisingId() const override;
  bool IsAdTrackingEnabled() const override;
  void PrintDeviceInfo() const override;
  std::future<bool> ReadyAsync() const override;

 private:
  std::shared_ptr<ISystemInfo> m_system;
  std::unique_ptr<IWindowSizeSource> m_windowSize;  // the publisher's window; null for none
};

}  // namespace kestrel
