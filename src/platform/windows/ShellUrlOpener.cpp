#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <exception>
#include <string>
#include <thread>

#include "base/Log.h"
#include "platform/Backend.h"
#include "platform/IUrlOpener.h"
#include "platform/windows/Utf16.h"

namespace kestrel {
namespace {

// The shell may use COM objects for the handler, so the thread gets a
// single-threaded apartment of its own for the call.
void ShellOpen(const std::string& url) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring wide = ToUtf16(url);
  ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (SUCCEEDED(com)) CoUninitialize();
}

class ShellUrlOpener : public IUrlOpener {
 public:
  void Open(const std::string& url) override {
    try {
      std::thread([url] {
        try {
          ShellOpen(url);
        } catch (const std::exception& e) {
          LogException(e);
        } catch (...) {
          LogError("Opening a url failed");
        }
      }).detach();
    } catch (const std::exception& e) {  // no thread could be started
      LogException(e);
    }
  }

  bool OpensStoreLinks() const override { return true; }
};

}  // namespace

std::unique_ptr<IUrlOpener> CreateUrlOpener() {
  return std::make_unique<ShellUrlOpener>();
}

}  // namespace kestrel
