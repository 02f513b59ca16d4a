// Several conversions at once: different conversions running concurrently
// give what they give one after another, a run with several workers logs
// the same text as a sequential one, and a stop ends the files in progress.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "batch/batch_run.h"
#include "batch/convert.h"
#include "batch/parallel_batch.h"
#include "platform/key_value_store.h"
#include "support/test_support.h"

namespace quillon::batch {
namespace {

namespace fs = std::filesystem;

std::string Sample(const std::string& name) { return test::SourcePath("data/samples/" + name); }

// Two conversions that differ in everything a conversion keeps state for:
// method, threshold, post-processing switches and format.
std::vector<BatchTask> TwoDifferentTasks(const std::string& dir) {
  std::vector<BatchTask> tasks(2);
  tasks[0].source = Sample("sheet.tif");
  tasks[0].target = dir + "/centre.dxf";
  tasks[0].job.record.b_Connect = true;
  tasks[0].job.record.i_ConDis = 9;
  tasks[0].job.targetPosition = 0;
  tasks[1].source = Sample("grey_8bit.bmp");
  tasks[1].target = dir + "/outline.svg";
  tasks[1].job.record.i_AutoTraceWhat = settings::TraceMethod::Outline;
  tasks[1].job.record.b_AutoGray = false;
  tasks[1].job.record.i_Gray = 90;
  tasks[1].job.record.b_Connect = false;
  tasks[1].job.targetPosition = 3;
  return tasks;
}

TEST(ParallelBatch, TwoDifferentConversionsConcurrentlyMatchTheirSequentialResults) {
  test::TempDir one;
  test::TempDir both;
  std::atomic<long> units{0};
  std::vector<BatchTask> sequential = TwoDifferentTasks(one.path());
  for (BatchTask& t : sequential) {
    TaskObserver observer(t, [] { return false; }, [] { return false; }, units);
    RunTask(t, observer);
    ASSERT_EQ(t.status, kStatusConverted) << t.detail;
  }
  for (int round = 0; round < 3; ++round) {
    std::vector<BatchTask> concurrent = TwoDifferentTasks(both.path());
    {
      ConversionPool pool(2, [] { return false; }, units);
      for (BatchTask& t : concurrent) pool.Submit(t);
      for (BatchTask& t : concurrent) {
        while (!pool.WaitDone(t, std::chrono::milliseconds(50))) {
        }
      }
    }
    for (size_t i = 0; i < 2; ++i) {
      ASSERT_EQ(concurrent[i].status, kStatusConverted) << concurrent[i].detail;
      EXPECT_EQ(concurrent[i].job.applied, sequential[i].job.applied) << i;
      EXPECT_EQ(test::ReadFile(concurrent[i].target), test::ReadFile(sequential[i].target)) << concurrent[i].target;
    }
  }
}

// A task gives up its core while its file is saved, so the pool runs two
// threads per core: still never more traces at once than cores, also for a
// multi-page source, which takes a core again for each page.
TEST(ParallelBatch, NeverMoreTracesAtOnceThanCores) {
  test::TempDir out;
  std::atomic<long> units{0};
  std::atomic<int> tracing{0};
  std::atomic<int> most{0};
  const auto prepare = [&](raster::CRaster&) {
    const int now = ++tracing;
    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    --tracing;
    return true;
  };
  std::vector<BatchTask> tasks(5);
  for (size_t i = 0; i < tasks.size(); ++i) {
    tasks[i].source = Sample(i == 1 ? "pages_3.tif" : "sheet.tif");
    tasks[i].target = out.file("t" + std::to_string(i) + ".dxf");
    tasks[i].job.prepareRaster = prepare;
  }
  for (int cores : {1, 2}) {
    most = 0;
    {
      ConversionPool pool(cores, [] { return false; }, units);
      for (BatchTask& t : tasks) pool.Submit(t);
      for (BatchTask& t : tasks) {
        while (!pool.WaitDone(t, std::chrono::milliseconds(50))) {
        }
      }
    }
    EXPECT_LE(most.load(), cores);
    for (const BatchTask& t : tasks) {
      EXPECT_TRUE(t.status == kStatusConverted || t.status == kStatusPagesConverted) << t.source << " " << t.detail;
    }
    EXPECT_EQ(tasks[1].status, kStatusPagesConverted);
  }
}

// A conversion may use the cores no other conversion holds, but only once
// nothing waits in the queue for them and nothing more will come: the last
// files of a run.
TEST(ParallelBatch, IdleCoresAreLentOnlyWhenNothingWaits) {
  test::TempDir out;
  std::atomic<long> units{0};
  std::vector<BatchTask> tasks(2);
  std::atomic<int> started{0};
  std::atomic<int> looked{0};
  std::vector<int> seen(tasks.size(), -1);
  for (size_t i = 0; i < tasks.size(); ++i) {
    tasks[i].source = Sample("sheet.tif");
    tasks[i].target = out.file("t" + std::to_string(i) + ".dxf");
    tasks[i].job.prepareRaster = [&, i](raster::CRaster&) {
      // Both conversions hold their core while either looks.
      const auto meet = [](std::atomic<int>& count) {
        ++count;
        for (int wait = 0; count.load() < 2 && wait < 2000; ++wait) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      };
      meet(started);
      seen[i] = tasks[i].job.spareCores ? tasks[i].job.spareCores() : -1;
      meet(looked);
      return true;
    };
  }
  {
    ConversionPool pool(2, [] { return false; }, units);
    for (BatchTask& t : tasks) pool.Submit(t);
    for (BatchTask& t : tasks) {
      while (!pool.WaitDone(t, std::chrono::milliseconds(50))) {
      }
    }
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 0})) << "both cores busy";

