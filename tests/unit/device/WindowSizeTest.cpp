#include <gtk/gtk.h>

#include "support/TestPrelude.h"

#include "device/DeviceInfo.h"
#include "support/GtkPump.h"

namespace kestrel {
namespace {

using test::Pump;

// A real GTK window on this thread, which plays the publisher's GTK thread.
class WindowSizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("NO_AT_BRIDGE", "1", 1);  // the accessibility bridge leaks at start-up
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 320, 240);
    gtk_widget_show(window);
  }
  void TearDown() override {
    if (window) gtk_widget_destroy(window);
    Pump();
  }

  // Runs the main loop until the probes report the size.
  static bool Reaches(const DeviceInfo& info, int width, int height) {
    return test::WaitUntil([&] {
      Pump();
      return info.GetScreenWidth() == width && info.GetScreenHeight() == height;
    });
  }

  GtkWidget* window = nullptr;
};

TEST_F(WindowSizeTest, ProbesMadeOnAnotherThreadWaitForTheMainLoop) {
  auto info = std::async(std::launch::async, [this] { return std::make_unique<DeviceInfo>(window); }).get();
  EXPECT_EQ(info->GetScreenWidth(), 640);  // GTK has not been asked yet
  EXPECT_TRUE(Reaches(*info, 320, 240));
  gtk_window_resize(GTK_WINDOW(window), 400, 200);
  EXPECT_TRUE(Reaches(*info, 400, 200));
  std::async(std::launch::async, [&] { info.reset(); }).get();
  Pump();

  // Released before its connection ran: the window is left alone.
  std::async(std::launch::async, [this] { DeviceInfo gone(window); }).get();
  Pump();
  gtk_window_resize(GTK_WINDOW(window), 300, 100);
  const DeviceInfo fresh(window);
  EXPECT_TRUE(Reaches(fresh, 300, 100));
}

}  // namespace
}  // namespace kestrel
