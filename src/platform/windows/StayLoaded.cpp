#include <windows.h>

#include "platform/Backend.h"
#include "platform/windows/Win32OverlayWindow.h"

namespace kestrel {

void StayLoaded() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&StayLoaded), &module);
}

}  // namespace kestrel

// A DLL freed before the SDK started takes its window classes along: a class
// left behind would keep a window procedure that is gone.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && !reserved) kestrel::Win32OverlayWindow::UnregisterClasses();
  return TRUE;
}
