#include <gtk/gtk.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/linux/GtkOverlayWindow.h"

#include "platform/Backend.h"
#include "platform/linux/GtkThread.h"

namespace kestrel {
namespace {

constexpr const char* kCloseControlCss =
    "button { background: rgba(0,0,0,0.6); color: #ffffff; border: 2px solid #ffffff; border-radius: 18px;"
    " min-width: 32px; min-height: 32px; padding: 0; font-size: 20px; font-weight: bold; box-shadow: none; }"
    "button:hover { background: rgba(60,60,60,0.8); }";

// The window of the last play, hidden, with the browser still in it: a web
// view moved to another window leaves its drawing memory behind, so every
// play shows in the same window and view.
struct SpareWindow {
  GtkWidget* window = nullptr;
  GtkWidget* layers = nullptr;
};

SpareWindow& Spare() {
  static SpareWindow spare;
  return spare;
}

// Counts the drops of the spare: a window closed before a drop is not kept after it.
unsigned& SpareDrops() {
  static unsigned drops = 0;
  return drops;
}

// An undecorated window kept above its owner (transient for it), out of the
// taskbar and the pager, painted black. The content lies in layers, so that
// the SDK's close control can lie over it. It follows the owner's configure
// events, and reports when the application gains or loses the focus: when
// the owner or the overlay becomes active, or neither is any more.
class GtkOverlayWindow : public IOverlayWindow {
 public:
  GtkOverlayWindow(GtkWindow* owner, Events events) : m_owner(owner), m_events(std::move(events)) {
    g_object_add_weak_pointer(G_OBJECT(m_owner), reinterpret_cast<gpointer*>(&m_owner));
    SpareWindow& spare = Spare();
    if (spare.window) {
      m_window = std::exchange(spare.window, nullptr);
      m_layers = std::exchange(spare.layers, nullptr);
    } else {
      m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      g_object_ref_sink(m_window);
      GtkWindow* window = GTK_WINDOW(m_window);
      gtk_window_set_title(window, "Overlay Window");
      gtk_window_set_decorated(window, FALSE);
      gtk_window_set_skip_taskbar_hint(window, TRUE);
      gtk_window_set_skip_pager_hint(window, TRUE);
      gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);

      GtkCssProvider* css = gtk_css_provider_new();
      gtk_css_provider_load_from_data(css, "* { background-color: #000000; }", -1, nullptr);
      gtk_style_context_add_provider(gtk_widget_get_style_context(m_window), GTK_STYLE_PROVIDER(css),
                                     GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
      g_object_unref(css);
      m_layers = gtk_overlay_new();
      gtk_container_add(GTK_CONTAINER(m_window), m_layers);
      gtk_widget_show(m_layers);
    }
    gtk_window_set_transient_for(GTK_WINDOW(m_window), m_owner);

    m_keyHandler = g_signal_connect(m_window, "key-press-event", G_CALLBACK(OnKeyPress), this);
    m_configureHandler = g_signal_connect(m_owner, "configure-event", G_CALLBACK(OnOwnerConfigure), this);
    m_ownerActiveHandler = g_signal_connect(m_owner, "notify::is-active", G_CALLBACK(OnActiveChanged), this);
    m_activeHandler = g_signal_connect(m_window, "notify::is-active", G_CALLBACK(OnActiveChanged), this);
    m_appActive = AppActive();
  }

