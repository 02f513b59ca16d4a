#pragma once
// What every post-processing stage shares: the stage protocol on an optional
// progress sink (begin, progress values, end; at a check point a requested
// cancel delivers finished(10) and the stage gives up without its end), the
// result codes stages deliver, and small plane-geometry helpers.

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "model/geometry.h"
#include "model/layer.h"
#include "model/polyline.h"
#include "platform/progress.h"
#include "raster/raster.h"

namespace quillon::postprocess {

// Codes a stage delivers with finished() when it gives up.
inline constexpr int kStageNoMemory = 2;
inline constexpr int kStageUserStop = 10;

// A stage's view of its sink. Without a sink nothing is reported and nothing
// can cancel the stage.
class StageProgress {
 public:
  explicit StageProgress(platform::ProgressSink* sink) : sink_(sink) {}

  bool hasSink() const { return sink_ != nullptr; }
  // Looks the text up in the language table.
  void begin(std::string_view key, std::string_view defaultText) const;
  void progress(int percent) const {
    if (sink_) sink_->progress(percent);
  }
  void end() const {
    if (sink_) sink_->stageEnd();
  }
  void finished(int code) const {
    if (sink_) sink_->finished(code);
  }
  // A check point: true when the user asked to stop, after delivering
  // finished(10). The caller then answers false without ending the stage.
  bool stopRequested() const {
    if (sink_ == nullptr || !sink_->cancelRequested()) return false;
    sink_->finished(kStageUserStop);
    return true;
  }

 private:
  platform::ProgressSink* sink_;
};

// A stage that works on each polyline of a layer alone: stage begin, `work`
// on every polyline in layer order, and with a sink after every entity a
// cancel check and progress i·100/n; stage end. False only when cancelled.
// A layer of many polylines is worked on in blocks on all cores (see
// forEachRange), so `work` must touch nothing but its polyline; the sink
// then hears a block's values after the block, and a cancel takes effect at
// the end of one.
bool runPolylineStage(model::CLayer& layer, std::string_view key, std::string_view defaultText,
                      platform::ProgressSink* sink, const std::function<void(model::CPolyLine&)>& work);
// The same for every entity of the layer, whatever its kind, in one loop on
// the calling thread.
bool runEntityStage(model::CLayer& layer, std::string_view key, std::string_view defaultText,
                    platform::ProgressSink* sink, const std::function<void(model::CEntity&)>& work);

// Runs work(part, begin, end) over [0, count) split into contiguous ranges
// of at least minPerPart items, one per core (at most 8), the first range on
// the calling thread; answers the number of parts (0 when count is 0). The
// parts must touch only their own items, or keep what they find per part:
// the caller merges those in part order, so the result is the one a single
// loop gives. A range that gets no thread runs on the calling thread; an
// exception in any part is rethrown here after every part has ended.
//
// Polylines, ends or pieces worth a thread of their own in the refined steps
// (each costs microseconds; a thread costs about a hundred).
inline constexpr size_t kMinPerPart = 1000;
size_t forEachRange(size_t count, size_t minPerPart,
                    const std::function<void(size_t part, size_t begin, size_t end)>& work);
// forEachRange for items of very different cost (arc walks, ring
// follows): work(item) for every item in [0, count), the parts taking the
// next item as each finishes one, so that no core waits at the end while
// another works through a fixed range of long items.
void forEachItem(size_t count, size_t minPerPart, const std::function<void(size_t item)>& work);
// How many parts forEachRange splits count items into.
size_t rangeParts(size_t count, size_t minPerPart);
// What the parts kept, one after the other in part order: the list a
// single loop gives.
template <typename T>
std::vector<T> concatenated(std::vector<std::vector<T>> parts) {
  if (parts.empty()) return {};
  std::vector<T> all = std::move(parts[0]);
  for (size_t k = 1; k < parts.size(); ++k) all.insert(all.end(), parts[k].begin(), parts[k].end());
  return all;
}
// While it lives, forEachRange on this thread uses at most `threads` cores
// (0: all of them); a conversion sharing the machine with others (a
// parallel batch) runs its refined steps on its own thread alone, plus the
// cores `spare` (when given) reports idle at each call.
class RangeThreadLimit {
 public:
  explicit RangeThreadLimit(int threads, const std::function<int()>* spare = nullptr);
  ~RangeThreadLimit();
  RangeThreadLimit(const RangeThreadLimit&) = delete;
  RangeThreadLimit& operator=(const RangeThreadLimit&) = delete;

 private:
  int previous_;
  const std::function<int()>* previousSpare_;
};

// Items listed by the square cell (cx, cy) each was put in, a cell's items
// in the order they were added: a flat stand-in for a hash map of vectors,
// built once (no allocation per cell) and then read from any thread.
class CellLists {
 public:
  // Puts the next item (numbered from 0 in the order added) into cell (cx, cy).
  void add(int cx, int cy) { cellOf_.emplace_back(cx, cy); }
  // Lists the items by cell; nothing is added after.
  void finish();
  // The items of cell (cx, cy), in the order added.
  std::span<const uint32_t> at(int cx, int cy) const;

