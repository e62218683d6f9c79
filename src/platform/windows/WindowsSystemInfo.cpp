#include "platform/windows/WindowsSystemInfo.h"

#include <windows.h>
// After windows.h, which it needs.
#include <powrprof.h>
#include <shellapi.h>
#include <wininet.h>

#include <array>
#include <charconv>
#include <cwchar>
#include <iterator>
#include <string_view>

#include "base/Log.h"
#include "platform/Backend.h"
#include "platform/ISystemInfo.h"
#include "platform/TimeZoneNameTable.h"
#include "platform/windows/Utf16.h"

namespace kestrel {
namespace {

constexpr const wchar_t* kCurrentVersionKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const wchar_t* kBiosKey = L"HARDWARE\\DESCRIPTION\\System\\BIOS";
constexpr const wchar_t* kAdvertisingInfoKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\AdvertisingInfo";
constexpr std::size_t kAdvertisingIdUnits = 256;  // a 512-byte value

// The power setting that holds the energy saver policy, and its subgroup.
constexpr GUID kEnergySaverSubgroup = {0xE73A048D, 0xBF27, 0x4F12, {0x97, 0x31, 0x8B, 0x20, 0x76, 0xE8, 0x89, 0x1F}};
constexpr GUID kEnergySaverPolicy = {0xF96FD3B4, 0x5FEA, 0x49A0, {0x9A, 0x99, 0xB3, 0x3E, 0xC9, 0xE3, 0x84, 0xFC}};

using RtlGetVersionFunction = LONG(WINAPI*)(PRTL_OSVERSIONINFOEXW);
static_assert(sizeof(RTL_OSVERSIONINFOEXW) == 284);

// An open registry key, closed when it goes out of scope.
class RegistryKey {
 public:
  RegistryKey(HKEY root, const wchar_t* path) {
    m_status = RegOpenKeyExW(root, path, 0, KEY_READ, &m_key);
    if (m_status != ERROR_SUCCESS) m_key = nullptr;
  }
  ~RegistryKey() {
    if (m_key) RegCloseKey(m_key);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY Get() const { return m_key; }
  LSTATUS Status() const { return m_status; }

 private:
  HKEY m_key = nullptr;
  LSTATUS m_status = ERROR_SUCCESS;
};

BYTE* Bytes(void* data) {
  return static_cast<BYTE*>(data);
}

// The update build revision of the installed Windows, or -1.
std::int32_t ReadUpdateBuildRevision() {
  const RegistryKey key(HKEY_LOCAL_MACHINE, kCurrentVersionKey);
  if (!key.Get()) return -1;
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof(value);
  if (RegQueryValueExW(key.Get(), L"UBR", nullptr, &type, Bytes(&value), &size) != ERROR_SUCCESS) return -1;
  if (type != REG_DWORD || size != sizeof(value)) return -1;
  return static_cast<std::int32_t>(value);
}

// A string value under HKEY_LOCAL_MACHINE whatever its registry type, each
// UTF-16 unit narrowed to its low byte.
std::optional<std::string> ReadRegistryString(const wchar_t* path, const wchar_t* name) {
  const RegistryKey key(HKEY_LOCAL_MACHINE, path);
  if (!key.Get()) return std::nullopt;
  DWORD size = 0;
  DWORD type = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::wstring units(size / sizeof(wchar_t), L'\0');
  DWORD bytes = static_cast<DWORD>(units.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.Get(), name, nullptr, nullptr, Bytes(units.data()), &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  units.resize(bytes / sizeof(wchar_t));
  if (!units.empty() && units.back() == L'\0') units.pop_back();

  std::string narrow(units.size(), '\0');
  for (std::size_t i = 0; i < units.size(); ++i) narrow[i] = static_cast<char>(units[i] & 0xFF);
  return narrow;
}

// ICU's time-zone lookup from system32, loaded once; null without icu.dll.
IcuZoneLookup LoadIcuZoneLookup() {
  static const IcuZoneLookup lookup = []() -> IcuZoneLookup {
    const HMODULE icu = LoadLibraryExW(L"icu.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!icu) return nullptr;
    const FARPROC address = GetProcAddress(icu, "ucal_getTimeZoneIDForWindowsID");
    if (!address) {
      FreeLibrary(icu);
      return nullptr;
    }
    return reinterpret_cast<IcuZoneLookup>(reinterpret_cast<void (*)()>(address));
  }();
  return lookup;
}

// Runs a probe; an exception (only an allocation can fail) gives the empty answer.
template <typename Result, typename Probe>
Result NoThrow(Probe&& probe) noexcept {
  try {
    return probe();
  } catch (...) {
    return Result{};
  }
}

}  // namespace

std::string IanaTimeZone(std::wstring_view key, IcuZoneLookup icu) {
  key = key.substr(0, key.find(L'\0'));
  if (icu) {
    std::array<wchar_t, 64> id{};
    int status = 0;
    const std::int32_t length = icu(key.data(), static_cast<std::int32_t>(key.size()), nullptr, id.data(),
                                    static_cast<std::int32_t>(id.size()), &status);
    if (status <= 0 && length > 0 && length <= static_cast<std::int32_t>(id.size())) {
      return ToUtf8(std::wstring_view(id.data(), static_cast<std::size_t>(length)));
    }
  }
  return MapWindowsTimeZoneToIana(key);
}

std::optional<std::string> WindowsSystemInfo::OsVersion() {
  return NoThrow<std::optional<std::string>>([]() -> std::optional<std::string> {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return std::nullopt;
    const FARPROC address = GetProcAddress(ntdll, "RtlGetVersion");
    if (!address) return std::nullopt;
    // Through the generic function pointer type, which any function pointer may pass.
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void (*)()>(address));

    RTL_OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    rtlGetVersion(&info);

    std::string version = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
                          std::to_string(info.dwBuildNumber);
    if (const auto revision = ReadUpdateBuildRevision(); revision >= 0) version += "." + std::to_string(revision);
    return version;
  });
}

std::optional<std::string> WindowsSystemInfo::Manufacturer() {
  return NoThrow<std::optional<std::string>>([] { return ReadRegistryString(kBiosKey, L"SystemManufacturer"); });
}

std::optional<std::string> WindowsSystemInfo::Model() {
  return NoThrow<std::optional<std::string>>([] { return ReadRegistryString(kBiosKey, L"SystemProductName"); });
}

std::optional<std::string> WindowsSystemInfo::HardwareId() {
  return NoThrow<std::optional<std::string>>([]() -> std::optional<std::string> {
    char volumeName[MAX_PATH] = {};
    DWORD serial = 0;
    DWORD maxComponentLength = 0;
    DWORD flags = 0;
    if (!GetVolumeInformationA("C:\\", volumeName, MAX_PATH, &serial, &maxComponentLength, &flags, nullptr, 0)) {
      return std::nullopt;
    }
    char hex[8];
    const auto end = std::to_chars(std::begin(hex), std::end(hex), serial, 16).ptr;
    return std::string(std::begin(hex), end);
  });
}

ISystemInfo::DiskSpace WindowsSystemInfo::FreeDiskSpace() {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExA("C:\\", &available, nullptr, nullptr)) {
    return {std::nullopt, static_cast<int>(GetLastError())};
  }
  return {available.QuadPart, 0};
}

std::optional<ISystemInfo::PowerStatus> WindowsSystemInfo::Power() {
  SYSTEM_POWER_STATUS status{};
  if (!GetSystemPowerStatus(&status)) return std::nullopt;
  PowerStatus power;
  power.batteryPresent = (status.BatteryFlag & BATTERY_FLAG_NO_BATTERY) == 0;  // 255 "unknown" has it too
  if (status.BatteryLifePercent != BATTERY_PERCENTAGE_UNKNOWN) power.percent = status.BatteryLifePercent;
  power.externalPower = status.ACLineStatus == AC_LINE_ONLINE;
  power.charging = (status.BatteryFlag & BATTERY_FLAG_CHARGING) != 0;
  return power;
}

bool WindowsSystemInfo::IsPowerSaverOn() {
  GUID* scheme = nullptr;
  if (PowerGetActiveScheme(nullptr, &scheme) != ERROR_SUCCESS) return false;
  DWORD index = 0;
  const DWORD status = PowerReadACValueIndex(nullptr, scheme, &kEnergySaverSubgroup, &kEnergySaverPolicy, &index);
  LocalFree(scheme);
  return status == ERROR_SUCCESS && index != 0;
}

bool WindowsSystemInfo::IsConnected() {
  DWORD flags = 0;
  return InternetGetConnectedState(&flags, 0) != FALSE;
}

std::optional<std::string> WindowsSystemInfo::Locale() {
  return NoThrow<std::optional<std::string>>([]() -> std::optional<std::string> {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const int length = GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    if (length <= 0) return std::nullopt;
    return ToUtf8(std::wstring_view(name, static_cast<std::size_t>(length - 1)));
  });
}

std::optional<std::string> WindowsSystemInfo::TimeZone() {
  return NoThrow<std::optional<std::string>>([]() -> std::optional<std::string> {
    DYNAMIC_TIME_ZONE_INFORMATION info{};
    if (GetDynamicTimeZoneInformation(&info) == TIME_ZONE_ID_INVALID) return std::nullopt;
    return IanaTimeZone(std::wstring_view(info.TimeZoneKeyName, std::size(info.TimeZoneKeyName)), LoadIcuZoneLookup());
  });
}

std::string WindowsSystemInfo::AdvertisingId() {
  return NoThrow<std::string>([] {
    const RegistryKey key(HKEY_CURRENT_USER, kAdvertisingInfoKey);
    if (!key.Get()) {
      WriteLine(stderr, "Failed to open registry key. Error code: " + std::to_string(key.Status()));
      return std::string();
    }
    wchar_t id[kAdvertisingIdUnits] = {};
    DWORD size = sizeof(id);
    const LSTATUS status = RegQueryValueExW(key.Get(), L"Id", nullptr, nullptr, Bytes(id), &size);
    if (status != ERROR_SUCCESS) {
      WriteLine(stderr, "Failed to read registry value. Error code: " + std::to_string(status));
      return std::string();
    }
    return ToUtf8(std::wstring_view(id, wcsnlen(id, kAdvertisingIdUnits)));
  });
}

std::unique_ptr<ISystemInfo> CreateSystemInfo() {
  return std::make_unique<WindowsSystemInfo>();
}

std::string WindowsSystemInfo::OsName() {
  return "windows";
}

std::string WindowsSystemInfo::UserAgent() {
  return "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/131.0.0.0 Safari/537.36 Edg/131.0.0.0";
}

// The shell's own test for whether a notification may show now.
bool WindowsSystemInfo::ExclusiveFullScreen() {
  QUERY_USER_NOTIFICATION_STATE state{};
  return SUCCEEDED(SHQueryUserNotificationState(&state)) && state == QUNS_RUNNING_D3D_FULL_SCREEN;
}

}  // namespace kestrel
