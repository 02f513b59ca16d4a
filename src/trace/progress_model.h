#pragma once
// What the trace progress window shows, without any widget: the stage label,
// the "%d / %d" stage counter and the progress bar's range and position. The
// desktop dialog and the command line's progress bar both drive one of these
// from the trace worker's notifications.

#include <string>
#include <string_view>

#include "settings/trace_option.h"

namespace quillon::trace {

// The number of stage begins a run of options.i_AutoTraceWhat will deliver
// at most (stages that a run skips because it ends early are counted too).
int StageTotal(const settings::TraceOption& options);

class TraceProgressModel {
 public:
  explicit TraceProgressModel(int stageTotal) : stageTotal_(stageTotal) {}

  // Bar 0..100 at 0, label = text, next stage number. A stage whose text is
  // the display text of a thinning step (ignoring case) counts down: its
  // progress values are pixels removed per iteration, not percents.
  void stageBegin(std::string_view text);
  // Thinning stage: the first value becomes the bar's maximum and puts the
  // bar at a fortieth of it; later values v put it at maximum - v. Other
  // stages: the value is the position. Positions are kept within the range.
  void progress(int value);
  // The bar goes to its maximum.
  void stageEnd();

  const std::string& label() const { return label_; }
  // "%d / %d" of the current stage number and the stage total.
  std::string counterText() const;
  int stageNumber() const { return stageNumber_; }
  int stageTotal() const { return stageTotal_; }
  int barMaximum() const { return barMaximum_; }
  int barPosition() const { return barPosition_; }
  bool thinningStage() const { return thinning_; }

 private:
  void setPosition(int position);

  std::string label_;
  int stageNumber_ = 0;
  int stageTotal_ = 0;
  int barMaximum_ = 100;
  int barPosition_ = 0;
  bool firstProgressPending_ = false;
  bool thinning_ = false;
};

}  // namespace quillon::trace
