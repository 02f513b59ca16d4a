#include "trace/outline.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <new>

#include "platform/message_sink.h"
#include "postprocess/circle_arc.h"
#include "settings/language_table.h"
#include "trace/fill_pattern.h"
#include "trace/trace_result.h"
#include "trace/tracer.h"

namespace quillon::trace {

namespace {

using Corner = OutlineContours::Corner;

// Palette level of ink after an outline trace, so that the vectors stand
// out on the dimmed picture.
constexpr uint8_t kOutlineTracedGrey = 220;

// At most four crack edges meet at a corner, so at most four piece ends can
// lie on one.
constexpr int kSlotRefs = 4;

double cornerX(const Corner& c) { return c.i - 0.5; }
double cornerY(const Corner& c) { return c.j - 0.5; }

// The big-endian 64-bit word k of a packed 1-bit row (bit 63 = the word's
// first pixel), bits past the width cleared.
uint64_t loadWord(const uint8_t* row, int usedBytes, int k, int width) {
  uint64_t w = 0;
  const int start = k * 8;
  if (start + 8 <= usedBytes) {
    for (int b = 0; b < 8; ++b) w = (w << 8) | row[start + b];
  } else {
    for (int b = 0; b < 8; ++b) w = (w << 8) | (start + b < usedBytes ? row[start + b] : 0u);
  }
  const int pixelsLeft = width - k * 64;
  if (pixelsLeft < 64) w &= ~uint64_t{0} << (64 - pixelsLeft);
  return w;
}

}  // namespace

// Chains crack edges into pieces while the raster is scanned row by row.
// The list order of the pieces is their creation order (a merged piece
// leaves a gap). An end of an open piece is found through the slot of its
// corner; only the two corner lines touched by the current row hold slots,
// because a piece end left on a line that the scan has passed can never be
// reached again.
class OutlineBuilder {
 public:
  OutlineBuilder(int width, OutlineContours& out) : out_(out) {
    for (auto& line : slots_) line.assign(static_cast<size_t>(width) + 1, Slot{});
  }

  void beginRow(int y) { y_ = y; }
  // Forgets the ends left on the line above the row just finished.
  void endRow() {
    const int line = y_ & 1;
    if (refsOnLine_[line] == 0) return;
    for (Slot& s : slots_[line]) s = Slot{};
    refsOnLine_[line] = 0;
  }

  // Edges of the background position (x, y), corners named as seen from it:
  // A top right, B top left, C bottom left, D bottom right.
  void topEdge(int x) { horizontal(Corner{x + 1, y_}, Corner{x, y_}, true); }
  void leftEdge(int x) { vertical(Corner{x, y_}, Corner{x, y_ + 1}); }
  void rightEdge(int x) { vertical(Corner{x + 1, y_}, Corner{x + 1, y_ + 1}); }
  void bottomEdge(int x) { horizontal(Corner{x, y_ + 1}, Corner{x + 1, y_ + 1}, false); }

  // Moves every piece into the contour list in list order; a piece that
  // never closed goes along as an open contour.
  void finish() {
    out_.contours_.reserve(pieces_.size() - deadCount_);
    for (Piece& p : pieces_) {
      if (p.dead) continue;
      if (!p.closed) flush(p);
      OutlineContours::Contour c;
      c.offset = p.offset;
      c.count = p.count;
      c.closed = p.closed;
      c.hole = p.hole;
      c.headHorizontal = p.headHorizontal;
      c.tailHorizontal = p.tailHorizontal;
      out_.contours_.push_back(c);
    }
    pieces_.clear();
    pieces_.shrink_to_fit();
  }

 private:
  // A piece's points are reverse(front) followed by back, so that both ends
  // grow in amortised constant time.
  struct Piece {
    std::vector<Corner> front;
    std::vector<Corner> back;
    size_t offset = 0;
    uint32_t count = 0;
    bool hole = false;
    bool headHorizontal = false;
    bool tailHorizontal = false;
    bool closed = false;
    bool dead = false;

