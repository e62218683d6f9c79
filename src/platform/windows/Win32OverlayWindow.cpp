#include "platform/windows/Win32OverlayWindow.h"

#include <atomic>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>

#include "base/Guarded.h"
#include "base/Log.h"
#include "platform/Backend.h"

namespace kestrel {
namespace {

constexpr const wchar_t* kOverlayClass = L"TovaneOverlayWndClass";
constexpr const wchar_t* kOverlayTitle = L"Overlay Window";
constexpr const wchar_t* kQueueClass = L"KestrelWindowThreadQueue";
constexpr UINT kRunQueuedWork = WM_APP + 1;
constexpr int kCloseControlId = 1;
constexpr int kCloseControlSize = 36;
constexpr int kCloseControlMargin = 12;

// Touched on the window thread only.
HWND g_overlay = nullptr;  // the newest overlay window
HWINEVENTHOOK g_hook = nullptr;  // follows the publisher window while an overlay exists

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

HINSTANCE HostModule() {
  return GetModuleHandleW(nullptr);
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
  static std::atomic<bool> registered{false};
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = QueueWindowProc;
  windowClass.hInstance = HostModule();
  windowClass.lpszClassName = kQueueClass;
  RegisterOnce(registered, windowClass);
  HWND window =
      CreateWindowExW(0, kQueueClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, HostModule(), nullptr);
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

  static std::atomic<bool> registered{false};
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = 0;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = HostModule();
  windowClass.lpszClassName = kOverlayClass;  // no icon, cursor, background brush or menu
  RegisterOnce(registered, windowClass);

  std::unique_ptr<Win32OverlayWindow> overlay(new Win32OverlayWindow(owner, std::move(events)));
  const HWND previous = g_overlay;
  // The owner makes it an owned popup: above the publisher window, not its child.
  HWND window = CreateWindowExW(0, kOverlayClass, kOverlayTitle, WS_POPUP | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, HostModule(), overlay.get());
  if (!window) return nullptr;
  g_overlay = window;
  // A hook whose overlay vanished without being destroyed here (its thread
  // ended) follows nothing any more.
  if (g_hook && !IsWindow(previous)) RemoveLocationHook();
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
  m_closeControl = CreateWindowExW(0, L"BUTTON", L"\u00D7", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0,
                                   kCloseControlSize, kCloseControlSize, m_window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseControlId)), HostModule(), nullptr);
  if (!m_closeControl) {
    LogError("The close control could not be created.");
    return;
  }
  PlaceCloseControl();
}

void Win32OverlayWindow::PlaceCloseControl() {
  if (!m_closeControl) return;
  const WindowSize size = ClientSize();
  // Above the browser's own child windows.
  SetWindowPos(m_closeControl, HWND_TOP, size.width - kCloseControlSize - kCloseControlMargin, kCloseControlMargin,
               kCloseControlSize, kCloseControlSize, SWP_SHOWWINDOW);
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
  // Out of context: the events come through this thread's message loop.
  g_hook = SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr, OnWinEvent, 0, 0,
                           WINEVENT_OUTOFCONTEXT);
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
  if (self && window == self->m_owner) self->OwnerMoved();
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
      break;
    }
    case WM_DESTROY:
      if (g_overlay == window) g_overlay = nullptr;
      RemoveLocationHook();
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
      if (self) {
        self->PlaceCloseControl();
        self->OwnerMoved();
      }
      break;
    case WM_TIMER:
      if (self) self->RunTimer(wParam);
      return 0;
    case WM_COMMAND:
      if (self && LOWORD(wParam) == kCloseControlId && HIWORD(wParam) == BN_CLICKED) {
        self->RaiseClose();
        return 0;
      }
      break;
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

std::unique_ptr<IOverlayWindow> CreateOverlayWindow(WindowHandle owner, IOverlayWindow::Events events) {
  return Win32OverlayWindow::Create(owner, std::move(events));
}

}  // namespace kestrel
