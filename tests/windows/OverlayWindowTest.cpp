// The overlay window over a real publisher window, on a thread that pumps
// messages, under Wine with a virtual display.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/IOverlayWindow.h"
#include "platform/IWebViewHost.h"
#include "platform/IWindowSizeSource.h"
#include "platform/windows/Win32OverlayWindow.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace kestrel {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

constexpr auto kDeadline = 30s;
constexpr UINT kRunTask = WM_APP + 7;

// A thread with a message loop; Run executes a function there and waits for it.
class WindowThread {
 public:
  WindowThread() {
    std::promise<DWORD> started;
    auto id = started.get_future();
    m_thread = std::thread([this, &started] {
      MSG message;
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread gets its queue
      started.set_value(GetCurrentThreadId());
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!message.hwnd && message.message == kRunTask) {
          std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(message.lParam));
          (*task)();
          continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    });
    m_id = id.get();
  }

  ~WindowThread() { Stop(); }
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  DWORD Id() const { return m_id; }

  // Ends the loop; the thread's windows go with it.
  void Stop() {
    if (!m_thread.joinable()) return;
    PostThreadMessageW(m_id, WM_QUIT, 0, 0);
    m_thread.join();
  }

  // Runs the function on this thread; false when it did not finish in time.
  bool Run(std::function<void()> function) {
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    auto* task = new std::function<void()>([function = std::move(function), done] {
      function();
      done->set_value();
    });
    if (!PostThreadMessageW(m_id, kRunTask, 0, reinterpret_cast<LPARAM>(task))) {
      delete task;
      return false;
    }
    return finished.wait_for(kDeadline) == std::future_status::ready;
  }

 private:
  std::thread m_thread;
  DWORD m_id = 0;
};

HWND CreatePublisherWindow(int x, int y, int width, int height, bool visible = true) {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"KestrelTestPublisher";
    return RegisterClassExW(&windowClass) != 0;
  }();
  if (!registered) return nullptr;
  const DWORD style = WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0);
  return CreateWindowExW(0, L"KestrelTestPublisher", L"Publisher", style, x, y, width,
                         height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

RECT ScreenClientRect(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT corner{0, 0};
  ClientToScreen(window, &corner);
  return RECT{corner.x, corner.y, corner.x + client.right, corner.y + client.bottom};
}

std::string Describe(const RECT& rect) {
  return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" + std::to_string(rect.right) +
         "," + std::to_string(rect.bottom) + ")";
}

// What the overlay reported, from the window thread.
struct Recorded {
  std::atomic<int> ownerMoved{0};
  std::mutex mutex;
  std::vector<bool> focus;  // guarded by mutex

  std::vector<bool> Focus() {
    std::lock_guard lock(mutex);
    return focus;
  }
};

class OverlayWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_pump.Run([this] { m_publisher = CreatePublisherWindow(120, 90, 480, 320); }));
    ASSERT_NE(m_publisher, nullptr);
  }

  void TearDown() override {
    m_pump.Run([this] {
      m_overlay.reset();
      if (IsWindow(m_publisher)) DestroyWindow(m_publisher);
    });
    m_pump.Stop();
  }

  // Creates the overlay on the window thread; its owner moves lay it over the owner again.
  HWND MakeOverlay() {
    HWND handle = nullptr;
    m_pump.Run([this, &handle] {
      IOverlayWindow::Events events;
      events.ownerMoved = [this] {
        ++m_recorded.ownerMoved;
        if (m_overlay && m_coverOnMove) m_overlay->CoverOwner();
      };
      events.appFocusChanged = [this](bool active) {
        std::lock_guard lock(m_recorded.mutex);
        m_recorded.focus.push_back(active);
      };
      m_overlay = CreateOverlayWindow(m_publisher, std::move(events));
      if (!m_overlay) return;
      m_overlay->CoverOwner();
      m_overlay->Show();
      handle = static_cast<HWND>(m_overlay->NativeHandle());
    });
    return handle;
  }

  // The handle of a window that no longer exists.
  HWND GoneWindow() {
    HWND gone = nullptr;
    m_pump.Run([&gone] {
      gone = CreatePublisherWindow(0, 0, 100, 100, false);
      DestroyWindow(gone);
    });
    return gone;
  }

  Recorded m_recorded;
  bool m_coverOnMove = true;  // what the display does on an owner move
  WindowThread m_pump;
  HWND m_publisher = nullptr;
  std::unique_ptr<IOverlayWindow> m_overlay;  // used on the pump thread
};

