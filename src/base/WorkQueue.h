#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace kestrel {

// A pool of at most a given number of threads running tasks first in, first
// out; a task posted with a delay joins them when it falls due. Nothing waits
// on a task: a result travels through a promise or a callback. A task's
// exception is logged. Threads start when there is work and end after a
// while without any, so an idle SDK holds no thread that ran its work (a
// runtime such as Mono, which waits at exit for the threads that called into
// it, can end). Queues live as long as the process: a task may drop the last
// reference to anything, and nothing ever waits for a queue to stop.
class WorkQueue {
 public:
  using Clock = std::chrono::steady_clock;

  explicit WorkQueue(std::size_t threads, Clock::duration idle = std::chrono::seconds(2));
  ~WorkQueue() = delete;  // made with new and kept: its detached threads refer to it
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  void Post(std::function<void()> task);
  void PostAfter(Clock::duration delay, std::function<void()> task);
  // True on one of this queue's threads while it runs a task.
  bool OnQueueThread() const;

  // The SDK's own short work: starting loads, deadlines, initialisation, file clean-up.
  static WorkQueue& Shared();
  // The HTTP exchanges, each of which may block its thread until the transport gives up.
  static WorkQueue& Exchanges();

 private:
  void RunWorker();
  void RunTimer();
  void WakeOrStartLocked();  // under m_mutex, for a task just made ready
  void StartWorkerLocked();  // under m_mutex

  const std::size_t m_maxThreads;
  const Clock::duration m_idle;
  mutable std::mutex m_mutex;  // guards everything below
  std::deque<std::function<void()>> m_ready;
  std::multimap<Clock::time_point, std::function<void()>> m_delayed;
  std::size_t m_threads = 0;  // workers running
  std::size_t m_waiting = 0;  // workers waiting for a task
  bool m_timerRunning = false;
  std::condition_variable m_work;    // a task is ready
  std::condition_variable m_delays;  // the earliest delay changed
};

}  // namespace kestrel
