#include "postprocess/circle_arc.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <vector>

#include "model/circle.h"
#include "model/geometry.h"
#include "postprocess/refined_arcs.h"
#include "postprocess/stage_common.h"

namespace quillon::postprocess {

namespace {

using model::kPi;
using model::kTwoPi;
using model::Point3;
using model::PolyVertex;

constexpr double kMinRadius = 2.5;
// Largest relative deviation of a sample point from the mean radius.
constexpr double kRadiusSpread = 0.0618;
// Chords between these multiples of c0 (the chord of sagitta d_MaxDis) are
// the spacing traced vertices have on a circle.
constexpr double kMaxChordRatio = 1.55;
constexpr double kMinChordRatio = 0.3;
// Length of the perpendicular bisector's direction line; only its direction matters.
constexpr double kBisectorLength = 10.0;
// Angle unwrapping slack.
constexpr double kAngleSlack = 1e-8;
// An open run sweeping more than this becomes a circle.
constexpr double kMaxArcSweep = kTwoPi * 355.0 / 360.0;
// A bisector crossing whose angle has a sine below this share of the best
// crossing's is too flat to place the centre.
constexpr double kFlatCrossing = 0.5;
// An arc walked on along its stroke is made only when it reaches this
// far beyond its piece at one end at least.
constexpr double kGrownBeyond = 2.0;
// A placed run's circle is finished on fine samples when at most this
// share of them lies more than a pixel off the finished circle; else (a
// crossing or touching stroke pulled the fit) the coarse circle stays.
constexpr double kFinishedStrayShare = 0.05;
// The shortest straight neighbour that makes a bulge a fillet or slot end,
// and how close its far end must lie to the bulge's circle and to the arc
// walked from it for it to be a chord of that arc instead (a tangent leg of
// length L leaves the circle by L²/2r).
constexpr double kMinLeg = 12.0;
constexpr double kLegCover = 1.5;
// A straight piece lies on a made arc (a chord over a crossing) when its
// ends and middle lie this close to it, the middle not more than
// kChordOutside outside: a stroke running on from the arc, or ending at it,
// lies outside or across it.
constexpr double kChordTolerance = 2.0;
constexpr double kChordOutside = 1.0;
// Ring follows or arc walks worth a thread of their own (each reads the
// raster round a whole circle or arc: a few outweigh starting a thread, and
// the later arc batches, whose seeds are mostly covered, still split).
constexpr size_t kMinFollowsPerPart = 4;
// Arc seeds walked together before the arcs they make are taken: enough
// for both cores, few enough that later batches skip the seeds covered.
constexpr size_t kSeedBatch = 64;
// Entities looked at together in circle recognition before their results
// go to the layer (and the progress to the sink).
constexpr size_t kCircleBlock = size_t{1} << 15;
// Merged arcs whose angles differ by no more than this are a circle.
constexpr double kFullCircleAngle = 1e-10;

// The perpendicular bisector of a chord: through its middle, along a
// direction kBisectorLength long (taken from the chord's angle).
struct Bisector {
  Point3 base;
  double dx = 0.0;
  double dy = 0.0;
};

Bisector bisectorOf(const PolyVertex& a, const PolyVertex& b) {
  Bisector bisector;
  bisector.base = Point3{(a.x + b.x) / 2.0, (a.y + b.y) / 2.0, a.z};
  const double direction = std::atan2(b.y - a.y, b.x - a.x) + kPi / 2.0;
  bisector.dx = kBisectorLength * std::cos(direction);
  bisector.dy = kBisectorLength * std::sin(direction);
  return bisector;
}

// Where a ring keeps its vertices and links. A noisy sheet has hundreds of
// thousands of polylines to look at, nearly all of them for nothing, so
// each thread keeps one storage for the rings it makes one after another.
struct RingStorage {
  model::VertexList vertices;
  std::vector<size_t> next;
  std::vector<size_t> prev;
  std::vector<char> marked;  // recogniseRuns' visited flags
  // Per vertex, the bisector of its chord to the vertex `to` last asked for:
  // the fits of a run search share most of their chords.
  struct CachedBisector {
    size_t to = SIZE_MAX;
    Bisector bisector;
  };
  std::vector<CachedBisector> bisectors;
};

// The vertices of a polyline as an index ring, so that runs can be unlinked
// while the search walks round; an open polyline is linked round too, and
// every walk stops at its head. Lives in the storage it is given (one ring
// at a time per storage).
class Ring {
 public:
  Ring(RingStorage& storage, const model::VertexList& vertices, bool closed)
      : v(storage.vertices),
        closed(closed),
        next_(storage.next),
        prev_(storage.prev),
        bisectors_(storage.bisectors),
        size_(vertices.size()) {
    v.assign(vertices.begin(), vertices.end());
    const size_t n = v.size();
    next_.resize(n);
    prev_.resize(n);
    bisectors_.assign(n, {});
    for (size_t i = 0; i < n; ++i) {
      next_[i] = i + 1 == n ? 0 : i + 1;
      prev_[i] = i == 0 ? n - 1 : i - 1;
    }
  }
  Ring(const Ring&) = delete;
  Ring& operator=(const Ring&) = delete;

  size_t next(size_t i) const { return next_[i]; }
  size_t prev(size_t i) const { return prev_[i]; }
  size_t head() const { return head_; }
  size_t size() const { return size_; }
  size_t last() const { return prev_[head_]; }
  size_t advance(size_t i, size_t steps) const {
    while (steps-- > 0) i = next_[i];
    return i;
  }

  void unlink(size_t i) {
    next_[prev_[i]] = next_[i];
    prev_[next_[i]] = prev_[i];
    if (head_ == i) head_ = next_[i];
    --size_;
  }

  // The bisector of the chord from vertex a to vertex b. Vertices keep
  // their places while a ring lives, so a chord's bisector never changes.
  const Bisector& bisector(size_t a, size_t b) const {
    RingStorage::CachedBisector& cached = bisectors_[a];
    if (cached.to != b) {
      cached.to = b;
      cached.bisector = bisectorOf(v[a], v[b]);
    }
    return cached.bisector;
  }

  model::VertexList survivors() const {
    model::VertexList kept;
    kept.reserve(size_);
    size_t i = head_;
    for (size_t k = 0; k < size_; ++k, i = next_[i]) kept.push_back(v[i]);
    return kept;
  }

  model::VertexList& v;
  const bool closed;