TEST_F(OverlayWindowTest, IsABorderlessPopupOwnedByThePublisherWindow) {
  HWND overlay = MakeOverlay();
  ASSERT_NE(overlay, nullptr);

  wchar_t name[64] = {};
  ASSERT_GT(GetClassNameW(overlay, name, 64), 0);
  EXPECT_EQ(std::wstring(name), L"TovaneOverlayWndClass");
  wchar_t title[64] = {};
  GetWindowTextW(overlay, title, 64);
  EXPECT_EQ(std::wstring(title), L"Overlay Window");
  EXPECT_EQ(GetClassLongPtrW(overlay, GCL_STYLE), 0);
  EXPECT_EQ(GetClassLongPtrW(overlay, GCLP_HBRBACKGROUND), 0);
  EXPECT_EQ(GetClassLongPtrW(overlay, GCLP_HCURSOR), 0);
  EXPECT_EQ(GetClassLongPtrW(overlay, GCLP_HICON), 0);
  EXPECT_EQ(GetClassLongPtrW(overlay, GCLP_HMODULE), reinterpret_cast<LONG_PTR>(GetModuleHandleW(nullptr)));

  // The system adds clipping of siblings to every top-level window.
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(overlay, GWL_STYLE));
  EXPECT_EQ(style & ~static_cast<DWORD>(WS_CLIPSIBLINGS), static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
  EXPECT_EQ(GetWindowLongPtrW(overlay, GWL_EXSTYLE), 0);

  EXPECT_EQ(GetWindow(overlay, GW_OWNER), m_publisher);
  EXPECT_EQ(GetAncestor(overlay, GA_PARENT), GetDesktopWindow());  // owned, not a child

  EXPECT_TRUE(IsLiveWindow(overlay));
  EXPECT_TRUE(Win32OverlayWindow::HasLocationHook());
  ASSERT_TRUE(m_pump.Run([this] { m_overlay.reset(); }));
  EXPECT_FALSE(IsLiveWindow(overlay));
  EXPECT_FALSE(Win32OverlayWindow::HasLocationHook());
}

TEST_F(OverlayWindowTest, IsRefusedOffTheWindowThreadAndForAHandleThatIsNoWindow) {
  EXPECT_TRUE(IsLiveWindow(m_publisher));
  EXPECT_FALSE(IsLiveWindow(nullptr));
  EXPECT_FALSE(IsWindowThread(m_publisher));
  EXPECT_FALSE(IsWindowThread(nullptr));
  bool onPump = false;
  ASSERT_TRUE(m_pump.Run([this, &onPump] { onPump = IsWindowThread(m_publisher); }));
  EXPECT_TRUE(onPump);

  EXPECT_EQ(CreateOverlayWindow(m_publisher, {}), nullptr);
  HWND gone = GoneWindow();
  ASSERT_NE(gone, nullptr);
  EXPECT_FALSE(IsLiveWindow(gone));
  std::unique_ptr<IOverlayWindow> overlay;
  ASSERT_TRUE(m_pump.Run([&overlay, gone] { overlay = CreateOverlayWindow(gone, {}); }));
  EXPECT_EQ(overlay, nullptr);
  EXPECT_FALSE(Win32OverlayWindow::HasLocationHook());
}

// The system reports a window's moves as location events; Wine 8 does not,
// so the tests raise the event the system would raise after each move.
TEST_F(OverlayWindowTest, CoversThePublisherClientAreaAndFollowsItsMoves) {
  HWND overlay = MakeOverlay();
  ASSERT_NE(overlay, nullptr);
  RECT placed{};
  GetWindowRect(overlay, &placed);
  EXPECT_EQ(Describe(placed), Describe(ScreenClientRect(m_publisher)));
  WindowSize size;
  ASSERT_TRUE(m_pump.Run([this, &size] { size = m_overlay->ClientSize(); }));
  RECT client{};
  GetClientRect(m_publisher, &client);
  EXPECT_EQ(size.width, client.right);
  EXPECT_EQ(size.height, client.bottom);

  for (const DWORD event : {EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_STATECHANGE}) {
    const int x = event == EVENT_OBJECT_LOCATIONCHANGE ? 200 : 40;
    ASSERT_TRUE(m_pump.Run([this, event, x] {
      SetWindowPos(m_publisher, nullptr, x, 150, 360 + x, 260, SWP_NOZORDER | SWP_NOACTIVATE);
      NotifyWinEvent(event, m_publisher, OBJID_WINDOW, CHILDID_SELF);
    }));
    const RECT target = ScreenClientRect(m_publisher);
    EXPECT_TRUE(WaitUntil([&] {
      RECT now{};
      GetWindowRect(overlay, &now);
      return Describe(now) == Describe(target);
    })) << "event " << event << ", publisher client area " << Describe(target);
  }
}

