#include "platform/windows/Win32OverlayWindow.h"

#include <atomic>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#include "base/Guarded.h"
#include "base/Log.h"
#include "platform/Backend.h"

namespace kestrel {
namespace {

constexpr const wchar_t* kOverlayClass = L"TovaneOverlayWndClass";
constexpr const wchar_t* kOverlayTitle = L"Overlay Window";
constexpr const wchar_t* kQueueClass = L"KestrelWindowThreadQueue";
constexpr const wchar_t* kCloseControlClass = L"KestrelCloseControl";
constexpr UINT kRunQueuedWork = WM_APP + 1;
constexpr int kCloseControlSize = 36;
constexpr int kCloseControlMargin = 12;

// Touched on the window thread only.
HWND g_overlay = nullptr;  // the newest overlay window
std::vector<HWND> g_overlays;  // every overlay window not yet destroyed
HWINEVENTHOOK g_hook = nullptr;  // follows the publisher window while an overlay exists
std::atomic<bool> g_overlayClass{false}, g_queueClass{false}, g_closeControlClass{false};  // registered

// Nothing an event handler or queued work throws crosses the window procedure.
template <typename Handler>
void Guarded(Handler&& handler) {
  RunLogged("Unknown exception on the window thread.", std::forward<Handler>(handler));
}

// Work for the window thread, run by a message-only window on that thread.
// The work waits in this queue rather than in the messages, so none is lost
// with a message queue that goes away. Created once, never destroyed.
struct WindowThreadQueue {
  std::mutex mutex;
  HWND window = nullptr;                   // guarded by mutex
  DWORD thread = 0;                        // guarded by mutex
  std::deque<std::function<void()>> work;  // guarded by mutex
};

WindowThreadQueue& Queue() {
  static auto* queue = new WindowThreadQueue;
  return *queue;
}

// Runs queued work in order until the queue is empty, while `window` is the
// queue's window (or always, for a null window).
void RunQueuedWork(HWND window) {
  WindowThreadQueue& queue = Queue();
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(queue.mutex);
      if ((window && queue.window != window) || queue.work.empty()) return;
      work = std::move(queue.work.front());
      queue.work.pop_front();
    }
    Guarded(work);
  }
}