 private:
  std::vector<size_t>& next_;
  std::vector<size_t>& prev_;
  std::vector<RingStorage::CachedBisector>& bisectors_;
  size_t head_ = 0;
  size_t size_ = 0;
};

double angleOf(const Point3& centre, double x, double y) {
  return model::normalizeAngle(std::atan2(y - centre.y, x - centre.x));
}

// The point where two bisectors meet; nothing when they are exactly parallel.
std::optional<Point3> bisectorsMeet(const Bisector& a, const Bisector& b) {
  const double denominator = a.dx * b.dy - a.dy * b.dx;
  if (denominator == 0.0) return std::nullopt;
  const double t = ((b.base.x - a.base.x) * b.dy - (b.base.y - a.base.y) * b.dx) / denominator;
  return Point3{a.base.x + t * a.dx, a.base.y + t * a.dy, a.base.z};
}

// |sin| of the angle between the chords p→q and r→s, which is the angle at
// which their perpendicular bisectors cross; 0 for a chord without length.
double chordSine(const PolyVertex& p, const PolyVertex& q, const PolyVertex& r, const PolyVertex& s) {
  const double ux = q.x - p.x, uy = q.y - p.y, vx = s.x - r.x, vy = s.y - r.y;
  const double lengths = std::hypot(ux, uy) * std::hypot(vx, vy);
  return lengths > 0.0 ? std::fabs(ux * vy - uy * vx) / lengths : 0.0;
}

std::optional<ArcFit> fit(const Ring& ring, size_t a, size_t b, const CircleTolerances& tolerances) {
  const bool fullRing = a == b;
  if (fullRing && !ring.closed) return std::nullopt;
  size_t count = 1;
  if (fullRing) {
    count = ring.size();
  } else {
    for (size_t c = a; c != b;) {
      c = ring.next(c);
      if (!ring.closed && c == ring.head()) return std::nullopt;
      ++count;
    }
  }
  if (count < 4) return std::nullopt;

  const size_t k = count / 3;
  const size_t ib = ring.advance(a, k);
  const size_t ic = ring.advance(ib, k);
  const PolyVertex& A = ring.v[a];
  const PolyVertex& B = ring.v[ib];
  const PolyVertex& C = ring.v[ic];
  const PolyVertex& D = ring.v[b];  // A again for a full ring
  const Bisector ab = ring.bisector(a, ib);
  const Bisector bc = ring.bisector(ib, ic);
  const Bisector cd = ring.bisector(ic, b);
  const auto o1 = bisectorsMeet(ab, bc);
  const auto o2 = bisectorsMeet(bc, cd);
  const auto o3 = bisectorsMeet(cd, ab);
  if (!o1 || !o2 || !o3) return std::nullopt;
  // Two bisectors that cross at a small angle meet far from the centre
  // at the slightest error in the points: on an arc of about 270° the
  // bisectors of A–B and C–D are nearly one line. A crossing much flatter
  // than the best of the three is left out of the average.
  // Only refined runs do that; the plain fit averages all three.
  // (The sines cost four square roots per fit, which plain runs skip.)
  double sines[3] = {0.0, 0.0, 0.0};
  if (tolerances.refine) {
    sines[0] = chordSine(A, B, B, C);
    sines[1] = chordSine(B, C, C, D);
    sines[2] = chordSine(C, D, A, B);
  }
  const Point3* crossings[3] = {&*o1, &*o2, &*o3};
  const double best = std::max({sines[0], sines[1], sines[2]});
  Point3 centre{0.0, 0.0, A.z};
  int used = 0;
  for (int i = 0; i < 3; ++i) {
    if (tolerances.refine && sines[i] < kFlatCrossing * best) continue;
    centre.x += crossings[i]->x;
    centre.y += crossings[i]->y;
    ++used;
  }
  centre.x /= used;
  centre.y /= used;

  double distances[4];
  const int samples = fullRing ? 3 : 4;
  const PolyVertex* points[4] = {&A, &B, &C, &D};
  double radius = 0.0;
  for (int i = 0; i < samples; ++i) {
    distances[i] = std::hypot(points[i]->x - centre.x, points[i]->y - centre.y);
    radius += distances[i];
  }
  radius /= samples;
  if (!(radius >= kMinRadius && radius <= tolerances.size)) return std::nullopt;
  for (int i = 0; i < samples; ++i) {
    if (std::fabs(distances[i] - radius) > kRadiusSpread * radius) return std::nullopt;
  }

  const double t = tolerances.maxDis;
  const double y = t * (2.0 * radius - t);
  if (y < 1e-30) return std::nullopt;
  const double c0 = 2.0 * std::sqrt(y);
  const double maxChord = std::min(kMaxChordRatio * c0, 2.0 * radius);
  const double minChord = kMinChordRatio * c0;
  const double maxStep = 2.0 * std::asin(std::min(maxChord / (2.0 * radius), 1.0));
  const double minStep = 2.0 * std::asin(std::min(minChord / (2.0 * radius), 1.0));
  // A full ring may have one short step: where a traced ring starts and
  // ends (or where connect closed it) the last chord is whatever is left,
  // and that seam says nothing about whether the ring is a circle. Refined
  // runs only.
  bool seamUsed = !fullRing || !tolerances.refine;
  const auto stepFits = [&](double step) {
    if (step > maxStep || step < 0.0) return false;
    if (step >= minStep) return true;
    if (seamUsed) return false;
    seamUsed = true;
    return true;
  };

  ArcFit result;
  result.centre = centre;
  result.radius = radius;
  result.startAngle = angleOf(centre, A.x, A.y);
  const double a0 = result.startAngle;
  double previous = a0;
  size_t visited = 0;
  const size_t walkLength = fullRing ? count + 1 : count;
  for (size_t c = a; visited < walkLength; c = ring.next(c)) {
    if (visited > 0 && !ring.closed && c == ring.head()) break;  // ran off the open end
    const PolyVertex& v = ring.v[c];
    const double tv = std::max(v.startWidth / 2.0, t);
    if (std::fabs(std::hypot(v.x - centre.x, v.y - centre.y) - radius) > tv) return std::nullopt;
    double phi = angleOf(centre, v.x, v.y);
    if (visited == 1) {
      // The direction comes from the first step. Taken across the 0 / 2π
      // seam too, so an arc that starts just below angle 0 is still one arc.
      double d = phi - a0;
      if (d > kPi) d -= kTwoPi;
      if (d <= -kPi) d += kTwoPi;
      if (d >= 0.0) {
        if (!stepFits(d)) return std::nullopt;
        result.direction = 1;
      } else {
        if (!stepFits(-d)) return std::nullopt;
        result.direction = -1;
      }
      phi = a0 + d;
    } else if (visited > 1) {
      if (result.direction > 0) {
        if (phi <= a0 + kAngleSlack) phi += kTwoPi;
        if (!stepFits(phi - previous)) return std::nullopt;
      } else {
        if (phi >= a0 - kAngleSlack) phi -= kTwoPi;
        if (!stepFits(previous - phi)) return std::nullopt;
      }
    }
    previous = phi;
    ++visited;
  }
  result.endAngle = previous;
  return result;
}

struct Run {
  size_t end = 0;
  ArcFit fit;
};

// The longest run of vertices on one circle starting at q.
std::optional<Run> findArcRun(const Ring& ring, size_t q, const CircleTolerances& tolerances) {
  size_t following = 0;
  for (size_t c = ring.next(q); c != q && following < 3; c = ring.next(c)) {
    if (!ring.closed && c == ring.head()) break;
    ++following;
  }
  if (following < 3) return std::nullopt;
  size_t e = ring.advance(q, 3);
  std::optional<ArcFit> current = fit(ring, q, e, tolerances);
  if (!current) return std::nullopt;
  Run run;
  for (;;) {
    run.end = e;
    run.fit = *current;
    if (e == q || ring.v[e].hasBulge()) return run;  // round the ring, or an earlier arc starts here
    e = ring.next(e);
    if (!ring.closed && e == ring.head()) return run;
    current = fit(ring, q, e, tolerances);
    if (!current) return run;
  }
}

// Refined centre lines: the fit of the run a..b moved onto the centre line
// of the stroke it follows, its angles taken again from the run's end
// vertices; nothing when the run follows no stroke. Unrefined (no raster),
// the fit as it is.
std::optional<ArcFit> placeOnInk(const Ring& ring, size_t a, size_t b, const ArcFit& f, double width,
                                 const CircleTolerances& tolerances) {
  if (tolerances.raster == nullptr) return f;
  const bool fullRing = a == b;
  StrokeCircle circle{f.centre, f.radius, f.startAngle, fullRing ? f.direction * kTwoPi : f.endAngle - f.startAngle};
  // A candidate, placed on coarse samples: most are given up, and the arcs
  // walked on along their strokes are finished there.
  std::optional<StrokeCircle> placed = followStroke(*tolerances.raster, circle, width, 0.2, false);
  if (!placed || placed->radius < kMinRadius || placed->radius > tolerances.size) return std::nullopt;
  // A run that stands but walks no further keeps this circle, and a flat
  // arc's coarse samples leave its curvature pixels off: it is finished on
  // fine samples where the stroke follows the finished circle closely.
  if (!fullRing) {
    if (const auto finished = followStroke(*tolerances.raster, *placed, width, kFinishedStrayShare, true);
        finished && finished->radius >= kMinRadius && finished->radius <= tolerances.size)
      placed = finished;
  }
  ArcFit result = f;
  result.centre = placed->centre;
  result.radius = placed->radius;
  result.startAngle = angleOf(result.centre, ring.v[a].x, ring.v[a].y);
  if (fullRing) {
    result.endAngle = result.startAngle + f.direction * kTwoPi;
    return result;
  }
  // The end vertex's angle, unwrapped the way the fit ran (about as far round as before).
  double end = angleOf(result.centre, ring.v[b].x, ring.v[b].y);
  const double sweep = f.endAngle - f.startAngle;
  while (end - result.startAngle < sweep - kPi) end += kTwoPi;
  while (end - result.startAngle > sweep + kPi) end -= kTwoPi;
  result.endAngle = end;
  return result;
}

double averageStartWidth(const model::VertexList& vertices, size_t count) {
  if (count == 0) return 0.0;
  double sum = 0.0;
  for (size_t i = 0; i < count; ++i) sum += vertices[i].startWidth;
  return sum / static_cast<double>(count);
}

// A closed outline kept as a full circle: two vertices whose bulges s draw
// it counter-clockwise (+1) or clockwise (−1).
model::VertexList circleOutline(const ArcFit& f, int sign, double z) {
  PolyVertex left;
  left.x = f.centre.x - f.radius;
  left.y = f.centre.y;
  left.z = z;
  left.bulge = sign;
  PolyVertex right = left;
  right.x = f.centre.x + f.radius;
  return {left, right};
}

std::unique_ptr<model::CCircle> makeCircle(const Point3& centre, double radius, double width) {
  auto circle = std::make_unique<model::CCircle>(centre, radius);
  circle->setWidth(width);
  return circle;
}

// The run search inside a polyline (whole-polyline fits have failed) on a
// ring of its vertices as they stand; circles found go to `made`.
void recogniseRuns(model::CPolyLine& polyline, Ring& ring, const CircleTolerances& tolerances, int sign,
                   std::vector<char>& marked, std::vector<std::unique_ptr<model::CEntity>>& made) {
  size_t start = ring.head();
  if (ring.closed) {
    // Back up to where the run through the head begins.
    bool cameRound = false;
    while (findArcRun(ring, start, tolerances)) {
      start = ring.prev(start);
      if (start == ring.head()) {
        cameRound = true;
        break;
      }
    }
    if (!cameRound) start = ring.next(start);
  }
  marked.assign(ring.v.size(), 0);
  bool bulged = false;
  std::optional<ArcFit> wholeOutline;
  size_t cur = start;
  while (!marked[cur]) {
    std::optional<Run> run = findArcRun(ring, cur, tolerances);
    marked[cur] = 1;
    if (run && tolerances.raster != nullptr) {
      double sum = 0.0;
      size_t count = 0;
      for (size_t c = cur;; c = ring.next(c)) {
        sum += ring.v[c].startWidth;
        ++count;
        if (c == run->end || count > ring.size()) break;
      }
      const std::optional<ArcFit> placed = placeOnInk(ring, cur, run->end, run->fit, sum / count, tolerances);
      if (placed) {
        run->fit = *placed;
      } else {
        run.reset();
      }
    }
    if (!run) {
      cur = ring.next(cur);
      continue;
    }
    const size_t e = run->end;
    double sum = ring.v[cur].startWidth;
    size_t count = 1;
    for (size_t c = ring.next(cur); c != e;) {
      sum += ring.v[c].startWidth;
      ++count;
      const size_t following = ring.next(c);
      ring.unlink(c);
      c = following;
    }
    if (e != cur) {
      sum += ring.v[e].startWidth;
      ++count;
    }
    const double width = sum / static_cast<double>(count);
    PolyVertex& v = ring.v[cur];
    PolyVertex& end = ring.v[e];
    if (tolerances.raster != nullptr && e != cur && std::fabs(run->fit.endAngle - run->fit.startAngle) > kPi) {
      // A bulge is the circle through its two ends: ends a pixel off the
      // placed circle turn the bulge of a run round more than half its
      // circle about its short chord, and a near ring lands pixels off.
      // Its ends on the circle, it is the circle placed on the ink.
      for (PolyVertex* q : {&v, &end}) {
        const double d = std::hypot(q->x - run->fit.centre.x, q->y - run->fit.centre.y);
        if (d < model::kTolerance) continue;
        q->x = run->fit.centre.x + (q->x - run->fit.centre.x) * run->fit.radius / d;
        q->y = run->fit.centre.y + (q->y - run->fit.centre.y) * run->fit.radius / d;
      }
    }
    const double h = model::distance(v.point(), end.point());
    if (h >= model::kTolerance) {
      const ArcFit& f = run->fit;
      const double a0 = f.startAngle;
      double a1 = f.endAngle;
      if (f.direction > 0) {
        while (a1 < a0) a1 += kTwoPi;
      } else {
        while (a1 > a0) a1 -= kTwoPi;
      }
      const Point3 middle = model::pointOnCircle(f.centre, f.radius, (a0 + a1) / 2.0);
      const double g = std::hypot((v.x + end.x) / 2.0 - middle.x, (v.y + end.y) / 2.0 - middle.y);
      v.bulge = f.direction * 2.0 * g / h;
      v.startWidth = width;
      bulged = true;
    } else if (sign != 0) {
      // The run closed on itself inside an outline: the outline is that circle.
      wholeOutline = run->fit;
      break;
    } else {
      made.push_back(makeCircle(run->fit.centre, run->fit.radius, width));
    }
    cur = e;
  }
  if (wholeOutline) {
    polyline.editVertices() = circleOutline(*wholeOutline, sign, ring.v[cur].z);
    polyline.buildApproximation(-25);
    return;
  }
  if (ring.size() == polyline.vertices().size() && !bulged) return;  // nothing found
  polyline.editVertices() = ring.survivors();
  if (bulged) polyline.buildApproximation(-25);
}

// Refined centre lines: a circle crossed by other strokes comes back in
// pieces (arcs, bulged segments joined with the crossing strokes, short
// chords over the crossings). Every arc piece is tried as a full circle on
// the ink; when the whole ring follows a stroke, the circle is made and the
// pieces lying on it are taken out of their polylines, which fall apart
// into the strokes that crossed it.
struct InkCircle {
  Point3 centre;
  double radius;
  double width;
};

bool onRing(const InkCircle& c, double x, double y, double tolerance) {
  return std::fabs(std::hypot(x - c.centre.x, y - c.centre.y) - c.radius) <= tolerance;
}

// The centre and radius of the bulged segment v → q.
std::optional<InkCircle> bulgeCircle(const PolyVertex& v, const PolyVertex& q) {
  const double chord = std::hypot(q.x - v.x, q.y - v.y);
  if (chord < model::kTolerance || !v.hasBulge()) return std::nullopt;
  const double b = v.bulge;
  const double radius = chord * (1 + b * b) / (4 * std::fabs(b));
  const double h = radius - std::fabs(b) * chord / 2;  // the centre's distance from the chord
  const double ux = (q.x - v.x) / chord, uy = (q.y - v.y) / chord;
  const double side = b > 0 ? 1.0 : -1.0;
  return InkCircle{Point3{(v.x + q.x) / 2 - uy * h * side, (v.y + q.y) / 2 + ux * h * side, v.z}, radius,
                   v.startWidth};
}

// The polyline without the segments marked in drop (index of each
// segment's start vertex), as the open polylines of the runs left.
std::vector<std::unique_ptr<model::CPolyLine>> withoutSegments(const model::CPolyLine& p, const std::vector<char>& drop) {
  const model::VertexList& v = p.vertices();
  const size_t n = v.size();
  const size_t segments = p.isClosed() ? n : n - 1;
  // Start after a dropped segment so that no run wraps past the start.
  size_t first = 0;
  if (p.isClosed()) {
    for (size_t i = 0; i < segments; ++i)
      if (drop[i]) first = (i + 1) % n;
  }
  std::vector<std::unique_ptr<model::CPolyLine>> runs;
  model::VertexList run;
  const auto flush = [&] {
    if (run.size() >= 2) {
      auto q = std::make_unique<model::CPolyLine>();
      run.back().bulge = 0.0;
      q->editVertices() = run;
      q->buildApproximation(-25);
      runs.push_back(std::move(q));
    }
    run.clear();
  };
  for (size_t k = 0; k < segments; ++k) {
    const size_t i = (first + k) % n;
    if (drop[i]) {
      flush();
      continue;
    }
    if (run.empty()) run.push_back(v[i]);
    run.push_back(v[(i + 1) % n]);
  }
  flush();
  return runs;
}

// Takes the arcs for which arcOn answers true out of the layer, and the
// segments (start and end vertex) for which segmentOn does out of their
// polylines, which fall apart into the runs left. The tests only read: what
// each entity loses is found on all cores, then the layer changed in order.
template <class ArcOn, class SegmentOn>
void takeOutPieces(model::CLayer& layer, ArcOn&& arcOn, SegmentOn&& segmentOn) {
  std::vector<model::CEntity*> entities;
  for (const auto& e : layer) entities.push_back(e.get());
  struct Loss {
    bool whole = false;  // the entity goes, its runs (if any) in its place
    std::vector<std::unique_ptr<model::CPolyLine>> runs;
  };
  std::vector<Loss> losses(entities.size());
  forEachRange(entities.size(), kMinPerPart, [&](size_t, size_t begin, size_t end) {
    std::vector<char> drop;
    for (size_t i = begin; i < end; ++i) {
      const model::CEntity& e = *entities[i];
      if (e.type() == model::EntityType::Arc) {
        losses[i].whole = arcOn(static_cast<const model::CArc&>(e));
        continue;
      }
      if (e.type() != model::EntityType::PolyLine) continue;
      const auto& p = static_cast<const model::CPolyLine&>(e);
      const auto& v = p.vertices();
      const size_t n = v.size();
      const size_t segments = n < 2 ? 0 : (p.isClosed() ? n : n - 1);
      drop.assign(n, 0);
      bool any = false;
      for (size_t k = 0; k < segments; ++k) {
        drop[k] = segmentOn(v[k], v[(k + 1) % n]);
        any = any || drop[k];
      }
      if (!any) continue;
      losses[i].whole = true;
      losses[i].runs = withoutSegments(p, drop);
    }
  });
  for (size_t i = 0; i < entities.size(); ++i) {
    if (!losses[i].whole) continue;
    for (auto& run : losses[i].runs) layer.insertBefore(entities[i], std::move(run));
    layer.remove(entities[i]);
  }
}

// Circles listed by where a point may match them: each circle in every
// cell its reach (a square round its centre) touches, so that a look-up
// tries the few circles near a point instead of all of them. A noisy sheet
// has a million segments and a thousand circles. A large reach goes into
// coarser cells: an A0 sheet's large arcs each filled up to 4096 small
// cells, whose building and freeing cost more than the look-ups saved (a
// look-up only asks whether any circle listed matches, so a few more tried
// change nothing).
class CircleGrid {
 public:
  // Plain: every circle is tried for every point.
  explicit CircleGrid(bool plain) : plain_(plain) {}

