#include "postprocess/refined_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <numeric>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "model/polyline.h"
#include "postprocess/stage_common.h"

namespace quillon::postprocess {

namespace {

using model::CPolyLine;
using model::PolyVertex;

using model::kPi;
// Segments shorter than this take no part: thinning leaves such stubs in
// junctions, and their direction says nothing.
constexpr double kMinPiece = 3.0;
// The longest gap bridged between two pieces: a thick stroke crossed at a
// shallow angle leaves that much merged ink.
constexpr double kMaxGap = 150.0;
// Cell of the end grid; a search covers the cells next to the ray ahead of an end.
constexpr double kCell = 32.0;
// Two pieces joined run within this angle of each other.
const double kJoinCos = std::cos(8.0 * kPi / 180.0);
// A polyline is cut at a vertex where its direction turns by this much.
const double kCornerCos = std::cos(20.0 * kPi / 180.0);
// Pieces at least this long are fitted to the ink before they are joined.
constexpr double kMinFitted = 10.0;
// Pieces shorter than this do not keep a stroke with longer ones from
// joining another by lying off the joined line: thinning bends them towards
// a stroke crossing at a shallow angle, over the length of the merged ink.
constexpr double kMinVetoPiece = 40.0;
// A stroke shorter than this many times the wider width joins whatever its
// width.
constexpr double kShortForWidth = 4.0;
// Legs shorter than this stay in their polyline; so do joined strokes.
constexpr double kMinLeg = 12.0;
// Legs meeting at less than this angle are too flat for a corner point.
const double kCornerMinSine = std::sin(15.0 * kPi / 180.0);
// How far the probes look for the edges of a stroke of unknown width.
constexpr double kUnknownReach = 10.0;
// Step of the ink probes across the stroke, and between stations along it.
constexpr double kProbeStep = 0.25;
constexpr double kStationStep = 2.0;
// Stations enough for a line fit; long strokes space theirs out.
constexpr double kMaxStations = 40.0;

struct Piece {
  CPolyLine* owner;
  size_t index;  // the segment runs from vertex index to the next
  double ax, ay, bx, by;
  double width;
  double length;
};

// A line through (px, py) along the unit vector (ux, uy).
struct Line {
  double px = 0.0, py = 0.0, ux = 1.0, uy = 0.0;
  double along(double x, double y) const { return (x - px) * ux + (y - py) * uy; }
  double beside(double x, double y) const { return -(x - px) * uy + (y - py) * ux; }
};

// Weighted total-least-squares line through points.
class LineFit {
 public:
  void add(double x, double y, double w) {
    sw_ += w;
    sx_ += w * x;
    sy_ += w * y;
    sxx_ += w * x * x;
    sxy_ += w * x * y;
    syy_ += w * y * y;
  }
  void add(const LineFit& other) {
    sw_ += other.sw_;
    sx_ += other.sx_;
    sy_ += other.sy_;
    sxx_ += other.sxx_;
    sxy_ += other.sxy_;
    syy_ += other.syy_;
  }
  bool empty() const { return sw_ <= 0.0; }
  Line line() const {
    Line l;
    l.px = sx_ / sw_;
    l.py = sy_ / sw_;
    const double cxx = sxx_ / sw_ - l.px * l.px, cxy = sxy_ / sw_ - l.px * l.py, cyy = syy_ / sw_ - l.py * l.py;
    const double angle = 0.5 * std::atan2(2.0 * cxy, cxx - cyy);
    l.ux = std::cos(angle);
    l.uy = std::sin(angle);
    return l;
  }

