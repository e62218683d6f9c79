#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/Backend.h"
#include "platform/IFileSystem.h"
#include "platform/windows/Utf16.h"

namespace kestrel {
namespace {

// The system's text for an error code, and the code itself.
std::string ErrorText(const std::string& what, DWORD code) {
  std::string text = what + ": ";
  wchar_t* message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  if (length > 0 && message != nullptr) {
    std::wstring_view view(message, length);
    while (!view.empty() && (view.back() == L'\r' || view.back() == L'\n' || view.back() == L' ' ||
                             view.back() == L'.')) {
      view.remove_suffix(1);
    }
    text += ToUtf8(view) + " ";
  }
  if (message != nullptr) LocalFree(message);
  return text + "(error " + std::to_string(code) + ")";
}

// A name beside the target that no other writer in this or another process picks.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + ".tmp";
}

bool WriteAll(HANDLE file, const std::string& contents) {
  std::size_t written = 0;
  while (written < contents.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - written, 1u << 30));
    DWORD done = 0;
    if (!WriteFile(file, contents.data() + written, chunk, &done, nullptr) || done == 0) return false;
    written += done;
  }
  return true;
}

// LockFileEx on the file's first byte: bound to the handle, and released by
// the system when the handle closes, the process's own at its end included.
class WindowsFileLock : public IFileLock {
 public:
  explicit WindowsFileLock(HANDLE file) : m_file(file) {}
  ~WindowsFileLock() override { CloseHandle(m_file); }
  WindowsFileLock(const WindowsFileLock&) = delete;
  WindowsFileLock& operator=(const WindowsFileLock&) = delete;

 private:
  HANDLE m_file;
};

class WindowsFileSystem : public IFileSystem {
 public:
  std::string LocalAppDataFolder() override {
    try {
      wchar_t* folder = nullptr;
      const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder);
      std::string path = SUCCEEDED(result) && folder != nullptr ? ToUtf8(folder) : std::string();
      CoTaskMemFree(folder);
      return path;
    } catch (...) {
      return {};
    }
  }

  // A new file beside the target, written and flushed, then moved over it.
  bool ReplaceFile(const std::string& path, const std::string& contents, std::string& error) override {
    try {
      const std::string temp = TemporaryName(path);
      const std::wstring tempWide = ToUtf16(temp);
      HANDLE file = CreateFileW(tempWide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        error = ErrorText("can't create " + temp, GetLastError());
        return false;
      }
      bool ok = WriteAll(file, contents);
      if (!ok) error = ErrorText("can't write " + temp, GetLastError());
      if (ok && !FlushFileBuffers(file)) {
        ok = false;
        error = ErrorText("can't flush " + temp, GetLastError());
      }
      if (!CloseHandle(file) && ok) {
        ok = false;
        error = ErrorText("can't close " + temp, GetLastError());
      }
      if (ok && !MoveFileExW(tempWide.c_str(), ToUtf16(path).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = ErrorText("can't move " + temp + " to " + path, GetLastError());
      }
      if (!ok) DeleteFileW(tempWide.c_str());
      return ok;
    } catch (const std::exception& e) {
      error = e.what();
      return false;
    }
  }

  // Opened without sharing deletion, so that a held lock file cannot be removed.
  std::unique_ptr<IFileLock> TryLockFile(const std::string& path, std::string& error) override {
    try {
      HANDLE file = CreateFileW(ToUtf16(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        error = ErrorText("can't open " + path, GetLastError());
        return nullptr;
      }
      OVERLAPPED start{};
      if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
        return std::make_unique<WindowsFileLock>(file);
      }
      const DWORD code = GetLastError();
      error = code == ERROR_LOCK_VIOLATION ? std::string() : ErrorText("can't lock " + path, code);
      CloseHandle(file);
      return nullptr;
    } catch (const std::exception& e) {
      error = e.what();
      return nullptr;
    }
  }
};

}  // namespace

std::unique_ptr<IFileSystem> CreateFileSystem() {
  return std::make_unique<WindowsFileSystem>();
}

}  // namespace kestrel
