// The publisher's window: a small scene of its own, the buttons that drive
// the SDK and a log of the callbacks. Use it on the GTK main-loop thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <gtk/gtk.h>

namespace kestrel::demo {

// A capture of the screen; null when the capture failed.
using ScreenCapture = std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)>;

class DemoWindow {
 public:
  struct Actions {
    std::function<void()> Initialise;
    std::function<void()> Load;
    std::function<void()> Play;
    std::function<void()> Closed;  // the user closed the window
  };

  DemoWindow(const std::string& title, Actions actions);
  ~DemoWindow();
  DemoWindow(const DemoWindow&) = delete;
  DemoWindow& operator=(const DemoWindow&) = delete;

  GtkWindow* Window() const { return m_window; }
  void Show();

  // After the user closed the window these do nothing.
  void AppendLog(const std::string& line);
  void EnableButtons(bool initialise, bool load, bool play);
  void SetStatus(const std::string& text);
  void AddCoins(int coins);

  // What the screen shows over the window's client area, including any
  // window that covers it (the ad's overlay).
  ScreenCapture CaptureScreenArea() const;

  // Share (0 to 1) of the pixels that differ between two captures of the
  // same size; 1 when the sizes differ.
  static double ChangedShare(const GdkPixbuf* before, const GdkPixbuf* after);

 private:
  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static void OnButton(GtkButton* button, gpointer self);
  static void OnDestroy(GtkWidget* widget, gpointer self);
  void DrawScene(GtkWidget* widget, cairo_t* cr) const;
  // The user closed the window: its widgets are gone.
  bool Destroyed() const { return m_destroyHandler == 0; }

  Actions m_actions;
  GtkWindow* m_window = nullptr;
  GtkWidget* m_scene = nullptr;
  GtkWidget* m_initialise = nullptr;
  GtkWidget* m_load = nullptr;
  GtkWidget* m_play = nullptr;
  GtkWidget* m_status = nullptr;
  GtkTextBuffer* m_log = nullptr;
  GtkWidget* m_logView = nullptr;
  gulong m_destroyHandler = 0;  // 0 once the window is destroyed
  int m_coins = 0;
};

}  // namespace kestrel::demo