LRESULT CALLBACK QueueWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRunQueuedWork:
      RunQueuedWork(window);
      return 0;
    case WM_DESTROY: {
      // The thread is ending (or has handed the queue to another thread):
      // what is still queued runs here, while this is the window thread.
      RunQueuedWork(window);
      std::lock_guard lock(Queue().mutex);
      if (Queue().window == window) {
        Queue().window = nullptr;
        Queue().thread = 0;
      }
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The module this code is in (the SDK's DLL, or the program it is linked
// into): window classes belong to the module of their window procedure.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// Registers a window class unless this process already has it.
void RegisterOnce(std::atomic<bool>& registered, const WNDCLASSEXW& windowClass) {
  if (registered) return;
  if (RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) registered = true;
}

// Makes the calling thread, which owns the publisher window, the one that
// runs queued work.
void AttachQueueToThisThread() {
  WindowThreadQueue& queue = Queue();
  const DWORD thread = GetCurrentThreadId();
  HWND previous = nullptr;
  {
    std::lock_guard lock(queue.mutex);
    if (queue.window && queue.thread == thread && IsWindow(queue.window)) return;
    previous = queue.window;
  }
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = QueueWindowProc;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = kQueueClass;
  RegisterOnce(g_queueClass, windowClass);
  HWND window =
      CreateWindowExW(0, kQueueClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
  if (!window) {
    LogWarn("Failed to create the window thread's work queue window.");
    return;
  }
  bool pending = false;
  {
    std::lock_guard lock(queue.mutex);
    queue.window = window;
    queue.thread = thread;
    pending = !queue.work.empty();
  }
  // A queue window left on another thread is retired there.
  if (previous && previous != window && IsWindow(previous)) PostMessageW(previous, WM_CLOSE, 0, 0);
  if (pending) PostMessageW(window, kRunQueuedWork, 0, 0);
}

}  // namespace

Win32OverlayWindow::Win32OverlayWindow(HWND owner, Events events) : m_owner(owner), m_events(std::move(events)) {}

std::unique_ptr<Win32OverlayWindow> Win32OverlayWindow::Create(HWND owner, Events events) {
  if (!IsLiveWindow(owner) || !IsWindowThread(owner)) return nullptr;
  AttachQueueToThisThread();

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = 0;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = kOverlayClass;  // no icon, cursor, background brush or menu
  RegisterOnce(g_overlayClass, windowClass);

  std::unique_ptr<Win32OverlayWindow> overlay(new Win32OverlayWindow(owner, std::move(events)));
  // The owner makes it an owned popup: above the publisher window, not its child.
  HWND window = CreateWindowExW(0, kOverlayClass, kOverlayTitle, WS_POPUP | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, ThisModule(), overlay.get());
  if (!window) return nullptr;
  g_overlay = window;
  // Overlays that vanished without being destroyed here (their thread ended)
  // are gone, and so is a hook that followed them.
  std::erase_if(g_overlays, [window](HWND other) { return other != window && !IsWindow(other); });
  if (g_overlays.size() == 1) RemoveLocationHook();
  InstallLocationHook();
  return overlay;
}

Win32OverlayWindow::~Win32OverlayWindow() {
  if (!m_window || !IsWindow(m_window)) return;
  // No more events for this object, even while the window goes.
  SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
  if (IsWindowThread(m_window)) {
    DestroyWindow(m_window);
  } else {
    // Only the window's thread can destroy it: ask it to close.
    PostMessageW(m_window, WM_CLOSE, 0, 0);
  }
}

void Win32OverlayWindow::CoverOwner() {
  if (!m_window || !IsWindow(m_owner)) return;
  RECT client{};
  if (!GetClientRect(m_owner, &client)) return;
  POINT corner{client.left, client.top};
  if (!ClientToScreen(m_owner, &corner)) return;
  // Raised to the top, but the publisher keeps the activation.
  SetWindowPos(m_window, HWND_TOP, corner.x, corner.y, client.right - client.left, client.bottom - client.top,
               SWP_NOACTIVATE);
}

WindowSize Win32OverlayWindow::ClientSize() const {
  RECT client{};
  if (!m_window || !GetClientRect(m_window, &client)) return {};
  return WindowSize{client.right - client.left, client.bottom - client.top};
}

void Win32OverlayWindow::Show() {
  if (!m_window) return;
  ShowWindow(m_window, SW_SHOW);
  UpdateWindow(m_window);
}

void Win32OverlayWindow::ShowCloseControl() {
  if (m_closeControl || !m_window) return;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = CloseControlProc;
  windowClass.hInstance = ThisModule();
  windowClass.hCursor = LoadCursorW(nullptr, IDC_HAND);
  windowClass.lpszClassName = kCloseControlClass;
  RegisterOnce(g_closeControlClass, windowClass);
  // A window of its own, owned by the overlay: above it and above the
  // browser's windows inside it, whatever they do with their z-order.
  m_closeControl = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kCloseControlClass, L"Close", WS_POPUP, 0, 0,
                                   kCloseControlSize, kCloseControlSize, m_window, nullptr, ThisModule(), nullptr);
  if (!m_closeControl) {
    LogError("The close control could not be created.");
    return;
  }
  PlaceCloseControl();
}

void Win32OverlayWindow::PlaceCloseControl() {
  if (!m_closeControl || !m_window) return;
  const WindowSize size = ClientSize();
  POINT corner{size.width - kCloseControlSize - kCloseControlMargin, kCloseControlMargin};
  ClientToScreen(m_window, &corner);
  SetWindowPos(m_closeControl, HWND_TOP, corner.x, corner.y, kCloseControlSize, kCloseControlSize,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

LRESULT CALLBACK Win32OverlayWindow::CloseControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;  // the publisher's window stays active
    case WM_LBUTTONDOWN:
      SetCapture(control);
      return 0;
    case WM_LBUTTONUP: {
      // A click: pressed and released over the control.
      const bool pressed = GetCapture() == control;
      if (pressed) ReleaseCapture();
      RECT client{};
      GetClientRect(control, &client);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      auto* self = reinterpret_cast<Win32OverlayWindow*>(GetWindowLongPtrW(GetWindow(control, GW_OWNER), GWLP_USERDATA));
      if (pressed && PtInRect(&client, at) && self) self->RaiseClose();
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      if (HDC dc = BeginPaint(control, &paint)) {
        RECT client{};
        GetClientRect(control, &client);
        if (HBRUSH back = CreateSolidBrush(RGB(32, 32, 32))) {
          FillRect(dc, &client, back);
          DeleteObject(back);
        }
        if (HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 255, 255))) {
          const HGDIOBJ old = SelectObject(dc, pen);
          const int inset = kCloseControlSize / 3;
          MoveToEx(dc, inset, inset, nullptr);
          LineTo(dc, client.right - inset, client.bottom - inset);
          MoveToEx(dc, client.right - inset, inset, nullptr);
          LineTo(dc, inset, client.bottom - inset);
          SelectObject(dc, old);
          DeleteObject(pen);
        }
        EndPaint(control, &paint);
      }
      return 0;
    }
    default:
      return DefWindowProcW(control, message, wParam, lParam);
  }
}

void Win32OverlayWindow::After(std::chrono::milliseconds delay, std::function<void()> work) {
  if (!m_window) return;
  const UINT_PTR id = m_nextTimer++;
  if (SetTimer(m_window, id, static_cast<UINT>(delay.count()), nullptr) == 0) {
    LogError("A timer for the ad's window could not be set.");
    return;
  }
  m_timers[id] = std::move(work);
}

void Win32OverlayWindow::RunTimer(UINT_PTR id) {
  KillTimer(m_window, id);
  const auto found = m_timers.find(id);
  if (found == m_timers.end()) return;
  const auto work = std::move(found->second);
  m_timers.erase(found);
  if (work) Guarded(work);  // it may destroy this window
}

void Win32OverlayWindow::RaiseClose() {
  const auto requested = m_events.closeRequested;
  if (requested) Guarded(requested);
}

