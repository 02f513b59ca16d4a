#pragma once
// Fill-pattern hatching: the ink of the drawing's 1-bit raster covered with
// parallel straight lines. Scan lines at a fixed spacing (a double, in
// pixels, starting at the top row or the left column) are cut into runs of
// consecutive ink pixels and every run becomes one line entity in the
// drawing's current layer. Coordinates are drawing coordinates (y upwards,
// one unit per pixel) with column c drawn at x = c + 1; the scan position s
// is used as it is for the line's fixed coordinate, y = H − 1 − s for a row
// and x = s + 1 for a column, while the pixels are read from row or column
// floor(s). A run of one pixel gives a line of length 1.

#include "model/graph.h"
#include "platform/progress.h"
#include "settings/trace_option.h"

namespace quillon::trace {

// Stage "Fill horizontal line": scan rows at s = 0, d, 2d, … below the
// height. Progress truncate(s·100/H) and a cancel check after every scan
// line (finished(10), false; lines added so far stay). False before any
// stage when there is no drawing, the spacing is not above 0 or the raster
// is neither empty nor 1-bit. On success palette entry 1 of the raster
// becomes grey 220.
bool FillHorizontal(double spacing, model::CGraph* drawing, platform::ProgressSink* sink);

// Stage "Fill vertical line": the same over columns at s = 0, d, 2d, …
// below the width.
bool FillVertical(double spacing, model::CGraph* drawing, platform::ProgressSink* sink);

// Type 0 horizontal, 1 vertical, 2 horizontal and then, when that
// succeeded, vertical; any other type fails at once. False as for the two
// passes.
bool FillPattern(int fillType, double spacing, model::CGraph* drawing, platform::ProgressSink* sink);

// FillPattern with the outcome as a TraceResult: kTraceFinished,
// kTraceUserStop (finished(10) already delivered) or kTraceFillFailed
// (nothing delivered; the caller decides the run's code).
int FillPatternRun(int fillType, double spacing, model::CGraph* drawing, platform::ProgressSink* sink);

// The whole run of the fill-pattern method: the fill-pattern group's type
// and spacing; finished(0) on success, finished(20) when the fill fails.
void RunFillPatternMethod(model::CGraph& drawing, const settings::TraceOption& options, platform::ProgressSink* sink);

}  // namespace quillon::trace
