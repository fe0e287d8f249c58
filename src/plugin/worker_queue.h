// Jobs that must run on a thread other than their caller's: one worker
// thread, started with the first job, takes them in order until Stop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace shell {
class WorkerThread;
}

class WorkerQueue {
 public:
  WorkerQueue();
  ~WorkerQueue();
  WorkerQueue(const WorkerQueue&) = delete;
  WorkerQueue& operator=(const WorkerQueue&) = delete;

  // Queues `job` for the worker. When no worker can be started, the job waits
  // for the next Post or for Stop, which try again. Jobs must not throw.
  void Post(std::function<void()> job);

  // Lets the worker finish every queued job and waits for it to end, at most
  // `timeout`; true when it has ended. Jobs that no worker could be started
  // for run on the calling thread, after their Post calls have returned. A
  // worker that outlives the wait still runs every queued job.
  bool Stop(std::chrono::milliseconds timeout);

 private:
  void Drain();  // the worker's body
  void StartWorkerLocked();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::unique_ptr<shell::WorkerThread> worker_;
  bool stopping_ = false;
};
