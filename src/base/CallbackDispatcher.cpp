#include "base/CallbackDispatcher.h"

#include "base/WorkQueue.h"

namespace kestrel {
namespace {

WorkQueue& Queue() {
  static auto* queue = new WorkQueue(1);
  return *queue;
}

}  // namespace

void CallbackDispatcher::Post(std::function<void()> callback) {
  Queue().Post(std::move(callback));
}

bool CallbackDispatcher::OnDispatcherThread() {
  return Queue().OnQueueThread();
}

}  // namespace kestrel
