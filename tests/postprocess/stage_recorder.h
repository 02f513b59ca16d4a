#pragma once
// A progress sink that records the stage protocol as text, and can ask for a
// stop once a given number of progress values has been seen.

#include <string>
#include <string_view>
#include <vector>

#include "platform/progress.h"

namespace quillon::test {

class StageRecorder final : public platform::ProgressSink {
 public:
  void stageBegin(std::string_view text) override { events.push_back("begin " + std::string(text)); }
  void progress(int value) override {
    events.push_back("progress " + std::to_string(value));
    ++progressCount;
  }
  void stageEnd() override { events.push_back("end"); }
  void finished(int code) override { events.push_back("finished " + std::to_string(code)); }
  bool cancelRequested() const override { return cancelAfter >= 0 && progressCount >= cancelAfter; }

  std::vector<std::string> events;
  int progressCount = 0;
  int cancelAfter = -1;  // never
};

}  // namespace quillon::test
