// The overlay window over a real publisher window made on the test's thread,
// which pumps messages, under Wine with a virtual display.
#include "WindowsTest.h"

#include <stdexcept>

#include "platform/IOverlayWindow.h"
#include "platform/IWindowSizeSource.h"
#include "platform/windows/Win32OverlayWindow.h"

namespace kestrel {
namespace {

using namespace test;

class OverlayWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(m_publisher = CreatePublisherWindow(120, 90, 480, 320), nullptr);
    IOverlayWindow::Events events;
    events.ownerMoved = [this] { ++m_moves; };
    events.appFocusChanged = [this](bool active) { m_focus.push_back(active); };
    ASSERT_NE(m_overlay = CreateOverlayWindow(m_publisher, std::move(events)), nullptr);
    m_overlay->CoverOwner();
    m_overlay->Show();
    m_handle = static_cast<HWND>(m_overlay->NativeHandle());
  }
  void TearDown() override {
    m_overlay.reset();
    if (IsWindow(m_publisher)) DestroyWindow(m_publisher);
    test::PumpMessages();
  }

  HWND m_publisher = nullptr;
  std::unique_ptr<IOverlayWindow> m_overlay;
  HWND m_handle = nullptr;
  int m_moves = 0;
  std::vector<bool> m_focus;
};

TEST_F(OverlayWindowTest, IsAPopupOverThePublishersClientAreaMadeOnlyOnItsThread) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(m_handle, GWL_STYLE));
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_CHILD), static_cast<DWORD>(WS_POPUP));
  EXPECT_EQ(GetWindow(m_handle, GW_OWNER), m_publisher);
  RECT placed{}, client{};
  GetWindowRect(m_handle, &placed);
  GetClientRect(m_publisher, &client);
  MapWindowPoints(m_publisher, nullptr, reinterpret_cast<POINT*>(&client), 2);
  EXPECT_TRUE(EqualRect(&placed, &client)) << placed.left << "," << placed.top << " " << client.left << "," << client.top;
  EXPECT_TRUE(Win32OverlayWindow::HasLocationHook());

  std::thread([this] { EXPECT_EQ(CreateOverlayWindow(m_publisher, {}), nullptr) << "off the window thread"; }).join();
  m_overlay.reset();
  EXPECT_FALSE(IsLiveWindow(m_handle));
  EXPECT_FALSE(Win32OverlayWindow::HasLocationHook());
}

// The system reports a window's moves as location events; Wine 8 does not, so the test raises them.
TEST_F(OverlayWindowTest, OnlyStateAndLocationEventsOfThePublisherWindowCountAsMoves) {
  HWND other = CreatePublisherWindow(10, 10, 100, 100);
  // A hook of the test's own marks where the events so far end: they reach the thread in order.
  static std::atomic<bool> s_marker{false};
  HWINEVENTHOOK marker = SetWinEventHook(
      EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
      [](HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) { s_marker = true; }, 0, GetCurrentThreadId(),
      WINEVENT_OUTOFCONTEXT);
  const auto flush = [this] {
    s_marker = false;
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_publisher, OBJID_WINDOW, CHILDID_SELF);
    return PumpMessagesUntil([] { return s_marker.load(); });
  };
  ASSERT_TRUE(flush());  // the system's own events of the windows' making
  const int before = m_moves;
  const struct {
    DWORD event;
    HWND window;
    LONG object;
  } events[] = {{EVENT_OBJECT_LOCATIONCHANGE, other, OBJID_WINDOW},
                {EVENT_OBJECT_LOCATIONCHANGE, m_publisher, OBJID_CLIENT},
                {EVENT_OBJECT_LOCATIONCHANGE, m_publisher, OBJID_CURSOR},
                {EVENT_OBJECT_STATECHANGE, other, OBJID_WINDOW},
                {EVENT_OBJECT_REORDER, m_publisher, OBJID_WINDOW},
                {EVENT_OBJECT_STATECHANGE, m_publisher, OBJID_WINDOW},      // counts
                {EVENT_OBJECT_LOCATIONCHANGE, m_publisher, OBJID_WINDOW}};  // counts
  for (const auto& e : events) NotifyWinEvent(e.event, e.window, e.object, CHILDID_SELF);
  ASSERT_TRUE(flush());
  EXPECT_EQ(m_moves, before + 2);
  UnhookWinEvent(marker);
  DestroyWindow(other);
}

