#include "plugin/worker_queue.h"

#include <utility>

#include "shell/shell.h"

namespace {

void RunJob(const std::function<void()>& job) noexcept {
  try {
    job();
  } catch (...) {
  }
}

}  // namespace

WorkerQueue::WorkerQueue() = default;
WorkerQueue::~WorkerQueue() = default;

void WorkerQueue::StartWorkerLocked() {
  if (!worker_) worker_ = shell::StartWorker([this] { Drain(); });
}

void WorkerQueue::Post(std::function<void()> job) {
  std::lock_guard<std::mutex> lock(mutex_);
  jobs_.push_back(std::move(job));
  // While Stop waits, a new worker would escape it: Stop runs the job itself.
  if (!stopping_) StartWorkerLocked();
  wake_.notify_one();
}

void WorkerQueue::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping, and nothing is left
    const std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    RunJob(job);
    lock.lock();
  }
}

bool WorkerQueue::Stop(std::chrono::milliseconds timeout) {
  std::unique_ptr<shell::WorkerThread> worker;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!jobs_.empty()) StartWorkerLocked();
    stopping_ = true;
    worker = std::move(worker_);
  }
  wake_.notify_all();
  if (worker && !worker->Join(timeout)) return false;

  std::deque<std::function<void()>> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left.swap(jobs_);
    stopping_ = false;
  }
  for (const auto& job : left) RunJob(job);
  return true;
}