  void add(const Point3& centre, double reach) {
    // A cell's width of slack, so that rounding in a caller's distance
    // test never puts a match outside the cells listed.
    const double r = reach + 1.0;
    addBox(centre.x - r, centre.y - r, centre.x + r, centre.y + r);
  }
  // One that holds only points of the box (left, bottom)–(right, top), its
  // slack included.
  void addBox(double left, double bottom, double right, double top) {
    const auto index = static_cast<uint32_t>(count_++);
    if (plain_) {
      everywhere_.push_back(index);
      return;
    }
    for (auto* grid : {&fine_, &coarse_}) {
      int64_t x0, x1, y0, y1;
      if (!grid->cellOf(left, x0) || !grid->cellOf(right, x1) || !grid->cellOf(bottom, y0) || !grid->cellOf(top, y1))
        break;
      if ((x1 - x0 + 1) * (y1 - y0 + 1) > (grid == &fine_ ? kMostFineCells : kMostCells)) continue;
      for (int64_t y = y0; y <= y1; ++y)
        for (int64_t x = x0; x <= x1; ++x) grid->cells[key(x, y)].push_back(index);
      return;
    }
    everywhere_.push_back(index);
  }

  // Whether test answers true for a circle (by its index in the order
  // added) whose reach may hold (x, y).
  template <class Test>
  bool any(double x, double y, Test&& test) const {
    int64_t cx = 0, cy = 0;
    if (!fine_.cellOf(x, cx) || !fine_.cellOf(y, cy)) {
      for (size_t i = 0; i < count_; ++i)
        if (test(i)) return true;
      return false;
    }
    for (const uint32_t i : everywhere_)
      if (test(i)) return true;
    if (fine_.any(cx, cy, test)) return true;
    return coarse_.cellOf(x, cx) && coarse_.cellOf(y, cy) && coarse_.any(cx, cy, test);
  }