TEST_F(OverlayWindowTest, ReportsTheApplicationLosingAndRegainingTheFocus) {
  SetForegroundWindow(m_publisher);
  std::promise<void> done;
  std::thread elsewhere([&done] {  // another thread's window becomes active
    HWND another = CreatePublisherWindow(300, 300, 200, 150);
    SetForegroundWindow(another);
    done.get_future().wait();
    DestroyWindow(another);
  });
  EXPECT_TRUE(PumpMessagesUntil([&] { return !m_focus.empty() && !m_focus.back(); })) << "no WM_ACTIVATEAPP";
  SetForegroundWindow(m_publisher);
  EXPECT_TRUE(PumpMessagesUntil([&] { return !m_focus.empty() && m_focus.back(); }));
  done.set_value();
  elsewhere.join();
}

TEST_F(OverlayWindowTest, GoesWhenReleasedOnAnotherThreadOrWithThePublisherWindow) {
  std::thread([overlay = std::move(m_overlay)]() mutable { overlay.reset(); }).join();
  EXPECT_TRUE(PumpMessagesUntil([&] { return !IsWindow(m_handle); }));
  EXPECT_FALSE(Win32OverlayWindow::HasLocationHook());
  EXPECT_TRUE(IsLiveWindow(m_publisher));

  SetUp();
  DestroyWindow(m_publisher);
  EXPECT_FALSE(IsLiveWindow(m_handle));
  EXPECT_EQ(m_overlay->NativeHandle(), nullptr);
  m_overlay->CoverOwner();
  m_overlay->Show();
  EXPECT_EQ(m_overlay->ClientSize().width + m_overlay->ClientSize().height, 0);
  m_overlay.reset();
  EXPECT_FALSE(Win32OverlayWindow::HasLocationHook());
}

TEST_F(OverlayWindowTest, RunsWorkOnTheWindowThreadInOrderOrOnTheCallerOnceItHasEnded) {
  test::LogCapture log;
  std::vector<std::pair<int, DWORD>> ran;  // on the window thread only
  std::thread([&ran] {
    for (int i = 0; i < 3; ++i) {
      RunOnWindowThread([&ran, i] {
        ran.emplace_back(i, GetCurrentThreadId());
        if (i == 1) throw std::runtime_error("work failed");
      });
    }
  }).join();
  ASSERT_TRUE(PumpMessagesUntil([&] { return ran.size() == 3; }));
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(ran[i], std::make_pair(static_cast<int>(i), GetCurrentThreadId()));
  EXPECT_TRUE(log.Has("work failed", LogLevel::Error));
  bool done = false;  // on the window thread itself, before the call returns
  RunOnWindowThread([&done] { done = true; });
  EXPECT_TRUE(done);

  TearDown();
  std::thread([] {  // the windows' thread from now on, until it ends
    HWND publisher = CreatePublisherWindow(0, 0, 100, 100);
    EXPECT_NE(CreateOverlayWindow(publisher, {}), nullptr);
    DestroyWindow(publisher);
  }).join();
  DWORD ranOn = 0;
  RunOnWindowThread([&ranOn] { ranOn = GetCurrentThreadId(); });
  EXPECT_EQ(ranOn, GetCurrentThreadId());
}

TEST_F(OverlayWindowTest, WindowSizeIsReadFromAnyThreadUntilTheWindowGoes) {
  EXPECT_EQ(CreateWindowSizeSource(nullptr), nullptr);
  auto source = CreateWindowSizeSource(m_publisher);
  SetWindowPos(m_publisher, nullptr, 0, 0, 640, 500, SWP_NOMOVE);
  RECT client{};
  GetClientRect(m_publisher, &client);
  std::optional<IWindowSizeSource::Size> size;
  std::thread([&] { size = source->ClientSize(); }).join();
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(size->width, client.right);
  EXPECT_EQ(size->height, client.bottom);
  DestroyWindow(m_publisher);
  EXPECT_EQ(source->ClientSize(), std::nullopt);
}

}  // namespace
}  // namespace kestrel
