#pragma once
// Several batch conversions at once: each row of a run becomes a task with
// its own parameters (ConvertJob) and its own drawing inside ConvertFile, and
// a fixed set of worker threads converts the tasks. The run that owns the
// tasks writes their log blocks in row order, so a run with several workers
// logs the same text as one that converts the rows one after another.
// A conversion gives up its core while its file is saved (mostly a wait for
// the disk to take the data) so the next task can start on that core.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch/convert.h"

namespace quillon::batch {

// When a row's conversion ran, for timing a run: system clock seconds
// (0: not reached), the pool thread that converted it (0 on the calling
// thread) and the CPU time that thread spent on it (the save's own thread
// not counted).
struct RowTimeline {
  double began = 0;   // took a core
  double saving = 0;  // gave the core up to save (the last page's save)
  double ended = 0;   // saved
  double cpuSeconds = 0;
  int thread = 0;
};

// One row of a run: what to convert, and what came of it.
struct BatchTask {
  size_t row = 0;
  std::string source;
  std::string target;
  ConvertJob job;

  int status = kStatusStopped;
  // The log lines of the pages of a multi-page source (CR LF ends).
  std::string pageLines;
  // The first failure detail the conversion gave (not logged; for a command line).
  std::string detail;
  // Entities written (over every page) and pages that failed, for a command line.
  long entities = 0;
  int failedPages = 0;
  // Set by the pool under its lock: the conversion began (false for a task
  // that a stop request reached while it was still queued), and it has ended.
  bool started = false;
  bool done = false;
  RowTimeline times;
};

// The conversion's side of one task. `pump` is called between steps and
// answers the stop request; `stop` is polled inside the trace and the save
// and must be thread-safe. Progress units go to `units`. `core`, when set, is
// told false when a save begins and true when the next page begins: the task
// needs a core of its own only while it reads and traces.
class TaskObserver final : public ConvertObserver {
 public:
  TaskObserver(BatchTask& task, std::function<bool()> pump, std::function<bool()> stop, std::atomic<long>& units,
               std::function<void(bool)> core = {})
      : task_(task), pump_(std::move(pump)), stop_(std::move(stop)), units_(units), core_(std::move(core)) {}
  void Advance(int units) override { units_.fetch_add(units, std::memory_order_relaxed); }
  bool Pump() override { return pump_(); }
  bool StopRequested() const override { return stop_(); }
  void PageBegins(int) override {
    if (core_) core_(true);
  }
  void SaveStarted(const std::string&) override;
  void PageDone(const std::string& sourcePage, const std::string& targetPage, int status) override;
  void Saved(const std::string&, long entities) override { task_.entities += entities; }
  void FailureDetail(std::string_view message) override {
    if (task_.detail.empty()) task_.detail = message;
  }

 private:
  BatchTask& task_;
  std::function<bool()> pump_;
  std::function<bool()> stop_;
  std::atomic<long>& units_;
  std::function<void(bool)> core_;
};

// Converts the task (ConvertFile) and stores the status and its times.
void RunTask(BatchTask& task, TaskObserver& observer, int thread = 0);

// A fixed number of cores converting submitted tasks in the order of
// submission: `workers` tasks trace at once, and as many more may be saving
// their files meanwhile (two threads per core). Once the stop request is
// seen, queued tasks are not begun:
// they are reported done with `started` false. Tasks must stay alive (and untouched by the caller) until
// Done() reports them. The destructor lets the running tasks end and joins;
// tasks still queued then are dropped with their status left at 7.
class ConversionPool {
 public:
  // stop: the run's stop request, polled by every conversion (thread-safe).
  ConversionPool(int workers, std::function<bool()> stop, std::atomic<long>& units);
  ~ConversionPool();
  ConversionPool(const ConversionPool&) = delete;
  ConversionPool& operator=(const ConversionPool&) = delete;

  void Submit(BatchTask& task);
  // Waits up to `timeout` for the task to be converted; true when it is.
  bool WaitDone(const BatchTask& task, std::chrono::milliseconds timeout);
  // No task is submitted after this call: the run is in its last files.
  void EndSubmissions();
  // Cores no task holds once submissions have ended and none waits in the
  // queue: idle cores, which the running conversions may use in their
  // parallel steps. Before that an empty queue only means the caller has not
  // refilled it yet, and a core freed by a save is soon taken again (the
  // saving thread itself still runs on it). Thread-safe.
  int SpareCores();

 private:
  void Work(int thread);
  // Takes a free core for the calling task (waiting for one), or gives it back.
  void Claim(bool& holding, bool busy);

  std::function<bool()> stop_;
  std::atomic<long>& units_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable done_;
  std::deque<BatchTask*> queue_;
  int freeCores_ = 0;
  bool closing_ = false;
  bool submissionsEnded_ = false;
  std::vector<std::thread> threads_;
  size_t workerCount_ = 1;  // set before any worker starts
};

// The number of conversions to run at once for a request of `jobs` (0 or
// less: one per processor core), never more than `rows`, at least 1.
int EffectiveJobs(int jobs, size_t rows);

}  // namespace quillon::batch
