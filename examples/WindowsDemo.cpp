// The demo publisher on Windows: a Win32 window with buttons to initialise the
// SDK, load an ad and play it, and a list of what the SDK reported.
//
//   kestrel-demo-windows.exe [--auto] [CONFIG_BASE_URL]
//
// CONFIG_BASE_URL is the ad server's base URL (the local ad server prints it
// when it starts); without one the SDK asks the ad network. --auto presses the
// buttons itself and exits once the ad has started: 0, or 1 when something
// failed, 2 when nothing happened within a minute.
#include <windows.h>

#include <cstdio>
#include <future>
#include <memory>
#include <string>

#include "kestrel/KestrelAds.h"

namespace {

using namespace kestrel;

constexpr char kAppId[] = "kestrel-demo";
constexpr char kPlacement[] = "rewarded_video";
enum Control { kInitialise = 1, kLoad, kPlay, kLog };
enum Timer { kPollInitialisation = 1, kDeadline };
enum Posted { kNote = WM_APP, kQuit };

HWND g_window = nullptr;
HWND g_log = nullptr;
std::string g_baseUrl;
bool g_auto = false;
KestrelAds* g_ads = nullptr;
std::future<KestrelAds*> g_initialising;

std::wstring Wide(const std::string& text) {
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(units > 0 ? static_cast<std::size_t>(units) : 1u, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), units);
  wide.pop_back();
  return wide;
}

// A line in the list. The SDK may call back on threads of its own (and the
// window's thread may be waiting in the SDK), so the line goes by the queue.
void Note(const std::string& what, const std::string& detail = {}) {
  const std::string line = detail.empty() ? what : what + ": " + detail;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  PostMessageW(g_window, kNote, 0, reinterpret_cast<LPARAM>(new std::wstring(Wide(line))));
}

// In --auto mode: the next button, or the end of the run.
void Then(Control next) {
  if (g_auto) PostMessageW(g_window, WM_COMMAND, next, 0);
}
void Finish(int code) {
  if (g_auto) PostMessageW(g_window, kQuit, static_cast<WPARAM>(code), 0);
}

void Initialise() {
  if (g_ads || g_initialising.valid()) return;
  KestrelSdkConfig config;
  config.ConfigBaseUrl = g_baseUrl;
  InitializationCallback callback{[](InitializationSuccessEventArgs) { Note("Initialised"); },
                                  [](InitializationFailureEventArgs args) {
                                    Note("Initialisation failed", args.Message);
                                    Finish(1);
                                  }};
  Note("InitializeAsync", g_baseUrl.empty() ? "the ad network" : g_baseUrl);
  g_initialising = KestrelAds::InitializeAsync(kAppId, config, g_window, callback);
  SetTimer(g_window, kPollInitialisation, 100, nullptr);  // polls the future without blocking the window
}

void Load() {
  if (!g_ads) return Note("Initialise first");
  AdLoadCallback callback{[](AdLoadEventArgs args) {
                            Note("Loaded", args.PlacementId);
                            Then(kPlay);
                          },
                          [](AdLoadEventArgs args) {
                            Note("Load failed", args.Message);
                            Finish(1);
                          }};
  Note("LoadAd", kPlacement);
  if (!g_ads->LoadAd(kPlacement, callback)) Note("LoadAd refused the request");
}

void Play() {
  if (!g_ads) return Note("Initialise first");
  AdPlayCallback callback;
  callback.OnAdStart = [](AdPlayEventArgs args) {
    Note("Started", args.Message);
    Finish(0);
  };
  callback.OnAdRewarded = [](AdPlayEventArgs args) { Note("Rewarded", args.Message); };
  callback.OnAdClick = [](AdPlayEventArgs args) { Note("Clicked", args.Message); };
  callback.OnAdEnd = [](AdPlayEventArgs args) { Note("Ended", args.Message); };
  callback.OnAdPlayFailure = [](AdPlayEventArgs args) {
    Note("Play failed", args.Message);
    Finish(1);
  };
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
      if (wParam == kDeadline) Finish(2);
      if (wParam == kPollInitialisation && g_initialising.valid() && g_initialising.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        KillTimer(window, kPollInitialisation);
        try {
          g_ads = g_initialising.get();
        } catch (const std::exception& e) {
          Note("InitializeAsync failed", e.what());
        }
        if (g_ads) Then(kLoad);
      }
      return 0;
    case kNote: {
      const std::unique_ptr<std::wstring> line(reinterpret_cast<std::wstring*>(lParam));
      const LRESULT index = SendMessageW(g_log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line->c_str()));
      SendMessageW(g_log, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
      return 0;
    }
    case kQuit:
      PostQuitMessage(static_cast<int>(wParam));
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
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--auto") {
      g_auto = true;
    } else {
      g_baseUrl = arg;
    }
  }
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
  if (g_auto) {
    SetTimer(g_window, kDeadline, 60000, nullptr);
    Then(kInitialise);
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
