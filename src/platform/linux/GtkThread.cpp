#include "platform/linux/GtkThread.h"

#include <glib.h>
#include <unistd.h>

namespace kestrel {

bool OnGtkThread() {
  GMainContext* context = g_main_context_default();
  if (g_main_context_is_owner(context)) return true;
  if (gettid() != getpid() || !g_main_context_acquire(context)) return false;
  g_main_context_release(context);
  return true;
}

void RunOnGtkThread(std::function<void()> work) {
  GMainContext* context = g_main_context_default();
  if (OnGtkThread() && g_main_context_acquire(context)) {
    work();
    g_main_context_release(context);
    return;
  }
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(
      source,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      new std::function<void()>(std::move(work)),
      [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
  g_source_attach(source, context);
  g_source_unref(source);
}

}  // namespace kestrel