bool Win32OverlayWindow::HasLocationHook() {
  return g_hook != nullptr;
}

void Win32OverlayWindow::InstallLocationHook() {
  if (g_hook) return;  // one hook per process; it serves the newest overlay
  // Out of context: the events come through this thread's message loop, and
  // only those of this process's windows.
  g_hook = SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr, OnWinEvent,
                           GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
}

void Win32OverlayWindow::RemoveLocationHook() {
  if (!g_hook) return;
  UnhookWinEvent(g_hook);
  g_hook = nullptr;
}

void CALLBACK Win32OverlayWindow::OnWinEvent(HWINEVENTHOOK /*hook*/, DWORD event, HWND window, LONG object,
                                             LONG /*child*/, DWORD /*thread*/, DWORD /*time*/) {
  if (event != EVENT_OBJECT_STATECHANGE && event != EVENT_OBJECT_LOCATIONCHANGE) return;
  if (object != OBJID_WINDOW || !window || !g_overlay) return;
  auto* self = reinterpret_cast<Win32OverlayWindow*>(GetWindowLongPtrW(g_overlay, GWLP_USERDATA));
  // The publisher window, or a window it sits in, moved.
  if (self && (window == self->m_owner || IsChild(window, self->m_owner))) self->OwnerMoved();
}

void Win32OverlayWindow::OwnerMoved() {
  if (m_events.ownerMoved) Guarded(m_events.ownerMoved);
}

void Win32OverlayWindow::AppFocusChanged(bool active) {
  if (m_events.appFocusChanged) Guarded([&] { m_events.appFocusChanged(active); });
}

LRESULT CALLBACK Win32OverlayWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Win32OverlayWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_CREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      self = static_cast<Win32OverlayWindow*>(create->lpCreateParams);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      if (self) self->m_window = window;
      g_overlays.push_back(window);
      break;
    }
    case WM_DESTROY:
      if (g_overlay == window) g_overlay = nullptr;
      std::erase(g_overlays, window);
      // A play started from the end of this one has its overlay already.
      if (g_overlays.empty()) RemoveLocationHook();
      return 0;
    case WM_NCDESTROY:
      if (self) {
        self->m_window = nullptr;
        self->m_closeControl = nullptr;
      }
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    case WM_SIZE:
      // Any change of the overlay's own size lays it over the owner again.
      if (self) self->OwnerMoved();
      break;
    case WM_WINDOWPOSCHANGED:
      // Moved, sized, raised or activated: the control goes along, on top.
      if (self) self->PlaceCloseControl();
      break;  // WM_MOVE and WM_SIZE follow
    case WM_TIMER:
      if (self) self->RunTimer(wParam);
      return 0;
    case WM_KEYDOWN:
      // Escape closes once the close control shows.
      if (self && wParam == VK_ESCAPE && self->m_closeControl) {
        self->RaiseClose();
        return 0;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      if (HDC dc = BeginPaint(window, &paint)) {
        if (HBRUSH black = CreateSolidBrush(RGB(0, 0, 0))) {
          FillRect(dc, &paint.rcPaint, black);
          DeleteObject(black);
        }
        EndPaint(window, &paint);
      }
      return 0;
    }
    case WM_ACTIVATEAPP:
      if (self) self->AppFocusChanged(wParam != 0);
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool IsLiveWindow(WindowHandle window) {
  return window && IsWindow(window);
}

bool IsWindowThread(WindowHandle window) {
  return window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

void RunOnWindowThread(std::function<void()> work) {
  if (!work) return;
  WindowThreadQueue& queue = Queue();
  std::deque<std::function<void()>> orphans;
  {
    std::unique_lock lock(queue.mutex);
    const bool live = queue.window && IsWindow(queue.window);
    if (live && queue.thread == GetCurrentThreadId()) {
      lock.unlock();
      Guarded(work);
      return;
    }
    queue.work.push_back(std::move(work));
    if (live && PostMessageW(queue.window, kRunQueuedWork, 0, 0)) return;
    // No thread owns the windows (none was made yet, or its thread ended):
    // whatever the work would release no longer has a thread of its own, so
    // it runs here rather than being dropped with its clean-up undone.
    orphans.swap(queue.work);
  }
  LogWarn("No window thread to run on; running its work on the calling thread.");
  for (auto& orphan : orphans) Guarded(orphan);
}

void UseWindowThread(WindowHandle window) {
  if (IsWindowThread(window)) AttachQueueToThisThread();
}

void Win32OverlayWindow::UnregisterClasses() {
  for (auto [registered, name] : {std::pair{&g_overlayClass, kOverlayClass}, {&g_closeControlClass, kCloseControlClass},
                                  {&g_queueClass, kQueueClass}}) {
    if (registered->exchange(false)) UnregisterClassW(name, ThisModule());
  }
}

std::unique_ptr<IOverlayWindow> CreateOverlayWindow(WindowHandle owner, IOverlayWindow::Events events) {
  return Win32OverlayWindow::Create(owner, std::move(events));
}

}  // namespace kestrel
