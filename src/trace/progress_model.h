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
  // Progress values received in the current stage (a thinning stage's
  // iterations or passes).
  int stageValues() const { return values_; }
  // How much of the current stage is done, 0..1, for a bar over the whole
  // run: position / maximum, except in a thinning stage, where the bar above
  // moves little while a large ink area thins (each iteration removes only a
  // little less than the one before). There the removals so far are set
  // against what is left: with each iteration removing `fall` pixels fewer
  // than the one before, the last one's v pixels shrink to nothing after
  // about v / fall more iterations, which remove about v * v / (2 * fall) —
  // exactly so for a solid rectangle. Never goes back; 1 at the stage's end.
  double stageFraction() const;

 private:
  void setPosition(int position);

  std::string label_;
  int stageNumber_ = 0;
  int stageTotal_ = 0;
  int barMaximum_ = 100;
  int barPosition_ = 0;
  bool firstProgressPending_ = false;
  bool thinning_ = false;
  int values_ = 0;
  double firstValue_ = 0.0;
  double removed_ = 0.0;
  double thinFraction_ = 0.0;
};

}  // namespace quillon::trace
