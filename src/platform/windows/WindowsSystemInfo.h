#pragma once

#include "platform/ISystemInfo.h"

namespace kestrel {

// Machine facts from ntdll, the registry, the volume C:\, the power and
// network APIs and the user's locale and time-zone settings.
class WindowsSystemInfo : public ISystemInfo {
 public:
  std::optional<std::string> OsVersion() override;
  std::optional<std::string> Manufacturer() override;
  std::optional<std::string> Model() override;
  std::optional<std::string> HardwareId() override;
  DiskSpace FreeDiskSpace() override;
  std::optional<PowerStatus> Power() override;
  bool IsPowerSaverOn() override;
  bool IsConnected() override;
  std::optional<std::string> Locale() override;
  std::optional<std::string> TimeZone() override;
  std::string AdvertisingId() override;  // failures are written to standard error
  std::string OsName() override;
  std::string UserAgent() override;
  bool ExclusiveFullScreen() override;
};

}  // namespace kestrel
