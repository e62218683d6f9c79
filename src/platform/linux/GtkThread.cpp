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

// The queue's source lives as long as the process: GLib's own locking hands a
// source from thread to thread where race detectors cannot see it, so none is
// created per item. It is ready while work is queued; each dispatch runs the
// oldest item, so the order holds.
gboolean HasWork(GSource*) {
  std::lock_guard lock(Queue().mutex);
  return !Queue().work.empty();
}

gboolean Prepare(GSource* source, gint* timeout) {
  *timeout = -1;
  return HasWork(source);
}

gboolean RunOldest(GSource*, GSourceFunc, gpointer) {
  std::function<void()> work;
  {
    std::lock_guard lock(Queue().mutex);
    if (Queue().work.empty()) return G_SOURCE_CONTINUE;
    work = std::move(Queue().work.front());
    Queue().work.pop_front();
  }
  work();
  return G_SOURCE_CONTINUE;
}

GSourceFuncs kQueueFuncs = {Prepare, HasWork, RunOldest, nullptr, nullptr, nullptr};

void AttachQueueSource(GMainContext* context) {
  static const bool attached = [context] {
    GSource* source = g_source_new(&kQueueFuncs, sizeof(GSource));
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_can_recurse(source, TRUE);  // work that runs a nested loop lets later work run
    g_source_attach(source, context);
    return true;
  }();
  (void)attached;
}

}  // namespace

void RunOnGtkThread(std::function<void()> work) {
  GMainContext* context = g_main_context_default();
  if (OnGtkThread() && g_main_context_acquire(context)) {
    work();
    g_main_context_release(context);
    return;
  }
  AttachQueueSource(context);
  {
    std::lock_guard lock(Queue().mutex);
    Queue().work.push_back(std::move(work));
  }
  g_main_context_wakeup(context);
}

}  // namespace kestrel
