#include "trace/progress_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "trace/trace_result.h"

namespace quillon::trace {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

int StageTotal(const settings::TraceOption& options) {
  using settings::FillType;
  switch (options.i_AutoTraceWhat) {
    case settings::TraceMethod::CenterLine: {
      // Thin twice, initialise, trace, generate polylines, calculate widths.
      int total = 6;
      if (options.b_Connect) ++total;
      if (options.b_RecogniseCirArc) ++total;
      if (options.d_MaxDis > 0.0) ++total;
      if (options.b_ForceOrtho) ++total;
      if (options.b_CalcWidth && !options.s_WidthSeries.empty()) ++total;
      return total;
    }
    case settings::TraceMethod::Outline: {
      int total = 2;  // trace outline, generate polylines
      if (options.Outline.b_RecogniseCirArc) ++total;
      if (options.Outline.b_Fill) {
        ++total;
        if (options.Outline.i_FillType == FillType::Cross) ++total;
      }
      return total;
    }
    case settings::TraceMethod::FillPattern:
      return options.FillPattern.i_FillType == FillType::Cross ? 2 : 1;
  }
  return 0;
}

void TraceProgressModel::stageBegin(std::string_view text) {
  barMaximum_ = 100;
  barPosition_ = 0;
  label_ = std::string(text);
  ++stageNumber_;
  firstProgressPending_ = true;
  values_ = 0;
  firstValue_ = removed_ = thinFraction_ = 0.0;
  thinning_ = EqualIgnoringCase(text, StageText("ProcessThinFirstStep")) ||
              EqualIgnoringCase(text, StageText("ProcessThinSecondStep"));
}

void TraceProgressModel::setPosition(int position) { barPosition_ = std::clamp(position, 0, barMaximum_); }

void TraceProgressModel::progress(int value) {
  ++values_;
  if (!thinning_) {
    setPosition(value);
    return;
  }
  const double v = std::max(value, 0);
  removed_ += v;
  if (values_ == 1) {
    firstValue_ = v;
  } else if (const double fall = (firstValue_ - v) / (values_ - 1); fall > 0.0) {
    const double left = v * v / (2.0 * fall);
    // Short of 1 until the stage says it has ended.
    thinFraction_ = std::max(thinFraction_, std::min(0.99, removed_ / (removed_ + left)));
  }
  if (firstProgressPending_) {
    barMaximum_ = std::max(value, 0);
    setPosition(value / 40);
    firstProgressPending_ = false;
  } else {
    setPosition(barMaximum_ - value);
  }
}

void TraceProgressModel::stageEnd() {
  barPosition_ = barMaximum_;
  thinFraction_ = 1.0;
}

double TraceProgressModel::stageFraction() const {
  if (thinning_) return thinFraction_;
  return barMaximum_ > 0 ? static_cast<double>(barPosition_) / barMaximum_ : 0.0;
}

std::string TraceProgressModel::counterText() const {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d / %d", stageNumber_, stageTotal_);
  return buffer;
}

}  // namespace quillon::trace