TEST_F(OverlayWindowTest, OnlyStateAndLocationEventsOfThePublisherWindowCount) {
  m_coverOnMove = false;  // the overlay stays put, so only the hook reports moves
  HWND overlay = MakeOverlay();
  ASSERT_NE(overlay, nullptr);
  HWND other = nullptr;
  std::atomic<bool> marker{false};
  ASSERT_TRUE(m_pump.Run([&other] { other = CreatePublisherWindow(10, 10, 100, 100); }));
  // A hook of the test's own marks the end: events reach the thread in order.
  static std::atomic<bool>* s_marker = &marker;
  HWINEVENTHOOK markerHook = nullptr;
  ASSERT_TRUE(m_pump.Run([&markerHook] {
    markerHook = SetWinEventHook(
        EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
        [](HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) { *s_marker = true; }, 0, GetCurrentThreadId(),
        WINEVENT_OUTOFCONTEXT);
  }));
  ASSERT_NE(markerHook, nullptr);
  const int before = m_recorded.ownerMoved;

  ASSERT_TRUE(m_pump.Run([this, other] {
    NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, other, OBJID_WINDOW, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, m_publisher, OBJID_CLIENT, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, m_publisher, OBJID_CURSOR, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_STATECHANGE, other, OBJID_WINDOW, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_REORDER, m_publisher, OBJID_WINDOW, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_STATECHANGE, m_publisher, OBJID_WINDOW, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, m_publisher, OBJID_WINDOW, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_publisher, OBJID_WINDOW, CHILDID_SELF);
  }));
  ASSERT_TRUE(WaitUntil([&] { return marker.load(); }));
  EXPECT_EQ(m_recorded.ownerMoved, before + 2);

  // The hook goes with the window.
  ASSERT_TRUE(m_pump.Run([this] { m_overlay.reset(); }));
  EXPECT_FALSE(Win32OverlayWindow::HasLocationHook());
  m_pump.Run([markerHook, other] {
    UnhookWinEvent(markerHook);
    DestroyWindow(other);
  });
}

TEST_F(OverlayWindowTest, PaintsItsClientAreaBlack) {
  HWND overlay = MakeOverlay();
  ASSERT_NE(overlay, nullptr);
  COLORREF stale = 0;
  std::vector<COLORREF> painted;
  ASSERT_TRUE(m_pump.Run([overlay, &stale, &painted] {
    RECT client{};
    GetClientRect(overlay, &client);
    // Something else on the screen first, to see the paint replace it.
    HDC dc = GetDC(overlay);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    stale = GetPixel(dc, client.right / 2, client.bottom / 2);
    ReleaseDC(overlay, dc);
    InvalidateRect(overlay, nullptr, FALSE);
    UpdateWindow(overlay);
    dc = GetDC(overlay);
    for (const POINT point : {POINT{0, 0}, POINT{client.right / 2, client.bottom / 2},
                              POINT{client.right - 1, client.bottom - 1}}) {
      painted.push_back(GetPixel(dc, point.x, point.y));
    }
    ReleaseDC(overlay, dc);
  }));
  ASSERT_EQ(stale, RGB(255, 255, 255)) << "no pixels to read from the window";
  EXPECT_EQ(painted, (std::vector<COLORREF>(3, RGB(0, 0, 0))));
}

TEST_F(OverlayWindowTest, ReportsTheApplicationLosingAndRegainingTheFocus) {
  HWND overlay = MakeOverlay();
  ASSERT_NE(overlay, nullptr);
  ASSERT_TRUE(m_pump.Run([this] { SetForegroundWindow(m_publisher); }));
  WindowThread elsewhere;
  HWND another = nullptr;
  ASSERT_TRUE(elsewhere.Run([&another] {
    another = CreatePublisherWindow(300, 300, 200, 150);
    SetForegroundWindow(another);
  }));
  ASSERT_NE(another, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return !m_recorded.Focus().empty() && !m_recorded.Focus().back(); }))
      << "no WM_ACTIVATEAPP when another thread's window became active";
  ASSERT_TRUE(m_pump.Run([this] { SetForegroundWindow(m_publisher); }));
  EXPECT_TRUE(WaitUntil([&] { return !m_recorded.Focus().empty() && m_recorded.Focus().back(); }));
  elsewhere.Run([another] { DestroyWindow(another); });
}

TEST_F(OverlayWindowTest, GoesWithThePublisherWindow) {
  HWND overlay = MakeOverlay();
  ASSERT_NE(overlay, nullptr);
  void* handle = overlay;
  WindowSize size{1, 1};
  ASSERT_TRUE(m_pump.Run([this, &handle, &size] {
    DestroyWindow(m_publisher);
    handle = m_overlay->NativeHandle();
    m_overlay->CoverOwner();
    m_overlay->Show();
    size = m_overlay->ClientSize();
    m_overlay.reset();
  }));
  EXPECT_FALSE(IsLiveWindow(overlay));
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(size.width, 0);
  EXPECT_EQ(size.height, 0);
  EXPECT_FALSE(Win32OverlayWindow::HasLocationHook());
}

