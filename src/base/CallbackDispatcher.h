#pragma once

#include <functional>

namespace kestrel {

// The one thread that calls the publisher's initialisation and load callbacks
// (and the C interface's last calls), first in, first out. A callback runs
// with no SDK lock held, so it may call any SDK operation; while it runs, the
// callbacks after it wait, the SDK's work does not. What a callback throws is
// logged.
class CallbackDispatcher {
 public:
  static void Post(std::function<void()> callback);
  // True on the dispatcher's thread.
  static bool OnDispatcherThread();
};

}  // namespace kestrel
