// The overlay window over a real publisher window made on the test's thread,
// which pumps messages, under Wine with a virtual display.
#include "WindowsTest.h"

#include "platform/Backend.h"
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
};

TEST_F(OverlayWindowTest, IsAPopupOverThePublishersClientAreaMadeOnItsThreadAndGoesFromAnyThread) {
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

  // Released on another thread, it goes; so does it with the publisher window,
  // whose size is read from any thread until then.
  std::thread([overlay = std::move(m_overlay)]() mutable { overlay.reset(); }).join();
  EXPECT_TRUE(PumpMessagesUntil([&] { return !IsWindow(m_handle); }));
  EXPECT_FALSE(Win32OverlayWindow::HasLocationHook());
  EXPECT_TRUE(IsLiveWindow(m_publisher));
  SetUp();
  EXPECT_EQ(CreateWindowSizeSource(nullptr), nullptr);
  auto source = CreateWindowSizeSource(m_publisher);
  SetWindowPos(m_publisher, nullptr, 0, 0, 640, 500, SWP_NOMOVE);
  RECT size{};
  GetClientRect(m_publisher, &size);
  std::optional<IWindowSizeSource::Size> read;
  std::thread([&] { read = source->ClientSize(); }).join();
  EXPECT_TRUE(read && read->width == size.right && read->height == size.bottom);
  DestroyWindow(m_publisher);
  EXPECT_EQ(source->ClientSize(), std::nullopt);
  EXPECT_FALSE(IsLiveWindow(m_handle));
  EXPECT_EQ(m_overlay->NativeHandle(), nullptr);
  m_overlay->CoverOwner();
  m_overlay->Show();
  EXPECT_EQ(m_overlay->ClientSize().width + m_overlay->ClientSize().height, 0);
  m_overlay.reset();
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
  for (const auto& [event, window, object] :
       {std::tuple{EVENT_OBJECT_LOCATIONCHANGE, other, OBJID_WINDOW}, {EVENT_OBJECT_LOCATIONCHANGE, m_publisher, OBJID_CLIENT},
        {EVENT_OBJECT_LOCATIONCHANGE, m_publisher, OBJID_CURSOR}, {EVENT_OBJECT_STATECHANGE, other, OBJID_WINDOW},
        {EVENT_OBJECT_REORDER, m_publisher, OBJID_WINDOW},
        {EVENT_OBJECT_STATECHANGE, m_publisher, OBJID_WINDOW},        // counts
        {EVENT_OBJECT_LOCATIONCHANGE, m_publisher, OBJID_WINDOW}}) {  // counts
    NotifyWinEvent(event, window, object, CHILDID_SELF);
  }
  ASSERT_TRUE(flush());
  EXPECT_EQ(m_moves, before + 2);
  UnhookWinEvent(marker);
  DestroyWindow(other);
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

}  // namespace
}  // namespace kestrel
