#include "base/WorkQueue.h"

#include <exception>
#include <thread>

#include "base/Log.h"

namespace kestrel {
namespace {

thread_local const WorkQueue* t_queue = nullptr;  // the queue whose task this thread runs

}  // namespace

WorkQueue::WorkQueue(std::size_t threads, Clock::duration idle) : m_maxThreads(threads), m_idle(idle) {}

void WorkQueue::Post(std::function<void()> task) {
  std::lock_guard lock(m_mutex);
  m_ready.push_back(std::move(task));
  WakeOrStartLocked();
}

void WorkQueue::PostAfter(Clock::duration delay, std::function<void()> task) {
  if (delay <= Clock::duration::zero()) {
    Post(std::move(task));
    return;
  }
  std::lock_guard lock(m_mutex);
  m_delayed.emplace(Clock::now() + delay, std::move(task));
  if (!m_timerRunning) {
    m_timerRunning = true;
    std::thread([this] { RunTimer(); }).detach();
  }
  m_delays.notify_one();
}

bool WorkQueue::OnQueueThread() const {
  return t_queue == this;
}

// A waiting worker only counts once it has woken, so while more tasks are
// ready than workers wait, each of them gets a worker of its own.
void WorkQueue::WakeOrStartLocked() {
  if (m_waiting > 0) m_work.notify_one();
  if (m_ready.size() > m_waiting) StartWorkerLocked();
}

void WorkQueue::StartWorkerLocked() {
  if (m_threads >= m_maxThreads) return;  // a busy worker takes the task when it is done
  ++m_threads;
  try {
    std::thread([this] { RunWorker(); }).detach();
  } catch (const std::system_error& e) {
    --m_threads;  // the running workers take the task
    LogException(e);
  }
}

void WorkQueue::RunWorker() {
  t_queue = this;
  std::unique_lock lock(m_mutex);
  for (;;) {
    if (m_ready.empty()) {
      ++m_waiting;
      // An idle pool thread, not a caller's: it ends when nothing comes.
      const bool woken = m_work.wait_for(lock, m_idle, [this] { return !m_ready.empty(); });
      --m_waiting;
      if (!woken) break;
      continue;
    }
    auto task = std::move(m_ready.front());
    m_ready.pop_front();
    lock.unlock();
    try {
      task();
    } catch (const std::exception& e) {
      LogException(e);
    } catch (...) {
      LogError("Unknown exception in an SDK task");
    }
    task = nullptr;  // what the task held goes before the lock is taken again
    lock.lock();
  }
  --m_threads;
}

// Moves each delayed task to the ready ones when it falls due. It runs no task,
// so it never calls outside the SDK.
void WorkQueue::RunTimer() {
  std::unique_lock lock(m_mutex);
  while (!m_delayed.empty()) {
    const auto due = m_delayed.begin()->first;
    if (due > Clock::now()) {
      m_delays.wait_until(lock, due);
      continue;
    }
    m_ready.push_back(std::move(m_delayed.begin()->second));
    m_delayed.erase(m_delayed.begin());
    WakeOrStartLocked();
  }
  m_timerRunning = false;
}

WorkQueue& WorkQueue::Shared() {
  static auto* queue = new WorkQueue(3);
  return *queue;
}

WorkQueue& WorkQueue::Exchanges() {
  static auto* queue = new WorkQueue(6);
  return *queue;
}

}  // namespace kestrel
