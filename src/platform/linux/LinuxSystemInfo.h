#pragma once

#include <filesystem>

#include "platform/ISystemInfo.h"

namespace kestrel {

// Machine facts from the kernel, /sys, /etc and the environment. The files
// are read under root, which tests point at a tree of their own.
class LinuxSystemInfo : public ISystemInfo {
 public:
  explicit LinuxSystemInfo(std::filesystem::path root = "/");

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
  std::string AdvertisingId() override;
  std::string OsName() override;
  std::string UserAgent() override;
  bool ExclusiveFullScreen() override;

  // The leading numbers of a kernel release, "6.1.0" of "6.1.0-13-amd64".
  static std::optional<std::string> VersionOfRelease(const std::string& release);
  // "de-DE" of a POSIX locale such as "de_DE.UTF-8"; "C" for C and POSIX; empty for malformed names.
  static std::optional<std::string> LocaleName(const std::string& posixLocale);

 private:
  std::filesystem::path m_root;
};

}  // namespace kestrel
