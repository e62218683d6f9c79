// The Windows services against the real system calls under Wine. The program
// carries a version resource (services.rc, file version 2.5.0.17); the probe
// program beside it carries none.
#include <windows.h>
#include <shlwapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "display/CreativeUrl.h"
#include "platform/IFileSystem.h"
#include "platform/IPackageInfo.h"
#include "platform/IProcessInfo.h"
#include "platform/IUrlOpener.h"
#include "platform/LocalTime.h"
#include "platform/Paths.h"
#include "platform/RequestIds.h"
#include "platform/UiLanguage.h"
#include "platform/windows/Utf16.h"
#include "support/Wait.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Unique() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "-" +
         std::to_string(counter++);
}

// A folder of its own under the temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder() : m_path(fs::temp_directory_path() / ("kestrel-svc-" + Unique())) { fs::create_directories(m_path); }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

// The UTF-8 text the SDK uses for a path.
std::string Utf8(const fs::path& path) {
  return ToUtf8(path.wstring());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(Utf8(entry.path().filename()));
  return names;
}

fs::path ModulePath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// --- files ---------------------------------------------------------------

TEST(WindowsFileSystemTest, LocalAppDataIsAnExistingAbsoluteFolderOfTheUser) {
  const std::string folder = CreateFileSystem()->LocalAppDataFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(std::regex_match(folder, std::regex(R"([A-Za-z]:\\[^/]*[^\\/])"))) << folder;
  EXPECT_TRUE(fs::is_directory(fs::path(ToUtf16(folder)))) << folder;
  // The profile set-up names the same folder in the environment.
  const char* variable = std::getenv("LOCALAPPDATA");
  ASSERT_NE(variable, nullptr);
  EXPECT_EQ(fs::path(ToUtf16(folder)), fs::path(ToUtf16(variable)));
}

TEST(WindowsFileSystemTest, ReplaceFileWritesNewAndReplacesOldContentsLeavingNoTemporaryFile) {
  TempFolder folder;
  const fs::path target = folder.Path() / "settings.ke";
  auto files = CreateFileSystem();
  std::string error;

  ASSERT_TRUE(files->ReplaceFile(Utf8(target), "first", error)) << error;
  EXPECT_EQ(ReadFile(target), "first");

  // Bytes go out as they are: no line-end translation, embedded NULs kept.
  const std::string binary("line\r\nnext\nzero\0end\x80\xff", 22);
  ASSERT_TRUE(files->ReplaceFile(Utf8(target), binary, error)) << error;
  EXPECT_EQ(ReadFile(target), binary);

  ASSERT_TRUE(files->ReplaceFile(Utf8(target), "", error)) << error;
  EXPECT_TRUE(fs::exists(target));
  EXPECT_EQ(fs::file_size(target), 0u);

  const std::string large(3 * 1024 * 1024 + 7, 'x');
  ASSERT_TRUE(files->ReplaceFile(Utf8(target), large, error)) << error;
  EXPECT_EQ(ReadFile(target), large);

  EXPECT_EQ(Entries(folder.Path()), std::vector<std::string>{"settings.ke"});
}

TEST(WindowsFileSystemTest, ReplaceFileFailsWithAReasonAndKeepsWhatWasThere) {
  TempFolder folder;
  auto files = CreateFileSystem();

  // The target's folder does not exist.
  std::string error;
  const fs::path missing = folder.Path() / "missing" / "settings.ke";
  EXPECT_FALSE(files->ReplaceFile(Utf8(missing), "new", error));
  EXPECT_NE(error.find("(error 3)"), std::string::npos) << error;  // the path was not found
  EXPECT_FALSE(fs::exists(missing.parent_path()));

  // The target is a folder: it stays, with what is inside it.
  error.clear();
  const fs::path directory = folder.Path() / "settings.ke";
  fs::create_directories(directory);
  WriteFile(directory / "inner.txt", "inner");
  EXPECT_FALSE(files->ReplaceFile(Utf8(directory), "new", error));
  EXPECT_NE(error.find("(error "), std::string::npos) << error;
  EXPECT_NE(error.find("settings.ke"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(directory));
  EXPECT_EQ(ReadFile(directory / "inner.txt"), "inner");

  // The old file is held open by a reader that does not share deletion.
  error.clear();
  const fs::path held = folder.Path() / "held.ke";
  WriteFile(held, "old");
  HANDLE reader = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(files->ReplaceFile(Utf8(held), "new", error));
  CloseHandle(reader);
  EXPECT_NE(error.find("(error "), std::string::npos) << error;
  EXPECT_EQ(ReadFile(held), "old");

  std::set<std::string> names;
  for (const auto& name : Entries(folder.Path())) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"settings.ke", "held.ke"}));  // no temporary file left behind
}