 private:
  double sw_ = 0.0, sx_ = 0.0, sy_ = 0.0, sxx_ = 0.0, sxy_ = 0.0, syy_ = 0.0;
};

void addPiece(LineFit& fit, const Piece& p) {
  fit.add(p.ax, p.ay, p.length);
  fit.add(p.bx, p.by, p.length);
}

// Ink at (x, y), or for hairlines at one of its four neighbours: a line
// fitted to a 1-px stroke may run half a pixel beside its pixels.
bool inkNear(const raster::CRaster& raster, double x, double y, bool hairline) {
  if (inkAtNearest(raster, x, y)) return true;
  if (!hairline) return false;
  return inkAtNearest(raster, x + 1, y) || inkAtNearest(raster, x - 1, y) || inkAtNearest(raster, x, y + 1) || inkAtNearest(raster, x, y - 1);
}

// Ink all along `line` from t0 to t1.
bool inkAlong(const raster::CRaster& raster, const Line& line, double t0, double t1, bool hairline) {
  const int steps = static_cast<int>(std::ceil(std::fabs(t1 - t0) / 0.5));
  for (int k = 0; k <= steps; ++k) {
    const double t = steps > 0 ? t0 + (t1 - t0) * k / steps : t0;
    if (!inkNear(raster, line.px + t * line.ux, line.py + t * line.uy, hairline)) return false;
  }
  return true;
}

// The line moved onto the centre line of the stroke of width `width` it
// follows from t0 to t1: at stations along it the ink is probed across the
// stroke both ways, and where both edges lie where a stroke of that width
// puts them (not in a crossing), the midpoint between them is a sample.
// The line fitted to the samples, after one pass that drops those more than
// a pixel off; the line as it was when too few samples are found. A width
// below half a pixel (not measured) is taken as the median of the widths
// the probes find, and answered in `width`.
Line fitToInk(const raster::CRaster& raster, const Line& line, double t0, double t1, double& width,
              double maxStations = kMaxStations) {
  const bool measure = width < 0.5;
  const double half = measure ? 0.0 : width / 2.0;
  const double reach = measure ? kUnknownReach : half + 3.0;
  const double nx = -line.uy, ny = line.ux;
  // The first blank along the probe, found a pixel at a time and then
  // narrowed to kProbeStep; its distance less half a step, or −1.
  const auto blank = [&](double x, double y, double sign, double s) {
    return !inkAtNearest(raster, x + sign * s * nx, y + sign * s * ny);
  };
  // A stroke of known width is ink up to about its half width: the walk
  // starts a pixel inside that when it is ink there (a hole nearer in, rare
  // on scanned strokes, is then stepped over).
  const double inside = std::max(1.0, std::floor(half) - 1.0);
  const auto edge = [&](double x, double y, double sign) {
    const double walkFrom = inside > 1.0 && !blank(x, y, sign, inside) ? inside + 1.0 : 1.0;
    for (double s = walkFrom; s <= reach + 1.0; s += 1.0) {
      if (!blank(x, y, sign, s)) continue;
      double first = s;
      for (double f = s - 1.0 + kProbeStep; f < s; f += kProbeStep)
        if (blank(x, y, sign, f)) {
          first = f;
          break;
        }
      return first <= reach ? first - kProbeStep / 2.0 : -1.0;
    }
    return -1.0;
  };
  struct Sample {
    double x, y, run;
  };
  std::vector<Sample> found;
  const double from = t0 + half + 1.0, to = t1 - half - 1.0;
  const double step = std::max(kStationStep, (to - from) / maxStations);
  const int stations = static_cast<int>((to - from) / step);
  for (int k = 0; k <= stations; ++k) {
    const double t = from + k * step;
    const double x = line.px + t * line.ux, y = line.py + t * line.uy;
    if (!inkAtNearest(raster, x, y)) continue;
    const double plus = edge(x, y, 1.0), minus = edge(x, y, -1.0);
    if (plus < 0.0 || minus < 0.0) continue;
    const double c = (plus - minus) / 2.0;
    found.push_back({x + c * nx, y + c * ny, plus + minus});
  }
  if (measure && !found.empty()) {
    std::vector<double> runs;
    for (const Sample& f : found) runs.push_back(f.run);
    std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
    width = runs[runs.size() / 2];
  }
  std::vector<std::pair<double, double>> samples;
  for (const Sample& f : found)
    if (std::fabs(f.run - width) <= 1.5 + 0.15 * width) samples.emplace_back(f.x, f.y);
  if (samples.size() < 6) return line;
  Line fitted = line;
  for (int pass = 0; pass < 2; ++pass) {
    LineFit fit;
    for (const auto& [x, y] : samples)
      if (pass == 0 || std::fabs(fitted.beside(x, y)) <= 1.0) fit.add(x, y, 1.0);
    if (fit.empty()) break;
    fitted = fit.line();
  }
  // Keep the direction the line had, so ends stay in order.
  if (fitted.ux * line.ux + fitted.uy * line.uy < 0.0) {
    fitted.ux = -fitted.ux;
    fitted.uy = -fitted.uy;
  }
  return fitted;
}

class UnionFind {
 public:
  explicit UnionFind(size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), size_t{0}); }
  size_t find(size_t i) {
    while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
    return i;
  }
  void join(size_t into, size_t from) { parent_[from] = into; }