 private:
  static constexpr int64_t kMostFineCells = 64;
  static constexpr int64_t kMostCells = 4096;
  static constexpr double kFar = 1e12;

  static uint64_t key(int64_t x, int64_t y) {
    return (static_cast<uint64_t>(x) << 32) ^ (static_cast<uint64_t>(y) & 0xffffffffu);
  }

  struct Cells {
    double size;
    std::unordered_map<uint64_t, std::vector<uint32_t>> cells;

    bool cellOf(double v, int64_t& cell) const {
      if (!(std::fabs(v) < kFar)) return false;  // NaN too
      cell = static_cast<int64_t>(std::floor(v / size));
      return true;
    }
    template <class Test>
    bool any(int64_t cx, int64_t cy, Test& test) const {
      const auto cell = cells.find(key(cx, cy));
      if (cell == cells.end()) return false;
      for (const uint32_t i : cell->second)
        if (test(i)) return true;
      return false;
    }
  };

  bool plain_;
  size_t count_ = 0;
  std::vector<uint32_t> everywhere_;
  Cells fine_{32.0, {}};
  Cells coarse_{512.0, {}};
};

// The circles `fresh` into the layer, the arcs and segments lying on one of
// them taken out (their polylines fall apart into the strokes that crossed
// the circle).
void putCircles(model::CLayer& layer, const std::vector<InkCircle>& fresh, bool plain) {
  const auto toleranceOf = [](const InkCircle& c) { return std::max(2.0, c.width / 2.0); };
  // A bulge matches a circle whose centre lies within the tolerance of its
  // own, a chord one whose box holds its first end: both lie within the
  // circle's radius plus tolerance of its centre.
  CircleGrid freshGrid(plain);
  for (const InkCircle& c : fresh) freshGrid.add(c.centre, c.radius + toleranceOf(c));
  const auto onFresh = [&](const PolyVertex& a, const PolyVertex& b, const InkCircle* bulge) {
    if (bulge != nullptr) {
      return freshGrid.any(bulge->centre.x, bulge->centre.y, [&](size_t i) {
        const InkCircle& c = fresh[i];
        const double tolerance = toleranceOf(c);
        return std::fabs(bulge->radius - c.radius) <= tolerance && model::distance(bulge->centre, c.centre) <= tolerance;
      });
    }
    return freshGrid.any(a.x, a.y, [&](size_t i) {
      const InkCircle& c = fresh[i];
      const double tolerance = toleranceOf(c);
      const double box = c.radius + tolerance;
      if (std::fabs(a.x - c.centre.x) > box || std::fabs(a.y - c.centre.y) > box) return false;
      // A short chord over a crossing: both ends and its middle on the ring.
      return onRing(c, a.x, a.y, tolerance) && onRing(c, b.x, b.y, tolerance) &&
             onRing(c, (a.x + b.x) / 2, (a.y + b.y) / 2, tolerance);
    });
  };
  takeOutPieces(
      layer,
      [&](const model::CArc& a) {
        const InkCircle c{a.centre(), a.radius(), a.getWidth()};
        return onFresh(PolyVertex{}, PolyVertex{}, &c);
      },
      [&](const PolyVertex& a, const PolyVertex& b) {
        const auto bulge = bulgeCircle(a, b);
        return onFresh(a, b, bulge ? &*bulge : nullptr);
      });
  for (const InkCircle& c : fresh) layer.prepend(makeCircle(c.centre, c.radius, c.width));
}

void completeCirclesOnInk(model::CLayer& layer, const CircleTolerances& tolerances) {
  std::vector<InkCircle> made;
  // Two circles are the same within 2 pixels of centre and radius.
  constexpr double kSameCircle = 2.0;
  CircleGrid madeGrid(tolerances.plain);
  const auto remember = [&](const InkCircle& c) {
    made.push_back(c);
    madeGrid.add(c.centre, kSameCircle);
  };
  const auto known = [&](const InkCircle& c) {
    return madeGrid.any(c.centre.x, c.centre.y, [&](size_t i) {
      const InkCircle& m = made[i];
      return model::distance(m.centre, c.centre) <= kSameCircle && std::fabs(m.radius - c.radius) <= kSameCircle;
    });
  };
  for (const auto& e : layer) {
    if (e->type() == model::EntityType::Circle) {
      const auto& c = static_cast<const model::CCircle&>(*e);
      remember({c.centre(), c.radius(), c.getWidth()});  // already whole
    }
  }
  const size_t whole = made.size();
  std::vector<InkCircle> candidates;
  for (const auto& e : layer) {
    if (e->type() == model::EntityType::Arc) {
      const auto& a = static_cast<const model::CArc&>(*e);
      candidates.push_back({a.centre(), a.radius(), a.getWidth()});
    } else if (e->type() == model::EntityType::PolyLine) {
      const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
      for (size_t k = 0; k < v.size(); ++k)
        if (const auto c = bulgeCircle(v[k], v[(k + 1) % v.size()])) candidates.push_back(*c);
    }
  }
  // Every candidate's ring followed on the ink on all cores (the few that
  // turn out known meanwhile are followed for nothing), then taken in order.
  std::vector<std::optional<StrokeCircle>> placed(candidates.size());
  forEachItem(candidates.size(), kMinFollowsPerPart, [&](size_t i) {
    const InkCircle& c = candidates[i];
    placed[i] = followStroke(*tolerances.raster, StrokeCircle{c.centre, c.radius, 0.0, kTwoPi}, c.width);
  });
  for (size_t i = 0; i < candidates.size(); ++i) {
    const InkCircle& c = candidates[i];
    if (known(c)) continue;
    const auto& p = placed[i];
    if (!p || p->radius < kMinRadius || p->radius > tolerances.size) continue;
    remember({p->centre, p->radius, c.width});
  }
  if (made.size() == whole) return;
  putCircles(layer, std::vector<InkCircle>(made.begin() + static_cast<std::ptrdiff_t>(whole), made.end()), tolerances.plain);
}

// Refined centre lines: an arc crossed by other strokes comes back in
// pieces too (CArcs, bulged segments joined with the crossing strokes,
// short chords over the crossings), each with a centre placed poorly by its
// short sweep. Every piece is walked on along its stroke as far as the
// stroke goes (extendAlongStroke), longest pieces first; an arc that grew
// beyond its piece is made, and the pieces lying on it are taken out of
// their polylines as for circles. Bulges tangent to a straight neighbour
// (fillets, slot ends) stay in their polylines.
struct InkArc {
  InkCircle circle;
  double start;  // counter-clockwise from start
  double sweep;
};

// The angle of (x, y) about the arc's centre, counted from its start
// (−π..π about the middle of the sweep, so points just before the start
// come out negative).
double angleIntoArc(const InkArc& a, double x, double y) {
  double t = std::atan2(y - a.circle.centre.y, x - a.circle.centre.x) - a.start;
  const double middle = a.sweep / 2.0;
  while (t < middle - kPi) t += kTwoPi;
  while (t > middle + kPi) t -= kTwoPi;
  return t;
}

// How far past its ends (as an angle) onArc takes points on the arc.
double endSlack(const InkArc& a, double tolerance) { return (tolerance + a.circle.width / 2.0) / a.circle.radius; }

bool onArc(const InkArc& a, double x, double y, double tolerance) {
  if (!onRing(a.circle, x, y, tolerance)) return false;
  const double slack = endSlack(a, tolerance);
  const double t = angleIntoArc(a, x, y);
  return t >= -slack && t <= a.sweep + slack;
}

// A box holding every point onArc(a, ·, ·, tolerance) takes, with a pixel
// of slack for rounding: left, bottom, right, top. An arc's box, not its
// circle's, keeps a large arc out of the grid cells across its circle.
std::array<double, 4> arcBox(const InkArc& a, double tolerance) {
  const double cx = a.circle.centre.x, cy = a.circle.centre.y;
  const double outer = a.circle.radius + tolerance, inner = a.circle.radius - tolerance;
  const double slack = endSlack(a, tolerance);
  const double from = a.start - slack, to = a.start + a.sweep + slack;
  if (!(to - from < kTwoPi) || !(inner >= 0.0))
    return {cx - outer - 1.0, cy - outer - 1.0, cx + outer + 1.0, cy + outer + 1.0};
  // The annulus piece's extremes: its corners, and its outer edge where it
  // points along an axis.
  std::array<double, 4> box{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  const auto take = [&](double radius, double angle) {
    const double x = cx + radius * std::cos(angle), y = cy + radius * std::sin(angle);
    box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
  };
  for (const double angle : {from, to}) {
    take(inner, angle);
    take(outer, angle);
  }
  for (double quarter = std::ceil(from / (kPi / 2.0)); quarter * (kPi / 2.0) <= to; quarter += 1.0)
    take(outer, quarter * (kPi / 2.0));
  return {box[0] - 1.0, box[1] - 1.0, box[2] + 1.0, box[3] + 1.0};
}

// The piece of the bulged segment v → q as a counter-clockwise arc.
std::optional<InkArc> bulgeArc(const PolyVertex& v, const PolyVertex& q) {
  const auto c = bulgeCircle(v, q);
  if (!c) return std::nullopt;
  const double sweep = 4.0 * std::atan(v.bulge);
  double start = std::atan2(v.y - c->centre.y, v.x - c->centre.x);
  if (sweep < 0.0) start += sweep;
  return InkArc{*c, start, std::fabs(sweep)};
}

// A CArc as a counter-clockwise InkArc.
InkArc inkArcOf(const model::CArc& a) {
  double sweep = a.endAngle() - a.startAngle();
  while (sweep <= 0.0) sweep += kTwoPi;
  return InkArc{{a.centre(), a.radius(), a.getWidth()}, a.startAngle(), sweep};
}

// use(k, arc) for every bulged segment k (from vertex k to the next) of the polyline.
template <class Use>
void forEachBulgeArc(const model::CPolyLine& p, Use&& use) {
  const auto& v = p.vertices();
  const size_t n = v.size();
  const size_t segments = n < 2 ? 0 : (p.isClosed() ? n : n - 1);
  for (size_t k = 0; k < segments; ++k)
    if (const auto arc = bulgeArc(v[k], v[(k + 1) % n])) use(k, *arc);
}

// Whether the straight segment a → b continues the arc's tangent at its end
// point a (within about 12°): the arc runs into a straight leg there.
bool tangentAt(const InkCircle& c, const PolyVertex& a, const PolyVertex& b) {
  const double length = std::hypot(b.x - a.x, b.y - a.y);
  // A short straight piece between two bulges is a chord of the same arc
  // (over a crossing, or where the polyline's fit broke), not a leg.
  if (length < kMinLeg) return false;
  const double rx = (a.x - c.centre.x) / c.radius, ry = (a.y - c.centre.y) / c.radius;
  // The radial share of the segment's direction: sin of its angle to the tangent.
  return std::fabs((b.x - a.x) * rx + (b.y - a.y) * ry) / length < 0.2;
}

void completeArcsOnInk(model::CLayer& layer, const CircleTolerances& tolerances) {
  // A bulge with a straight neighbour running on tangentially is a fillet
  // or slot end, whose ends are the tangent points, unless the stroke goes
  // on along the circle over that neighbour (a chord over a crossing, or
  // where the polyline's fit broke): such a bulge is walked too, and its arc
  // made only when the neighbours' far ends lie on it.
  struct Seed {
    InkArc arc;
    int legs = 0;
    Point3 legEnds[2];  // of the tangent neighbours
  };
  std::vector<Seed> seeds;
  for (const auto& e : layer) {
    if (e->type() == model::EntityType::Arc) {
      seeds.push_back({inkArcOf(static_cast<const model::CArc&>(*e)), 0, {}});
    } else if (e->type() == model::EntityType::PolyLine) {
      const auto& p = static_cast<const model::CPolyLine&>(*e);
      const auto& v = p.vertices();
      const size_t n = v.size();
      forEachBulgeArc(p, [&](size_t k, const InkArc& arc) {
        const bool hasBefore = p.isClosed() || k > 0, hasAfter = p.isClosed() || k + 2 < n;
        const PolyVertex& before = v[(k + n - 1) % n];
        const PolyVertex& after = v[(k + 2) % n];
        Seed seed{arc, 0, {}};
        if (hasBefore && !before.hasBulge() && tangentAt(arc.circle, v[k], before))
          seed.legEnds[seed.legs++] = before.point();
        if (hasAfter && !v[(k + 1) % n].hasBulge() && tangentAt(arc.circle, v[(k + 1) % n], after))
          seed.legEnds[seed.legs++] = after.point();
        seeds.push_back(seed);
      });
    }
  }
  if (seeds.empty()) return;
  std::stable_sort(seeds.begin(), seeds.end(), [](const Seed& a, const Seed& b) {
    return a.arc.sweep * a.arc.circle.radius > b.arc.sweep * b.arc.circle.radius;
  });
  std::vector<InkArc> made;
  CircleGrid madeGrid(tolerances.plain);
  const auto toleranceOf = [](const InkCircle& c) { return std::max(2.0, c.width / 2.0); };
  const auto covered = [&](const InkArc& piece) {
    const double middle = piece.start + piece.sweep / 2.0;
    const double mx = piece.circle.centre.x + piece.circle.radius * std::cos(middle);
    const double my = piece.circle.centre.y + piece.circle.radius * std::sin(middle);
    return madeGrid.any(mx, my, [&](size_t i) { return onArc(made[i], mx, my, toleranceOf(made[i].circle)); });
  };
  // The seeds walked a batch at a time on all cores, then taken in order.
  // Arcs only add to what is covered: a seed the arcs made before its
  // batch already cover is passed over at its turn, and not walked.
  std::vector<std::optional<StrokeCircle>> grownFrom(seeds.size());
  std::vector<size_t> walked;
  for (size_t first = 0; first < seeds.size(); first += kSeedBatch) {
    const size_t last = std::min(seeds.size(), first + kSeedBatch);
    walked.clear();
    for (size_t i = first; i < last; ++i)
      if (!covered(seeds[i].arc)) walked.push_back(i);
    forEachItem(walked.size(), kMinFollowsPerPart, [&](size_t k) {
      const InkArc& seed = seeds[walked[k]].arc;
      const InkCircle& c = seed.circle;
      grownFrom[walked[k]] = extendAlongStroke(*tolerances.raster, StrokeCircle{c.centre, c.radius, seed.start, seed.sweep},
                                               std::max(c.width, 1.0), true);
    });
    for (const size_t i : walked) {
      const InkArc& seed = seeds[i].arc;
      if (covered(seed)) continue;
      const InkCircle& c = seed.circle;
      const auto& grown = grownFrom[i];
      if (!grown || grown->radius < kMinRadius || grown->radius > tolerances.size) continue;
      // Only an arc that reaches beyond its piece says more than the piece.
      const double before = (seed.start - grown->startAngle) * grown->radius;
      const double after = (grown->startAngle + grown->sweep - seed.start - seed.sweep) * grown->radius;
      if (std::max(before, after) < kGrownBeyond) continue;
      InkArc arc{{grown->centre, grown->radius, c.width}, grown->startAngle, grown->sweep};
      if (arc.sweep < 0.0) {
        arc.start += arc.sweep;
        arc.sweep = -arc.sweep;
      }
      if (arc.sweep > kMaxArcSweep) arc.sweep = kTwoPi;  // a ring
      const Point3* legEnds = seeds[i].legEnds;
      if (!std::all_of(legEnds, legEnds + seeds[i].legs, [&](const Point3& p) {
            return onArc(arc, p.x, p.y, kLegCover) && onRing(c, p.x, p.y, kLegCover);
          }))
        continue;
      made.push_back(arc);
      const auto [left, bottom, right, top] = arcBox(arc, toleranceOf(arc.circle));
      madeGrid.addBox(left, bottom, right, top);
    }
  }
  if (made.empty()) return;
  const auto onMade = [&](double x, double y) {
    return madeGrid.any(x, y, [&](size_t i) { return onArc(made[i], x, y, toleranceOf(made[i].circle)); });
  };
  // A piece lies on a made arc when its ends and its middle do (the same arc
  // for all three is not asked: pieces at a made arc's ends overlap it).
  const auto pieceOnMade = [&](const PolyVertex& a, const PolyVertex& b) {
    if (const auto arc = bulgeArc(a, b)) {
      const double middle = arc->start + arc->sweep / 2.0;
      return onMade(a.x, a.y) && onMade(b.x, b.y) &&
             onMade(arc->circle.centre.x + arc->circle.radius * std::cos(middle),
                    arc->circle.centre.y + arc->circle.radius * std::sin(middle));
    }
    const double mx = (a.x + b.x) / 2.0, my = (a.y + b.y) / 2.0;
    const auto onChord = [&](double x, double y) {
      return madeGrid.any(x, y, [&](size_t i) { return onArc(made[i], x, y, kChordTolerance); });
    };
    if (!onChord(a.x, a.y) || !onChord(b.x, b.y) || !onChord(mx, my)) return false;
    return !madeGrid.any(mx, my, [&](size_t i) {
      const InkArc& m = made[i];
      return onArc(m, mx, my, kChordTolerance) &&
             model::distance(Point3{mx, my, m.circle.centre.z}, m.circle.centre) > m.circle.radius + kChordOutside;
    });
  };
  takeOutPieces(
      layer,
      [&](const model::CArc& a) {
        const Point3 s = a.getStartPoint(), m = a.middlePoint(), t = a.getEndPoint();
        return onMade(s.x, s.y) && onMade(m.x, m.y) && onMade(t.x, t.y);
      },
      pieceOnMade);
  for (const InkArc& a : made) {
    if (a.sweep >= kTwoPi) {
      layer.prepend(makeCircle(a.circle.centre, a.circle.radius, a.circle.width));
      continue;
    }
    auto arc = std::make_unique<model::CArc>(a.circle.centre, a.circle.radius, a.start, a.start + a.sweep);
    arc->setWidth(a.circle.width);
    layer.prepend(std::move(arc));
  }
}

// Refined centre lines: a circle crossed by many strokes may still come
// back as arcs when no piece's ring follows the stroke all the way round
// (crossing strokes that run along it for a while put too many samples off
// the circle). An arc or bulge of at least kMinRingSeed and
// kMinRingSeedLength (a bend of a glyph says little about a circle) becomes
// its whole circle when the ink goes on round the rest, nowhere blank (an
// arc proper ends in white or in another stroke, so its rest is blank
// somewhere), and the stroke's centre line follows the circle round the
// ring with up to kMaxRingStrayShare of the samples more than a pixel off
// it (more than a plain follow allows, for the crossings).
constexpr double kMinRingSeed = kPi / 2.0;
constexpr double kMinRingSeedLength = 30.0;
constexpr double kMaxGapBlankShare = 0.01;
constexpr double kMaxRingStrayShare = 0.4;
// A ring placed on the ink by followStroke is taken when its centre and
// its radius each lie this close to the seed's circle (or half the width),
// as the seed's pieces are taken out as lying on it.
constexpr double kRingShift = 2.0;

void closeRingsOnInk(model::CLayer& layer, const CircleTolerances& tolerances) {
  std::vector<InkArc> seeds;
  std::vector<InkCircle> known;
  for (const auto& e : layer) {
    if (e->type() == model::EntityType::Circle) {
      const auto& c = static_cast<const model::CCircle&>(*e);
      known.push_back({c.centre(), c.radius(), c.getWidth()});
    } else if (e->type() == model::EntityType::Arc) {
      const InkArc arc = inkArcOf(static_cast<const model::CArc&>(*e));
      if (arc.sweep >= kMinRingSeed) seeds.push_back(arc);
    } else if (e->type() == model::EntityType::PolyLine) {
      forEachBulgeArc(static_cast<const model::CPolyLine&>(*e), [&](size_t, const InkArc& arc) {
        if (arc.sweep >= kMinRingSeed) seeds.push_back(arc);
      });
    }
  }
  if (seeds.empty()) return;
  std::stable_sort(seeds.begin(), seeds.end(), [](const InkArc& a, const InkArc& b) {
    return a.sweep * a.circle.radius > b.sweep * b.circle.radius;
  });
  std::vector<std::optional<InkCircle>> rings(seeds.size());
  forEachItem(seeds.size(), kMinFollowsPerPart, [&](size_t i) {
    const InkArc& seed = seeds[i];
    const InkCircle& c = seed.circle;
    if (c.radius < kMinRadius || c.radius > tolerances.size || seed.sweep * c.radius < kMinRingSeedLength) return;
    const double width = std::max(c.width, 1.0);
    if (!blankAlongAtMost(*tolerances.raster,
                          StrokeCircle{c.centre, c.radius, seed.start + seed.sweep, kTwoPi - seed.sweep},
                          kMaxGapBlankShare))
      return;
    const auto placed =
        followStroke(*tolerances.raster, StrokeCircle{c.centre, c.radius, 0.0, kTwoPi}, width, kMaxRingStrayShare);
    if (placed && std::max(model::distance(placed->centre, c.centre), std::fabs(placed->radius - c.radius)) <=
                      std::max(kRingShift, c.width / 2.0))
      rings[i] = InkCircle{placed->centre, placed->radius, c.width};
  });
  constexpr double kSameCircle = 2.0;
  std::vector<InkCircle> fresh;
  const auto same = [&](const InkCircle& a, const InkCircle& b) {
    return model::distance(a.centre, b.centre) <= kSameCircle && std::fabs(a.radius - b.radius) <= kSameCircle;
  };
  for (const auto& ring : rings) {
    if (!ring) continue;
    if (std::any_of(known.begin(), known.end(), [&](const InkCircle& k) { return same(k, *ring); })) continue;
    known.push_back(*ring);
    fresh.push_back(*ring);
  }
  if (!fresh.empty()) putCircles(layer, fresh, tolerances.plain);
}

// recognisePolylineCircles with the replacements in `made`, in the order
// they go to the layer's front. Touches nothing but the polyline, so that
// polylines can be looked at on several threads at once.
int recognisePolylineCirclesInto(model::CPolyLine& polyline, const CircleTolerances& tolerances, int outlineSign,
                                 std::vector<std::unique_ptr<model::CEntity>>& made) {
  const model::VertexList& vertices = polyline.vertices();
  const size_t n = vertices.size();
  if (n < 4) return 0;
  try {
    thread_local RingStorage storage;
    Ring ring(storage, vertices, polyline.isClosed());
    if (polyline.isClosed()) {
      std::optional<ArcFit> f = fit(ring, 0, 0, tolerances);
      if (f && outlineSign == 0) f = placeOnInk(ring, 0, 0, *f, averageStartWidth(vertices, n), tolerances);
      if (f) {
        if (outlineSign != 0) {
          polyline.editVertices() = circleOutline(*f, outlineSign, vertices[0].z);
          polyline.buildApproximation(-25);
        } else {
          made.push_back(makeCircle(f->centre, f->radius, averageStartWidth(vertices, n)));
          polyline.clearVertices();
        }
        return 0;
      }
    } else if (outlineSign == 0) {
      const std::optional<ArcFit> whole = fit(ring, 0, n - 1, tolerances);
      // Four vertices that are no arc hold no run either: the only run
      // could start at the head and would be these four.
      if (!whole && n == 4 && !tolerances.plain) return 0;
      std::optional<ArcFit> f = whole;
      if (f) f = placeOnInk(ring, 0, n - 1, *f, averageStartWidth(vertices, n - 1), tolerances);
      if (f) {
        const double width = averageStartWidth(vertices, n - 1);
        double start = model::normalizeAngle(f->startAngle);
        double end = model::normalizeAngle(f->endAngle);
        if (f->direction < 0) std::swap(start, end);
        if (end <= start) end += kTwoPi;
        std::unique_ptr<model::CEntity> entity;
        if (end - start <= kMaxArcSweep) {
          entity = std::make_unique<model::CArc>(f->centre, f->radius, start, end);
          entity->setWidth(width);
        } else {
          entity = makeCircle(f->centre, f->radius, width);
        }
        made.push_back(std::move(entity));
        polyline.clearVertices();
        return 0;
      }
    }
    recogniseRuns(polyline, ring, tolerances, outlineSign, storage.marked, made);
  } catch (const std::bad_alloc&) {
    return -2;
  }
  return 0;
}

}  // namespace

std::optional<ArcFit> fitArc(const model::CPolyLine& polyline, size_t first, size_t last,
                             const CircleTolerances& tolerances) {
  const size_t n = polyline.vertices().size();
  if (first >= n || last >= n) return std::nullopt;
  RingStorage storage;
  const Ring ring(storage, polyline.vertices(), polyline.isClosed());
  return fit(ring, first, last, tolerances);
}

int recognisePolylineCircles(model::CPolyLine& polyline, const CircleTolerances& tolerances, int outlineSign,
                             model::CLayer* layer) {
  if (polyline.vertices().size() < 4) return 0;
  if (outlineSign == 0 && layer == nullptr) return -1;
  std::vector<std::unique_ptr<model::CEntity>> made;
  const int result = recognisePolylineCirclesInto(polyline, tolerances, outlineSign, made);
  try {
    for (auto& entity : made) layer->prepend(std::move(entity));
  } catch (const std::bad_alloc&) {
    return -2;
  }
  return result;
}

int recognisePolyPolygonCircles(model::CPolyPolygon& polygon, const CircleTolerances& tolerances) {
  for (size_t i = 0; i < polygon.outlineCount(); ++i) {
    if (recognisePolylineCircles(*polygon.outline(i), tolerances, i == 0 ? 1 : -1, nullptr) == -2) return -2;
  }
  return 0;
}

std::optional<MergedArc> canMergeArcs(const model::CArc& r, const model::CArc& q, int conDis) {
  const double t = conDis;
  const auto meet = [t](const Point3& a, const Point3& b) {
    return std::fabs(a.x - b.x) <= t && std::fabs(a.y - b.y) <= t;
  };
  const Point3 rs = r.getStartPoint(), re = r.getEndPoint();
  const Point3 qs = q.getStartPoint(), qe = q.getEndPoint();
  const bool e1 = meet(rs, qe);
  const bool e2 = meet(re, qs);
  if (!e1 && !e2) return std::nullopt;
  const auto midpoint = [](const Point3& a, const Point3& b) {
    return Point3{(a.x + b.x) / 2.0, (a.y + b.y) / 2.0, a.z};
  };
  MergedArc merged;
  if (e1 && e2) {
    merged.centre = midpoint(r.centre(), q.centre());
    merged.radius = (r.radius() + q.radius()) / 2.0;
  } else {
    // The arc from `from` through the meeting point to `to`.
    const Point3& from = e2 ? rs : qs;
    const Point3 through = e2 ? midpoint(re, qs) : midpoint(qe, rs);
    const Point3& to = e2 ? qe : re;
    const auto circle = model::circleThrough(from, through, to);
    if (!circle) return std::nullopt;
    merged.centre = circle->centre;
    merged.radius = circle->radius;
    merged.startAngle = angleOf(merged.centre, from.x, from.y);
    merged.endAngle = angleOf(merged.centre, to.x, to.y);
  }
  for (const Point3& p : {rs, re, qs, qe, r.middlePoint(), q.middlePoint()}) {
    if (std::fabs(std::hypot(p.x - merged.centre.x, p.y - merged.centre.y) - merged.radius) > t / 2.0) {
      return std::nullopt;
    }
  }
  return merged;
}

bool mergeArcsLayer(model::CLayer& layer, int conDis, platform::ProgressSink* sink) {
  const StageProgress stage(sink);
  const uint32_t n = layer.recount();
  if (n == 0) return true;
  try {
    // The arcs as they stand, in layer order (only arcs can merge); merged
    // results go to the front and are not visited again as P. A flag per
    // listed arc marks the ones already merged away.
    std::vector<model::CEntity*> arcs;
    for (const auto& entity : layer) {
      if (entity->type() == model::EntityType::Arc) arcs.push_back(entity.get());
    }
    std::vector<char> gone(arcs.size(), 0);
    for (size_t i = 0; i < arcs.size(); ++i) {
      if (gone[i] != 0) continue;
      model::CEntity* p = arcs[i];
      const model::CArc* r = static_cast<const model::CArc*>(p);
      std::unique_ptr<model::CEntity> made;  // r once it is a merge result
      for (size_t j = i + 1; j < arcs.size(); ++j) {
        if (gone[j] != 0) continue;
        model::CEntity* q = arcs[j];
        const model::CArc& qArc = static_cast<const model::CArc&>(*q);
        const std::optional<MergedArc> m = canMergeArcs(*r, qArc, conDis);
        if (!m) continue;
        const double width = (r->getWidth() + qArc.getWidth()) / 2.0;
        std::unique_ptr<model::CEntity> result;
        if (std::fabs(m->startAngle - m->endAngle) > kFullCircleAngle) {
          result = std::make_unique<model::CArc>(m->centre, m->radius, m->startAngle, m->endAngle);
          result->setWidth(width);
        } else {
          result = makeCircle(m->centre, m->radius, width);
        }
        if (!made) {
          gone[i] = 1;
          layer.remove(p);
        }
        gone[j] = 1;
        layer.remove(q);
        made = std::move(result);
        if (made->type() == model::EntityType::Circle) {
          layer.prepend(std::move(made));
          break;
        }
        r = static_cast<const model::CArc*>(made.get());
      }
      if (made) layer.prepend(std::move(made));
      if (stage.hasSink()) {
        if (stage.stopRequested()) return false;
        stage.progress(60 + static_cast<int>(static_cast<uint64_t>(i + 1) * 40 / arcs.size()));
      }
    }
  } catch (const std::bad_alloc&) {
    stage.finished(kStageNoMemory);
    return false;
  }
  return true;
}

bool recogniseCirclesLayer(model::CLayer& layer, const settings::TraceOption& options, int size, CircleMode mode,
                           platform::ProgressSink* sink, const raster::CRaster* raster) {
  const StageProgress stage(sink);
  stage.begin("ProcessRecCircle", "Recognize circle");
  const bool refine = options.b_Refine && mode == CircleMode::CentreLine;
  const CircleTolerances tolerances{options.d_MaxDis, options.i_ConDis, static_cast<double>(size), refine,
                                    refine ? raster : nullptr, options.plainPipeline};
  const bool merge = mode == CircleMode::CentreLine && options.b_Connect;
  const uint32_t n = layer.recount();
  const double step = n > 0 ? (merge ? 60.0 : 100.0) / n : 0.0;
  try {
    // The entities as they stand: replacements go to the front, and the
    // walk never meets them.
    std::vector<model::CEntity*> entities;
    entities.reserve(n);
    for (const auto& entity : layer) entities.push_back(entity.get());
    // Blocks of entities looked at on all cores (each alone, its
    // replacements kept apart), then in order: replacements to the front,
    // progress, cancel and memory checks. A block is always taken whole, so
    // no polyline is left emptied without its replacement.
    const size_t block = tolerances.plain ? 1 : kCircleBlock;
    std::vector<std::vector<std::unique_ptr<model::CEntity>>> made;
    std::vector<int> results;
    for (size_t first = 0; first < entities.size(); first += block) {
      const size_t count = std::min(block, entities.size() - first);
      made.clear();
      made.resize(count);
      results.assign(count, 0);
      forEachRange(count, kMinPerPart, [&](size_t, size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) {
          model::CEntity& entity = *entities[first + k];
          if (entity.type() == model::EntityType::PolyLine) {
            results[k] = recognisePolylineCirclesInto(static_cast<model::CPolyLine&>(entity), tolerances, 0, made[k]);
          } else if (entity.type() == model::EntityType::PolyPolygon) {
            results[k] = recognisePolyPolygonCircles(static_cast<model::CPolyPolygon&>(entity), tolerances);
          }
        }
      });
      bool outOfMemory = false, stopped = false;
      for (size_t k = 0; k < count; ++k) {
        for (auto& entity : made[k]) layer.prepend(std::move(entity));
        if (outOfMemory || stopped) continue;
        if (results[k] == -2) {
          outOfMemory = true;
          stage.finished(kStageNoMemory);
        } else if (stage.hasSink()) {
          if (stage.stopRequested()) {
            stopped = true;
          } else {
            stage.progress(static_cast<int>(static_cast<uint32_t>(first + k + 1) * step));
          }
        }
      }
      if (outOfMemory || stopped) return false;
    }
    for (model::CEntity* entity = layer.first(); entity != nullptr;) {
      model::CEntity* following = entity->next();
      if (entity->type() == model::EntityType::PolyLine && entity->isDegenerate()) layer.remove(entity);
      entity = following;
    }
    if (tolerances.raster != nullptr) {
      completeCirclesOnInk(layer, tolerances);
      std::vector<model::CPolyLine*> polylines;
      for (const auto& e : layer)
        if (e->type() == model::EntityType::PolyLine) polylines.push_back(static_cast<model::CPolyLine*>(&*e));
      forEachRange(polylines.size(), kMinPerPart, [&](size_t, size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) roundFillets(*polylines[i], *tolerances.raster);
      });
      completeArcsOnInk(layer, tolerances);
      closeRingsOnInk(layer, tolerances);
    }
  } catch (const std::bad_alloc&) {
    stage.finished(kStageNoMemory);
    return false;
  }
  if (merge && !mergeArcsLayer(layer, options.i_ConDis, sink)) return false;
  stage.end();
  return true;
}

}  // namespace quillon::postprocess
