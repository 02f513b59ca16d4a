#include "batch/parallel_batch.h"

#include <algorithm>

namespace quillon::batch {

void TaskObserver::PageDone(const std::string& sourcePage, const std::string& targetPage, int status) {
  task_.pageLines += FileLogText(sourcePage, targetPage, status, "\r\n");
  if (status != kStatusConverted) ++task_.failedPages;
}

void RunTask(BatchTask& task, TaskObserver& observer) {
  task.status = ConvertFile(task.source, task.target, task.job, observer);
}

int EffectiveJobs(int jobs, size_t rows) {
  if (jobs <= 0) jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const size_t limit = std::max<size_t>(1, rows);
  return static_cast<int>(std::min<size_t>(static_cast<size_t>(jobs), limit));
}

ConversionPool::ConversionPool(int workers, std::function<bool()> stop, std::atomic<long>& units)
    : stop_(std::move(stop)), units_(units) {
  workers = std::max(1, workers);
  workerCount_ = static_cast<size_t>(workers);
  freeCores_ = workers;
  threads_.reserve(2 * static_cast<size_t>(workers));
  for (int i = 0; i < 2 * workers; ++i) threads_.emplace_back([this] { Work(); });
}

ConversionPool::~ConversionPool() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    queue_.clear();
  }
  queued_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void ConversionPool::Submit(BatchTask& task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(&task);
  }
  queued_.notify_one();
}

bool ConversionPool::WaitDone(const BatchTask& task, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return done_.wait_for(lock, timeout, [&] { return task.done; });
}

void ConversionPool::Claim(bool& holding, bool busy) {
  if (holding == busy) return;
  {
    std::unique_lock lock(mutex_);
    if (busy) {
      // A task already begun goes on even while the pool closes.
      queued_.wait(lock, [&] { return freeCores_ > 0; });
      --freeCores_;
    } else {
      ++freeCores_;
    }
  }
  if (!busy) queued_.notify_all();
  holding = busy;
}

void ConversionPool::Work() {
  for (;;) {
    BatchTask* task = nullptr;
    {
      std::unique_lock lock(mutex_);
      queued_.wait(lock, [&] { return closing_ || (!queue_.empty() && freeCores_ > 0); });
      if (queue_.empty()) return;
      task = queue_.front();
      queue_.pop_front();
      task->started = !stop_();
      if (!task->started) {
        task->done = true;
        done_.notify_all();
        continue;
      }
      --freeCores_;
    }
    // A worker never dispatches the caller's events: between steps it only
    // answers the stop request.
    bool holding = true;
    TaskObserver observer(*task, stop_, stop_, units_, [&](bool busy) { Claim(holding, busy); });
    if (workerCount_ > 1) task->job.thinningThreads = 1;
    RunTask(*task, observer);
    Claim(holding, false);
    {
      std::lock_guard lock(mutex_);
      task->done = true;
    }
    done_.notify_all();
  }
}

}  // namespace quillon::batch
