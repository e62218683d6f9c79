// The Windows services and machine facts against the real system calls under
// Wine, with registry values the tests write themselves. The runner starts
// the program with LANG=de_DE.UTF-8 and TZ=Europe/Berlin; it carries a version
// resource (services.rc, 2.5.0.17).
#include "WindowsTest.h"

#include <regex>

#include "platform/Backend.h"
#include "platform/IFileSystem.h"
#include "platform/IPackageInfo.h"
#include "platform/IProcessInfo.h"
#include "platform/IUrlOpener.h"
#include "platform/windows/WindowsSystemInfo.h"

namespace kestrel {
namespace {

using namespace test;

// A registry value, put back as it was (or removed) when the test ends.
struct SavedValue {
  SavedValue(HKEY hive, const wchar_t* path, const wchar_t* value) : root(hive), key(path), name(value) {
    DWORD size = 0;
    existed = RegGetValueW(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) == ERROR_SUCCESS;
    data.resize(size);
    if (existed) RegGetValueW(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size);
  }
  ~SavedValue() { existed ? Set(type, data.data(), data.size()) : Delete(); }
  void Set(DWORD valueType, const void* bytes, std::size_t size) {
    ASSERT_EQ(RegSetKeyValueW(root, key, name, valueType, bytes, static_cast<DWORD>(size)), ERROR_SUCCESS);
  }
  void Delete() { RegDeleteKeyValueW(root, key, name); }

