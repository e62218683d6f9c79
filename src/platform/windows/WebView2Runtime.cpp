#include "platform/windows/WebView2Runtime.h"

#include <utility>
#include <vector>

#include "base/Log.h"
#include "platform/windows/Utf16.h"

namespace kestrel {
namespace {

constexpr wchar_t kFolderVariable[] = L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER";
constexpr wchar_t kClientState[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kLibrary[] = L"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";
constexpr char kEntryPoint[] = "CreateWebViewEnvironmentWithOptionsInternal";
constexpr char kMissing[] =
    "the WebView2 runtime is not installed. Windows 10 and 11 come with it (the Evergreen runtime); "
    "get it from https://developer.microsoft.com/microsoft-edge/webview2/ or name a fixed-version runtime's "
    "folder in WEBVIEW2_BROWSER_EXECUTABLE_FOLDER.";

std::wstring Variable(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

// The runtime folder EdgeUpdate recorded under the root, or empty.
std::wstring RegisteredFolder(HKEY root) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, kClientState, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) return {};
  DWORD type = 0;
  DWORD bytes = 0;
  std::wstring folder;
  if (RegQueryValueExW(key, L"EBWebView", nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_SZ &&
      bytes >= sizeof(wchar_t)) {
    std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, L"EBWebView", nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &bytes) ==
        ERROR_SUCCESS) {
      folder = value.data();
    }
  }
  RegCloseKey(key);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

std::string LastPart(const std::wstring& folder) {
  const auto slash = folder.find_last_of(L"\\/");
  return ToUtf8(slash == std::wstring::npos ? folder : folder.substr(slash + 1));
}

}  // namespace

const WebView2Runtime* WebView2Runtime::Find(std::string& failure) {
  static const WebView2Runtime* found = nullptr;  // with its library, kept for good
  if (found) return found;

  int type = 1;
  std::wstring folder = Variable(kFolderVariable);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  if (folder.empty()) {
    type = 0;
    folder = RegisteredFolder(HKEY_LOCAL_MACHINE);
    if (folder.empty()) folder = RegisteredFolder(HKEY_CURRENT_USER);
  }
  if (folder.empty()) {
    failure = kMissing;
    return nullptr;
  }
  const std::wstring library = folder + kLibrary;
  HMODULE module = LoadLibraryExW(library.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    failure = "the WebView2 runtime could not be loaded from " + ToUtf8(library) + " (error " +
              std::to_string(GetLastError()) + ").";
    return nullptr;
  }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
  auto create = reinterpret_cast<webview2::CreateWebViewEnvironmentWithOptionsInternal>(
      GetProcAddress(module, kEntryPoint));
#pragma GCC diagnostic pop
  if (!create) {
    FreeLibrary(module);
    failure = "the WebView2 runtime in " + ToUtf8(folder) + " has no " + kEntryPoint + ".";
    return nullptr;
  }
  LogInfo("WebView2 runtime: " + ToUtf8(library));
  found = new WebView2Runtime(create, type, LastPart(folder));
  return found;
}

HRESULT WebView2Runtime::CreateEnvironment(
    const std::wstring& userDataFolder,
    webview2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) const {
  return m_create(1, m_type, userDataFolder.c_str(), nullptr, handler);
}

}  // namespace kestrel
