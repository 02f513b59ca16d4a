#include "batch/parallel_batch.h"

#include <time.h>

#include <algorithm>

namespace quillon::batch {

void TaskObserver::PageDone(const std::string& sourcePage, const std::string& targetPage, int status) {
  task_.pageLines += FileLogText(sourcePage, targetPage, status, "\r\n");
  if (status != kStatusConverted) ++task_.failedPages;
}

namespace {

double SecondsOf(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

void TaskObserver::SaveStarted(const std::string&) {
  task_.times.saving = SecondsOf(CLOCK_REALTIME);
  if (core_) core_(false);
}

void RunTask(BatchTask& task, TaskObserver& observer, int thread) {
  task.times.thread = thread;
  task.times.began = SecondsOf(CLOCK_REALTIME);
  const double cpu = SecondsOf(CLOCK_THREAD_CPUTIME_ID);
  task.status = ConvertFile(task.source, task.target, task.job, observer);
  task.times.cpuSeconds = SecondsOf(CLOCK_THREAD_CPUTIME_ID) - cpu;
  task.times.ended = SecondsOf(CLOCK_REALTIME);
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
  for (int i = 0; i < 2 * workers; ++i) threads_.emplace_back([this, i] { Work(i + 1); });
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

void ConversionPool::EndSubmissions() {
  std::lock_guard lock(mutex_);
  submissionsEnded_ = true;
}

int ConversionPool::SpareCores() {
  std::lock_guard lock(mutex_);
  return submissionsEnded_ && queue_.empty() && !closing_ ? freeCores_ : 0;
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

void ConversionPool::Work(int thread) {
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
    if (workerCount_ > 1) {
      task->job.thinningThreads = 1;
      task->job.spareCores = [this] { return SpareCores(); };
    }
    RunTask(*task, observer, thread);
    Claim(holding, false);
    {
      std::lock_guard lock(mutex_);
      task->done = true;
    }
    done_.notify_all();
  }
}

}  // namespace quillon::batch
