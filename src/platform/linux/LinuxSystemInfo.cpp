#include "platform/linux/LinuxSystemInfo.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/Backend.h"
#include "platform/linux/WebEngineUserAgent.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// The first line of a small text file without trailing blanks; empty when unreadable.
std::optional<std::string> ReadLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  const auto end = line.find_last_not_of(" \t\r\n");
  line.erase(end == std::string::npos ? 0 : end + 1);
  return line;
}

// The value of the first of the variables that is set and not empty.
std::optional<std::string> FirstVariable(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string(value);
  }
  return std::nullopt;
}

// "Europe/Berlin" of "Europe/Berlin", ":Europe/Berlin" or ".../zoneinfo/Europe/Berlin";
// empty for anything that is not a zone name (a POSIX rule such as "CET-1CEST,M3.5.0,M10.5.0/3").
std::optional<std::string> ZoneName(std::string text) {
  if (!text.empty() && text.front() == ':') text.erase(0, 1);
  const std::string marker = "zoneinfo/";
  if (const auto at = text.rfind(marker); at != std::string::npos) text.erase(0, at + marker.size());
  if (text.empty() || text.size() > 64) return std::nullopt;
  std::istringstream parts(text);
  for (std::string part; std::getline(parts, part, '/');) {
    if (part.empty() || !std::isalpha(static_cast<unsigned char>(part.front()))) return std::nullopt;
    for (unsigned char c : part) {
      if (!std::isalnum(c) && c != '_' && c != '-' && c != '+') return std::nullopt;
    }
  }
  if (text.back() == '/') return std::nullopt;
  return text;
}

bool IsSystemBattery(const fs::path& supply) {
  // Batteries of mice and other devices carry the scope "Device".
  return ReadLine(supply / "type") == "Battery" && ReadLine(supply / "scope") != "Device";
}

std::optional<int> Percent(const std::optional<std::string>& text) {
  if (!text || text->empty() || text->size() > 3) return std::nullopt;
  if (!std::all_of(text->begin(), text->end(), [](unsigned char c) { return std::isdigit(c); })) return std::nullopt;
  const int value = std::stoi(*text);
  return value <= 100 ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

LinuxSystemInfo::LinuxSystemInfo(std::filesystem::path root) : m_root(std::move(root)) {}

std::optional<std::string> LinuxSystemInfo::VersionOfRelease(const std::string& release) {
  std::string version;
  std::size_t i = 0;
  while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) {
    const auto start = i;
    while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) ++i;
    if (!version.empty()) version += '.';
    version += release.substr(start, i - start);
    if (i + 1 < release.size() && release[i] == '.') ++i;
  }
  if (version.empty()) return std::nullopt;
  return version;
}

std::optional<std::string> LinuxSystemInfo::LocaleName(const std::string& posixLocale) {
  std::string name = posixLocale.substr(0, posixLocale.find_first_of(".@"));
  if (name == "C" || name == "POSIX") return "C";
  if (name.empty() || name.size() > 84) return std::nullopt;
  if (!std::isalpha(static_cast<unsigned char>(name.front()))) return std::nullopt;
  for (char& c : name) {
    if (c == '_') c = '-';
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return std::nullopt;
  }
  return name;
}

std::optional<std::string> LinuxSystemInfo::OsVersion() {
  utsname names{};
  if (uname(&names) != 0) return std::nullopt;
  return VersionOfRelease(names.release);
}

std::optional<std::string> LinuxSystemInfo::Manufacturer() {
  return ReadLine(m_root / "sys/class/dmi/id/sys_vendor");
}

std::optional<std::string> LinuxSystemInfo::Model() {
  return ReadLine(m_root / "sys/class/dmi/id/product_name");
}

std::optional<std::string> LinuxSystemInfo::HardwareId() {
  struct statvfs info {};
  if (statvfs(m_root.c_str(), &info) != 0) return std::nullopt;
  std::ostringstream hex;
  hex << std::hex << info.f_fsid;
  return hex.str();
}

ISystemInfo::DiskSpace LinuxSystemInfo::FreeDiskSpace() {
  struct statvfs info {};
  if (statvfs(m_root.c_str(), &info) != 0) return {std::nullopt, errno};
  return {static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize, 0};
}

std::optional<ISystemInfo::PowerStatus> LinuxSystemInfo::Power() {
  std::error_code ec;
  std::vector<fs::path> supplies;
  for (fs::directory_iterator it(m_root / "sys/class/power_supply", ec), end; !ec && it != end; it.increment(ec)) {
    supplies.push_back(it->path());
  }
  if (ec) return std::nullopt;
  std::sort(supplies.begin(), supplies.end());

  PowerStatus status;
  for (const auto& supply : supplies) {
    if (IsSystemBattery(supply)) {
      if (status.batteryPresent) continue;  // the first battery speaks for the machine
      status.batteryPresent = true;
      status.percent = Percent(ReadLine(supply / "capacity"));
      status.charging = ReadLine(supply / "status") == "Charging";
    } else if (ReadLine(supply / "type") != "Battery" && ReadLine(supply / "online") == "1") {
      status.externalPower = true;
    }
  }
  // A battery only charges from an external supply, even one that /sys does not list.
  status.externalPower = status.externalPower || status.charging;
  return status;
}

bool LinuxSystemInfo::IsPowerSaverOn() {
  return ReadLine(m_root / "sys/firmware/acpi/platform_profile") == "low-power";
}

bool LinuxSystemInfo::IsConnected() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool connected = false;
  for (const ifaddrs* entry = list; entry && !connected; entry = entry->ifa_next) {
    const bool hasAddress =
        entry->ifa_addr && (entry->ifa_addr->sa_family == AF_INET || entry->ifa_addr->sa_family == AF_INET6);
    connected = hasAddress && (entry->ifa_flags & IFF_UP) && !(entry->ifa_flags & IFF_LOOPBACK);
  }
  freeifaddrs(list);
  return connected;
}

std::optional<std::string> LinuxSystemInfo::Locale() {
  // With none of them set, the process runs in the C locale.
  return LocaleName(FirstVariable({"LC_ALL", "LC_MESSAGES", "LANG"}).value_or("C"));
}

std::optional<std::string> LinuxSystemInfo::TimeZone() {
  // TZ decides for this process when it is set, also when it holds a rule without a name.
  if (const auto tz = FirstVariable({"TZ"})) return ZoneName(*tz);
  if (const auto line = ReadLine(m_root / "etc/timezone"); line && !line->empty()) return ZoneName(*line);
  std::error_code ec;
  const auto target = fs::read_symlink(m_root / "etc/localtime", ec);
  if (ec) return std::nullopt;
  return ZoneName(target.string());
}

std::string LinuxSystemInfo::AdvertisingId() {
  return {};
}

std::unique_ptr<ISystemInfo> CreateSystemInfo() {
  return std::make_unique<LinuxSystemInfo>();
}

std::string LinuxSystemInfo::OsName() {
  return "linux";
}

std::string LinuxSystemInfo::UserAgent() {
  return WebEngineUserAgent();
}

// X11 and Wayland compositors show a window over a full-screen one.
bool LinuxSystemInfo::ExclusiveFullScreen() {
  return false;
}

}  // namespace kestrel
