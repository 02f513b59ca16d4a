#include "postprocess/connect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <utility>

#include "model/graph.h"
#include "postprocess/line_width.h"
#include "postprocess/stage_common.h"

namespace quillon::postprocess {

using model::CPolyLine;
using model::Point3;
using model::PolyVertex;
using model::VertexList;

// ---- EndIndex ------------------------------------------------------------------

namespace {
// `v = {}` would pick the initializer-list assignment, which keeps the
// storage: a noisy scan's index holds a hundred megabytes.
template <typename Vector>
void freeStorage(Vector& v) {
  Vector().swap(v);
}
}  // namespace

void EndIndex::clear() {
  freeStorage(entries_);
  freeLookUps();
  freeStorage(clusters_);
  freeStorage(members_);
}

void EndIndex::freeLookUps() {
  freeStorage(byColumn_);
  rows_ = {};
  columns_ = {};
  freeStorage(rowHints_);
}

void EndIndex::formMembers() {
  for (Entry& entry : entries_) {
    const ClusterMember member{entry.polyline(), entry.takenBy(), entry.end()};
    new (static_cast<void*>(&entry)) ClusterMember(member);
  }
  freeLookUps();
}

namespace {

// The cell of a coordinate. Far-away values are clamped so that a cell plus
// or minus a search radius stays inside int.
int CellOf(double v) {
  constexpr double kLimit = 1e9;
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::floor(std::clamp(v, -kLimit, kLimit)));
}

// Keys spanning at most this many cells beyond twice the number of entries
// get a direct look-up table.
constexpr int64_t kDirectSlack = 4096;

// Polylines taken out of the layer at once beyond which their freed list
// nodes (a few MiB) are handed back to the system.
constexpr size_t kTrimAfterNodes = 200000;

// Sorts entries stably by `key` (an int member) with one counting pass
// through `scratch` when the keys span a range of about the entries' number
// or less; false (nothing changed) otherwise.
template <typename List, typename Entry = typename List::value_type>
bool CountingSortBy(List& entries, List& scratch, int Entry::*key) {
  if (entries.size() < 2) return true;
  const auto [low, high] = std::minmax_element(entries.begin(), entries.end(),
                                               [key](const Entry& a, const Entry& b) { return a.*key < b.*key; });
  const int base = (*low).*key;
  const int64_t span = static_cast<int64_t>((*high).*key) - base + 1;
  if (span > 4 * static_cast<int64_t>(entries.size()) + kDirectSlack) return false;
  std::vector<uint32_t> start(static_cast<size_t>(span) + 1, 0);
  for (const Entry& e : entries) ++start[static_cast<size_t>(e.*key - base) + 1];
  for (size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
  scratch.resize(entries.size());
  for (const Entry& e : entries) scratch[start[static_cast<size_t>(e.*key - base)]++] = e;
  entries.swap(scratch);
  return true;
}

}  // namespace

void EndIndex::addEntry(double x, double y, int end, CPolyLine* polyline) {
  entries_.emplace_back(polyline, CellOf(x), CellOf(y), end);
}

void EndIndex::seal(bool columns) {
  if (entries_.size() > UINT32_MAX - 1) throw std::bad_alloc();
  // By cell, then by row: both passes keep the order of equal keys, so this
  // is the stable sort by row and cell. Far-flung keys take the comparison sort.
  // The head of the sort's scratch becomes the member order (one place per
  // entry): pages the sort faulted in instead of fresh ones.
  const platform::LargeBlockHandOver handOver;
  {
    EntryList scratch;
    if (!CountingSortBy(entries_, scratch, &Entry::x) || !CountingSortBy(entries_, scratch, &Entry::y)) {
      std::stable_sort(entries_.begin(), entries_.end(),
                       [](const Entry& a, const Entry& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    }
  }
  const auto count = static_cast<uint32_t>(entries_.size());
  members_.clear();
  members_.reserve(count);
  clusters_.clear();
  clusters_.reserve(count);
  byColumn_.clear();
  if (columns) {
    byColumn_.resize(count);
    for (uint32_t i = 0; i < count; ++i) byColumn_[i] = ColumnEntry{entries_[i].y, i};
    std::stable_sort(byColumn_.begin(), byColumn_.end(), [this](const ColumnEntry& a, const ColumnEntry& b) {
      return entries_[a.position].x < entries_[b.position].x;
    });
  }

  const auto build = [count](Lines& table, auto keyAt) {
    table.lines.clear();
    for (uint32_t i = 0; i < count; ++i) {
      const int key = keyAt(i);
      if (table.lines.empty() || table.lines.back().key != key) table.lines.push_back(Line{key, i, i});
      table.lines.back().end = i + 1;
    }
    table.at.clear();
    if (table.lines.empty()) return;
    table.base = table.lines.front().key;
    const int64_t span = static_cast<int64_t>(table.lines.back().key) - table.base + 1;
    if (span > 2 * static_cast<int64_t>(count) + kDirectSlack) return;
    table.at.assign(static_cast<size_t>(span), UINT32_MAX);
    for (size_t l = 0; l < table.lines.size(); ++l) {
      table.at[static_cast<size_t>(table.lines[l].key - table.base)] = static_cast<uint32_t>(l);
    }
  };
  build(rows_, [this](uint32_t i) { return entries_[i].y; });
  rowHints_.resize(rows_.lines.size());
  for (size_t l = 0; l < rows_.lines.size(); ++l) rowHints_[l] = rows_.lines[l].begin;
  if (columns) {
    build(columns_, [this](uint32_t i) { return entries_[byColumn_[i].position].x; });
  } else {
    columns_ = {};
  }
}

const EndIndex::Line* EndIndex::Lines::find(int key) const {
  if (!at.empty()) {
    const int64_t k = static_cast<int64_t>(key) - base;
    if (k < 0 || k >= static_cast<int64_t>(at.size())) return nullptr;
    const uint32_t l = at[static_cast<size_t>(k)];
    return l == UINT32_MAX ? nullptr : &lines[l];
  }
  const auto it = std::lower_bound(lines.begin(), lines.end(), key, [](const Line& l, int k) { return l.key < k; });
  return it != lines.end() && it->key == key ? &*it : nullptr;
}

void EndIndex::unvisitedInRow(int y, int x0, int x1, std::vector<uint32_t>& out) const {
  const Line* row = rows_.find(y);
  if (row == nullptr) return;
  const Entry* first = entries_.data() + row->begin;
  const Entry* last = entries_.data() + row->end;
  const Entry* e = std::lower_bound(first, last, x0, [](const Entry& entry, int x) { return entry.x < x; });
  for (; e != last && e->x <= x1; ++e) {
    if (!e->visited()) out.push_back(static_cast<uint32_t>(e - entries_.data()));
  }
}

void EndIndex::unvisitedInColumn(int x, int y0, int y1, std::vector<uint32_t>& out) const {
  const Line* column = columns_.find(x);
  if (column == nullptr) return;
  const ColumnEntry* first = byColumn_.data() + column->begin;
  const ColumnEntry* last = byColumn_.data() + column->end;
  const ColumnEntry* c = std::lower_bound(first, last, y0, [](const ColumnEntry& e, int y) { return e.y < y; });
  for (; c != last && c->y <= y1; ++c) {
    if (!entries_[c->position].visited()) out.push_back(c->position);
  }
}

void EndIndex::unvisitedInGrowth(const CellBox& was, const CellBox& now, std::vector<uint32_t>& out) const {
  const size_t first = out.size();
  if (now.yLo < was.yLo) unvisitedInRow(now.yLo, now.xLo, now.xHi, out);
  if (now.xLo < was.xLo) unvisitedInColumn(now.xLo, was.yLo, was.yHi, out);
  if (now.xHi > was.xHi) unvisitedInColumn(now.xHi, was.yLo, was.yHi, out);
  if (now.yHi > was.yHi) unvisitedInRow(now.yHi, now.xLo, now.xHi, out);
  // The top row comes first and the bottom row last; the two columns interleave.
  if (out.size() - first > 1) std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}

inline const EndIndex::Entry* EndIndex::firstInRowFrom(size_t line, int x0) const {
  const Line& row = rows_.lines[line];
  const Entry* first = entries_.data() + row.begin;
  const Entry* last = entries_.data() + row.end;
  const auto before = [](const Entry& entry, int x) { return entry.x < x; };
  if (line >= rowHints_.size()) return std::lower_bound(first, last, x0, before);
  // Searches of one cluster after another look near where the last one in
  // this row ended: a few steps from there, else a binary search.
  constexpr int kSteps = 8;
  const Entry* e = entries_.data() + rowHints_[line];
  int steps = 0;
  if (e == last || e->x >= x0) {
    while (e != first && (e - 1)->x >= x0 && steps++ < kSteps) --e;
    if (e != first && (e - 1)->x >= x0) e = std::lower_bound(first, e, x0, before);
  } else {
    while (e != last && e->x < x0 && steps++ < kSteps) ++e;
    if (e != last && e->x < x0) e = std::lower_bound(e, last, x0, before);
  }
  rowHints_[line] = static_cast<uint32_t>(e - entries_.data());
  return e;
}

void EndIndex::unvisitedInBox(const CellBox& box, std::vector<uint32_t>& out) const {
  if (box.xLo > box.xHi || box.yLo > box.yHi) return;
  const auto scanRow = [&](size_t line) {
    const Entry* last = entries_.data() + rows_.lines[line].end;
    const Entry* e = firstInRowFrom(line, box.xLo);
    for (; e != last && e->x <= box.xHi; ++e) {
      if (!e->visited()) out.push_back(static_cast<uint32_t>(e - entries_.data()));
    }
  };
  // A short box looks its rows up directly; a tall one walks the rows present.
  constexpr int64_t kDirectRows = 64;
  if (!rows_.at.empty() && static_cast<int64_t>(box.yHi) - box.yLo < kDirectRows) {
    // Only the rows the table holds: the rest have no entries.
    const int64_t from = std::max<int64_t>(static_cast<int64_t>(box.yLo) - rows_.base, 0);
    const int64_t to = std::min<int64_t>(static_cast<int64_t>(box.yHi) - rows_.base + 1, static_cast<int64_t>(rows_.at.size()));
    for (int64_t k = from; k < to; ++k) {
      const uint32_t line = rows_.at[static_cast<size_t>(k)];
      if (line != UINT32_MAX) scanRow(line);
    }
    return;
  }
  const std::vector<Line>& lines = rows_.lines;
  auto row = std::lower_bound(lines.begin(), lines.end(), box.yLo, [](const Line& l, int y) { return l.key < y; });
  for (; row != lines.end() && row->key <= box.yHi; ++row) scanRow(static_cast<size_t>(row - lines.begin()));
}

EndCluster& EndIndex::newCluster() {
  // Growing the storage would move the clusters and members others point at.
  if (clusters_.size() == clusters_.capacity()) throw std::bad_alloc();
  EndCluster& cluster = clusters_.emplace_back();
  cluster.first_ = static_cast<uint32_t>(members_.size());
  return cluster;
}

ClusterMember* EndIndex::newMember(uint32_t position, EndCluster& cluster) {
  if (members_.size() == members_.capacity()) throw std::bad_alloc();
  entries_[position].take(numberOf(cluster));
  members_.push_back(position);
  ++cluster.count_;
  return memberSlots() + position;
}

namespace {

constexpr double kDegrees = model::kPi / 180.0;
// Pairs whose direction points coincide score this, so that they come last.
constexpr double kNoScore = 1e30;

ClusterMember* linkOf(const CPolyLine* p, int end) {
  return static_cast<ClusterMember*>(end == 0 ? p->joinStart : p->joinEnd);
}

void setLink(CPolyLine* p, int end, ClusterMember* member) { (end == 0 ? p->joinStart : p->joinEnd) = member; }

bool hasPendingLink(const CPolyLine* p) { return p->joinStart != nullptr || p->joinEnd != nullptr; }

// Clears a link; the member it pointed to no longer refers to the polyline.
void clearLink(CPolyLine* p, int end) {
  if (ClusterMember* m = linkOf(p, end); m != nullptr && m->polyline == p) m->polyline = nullptr;
  setLink(p, end, nullptr);
}

// Moves the link of p's end `from` to `to` as its end `toEnd`.
void moveLink(CPolyLine* from, int fromEnd, CPolyLine* to, int toEnd) {
  ClusterMember* m = linkOf(from, fromEnd);
  setLink(from, fromEnd, nullptr);
  setLink(to, toEnd, m);
  if (m != nullptr) {
    m->polyline = to;
    m->end = toEnd;
  }
}

Point3 at(const PolyVertex& v) { return Point3{v.x, v.y, v.z}; }

}  // namespace

// ---- end sectors ---------------------------------------------------------------

int endSectorByAngle(double dx, double dy) {
  const double theta = model::normalizeAngle(std::atan2(dy, dx)) / (model::kPi / 180.0);
  if (theta <= 40.0 || theta > 320.0) return 0;
  if (theta <= 50.0) return 1;
  if (theta <= 130.0) return 2;
  if (theta <= 140.0) return 3;
  if (theta <= 220.0) return 4;
  if (theta <= 230.0) return 5;
  if (theta <= 310.0) return 6;
  return 7;
}

int endSector(double dx, double dy) {
  // s(b) = cos b·dy − sin b·dx is positive exactly when the angle lies in
  // (b, b + 180°). Each sector is where two of the four bound lines (40°,
  // 50°, 130°, 140°, each with its opposite) agree. The cross products err
  // by a few units in the last place of |dx| + |dy|; a margin a million
  // times wider leaves the angle far enough from every bound that atan2's
  // own rounding cannot move it across, and anything closer (or not finite,
  // or no direction at all) takes atan2.
  constexpr double kCos40 = 0.766044443118978, kSin40 = 0.6427876096865393;
  const double size = std::fabs(dx) + std::fabs(dy);
  const double margin = 1e-9 * size;
  const double s40 = kCos40 * dy - kSin40 * dx;
  const double s50 = kSin40 * dy - kCos40 * dx;   // cos 50° = sin 40°
  const double s130 = -kSin40 * dy - kCos40 * dx;  // cos 130° = −sin 40°, sin 130° = cos 40°
  const double s140 = -kCos40 * dy - kSin40 * dx;
  if (!(size > 1e-150 && size < 1e150) || std::fabs(s40) <= margin || std::fabs(s50) <= margin ||
      std::fabs(s130) <= margin || std::fabs(s140) <= margin) {
    return endSectorByAngle(dx, dy);
  }
  if (s40 < 0.0 && s140 < 0.0) return 0;
  if (s40 > 0.0 && s50 < 0.0) return 1;
  if (s50 > 0.0 && s130 < 0.0) return 2;
  if (s130 > 0.0 && s140 < 0.0) return 3;
  if (s40 > 0.0 && s140 > 0.0) return 4;
  if (s40 < 0.0 && s50 > 0.0) return 5;
  if (s50 < 0.0 && s130 > 0.0) return 6;
  return 7;
}

// ---- JoinWith ------------------------------------------------------------------

std::unique_ptr<CPolyLine> joinPolylines(CPolyLine& a, CPolyLine* b, bool forceMidpoint, int conDis) {
  if (b == nullptr || a.isDegenerate() || b->isDegenerate()) return nullptr;
  auto joined = std::make_unique<CPolyLine>();
  joined->setColour(a.colour());
  a.setClosed(false);

  if (b == &a) {
    clearLink(&a, 0);
    clearLink(&a, 1);
    VertexList& v = a.editVertices();
    v.front().x = (v.front().x + v.back().x) / 2.0;
    v.front().y = (v.front().y + v.back().y) / 2.0;
    v.pop_back();
    joined->takeVertices(a);
    joined->setClosed(true);
    a.setConsumed(true);
    return joined;
  }

  // a's joined end becomes its last vertex, b's its first. a's storage
  // becomes the result's, so it makes room for b's vertices first. Everything
  // that may allocate happens before either polyline gives up a vertex, so
  // running out of memory leaves both as they were (or merely reversed).
  const int aFar = 1 - a.endSelector();
  const int bFar = 1 - b->endSelector();
  if (a.endSelector() == 0) a.reverse();
  if (b->endSelector() == 1) b->reverse();
  const size_t needed = a.vertices().size() + b->vertices().size();
  if (a.vertexCapacity() < needed) {
    // Half as much again: a stroke joined piece by piece is not copied at every join.
    a.reserveVertices(std::max(needed, a.vertexCapacity() + a.vertexCapacity() / 2));
  }

  moveLink(&a, aFar, joined.get(), 0);
  PolyVertex s = a.vertices().back();
  const PolyVertex& beforeS = a.vertices()[a.vertices().size() - 2];
  const double dAx = beforeS.x - s.x, dAy = beforeS.y - s.y;
  const Point3 pointP = at(beforeS);
  a.removeVertex(a.vertices().size() - 1);
  joined->takeVertices(a);
  moveLink(b, bFar, joined.get(), 1);
  const PolyVertex& b0 = b->vertices()[0];
  const PolyVertex& b1 = b->vertices()[1];
  s.startWidth = b0.startWidth;
  const double angle = angleBetween(dAx, dAy, b1.x - b0.x, b1.y - b0.y);
  const double t = std::max(static_cast<double>(conDis), s.startWidth);

  std::optional<Point3> joint;
  if (const std::optional<Point3> x = intersectLines(pointP, at(s), at(b0), at(b1))) {
    const double reach = 1.5 * t;
    if (std::hypot(x->x - s.x, x->y - s.y) <= reach && std::hypot(x->x - b0.x, x->y - b0.y) <= reach) joint = x;
  }
  if (!joint) {
    const bool touching = std::fabs(s.x - b0.x) <= 2.0 && std::fabs(s.y - b0.y) <= 2.0;
    if ((angle > 90.0 * kDegrees && touching) || angle > 170.0 * kDegrees || forceMidpoint) {
      joint = Point3{(s.x + b0.x) / 2.0, (s.y + b0.y) / 2.0, s.z};
    }
  }
  size_t bFrom = 0;
  if (joint) {
    bFrom = 1;  // b's first vertex gives way to the joint
    s.x = joint->x;
    s.y = joint->y;
  }
  joined->appendVertex(s);
  joined->takeVertices(*b, bFrom);
  a.setConsumed(true);
  b->setConsumed(true);
  return joined;
}

// ---- the stage -----------------------------------------------------------------

namespace {

struct SearchBox {
  int xLo, xHi, yLo, yHi;      // current ring
  int xMin, xMax, yMin, yMax;  // limits
  // One clip per side; 0 or less counts as unset.
  int clipXMin = -1, clipXMax = -1, clipYMin = -1, clipYMax = -1;
};

struct Pair {
  CPolyLine* p1;
  CPolyLine* p2;
  int end1;
  int end2;
  double score;
};

struct EndDirection {
  Point3 end;
  Point3 toward;  // the direction point
  double dx() const { return toward.x - end.x; }
  double dy() const { return toward.y - end.y; }
};

double angleOf(const EndDirection& u, const EndDirection& v) { return angleBetween(u.dx(), u.dy(), v.dx(), v.dy()); }

// Refined centre lines: the longest blank stretch, in pixels, on the way
// from a to b. Ends that face each other across more than a pixel or two
// of white are the ends of dashes, not pieces of one stroke.
constexpr double kMaxBlankGap = 2.0;
// How far at least a drawn stem reaches beyond the half width of the
// strokes it meets, pixels.
constexpr double kMinStemReach = 4.0;
constexpr double kGapStep = 0.5;
double longestBlank(const raster::CRaster& raster, const Point3& a, const Point3& b) {
  const double length = std::hypot(b.x - a.x, b.y - a.y);
  const int steps = static_cast<int>(std::ceil(length / kGapStep));
  double longest = 0.0, run = 0.0;
  for (int k = 0; k <= steps; ++k) {
    const double t = steps > 0 ? static_cast<double>(k) / steps : 0.0;
    bool inside = false;
    if (inkAt(raster, a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, inside)) {
      run = 0.0;
    } else if (k > 0) {
      run += length / steps;
      longest = std::max(longest, run);
    }
  }
  return longest;
}

// Refined centre lines, dashed lines. Two pieces whose ends face each other
// in line (every vertex within kDashOffset of the line through their far
// ends) across at least kMinDashBlank of white (but no more than
// kMaxBlankGap, beyond which nothing joins anyway) are dashes when the
// pattern repeats along the line beyond one of them: a gap alike this one
// (kDashGapSlack px or kDashLikeness of the longer), then a piece alike the
// one before it (kDashPieceSlack px or kDashLikeness). A stroke broken by
// noise breaks anywhere; a dash pattern repeats.
constexpr double kMinDashBlank = 0.5;
constexpr double kDashOffset = 1.5;  // pixels an end lies off the line
constexpr double kDashGapSlack = 1.5;
constexpr double kDashPieceSlack = 3.0;
constexpr double kDashLikeness = 0.3;
// The longest dash looked for, pixels.
constexpr double kMaxDash = 200.0;

bool alike(double a, double b, double slack) { return std::fabs(a - b) <= std::max(slack, kDashLikeness * std::max(a, b)); }

// Walks from p along (ux, uy) while the raster is ink (or white, `ink`
// false), kGapStep at a time, for at most `limit` pixels: the length walked,
// p moved to the first pixel of the other kind (beyond limit: limit + 1).
double runAlong(const raster::CRaster& raster, Point3& p, double ux, double uy, bool ink, double limit) {
  for (double t = 0.0; t <= limit; t += kGapStep) {
    bool inside = false;
    if (inkAt(raster, p.x + ux * t, p.y + uy * t, inside) != ink || !inside) {
      p = Point3{p.x + ux * t, p.y + uy * t, p.z};
      return inside ? t : limit + 1.0;
    }
  }
  return limit + 1.0;
}

// Whether, walking from the ink at `from` along (ux, uy), the raster shows
// the rest of that piece, white alike `gap`, then a piece alike the rest
// walked (a dash is walked from its end's skeleton point: its whole length
// but for one cap).
bool repeatsBeyond(const raster::CRaster& raster, Point3 from, double ux, double uy, double gap) {
  const double own = runAlong(raster, from, ux, uy, true, kMaxDash);
  if (own > kMaxDash) return false;
  const double white = runAlong(raster, from, ux, uy, false, 2.0 * gap + kDashGapSlack);
  if (!alike(white, gap, kDashGapSlack)) return false;
  const double next = runAlong(raster, from, ux, uy, true, kMaxDash);
  return next <= kMaxDash && alike(next, own, kDashPieceSlack);
}

// Whether the ends `endA` of pa and `endB` of pb are a dash gap. The line
// walked runs through both pieces' far ends: the chord of two dashes and a
// gap holds its direction better than a few skeleton pixels at an end.
bool dashGap(const raster::CRaster& raster, const CPolyLine& pa, int endA, const CPolyLine& pb, int endB) {
  const auto vertex = [](const CPolyLine& p, int end) {
    const PolyVertex& v = end == 0 ? p.vertices().front() : p.vertices().back();
    return Point3{v.x, v.y, v.z};
  };
  const Point3 a = vertex(pa, endA), b = vertex(pb, endB), fa = vertex(pa, 1 - endA), fb = vertex(pb, 1 - endB);
  const double cx = fb.x - fa.x, cy = fb.y - fa.y, chord = std::hypot(cx, cy);
  if (chord < 1.0) return false;
  const double ux = cx / chord, uy = cy / chord;
  // The ends lie on that line, in order fa, a, b, fb, and each piece runs along it.
  const auto along = [&](const Point3& p) { return (p.x - fa.x) * ux + (p.y - fa.y) * uy; };
  const auto off = [&](const Point3& p) { return std::fabs((p.x - fa.x) * uy - (p.y - fa.y) * ux); };
  const double sa = along(a), sb = along(b);
  if (off(a) > kDashOffset || off(b) > kDashOffset || sa <= 0.0 || sb - sa < kMinDashBlank || sb >= chord) return false;
  const auto straight = [&](const CPolyLine& p) {
    for (const PolyVertex& v : p.vertices())
      if (v.hasBulge() || off(Point3{v.x, v.y, v.z}) > kDashOffset) return false;
    return true;
  };
  if (!straight(pa) || !straight(pb)) return false;
  // This gap's white, walked the way the repeats are.
  const double length = sb - sa;
  Point3 p = a;
  if (runAlong(raster, p, ux, uy, true, length) > length) return false;
  const double white = runAlong(raster, p, ux, uy, false, length);
  if (white > length || white < kMinDashBlank) return false;
  return repeatsBeyond(raster, a, -ux, -uy, white) || repeatsBeyond(raster, b, ux, uy, white);
}

class ConnectRun {
 public:
  ConnectRun(model::CLayer& layer, int conDis, const StageProgress& stage, EndIndex& index,
             const raster::CRaster* refinedGaps, bool plain, int dropShorterThan)
      : layer_(layer),
        conDis_(conDis),
        plain_(plain),
        dropShorterThan_(dropShorterThan),
        stage_(stage),
        index_(index),
        refinedGaps_(refinedGaps) {}

  // Stages 1 to 4; false when cancelled (finished(10) delivered).
  bool run() {
    if (!takePolylines() || !collectClusters() || !resolveClusters()) return false;
    returnAll();  // anything left pending (never expected) goes back unchanged
    index_.clear();
    return autoCloseAll();
  }

  // Whether every entity of the layer is a polyline that went back measured
  // in its final shape and long enough (see connectLayer).
  bool keptOnlyLong() const { return keptLong_ == layer_.count(); }

  // Puts every polyline still held and not consumed back into the layer,
  // short ones too.
  void returnAll() {
    dropShorterThan_ = 0;
    for (std::unique_ptr<CPolyLine>& p : pool_) {
      if (!p || p->consumed()) continue;
      // The members go with the index: a stop while the clusters were
      // gathered leaves links to members not yet made.
      p->joinStart = p->joinEnd = nullptr;
      toLayer(p.get());
    }
    index_.clear();
  }

 private:
  // ---- ownership ----
  // A polyline's slot in the pool is kept in the polyline itself; a slot
  // is given up when the polyline returns to the layer or is consumed.
  static constexpr uint32_t kNoSlot = UINT32_MAX;

  CPolyLine* hold(std::unique_ptr<CPolyLine> p) {
    if (pool_.size() >= kNoSlot) throw std::bad_alloc();
    CPolyLine* raw = p.get();
    raw->setJoinSlot(static_cast<uint32_t>(pool_.size()));
    pool_.push_back(std::move(p));
    return raw;
  }

  // Gives up p's slot: answers it, or kNoSlot when p holds none.
  uint32_t takeSlot(CPolyLine* p) {
    const uint32_t slot = p->joinSlot();
    if (slot >= pool_.size() || pool_[slot].get() != p) return kNoSlot;
    p->setJoinSlot(kNoSlot);
    return slot;
  }

  // Clears p's links and appends it to the layer, or deletes it when it is
  // too short to outlive the short-line deletion. Its final shape is known
  // here: the stage only closes it where its ends meet (autoCloseAll, which
  // does nothing the second time).
  void toLayer(CPolyLine* p) {
    clearLink(p, 0);
    clearLink(p, 1);
    bool measured = false;
    if (dropShorterThan_ > 0 && p->joinSlot() < pool_.size() && pool_[p->joinSlot()].get() == p) {
      p->autoClose(conDis_);
      if (p->getLength() < static_cast<double>(dropShorterThan_)) {
        // The handle it would have taken in the layer goes, so that later entities keep theirs.
        if (p->handle() == 0 && layer_.graph() != nullptr) p->setHandle(layer_.graph()->takeHandle());
        // Consumed, like a join's parts: members still pointing at it read it until the cluster is done.
        p->setConsumed(true);
        forget(p);
        return;
      }
      measured = true;
    }
    const uint32_t slot = takeSlot(p);
    if (slot == kNoSlot) return;
    layer_.append(std::move(pool_[slot]));
    if (measured) ++keptLong_;
  }

  // Deletes p: its links are cleared and it stays in the pool, consumed,
  // until the cluster being resolved is done (see freeSpent).
  void discard(CPolyLine* p) {
    clearLink(p, 0);
    clearLink(p, 1);
    p->setConsumed(true);
    forget(p);
  }

  // A consumed polyline never returns to the layer: its slot is no longer
  // looked up, and is freed with the other spent ones.
  void forget(CPolyLine* p) {
    if (const uint32_t slot = takeSlot(p); slot != kNoSlot) spent_.push_back(slot);
  }

  // Frees the polylines consumed while a cluster was resolved. Only members
  // of clusters already resolved still point at them: a join moves the far
  // ends' links to its result and a deletion clears both, and a resolved
  // cluster's members are never read again. A noisy scan joins a million
  // pieces, which would otherwise all stay until the stage ends.
  void freeSpent() {
    for (const uint32_t slot : spent_) pool_[slot].reset();
    spent_.clear();
  }

  static bool live(const ClusterMember* m) {
    return m->polyline != nullptr && !m->polyline->consumed() && linkOf(m->polyline, m->end) == m;
  }

  // Whether to stop, asked once every 256 steps of a loop (step counts from
  // 1): asking costs more than a cheap step.
  bool stopPoll(size_t step) const { return step % 256 == 0 && stage_.stopRequested(); }

  // ---- radii ----
  static double radiusWidth(const CPolyLine& p, int end) {
    const auto& v = p.vertices();
    if (v.empty()) return 0.0;
    return end == 0 ? v.front().startWidth : v.back().startWidth;
  }
  // The width at an end as the spur and bridge tests see it: the width of
  // the end segment.
  static double endWidth(const CPolyLine& p, int end) {
    const auto& v = p.vertices();
    if (v.empty()) return 0.0;
    if (end == 0 || v.size() < 2) return end == 0 ? v.front().startWidth : v.back().startWidth;
    return v[v.size() - 2].startWidth;
  }
  int startRadius(double w) const {
    const double u = w + 0.5;
    if (conDis_ < 1.5 * std::ceil(u)) return static_cast<int>(1.5 * u);
    return conDis_;
  }
  int extendRadius(double w) const {
    const double u = w + 0.5;
    if (conDis_ < 1.5 * std::trunc(u)) return static_cast<int>(1.5 * std::ceil(u));
    return conDis_;
  }

  EndDirection direction(CPolyLine* p, int end) const {
    EndDirection d;
    p->setEndSelector(end);
    p->getEndDirection(d.end, d.toward, conDis_);
    return d;
  }

  // ---- stage 1 ----
  bool takePolylines() {
    index_.clear();
    pool_.reserve(layer_.count());
    index_.reserve(2 * static_cast<size_t>(layer_.count()));
    // A noisy scan's ends fill tens of megabytes of fresh pages; where the
    // run may use a second core, it zeroes them from the far end meanwhile.
    EndIndex::EntryList& entries = index_.entries();
    std::optional<platform::BlockPrefault> prefault;
    if (entries.capacity() * sizeof(EndIndex::Entry) >= platform::kLargeBlockBytes && rangeParts(2, 1) > 1) {
      prefault.emplace(entries.data(), entries.capacity() * sizeof(EndIndex::Entry));
    }
    size_t taken = 0;
    for (auto it = layer_.begin(); it != layer_.end();) {
      model::CEntity* e = it->get();
      ++it;  // before e leaves the list
      if (e->type() == model::EntityType::PolyLine) {
        auto* p = static_cast<CPolyLine*>(e);
        p->joinStart = p->joinEnd = nullptr;
        p->setConsumed(false);
        const Point3 start = p->getStartPoint();
        const Point3 end = p->getEndPoint();
        index_.addEntry(start.x, start.y, 0, p);
        index_.addEntry(end.x, end.y, 1, p);
        std::unique_ptr<model::CEntity> detached = layer_.detach(e);
        hold(std::unique_ptr<CPolyLine>(static_cast<CPolyLine*>(detached.release())));
      }
      if (stopPoll(++taken)) return false;
    }
    // A noisy scan's million list nodes were just freed one by one: their
    // pages go back before the cluster tables take as much again. Not for
    // an ordinary sheet: a batch keeps freed memory for its next file, and
    // trimming every heap costs more than the few pages are worth.
    if (taken >= kTrimAfterNodes) platform::ReturnFreedMemory();
    return true;
  }

  // ---- stage 2 ----
  // A clip lowers (upper sides) or raises (lower sides) the side's clip
  // value, when unset or less strict, and its limit.
  static void clipUpper(int& clipValue, int& limit, int value) {
    if (clipValue <= 0 || value < clipValue) clipValue = value;
    limit = std::min(limit, value);
  }
  static void clipLower(int& clipValue, int& limit, int value) {
    if (clipValue <= 0 || value > clipValue) clipValue = value;
    limit = std::max(limit, value);
  }
  static void clip(SearchBox& box, bool xMaxSide, bool xMinSide, bool yMaxSide, bool yMinSide, int hx, int hy) {
    if (xMaxSide) clipUpper(box.clipXMax, box.xMax, hx);
    if (xMinSide) clipLower(box.clipXMin, box.xMin, hx);
    if (yMaxSide) clipUpper(box.clipYMax, box.yMax, hy);
    if (yMinSide) clipLower(box.clipYMin, box.yMin, hy);
  }

  // Clips the box to the side of the end facing away from its line (40° of
  // tolerance around the axes), then widens the limits by the end's radius
  // where no clip forbids it.
  void addEnd(SearchBox& box, CPolyLine* p, int end) const {
    if (p->isDegenerate()) return;
    const EndDirection d = direction(p, end);
    const int hx = static_cast<int>(std::floor((d.toward.x + d.end.x) / 2.0));
    const int hy = static_cast<int>(std::floor((d.toward.y + d.end.y) / 2.0));
    // Per sector, the sides clipped: x max, x min, y max, y min.
    static constexpr bool kSides[8][4] = {{true, false, false, false}, {true, false, true, false},
                                          {false, false, true, false}, {false, true, true, false},
                                          {false, true, false, false}, {false, true, false, true},
                                          {false, false, false, true}, {true, false, false, true}};
    const bool* sides = kSides[plain_ ? endSectorByAngle(d.dx(), d.dy()) : endSector(d.dx(), d.dy())];
    clip(box, sides[0], sides[1], sides[2], sides[3], hx, hy);

    const int r1 = extendRadius(radiusWidth(*p, end));
    const int xLow = static_cast<int>(d.end.x - r1), xHigh = static_cast<int>(d.end.x + r1);
    const int yLow = static_cast<int>(d.end.y - r1), yHigh = static_cast<int>(d.end.y + r1);
    if (xLow < box.xMin && (box.clipXMin <= 0 || xLow >= box.clipXMin)) box.xMin = xLow;
    if (xHigh > box.xMax && (box.clipXMax <= 0 || xHigh <= box.clipXMax)) box.xMax = xHigh;
    if (yLow < box.yMin && (box.clipYMin <= 0 || yLow >= box.clipYMin)) box.yMin = yLow;
    if (yHigh > box.yMax && (box.clipYMax <= 0 || yHigh <= box.clipYMax)) box.yMax = yHigh;
  }

  // The link points where the member will be: nothing reads it before the
  // clusters are all gathered and the members made.
  void addMember(uint32_t position, EndCluster& cluster, SearchBox& box) {
    const EndIndex::Entry& entry = index_.entries()[position];
    CPolyLine* p = entry.polyline();
    const int end = entry.end();
    setLink(p, end, index_.newMember(position, cluster));
    addEnd(box, p, end);
  }

  // Grows the search box ring by ring from the entry's cell until no side
  // can grow, taking every entry not yet visited that a ring meets, ring by
  // ring and, within a ring, in row-then-column order. A ring's cells that
  // were in the box before were met by an earlier ring, so only its new
  // cells (at most one row or column segment per side) are read.
  void collectCluster(int x, int y, uint32_t position) {
    EndCluster& cluster = index_.newCluster();
    const EndIndex::Entry& entry = index_.entries()[position];
    const int r0 = startRadius(radiusWidth(*entry.polyline(), entry.end()));
    SearchBox box{x, x, y, y, x - r0, x + r0, y - r0, y + r0};
    addMember(position, cluster, box);
    std::vector<uint32_t>& met = met_;
    met.clear();
    index_.unvisitedInRow(y, x, x, met);
    takeMet(cluster, box);
    for (;;) {
      const EndIndex::CellBox was{box.xLo, box.xHi, box.yLo, box.yHi};
      bool grew = false;
      if (box.xLo > box.xMin) --box.xLo, grew = true;
      if (box.xHi < box.xMax) ++box.xHi, grew = true;
      if (box.yLo > box.yMin) --box.yLo, grew = true;
      if (box.yHi < box.yMax) ++box.yHi, grew = true;
      if (!grew) break;
      met.clear();
      index_.unvisitedInGrowth(was, EndIndex::CellBox{box.xLo, box.xHi, box.yLo, box.yHi}, met);
      takeMet(cluster, box);
    }
  }

  void takeMet(EndCluster& cluster, SearchBox& box) {
    for (uint32_t position : met_) addMember(position, cluster, box);
  }

  // The same cluster as collectCluster, without visiting empty rings: the
  // unvisited entries the box may still reach are gathered once (and again
  // where its limits widen), and the ring jumps straight to the growth at
  // which the next of them is met. Nothing changes the box between two
  // meetings, so the members, their order and every clip and extension
  // come out as ring by ring.
  void collectClusterByEnds(int x, int y, uint32_t position) {
    EndCluster& cluster = index_.newCluster();
    EndIndex::EntryList& entries = index_.entries();
    const int r0 = startRadius(radiusWidth(*entries[position].polyline(), entries[position].end()));
    SearchBox box{x, x, y, y, x - r0, x + r0, y - r0, y + r0};
    addMember(position, cluster, box);
    std::vector<uint32_t>& near = near_;
    near.clear();
    // Clusters begin at the first unvisited entry in row order, so every
    // entry of the rows above the seed's is visited: gathering starts at its row.
    EndIndex::CellBox gathered{std::min(box.xLo, box.xMin), std::max(box.xHi, box.xMax), y, std::max(box.yHi, box.yMax)};
    index_.unvisitedInBox(gathered, near);
    for (;;) {
      // Growths until each entry is met; unreachable under the present limits: none.
      int soonest = kNever;
      for (uint32_t position : near) {
        const EndIndex::Entry& e = entries[position];
        if (!e.visited()) soonest = std::min(soonest, growthsUntilMet(box, e));
      }
      if (soonest == kNever) return;
      growRing(box, soonest);
      met_.clear();
      for (uint32_t position : near) {
        const EndIndex::Entry& e = entries[position];
        if (!e.visited() && e.x >= box.xLo && e.x <= box.xHi && e.y >= box.yLo && e.y <= box.yHi) met_.push_back(position);
      }
      std::sort(met_.begin(), met_.end());
      takeMet(cluster, box);
      // Where a member widened the limits beyond what was gathered, the
      // new strips are gathered too.
      const EndIndex::CellBox wider{std::min(gathered.xLo, box.xMin), std::max(gathered.xHi, box.xMax), gathered.yLo,
                                    std::max(gathered.yHi, box.yMax)};
      if (wider.yHi > gathered.yHi) index_.unvisitedInBox({wider.xLo, wider.xHi, gathered.yHi + 1, wider.yHi}, near);
      if (wider.xLo < gathered.xLo)
        index_.unvisitedInBox({wider.xLo, gathered.xLo - 1, gathered.yLo, gathered.yHi}, near);
      if (wider.xHi > gathered.xHi)
        index_.unvisitedInBox({gathered.xHi + 1, wider.xHi, gathered.yLo, gathered.yHi}, near);
      gathered = wider;
    }
  }

  static constexpr int kNever = INT32_MAX;

  // How many growths of the ring meet the entry's cell while the limits stay
  // as they are (each side grows by one cell per growth until its limit).
  static int growthsUntilMet(const SearchBox& box, const EndIndex::Entry& e) {
    int64_t needed = 0;
    if (e.x < box.xLo) {
      if (e.x < box.xMin) return kNever;
      needed = static_cast<int64_t>(box.xLo) - e.x;
    } else if (e.x > box.xHi) {
      if (e.x > box.xMax) return kNever;
      needed = static_cast<int64_t>(e.x) - box.xHi;
    }
    if (e.y < box.yLo) {
      if (e.y < box.yMin) return kNever;
      needed = std::max<int64_t>(needed, static_cast<int64_t>(box.yLo) - e.y);
    } else if (e.y > box.yHi) {
      if (e.y > box.yMax) return kNever;
      needed = std::max<int64_t>(needed, static_cast<int64_t>(e.y) - box.yHi);
    }
    return static_cast<int>(std::min<int64_t>(needed, kNever - 1));
  }

  // The ring after `growths` growths: each side moves towards its limit.
  static void growRing(SearchBox& box, int growths) {
    const int64_t g = growths;
    if (box.xLo > box.xMin) box.xLo = static_cast<int>(std::max<int64_t>(box.xMin, box.xLo - g));
    if (box.xHi < box.xMax) box.xHi = static_cast<int>(std::min<int64_t>(box.xMax, box.xHi + g));
    if (box.yLo > box.yMin) box.yLo = static_cast<int>(std::max<int64_t>(box.yMin, box.yLo - g));
    if (box.yHi < box.yMax) box.yHi = static_cast<int>(std::min<int64_t>(box.yMax, box.yHi + g));
  }

  // Once the clusters are gathered, their members are all that is looked up.
  bool collectClusters() {
    if (!gatherClusters()) return false;
    index_.formMembers();
    return true;
  }

  bool gatherClusters() {
    index_.seal(plain_);
    const size_t rows = index_.rowCount();
    const size_t every = rows / 10 + 1;
    size_t done = 0;
    EndIndex::EntryList& entries = index_.entries();
    for (size_t r = 0; r < rows; ++r) {
      const EndIndex::Line row = index_.rows()[r];
      for (size_t i = row.begin; i < row.end; ++i) {
        if (entries[i].visited()) continue;
        const auto position = static_cast<uint32_t>(i);
        if (plain_) {
          collectCluster(entries[i].x, entries[i].y, position);
        } else {
          collectClusterByEnds(entries[i].x, entries[i].y, position);
        }
      }
      ++done;
      if (done % every == 0) {
        stage_.progress(static_cast<int>(50.0 / static_cast<double>(rows) * static_cast<double>(done)));
        if (stage_.stopRequested()) return false;
      }
    }
    return true;
  }

  // ---- stage 3 ----
  bool resolveClusters() {
    auto& clusters = index_.clusters();
    const size_t count = clusters.size();
    const size_t every = count / 10 + 1;
    size_t done = 0;
    // The most recently made cluster first.
    for (auto it = clusters.rbegin(); it != clusters.rend(); ++it) {
      resolveCluster(*it);
      freeSpent();
      ++done;
      const bool report = done % every == 0;
      if (report) {
        stage_.progress(50 + static_cast<int>(40.0 / static_cast<double>(count) * static_cast<double>(done)));
      }
      if (report ? stage_.stopRequested() : stopPoll(done)) return false;
    }
    return true;
  }

  MemberRange members(const EndCluster& cluster) const { return index_.members(cluster); }

  bool bothEndsIn(const CPolyLine* p, const EndCluster& cluster) const {
    const ClusterMember* s = linkOf(p, 0);
    const ClusterMember* e = linkOf(p, 1);
    const uint32_t number = index_.numberOf(cluster);
    return s != nullptr && e != nullptr && s->cluster == number && e->cluster == number;
  }

  void resolveCluster(EndCluster& cluster) {
    if (cluster.resolved) return;
    cluster.resolved = true;
    if (members(cluster).size() == 1) {
      ClusterMember* m = members(cluster).front();
      if (!live(m)) return;
      CPolyLine* p = m->polyline;
      if (linkOf(p, 1 - m->end) != nullptr) {
        clearLink(p, m->end);
      } else {
        toLayer(p);
      }
      return;
    }
    if (members(cluster).size() == 3 && !whiteBetween(cluster)) {
      if (ClusterMember* bridge = findBridge(cluster)) {
        ClusterMember* far = linkOf(bridge->polyline, 1 - bridge->end);
        EndCluster* farCluster = far != nullptr ? &index_.cluster(far->cluster) : nullptr;
        if (far != nullptr && farCluster != &cluster && !farCluster->resolved && findBridge(*farCluster) == far) {
          resolveCrossing(cluster, bridge, *farCluster, far);
          return;
        }
        if (resolveSpur(cluster, bridge)) return;
      }
    }
    buildPairs(cluster);
    joinPairs(pairs_);
    release(cluster, true);
    buildPairs(cluster);
    if (!pairs_.empty()) joinPairs(pairs_);
    // Always release for good: a member kept pending above whose polyline
    // found no partner would otherwise never return to the layer.
    release(cluster, false);
  }

  // Refined centre lines: whether white parts two of the cluster's ends, so
  // that the cluster is no junction (the ends of dashes in a row).
  bool whiteBetween(const EndCluster& cluster) const {
    if (refinedGaps_ == nullptr) return false;
    const MemberRange ms = members(cluster);
    for (size_t i = 0; i < ms.size(); ++i) {
      for (size_t j = i + 1; j < ms.size(); ++j) {
        if (!live(ms[i]) || !live(ms[j])) continue;
        const Point3 a = direction(ms[i]->polyline, ms[i]->end).end;
        const Point3 b = direction(ms[j]->polyline, ms[j]->end).end;
        if (longestBlank(*refinedGaps_, a, b) > kMaxBlankGap) return true;
      }
    }
    return false;
  }

  // The short straight member of a three-way cluster, or null.
  ClusterMember* findBridge(EndCluster& cluster) const {
    if (members(cluster).size() != 3) return nullptr;
    double widest = 0.0;
    for (const ClusterMember* m : members(cluster)) {
      if (!live(m) || m->polyline->isDegenerate()) return nullptr;
      widest = std::max(widest, endWidth(*m->polyline, m->end));
    }
    ClusterMember* best = nullptr;
    double bestLength = 0.0;
    for (ClusterMember* m : members(cluster)) {
      CPolyLine* p = m->polyline;
      // A two-vertex polyline with both ends here is a loop stub, not a bridge.
      if (p->getVertexCount() != 2 || bothEndsIn(p, cluster)) continue;
      const double length = p->getLength();
      if (best == nullptr || length < bestLength) {
        best = m;
        bestLength = length;
      }
    }
    if (best == nullptr || bestLength > 4.0 * std::max(widest, static_cast<double>(conDis_))) return nullptr;
    return best;
  }

  std::pair<ClusterMember*, ClusterMember*> others(EndCluster& cluster, const ClusterMember* bridge) const {
    std::pair<ClusterMember*, ClusterMember*> result{nullptr, nullptr};
    for (ClusterMember* m : members(cluster)) {
      if (m == bridge) continue;
      (result.first == nullptr ? result.first : result.second) = m;
    }
    return result;
  }

  // Joins the polylines of two members (forceMidpoint set); the result goes
  // to the layer when nothing is pending on it. Answers whether it did.
  bool joinMembers(ClusterMember* m1, ClusterMember* m2) {
    if (!live(m1) || !live(m2)) return false;
    CPolyLine* p1 = m1->polyline;
    CPolyLine* p2 = m2->polyline;
    p1->setEndSelector(m1->end);
    p2->setEndSelector(m2->end);
    return joinHeld(p1, p2, true);
  }

  bool joinHeld(CPolyLine* p1, CPolyLine* p2, bool forceMidpoint) {
    std::unique_ptr<CPolyLine> joined = joinPolylines(*p1, p2, forceMidpoint, conDis_);
    if (!joined) return false;
    forget(p1);
    forget(p2);
    CPolyLine* n = hold(std::move(joined));
    if (hasPendingLink(n)) return false;
    toLayer(n);
    return true;
  }

  // Drops a member: the link to this cluster is cleared when the polyline's
  // other end is still pending elsewhere, otherwise it returns to the layer.
  void releaseMember(ClusterMember* m) {
    if (!live(m)) return;
    CPolyLine* p = m->polyline;
    if (linkOf(p, 1 - m->end) != nullptr) {
      clearLink(p, m->end);
    } else {
      toLayer(p);
    }
    m->polyline = nullptr;
  }

  // Refined centre lines: whether a branch of this length (from the
  // junction pixel) and width sticks out of strokes of width `meets` far
  // enough to be drawn. The spurs thinning grows on bumps and specks at a
  // stroke's edge reach its half width and a little more.
  static bool isDrawnStem(double length, double width, double meets) {
    return length > meets / 2.0 + std::max(2.0 * width, kMinStemReach);
  }

  // T junction: two wide long strokes and a thin short spur. Answers true
  // when the strokes were joined and the result went to the layer.
  bool resolveSpur(EndCluster& cluster, ClusterMember* spur) {
    auto [mp, mq] = others(cluster, spur);
    CPolyLine* s = spur->polyline;
    CPolyLine* p = mp->polyline;
    CPolyLine* q = mq->polyline;
    const double spurWidth = s->vertices().front().startWidth;
    const double spurLength = s->getLength();
    if (!(endWidth(*p, mp->end) > 1.2 * spurWidth && endWidth(*q, mq->end) > 1.2 * spurWidth &&
          p->getLength() > 2.5 * spurLength && q->getLength() > 2.5 * spurLength)) {
      return false;
    }
    // Read before the join: the joined polyline takes over both pieces' vertices.
    const double meets = std::max(endWidth(*p, mp->end), endWidth(*q, mq->end));
    const bool toLayerDone = joinMembers(mp, mq);
    if (refinedGaps_ != nullptr && isDrawnStem(spurLength, spurWidth, meets)) {
      // Refined centre lines: a branch reaching well out of the strokes it
      // meets is a drawn stem, not a thinning artefact; it stays.
      releaseMember(spur);
      return toLayerDone;
    }
    // The spur goes. When its far end is a free end (a cluster of its own)
    // that end is dropped too, whatever order the clusters are resolved in.
    clearLink(s, spur->end);
    const int far = 1 - spur->end;
    if (const ClusterMember* f = linkOf(s, far); f != nullptr && index_.members(index_.cluster(f->cluster)).size() == 1) clearLink(s, far);
    if (!hasPendingLink(s)) discard(s);
    return toLayerDone;
  }

  static int junctionClass(const EndDirection& bridge, const EndDirection& s1, const EndDirection& s2) {
    const double limit = 120.0 * kDegrees;
    const double a1 = angleOf(s1, bridge);
    const double a2 = angleOf(s2, bridge);
    if (a1 >= limit && a2 >= limit) return 1;
    if (a1 < limit && a2 < limit) return 2;
    return angleOf(s1, s2) > std::max(a1, a2) ? 2 : 3;
  }

  // Two three-way clusters joined by a short bridge: the skeleton of two
  // strokes crossing. Decides which members continue each other.
  void resolveCrossing(EndCluster& here, ClusterMember* bridge, EndCluster& there, ClusterMember* bridgeThere) {
    there.resolved = true;
    auto [c, e] = others(here, bridge);
    auto [g, h] = others(there, bridgeThere);
    const EndDirection dB = direction(bridge->polyline, bridge->end);
    const EndDirection dB2 = direction(bridgeThere->polyline, bridgeThere->end);
    const EndDirection dC = direction(c->polyline, c->end);
    const EndDirection dE = direction(e->polyline, e->end);
    const EndDirection dG = direction(g->polyline, g->end);
    const EndDirection dH = direction(h->polyline, h->end);
    const int classHere = junctionClass(dB, dC, dE);
    const int classThere = junctionClass(dB2, dG, dH);
    const bool cLeads = angleOf(dC, dB) >= angleOf(dE, dB);
    const bool gLeads = angleOf(dG, dB2) >= angleOf(dH, dB2);
    CPolyLine* bridgeLine = bridge->polyline;

    if (classHere == 2 || classThere == 2) {
      toLayer(bridgeLine);
      joinMembers(c, e);
      joinMembers(g, h);
      return;
    }
    if (classHere == 1 && classThere == 1) {
      discard(bridgeLine);
      const double aCG = angleOf(dC, dG), aCH = angleOf(dC, dH), aEG = angleOf(dE, dG), aEH = angleOf(dE, dH);
      double best = aCG;
      bool bestIsCG = true;
      if (aCH > best) best = aCH, bestIsCG = false;
      if (aEG > best) best = aEG, bestIsCG = false;
      if (aEH > best || bestIsCG) {
        joinMembers(c, g);
        joinMembers(e, h);
      } else {
        joinMembers(c, h);
        joinMembers(e, g);
      }
      return;
    }
    ClusterMember* keptThere = nullptr;
    ClusterMember* keptHere = nullptr;
    if (classHere == 1) {  // there: class 3
      keptThere = gLeads ? g : h;
      const EndDirection& k = gLeads ? dG : dH;
      keptHere = angleOf(dC, k) >= angleOf(dE, k) ? c : e;
    } else if (classThere == 1) {  // here: class 3
      keptHere = cLeads ? c : e;
      const EndDirection& k = cLeads ? dC : dE;
      keptThere = angleOf(dH, k) <= angleOf(dG, k) ? g : h;
    } else {  // both class 3
      keptHere = cLeads ? c : e;
      keptThere = gLeads ? g : h;
    }
    releaseMember(keptHere == c ? e : c);
    releaseMember(keptThere == g ? h : g);
    discard(bridgeLine);
    joinMembers(keptHere, keptThere);
  }

  // The best pairs of the cluster's ends into pairs_, by ascending score: a
  // pair is kept unless a kept pair of no worse score shares a polyline.
  void buildPairs(EndCluster& cluster) {
    std::vector<Pair>& pairs = pairs_;
    pairs.clear();
    const MemberRange ms = members(cluster);
    // Each usable member's end direction, worked out once for all its pairs.
    std::vector<EndDirection>& dirs = directions_;
    std::vector<uint8_t>& usable = usable_;
    dirs.resize(ms.size());
    usable.assign(ms.size(), 0);
    for (size_t i = 0; i < ms.size(); ++i) {
      const ClusterMember* m = ms[i];
      if (!live(m) || m->polyline->isDegenerate() ||
          (m->polyline->isSingleSegment() && bothEndsIn(m->polyline, cluster))) {
        continue;
      }
      usable[i] = 1;
      dirs[i] = direction(m->polyline, m->end);
    }
    for (size_t i = 0; i < ms.size(); ++i) {
      if (!usable[i]) continue;
      for (size_t j = i + 1; j < ms.size(); ++j) {
        if (!usable[j]) continue;
        CPolyLine* p1 = ms[i]->polyline;
        CPolyLine* p2 = ms[j]->polyline;
        if (p1 == p2 && p1->isSingleSegment()) continue;
        const EndDirection& d1 = dirs[i];
        const EndDirection& d2 = dirs[j];
        if (refinedGaps_ != nullptr) {
          const double blank = longestBlank(*refinedGaps_, d1.end, d2.end);
          if (blank > kMaxBlankGap ||
              (blank >= kMinDashBlank && dashGap(*refinedGaps_, *p1, ms[i]->end, *p2, ms[j]->end)))
            continue;
        }
        const double gx = d2.toward.x - d1.toward.x, gy = d2.toward.y - d1.toward.y;
        double score = kNoScore;
        if (gx * gx + gy * gy >= 1e-30) {
          // The distances of both ends from the line through the two
          // direction points.
          const double length = std::hypot(gx, gy);
          score = std::fabs(gx * (d1.end.y - d1.toward.y) - gy * (d1.end.x - d1.toward.x)) / length +
                  std::fabs(gx * (d2.end.y - d1.toward.y) - gy * (d2.end.x - d1.toward.x)) / length;
        }
        const Pair pair{p1, p2, ms[i]->end, ms[j]->end, score};
        const auto shares = [&](const Pair& o) { return o.p1 == p1 || o.p1 == p2 || o.p2 == p1 || o.p2 == p2; };
        const auto blocked = std::any_of(pairs.begin(), pairs.end(),
                                         [&](const Pair& o) { return o.score <= score && shares(o); });
        if (blocked) continue;
        const auto at = std::upper_bound(pairs.begin(), pairs.end(), score,
                                         [](double s, const Pair& o) { return s < o.score; });
        pairs.insert(at, pair);
      }
    }
  }

  void joinPairs(const std::vector<Pair>& pairs) {
    for (const Pair& pair : pairs) {
      if (pair.p1->consumed() || pair.p2->consumed()) continue;
      pair.p1->setEndSelector(pair.end1);
      pair.p2->setEndSelector(pair.end2);
      joinHeld(pair.p1, pair.p2, false);
    }
  }

  void release(EndCluster& cluster, bool keepPending) {
    for (ClusterMember* m : members(cluster)) {
      if (!live(m)) {
        m->polyline = nullptr;  // consumed (deleted) or no longer linked here
        continue;
      }
      CPolyLine* p = m->polyline;
      if (bothEndsIn(p, cluster)) {
        toLayer(p);
        continue;
      }
      if (keepPending) continue;
      clearLink(p, m->end);
      if (linkOf(p, 1 - m->end) == nullptr) toLayer(p);
    }
  }

  // ---- stage 4 ----
  bool autoCloseAll() {
    const uint32_t n = layer_.recount();
    const uint32_t every = n / 10 + 1;
    uint32_t i = 0;
    for (const auto& e : layer_) {
      ++i;
      e->autoClose(conDis_);
      if (stopPoll(i)) return false;
      if (i % every == 0) stage_.progress(90 + static_cast<int>(static_cast<uint64_t>(i) * 10 / n));
    }
    return true;
  }

  model::CLayer& layer_;
  const int conDis_;
  const bool plain_;  // ring by ring through every cell instead of from end to end
  int dropShorterThan_;  // 0 once everything held goes back as it is
  size_t keptLong_ = 0;  // polylines that went back measured, none shorter than dropShorterThan_
  const StageProgress& stage_;
  EndIndex& index_;
  const raster::CRaster* refinedGaps_;
  // Every polyline the stage holds, in the order it took or made them; a
  // slot is emptied when its polyline goes back to the layer or is freed.
  std::vector<std::unique_ptr<CPolyLine>> pool_;
  std::vector<uint32_t> spent_;  // slots of polylines consumed in the cluster being resolved
  std::vector<uint32_t> met_;   // entries a ring of the search box meets
  // Scratch of buildPairs, kept between clusters.
  std::vector<Pair> pairs_;
  std::vector<EndDirection> directions_;
  std::vector<uint8_t> usable_;
  std::vector<uint32_t> near_;  // entries the search box of a cluster may reach
};

}  // namespace

bool connectLayer(model::CLayer& layer, int conDis, platform::ProgressSink* sink, EndIndex* index,
                  const raster::CRaster* refinedGaps, bool plain, int dropShorterThan, bool* noneShorter) {
  const StageProgress stage(sink);
  if (noneShorter != nullptr) *noneShorter = false;
  EndIndex own;
  EndIndex& ends = index != nullptr ? *index : own;
  stage.begin("ProcessConnectLine", "Connect line");
  ConnectRun run(layer, conDis, stage, ends, refinedGaps, plain, dropShorterThan);
  try {
    if (!run.run()) {
      run.returnAll();
      return false;
    }
  } catch (const std::bad_alloc&) {
    run.returnAll();
    stage.finished(kStageNoMemory);
    return false;
  }
  if (noneShorter != nullptr) *noneShorter = dropShorterThan > 0 && run.keptOnlyLong();
  stage.end();
  return true;
}

}  // namespace quillon::postprocess
