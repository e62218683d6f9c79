// The Windows machine facts under Wine: each probe against what Wine answers
// and against registry values the tests write themselves. The Windows version
// Wine pretends to run is fixed when a process starts: a second copy of this
// program reads it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/windows/Utf16.h"
#include "platform/windows/WindowsSystemInfo.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr const char* kProbeVariable = "KESTREL_FACTS_PROBE";
constexpr const wchar_t* kCurrentVersionKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const wchar_t* kBiosKey = L"HARDWARE\\DESCRIPTION\\System\\BIOS";
constexpr const wchar_t* kAdvertisingInfoKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\AdvertisingInfo";
constexpr const wchar_t* kWineKey = L"Software\\Wine";

Json OrNull(const std::optional<std::string>& value) {
  return value ? Json(*value) : Json(nullptr);
}

// In the second copy: report the facts on standard output and end before any test runs.
[[maybe_unused]] const bool g_probe = [] {
  if (!std::getenv(kProbeVariable)) return false;
  WindowsSystemInfo info;
  const std::string report = Json{{"os_version", OrNull(info.OsVersion())}}.dump();
  std::fwrite(report.data(), 1, report.size(), stdout);
  std::fflush(stdout);
  ExitProcess(0);
  return true;
}();

// Runs this program again as a probe and returns its report.
Json Probe() {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16)) return nullptr;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  SetEnvironmentVariableA(kProbeVariable, "1");
  const bool started =
      CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableA(kProbeVariable, nullptr);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return nullptr;
  }

  const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.hProcess, 1);
  std::string output;
  char buffer[4096];
  DWORD read = 0;
  while (ended && ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0) output.append(buffer, read);
  CloseHandle(readEnd);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return Json::parse(output, nullptr, false);
}

// A registry key as it was when the test began, put back when the test ends:
// its values (not its subkeys), or its absence.
class SavedRegistryKey {
 public:
  SavedRegistryKey(HKEY root, std::wstring path) : m_root(root), m_path(std::move(path)) {
    HKEY key = nullptr;
    m_existed = RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (!m_existed) return;
    for (DWORD index = 0;; ++index) {
      wchar_t name[16384];
      DWORD nameLength = 16384;
      DWORD type = 0;
      DWORD size = 0;
      if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
      Value value{type, std::vector<BYTE>(size)};
      DWORD read = size;
      RegQueryValueExW(key, name, nullptr, nullptr, value.data.data(), &read);
      value.data.resize(read);
      m_values.emplace(std::wstring(name, nameLength), std::move(value));
    }
    RegCloseKey(key);
  }

  ~SavedRegistryKey() {
    if (!m_existed) {
      RegDeleteTreeW(m_root, m_path.c_str());
      return;
    }
    HKEY key = Open();
    if (!key) return;
    std::vector<std::wstring> added;
    for (DWORD index = 0;; ++index) {
      wchar_t name[16384];
      DWORD nameLength = 16384;
      if (RegEnumValueW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      if (!m_values.contains(std::wstring(name, nameLength))) added.emplace_back(name, nameLength);
    }
    for (const auto& name : added) RegDeleteValueW(key, name.c_str());
    for (const auto& [name, value] : m_values) {
      RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    }
    RegCloseKey(key);
  }

  SavedRegistryKey(const SavedRegistryKey&) = delete;
  SavedRegistryKey& operator=(const SavedRegistryKey&) = delete;

  void SetBytes(const wchar_t* name, DWORD type, const void* data, std::size_t size) {
    HKEY key = Open();
    ASSERT_NE(key, nullptr);
    const auto status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS);
  }
  // A string with its terminating zero, as programs usually store one.
  void SetString(const wchar_t* name, std::wstring_view text, DWORD type = REG_SZ) {
    const std::wstring terminated(text);
    SetBytes(name, type, terminated.c_str(), (terminated.size() + 1) * sizeof(wchar_t));
  }
  void SetDword(const wchar_t* name, DWORD value) { SetBytes(name, REG_DWORD, &value, sizeof(value)); }
  void DeleteValue(const wchar_t* name) {
    HKEY key = Open();
    ASSERT_NE(key, nullptr);
    RegDeleteValueW(key, name);
    RegCloseKey(key);
  }
  void DeleteKey() { RegDeleteTreeW(m_root, m_path.c_str()); }

