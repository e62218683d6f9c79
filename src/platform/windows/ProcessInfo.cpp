#include <windows.h>

#include <string>

#include "platform/Backend.h"
#include "platform/IProcessInfo.h"
#include "platform/windows/Utf16.h"

namespace kestrel {
namespace {

constexpr DWORD kLongestPath = 32768;

class WindowsProcessInfo : public IProcessInfo {
 public:
  std::string ExecutablePath() override {
    try {
      std::wstring path(MAX_PATH, L'\0');
      for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0) return {};
        if (length < size) {  // a full buffer means the path was cut
          path.resize(length);
          return ToUtf8(path);
        }
        if (size >= kLongestPath) return {};
        path.resize(size * 2);
      }
    } catch (...) {
      return {};
    }
  }
  unsigned long ProcessId() override { return GetCurrentProcessId(); }
};

}  // namespace

std::unique_ptr<IProcessInfo> CreateProcessInfo() {
  return std::make_unique<WindowsProcessInfo>();
}

}  // namespace kestrel
