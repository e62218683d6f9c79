#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel {

// Facts about the machine and the user's settings, read afresh on every call.
// A fact that cannot be read is empty; the caller chooses the fallback.
// Nothing throws.
class ISystemInfo {
 public:
  struct DiskSpace {
    std::optional<std::uint64_t> bytes;  // free bytes available to the user
    int error = 0;                       // the platform's error code when bytes is empty
  };

  struct PowerStatus {
    bool batteryPresent = false;  // a system battery, not a device's
    std::optional<int> percent;   // its charge, 0-100
    bool externalPower = false;   // mains or another external supply is online
    bool charging = false;
  };

  virtual ~ISystemInfo() = default;

  virtual std::optional<std::string> OsVersion() = 0;  // numbers joined by "."
  virtual std::optional<std::string> Manufacturer() = 0;
  virtual std::optional<std::string> Model() = 0;
  virtual std::optional<std::string> HardwareId() = 0;  // lower-case hexadecimal
  virtual DiskSpace FreeDiskSpace() = 0;
  virtual std::optional<PowerStatus> Power() = 0;  // empty when the power status cannot be read
  virtual bool IsPowerSaverOn() = 0;
  virtual bool IsConnected() = 0;
  virtual std::optional<std::string> Locale() = 0;    // e.g. "de-DE"
  virtual std::optional<std::string> TimeZone() = 0;  // IANA name
  virtual std::string AdvertisingId() = 0;            // empty when the platform has none
  virtual std::string OsName() = 0;                   // lower case: "windows", "linux"
  virtual std::string UserAgent() = 0;                // of the web engine that shows the ads
  // A game holds the screen in exclusive full-screen mode: a window shown
  // over it would minimise it or stay hidden.
  virtual bool ExclusiveFullScreen() = 0;
};

}  // namespace kestrel