 private:
  std::vector<size_t> parent_;
};

// A straight stroke made of pieces.
struct Stroke {
  std::vector<size_t> pieces;
  LineFit fit;
  double widthSum = 0.0;  // width × length over the pieces
  double lengthSum = 0.0;
  double width() const { return lengthSum > 0.0 ? widthSum / lengthSum : 0.0; }
};

// Largest distance of the pieces' ends from line; only the pieces of at
// least kMinVetoPiece count, where there are any.
double worstOffset(const std::vector<Piece>& pieces, const std::vector<size_t>& members, const Line& line) {
  double worst = 0.0;
  bool anyLong = false;
  for (const size_t m : members) anyLong = anyLong || pieces[m].length >= kMinVetoPiece;
  for (const size_t m : members) {
    if (anyLong && pieces[m].length < kMinVetoPiece) continue;
    worst = std::max(worst, std::fabs(line.beside(pieces[m].ax, pieces[m].ay)));
    worst = std::max(worst, std::fabs(line.beside(pieces[m].bx, pieces[m].by)));
  }
  return worst;
}

// Whether the pieces of a and b overlap along line by more than slack.
bool overlapping(const std::vector<Piece>& pieces, const std::vector<size_t>& a, const std::vector<size_t>& b,
                 const Line& line, double slack) {
  for (const size_t i : a) {
    double i0 = line.along(pieces[i].ax, pieces[i].ay), i1 = line.along(pieces[i].bx, pieces[i].by);
    if (i0 > i1) std::swap(i0, i1);
    for (const size_t j : b) {
      double j0 = line.along(pieces[j].ax, pieces[j].ay), j1 = line.along(pieces[j].bx, pieces[j].by);
      if (j0 > j1) std::swap(j0, j1);
      if (std::min(i1, j1) - std::max(i0, j0) > slack) return true;
    }
  }
  return false;
}

// Where the pieces' ends fall on line: the extremes, and which piece end
// (piece × 2 + end) gave each.
void extent(const std::vector<Piece>& pieces, const std::vector<size_t>& members, const Line& line, double& t0,
            double& t1, size_t& end0, size_t& end1) {
  t0 = 1e300;
  t1 = -1e300;
  for (const size_t m : members) {
    const double ta = line.along(pieces[m].ax, pieces[m].ay), tb = line.along(pieces[m].bx, pieces[m].by);
    if (ta < t0) t0 = ta, end0 = m * 2;
    if (tb < t0) t0 = tb, end0 = m * 2 + 1;
    if (ta > t1) t1 = ta, end1 = m * 2;
    if (tb > t1) t1 = tb, end1 = m * 2 + 1;
  }
}

// The turn at vertex k of p is a corner (or k is an end of an open polyline).
bool cornerOrEnd(const CPolyLine& p, size_t k) {
  const auto& v = p.vertices();
  const size_t n = v.size();
  if (!p.isClosed() && (k == 0 || k == n - 1)) return true;
  const PolyVertex& a = v[(k + n - 1) % n];
  const PolyVertex& b = v[k];
  const PolyVertex& c = v[(k + 1) % n];
  const double x1 = b.x - a.x, y1 = b.y - a.y, x2 = c.x - b.x, y2 = c.y - b.y;
  const double l1 = std::hypot(x1, y1), l2 = std::hypot(x2, y2);
  if (l1 < 1e-9 || l2 < 1e-9) return true;
  return (x1 * x2 + y1 * y2) / (l1 * l2) < kCornerCos;
}

}  // namespace

