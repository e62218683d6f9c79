#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "platform/IPackageInfo.h"

namespace kestrel {
namespace {

// The package records of the application model, as kernel32 lays them out.
struct PackageVersion {
  std::uint16_t revision;
  std::uint16_t build;
  std::uint16_t minor;
  std::uint16_t major;
};

struct PackageId {
  UINT32 reserved;
  UINT32 processorArchitecture;
  PackageVersion version;
  PWSTR name;
  PWSTR publisher;
  PWSTR resourceId;
  PWSTR publisherId;
};

struct PackageRecord {
  UINT32 reserved;
  UINT32 flags;
  PWSTR path;
  PWSTR packageFullName;
  PWSTR packageFamilyName;
  PackageId packageId;
};

using GetCurrentPackageFullNameFn = LONG(WINAPI*)(UINT32* length, PWSTR fullName);
using GetCurrentPackageInfoFn = LONG(WINAPI*)(UINT32 flags, UINT32* bufferLength, BYTE* buffer, UINT32* count);

constexpr UINT32 kPackageFilterHead = 0x10;

// Older systems (and Wine) may not have the application-model calls.
template <typename Fn>
Fn Kernel32Function(const char* name) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

std::string JoinVersion(unsigned major, unsigned minor, unsigned build, unsigned revision) {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build) + "." +
         std::to_string(revision);
}

std::string PackageFullName() {
  const auto getFullName = Kernel32Function<GetCurrentPackageFullNameFn>("GetCurrentPackageFullName");
  if (getFullName == nullptr) return {};
  UINT32 length = 0;
  if (getFullName(&length, nullptr) != ERROR_INSUFFICIENT_BUFFER || length == 0) return {};  // no package identity
  std::vector<wchar_t> buffer(length);
  if (getFullName(&length, buffer.data()) != ERROR_SUCCESS) return {};
  std::string name;
  for (UINT32 i = 0; i < length && i < buffer.size() && buffer[i] != L'\0'; ++i) {
    name.push_back(static_cast<char>(buffer[i] & 0xFF));  // package names are plain ASCII
  }
  return name;
}

std::string PackageVersionText() {
  const auto getInfo = Kernel32Function<GetCurrentPackageInfoFn>("GetCurrentPackageInfo");
  if (getInfo == nullptr) return {};
  UINT32 size = 0;
  UINT32 count = 0;
  if (getInfo(kPackageFilterHead, &size, nullptr, &count) != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  // Whole records, so that the first one is aligned whatever size is reported.
  std::vector<PackageRecord> buffer((size + sizeof(PackageRecord) - 1) / sizeof(PackageRecord));
  if (getInfo(kPackageFilterHead, &size, reinterpret_cast<BYTE*>(buffer.data()), &count) != ERROR_SUCCESS ||
      count == 0) {
    return {};
  }
  const PackageRecord& head = buffer.front();
  if (head.packageId.name == nullptr || head.packageId.name[0] == L'\0') return {};
  const PackageVersion& version = head.packageId.version;
  return JoinVersion(version.major, version.minor, version.build, version.revision);
}

std::string FileVersionText() {
  char path[MAX_PATH]{};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return {};
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoA(path, 0, size, data.data())) return {};
  void* block = nullptr;
  UINT blockSize = 0;
  if (!VerQueryValueA(data.data(), "\\", &block, &blockSize) || block == nullptr ||
      blockSize < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(block);
  return JoinVersion(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                     LOWORD(info->dwFileVersionLS));
}

// The caller falls back to the executable's name and to "1.0.0.0".
class WindowsPackageInfo : public IPackageInfo {
 public:
  std::string PackageName() override {
    try {
      return PackageFullName();
    } catch (...) {
      return {};
    }
  }

  std::string Version() override {
    try {
      std::string version = PackageVersionText();
      return version.empty() ? FileVersionText() : version;
    } catch (...) {
      return {};
    }
  }
};

}  // namespace

std::unique_ptr<IPackageInfo> CreatePackageInfo() {
  return std::make_unique<WindowsPackageInfo>();
}

}  // namespace kestrel
