#include "trace/fill_pattern.h"

#include <bit>
#include <cmath>

#include "trace/trace_result.h"

namespace quillon::trace {

namespace {

// Palette level of ink after a hatch pass, so that the lines stand out on
// the dimmed picture.
constexpr uint8_t kFillTracedGrey = 220;

enum class Pass { Horizontal, Vertical };

// Calls emit(first, last) for every run of ink in row y, scanning a byte at
// a time and skipping blank or full bytes whole.
template <typename Emit>
void RowRuns(const raster::CRaster& raster, int y, Emit&& emit) {
  const uint8_t* row = raster.row(y);
  const int width = raster.width();
  int start = -1;
  int x = 0;
  while (x < width) {
    const uint8_t b = row[x >> 3];
    if ((x & 7) == 0 && x + 8 <= width && (b == 0 || b == 0xFF)) {
      if (b == 0xFF) {
        if (start < 0) start = x;
      } else if (start >= 0) {
        emit(start, x - 1);
        start = -1;
      }
      x += 8;
      continue;
    }
    const bool ink = (b & (0x80 >> (x & 7))) != 0;
    if (ink && start < 0) {
      start = x;
    } else if (!ink && start >= 0) {
      emit(start, x - 1);
      start = -1;
    }
    ++x;
  }
  if (start >= 0) emit(start, width - 1);
}

// One pass: a TraceResult (kTraceFillFailed without any notification).
int RunPass(Pass pass, double spacing, model::CGraph* drawing, platform::ProgressSink* sink) {
  if (drawing == nullptr || !(spacing > 0.0)) return kTraceFillFailed;
  raster::CRaster& raster = drawing->raster();
  if (!raster.empty() && raster.bitCount() != 1) return kTraceFillFailed;
  const StageReporter stage(sink);
  const int width = raster.width();
  const int height = raster.height();
  const double top = static_cast<double>(height - 1);
  stage.begin(pass == Pass::Horizontal ? "ProcessFillHorLine" : "ProcessFillVerLine");
  const int extent = pass == Pass::Horizontal ? height : width;
  // The scan positions are k·d rather than a running sum, so that a long
  // run of additions cannot drift off the spacing grid.
  for (long long k = 0;; ++k) {
    const double s = static_cast<double>(k) * spacing;
    if (!(s < extent)) break;
    const int line = static_cast<int>(std::floor(s));
    if (pass == Pass::Horizontal) {
      const double y = top - s;
      RowRuns(raster, line, [&](int a, int b) {
        const double end = b > a ? b + 1.0 : a + 2.0;
        drawing->addLine(model::Point3{a + 1.0, y, 0.0}, model::Point3{end, y, 0.0});
      });
    } else {
      const double x = s + 1.0;
      const int byte = line >> 3;
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (line & 7));
      int start = -1;
      auto emit = [&](int a, int b) {
        const double end = b > a ? top - b : top - a - 1.0;
        drawing->addLine(model::Point3{x, top - a, 0.0}, model::Point3{x, end, 0.0});
      };
      for (int y = 0; y < height; ++y) {
        const bool ink = (raster.row(y)[byte] & mask) != 0;
        if (ink && start < 0) {
          start = y;
        } else if (!ink && start >= 0) {
          emit(start, y - 1);
          start = -1;
        }
      }
      if (start >= 0) emit(start, height - 1);
    }
    if (stage.cancelled()) {
      stage.finished(kTraceUserStop);
      return kTraceUserStop;
    }
    stage.progress(static_cast<int>(s * 100.0 / extent));
  }
  stage.end();
  raster.setGreyEntry(1, kFillTracedGrey);
  return kTraceFinished;
}

}  // namespace

bool FillHorizontal(double spacing, model::CGraph* drawing, platform::ProgressSink* sink) {
  return RunPass(Pass::Horizontal, spacing, drawing, sink) == kTraceFinished;
}

bool FillVertical(double spacing, model::CGraph* drawing, platform::ProgressSink* sink) {
  return RunPass(Pass::Vertical, spacing, drawing, sink) == kTraceFinished;
}

int FillPatternRun(int fillType, double spacing, model::CGraph* drawing, platform::ProgressSink* sink) {
  switch (fillType) {
    case 0:
      return RunPass(Pass::Horizontal, spacing, drawing, sink);
    case 1:
      return RunPass(Pass::Vertical, spacing, drawing, sink);
    case 2: {
      const int code = RunPass(Pass::Horizontal, spacing, drawing, sink);
      return code == kTraceFinished ? RunPass(Pass::Vertical, spacing, drawing, sink) : code;
    }
    default:
      return kTraceFillFailed;
  }
}

bool FillPattern(int fillType, double spacing, model::CGraph* drawing, platform::ProgressSink* sink) {
  return FillPatternRun(fillType, spacing, drawing, sink) == kTraceFinished;
}

void RunFillPatternMethod(model::CGraph& drawing, const settings::TraceOption& options, platform::ProgressSink* sink) {
  const StageReporter stage(sink);
  const int code = FillPatternRun(static_cast<int>(options.FillPattern.i_FillType), options.FillPattern.d_FillSpace,
                                  &drawing, sink);
  if (code == kTraceUserStop) return;  // delivered by the pass
  stage.finished(code == kTraceFinished ? kTraceFinished : kTraceError);
}

}  // namespace quillon::trace