TEST_F(OverlayWindowTest, ReleasedOnAnotherThreadClosesOnItsOwn) {
  HWND overlay = MakeOverlay();
  ASSERT_NE(overlay, nullptr);
  std::unique_ptr<IOverlayWindow> released;
  ASSERT_TRUE(m_pump.Run([this, &released] { released = std::move(m_overlay); }));
  released.reset();
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(overlay); }));
  bool hooked = true;
  ASSERT_TRUE(m_pump.Run([&hooked] { hooked = Win32OverlayWindow::HasLocationHook(); }));
  EXPECT_FALSE(hooked);
  EXPECT_TRUE(IsLiveWindow(m_publisher));
}

TEST_F(OverlayWindowTest, RunsWorkOnTheThreadThatOwnsTheWindows) {
  ASSERT_NE(MakeOverlay(), nullptr);
  test::LogCapture log;
  std::mutex mutex;
  std::vector<std::pair<int, DWORD>> ran;  // guarded by mutex
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      RunOnWindowThread([&, i] {
        {
          std::lock_guard lock(mutex);
          ran.emplace_back(i, GetCurrentThreadId());
        }
        if (i == 1) throw std::runtime_error("work failed");
      });
    }
  });
  worker.join();
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard lock(mutex);
    return ran.size() == 3;
  }));
  {
    std::lock_guard lock(mutex);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(ran[static_cast<std::size_t>(i)].first, i);
      EXPECT_EQ(ran[static_cast<std::size_t>(i)].second, m_pump.Id());
    }
  }
  EXPECT_TRUE(WaitUntil([&] { return log.Has("work failed", LogLevel::Error); }));

  // On the window thread itself the work runs before the call returns.
  bool atOnce = false;
  ASSERT_TRUE(m_pump.Run([&atOnce] {
    bool done = false;
    RunOnWindowThread([&done] { done = true; });
    atOnce = done;
  }));
  EXPECT_TRUE(atOnce);
}

TEST_F(OverlayWindowTest, RunsWorkOnTheCallerOnceTheWindowThreadHasEnded) {
  ASSERT_NE(MakeOverlay(), nullptr);
  ASSERT_TRUE(m_pump.Run([this] {
    m_overlay.reset();
    DestroyWindow(m_publisher);
  }));
  m_pump.Stop();
  test::LogCapture log;
  DWORD ranOn = 0;
  RunOnWindowThread([&ranOn] { ranOn = GetCurrentThreadId(); });
  EXPECT_EQ(ranOn, GetCurrentThreadId());
  EXPECT_TRUE(log.Has("No window thread to run on; running its work on the calling thread.", LogLevel::Warn));
}

TEST_F(OverlayWindowTest, WindowSizeIsReadFromAnyThreadUntilTheWindowGoes) {
  EXPECT_EQ(CreateWindowSizeSource(nullptr), nullptr);
  HWND gone = GoneWindow();
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ(CreateWindowSizeSource(gone)->ClientSize(), std::nullopt);

  auto source = CreateWindowSizeSource(m_publisher);
  ASSERT_NE(source, nullptr);
  auto expected = [this] {
    RECT client{};
    GetClientRect(m_publisher, &client);
    return std::make_pair(static_cast<std::int32_t>(client.right), static_cast<std::int32_t>(client.bottom));
  };
  auto size = source->ClientSize();
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(std::make_pair(size->width, size->height), expected());
  EXPECT_GT(size->width, 0);

  ASSERT_TRUE(m_pump.Run([this] { SetWindowPos(m_publisher, nullptr, 0, 0, 640, 500, SWP_NOMOVE | SWP_NOZORDER); }));
  size = source->ClientSize();
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(std::make_pair(size->width, size->height), expected());

  ASSERT_TRUE(m_pump.Run([this] { DestroyWindow(m_publisher); }));
  EXPECT_EQ(source->ClientSize(), std::nullopt);
}

TEST_F(OverlayWindowTest, HasNoBrowserHostWithoutWebView2) {
  ASSERT_NE(MakeOverlay(), nullptr);
  bool created = true;
  ASSERT_TRUE(m_pump.Run([this, &created] {
    std::string failure;
    created = CreateWebViewHost(*m_overlay, "C:\\kestrel\\webview", {}, failure) != nullptr;
  }));
  EXPECT_FALSE(created);
}

}  // namespace
}  // namespace kestrel
