#pragma once

#include <cstdint>
#include <future>
#include <string>

namespace kestrel {

// Every fact about the machine that requests carry. Each probe reads the
// platform afresh and never fails: it falls back to a fixed value.
class IDeviceInfo {
 public:
  virtual ~IDeviceInfo() = default;
  virtual std::int32_t GetScreenWidth() const = 0;
  virtual std::int32_t GetScreenHeight() const = 0;
  virtual std::string GetOsVersion() const = 0;
  virtual std::string GetUserAgent() const = 0;
  virtual std::string GetModel() const = 0;
  virtual std::string GetManufacturer() const = 0;
  virtual std::string GetOsName() const = 0;
  virtual std::string GetHardwareId() const = 0;
  virtual std::uint64_t GetFreeDiskSpace() const = 0;
  virtual double GetBatteryLevel() const = 0;
  virtual std::int32_t IsBatterySaverEnabled() const = 0;
  virtual std::string GetBatteryState() const = 0;
  virtual void ReservedProbe() const = 0;  // kept for the interface; throws "Not implemented"
  virtual std::string GetTimeZone() const = 0;
  virtual std::string GetConnectionType() const = 0;
  virtual std::string GetLanguage() const = 0;
  virtual std::string GetLocale() const = 0;
  virtual std::string GetAdvertisingId() const = 0;
  virtual bool IsAdTrackingEnabled() const = 0;
  virtual void PrintDeviceInfo() const = 0;
  virtual std::future<bool> ReadyAsync() const = 0;
};

}  // namespace kestrel
