#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ISystemInfo.h"

namespace kestrel {

// ICU's ucal_getTimeZoneIDForWindowsID, as icu.dll (Windows 10 1903 and later)
// exports it; UChar is a UTF-16 unit and a status above 0 is a failure.
using IcuZoneLookup = std::int32_t (*)(const wchar_t* key, std::int32_t length, const char* region, wchar_t* id,
                                       std::int32_t capacity, int* status);

// The IANA name of a Windows time-zone key, cut at its first zero: ICU's when
// icu gives one, the table's otherwise.
std::string IanaTimeZone(std::wstring_view key, IcuZoneLookup icu);

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