TEST(WindowsFileSystemTest, ReplaceFileTakesUtf8PathsOutsideTheAnsiCodePage) {
  TempFolder folder;
  const fs::path subfolder = folder.Path() / L"K\u00e4se \u65e5\u672c";
  fs::create_directories(subfolder);
  const fs::path target = subfolder / L"\u00e9t\u00e9 \U0001F600.ke";
  std::string error;
  ASSERT_TRUE(CreateFileSystem()->ReplaceFile(Utf8(target), "caf\xc3\xa9", error)) << error;
  EXPECT_EQ(ReadFile(target), "caf\xc3\xa9");
  ASSERT_TRUE(CreateFileSystem()->ReplaceFile(Utf8(target), "second", error)) << error;
  EXPECT_EQ(ReadFile(target), "second");
  EXPECT_EQ(Entries(subfolder), std::vector<std::string>{Utf8(target.filename())});
}

TEST(WindowsPathsTest, PartsAreJoinedWithOneBackslash) {
  EXPECT_EQ(kPathSeparator, '\\');
  EXPECT_EQ(JoinPath("C:\\Users\\me", "TovaneSDK"), "C:\\Users\\me\\TovaneSDK");
}

// --- time, ids, language -------------------------------------------------

TEST(WindowsLocalTimeTest, FollowsTheSystemTimeZone) {
  // The runner sets TZ=Europe/Berlin, from which Wine makes the system time
  // zone. The C runtime would read TZ too, in its own format ("CET-1CEST"),
  // and misread that name; a Windows machine has no TZ, so neither has this test.
  ASSERT_EQ(_putenv("TZ="), 0);
  _tzset();
  struct Case {
    std::time_t moment;
    int hour;
    int isDst;
  };
  // Noon UTC on 2024-01-01 and on 2024-07-01.
  for (const auto& [moment, hour, isDst] : {Case{1704110400, 13, 0}, Case{1719835200, 14, 1}}) {
    const std::tm local = ToLocalTime(moment);
    EXPECT_EQ(local.tm_hour, hour) << moment;
    EXPECT_EQ(local.tm_isdst, isDst) << moment;
    ULARGE_INTEGER ticks{};
    ticks.QuadPart = (static_cast<ULONGLONG>(moment) + 11644473600ULL) * 10000000ULL;
    FILETIME utcFile{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME utc{};
    SYSTEMTIME expected{};
    ASSERT_TRUE(FileTimeToSystemTime(&utcFile, &utc));
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &expected));
    EXPECT_EQ(local.tm_year + 1900, expected.wYear) << moment;
    EXPECT_EQ(local.tm_mon + 1, expected.wMonth) << moment;
    EXPECT_EQ(local.tm_mday, expected.wDay) << moment;
    EXPECT_EQ(local.tm_hour, expected.wHour) << moment;
    EXPECT_EQ(local.tm_min, expected.wMinute) << moment;
    EXPECT_EQ(local.tm_wday, expected.wDayOfWeek) << moment;
  }
}

