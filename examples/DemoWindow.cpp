#include "DemoWindow.h"

#include <cmath>
#include <cstdlib>

namespace kestrel::demo {

namespace {

GtkWidget* Label(const char* markup, float xalign) {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_markup(GTK_LABEL(label), markup);
  gtk_label_set_xalign(GTK_LABEL(label), xalign);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  return label;
}

}  // namespace

DemoWindow::DemoWindow(const std::string& title, Actions actions) : m_actions(std::move(actions)) {
  m_window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  gtk_window_set_title(m_window, title.c_str());
  gtk_window_set_default_size(m_window, 960, 680);
  m_destroyHandler = g_signal_connect(m_window, "destroy", G_CALLBACK(OnDestroy), this);

  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(page), 12);
  gtk_container_add(GTK_CONTAINER(m_window), page);

  gtk_box_pack_start(GTK_BOX(page), Label("<span size='xx-large' weight='bold'>Kestrel Valley</span>", 0), FALSE, FALSE,
                     0);
  gtk_box_pack_start(GTK_BOX(page),
                     Label("A small game that pays coins for watching a rewarded ad. Initialise the SDK, load an "
                           "ad for <tt>rewarded_video</tt>, then play it: the ad covers this window until it "
                           "closes. The SDK's callbacks appear below as they arrive.",
                           0),
                     FALSE, FALSE, 0);

  m_scene = gtk_drawing_area_new();
  gtk_widget_set_size_request(m_scene, -1, 240);
  g_signal_connect(m_scene, "draw", G_CALLBACK(OnDraw), this);
  gtk_box_pack_start(GTK_BOX(page), m_scene, FALSE, FALSE, 0);

  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  m_initialise = gtk_button_new_with_label("Initialise");
  m_load = gtk_button_new_with_label("Load");
  m_play = gtk_button_new_with_label("Play");
  for (GtkWidget* button : {m_initialise, m_load, m_play}) {
    g_signal_connect(button, "clicked", G_CALLBACK(OnButton), this);
    gtk_box_pack_start(GTK_BOX(buttons), button, FALSE, FALSE, 0);
  }
  m_status = Label("", 0);
  gtk_box_pack_start(GTK_BOX(buttons), m_status, TRUE, TRUE, 8);
  gtk_box_pack_start(GTK_BOX(page), buttons, FALSE, FALSE, 0);

  m_logView = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(m_logView), FALSE);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(m_logView), FALSE);
  gtk_text_view_set_monospace(GTK_TEXT_VIEW(m_logView), TRUE);
  m_log = gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_logView));
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(scroller), m_logView);
  gtk_box_pack_start(GTK_BOX(page), scroller, TRUE, TRUE, 0);

  EnableButtons(true, false, false);
}

DemoWindow::~DemoWindow() {
  // The widgets stay: the SDK may still refer to the window while the
  // process ends. Only stop them from calling back into this object.
  if (Destroyed()) return;
  g_signal_handler_disconnect(m_window, m_destroyHandler);
  g_signal_handlers_disconnect_by_data(m_scene, this);
  for (GtkWidget* button : {m_initialise, m_load, m_play}) g_signal_handlers_disconnect_by_data(button, this);
}

void DemoWindow::Show() {
  gtk_widget_show_all(GTK_WIDGET(m_window));
}

void DemoWindow::AppendLog(const std::string& line) {
  if (Destroyed()) return;
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(m_log, &end);
  const std::string text = line + "\n";
  gtk_text_buffer_insert(m_log, &end, text.c_str(), static_cast<gint>(text.size()));
  gtk_text_buffer_get_end_iter(m_log, &end);
  GtkTextMark* mark = gtk_text_buffer_create_mark(m_log, nullptr, &end, FALSE);
  gtk_text_view_scroll_mark_onscreen(GTK_TEXT_VIEW(m_logView), mark);
  gtk_text_buffer_delete_mark(m_log, mark);
}

void DemoWindow::EnableButtons(bool initialise, bool load, bool play) {
  if (Destroyed()) return;
  gtk_widget_set_sensitive(m_initialise, initialise);
  gtk_widget_set_sensitive(m_load, load);
  gtk_widget_set_sensitive(m_play, play);
}

void DemoWindow::SetStatus(const std::string& text) {
  if (Destroyed()) return;
  gtk_label_set_text(GTK_LABEL(m_status), text.c_str());
}

void DemoWindow::AddCoins(int coins) {
  if (Destroyed()) return;
  m_coins += coins;
  gtk_widget_queue_draw(m_scene);
}

