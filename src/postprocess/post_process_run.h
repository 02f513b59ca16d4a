#pragma once
// The post-processing run of a centre-line trace: the stages in their fixed
// order over the drawing's first layer, each switched by a field of the
// trace parameters.

#include "model/graph.h"
#include "platform/progress.h"
#include "settings/trace_option.h"

namespace quillon::postprocess {

class EndIndex;

// Clears the selection, makes the first layer current and runs on it, each
// stage only while the layer holds an entity: calculate line widths
// (always), connect (b_Connect, with `ends` when given), delete mixed-up
// lines (b_DelLine), recognise circles and arcs (b_RecogniseCirArc, size the
// raster's larger side, arcs merged when b_Connect is set too), straighten
// (a straighten tolerance above 0), adjust angles (b_ForceOrtho), and with
// b_CalcWidth round the widths to the width series when it holds widths, or
// without b_CalcWidth set every width to 0. True when every stage finished
// (also for a drawing without layers); false when a stage was cancelled
// (finished(10)), ran out of memory (finished(2)) or met an unexpected
// error (finished(20)), after which the run stops at once. Without a sink
// nothing is reported and nothing cancels.
bool RunPostProcessing(model::CGraph& drawing, const settings::TraceOption& options, platform::ProgressSink* sink,
                       EndIndex* ends = nullptr);

}  // namespace quillon::postprocess