  // One file on three cores: two idle, nothing queued. While the caller may
  // still submit more, the empty queue says nothing about the cores.
  std::vector<BatchTask> last(1);
  last[0].source = Sample("sheet.tif");
  last[0].target = out.file("last.dxf");
  int lent = -1;
  std::atomic<bool> asked{false};  // the caller is done with the pool
  last[0].job.prepareRaster = [&](raster::CRaster&) {
    while (!asked.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    lent = last[0].job.spareCores ? last[0].job.spareCores() : -1;
    return true;
  };
  for (const bool ended : {false, true}) {
    lent = -1;
    asked = false;
    last[0].done = false;
    {
      ConversionPool pool(3, [] { return false; }, units);
      pool.Submit(last[0]);
      if (ended) pool.EndSubmissions();
      asked = true;
      while (!pool.WaitDone(last[0], std::chrono::milliseconds(50))) {
      }
    }
    EXPECT_EQ(lent, ended ? 2 : 0) << (ended ? "submissions ended" : "more may come");
  }
  EXPECT_EQ(last[0].status, kStatusConverted) << last[0].detail;
  EXPECT_EQ(test::ReadFile(last[0].target), test::ReadFile(tasks[0].target));
}

// The log without its two times.
std::string Timeless(const std::string& log) {
  return std::regex_replace(log, std::regex("(Start|Finish) time : [^\r]*"), "$1 time :");
}

class ParallelRun : public ::testing::Test {
 protected:
  void Fill(BatchJobList& list) {
    if (!fs::exists(src.file("x/sheet.bmp"))) {
      fs::create_directories(src.file("x"));
      fs::copy_file(Sample("grey_8bit.bmp"), src.file("x/sheet.bmp"));
    }
    list.AddJob(Sample("sheet.tif"), list.size());
    list.working().b_AutoGray = false;
    list.working().i_Gray = 100;
    list.AddJob(Sample("grey_8bit.bmp"), list.size());
    list.AddJob(src.file("missing.tif"), list.size());
    list.working().i_AutoTraceWhat = settings::TraceMethod::Outline;
    list.AddJob(Sample("pages_3.tif"), list.size());
    list.AddJob(src.file("x/sheet.bmp"), list.size());  // the same target name as row 0
    list.working().i_AutoTraceWhat = settings::TraceMethod::CenterLine;
    list.working().b_AutoGray = true;
    list.AddJob(Sample("lines_1bit.bmp"), list.size());
    list.overwrite = false;
    list.powerOff = false;
  }
  platform::MemoryKeyValueStore store;
  settings::TraceOption current;
  test::TempDir src;
  test::CapturedMessages messages;
};

TEST_F(ParallelRun, ParallelAndSequentialRunsLogAndWriteTheSame) {
  test::TempDir seqDir;
  test::TempDir parDir;
  std::string logs[2];
  for (int k = 0; k < 2; ++k) {
    BatchJobList list(store, current);
    Fill(list);
    list.targetDir = k == 0 ? seqDir.path() : parDir.path();
    BatchRun run;
    BatchRunHost host;
    BatchRunOptions options;
    options.jobs = k == 0 ? 1 : 3;
    const BatchRunSummary s = run.RunBatch(list, host, options);
    ASSERT_TRUE(s.ran);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(s.converted, 5);
    std::string log = Timeless(test::ReadFile(s.logPath));
    const std::string dir = list.targetDir + "/";
    for (size_t at = log.find(dir); at != std::string::npos; at = log.find(dir, at)) log.replace(at, dir.size(), "OUT/");
    logs[k] = log;
  }
  EXPECT_EQ(logs[1], logs[0]);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(seqDir.path())) {
    const std::string name = entry.path().filename().string();
    if (name == kBatchLogName) continue;
    ++files;
    EXPECT_EQ(test::ReadFile(parDir.path() + "/" + name), test::ReadFile(entry.path().string())) << name;
  }
  EXPECT_EQ(files, 7u) << "sheet, grey, three pages, sheet0, lines";
}