  HKEY root;
  const wchar_t *key, *name;
  bool existed = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};

constexpr wchar_t kAdvertising[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\AdvertisingInfo";

// Each reader takes registry values of its own types and sizes; an empty type deletes the value.
TEST(WindowsSystemInfoTest, RegistryValuesAreReadByTheirTypeAndSize) {
  SavedValue ubr(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"UBR");
  SavedValue model(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\BIOS", L"SystemProductName");
  SavedValue id(HKEY_CURRENT_USER, kAdvertising, L"Id");
  ubr.Delete();
  const auto base = WindowsSystemInfo().OsVersion();
  ASSERT_TRUE(base && std::regex_match(*base, std::regex(R"(\d+\.\d+\.\d+)"))) << base.value_or("none");
  using Read = std::optional<std::string> (*)();
  const Read version = [] { return WindowsSystemInfo().OsVersion(); };
  const Read bios = [] { return WindowsSystemInfo().Model(); };
  const Read adId = [] { return std::optional(WindowsSystemInfo().AdvertisingId()); };
  const auto units = [](const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  };
  const auto z = [&](const std::wstring& text) { return units(text + L'\0'); };
  const struct {
    SavedValue* value;
    Read read;
    DWORD type;
    std::string bytes;
    std::optional<std::string> expected;
  } rows[] = {
      // The update revision ends the version only when it is a DWORD number.
      {&ubr, version, REG_DWORD, std::string("\x7F\x14\0\0", 4), *base + ".5247"},
      {&ubr, version, REG_DWORD, std::string(4, '\0'), *base + ".0"},
      {&ubr, version, REG_DWORD, "\xFF\xFF\xFF\x7F", *base + ".2147483647"},
      {&ubr, version, REG_DWORD, std::string("\0\0\0\x80", 4), *base},
      {&ubr, version, REG_SZ, z(L"5"), *base},
      {&ubr, version, REG_QWORD, std::string("\x7F\x14\0\0\0\0\0\0", 8), *base},
      // BIOS strings of any type, narrowed to the low byte.
      {&model, bios, REG_SZ, z(L"Surface Studio 2+"), "Surface Studio 2+"},
      {&model, bios, REG_SZ, z(L"Fabricaci\u00f3n \u03a9\u4e2d"), "Fabricaci\xf3n \xa9\x2d"},
      {&model, bios, REG_EXPAND_SZ, z(L"ThinkStation"), "ThinkStation"},
      {&model, bios, REG_BINARY, units(L"XPS 13"), "XPS 13"},
      {&model, bios, REG_BINARY, z(std::wstring(L"A\0", 2)), std::string("A\0", 2)},  // only the last zero goes
      {&model, bios, REG_SZ, z(L""), ""},
      {&model, bios, REG_BINARY, std::string("A\0B\0C", 5), std::nullopt},  // not whole units
      {&model, bios, REG_NONE, "", std::nullopt},
      // The advertising id, read afresh, in UTF-8, up to the first zero, and empty when none fits.
      {&id, adId, REG_SZ, z(L"9f3c2a8e-5b1d-4e6f-a7c8-0d1e2f3a4b5c"), "9f3c2a8e-5b1d-4e6f-a7c8-0d1e2f3a4b5c"},
      {&id, adId, REG_SZ, z(L"\u00efd-\u03a9-\u4e2d"), "\xc3\xaf" "d-\xce\xa9-\xe4\xb8\xad"},
      {&id, adId, REG_SZ, z(std::wstring(L"first\0second", 12)), "first"},
      {&id, adId, REG_BINARY, units(std::wstring(256, L'x')), std::string(256, 'x')},  // 512 bytes, no terminator
      {&id, adId, REG_SZ, z(std::wstring(256, L'y')), ""},                            // with its terminator, too long
      {&id, adId, REG_NONE, "", ""},
  };
  for (const auto& row : rows) {
    row.type == REG_NONE ? row.value->Delete() : row.value->Set(row.type, row.bytes.data(), row.bytes.size());
    EXPECT_EQ(row.read(), row.expected) << ToUtf8(row.value->name) << " type " << row.type << " " << row.bytes.size();
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, kAdvertising);
  EXPECT_EQ(WindowsSystemInfo().AdvertisingId(), "");
}

TEST(WindowsSystemInfoTest, MachineFactsAndIdsInOurFormats) {
  WindowsSystemInfo info;
  DWORD serial = 0;
  ASSERT_TRUE(GetVolumeInformationW(L"C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  const auto id = info.HardwareId();
  ASSERT_TRUE(id && std::regex_match(*id, std::regex("[1-9a-f][0-9a-f]{0,7}|0"))) << id.value_or("none");
  EXPECT_EQ(std::stoul(*id, nullptr, 16), serial);
  EXPECT_EQ(info.Locale(), "de-DE");
  EXPECT_EQ(UiLanguageName(), "de-DE");
  // Wine takes the first Windows zone with Berlin's rules; its IANA name is in Europe.
  EXPECT_TRUE(info.TimeZone().value_or("").starts_with("Europe/")) << info.TimeZone().value_or("none");
  const std::string id1 = NewRequestId();
  EXPECT_TRUE(std::regex_match(id1, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")));
  EXPECT_NE(id1, NewRequestId());
}

// Wine has no icu.dll, so TimeZone() above answers from the table; here a
// lookup of the test's stands in for ICU, knowing one zone the table lacks.
TEST(WindowsSystemInfoTest, TimeZoneIsIcusNameElseTheTables) {
  const IcuZoneLookup perth = [](const wchar_t* key, std::int32_t length, const char* region, wchar_t* id, std::int32_t,
                                 int*) {
    const std::wstring_view name = L"Australia/Perth";
    if (region || std::wstring_view(key, static_cast<std::size_t>(length)) != L"W. Australia Standard Time") return 0;
    return static_cast<std::int32_t>(name.copy(id, name.size()));
  };
  const IcuZoneLookup failing = [](const wchar_t*, std::int32_t, const char*, wchar_t* id, std::int32_t, int* status) {
    *id = L'?';
    *status = 1;  // U_ILLEGAL_ARGUMENT_ERROR
    return 1;
  };
  const struct {
    IcuZoneLookup icu;
    std::wstring key;
    std::string expected;
  } rows[] = {
      {perth, L"W. Australia Standard Time", "Australia/Perth"},
      {perth, L"W. Europe Standard Time", "Europe/Berlin"},  // ICU has no name
      {failing, L"W. Europe Standard Time", "Europe/Berlin"},
      {nullptr, L"W. Australia Standard Time", "Etc/Unknown"},
  };
  for (const auto& row : rows) {
    std::wstring key = row.key;
    key.resize(128);  // as GetDynamicTimeZoneInformation fills it
    EXPECT_EQ(IanaTimeZone(key, row.icu), row.expected) << ToUtf8(row.key);
  }
}

TEST(WindowsServicesTest, ReplaceFileWritesWholeOrKeepsWhatWasThere) {
  test::TempDir folder;
  const fs::path sub = folder.Path() / L"K\u00e4se \u65e5\u672c";
  fs::create_directories(sub / "settings.ke" / "inside");  // a folder where the file should go
  auto files = CreateFileSystem();
  const std::string binary("line\r\nnext\nzero\0end\x80\xff", 22);
  const fs::path target = sub / L"\u00e9t\u00e9 \U0001F600.ke";
  for (const std::string& contents : {std::string("first"), binary, std::string(), std::string(3'000'007, 'x')}) {
    std::string error;
    ASSERT_TRUE(files->ReplaceFile(Utf8(target), contents, error)) << error;
    EXPECT_EQ(ReadFile(target), contents);
  }
  // The old file held open by a reader that does not share deletion.
  const fs::path held = sub / "held.ke";
  std::ofstream(held) << "old";
  HANDLE reader = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  for (const fs::path& refused : {sub / "missing" / "settings.ke", sub / "settings.ke", held}) {
    std::string error;
    EXPECT_FALSE(files->ReplaceFile(Utf8(refused), "new", error)) << Utf8(refused);
    EXPECT_NE(error.find("(error "), std::string::npos) << error;
  }
  CloseHandle(reader);
  EXPECT_EQ(ReadFile(held), "old");
  EXPECT_TRUE(fs::is_directory(sub / "settings.ke" / "inside"));
  std::set<fs::path> names;
  for (const auto& entry : fs::directory_iterator(sub)) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<fs::path>{target.filename(), "settings.ke", "held.ke"})) << "a temporary file was left";
}

// A lock shuts out every other handle, this process's too, keeps its file from being deleted, and goes with its handle.
TEST(WindowsServicesTest, FileLockIsExclusiveUntilReleased) {
  test::TempDir folder;
  const std::string path = Utf8(folder.Path() / L"\u00e9t\u00e9.lock");
  auto files = CreateFileSystem();
  std::string error;
  auto lock = files->TryLockFile(path, error);
  ASSERT_TRUE(lock) << error;
  EXPECT_FALSE(files->TryLockFile(path, error));
  EXPECT_EQ(error, "");
  EXPECT_FALSE(DeleteFileW(ToUtf16(path).c_str()));
  lock.reset();
  EXPECT_TRUE(files->TryLockFile(path, error)) << error;
}

TEST(WindowsServicesTest, ProcessAndPackageNameTheProgramAndItsFileVersion) {
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  EXPECT_TRUE(fs::equivalent(fs::path(ToUtf16(CreateProcessInfo()->ExecutablePath())), program));
  EXPECT_EQ(CreatePackageInfo()->PackageName(), "");  // not packaged
  EXPECT_EQ(CreatePackageInfo()->Version(), "2.5.0.17");
}

TEST(WindowsServicesTest, UrlOpenerHandsACopyOfTheUrlToTheShell) {
  // A url scheme of this run whose handler writes the url it gets into a file.
  test::TempDir folder;
  const fs::path record = folder.Path() / "opened.txt";
  const std::wstring scheme = L"kestrel-test-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring command = L"cmd.exe /c echo %1>\"" + record.wstring() + L"\"";
  for (const auto& [key, name, value] : {std::tuple{scheme, L"", std::wstring(L"URL:Kestrel test")},
                                        {scheme, L"URL Protocol", L""}, {scheme + L"\\shell\\open\\command", L"", command}}) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), *name ? name : nullptr, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  auto opener = CreateUrlOpener();
  EXPECT_TRUE(opener->OpensStoreLinks());
  const std::string url = ToUtf8(scheme) + ":pdp/?ProductId=9NBLGGH4NNS1";
  {
    std::string passed = url;  // gone before the shell gets to it
    opener->Open(passed);
    passed.assign(passed.size(), 'X');
  }
  EXPECT_TRUE(test::WaitUntil([&] { return ReadFile(record).starts_with(url + "\r"); }, 60s)) << ReadFile(record);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme.c_str());
}

}  // namespace
}  // namespace kestrel