    size_t size() const { return front.size() + back.size(); }
    const Corner& at(size_t k) const {
      return k < front.size() ? front[front.size() - 1 - k] : back[k - front.size()];
    }
    Corner& first() { return front.empty() ? back.front() : front.back(); }
    Corner& last() { return back.empty() ? front.front() : back.back(); }
  };
  struct Slot {
    std::array<int32_t, kSlotRefs> refs{-1, -1, -1, -1};
  };

  static int32_t ref(size_t piece, bool lastEnd) { return static_cast<int32_t>(piece * 2 + (lastEnd ? 1 : 0)); }

  bool onActiveLines(const Corner& c) const { return c.j == y_ || c.j == y_ + 1; }
  Slot& slot(const Corner& c) { return slots_[static_cast<size_t>(c.j & 1)][static_cast<size_t>(c.i)]; }

  void addRef(const Corner& c, int32_t r) {
    if (!onActiveLines(c)) return;
    for (int32_t& s : slot(c).refs) {
      if (s < 0) {
        s = r;
        ++refsOnLine_[c.j & 1];
        return;
      }
    }
  }
  void removeRef(const Corner& c, int32_t r) {
    if (!onActiveLines(c)) return;
    for (int32_t& s : slot(c).refs) {
      if (s == r) {
        s = -1;
        --refsOnLine_[c.j & 1];
        return;
      }
    }
  }

  // The pieces with an end on p or q, in list order, each once.
  int gather(const Corner& p, const Corner& q, std::array<int32_t, 2 * kSlotRefs>& found) {
    int n = 0;
    for (const Corner* c : {&p, &q}) {
      for (int32_t r : slot(*c).refs) {
        if (r < 0) continue;
        const int32_t piece = r >> 1;
        if (std::find(found.begin(), found.begin() + n, piece) == found.begin() + n) found[n++] = piece;
      }
    }
    std::sort(found.begin(), found.begin() + n);
    return n;
  }

  void newPiece(const Corner& p, const Corner& q, bool horizontalEdge, bool hole) {
    const size_t k = pieces_.size();
    Piece& piece = pieces_.emplace_back();
    piece.back = {p, q};
    piece.hole = hole;
    piece.headHorizontal = horizontalEdge;
    piece.tailHorizontal = horizontalEdge;
    addRef(p, ref(k, false));
    addRef(q, ref(k, true));
  }

  // Stores a piece's points in the contour list's point array.
  void flush(Piece& p) {
    p.offset = out_.points_.size();
    p.count = static_cast<uint32_t>(p.size());
    for (size_t k = 0; k < p.size(); ++k) out_.points_.push_back(p.at(k));
    std::vector<Corner>().swap(p.front);
    std::vector<Corner>().swap(p.back);
  }
  void close(size_t k) {
    Piece& p = pieces_[k];
    removeRef(p.first(), ref(k, false));
    removeRef(p.last(), ref(k, true));
    p.closed = true;
    flush(p);
  }

  // A top edge A→B or a bottom edge C→D: every piece with an end on it may
  // take part, the first takes the edge and a later one is merged into it.
  void horizontal(const Corner& p, const Corner& q, bool top) {
    std::array<int32_t, 2 * kSlotRefs> found{};
    const int n = gather(p, q, found);
    int32_t taker = -1;
    for (int c = 0; c < n; ++c) {
      const size_t k = static_cast<size_t>(found[c]);
      if (taker >= 0) {
        if (merge(static_cast<size_t>(taker), k)) return;
        continue;
      }
      Piece& piece = pieces_[k];
      const bool atFirst = piece.first() == p || piece.first() == q;
      Corner& end = atFirst ? piece.first() : piece.last();
      const Corner to = end == p ? q : p;
      removeRef(end, ref(k, !atFirst));
      bool& endHorizontal = atFirst ? piece.headHorizontal : piece.tailHorizontal;
      if (endHorizontal) {
        end = to;
      } else if (atFirst) {
        piece.front.push_back(to);
      } else {
        piece.back.push_back(to);
      }
      endHorizontal = true;
      const Corner other = atFirst ? piece.last() : piece.first();
      if (other == to) {
        close(k);
        return;
      }
      addRef(to, ref(k, !atFirst));
      taker = static_cast<int32_t>(k);
    }
    if (taker < 0) newPiece(p, q, true, top);
  }