// Each logged row says when its conversion ran and on which thread: the
// timeline a run's timing is read from. With several jobs, no more rows are
// between taking a core and giving it up than jobs.
TEST_F(ParallelRun, RowsReportWhenTheyRan) {
  struct TimedHost : BatchRunHost {
    void RowTimed(size_t row, const RowTimeline& times) override { rows.emplace_back(row, times); }
    std::vector<std::pair<size_t, RowTimeline>> rows;
  };
  for (int jobs : {1, 2}) {
    test::TempDir out;
    BatchJobList list(store, current);
    Fill(list);
    list.targetDir = out.path();
    BatchRun run;
    TimedHost host;
    BatchRunOptions options;
    options.jobs = jobs;
    ASSERT_TRUE(run.RunBatch(list, host, options).ran);
    ASSERT_EQ(host.rows.size(), list.size());
    std::vector<std::pair<double, int>> edges;
    for (size_t i = 0; i < host.rows.size(); ++i) {
      const auto& [row, t] = host.rows[i];
      EXPECT_EQ(row, i);
      EXPECT_GT(t.began, 0.0) << row;
      EXPECT_GE(t.ended, t.began) << row;
      EXPECT_GE(t.cpuSeconds, 0.0) << row;
      if (jobs == 1) {
        EXPECT_EQ(t.thread, 0) << row;
      } else {
        EXPECT_GE(t.thread, 1) << row;
        EXPECT_LE(t.thread, 2 * jobs) << row;
      }
      if (row == 2) {
        EXPECT_EQ(t.saving, 0.0) << "the missing source never reaches its save";
        continue;
      }
      EXPECT_GE(t.saving, t.began) << row;
      EXPECT_LE(t.saving, t.ended) << row;
      // The pages of row 3 give their core up for each page's save, which
      // one span from the first page to the last save does not show.
      if (row == 3) continue;
      edges.emplace_back(t.began, 1);
      edges.emplace_back(t.saving, -1);
    }
    std::sort(edges.begin(), edges.end());
    int holding = 0;
    for (const auto& [when, step] : edges) {
      holding += step;
      EXPECT_LE(holding, jobs) << "at " << when;
    }
  }
}

TEST_F(ParallelRun, CancelStopsTheFilesInProgressAndLogsThemInRowOrder) {
  test::TempDir out;
  BatchJobList list(store, current);
  for (int i = 0; i < 6; ++i) list.AddJob(Sample("sheet.tif"), list.size());
  list.targetDir = out.path();
  list.overwrite = true;
  struct StopAfterFirst : BatchRunHost {
    void RowLogged(size_t, const std::string&, const std::string&, int status, const std::string&) override {
      statuses.push_back(status);
      stop.store(true);
    }
    bool StopRequested() const override { return stop.load(); }
    std::atomic<bool> stop{false};
    std::vector<int> statuses;
  } host;
  BatchRun run;
  BatchRunOptions options;
  options.jobs = 2;
  const BatchRunSummary s = run.RunBatch(list, host, options);
  EXPECT_TRUE(s.stopped);
  ASSERT_GE(host.statuses.size(), 2u);
  EXPECT_LE(host.statuses.size(), 4u) << "only rows already handed to the two workers are logged";
  for (int status : host.statuses) EXPECT_TRUE(status == kStatusConverted || status == kStatusStopped) << status;
  EXPECT_EQ(s.converted + s.failed, static_cast<long>(host.statuses.size()));
  const std::string log = test::ReadFile(s.logPath);
  EXPECT_NE(log.find("User break!\r\nThe number of total files is 6\r\n"), std::string::npos);
  EXPECT_NE(log.find("The number of not convert files for user break is " +
                     std::to_string(6 - host.statuses.size()) + "\r\n"),
            std::string::npos);
  // Row order: the targets appear as sheet, sheet0, sheet1, …
  size_t last = 0;
  for (size_t i = 0; i < host.statuses.size(); ++i) {
    const std::string name = i == 0 ? "sheet.dxf" : "sheet" + std::to_string(i - 1) + ".dxf";
    const size_t at = log.find(out.file(name) + " ");
    ASSERT_NE(at, std::string::npos) << name;
    EXPECT_GT(at, last);
    last = at;
  }
}

TEST(ParallelBatch, EffectiveJobs) {
  EXPECT_EQ(EffectiveJobs(4, 2), 2);
  EXPECT_EQ(EffectiveJobs(1, 9), 1);
  EXPECT_EQ(EffectiveJobs(3, 0), 1);
  EXPECT_GE(EffectiveJobs(0, 100), 1);
}

}  // namespace
}  // namespace quillon::batch
