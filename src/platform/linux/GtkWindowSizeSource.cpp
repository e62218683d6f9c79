#include <gtk/gtk.h>

#include <atomic>
#include <functional>
#include <memory>

#include "platform/Backend.h"
#include "platform/IWindowSizeSource.h"
#include "platform/linux/GtkThread.h"

namespace kestrel {
namespace {

constexpr std::uint64_t kUnknown = ~std::uint64_t{0};

struct Tracking {
  std::atomic<std::uint64_t> size{kUnknown};  // width in the high half, height in the low half
  // Touched on the GTK thread only. The handler is connected while the window
  // lives: GTK disconnects it (and so clears it) when the window is destroyed.
  GtkWindow* window = nullptr;
  gulong handler = 0;
  bool stopped = false;

  void Record(GtkWindow* source) {
    gint width = 0;
    gint height = 0;
    gtk_window_get_size(source, &width, &height);
    size = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(width)) << 32) | static_cast<std::uint32_t>(height);
  }
};

using TrackingRef = std::shared_ptr<Tracking>;

void OnSizeAllocate(GtkWidget* widget, GdkRectangle* /*allocation*/, gpointer data) {
  (*static_cast<TrackingRef*>(data))->Record(GTK_WINDOW(widget));
}

void OnHandlerGone(gpointer data, GClosure* /*closure*/) {
  auto* tracking = static_cast<TrackingRef*>(data);
  (*tracking)->handler = 0;
  (*tracking)->size = kUnknown;
  delete tracking;
}

void Connect(const TrackingRef& tracking, gpointer handle) {
  if (tracking->stopped || !GTK_IS_WINDOW(handle)) return;
  tracking->window = GTK_WINDOW(handle);
  tracking->Record(tracking->window);
  tracking->handler = g_signal_connect_data(tracking->window, "size-allocate", G_CALLBACK(OnSizeAllocate),
                                            new TrackingRef(tracking), OnHandlerGone, GConnectFlags{});
}

void Disconnect(const TrackingRef& tracking) {
  tracking->stopped = true;
  if (tracking->handler != 0) g_signal_handler_disconnect(tracking->window, tracking->handler);
}

class GtkWindowSizeSource : public IWindowSizeSource {
 public:
  explicit GtkWindowSizeSource(WindowHandle window) {
    RunOnGtkThread([tracking = m_tracking, window] { Connect(tracking, window); });
  }

  ~GtkWindowSizeSource() override {
    RunOnGtkThread([tracking = m_tracking] { Disconnect(tracking); });
  }

  GtkWindowSizeSource(const GtkWindowSizeSource&) = delete;
  GtkWindowSizeSource& operator=(const GtkWindowSizeSource&) = delete;

  std::optional<Size> ClientSize() const override {
    const std::uint64_t packed = m_tracking->size;
    if (packed == kUnknown) return std::nullopt;
    return Size{static_cast<std::int32_t>(packed >> 32), static_cast<std::int32_t>(packed & 0xffffffffu)};
  }

 private:
  TrackingRef m_tracking = std::make_shared<Tracking>();
};

}  // namespace

std::unique_ptr<IWindowSizeSource> CreateWindowSizeSource(WindowHandle window) {
  if (!window) return nullptr;
  return std::make_unique<GtkWindowSizeSource>(window);
}

}  // namespace kestrel