  // A left edge B→C or a right edge A→D: the first piece with an end on it
  // takes it. In scan order a vertical edge never joins two pieces.
  void vertical(const Corner& p, const Corner& q) {
    std::array<int32_t, 2 * kSlotRefs> found{};
    if (gather(p, q, found) == 0) {
      newPiece(p, q, false, false);
      return;
    }
    const size_t k = static_cast<size_t>(found[0]);
    Piece& piece = pieces_[k];
    const bool atFirst = piece.first() == p || piece.first() == q;
    Corner& end = atFirst ? piece.first() : piece.last();
    const Corner to = end == p ? q : p;
    removeRef(end, ref(k, !atFirst));
    bool& endHorizontal = atFirst ? piece.headHorizontal : piece.tailHorizontal;
    if (!endHorizontal) {
      end = to;
    } else if (atFirst) {
      piece.front.push_back(to);
    } else {
      piece.back.push_back(to);
    }
    endHorizontal = false;
    addRef(to, ref(k, !atFirst));
  }

  // Appends the points at M's front or back. When the shared end point lies
  // on a straight line between its neighbours (two horizontal runs meet
  // there), it is replaced by the first joined point, so that a contour
  // keeps only its corners.
  static void attach(Piece& pm, bool atFront, const std::vector<Corner>& joined) {
    const size_t size = pm.size();
    Corner& end = atFront ? pm.first() : pm.last();
    const Corner inner = pm.at(atFront ? 1 : size - 2);
    const Corner next = joined.front();
    size_t from = 0;
    if ((inner.i == end.i && end.i == next.i) || (inner.j == end.j && end.j == next.j)) {
      end = next;
      from = 1;
    }
    std::vector<Corner>& side = atFront ? pm.front : pm.back;
    side.insert(side.end(), joined.begin() + static_cast<std::ptrdiff_t>(from), joined.end());
  }

  // Merges piece n into piece m where their ends meet; false when none does.
  bool merge(size_t m, size_t n) {
    Piece& pm = pieces_[m];
    Piece& pn = pieces_[n];
    const Corner mf = pm.first(), ml = pm.last(), nf = pn.first(), nl = pn.last();
    const size_t count = pn.size();
    removeRef(nf, ref(n, false));
    removeRef(nl, ref(n, true));
    // N's points in the order they join M, without the shared point.
    std::vector<Corner>& joined = scratch_;
    joined.clear();
    // The first matching pairing in this order: M's first with N's first,
    // M's first with N's last, M's last with N's first, M's last with N's last.
    int pairing = 0;
    if (mf == nf) pairing = 1;
    else if (mf == nl) pairing = 2;
    else if (ml == nf) pairing = 3;
    else if (ml == nl) pairing = 4;
    if (pairing == 0) {
      addRef(nf, ref(n, false));
      addRef(nl, ref(n, true));
      return false;
    }
    const bool fromNFirst = pairing == 1 || pairing == 3;
    if (fromNFirst) {
      for (size_t k = 1; k < count; ++k) joined.push_back(pn.at(k));
    } else {
      for (size_t k = count - 1; k-- > 0;) joined.push_back(pn.at(k));
    }
    const bool atFront = pairing <= 2;
    if (atFront) {
      removeRef(mf, ref(m, false));
      pm.headHorizontal = fromNFirst ? pn.tailHorizontal : pn.headHorizontal;
    } else {
      removeRef(ml, ref(m, true));
      pm.tailHorizontal = fromNFirst ? pn.tailHorizontal : pn.headHorizontal;
    }
    attach(pm, atFront, joined);
    pn.dead = true;
    ++deadCount_;
    std::vector<Corner>().swap(pn.front);
    std::vector<Corner>().swap(pn.back);
    // Both ends of the merged piece may now meet (the two pieces were all
    // that was left of a contour); it is then complete.
    if (pm.first() == pm.last()) {
      pm.closed = true;
      // The merged-in ends were not indexed under m; drop what remains.
      removeRef(pm.first(), ref(m, false));
      removeRef(pm.last(), ref(m, true));
      flush(pm);
      return true;
    }
    if (atFront) {
      addRef(pm.first(), ref(m, false));
    } else {
      addRef(pm.last(), ref(m, true));
    }
    return true;
  }