  ~GtkOverlayWindow() override {
    if (m_focusCheck != 0) g_source_remove(m_focusCheck);
    for (Timer* timer : std::vector<Timer*>(m_timers)) g_source_remove(timer->source);
    if (m_closeControl) g_signal_handler_disconnect(m_closeControl, m_clickHandler);
    g_signal_handler_disconnect(m_window, m_keyHandler);
    if (m_owner) {
      g_signal_handler_disconnect(m_owner, m_configureHandler);
      g_signal_handler_disconnect(m_owner, m_ownerActiveHandler);
      g_object_remove_weak_pointer(G_OBJECT(m_owner), reinterpret_cast<gpointer*>(&m_owner));
    }
    g_signal_handler_disconnect(m_window, m_activeHandler);
    gtk_widget_hide(m_window);
    gtk_window_set_transient_for(GTK_WINDOW(m_window), nullptr);
    // The browser inside may be in the middle of one of its own signals: the
    // window is kept for the next play, or goes, once the main loop is back.
    RunLater([window = m_window, layers = m_layers, control = m_closeControl, drops = SpareDrops()] {
      if (control) gtk_widget_destroy(control);
      SpareWindow& spare = Spare();
      if (!spare.window && drops == SpareDrops()) {
        spare = {window, layers};
        return;
      }
      gtk_widget_destroy(window);
      g_object_unref(window);
    });
  }

  GtkOverlayWindow(const GtkOverlayWindow&) = delete;
  GtkOverlayWindow& operator=(const GtkOverlayWindow&) = delete;

  void CoverOwner() override {
    if (!m_owner) return;
    gint x = 0;
    gint y = 0;
    gint width = 0;
    gint height = 0;
    gtk_window_get_size(m_owner, &width, &height);
    if (GdkWindow* client = gtk_widget_get_window(GTK_WIDGET(m_owner))) {
      gdk_window_get_origin(client, &x, &y);
      width = gdk_window_get_width(client);
      height = gdk_window_get_height(client);
    }
    m_size = WindowSize{width, height};
    GtkWindow* window = GTK_WINDOW(m_window);
    gtk_window_move(window, x, y);
    gtk_window_resize(window, width > 0 ? width : 1, height > 0 ? height : 1);
    if (GdkWindow* overlay = gtk_widget_get_window(m_window)) gdk_window_raise(overlay);
  }

  WindowSize ClientSize() const override { return m_size; }

  void Show() override {
    gtk_widget_show(m_window);
    if (GdkWindow* overlay = gtk_widget_get_window(m_window)) gdk_window_raise(overlay);
  }