 private:
  struct Value {
    DWORD type;
    std::vector<BYTE> data;
  };

  HKEY Open() const {
    HKEY key = nullptr;
    if (RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      return nullptr;
    }
    return key;
  }

  HKEY m_root;
  std::wstring m_path;
  bool m_existed = false;
  std::map<std::wstring, Value> m_values;
};

// What the class wrote to standard error while reading the advertising id.
std::string AdvertisingIdErrors(WindowsSystemInfo& info, std::string& id) {
  testing::internal::CaptureStderr();
  id = info.AdvertisingId();
  return testing::internal::GetCapturedStderr();
}

// ---------------------------------------------------------------------------
// Windows version

TEST(WindowsSystemInfoVersion, ReportsTheVersionWineIsSetToPretend) {
  SavedRegistryKey wine(HKEY_CURRENT_USER, kWineKey);
  SavedRegistryKey currentVersion(HKEY_LOCAL_MACHINE, kCurrentVersionKey);
  currentVersion.DeleteValue(L"UBR");

  wine.SetString(L"Version", L"win10");
  EXPECT_EQ(Probe()["os_version"], "10.0.18362");
  wine.SetString(L"Version", L"win7");
  EXPECT_EQ(Probe()["os_version"], "6.1.7601");
  wine.SetString(L"Version", L"win81");
  EXPECT_EQ(Probe()["os_version"], "6.3.9600");
}

TEST(WindowsSystemInfoVersion, AppendsTheUpdateBuildRevisionFromTheRegistry) {
  SavedRegistryKey currentVersion(HKEY_LOCAL_MACHINE, kCurrentVersionKey);
  WindowsSystemInfo info;

  currentVersion.DeleteValue(L"UBR");
  const auto base = info.OsVersion();
  ASSERT_TRUE(base.has_value());
  EXPECT_TRUE(std::regex_match(*base, std::regex(R"(\d+\.\d+\.\d+)"))) << *base;

  currentVersion.SetDword(L"UBR", 5247);
  EXPECT_EQ(info.OsVersion(), *base + ".5247");
  currentVersion.SetDword(L"UBR", 0);
  EXPECT_EQ(info.OsVersion(), *base + ".0");
  currentVersion.SetDword(L"UBR", 0x7FFFFFFF);
  EXPECT_EQ(info.OsVersion(), *base + ".2147483647");
}

TEST(WindowsSystemInfoVersion, LeavesOutARevisionThatIsNegativeOrNotANumber) {
  SavedRegistryKey currentVersion(HKEY_LOCAL_MACHINE, kCurrentVersionKey);
  WindowsSystemInfo info;
  currentVersion.DeleteValue(L"UBR");
  const auto base = info.OsVersion();
  ASSERT_TRUE(base.has_value());

  currentVersion.SetDword(L"UBR", 0x80000000);
  EXPECT_EQ(info.OsVersion(), base);
  currentVersion.SetDword(L"UBR", 0xFFFFFFFF);
  EXPECT_EQ(info.OsVersion(), base);
  currentVersion.SetString(L"UBR", L"5");  // four bytes, but text
  EXPECT_EQ(info.OsVersion(), base);
  const std::uint64_t wide = 5247;
  currentVersion.SetBytes(L"UBR", REG_QWORD, &wide, sizeof(wide));
  EXPECT_EQ(info.OsVersion(), base);
}

// ---------------------------------------------------------------------------
// Manufacturer and model