TEST(WindowsRequestIdsTest, AreLowerCaseVersionFourGuidsWithoutBracesAndDistinct) {
  const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::vector<std::vector<std::string>> made(4);
  std::vector<std::thread> threads;
  for (auto& ids : made) {
    threads.emplace_back([&ids] {
      for (int i = 0; i < 500; ++i) ids.push_back(NewRequestId());
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> distinct;
  for (const auto& ids : made) {
    for (const auto& id : ids) {
      EXPECT_TRUE(std::regex_match(id, form)) << id;
      distinct.insert(id);
    }
  }
  EXPECT_EQ(distinct.size(), 2000u);
}

TEST(WindowsUiLanguageTest, FollowsThePrefixLocale) {
  // The test runs with LANG=de_DE.UTF-8; Wine takes its user interface language from it.
  const char* lang = std::getenv("LANG");
  if (lang == nullptr || std::string(lang).rfind("de_DE", 0) != 0) GTEST_SKIP() << "needs LANG=de_DE.UTF-8";
  EXPECT_EQ(UiLanguageName(), "de-DE");
}

// --- process and package ---------------------------------------------------

struct ProbeReport {
  bool ran = false;
  std::string path, package, version;
};

// Runs the probe program at path and reads its report.
ProbeReport RunProbe(const fs::path& program) {
  ProbeReport report;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return report;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::wstring commandLine = L"\"" + program.wstring() + L"\"";
  const bool started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(writeEnd);
  std::string output;
  if (started) {
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) output.append(buffer, read);
    report.ran = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto equals = line.find('=');
    if (equals != std::string::npos) {
      const std::string key = line.substr(0, equals);
      const std::string value = line.substr(equals + 1);
      if (key == "path") report.path = value;
      if (key == "package") report.package = value;
      if (key == "version") report.version = value;
    }
    start = end + 1;
  }
  return report;
}

fs::path ProbeProgram() {
  return ModulePath().parent_path() / L"windows_services_probe.exe";
}

TEST(WindowsProcessInfoTest, NamesTheRunningProgramAlsoUnderANonAsciiPath) {
  const std::string path = CreateProcessInfo()->ExecutablePath();
  EXPECT_EQ(fs::path(ToUtf16(path)).filename(), fs::path(L"windows_services_tests.exe"));
  EXPECT_TRUE(fs::equivalent(fs::path(ToUtf16(path)), ModulePath())) << path;

  TempFolder folder;
  const fs::path copy = folder.Path() / L"pr\u00fcfung \u65e5\u672c.exe";
  fs::copy_file(ProbeProgram(), copy);
  const ProbeReport report = RunProbe(copy);
  ASSERT_TRUE(report.ran);
  EXPECT_EQ(report.path, Utf8(copy));
}

TEST(WindowsPackageInfoTest, AnUnpackagedProgramHasNoPackageNameAndItsFileVersion) {
  auto package = CreatePackageInfo();
  EXPECT_EQ(package->PackageName(), "");  // the caller then uses the executable's name
  EXPECT_EQ(package->Version(), "2.5.0.17");
}

TEST(WindowsPackageInfoTest, AProgramWithoutVersionResourceHasNoVersion) {
  // The caller then reports "1.0.0.0".
  const ProbeReport report = RunProbe(ProbeProgram());
  ASSERT_TRUE(report.ran);
  EXPECT_EQ(report.path, Utf8(ProbeProgram()));
  EXPECT_EQ(report.package, "");
  EXPECT_EQ(report.version, "");
}

// --- opening urls ---------------------------------------------------------

// A url scheme of this test run whose handler writes the url it was given into a file.
class RecordingScheme {
 public:
  explicit RecordingScheme(const fs::path& record) : m_name(L"kestrel-test-" + ToUtf16(Unique())) {
    const std::wstring command = L"cmd.exe /c echo %1>\"" + record.wstring() + L"\"";
    m_ok = SetValue(m_name, L"", L"URL:Kestrel test") && SetValue(m_name, L"URL Protocol", L"") &&
           SetValue(m_name + L"\\shell\\open\\command", L"", command);
  }
  ~RecordingScheme() { RegDeleteTreeW(HKEY_CLASSES_ROOT, m_name.c_str()); }
  RecordingScheme(const RecordingScheme&) = delete;
  RecordingScheme& operator=(const RecordingScheme&) = delete;

  bool Registered() const { return m_ok; }
  std::string Url(const std::string& rest) const { return ToUtf8(m_name) + ":" + rest; }

 private:
  static bool SetValue(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    const bool ok = RegSetValueExW(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
  }

  std::wstring m_name;
  bool m_ok = false;
};

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

TEST(WindowsUrlOpenerTest, HandsTheUrlToTheShellOnAThreadOfItsOwn) {
  auto opener = CreateUrlOpener();
  EXPECT_TRUE(opener->OpensStoreLinks());

  TempFolder folder;
  const fs::path record = folder.Path() / "opened.txt";
  RecordingScheme scheme(record);
  ASSERT_TRUE(scheme.Registered());
  const std::string url = scheme.Url("pdp/?ProductId=9NBLGGH4NNS1");
  {
    std::string passed = url;  // gone before the shell gets to it
    opener->Open(passed);
    passed.assign(passed.size(), 'X');
  }
  EXPECT_TRUE(test::WaitUntil([&] { return Trimmed(ReadFile(record)) == url; }, 60s)) << ReadFile(record);
}

// --- url cleaning ---------------------------------------------------------

// What the shell's own unescaping makes of text: decoded in place in a buffer
// one longer than the text, read up to the first NUL.
std::string ShellUnescape(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  if (FAILED(UrlUnescapeA(buffer.data(), buffer.data(), &size, 0))) return "<failed>";
  return std::string(buffer.data());
}

std::string Visible(const std::string& text) {
  std::string shown;
  for (const unsigned char c : text) {
    if (c < 0x20 || c >= 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      shown += hex;
    } else {
      shown.push_back(static_cast<char>(c));
    }
  }
  return shown;
}

TEST(CreativeUrlUnescapeTest, DecodesAsTheShellDoes) {
  const std::vector<std::string> inputs = {
      "",
      "plain text",
      "%41",
      "%4",
      "%",
      "abc%",
      "abc%4",
      "%zz",
      "%4g",
      "%g4",
      "%%41",
      "%2541",
      "%41%",
      "% 41",
      "%-1",
      "%+1",
      "%0x1",
      "%00",
      "a%00b",
      "%000",
      "a+b%20c%2B",
      "%e2%82%AC %Ff%fF",
      "%C3%A9t%c3%a9",
      "caf\xc3\xa9 \xe6\x97\xa5",
      "%\xc3\xa9",
      "%7F%0a%0D%09",
      "%u0041",
      "https%3A%2F%2Fapps.microsoft.com%2Fstore%2Fdetail%2Fname%2F9NBLGGH4NNS1%3Fhl%3Den",
      "https://example.com/a%20b?q=%41%42#frag%43",
      "http://a/%2F..%2F%5C",
  };
  int differences = 0;
  for (const auto& input : inputs) {
    const std::string ours = CreativeUrl::Unescape(input);
    const std::string shell = ShellUnescape(input);
    if (ours != shell) ++differences;
    EXPECT_EQ(Visible(ours), Visible(shell)) << "input: " << Visible(input);
  }
  EXPECT_EQ(differences, 0);
}

TEST(CreativeUrlUnescapeTest, KeepsNonAsciiBytesThatWineTakesForHexDigits) {
  // Wine's UrlUnescapeA counts most bytes from 0x90 up as hex digits and
  // decodes "%" with two of them (or with one and an ASCII one) to a line
  // feed, or to NUL for a few, where the text ends. Unescape decodes ASCII hex
  // digits only.
  struct Case {
    std::string input, wine;
  };
  const std::vector<Case> cases = {
      {"%a\xc3", "\n"}, {"%\xc3" "a", "\n"}, {"x%a\xe4y", "x\ny"}, {"x%\xd1" "ay", "x"},
  };
  for (const auto& [input, wine] : cases) {
    EXPECT_EQ(Visible(CreativeUrl::Unescape(input)), Visible(input));
    EXPECT_EQ(Visible(ShellUnescape(input)), Visible(wine)) << "Wine now decodes " << Visible(input) << " differently";
  }
}

}  // namespace
}  // namespace kestrel
