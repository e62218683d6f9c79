#include <windows.h>

#include <stdexcept>
#include <string>

#include "support/TempDir.h"

namespace kestrel::test {
namespace {

// Where the shell keeps the current user's Local AppData folder; the known-folder
// call reads it afresh each time.
constexpr wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kLocalAppData[] = L"Local AppData";

void SetFolder(const std::wstring& path) {
  const LSTATUS status =
      RegSetKeyValueW(HKEY_CURRENT_USER, kShellFolders, kLocalAppData, REG_EXPAND_SZ, path.c_str(),
                      static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set Local AppData: " + std::to_string(status));
}

}  // namespace

ScopedDataHome::ScopedDataHome() {
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kShellFolders, kLocalAppData, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                   nullptr, &bytes) == ERROR_SUCCESS) {
    std::wstring previous(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_CURRENT_USER, kShellFolders, kLocalAppData, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, previous.data(), &bytes) == ERROR_SUCCESS) {
      previous.resize(previous.find(L'\0') == std::wstring::npos ? previous.size() : previous.find(L'\0'));
      m_previous = previous;
      m_hadPrevious = true;
    }
  }
  SetFolder(m_dir.Path().wstring());
}

ScopedDataHome::~ScopedDataHome() {
  if (m_hadPrevious) {
    try {
      SetFolder(m_previous.wstring());
    } catch (const std::exception&) {
    }
  } else {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellFolders, kLocalAppData);
  }
}

}  // namespace kestrel::test
