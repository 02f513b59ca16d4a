#include "postprocess/straighten.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "postprocess/stage_common.h"

namespace quillon::postprocess {

namespace {

using model::PolyVertex;

// A chord shorter than this (squared) counts as a point.
constexpr double kDegenerateChord2 = 1e-25;
// Widths below this count as "no width".
constexpr double kNoWidth = 0.01;
// Largest relative width change a run may span.
constexpr double kWidthRatio = 0.5;

// Working storage of one thread's rings: a polyline is straightened on a
// copy of its vertices with index links, and a noisy sheet has hundreds of
// thousands of polylines, so the storage is kept from one to the next.
struct RingStorage {
  model::VertexList vertices;
  std::vector<int> next;
  std::vector<int> prev;
};

// The vertex ring as index links, so vertices can be unlinked while the runs
// walk around it; run() tells whether any went, survivors() lists those left.
class StraightenRing {
 public:
  StraightenRing(RingStorage& storage, const model::VertexList& vertices, bool closed, double maxDis)
      : v_(storage.vertices), closed_(closed), maxDis_(maxDis), next_(storage.next), prev_(storage.prev) {
    v_.assign(vertices.begin(), vertices.end());
    const int n = static_cast<int>(vertices.size());
    next_.resize(vertices.size());
    prev_.resize(vertices.size());
    for (int i = 0; i < n; ++i) {
      next_[i] = (i + 1) % n;
      prev_[i] = (i + n - 1) % n;
    }
  }

  // Merges every run; true when a vertex was removed (widths change only
  // with a merge, so false means the polyline stays as it is).
  bool run() {
    bool merged = false;
    int q = head_;
    int stop = closed_ ? head_ : prev_[head_];
    for (;;) {
      if (const std::optional<int> r = findRun(q)) {
        mergeRun(q, *r);
        merged = true;
        q = next_[*r];
        stop = *r;
      } else {
        q = next_[q];
      }
      if ((!closed_ && q == head_) || q == stop) break;
    }
    return merged;
  }

  // The vertices left, from the head round, into kept.
  void survivors(model::VertexList& kept) const {
    kept.clear();
    int i = head_;
    do {
      kept.push_back(v_[i]);
      i = next_[i];
    } while (i != head_);
  }

 private:
  bool hasBulge(int i) const { return v_[i].hasBulge(); }

  // The run q..r may become one segment: no bulge on q or inside, widths
  // inside close to q's, every inside vertex within the tolerance of q–r.
  bool canStraighten(int q, int r) const {
    if (r == next_[q] || hasBulge(q)) return false;
    const double w0 = v_[q].startWidth;
    double sum = w0;
    int count = 1;
    for (int c = next_[q]; c != r; c = next_[c]) {
      if (hasBulge(c)) return false;
      const double w = v_[c].startWidth;
      if (w0 >= kNoWidth) {
        if (std::fabs(w - w0) / w0 > kWidthRatio) return false;
      } else if (w > kWidthRatio) {
        return false;
      }
      sum += w;
      ++count;
      if (!closed_ && next_[c] == head_) return false;  // ran off the end before reaching r
    }
    double tolerance = sum / (2.0 * count);
    if (tolerance < maxDis_) tolerance = maxDis_;
    const PolyVertex& a = v_[q];
    const PolyVertex& b = v_[r];
    for (int c = next_[q]; c != r; c = next_[c]) {
      if (distanceToSegment(a.x, a.y, b.x, b.y, v_[c].x, v_[c].y, kDegenerateChord2) > tolerance) return false;
    }
    return true;
  }

  // The last end vertex of the longest run starting at q, or none.
  std::optional<int> findRun(int q) const {
    if (next_[q] == q || next_[next_[q]] == q) return std::nullopt;
    // The last vertex of an open polyline starts no run: the walk would
    // wrap round to the head, which canStraighten does not notice when the
    // head is the first vertex it meets.
    if (!closed_ && next_[q] == head_) return std::nullopt;
    int r = next_[next_[q]];
    if (!canStraighten(q, r)) return std::nullopt;
    for (;;) {
      r = next_[r];
      if (!closed_ && r == head_) break;
      if (r == q) return std::nullopt;  // straight all the way round
      if (!canStraighten(q, r)) break;
    }
    return prev_[r];
  }

  // Removes the vertices between q and r; q takes the run's width: the
  // average when every removed vertex is near it, else the smallest.
  void mergeRun(int q, int r) {
    double smallest = v_[q].startWidth;
    double sum = 0.0;
    int count = 0;
    for (int c = q; c != r; c = next_[c]) {
      smallest = std::min(smallest, v_[c].startWidth);
      sum += v_[c].startWidth;
      ++count;
    }
    const double average = sum / count;
    bool keepAverage = average > kNoWidth;
    for (int c = next_[q]; c != r;) {
      if (average > kNoWidth && std::fabs(v_[c].startWidth - average) / average > kWidthRatio) keepAverage = false;
      const int following = next_[c];
      unlink(c);
      c = following;
    }
    v_[q].startWidth = average <= kNoWidth ? 0.0 : (keepAverage ? average : smallest);
  }

  void unlink(int i) {
    next_[prev_[i]] = next_[i];
    prev_[next_[i]] = prev_[i];
    if (head_ == i) head_ = next_[i];
    next_[i] = prev_[i] = -1;
  }

  model::VertexList& v_;
  bool closed_;
  double maxDis_;
  int head_ = 0;
  std::vector<int>& next_;
  std::vector<int>& prev_;
};

}  // namespace

void straightenPolyline(model::CPolyLine& polyline, double maxDis) {
  if (polyline.getVertexCount() < 3) return;
  thread_local RingStorage storage;
  StraightenRing ring(storage, polyline.vertices(), polyline.isClosed(), maxDis);
  if (ring.run()) ring.survivors(polyline.editVertices());
}

bool straightenLayer(model::CLayer& layer, double maxDis, platform::ProgressSink* sink) {
  return runPolylineStage(layer, "ProcessStraightenLine", "Straighten line", sink,
                          [&](model::CPolyLine& polyline) { straightenPolyline(polyline, maxDis); });
}

}  // namespace quillon::postprocess