 private:
  static int64_t keyOf(int cx, int cy) { return static_cast<int64_t>(cy) * (int64_t{1} << 32) + (static_cast<int64_t>(cx) + (int64_t{1} << 31)); }

  std::vector<std::pair<int, int>> cellOf_;
  // Over the cells' bounding box, or (items spread too thinly) by sorted key.
  bool dense_ = true;
  int x0_ = 0, y0_ = 0;
  int64_t columns_ = 0, rows_ = 0;
  std::vector<uint32_t> start_;  // dense: each cell's first item, and one past the last cell
  std::vector<int64_t> keys_;    // sparse: the listed items' cell keys, ascending
  std::vector<uint32_t> items_;
};

// Calls visit(polyline, i, a, b) for every straight segment a–b (the one
// from vertex i to the next, the closing one included) of every polyline of
// the layer.
template <typename Visit>
void forEachStraightSegment(const model::CLayer& layer, Visit&& visit) {
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    auto& p = static_cast<model::CPolyLine&>(*e);
    const auto& v = p.vertices();
    const size_t n = v.size();
    if (n < 2) continue;
    const size_t count = p.isClosed() ? n : n - 1;
    for (size_t i = 0; i < count; ++i)
      if (!v[i].hasBulge()) visit(p, i, v[i], v[(i + 1) % n]);
  }
}

// Whether the pixel nearest drawing point (x, y) (y up) is ink: column
// floor(x + 0.5), row H − 1 − floor(y + 0.5); false outside the raster.
// Inline and without std::floor, a branchy sequence short of SSE4.1: the
// refined steps probe millions of points.
inline bool inkAtNearest(const raster::CRaster& raster, double x, double y) {
  const double cx = x + 0.5, cy = y + 0.5;
  // Far outside any raster, or NaN: the conversions below would overflow.
  if (!(cx > -1e9 && cx < 1e9 && cy > -1e9 && cy < 1e9)) return false;
  const int tx = static_cast<int>(cx), ty = static_cast<int>(cy);
  const int column = tx - (cx < tx ? 1 : 0), rowUp = ty - (cy < ty ? 1 : 0);
  return raster.bitAtChecked(column, raster.height() - 1 - rowUp);
}

// The angle between two direction vectors, acos of their normalised dot
// product, in [0, π]; 0 when either vector has no length.
inline double angleBetween(double ux, double uy, double vx, double vy) {
  const double lu = std::hypot(ux, uy);
  const double lv = std::hypot(vx, vy);
  if (lu <= 0.0 || lv <= 0.0) return 0.0;
  double c = (ux * vx + uy * vy) / (lu * lv);
  if (c > 1.0) c = 1.0;
  if (c < -1.0) c = -1.0;
  return std::acos(c);
}

// The point where the line through a1, a2 meets the line through b1, b2;
// nothing when either line has no direction or the two are parallel.
inline std::optional<model::Point3> intersectLines(const model::Point3& a1, const model::Point3& a2,
                                                   const model::Point3& b1, const model::Point3& b2) {
  const double dax = a2.x - a1.x, day = a2.y - a1.y;
  const double dbx = b2.x - b1.x, dby = b2.y - b1.y;
  const double denom = dax * dby - day * dbx;
  const double scale = std::hypot(dax, day) * std::hypot(dbx, dby);
  // Relative test: the sine of the angle between the lines is ~0.
  if (scale <= 0.0 || std::fabs(denom) <= 1e-12 * scale) return std::nullopt;
  const double t = ((b1.x - a1.x) * dby - (b1.y - a1.y) * dbx) / denom;
  return model::Point3{a1.x + t * dax, a1.y + t * day, a1.z};
}

// Distance from c to the segment a–b: to a when the projection of c falls
// before a, to b when it falls beyond b (both with the coordinate tolerance),
// else the perpendicular distance. degenerateSquared decides when a–b is a
// point (then the distance to a).
inline double distanceToSegment(double ax, double ay, double bx, double by, double cx, double cy,
                                double degenerateSquared) {
  const double dx = bx - ax, dy = by - ay;
  const double length2 = dx * dx + dy * dy;
  if (length2 < degenerateSquared) return std::hypot(cx - ax, cy - ay);
  if (dx * (cx - ax) + dy * (cy - ay) < -model::kTolerance) return std::hypot(cx - ax, cy - ay);
  if (dx * (cx - bx) + dy * (cy - by) > model::kTolerance) return std::hypot(cx - bx, cy - by);
  return std::fabs(dx * (cy - ay) - dy * (cx - ax)) / std::sqrt(length2);
}

}  // namespace quillon::postprocess
