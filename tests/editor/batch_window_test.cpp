// The batch window's model: the commands it enables, parameters per row, a
// run on its worker thread seen through poll(), Stop, the power-off box and
// the values kept for the next opening. The power-off is always a recorder.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "editor/batch_window.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/trace_option.h"
#include "support/test_support.h"

namespace quillon::editor {
namespace {

namespace fs = std::filesystem;

std::string Sample(const std::string& name) { return test::SourcePath("data/samples/" + name); }

// Polls until the run has ended, collecting every update's log text, and
// shows the closing message as the window does.
BatchUpdate PollToEnd(BatchWindow& window, std::string* log = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (;;) {
    BatchUpdate update = window.poll();
    if (log) *log += update.log;
    if (!update.message.empty()) platform::ShowMessage(update.message);
    if (update.ended) return update;
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the run did not end";
      window.stop();
      window.waitForWorker();
      return window.poll();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

class BatchWindowTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::CapturedMessages messages;
  platform::MemoryKeyValueStore store;
  settings::TraceOption current;
};

TEST_F(BatchWindowTest, CommandsFollowTheListAndTheSelection) {
  BatchWindow window(store, current);
  EXPECT_TRUE(current.batchActive);
  EXPECT_FALSE(window.canRun());
  EXPECT_FALSE(window.canSaveJob());
  EXPECT_FALSE(window.runButtonEnabled());
  EXPECT_FALSE(window.run());
  EXPECT_EQ(window.state(), BatchState::Idle);

  ASSERT_TRUE(window.addFiles({Sample("sheet.tif"), Sample("grey_8bit.bmp"), Sample("lines_1bit.bmp")}));
  EXPECT_TRUE(window.canRun());
  EXPECT_TRUE(window.canSaveJob());
  EXPECT_FALSE(window.canRemove(0));
  EXPECT_FALSE(window.canEditParameters(0));
  EXPECT_TRUE(window.canEditParameters(2));
  EXPECT_FALSE(window.parametersFor({}).has_value());
  EXPECT_FALSE(window.parametersFor({7}).has_value());

  // Rows 1 and 2 become outline rows; the dialog opens with the first
  // selected row's values whatever order the selection came in.
  settings::TraceOption outline;
  outline.i_AutoTraceWhat = settings::TraceMethod::Outline;
  outline.b_AutoGray = false;
  outline.i_Gray = 90;
  ASSERT_TRUE(window.applyParameters({2, 1}, outline));
  EXPECT_EQ(window.list().row(0).cells[batch::kColumnMethod], "Center");
  EXPECT_EQ(window.list().row(1).cells[batch::kColumnMethod], "Outline");
  EXPECT_EQ(window.list().row(2).cells[batch::kColumnThreshold], "90");
  const auto opened = window.parametersFor({2, 1});
  ASSERT_TRUE(opened.has_value());
  EXPECT_EQ(opened->i_AutoTraceWhat, settings::TraceMethod::Outline);
  EXPECT_FALSE(opened->b_AutoGray);
  EXPECT_EQ(opened->i_Gray, 90);
  EXPECT_EQ(window.parametersFor({0})->i_AutoTraceWhat, settings::TraceMethod::CenterLine);

  ASSERT_TRUE(window.removeRows({0, 2}));
  ASSERT_EQ(window.list().size(), 1u);
  EXPECT_EQ(window.list().row(0).cells[batch::kColumnSource], "grey_8bit.bmp");
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(BatchWindowTest, RunConvertsOnTheWorkerAndShowsTheLogAsWritten) {
  BatchWindow window(store, current);
  int notifications = 0;
  window.notify = [&] { ++notifications; };
  const std::string target = dir.file("out");
  ASSERT_TRUE(window.addFiles({Sample("sheet.tif"), Sample("grey_8bit.bmp")}));
  window.setTargetDir(target);
  window.setTargetType(3);  // SVG
  window.setJobs(1);

  // The target folder is missing: the run asks first, and No starts nothing.
  messages.sink().setAnswer(false);
  EXPECT_FALSE(window.runOrStop());
  EXPECT_EQ(window.state(), BatchState::Idle);
  EXPECT_FALSE(fs::exists(target));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0], "The target path does not exist, would you like to create it?");

  messages.sink().setAnswer(true);
  ASSERT_TRUE(window.runOrStop());
  EXPECT_EQ(window.state(), BatchState::Running);
  // While it runs nothing may change the list; Run stays enabled as Stop.
  EXPECT_FALSE(window.addFiles({Sample("sheet.tif")}));
  EXPECT_FALSE(window.removeRows({0}));
  EXPECT_FALSE(window.parametersFor({0}).has_value());
  EXPECT_FALSE(window.openJob(dir.file("x.trj")));
  EXPECT_FALSE(window.setTargetType(0));
  EXPECT_FALSE(window.canRun());
  EXPECT_TRUE(window.runButtonEnabled());
  EXPECT_FALSE(window.close());

  std::string log;
  const BatchUpdate end = PollToEnd(window, &log);
  EXPECT_EQ(window.state(), BatchState::Idle);
  EXPECT_GT(notifications, 0);
  EXPECT_TRUE(end.summary.ran);
  EXPECT_FALSE(end.summary.stopped);
  EXPECT_EQ(end.summary.converted, 2);
  EXPECT_EQ(end.position, end.maximum);
  EXPECT_EQ(end.maximum, 200);
  EXPECT_TRUE(fs::exists(target + "/sheet.svg"));
  EXPECT_TRUE(fs::exists(target + "/grey_8bit.svg"));
  // What the window showed is the file, byte for byte.
  EXPECT_EQ(log, test::ReadFile(target + "/QuillonBatch.log"));
  EXPECT_EQ(window.logText(), log);
  EXPECT_NE(log.find("sheet.svg    successfully!"), std::string::npos);
  EXPECT_NE(log.find("The number of converting successfully files is 2"), std::string::npos);
  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 3u);  // asked again, then the closing message
  EXPECT_EQ(shown[1], shown[0]);
  EXPECT_EQ(shown[2], "Batch process finished!\nThe detailed is in the file:\n" + target + "/QuillonBatch.log");
  EXPECT_FALSE(end.poweringOff);
}

TEST_F(BatchWindowTest, StopEndsTheRunAfterTheCurrentStep) {
  BatchWindow window(store, current);
  std::vector<std::string> rows(6, Sample("sheet.tif"));
  ASSERT_TRUE(window.addFiles(rows));
  window.setTargetDir(dir.path());
  window.setOverwrite(false);
  window.setJobs(1);
  ASSERT_TRUE(window.run());
  window.runOrStop();  // the Run button, pressed again at once
  EXPECT_EQ(window.state(), BatchState::Stopping);
  std::string log;
  const BatchUpdate end = PollToEnd(window, &log);
  EXPECT_EQ(window.state(), BatchState::Idle);
  EXPECT_TRUE(end.summary.stopped);
  EXPECT_LT(end.summary.converted + end.summary.failed, 6);
  EXPECT_NE(log.find("User break!"), std::string::npos);
  EXPECT_NE(log.find("The number of not convert files for user break is"), std::string::npos);
  ASSERT_FALSE(messages.messages().empty());
  EXPECT_EQ(messages.messages().back().rfind("User break!\nThe detailed information is in the file", 0), 0u);

  // The next run starts afresh: its log is its own, and the stop is forgotten.
  ASSERT_TRUE(window.run());
  std::string second;
  EXPECT_FALSE(PollToEnd(window, &second).summary.stopped);
  EXPECT_EQ(second.find("User break!"), std::string::npos);
  EXPECT_EQ(second, test::ReadFile(dir.file("QuillonBatch.log")));
}

TEST_F(BatchWindowTest, PowerOffAsksBeforeItArmsAndRunsOnlyAfterAFullRun) {
  int powerOffs = 0;
  bool powerOffWorks = true;
  BatchWindow window(store, current);
  window.powerOff = [&] {
    ++powerOffs;
    return powerOffWorks;
  };
  ASSERT_TRUE(window.addFiles({Sample("lines_1bit.bmp")}));
  window.setTargetDir(dir.path());

  messages.sink().setAnswer(false);
  EXPECT_FALSE(window.setPowerOff(true));
  EXPECT_FALSE(window.list().powerOff);
  messages.sink().setAnswer(true);
  EXPECT_TRUE(window.setPowerOff(true));
  EXPECT_TRUE(window.list().powerOff);
  EXPECT_EQ(messages.messages().size(), 2u);
  messages.sink().clear();

  ASSERT_TRUE(window.run());
  BatchUpdate end = PollToEnd(window);
  EXPECT_TRUE(end.poweringOff);
  EXPECT_EQ(powerOffs, 1);
  EXPECT_TRUE(messages.messages().empty());  // the machine goes down instead

  // A power-off that fails says so, with the usual closing text.
  powerOffWorks = false;
  ASSERT_TRUE(window.run());
  end = PollToEnd(window);
  EXPECT_FALSE(end.poweringOff);
  EXPECT_EQ(powerOffs, 2);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].rfind("The computer could not be turned off.\nBatch process finished!", 0), 0u);

  // A stopped run never powers off; switching the box off does not ask.
  messages.sink().clear();
  ASSERT_TRUE(window.run());
  window.stop();
  EXPECT_TRUE(PollToEnd(window).summary.stopped);
  EXPECT_EQ(powerOffs, 2);
  EXPECT_FALSE(window.setPowerOff(false));
  EXPECT_EQ(messages.messages().size(), 1u);  // only the user-break message
}

