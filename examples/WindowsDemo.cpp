// The demo publisher on Windows: a Win32 window with buttons to initialise the
// SDK, load an ad and play it, and a list of what the SDK reported.
//
//   kestrel-demo-windows.exe [CONFIG_BASE_URL]
//
// CONFIG_BASE_URL is the ad server's base URL (the local ad server prints it
// when it starts); without one the SDK asks the ad network.
#include <windows.h>

#include <future>
#include <string>

#include "kestrel/KestrelAds.h"

namespace {

using namespace kestrel;

constexpr char kAppId[] = "kestrel-demo";
constexpr char kPlacement[] = "rewarded_video";
enum Control { kInitialise = 1, kLoad, kPlay, kLog };

HWND g_window = nullptr;
HWND g_log = nullptr;
std::string g_baseUrl;
KestrelAds* g_ads = nullptr;
std::future<KestrelAds*> g_initialising;

std::wstring Wide(const std::string& text) {
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(units > 0 ? static_cast<std::size_t>(units) : 1u, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), units);
  wide.pop_back();
  return wide;
}

// The SDK calls back on this window's thread; a line in the list for each.
void Note(const std::string& what, const std::string& detail = {}) {
  const std::wstring line = Wide(detail.empty() ? what : what + ": " + detail);
  const LRESULT index = SendMessageW(g_log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  SendMessageW(g_log, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

void Initialise() {
  if (g_ads || g_initialising.valid()) return;
  KestrelSdkConfig config;
  config.ConfigBaseUrl = g_baseUrl;
  InitializationCallback callback{[](InitializationSuccessEventArgs) { Note("Initialised"); },
                                  [](InitializationFailureEventArgs args) { Note("Initialisation failed", args.Message); }};
  Note("InitializeAsync", g_baseUrl.empty() ? "the ad network" : g_baseUrl);
  g_initialising = KestrelAds::InitializeAsync(kAppId, config, g_window, callback);
  SetTimer(g_window, 1, 100, nullptr);  // polls the future without blocking the window
}

void Load() {
  if (!g_ads) return Note("Initialise first");
  AdLoadCallback callback{[](AdLoadEventArgs args) { Note("Loaded", args.PlacementId); },
                          [](AdLoadEventArgs args) { Note("Load failed", args.Message); }};
  if (!g_ads->LoadAd(kPlacement, callback)) Note("LoadAd refused the request");
}

void Play() {
  if (!g_ads) return Note("Initialise first");
  AdPlayCallback callback;
  callback.OnAdStart = [](AdPlayEventArgs args) { Note("Started", args.Message); };
  callback.OnAdRewarded = [](AdPlayEventArgs args) { Note("Rewarded", args.Message); };
  callback.OnAdClick = [](AdPlayEventArgs args) { Note("Clicked", args.Message); };
  callback.OnAdEnd = [](AdPlayEventArgs args) { Note("Ended", args.Message); };
  callback.OnAdPlayFailure = [](AdPlayEventArgs args) { Note("Play failed", args.Message); };
  const KestrelAdPlayInfo info = g_ads->PlayAd(kPlacement, callback);
  Note("PlayAd", info.Success ? "playing" : info.Message);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      const wchar_t* labels[] = {L"Initialise", L"Load", L"Play"};
      for (int i = 0; i < 3; ++i) {
        CreateWindowExW(0, L"BUTTON", labels[i], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10 + 110 * i, 10, 100, 30,
                        window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInitialise + i)), nullptr, nullptr);
      }
      g_log = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                              10, 50, 600, 400, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLog)), nullptr,
                              nullptr);
      return 0;
    }
    case WM_SIZE:
      MoveWindow(g_log, 10, 50, LOWORD(lParam) - 20, HIWORD(lParam) - 60, TRUE);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kInitialise) Initialise();
      if (LOWORD(wParam) == kLoad) Load();
      if (LOWORD(wParam) == kPlay) Play();
      return 0;
    case WM_TIMER:
      if (g_initialising.valid() && g_initialising.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        KillTimer(window, 1);
        try {
          g_ads = g_initialising.get();
        } catch (const std::exception& e) {
          Note("InitializeAsync failed", e.what());
        }
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_baseUrl = argv[1];
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"KestrelDemoPublisher";
  RegisterClassExW(&windowClass);
  g_window = CreateWindowExW(0, windowClass.lpszClassName, L"Kestrel demo publisher", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!g_window) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