TEST(WindowsSystemInfoBios, ReadsTheManufacturerAndModelStrings) {
  SavedRegistryKey bios(HKEY_LOCAL_MACHINE, kBiosKey);
  WindowsSystemInfo info;

  bios.SetString(L"SystemManufacturer", L"Contoso Ltd.");
  bios.SetString(L"SystemProductName", L"Surface Studio 2+");
  EXPECT_EQ(info.Manufacturer(), "Contoso Ltd.");
  EXPECT_EQ(info.Model(), "Surface Studio 2+");

  bios.SetString(L"SystemManufacturer", L"");
  EXPECT_EQ(info.Manufacturer(), "");
}

TEST(WindowsSystemInfoBios, NarrowsEveryUnitToItsLowByte) {
  SavedRegistryKey bios(HKEY_LOCAL_MACHINE, kBiosKey);
  WindowsSystemInfo info;

  bios.SetString(L"SystemManufacturer", L"Fabricaci\u00f3n \u03a9");  // ó stays Latin-1, Ω (U+03A9) becomes 0xA9
  EXPECT_EQ(info.Manufacturer(), "Fabricaci\xf3n \xa9");
  bios.SetString(L"SystemProductName", L"\u4e2d\u0141");
  EXPECT_EQ(info.Model(), "\x2d\x41");
}

TEST(WindowsSystemInfoBios, ReadsAValueOfAnyTypeWithOrWithoutItsTerminator) {
  SavedRegistryKey bios(HKEY_LOCAL_MACHINE, kBiosKey);
  WindowsSystemInfo info;

  bios.SetString(L"SystemProductName", L"ThinkStation", REG_EXPAND_SZ);
  EXPECT_EQ(info.Model(), "ThinkStation");
  const std::wstring unterminated = L"XPS 13";
  bios.SetBytes(L"SystemProductName", REG_BINARY, unterminated.data(), unterminated.size() * sizeof(wchar_t));
  EXPECT_EQ(info.Model(), "XPS 13");
  // Only the last zero goes: a value of two zero units keeps one.
  const wchar_t zeros[] = {L'A', L'\0', L'\0'};
  bios.SetBytes(L"SystemProductName", REG_BINARY, zeros, sizeof(zeros));
  EXPECT_EQ(info.Model(), std::string("A\0", 2));
}

TEST(WindowsSystemInfoBios, IsEmptyWhenTheValueIsMissingOrNotWholeUnits) {
  SavedRegistryKey bios(HKEY_LOCAL_MACHINE, kBiosKey);
  WindowsSystemInfo info;

  bios.DeleteValue(L"SystemManufacturer");
  bios.DeleteValue(L"SystemProductName");
  EXPECT_EQ(info.Manufacturer(), std::nullopt);
  EXPECT_EQ(info.Model(), std::nullopt);

  const char odd[] = {'A', 0, 'B', 0, 'C'};
  bios.SetBytes(L"SystemProductName", REG_BINARY, odd, sizeof(odd));
  EXPECT_EQ(info.Model(), std::nullopt);
}

// ---------------------------------------------------------------------------
// Volume serial and free space

