#include "GtkPost.h"

#include <cstdio>
#include <exception>

#include <glib.h>

namespace kestrel::demo {

namespace {

using Task = std::function<void()>;

gboolean RunTask(gpointer data) {
  try {
    (*static_cast<Task*>(data))();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrel-demo: %s\n", e.what());
  }
  return G_SOURCE_REMOVE;
}

void DeleteTask(gpointer data) {
  delete static_cast<Task*>(data);
}

}  // namespace

void PostToGtk(std::function<void()> task) {
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, RunTask, new Task(std::move(task)), DeleteTask);
}

}  // namespace kestrel::demo
