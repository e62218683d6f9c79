#include "device/DeviceInfo.h"

#include <sstream>
#include <stdexcept>

#include "base/IBaseController.h"
#include "base/Log.h"
#include "device/Utf8Text.h"
#include "platform/Backend.h"
#include "platform/PlatformServices.h"

namespace kestrel {
namespace {

constexpr std::int32_t kFallbackWidth = 640;
constexpr std::int32_t kFallbackHeight = 480;
constexpr std::uint64_t kFallbackFreeSpace = 1073741824;  // 1 GiB
constexpr const char* kUnknown = "Unknown";

}  // namespace

DeviceInfo::DeviceInfo(WindowHandle window)
    : m_system(PlatformServices::SystemInfo()), m_windowSize(CreateWindowSizeSource(window)) {}

std::int32_t DeviceInfo::GetScreenWidth() const {
  const auto size = m_windowSize ? m_windowSize->ClientSize() : std::nullopt;
  return size ? size->width : kFallbackWidth;
}

std::int32_t DeviceInfo::GetScreenHeight() const {
  const auto size = m_windowSize ? m_windowSize->ClientSize() : std::nullopt;
  return size ? size->height : kFallbackHeight;
}

std::string DeviceInfo::GetOsVersion() const {
  return m_system->OsVersion().value_or("10.0.19045.5247");
}

std::string DeviceInfo::GetUserAgent() const {
  return m_system->UserAgent();
}

std::string DeviceInfo::GetModel() const {
  return ToValidUtf8(m_system->Model().value_or(kUnknown));
}

std::string DeviceInfo::GetManufacturer() const {
  return ToValidUtf8(m_system->Manufacturer().value_or(kUnknown));
}

std::string DeviceInfo::GetOsName() const {
  return m_system->OsName();
}

std::string DeviceInfo::GetHardwareId() const {
  return m_system->HardwareId().value_or(kUnknown);
}

std::uint64_t DeviceInfo::GetFreeDiskSpace() const {
  const auto space = m_system->FreeDiskSpace();
  if (space.bytes) return *space.bytes;
  WriteLine(stderr, "Error retrieving disk space for drive C:\\. Error code: " + std::to_string(space.error));
  return kFallbackFreeSpace;
}

double DeviceInfo::GetBatteryLevel() const {
  const auto power = m_system->Power();
  if (!power) {
    WriteLine(stderr, "Failed to retrieve power status.");
    return -1.0;
  }
  if (!power->percent) {
    WriteLine(stderr, "Battery status is unknown.");
    return -1.0;
  }
  return *power->percent / 100.0;
}

std::int32_t DeviceInfo::IsBatterySaverEnabled() const {
  return m_system->IsPowerSaverOn() ? 1 : 0;
}

std::string DeviceInfo::GetBatteryState() const {
  const auto power = m_system->Power();
  if (!power || !power->batteryPresent) return "NotPresent";
  if (!power->externalPower) return "Discharging";
  if (power->charging) return "Charging";
  return "Idle";
}

void DeviceInfo::ReservedProbe() const {
  throw std::runtime_error("Not implemented");
}

std::string DeviceInfo::GetTimeZone() const {
  return m_system->TimeZone().value_or("Etc/Unknown");
}

std::string DeviceInfo::GetConnectionType() const {
  return m_system->IsConnected() ? "wifi" : "other";
}

std::string DeviceInfo::GetLanguage() const {
  return GetLocale().substr(0, 2);
}

std::string DeviceInfo::GetLocale() const {
  return m_system->Locale().value_or("Unknown Locale");
}

std::string DeviceInfo::GetAdvertisingId() const {
  return m_system->AdvertisingId();
}

bool DeviceInfo::IsAdTrackingEnabled() const {
  return !GetAdvertisingId().empty();
}

void DeviceInfo::PrintDeviceInfo() const {
  std::ostringstream out;
  out << "battery_level: " << GetBatteryLevel() << '\n';
  out << "battery_saver_enabled: " << IsBatterySaverEnabled() << '\n';
  out << "battery_state: " << GetBatteryState() << '\n';
  out << "language: " << GetLanguage() << '\n';
  out << "locale: " << GetLocale() << '\n';
  out << "os: " << GetOsName() << '\n';
  out << "osv: " << GetOsVersion() << '\n';
  out << "w: " << GetScreenWidth() << '\n';
  out << "h: " << GetScreenHeight() << '\n';
  std::string text = out.str();
  text.pop_back();
  WriteLine(stdout, text);
}

std::future<bool> DeviceInfo::ReadyAsync() const {
  return MakeReadyFuture(true);
}

}  // namespace kestrel