TEST(WindowsSystemInfoVolume, HardwareIdIsTheSerialOfDriveCInLowerCaseHex) {
  WindowsSystemInfo info;
  DWORD serial = 0;
  ASSERT_TRUE(GetVolumeInformationW(L"C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  const auto id = info.HardwareId();
  ASSERT_TRUE(id.has_value());
  EXPECT_TRUE(std::regex_match(*id, std::regex("[0-9a-f]{1,8}"))) << *id;
  EXPECT_TRUE(id->size() == 1 || id->front() != '0') << *id;
  EXPECT_EQ(std::stoul(*id, nullptr, 16), serial);
}

TEST(WindowsSystemInfoVolume, FreeSpaceIsWhatTheUserMayFillOnDriveC) {
  WindowsSystemInfo info;
  const auto space = info.FreeDiskSpace();
  ASSERT_TRUE(space.bytes.has_value()) << space.error;
  const auto available = fs::space("C:\\").available;
  const std::uint64_t slack = 256ull << 20;  // other programs write meanwhile
  EXPECT_LT(*space.bytes > available ? *space.bytes - available : available - *space.bytes, slack);
  EXPECT_GT(*space.bytes, 0u);
}

// ---------------------------------------------------------------------------
// Power, connection

// The system batteries Linux lists; Wine reads its power status from the same place.
int LinuxBatteries() {
  int count = 0;
  std::error_code ec;
  for (fs::directory_iterator it("Z:\\sys\\class\\power_supply", ec), end; !ec && it != end; it.increment(ec)) {
    std::ifstream type(it->path() / "type");
    std::string line;
    if (std::getline(type, line) && line == "Battery") ++count;
  }
  return count;
}

TEST(WindowsSystemInfoPower, MatchesTheBatteriesOfTheMachine) {
  WindowsSystemInfo info;
  const auto power = info.Power();
  ASSERT_TRUE(power.has_value());
  if (LinuxBatteries() == 0) {
    EXPECT_FALSE(power->batteryPresent);
    EXPECT_EQ(power->percent, std::nullopt);
    EXPECT_FALSE(power->charging);
  } else {
    EXPECT_TRUE(power->batteryPresent);
    ASSERT_TRUE(power->percent.has_value());
    EXPECT_LE(*power->percent, 100);
  }
}

TEST(WindowsSystemInfoPower, PowerSaverIsOffWithoutAnActiveSchemeThatEnablesIt) {
  // Wine has no power schemes: the energy saver setting cannot be read and counts as off.
  WindowsSystemInfo info;
  EXPECT_FALSE(info.IsPowerSaverOn());
}

TEST(WindowsSystemInfoNetwork, ReportsTheConnectionWineSees) {
  // Wine reports a LAN connection whenever asked.
  WindowsSystemInfo info;
  EXPECT_TRUE(info.IsConnected());
}

// ---------------------------------------------------------------------------
// Locale and time zone. Wine fixes both when a process starts, from LC_ALL and
// TZ; ctest runs these cases once for each setting listed here.

// What Wine answers for a setting; a setting without an answer here fails.
std::optional<std::string> ExpectedFor(const char* variable, const std::map<std::string, std::string>& answers) {
  const char* setting = std::getenv(variable);
  if (!setting) return std::nullopt;
  const auto found = answers.find(setting);
  return found == answers.end() ? "(no answer listed for " + std::string(setting) + ")" : found->second;
}

TEST(WindowsSystemInfoSettings, LocaleIsTheNameOfTheUsersLocale) {
  const auto expected = ExpectedFor("LC_ALL", {{"de_DE.UTF-8", "de-DE"},
                                               {"ja_JP.UTF-8", "ja-JP"},
                                               {"pt_BR", "pt-BR"},
                                               {"fr_CA.UTF-8", "fr-CA"}});
  if (!expected) GTEST_SKIP() << "ctest runs this with LC_ALL set";
  EXPECT_EQ(WindowsSystemInfo().Locale(), *expected);
}

TEST(WindowsSystemInfoSettings, TimeZoneIsTheIanaNameOfTheZoneWindowsReports) {
  // Wine takes the first Windows zone with the rules of TZ: Europe/Berlin is
  // Central Europe Standard Time there. Pacific/Kiritimati is Line Islands
  // Standard Time, which the table does not list.
  const auto expected = ExpectedFor("TZ", {{"Asia/Tokyo", "Asia/Tokyo"},
                                           {"America/New_York", "America/New_York"},
                                           {"Asia/Kolkata", "Asia/Kolkata"},
                                           {"Australia/Sydney", "Australia/Sydney"},
                                           {"Europe/London", "Europe/London"},
                                           {"Asia/Kathmandu", "Asia/Kathmandu"},
                                           {"Europe/Berlin", "Europe/Budapest"},
                                           {"Pacific/Kiritimati", "Etc/Unknown"}});
  if (!expected) GTEST_SKIP() << "ctest runs this with TZ set";
  EXPECT_EQ(WindowsSystemInfo().TimeZone(), *expected);
}

// ---------------------------------------------------------------------------
// Advertising id

TEST(WindowsSystemInfoAdvertisingId, ReadsTheIdOfTheUser) {
  SavedRegistryKey advertising(HKEY_CURRENT_USER, kAdvertisingInfoKey);
  WindowsSystemInfo info;
  std::string id;

  advertising.SetString(L"Id", L"9f3c2a8e-5b1d-4e6f-a7c8-0d1e2f3a4b5c");
  EXPECT_EQ(AdvertisingIdErrors(info, id), "");
  EXPECT_EQ(id, "9f3c2a8e-5b1d-4e6f-a7c8-0d1e2f3a4b5c");

  advertising.SetString(L"Id", L"\u00efd-\u03a9-\u4e2d");  // UTF-8, unlike the BIOS strings
  EXPECT_EQ(AdvertisingIdErrors(info, id), "");
  EXPECT_EQ(id, "\xc3\xaf" "d-\xce\xa9-\xe4\xb8\xad");
}

TEST(WindowsSystemInfoAdvertisingId, StopsAtTheFirstZeroAndTakesAFullBufferWithoutOne) {
  SavedRegistryKey advertising(HKEY_CURRENT_USER, kAdvertisingInfoKey);
  WindowsSystemInfo info;
  std::string id;

  const wchar_t twoParts[] = L"first\0second";
  advertising.SetBytes(L"Id", REG_SZ, twoParts, sizeof(twoParts));
  EXPECT_EQ(AdvertisingIdErrors(info, id), "");
  EXPECT_EQ(id, "first");

  // 512 bytes and no terminator (Wine wants room for one in a REG_SZ value).
  const std::wstring full(256, L'x');
  advertising.SetBytes(L"Id", REG_BINARY, full.data(), full.size() * sizeof(wchar_t));
  EXPECT_EQ(AdvertisingIdErrors(info, id), "");
  EXPECT_EQ(id, std::string(256, 'x'));
}

TEST(WindowsSystemInfoAdvertisingId, IsEmptyAndSaysWhyWhenThereIsNone) {
  SavedRegistryKey advertising(HKEY_CURRENT_USER, kAdvertisingInfoKey);
  WindowsSystemInfo info;
  std::string id = "unchanged";

  advertising.DeleteKey();
  EXPECT_EQ(AdvertisingIdErrors(info, id), "Failed to open registry key. Error code: 2\n");
  EXPECT_EQ(id, "");

  advertising.SetString(L"Enabled", L"");
  advertising.DeleteValue(L"Enabled");
  id = "unchanged";
  EXPECT_EQ(AdvertisingIdErrors(info, id), "Failed to read registry value. Error code: 2\n");
  EXPECT_EQ(id, "");

  // Longer than 256 units: the value does not fit the buffer.
  advertising.SetString(L"Id", std::wstring(256, L'y'));
  id = "unchanged";
  EXPECT_EQ(AdvertisingIdErrors(info, id), "Failed to read registry value. Error code: 234\n");
  EXPECT_EQ(id, "");
}

TEST(WindowsSystemInfoAdvertisingId, ReadsTheRegistryAfreshOnEveryCall) {
  SavedRegistryKey advertising(HKEY_CURRENT_USER, kAdvertisingInfoKey);
  WindowsSystemInfo info;
  std::string id;

  advertising.SetString(L"Id", L"one");
  EXPECT_EQ(AdvertisingIdErrors(info, id), "");
  EXPECT_EQ(id, "one");
  advertising.SetString(L"Id", L"two");
  EXPECT_EQ(AdvertisingIdErrors(info, id), "");
  EXPECT_EQ(id, "two");
  advertising.DeleteValue(L"Id");
  EXPECT_EQ(AdvertisingIdErrors(info, id), "Failed to read registry value. Error code: 2\n");
}

TEST(WindowsSystemInfo, IsCreatedThroughThePlatformFactory) {
  const auto info = CreateSystemInfo();
  ASSERT_NE(dynamic_cast<WindowsSystemInfo*>(info.get()), nullptr);
}

}  // namespace
}  // namespace kestrel