ScreenCapture DemoWindow::CaptureScreenArea() const {
  ScreenCapture none(nullptr, g_object_unref);
  if (Destroyed()) return none;
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(m_window));
  if (!window || !gtk_widget_get_mapped(GTK_WIDGET(m_window))) return none;
  int x = 0;
  int y = 0;
  gdk_window_get_origin(window, &x, &y);
  const int width = gdk_window_get_width(window);
  const int height = gdk_window_get_height(window);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, width, height);
  return ScreenCapture(pixbuf, g_object_unref);
}

double DemoWindow::ChangedShare(const GdkPixbuf* before, const GdkPixbuf* after) {
  const int width = gdk_pixbuf_get_width(before);
  const int height = gdk_pixbuf_get_height(before);
  const int channels = gdk_pixbuf_get_n_channels(before);
  if (width != gdk_pixbuf_get_width(after) || height != gdk_pixbuf_get_height(after) ||
      channels != gdk_pixbuf_get_n_channels(after) || width == 0 || height == 0) {
    return 1.0;
  }
  const guint8* a = gdk_pixbuf_read_pixels(before);
  const guint8* b = gdk_pixbuf_read_pixels(after);
  const int strideA = gdk_pixbuf_get_rowstride(before);
  const int strideB = gdk_pixbuf_get_rowstride(after);
  long changed = 0;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const guint8* pa = a + row * strideA + column * channels;
      const guint8* pb = b + row * strideB + column * channels;
      for (int c = 0; c < 3; ++c) {
        if (std::abs(pa[c] - pb[c]) > 8) {
          ++changed;
          break;
        }
      }
    }
  }
  return static_cast<double>(changed) / (static_cast<double>(width) * height);
}

gboolean DemoWindow::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
  static_cast<DemoWindow*>(self)->DrawScene(widget, cr);
  return FALSE;
}

void DemoWindow::OnButton(GtkButton* button, gpointer self) {
  auto* window = static_cast<DemoWindow*>(self);
  auto* widget = GTK_WIDGET(button);
  const auto& action = widget == window->m_initialise ? window->m_actions.Initialise
                       : widget == window->m_load     ? window->m_actions.Load
                                                      : window->m_actions.Play;
  if (action) action();
}

void DemoWindow::OnDestroy(GtkWidget*, gpointer self) {
  auto* window = static_cast<DemoWindow*>(self);
  window->m_destroyHandler = 0;
  if (window->m_actions.Closed) window->m_actions.Closed();
}

void DemoWindow::DrawScene(GtkWidget* widget, cairo_t* cr) const {
  const double width = gtk_widget_get_allocated_width(widget);
  const double height = gtk_widget_get_allocated_height(widget);

  cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, height);
  cairo_pattern_add_color_stop_rgb(sky, 0, 0.36, 0.62, 0.92);
  cairo_pattern_add_color_stop_rgb(sky, 1, 0.85, 0.93, 1.0);
  cairo_set_source(cr, sky);
  cairo_paint(cr);
  cairo_pattern_destroy(sky);

  cairo_set_source_rgb(cr, 1.0, 0.85, 0.25);
  cairo_arc(cr, width * 0.82, height * 0.28, height * 0.12, 0, 2 * M_PI);
  cairo_fill(cr);

  struct Hill {
    double peakX, peakY, green;  // peak as shares of the scene
  };
  for (const Hill& hill : {Hill{0.25, 0.55, 0.62}, Hill{0.70, 0.60, 0.52}}) {
    cairo_set_source_rgb(cr, 0.28, hill.green, 0.28);
    cairo_move_to(cr, 0, height);
    cairo_curve_to(cr, width * hill.peakX, height * (hill.peakY - 0.3), width * (hill.peakX + 0.3), height * hill.peakY,
                   width, height * 0.8);
    cairo_line_to(cr, width, height);
    cairo_close_path(cr);
    cairo_fill(cr);
  }

  // The kestrel: two wings over the valley.
  cairo_set_source_rgb(cr, 0.35, 0.2, 0.1);
  cairo_set_line_width(cr, 4);
  cairo_move_to(cr, width * 0.40, height * 0.30);
  cairo_curve_to(cr, width * 0.43, height * 0.22, width * 0.46, height * 0.24, width * 0.48, height * 0.32);
  cairo_curve_to(cr, width * 0.50, height * 0.24, width * 0.53, height * 0.22, width * 0.56, height * 0.30);
  cairo_stroke(cr);

  const std::string coins = "Coins: " + std::to_string(m_coins);
  cairo_select_font_face(cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 26);
  cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
  cairo_move_to(cr, 20, 40);
  cairo_show_text(cr, coins.c_str());
}

}  // namespace kestrel::demo