  OutlineContours& out_;
  std::vector<Piece> pieces_;
  std::vector<Corner> scratch_;
  size_t deadCount_ = 0;
  std::array<std::vector<Slot>, 2> slots_;
  std::array<long, 2> refsOnLine_{0, 0};
  int y_ = 0;
};

void OutlineContours::toPath(size_t k, TracePath& out) const {
  const Contour& c = contours_[k];
  out.points.clear();
  for (size_t p = c.offset; p < c.offset + c.count; ++p) {
    out.pushBack(cornerX(points_[p]), cornerY(points_[p]));
  }
  out.closed = c.closed;
  out.hole = c.hole;
  out.headHorizontal = c.headHorizontal;
  out.tailHorizontal = c.tailHorizontal;
}

void OutlineContours::appendTo(TracePathList& paths) const {
  for (size_t k = 0; k < contours_.size(); ++k) toPath(k, paths.append());
}

void OutlineContours::clear() {
  std::vector<Corner>().swap(points_);
  std::vector<Contour>().swap(contours_);
}

bool TraceOutlineContours(raster::CRaster& source, OutlineContours& contours, platform::ProgressSink* sink) {
  const StageReporter stage(sink);
  contours.clear();
  stage.begin("ProcessTraceOutline");
  if (source.empty() || source.bitCount() != 1) {
    stage.end();
    return true;
  }
  const int width = source.width();
  const int height = source.height();
  const int words = (width + 63) / 64;
  const int usedBytes = source.usedRowBytes();
  // Ink of the rows above, at and below the scan row, one bit per pixel.
  std::vector<uint64_t> above(static_cast<size_t>(words), 0), current(above), below(above);
  auto load = [&](int y, std::vector<uint64_t>& bits) {
    if (y < 0 || y >= height) {
      std::fill(bits.begin(), bits.end(), 0);
      return;
    }
    const uint8_t* row = source.row(y);
    for (int k = 0; k < words; ++k) bits[static_cast<size_t>(k)] = loadWord(row, usedBytes, k, width);
  };
  OutlineBuilder builder(width, contours);
  const uint64_t lastMask = (width % 64) == 0 ? ~uint64_t{0} : ~uint64_t{0} << (64 - width % 64);
  for (int y = -1; y <= height; ++y) {
    above.swap(current);
    current.swap(below);
    load(y + 1, below);
    builder.beginRow(y);
    const bool inside = y >= 0 && y < height;
    // Position −1 left of the raster: its only inside neighbour is pixel 0.
    if (inside && (current[0] >> 63) != 0) builder.rightEdge(-1);
    for (int k = 0; k < words; ++k) {
      const size_t w = static_cast<size_t>(k);
      const uint64_t ink = current[w];
      const uint64_t valid = k == words - 1 ? lastMask : ~uint64_t{0};
      const uint64_t background = ~ink & valid;
      const uint64_t inkLeft = (ink >> 1) | (k > 0 ? current[w - 1] << 63 : 0);
      const uint64_t inkRight = (ink << 1) | (k + 1 < words ? current[w + 1] >> 63 : 0);
      const uint64_t top = background & above[w];
      const uint64_t bottom = background & below[w];
      const uint64_t left = background & inkLeft;
      const uint64_t right = background & inkRight;
      uint64_t any = top | bottom | left | right;
      while (any != 0) {
        const int bit = std::countl_zero(any);
        const uint64_t mask = uint64_t{1} << (63 - bit);
        any &= ~mask;
        const int x = k * 64 + bit;
        if (top & mask) builder.topEdge(x);
        if (left & mask) builder.leftEdge(x);
        if (right & mask) builder.rightEdge(x);
        if (bottom & mask) builder.bottomEdge(x);
      }
    }
    // Position `width` right of the raster: its only inside neighbour is the last pixel.
    if (inside && ((current[static_cast<size_t>(words - 1)] >> (63 - (width - 1) % 64)) & 1) != 0) {
      builder.leftEdge(width);
    }
    builder.endRow();
    if (stage.cancelled()) {
      stage.finished(kTraceUserStop);
      return false;
    }
    stage.progress(static_cast<int>(static_cast<long long>(y) * 100 / height));
  }
  builder.finish();
  stage.end();
  source.setGreyEntry(1, kOutlineTracedGrey);
  return true;
}

bool TraceOutline(raster::CRaster& source, TracePathList& paths, platform::ProgressSink* sink) {
  paths.clear();
  OutlineContours contours;
  if (!TraceOutlineContours(source, contours, sink)) return false;
  contours.appendTo(paths);
  return true;
}

bool ContourPassesThrough(const TracePath& path, double x, double y) {
  constexpr double kNear = 0.01;
  const auto& pts = path.points;
  for (size_t k = 0; k < pts.size(); ++k) {
    const TracePoint& a = pts[k];
    if (std::fabs(a.x - x) <= kNear && std::fabs(a.y - y) <= kNear) return true;
    if (k + 1 == pts.size()) break;
    const TracePoint& b = pts[k + 1];
    if (std::fabs(a.x - x) <= kNear && std::fabs(b.x - x) <= kNear && y >= std::min(a.y, b.y) &&
        y <= std::max(a.y, b.y)) {
      return true;
    }
    if (std::fabs(a.y - y) <= kNear && std::fabs(b.y - y) <= kNear && x >= std::min(a.x, b.x) &&
        x <= std::max(a.x, b.x)) {
      return true;
    }
  }
  return false;
}

namespace {

struct Box {
  double minX, minY, maxX, maxY;
};

Box BoxOf(const TracePath& path) {
  Box b{path.points.front().x, path.points.front().y, path.points.front().x, path.points.front().y};
  for (const TracePoint& p : path.points) {
    b.minX = std::min(b.minX, p.x);
    b.maxX = std::max(b.maxX, p.x);
    b.minY = std::min(b.minY, p.y);
    b.maxY = std::max(b.maxY, p.y);
  }
  return b;
}

// True when the contour holds the vertical crack edge at x from y − 0.5 to
// y + 0.5.
bool HoldsVerticalCrack(const TracePath& path, double x, double y) {
  constexpr double kSame = 1e-9;
  const auto& pts = path.points;
  for (size_t k = 0; k + 1 < pts.size(); ++k) {
    const TracePoint& a = pts[k];
    const TracePoint& b = pts[k + 1];
    if (std::fabs(a.x - x) < kSame && std::fabs(b.x - x) < kSame && std::min(a.y, b.y) <= y - 0.5 + kSame &&
        std::max(a.y, b.y) >= y + 0.5 - kSame) {
      return true;
    }
  }
  return false;
}

// The ink pixel (col, row) just left of the hole contour's leftmost
// vertical segment: it belongs to the ink that bounds the hole. False for a
// contour without vertical segments.
bool LeftmostWall(const TracePath& path, int& col, int& row) {
  const auto& pts = path.points;
  bool found = false;
  double bestX = 0.0, bestY = 0.0;
  for (size_t k = 0; k + 1 < pts.size(); ++k) {
    const TracePoint& a = pts[k];
    const TracePoint& b = pts[k + 1];
    if (a.x != b.x || a.y == b.y) continue;
    if (!found || a.x < bestX) {
      found = true;
      bestX = a.x;
      bestY = std::min(a.y, b.y);
    }
  }
  if (!found) return false;
  col = static_cast<int>(std::floor(bestX - 0.5));
  row = static_cast<int>(std::floor(bestY + 0.5));
  return true;
}

}  // namespace

bool AnalyseOutline(const raster::CRaster& source, TracePathList& paths, OutlineRegionList& regions,
                    platform::ProgressSink* sink) {
  const StageReporter stage(sink);
  stage.begin("ProcessAnalyseOutline");
  const size_t count = paths.size();
  std::vector<Box> boxes;
  boxes.reserve(count);
  for (const TracePath& p : paths) boxes.push_back(p.empty() ? Box{0, 0, -1, -1} : BoxOf(p));

  // Every hole ends up with the region of the ink that bounds it. Walking
  // left from the ink just left of the hole's leftmost wall to the end of
  // that run of ink reaches a crack edge of the same ink: it lies either on
  // the outer contour (the region) or on another hole of the same ink, whose
  // region is then this hole's too. That other hole reaches further left, so
  // the links never run in a circle. (A walk that looked at every crack it
  // passes could take the contour of an island in a neighbouring hole, or
  // find nothing for ink on the raster's left edge.)
  constexpr size_t kNone = static_cast<size_t>(-1);
  std::vector<size_t> regionOf(count, kNone);  // outer path -> region index
  std::vector<size_t> link(count, kNone);      // hole path -> outer or hole path that decides its region
  const int width = source.width();
  int lastPercent = -1;
  for (size_t k = 0; k < count; ++k) {
    TracePath& path = paths[k];
    if (!path.empty()) {
      const TracePoint first = path.points.front();
      if (path.hole) {
        int col = 0, row = 0;
        if (LeftmostWall(path, col, row) && row >= 0 && row < source.height() && source.bitCount() == 1) {
          while (col >= 0 && col < width && source.bitAt(col, row)) --col;
          const double crackX = col + 0.5;
          const double rowY = row;
          for (size_t c = 0; c < count; ++c) {
            const Box& b = boxes[c];
            if (c == k || crackX < b.minX || crackX > b.maxX || rowY < b.minY || rowY > b.maxY) continue;
            if (HoldsVerticalCrack(paths[c], crackX, rowY)) {
              link[k] = c;
              break;
            }
          }
        }
      } else {
        OutlineRegion region;
        const Box& b = boxes[k];
        region.minX = b.minX;
        region.minY = b.minY;
        region.maxX = b.maxX;
        region.maxY = b.maxY;
        region.seed = TracePoint{first.x + 0.25, first.y - 0.25, 0};
        region.outer = &path;
        regionOf[k] = regions.size();
        regions.push_back(std::move(region));
      }
    }
    if (stage.cancelled()) {
      stage.finished(kTraceUserStop);
      return false;
    }
    const int percent = static_cast<int>(k * 100 / count);
    if (percent != lastPercent) {
      stage.progress(percent);
      lastPercent = percent;
    }
  }

  bool unassigned = false;
  for (size_t k = 0; k < count; ++k) {
    if (!paths[k].hole || paths[k].empty()) continue;
    size_t at = link[k];
    for (size_t guard = 0; at != kNone && paths[at].hole && guard < count; ++guard) at = link[at];
    if (at != kNone && !paths[at].hole && regionOf[at] != kNone) {
      regions[regionOf[at]].holes.push_back(&paths[k]);
    } else {
      unassigned = true;
    }
  }
  if (unassigned) platform::ShowMessage(settings::Text("ProcessAnalyseOutlineError", "Error"));

  for (TracePath& path : paths) {
    std::reverse(path.points.begin(), path.points.end());
    std::swap(path.headHorizontal, path.tailHorizontal);
  }
  stage.end();
  return true;
}

int RegionToPolyPolygon(OutlineRegion& region, const PolylineGenerationParams& params,
                        std::unique_ptr<model::CPolyPolygon>& out, platform::ProgressSink* sink, size_t& counter,
                        double step) {
  const StageReporter stage(sink);
  out.reset();
  try {
    std::unique_ptr<model::CPolyLine> outer;
    if (generatePolyline(region.outer, params, outer, nullptr) == kGenerateNoMemory) return kGenerateNoMemory;
    if (!outer) return kGenerateDone;
    ++counter;
    stage.progress(static_cast<int>(static_cast<double>(counter) * step));
    auto polygon = std::make_unique<model::CPolyPolygon>();
    outer->setClosed(true);
    polygon->appendOutline(std::move(outer));
    polygon->seedX = region.seed.x;
    polygon->seedY = static_cast<double>(params.rasterHeight - 1) - region.seed.y;
    for (TracePath* hole : region.holes) {
      std::unique_ptr<model::CPolyLine> outline;
      if (generatePolyline(hole, params, outline, nullptr) == kGenerateNoMemory) return kGenerateNoMemory;
      ++counter;
      stage.progress(static_cast<int>(static_cast<double>(counter) * step));
      if (outline) {
        outline->setClosed(true);
        polygon->appendOutline(std::move(outline));
      }
    }
    polygon->finish();
    out = std::move(polygon);
    return kGenerateDone;
  } catch (const std::bad_alloc&) {
    out.reset();
    return kGenerateNoMemory;
  }
}

namespace {

// "Generate polyline" for contours without a solid fill: one closed
// polyline per contour. Each contour is expanded into a path only while its
// polyline is made, so the traced contours stay compact. A TraceResult.
int GenerateContourPolylines(OutlineContours& contours, model::CGraph& drawing, const PolylineGenerationParams& params,
                             const StageReporter& stage) {
  stage.begin("ProcessGeneratePolyline");
  const double step = 100.0 / static_cast<double>(contours.size());
  TracePath path;
  for (size_t k = 0; k < contours.size(); ++k) {
    contours.toPath(k, path);
    std::unique_ptr<model::CPolyLine> polyline;
    if (generatePolyline(&path, params, polyline, nullptr) == kGenerateNoMemory) {
      stage.finished(kTraceNoMemory);
      return kTraceNoMemory;
    }
    if (polyline) drawing.addEntity(std::move(polyline));
    stage.progress(static_cast<int>(static_cast<double>(k + 1) * step));
    if (stage.cancelled()) {
      stage.finished(kTraceUserStop);
      return kTraceUserStop;
    }
  }
  stage.end();
  return kTraceFinished;
}

int GenerateRegionPolygons(OutlineRegionList& regions, size_t pathCount, model::CGraph& drawing,
                           const PolylineGenerationParams& params, const StageReporter& stage) {
  stage.begin("ProcessGeneratePolyline");
  const double step = 100.0 / static_cast<double>(pathCount);
  size_t counter = 0;
  for (OutlineRegion& region : regions) {
    std::unique_ptr<model::CPolyPolygon> polygon;
    if (RegionToPolyPolygon(region, params, polygon, stage.sink(), counter, step) == kGenerateNoMemory) {
      stage.finished(kTraceNoMemory);
      return kTraceNoMemory;
    }
    if (polygon) drawing.addEntity(std::move(polygon));
    if (stage.cancelled()) {
      stage.finished(kTraceUserStop);
      return kTraceUserStop;
    }
  }
  stage.end();
  return kTraceFinished;
}

}  // namespace

void RunOutlineMethod(model::CGraph& drawing, const settings::TraceOption& options, CTracer& tracer,
                      platform::ProgressSink* sink) {
  const StageReporter stage(sink);
  const settings::OutlineOption& outline = options.Outline;
  raster::CRaster& source = tracer.source();
  const PolylineGenerationParams params =
      PolylineGenerationParams::fromOptions(options, source.height(), source.dotsPerInch());
  if (outline.b_Fill && outline.i_FillType == settings::FillType::Solid) {
    TracePathList& paths = tracer.paths();
    if (!TraceOutline(source, paths, sink)) return;
    OutlineRegionList regions;
    if (!AnalyseOutline(source, paths, regions, sink)) return;
    if (paths.empty()) {
      stage.finished(kTraceFinished);
      return;
    }
    if (GenerateRegionPolygons(regions, paths.size(), drawing, params, stage) != kTraceFinished) return;
    regions.clear();
    paths.clear();
  } else {
    OutlineContours contours;
    if (!TraceOutlineContours(source, contours, sink)) return;
    if (contours.empty()) {
      stage.finished(kTraceFinished);
      return;
    }
    if (GenerateContourPolylines(contours, drawing, params, stage) != kTraceFinished) return;
  }

  if (outline.b_RecogniseCirArc && drawing.currentLayer() != nullptr) {
    const int size = std::max(source.width(), source.height());
    if (!postprocess::recogniseCirclesLayer(*drawing.currentLayer(), options, size, postprocess::CircleMode::Outline,
                                            sink)) {
      return;  // the stage delivered its code
    }
  }
  if (outline.b_Fill && outline.i_FillType != settings::FillType::Solid) {
    const int code = FillPatternRun(static_cast<int>(outline.i_FillType), outline.d_FillSpace, &drawing, sink);
    if (code == kTraceUserStop) return;  // the fill delivered it
    stage.finished(code == kTraceFinished ? kTraceFinished : kTraceFillFailed);
    return;
  }
  stage.finished(kTraceFinished);
}

}  // namespace quillon::trace