  void ShowCloseControl() override {
    if (m_closeControl) return;
    m_closeControl = gtk_button_new_with_label("\u00d7");
    gtk_widget_set_name(m_closeControl, "kestrel-close");
    gtk_widget_set_tooltip_text(m_closeControl, "Close");
    gtk_widget_set_halign(m_closeControl, GTK_ALIGN_END);
    gtk_widget_set_valign(m_closeControl, GTK_ALIGN_START);
    gtk_widget_set_margin_top(m_closeControl, 12);
    gtk_widget_set_margin_end(m_closeControl, 12);
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, kCloseControlCss, -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(m_closeControl), GTK_STYLE_PROVIDER(css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    m_clickHandler = g_signal_connect(m_closeControl, "clicked", G_CALLBACK(OnCloseClicked), this);
    gtk_overlay_add_overlay(GTK_OVERLAY(m_layers), m_closeControl);
    gtk_widget_show(m_closeControl);
  }

  bool ShowsCloseControl() const override { return m_closeControl != nullptr; }

  void After(std::chrono::milliseconds delay, std::function<void()> work) override {
    auto* timer = new Timer{this, std::move(work), 0};
    timer->source = g_timeout_add_full(
        G_PRIORITY_DEFAULT, static_cast<guint>(delay.count()),
        [](gpointer data) -> gboolean {
          auto* fired = static_cast<Timer*>(data);
          auto& timers = fired->owner->m_timers;
          timers.erase(std::remove(timers.begin(), timers.end(), fired), timers.end());
          const auto run = fired->work;  // the work may destroy the window
          if (run) run();
          return G_SOURCE_REMOVE;
        },
        timer, [](gpointer data) { delete static_cast<Timer*>(data); });
    m_timers.push_back(timer);
  }

  void* NativeHandle() const override { return m_layers; }

 private:
  struct Timer {
    GtkOverlayWindow* owner;
    std::function<void()> work;
    guint source;
  };

  // The window and everything in it may be gone when these return.
  static void RaiseClose(GtkOverlayWindow* self) {
    const auto requested = self->m_events.closeRequested;
    if (requested) requested();
  }

  static void OnCloseClicked(GtkButton* /*button*/, gpointer data) { RaiseClose(static_cast<GtkOverlayWindow*>(data)); }

  // Escape closes once the close control shows; until then the page has it.
  static gboolean OnKeyPress(GtkWidget* /*window*/, GdkEventKey* event, gpointer data) {
    auto* self = static_cast<GtkOverlayWindow*>(data);
    if (event->keyval != GDK_KEY_Escape || !self->m_closeControl) return FALSE;
    RaiseClose(self);
    return TRUE;
  }

  static void RunLater(std::function<void()> work) {
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        [](gpointer data) -> gboolean {
          (*static_cast<std::function<void()>*>(data))();
          return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(work)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
  }

  bool AppActive() const {
    return gtk_window_is_active(GTK_WINDOW(m_window)) || (m_owner && gtk_window_is_active(m_owner));
  }

  static gboolean OnOwnerConfigure(GtkWidget* /*owner*/, GdkEventConfigure* /*event*/, gpointer data) {
    auto* self = static_cast<GtkOverlayWindow*>(data);
    if (self->m_events.ownerMoved) self->m_events.ownerMoved();
    return FALSE;
  }

  // Focus moving between the owner and the overlay passes through a moment
  // where neither is active: the state is read once the moves have settled.
  static void OnActiveChanged(GObject* /*window*/, GParamSpec* /*property*/, gpointer data) {
    auto* self = static_cast<GtkOverlayWindow*>(data);
    if (self->m_focusCheck != 0) return;
    self->m_focusCheck = g_idle_add(
        [](gpointer check) -> gboolean {
          auto* overlay = static_cast<GtkOverlayWindow*>(check);
          overlay->m_focusCheck = 0;
          const bool active = overlay->AppActive();
          if (active != overlay->m_appActive) {
            overlay->m_appActive = active;
            if (overlay->m_events.appFocusChanged) overlay->m_events.appFocusChanged(active);
          }
          return G_SOURCE_REMOVE;
        },
        self);
  }

  GtkWindow* m_owner;  // cleared by GTK when the owner is finalized
  Events m_events;
  GtkWidget* m_window = nullptr;
  GtkWidget* m_layers = nullptr;        // the content, with the close control over it
  GtkWidget* m_closeControl = nullptr;  // null until it shows
  std::vector<Timer*> m_timers;         // pending; each deletes itself when done
  gulong m_keyHandler = 0;
  gulong m_clickHandler = 0;
  gulong m_configureHandler = 0;
  gulong m_ownerActiveHandler = 0;
  gulong m_activeHandler = 0;
  guint m_focusCheck = 0;
  bool m_appActive = false;
  WindowSize m_size;
};

}  // namespace

void DropSpareOverlayWindow() {
  ++SpareDrops();
  SpareWindow spare = std::exchange(Spare(), {});
  if (!spare.window) return;
  gtk_widget_destroy(spare.window);
  g_object_unref(spare.window);
}

bool IsLiveWindow(WindowHandle window) {
  if (!window) return false;
  // GTK's list of windows can be read on its own thread only; elsewhere the
  // thread rule refuses the caller next.
  if (!OnGtkThread()) return true;
  GList* windows = gtk_window_list_toplevels();
  const bool found = g_list_find(windows, window) != nullptr;
  g_list_free(windows);
  return found;
}

bool IsWindowThread(WindowHandle /*window*/) {
  return OnGtkThread();
}

void RunOnWindowThread(std::function<void()> work) {
  RunOnGtkThread(std::move(work));
}

void UseWindowThread(WindowHandle /*window*/) {}  // GTK's thread is the windows' thread

std::unique_ptr<IOverlayWindow> CreateOverlayWindow(WindowHandle owner, IOverlayWindow::Events events) {
  if (!IsLiveWindow(owner) || !OnGtkThread()) return nullptr;
  return std::make_unique<GtkOverlayWindow>(GTK_WINDOW(owner), std::move(events));
}

}  // namespace kestrel
