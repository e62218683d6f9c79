#pragma once

#include <functional>

namespace kestrel {

// GTK may be used only on the thread that runs its main loop: the thread that
// owns the default main context or, while no other thread owns it, the
// process's first thread.
bool OnGtkThread();

// Runs work on the GTK thread: at once when called there, otherwise queued to the main loop.
void RunOnGtkThread(std::function<void()> work);

}  // namespace kestrel