int rebuildStraightStrokes(model::CLayer& layer, const raster::CRaster& raster) {
  std::vector<Piece> pieces;
  forEachStraightSegment(layer, [&](CPolyLine& p, size_t i, const PolyVertex& a, const PolyVertex& b) {
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    if (length >= kMinPiece) pieces.push_back({&p, i, a.x, a.y, b.x, b.y, a.startWidth, length});
  });
  if (pieces.empty()) return 0;
  // Thinning bends a piece's end towards the junction it runs into; each
  // piece long enough for it is laid onto its stroke's centre line first,
  // its ends onto the fitted line.
  forEachRange(pieces.size(), kMinPerPart, [&](size_t, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      Piece& p = pieces[i];
      if (p.length < kMinFitted) continue;
      Line line{p.ax, p.ay, (p.bx - p.ax) / p.length, (p.by - p.ay) / p.length};
      line = fitToInk(raster, line, 0.0, p.length, p.width);  // measures unknown widths too
      const double ta = line.along(p.ax, p.ay), tb = line.along(p.bx, p.by);
      // Ink probed across a short piece inside a blot can fit a line across
      // it: the piece stays as traced rather than shrink to (almost) a point.
      if (std::fabs(tb - ta) < 0.5 * p.length) continue;
      p.ax = line.px + ta * line.ux;
      p.ay = line.py + ta * line.uy;
      p.bx = line.px + tb * line.ux;
      p.by = line.py + tb * line.uy;
      p.length = std::hypot(p.bx - p.ax, p.by - p.ay);
    }
  });

  // Piece ends on a grid, to find the pieces ahead of each end.
  double lx = 1e300, ly = 1e300, hx = -1e300, hy = -1e300;
  for (const Piece& p : pieces) {
    lx = std::min({lx, p.ax, p.bx});
    ly = std::min({ly, p.ay, p.by});
    hx = std::max({hx, p.ax, p.bx});
    hy = std::max({hy, p.ay, p.by});
  }
  const int columns = static_cast<int>((hx - lx) / kCell) + 1, rows = static_cast<int>((hy - ly) / kCell) + 1;
  const auto cellOf = [&](double x, double y, int& cx, int& cy) {
    cx = std::clamp(static_cast<int>((x - lx) / kCell), 0, columns - 1);
    cy = std::clamp(static_cast<int>((y - ly) / kCell), 0, rows - 1);
  };
  std::vector<uint32_t> start(static_cast<size_t>(columns) * rows + 1, 0);
  std::vector<uint32_t> items(pieces.size() * 2);
  {
    // Counted per cell, then filled in piece-end order.
    std::vector<uint32_t> cellOfEnd(pieces.size() * 2);
    for (uint32_t end = 0; end < cellOfEnd.size(); ++end) {
      const Piece& p = pieces[end / 2];
      int cx, cy;
      cellOf(end % 2 ? p.bx : p.ax, end % 2 ? p.by : p.ay, cx, cy);
      cellOfEnd[end] = static_cast<uint32_t>(cy * columns + cx);
      ++start[cellOfEnd[end] + 1];
    }
    for (size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
    std::vector<uint32_t> next(start.begin(), start.end() - 1);
    for (uint32_t end = 0; end < cellOfEnd.size(); ++end) items[next[cellOfEnd[end]]++] = end;
  }
  const auto endPoint = [&](uint32_t end, double& x, double& y) {
    const Piece& p = pieces[end / 2];
    x = end % 2 ? p.bx : p.ax;
    y = end % 2 ? p.by : p.ay;
  };

  // Candidate joins: an end of one piece facing an end of another piece
  // that runs on in the same direction, within reach and beside the line.
  struct Join {
    double gap;
    uint32_t a, b;  // piece ends
  };
  // Searched in ranges of ends, each on its own, and put together in the
  // order a single loop gives.
  const size_t endCount = pieces.size() * 2;
  std::vector<std::vector<Join>> joinsIn(rangeParts(endCount, kMinPerPart));
  forEachRange(endCount, kMinPerPart, [&](size_t part, size_t firstEnd, size_t lastEnd) {
    std::vector<Join>& joins = joinsIn[part];
    // The end whose search last visited each cell, so no cell is read twice.
    std::vector<uint32_t> visited(static_cast<size_t>(columns) * rows, UINT32_MAX);
    for (uint32_t end = static_cast<uint32_t>(firstEnd); end < lastEnd; ++end) {
      const Piece& p = pieces[end / 2];
      double ex, ey, ox, oy;
      endPoint(end, ex, ey);
      endPoint(end ^ 1u, ox, oy);
      const double ux = (ex - ox) / p.length, uy = (ey - oy) / p.length;
      const auto visit = [&](size_t cell) {
        for (uint32_t k = start[cell]; k < start[cell + 1]; ++k) {
          const uint32_t other = items[k];
          if (other / 2 <= end / 2) continue;  // each pair once, never a piece with itself
          const Piece& q = pieces[other / 2];
          double fx, fy, qx, qy;
          endPoint(other, fx, fy);
          endPoint(other ^ 1u, qx, qy);
          const double vx = (qx - fx) / q.length, vy = (qy - fy) / q.length;
          if (ux * vx + uy * vy < kJoinCos) continue;
          const double gap = (fx - ex) * ux + (fy - ey) * uy;
          const double wide = std::max(p.width, q.width);
          if (gap > kMaxGap || gap < -(wide / 2.0 + 2.0)) continue;
          if (std::fabs(-(fx - ex) * uy + (fy - ey) * ux) > 1.0 + 0.3 * wide + 0.035 * std::max(gap, 0.0)) continue;
          joins.push_back({gap, end, other});
        }
      };
      // A partner lies within half a step along and the allowed offset beside
      // (under 16 px for strokes under 40 px wide) of the nearest of these ray
      // points: less than a cell, so inside the 3 × 3 cells around its cell.
      for (double s = 0.0; s <= kMaxGap + kCell / 2.0; s += kCell) {
        int cx, cy;
        cellOf(ex + ux * s, ey + uy * s, cx, cy);
        for (int gy = std::max(cy - 1, 0); gy <= std::min(cy + 1, rows - 1); ++gy)
          for (int gx = std::max(cx - 1, 0); gx <= std::min(cx + 1, columns - 1); ++gx) {
            const size_t cell = static_cast<size_t>(gy) * columns + gx;
            if (visited[cell] == end) continue;
            visited[cell] = end;
            visit(cell);
          }
      }
    }
  });
  std::vector<Join> joins = concatenated(std::move(joinsIn));
  std::sort(joins.begin(), joins.end(), [](const Join& a, const Join& b) { return a.gap < b.gap; });

  std::vector<Stroke> strokes(pieces.size());
  for (size_t i = 0; i < pieces.size(); ++i) {
    strokes[i].pieces = {i};
    addPiece(strokes[i].fit, pieces[i]);
    strokes[i].widthSum = pieces[i].width * pieces[i].length;
    strokes[i].lengthSum = pieces[i].length;
  }
  UnionFind sets(pieces.size());
  for (const Join& j : joins) {
    const size_t ra = sets.find(j.a / 2), rb = sets.find(j.b / 2);
    if (ra == rb) continue;
    Stroke& a = strokes[ra];
    Stroke& b = strokes[rb];
    const double wa = a.width(), wb = b.width(), wide = std::max(wa, wb);
    // Junction ink widens a short piece inside a crossing: only strokes of
    // some length must agree in width.
    const bool shortOne = std::min(a.lengthSum, b.lengthSum) < kShortForWidth * wide;
    if (!shortOne && std::fabs(wa - wb) > 1.5 + 0.25 * wide) continue;
    LineFit fit = a.fit;
    fit.add(b.fit);
    const Line line = fit.line();
    const double tolerance = 1.0 + 0.3 * wide;
    if (worstOffset(pieces, a.pieces, line) > tolerance || worstOffset(pieces, b.pieces, line) > tolerance) continue;
    if (overlapping(pieces, a.pieces, b.pieces, line, wide / 2.0 + 2.0)) continue;
    double ex, ey, fx, fy;
    endPoint(j.a, ex, ey);
    endPoint(j.b, fx, fy);
    if (j.gap > 0.0 && !inkAlong(raster, line, line.along(ex, ey), line.along(fx, fy), wide < 2.5)) continue;
    sets.join(ra, rb);
    a.pieces.insert(a.pieces.end(), b.pieces.begin(), b.pieces.end());
    a.fit = fit;
    a.widthSum += b.widthSum;
    a.lengthSum += b.lengthSum;
    b.pieces.clear();
  }

  // Which strokes come out as straight polylines of their own: joined ones,
  // and single legs cut off their polyline at corners.
  struct Made {
    Line line;
    double t0, t1;
    size_t end0, end1;  // piece ends at t0 and t1
    double width;
    CPolyLine* source;  // polyline of the longest piece, for the attributes
  };
  std::vector<Made> made;
  std::vector<int> madeOf(pieces.size(), -1);
  std::vector<size_t> madeFrom;  // the stroke of each
  for (size_t r = 0; r < strokes.size(); ++r) {
    const Stroke& s = strokes[r];
    if (s.pieces.empty()) continue;
    Line line = s.fit.line();
    double t0, t1;
    size_t end0 = 0, end1 = 0;
    extent(pieces, s.pieces, line, t0, t1, end0, end1);
    if (t1 - t0 < kMinLeg) continue;
    if (s.pieces.size() == 1) {
      const Piece& p = pieces[s.pieces[0]];
      const size_t n = p.owner->vertices().size();
      if (n <= 2 && !p.owner->isClosed()) {
        // Already a straight polyline: laid onto the ink's centre line like
        // the pieces, its ends moved across only (thinning bends a skeleton
        // towards the junctions it runs into).
        auto& w = p.owner->editVertices();
        w[0].x = p.ax;
        w[0].y = p.ay;
        w[1].x = p.bx;
        w[1].y = p.by;
        continue;
      }
      if (!cornerOrEnd(*p.owner, p.index) || !cornerOrEnd(*p.owner, (p.index + 1) % n)) continue;
    }
    // The width of the pieces long enough not to be widened by a junction.
    double width = s.width();
    {
      double sum = 0.0, length = 0.0;
      for (const size_t m : s.pieces)
        if (pieces[m].length >= kShortForWidth * pieces[m].width) {
          sum += pieces[m].width * pieces[m].length;
          length += pieces[m].length;
        }
      if (length > 0.0) width = sum / length;
    }
    size_t longest = s.pieces[0];
    for (const size_t m : s.pieces)
      if (pieces[m].length > pieces[longest].length) longest = m;
    for (const size_t m : s.pieces) madeOf[m] = static_cast<int>(made.size());
    made.push_back({line, t0, t1, end0, end1, width, pieces[longest].owner});
    madeFrom.push_back(r);
  }
  // Each made stroke laid onto the ink's centre line, on its own.
  forEachRange(made.size(), kMinPerPart, [&](size_t, size_t begin, size_t end) {
    for (size_t k = begin; k < end; ++k) {
      Made& m = made[k];
      m.line = fitToInk(raster, m.line, m.t0, m.t1, m.width);
      extent(pieces, strokes[madeFrom[k]].pieces, m.line, m.t0, m.t1, m.end0, m.end1);
    }
  });
  if (made.empty()) return 0;

  // Vertices where made strokes end: (polyline, vertex) → strokes and sides.
  const auto vertexOf = [&](size_t pieceEnd) {
    const Piece& p = pieces[pieceEnd / 2];
    const size_t n = p.owner->vertices().size();
    return std::make_pair(p.owner, pieceEnd % 2 ? (p.index + 1) % n : p.index);
  };
  std::map<std::pair<CPolyLine*, size_t>, std::vector<std::pair<size_t, int>>> endsAt;
  for (size_t m = 0; m < made.size(); ++m) {
    endsAt[vertexOf(made[m].end0)].emplace_back(m, 0);
    endsAt[vertexOf(made[m].end1)].emplace_back(m, 1);
  }
  // Two legs that met at a corner end at the crossing point of their lines,
  // when it lies near the corner vertex.
  for (const auto& [where, list] : endsAt) {
    if (list.size() != 2) continue;
    Made& a = made[list[0].first];
    Made& b = made[list[1].first];
    if (&a == &b) continue;
    const double cross = a.line.ux * b.line.uy - a.line.uy * b.line.ux;
    if (std::fabs(cross) < kCornerMinSine) continue;
    const double wx = b.line.px - a.line.px, wy = b.line.py - a.line.py;
    const double ta = (wx * b.line.uy - wy * b.line.ux) / cross;
    const double x = a.line.px + ta * a.line.ux, y = a.line.py + ta * a.line.uy;
    const PolyVertex& corner = where.first->vertices()[where.second];
    if (std::hypot(x - corner.x, y - corner.y) > std::max(a.width, b.width) / 2.0 + 3.0) continue;
    (list[0].second == 0 ? a.t0 : a.t1) = ta;
    (list[1].second == 0 ? b.t0 : b.t1) = b.line.along(x, y);
  }

  // The polylines that lost segments: what is left of each, in runs of
  // consecutive segments that stayed, ends moved onto the stroke they met.
  std::unordered_map<CPolyLine*, std::vector<size_t>> taken;  // polyline → segment indices
  for (size_t i = 0; i < pieces.size(); ++i)
    if (madeOf[i] >= 0) taken[pieces[i].owner].push_back(i);
  const auto pointOn = [&](const Made& m, double x, double y, double& px, double& py) {
    const double t = std::clamp(m.line.along(x, y), m.t0, m.t1);
    px = m.line.px + t * m.line.ux;
    py = m.line.py + t * m.line.uy;
  };
  for (auto& entry : taken) {
    // Plain names: lambdas below capture them, which structured bindings may not be.
    auto& owner = entry.first;
    auto& list = entry.second;
    const auto& v = owner->vertices();
    const size_t n = v.size();
    const size_t segments = owner->isClosed() ? n : n - 1;
    std::vector<int> strokeOf(segments, -1);
    for (const size_t i : list) strokeOf[pieces[i].index] = madeOf[i];
    // Start a closed polyline's walk after a taken segment, so no run wraps.
    size_t first = 0;
    if (owner->isClosed())
      for (size_t s = 0; s < segments; ++s)
        if (strokeOf[s] >= 0) first = (s + 1) % segments;
    std::vector<std::unique_ptr<model::CEntity>> remnants;
    model::VertexList run;
    int before = owner->isClosed() ? strokeOf[(first + segments - 1) % segments] : -1;  // stroke before the run
    const auto finish = [&](int after) {
      if (run.size() >= 2) {
        // Thinning's stubs inside a crossing: short remnants lying in the ink
        // of the strokes they hang from.
        double length = 0.0;
        // Along its bulges: a ring kept as one bulged segment has ends a few pixels apart.
        for (size_t k = 1; k < run.size(); ++k) length += model::segmentLength(run[k - 1].point(), run[k].point(), run[k - 1].bulge);
        bool inside = true;
        double wide = 0.0;
        for (const int m : {before, after}) wide = std::max(wide, m >= 0 ? made[static_cast<size_t>(m)].width : 0.0);
        for (const PolyVertex& q : run) {
          bool covered = false;
          for (const int m : {before, after}) {
            if (m < 0) continue;
            const Made& s = made[static_cast<size_t>(m)];
            double px, py;
            pointOn(s, q.x, q.y, px, py);
            covered = covered || std::hypot(q.x - px, q.y - py) <= s.width / 2.0 + 1.0;
          }
          inside = inside && covered;
        }
        if (!(inside && length <= 2.0 * wide + 6.0)) {
          double px, py;
          if (before >= 0) {
            pointOn(made[static_cast<size_t>(before)], run.front().x, run.front().y, px, py);
            if (std::hypot(px - run.front().x, py - run.front().y) <= made[static_cast<size_t>(before)].width / 2.0 + 3.0)
              run.front().x = px, run.front().y = py;
          }
          if (after >= 0) {
            pointOn(made[static_cast<size_t>(after)], run.back().x, run.back().y, px, py);
            if (std::hypot(px - run.back().x, py - run.back().y) <= made[static_cast<size_t>(after)].width / 2.0 + 3.0)
              run.back().x = px, run.back().y = py;
          }
          run.back().bulge = 0.0;
          auto piece = owner->clone();
          auto* polyline = static_cast<CPolyLine*>(piece.get());
          polyline->setClosed(false);
          polyline->editVertices() = std::move(run);
          remnants.push_back(std::move(piece));
        }
      }
      run.clear();
    };
    for (size_t k = 0; k < segments; ++k) {
      const size_t s = (first + k) % segments;
      if (strokeOf[s] >= 0) {
        finish(strokeOf[s]);
        before = strokeOf[s];
        continue;
      }
      if (run.empty()) run.push_back(v[s]);
      run.push_back(v[(s + 1) % n]);
    }
    finish(owner->isClosed() ? strokeOf[(first + segments - 1) % segments] : -1);
    for (auto& r : remnants) layer.insertBefore(owner, std::move(r));
  }

  // The strokes themselves, in place of the polyline of their longest piece.
  for (const Made& m : made) {
    auto entity = m.source->clone();
    auto* polyline = static_cast<CPolyLine*>(entity.get());
    polyline->setClosed(false);
    PolyVertex a = m.source->vertices().front();
    a.bulge = 0.0;
    a.startWidth = a.endWidth = m.width;
    PolyVertex b = a;
    a.x = m.line.px + m.t0 * m.line.ux;
    a.y = m.line.py + m.t0 * m.line.uy;
    b.x = m.line.px + m.t1 * m.line.ux;
    b.y = m.line.py + m.t1 * m.line.uy;
    polyline->editVertices() = {a, b};
    layer.insertBefore(m.source, std::move(entity));
  }
  for (auto& [owner, list] : taken) layer.remove(owner);
  return static_cast<int>(made.size());
}

}  // namespace quillon::postprocess
