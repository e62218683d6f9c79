// Hands work to the GTK main loop.
#pragma once

#include <functional>

namespace kestrel::demo {

// Runs `task` on the GTK main-loop thread on a later loop iteration, never
// inside the caller, so it is safe from SDK threads and from inside an SDK
// call. Tasks run in the order they were posted.
void PostToGtk(std::function<void()> task);

}  // namespace kestrel::demo