TEST_F(BatchWindowTest, CloseRestoresTheRecordAndKeepsTheWindowValues) {
  current.i_Gray = 77;
  {
    BatchWindow window(store, current);
    window.setTargetType(8);
    window.setTargetDir("/tmp/plans");
    window.setJobs(3);
    window.setColumnWidth(4, 120);
    ASSERT_TRUE(window.addFiles({Sample("sheet.tif")}));
    ASSERT_TRUE(window.saveJob(dir.file("a.trj")));
    ASSERT_TRUE(window.saveJob(dir.file("b.trj")));
    EXPECT_EQ(window.recentJobs(), (std::vector<std::string>{dir.file("b.trj"), dir.file("a.trj")}));
    current.i_Gray = 12;  // as the parameter dialog of the row would
    EXPECT_TRUE(window.close());
  }
  EXPECT_EQ(current.i_Gray, 77);
  EXPECT_FALSE(current.batchActive);

  BatchWindow again(store, current);
  EXPECT_EQ(again.list().targetType, 8);
  EXPECT_EQ(again.list().targetDir, "/tmp/plans");
  EXPECT_EQ(again.jobs(), 3);
  EXPECT_EQ(again.list().columnWidths[4], 120u);
  EXPECT_EQ(again.recentJobs(), (std::vector<std::string>{dir.file("b.trj"), dir.file("a.trj")}));
  EXPECT_EQ(again.list().size(), 0u);
  ASSERT_TRUE(again.openJob(again.recentJobs()[1]));
  EXPECT_EQ(again.list().size(), 1u);
  EXPECT_EQ(again.recentJobs()[0], dir.file("a.trj"));
}

}  // namespace
}  // namespace quillon::editor
