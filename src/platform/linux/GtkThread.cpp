#include "platform/linux/GtkThread.h"

#include <glib.h>
#include <unistd.h>

#include <deque>
#include <mutex>

namespace kestrel {

bool OnGtkThread() {
  GMainContext* context = g_main_context_default();
  if (g_main_context_is_owner(context)) return true;
  if (gettid() != getpid() || !g_main_context_acquire(context)) return false;
  g_main_context_release(context);
  return true;
}

namespace {

// Work queued for the GTK thread. The handoff goes through this std::mutex
// rather than only through GLib's own locking, so that race detectors, which
// do not see inside GLib, see it too. Created once, never destroyed.
struct GtkQueue {
  std::mutex mutex;
  std::deque<std::function<void()>> work;  // guarded by mutex
};

GtkQueue& Queue() {
  static auto* queue = new GtkQueue;
  return *queue;
}

// One idle source per queued item; each runs the oldest item, so the order holds.
gboolean RunOldest(gpointer) {
  std::function<void()> work;
  {
    std::lock_guard lock(Queue().mutex);
    if (Queue().work.empty()) return G_SOURCE_REMOVE;
    work = std::move(Queue().work.front());
    Queue().work.pop_front();
  }
  work();
  return G_SOURCE_REMOVE;
}

}  // namespace

void RunOnGtkThread(std::function<void()> work) {
  GMainContext* context = g_main_context_default();
  if (OnGtkThread() && g_main_context_acquire(context)) {
    work();
    g_main_context_release(context);
    return;
  }
  {
    std::lock_guard lock(Queue().mutex);
    Queue().work.push_back(std::move(work));
  }
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(source, RunOldest, nullptr, nullptr);
  g_source_attach(source, context);
  g_source_unref(source);
}

}  // namespace kestrel
