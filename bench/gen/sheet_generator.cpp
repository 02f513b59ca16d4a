#include "gen/sheet_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <numbers>
#include <utility>

namespace quillon::bench {

namespace {

constexpr double kPi = std::numbers::pi;

// xorshift-style generator with fixed arithmetic, so sheets are identical on
// every platform and standard library.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B97F4A7C15ull) {}
  uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  // Uniform in [0, 1).
  double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
  double range(double low, double high) { return low + (high - low) * unit(); }
  int integer(int low, int high) {  // inclusive
    return low + static_cast<int>(next() % static_cast<uint64_t>(high - low + 1));
  }
  bool chance(double p) { return unit() < p; }

 private:
  uint64_t state_;
};

void FillSpan(raster::CRaster& raster, int y, int x0, int x1) {
  if (y < 0 || y >= raster.height()) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, raster.width() - 1);
  if (x0 > x1) return;
  uint8_t* row = raster.row(y);
  int first = x0 >> 3;
  const int last = x1 >> 3;
  const auto maskFrom = [](int bit) { return static_cast<uint8_t>(0xFFu >> bit); };
  const auto maskTo = [](int bit) { return static_cast<uint8_t>(0xFFu << (7 - bit)); };
  if (first == last) {
    row[first] |= static_cast<uint8_t>(maskFrom(x0 & 7) & maskTo(x1 & 7));
    return;
  }
  row[first] |= maskFrom(x0 & 7);
  for (++first; first < last; ++first) row[first] = 0xFF;
  row[last] |= maskTo(x1 & 7);
}

// Inclusive pixel columns whose centres lie in [a, b].
void FillInterval(raster::CRaster& raster, int y, double a, double b) {
  if (!(a <= b)) return;
  FillSpan(raster, y, static_cast<int>(std::ceil(a - 1e-9)), static_cast<int>(std::floor(b + 1e-9)));
}

// A stroke from p to q with round caps: pixel centres within r of the segment.
void DrawCapsule(raster::CRaster& raster, GenPoint p, GenPoint q, double r) {
  const int y0 = static_cast<int>(std::floor(std::min(p.y, q.y) - r));
  const int y1 = static_cast<int>(std::ceil(std::max(p.y, q.y) + r));
  const double dx = q.x - p.x;
  const double dy = q.y - p.y;
  const double length2 = dx * dx + dy * dy;
  for (int y = std::max(y0, 0); y <= std::min(y1, raster.height() - 1); ++y) {
    double low = 1e300;
    double high = -1e300;
    const auto disk = [&](GenPoint c) {
      const double h = r * r - (y - c.y) * (y - c.y);
      if (h < 0) return;
      const double s = std::sqrt(h);
      low = std::min(low, c.x - s);
      high = std::max(high, c.x + s);
    };
    disk(p);
    disk(q);
    if (length2 > 1e-12) {
      // The band: |cross(d, X - p)| <= r |d| and 0 <= dot(d, X - p) <= |d|^2,
      // each linear in x on this row.
      const double length = std::sqrt(length2);
      double a = -1e300;
      double b = 1e300;
      const auto constrain = [&](double coefficient, double constant, double lowBound, double highBound) {
        // lowBound <= coefficient * x + constant <= highBound
        if (std::abs(coefficient) < 1e-12) {
          if (constant < lowBound || constant > highBound) b = -1e300;
          return;
        }
        double u = (lowBound - constant) / coefficient;
        double v = (highBound - constant) / coefficient;
        if (u > v) std::swap(u, v);
        a = std::max(a, u);
        b = std::min(b, v);
      };
      const double ry = y - p.y;
      // cross = dx * (Y - py) - dy * (X - px)
      constrain(-dy, dx * ry + dy * p.x, -r * length, r * length);
      // dot = dx * (X - px) + dy * (Y - py)
      constrain(dx, dy * ry - dx * p.x, 0.0, length2);
      if (a <= b) {
        low = std::min(low, a);
        high = std::max(high, b);
      }
    }
    FillInterval(raster, y, low, high);
  }
}

double NormaliseAngle(double a) {
  a = std::fmod(a, 2 * kPi);
  return a < 0 ? a + 2 * kPi : a;
}

// Ring of radius R and width w; for an arc only the pixels whose angle lies
// in the sweep, with round caps at both ends.
void DrawRing(raster::CRaster& raster, const Primitive& primitive, bool arc) {
  const double half = primitive.width / 2.0;
  const double outer = primitive.radius + half;
  const double inner = std::max(primitive.radius - half, 0.0);
  const GenPoint c = primitive.centre;
  const double start = NormaliseAngle(primitive.startAngle);
  const double sweep = NormaliseAngle(primitive.endAngle - primitive.startAngle);
  const int y0 = std::max(static_cast<int>(std::floor(c.y - outer)), 0);
  const int y1 = std::min(static_cast<int>(std::ceil(c.y + outer)), raster.height() - 1);
  for (int y = y0; y <= y1; ++y) {
    const double dy = y - c.y;
    const double ho = outer * outer - dy * dy;
    if (ho < 0) continue;
    const double so = std::sqrt(ho);
    const double hi = inner * inner - dy * dy;
    const double si = hi > 0 ? std::sqrt(hi) : -1.0;
    const double spans[2][2] = {{c.x - so, si >= 0 ? c.x - si : c.x + so}, {si >= 0 ? c.x + si : 1e300, c.x + so}};
    for (const auto& span : spans) {
      if (!arc) {
        FillInterval(raster, y, span[0], span[1]);
        continue;
      }
      // Rows beyond the inner circle have one span only; the second one is
      // empty (its start, 1e300, does not even convert to a column).
      if (!(span[0] <= span[1])) continue;
      const int xa = std::max(static_cast<int>(std::ceil(span[0] - 1e-9)), 0);
      const int xb = std::min(static_cast<int>(std::floor(span[1] + 1e-9)), raster.width() - 1);
      for (int x = xa; x <= xb; ++x) {
        // Screen angle counter-clockwise: y grows downwards.
        const double angle = NormaliseAngle(std::atan2(-(y - c.y), x - c.x));
        if (NormaliseAngle(angle - start) <= sweep) raster.setBit(x, y, true);
      }
    }
  }
  if (arc) {
    for (double a : {primitive.startAngle, primitive.endAngle}) {
      const GenPoint end{c.x + primitive.radius * std::cos(a), c.y - primitive.radius * std::sin(a)};
      DrawCapsule(raster, end, end, half);
    }
  }
}

GenPoint RandomPoint(Random& random, const SheetSpec& spec, double margin) {
  return GenPoint{random.range(margin, spec.width - 1 - margin), random.range(margin, spec.height - 1 - margin)};
}

double RandomStrokeWidth(Random& random, const SheetSpec& spec) {
  return static_cast<double>(random.integer(spec.minWidth, spec.maxWidth));
}

// Lines: a share axis-parallel as in engineering drawings, the rest at any angle.
Primitive RandomLine(Random& random, const SheetSpec& spec, double maxLength) {
  Primitive line;
  line.kind = PrimitiveKind::Line;
  line.width = RandomStrokeWidth(random, spec);
  const GenPoint a = RandomPoint(random, spec, 10);
  const double angle = random.chance(0.4) ? random.integer(0, 3) * kPi / 2 : random.range(0, 2 * kPi);
  const double length = random.range(20, maxLength);
  GenPoint b{a.x + length * std::cos(angle), a.y + length * std::sin(angle)};
  b.x = std::clamp(b.x, 2.0, spec.width - 3.0);
  b.y = std::clamp(b.y, 2.0, spec.height - 3.0);
  line.points = {a, b};
  return line;
}

// Dash-dot lines of pen widths 3 to 6; fillets: two lines meeting at a
// corner, rounded by an arc tangent to both; corners: two lines from one point.
void AddFidelityCases(Random& random, const SheetSpec& spec, double maxLength, std::vector<Primitive>& out) {
  const double megapixels = static_cast<double>(spec.width) * spec.height / 1e6;
  const auto count = [&](double perMegapixel) {
    return std::max(1, static_cast<int>(std::lround(perMegapixel * megapixels * spec.density)));
  };
  for (int i = count(1); i > 0; --i) {
    Primitive line = RandomLine(random, spec, maxLength);
    line.kind = PrimitiveKind::DashDotLine;
    line.width = random.integer(3, 6);
    line.dashLength = random.range(15, 30);
    line.gapLength = random.range(2 * line.width, 2 * line.width + 6);
    out.push_back(line);
  }
  const auto inside = [&](GenPoint p) { return p.x > 10 && p.y > 10 && p.x < spec.width - 11 && p.y < spec.height - 11; };
  for (int i = count(1); i > 0; --i) {
    const GenPoint corner = RandomPoint(random, spec, 80);
    const double width = RandomStrokeWidth(random, spec);
    const double in = random.chance(0.5) ? random.integer(0, 3) * kPi / 2 : random.range(0, 2 * kPi);
    const double turn = (random.chance(0.5) ? 1 : -1) * random.range(kPi / 6, kPi * 5 / 6);
    const double out_ = in + turn;
    const double first = random.range(30, maxLength / 2), second = random.range(30, maxLength / 2);
    const GenPoint a{corner.x - first * std::cos(in), corner.y - first * std::sin(in)};
    const GenPoint b{corner.x + second * std::cos(out_), corner.y + second * std::sin(out_)};
    if (!inside(a) || !inside(b)) continue;
    const bool rounded = random.chance(0.6);
    const double radius = random.range(width + 8, std::max(width + 10, std::min(first, second) * 0.8));
    const double tangent = radius * std::tan(std::fabs(turn) / 2);
    if (!rounded || tangent > std::min(first, second) - 10) {
      Primitive l1, l2;
      l1.width = l2.width = width;
      l1.points = {a, corner};
      l2.points = {corner, b};
      out.push_back(l1);
      out.push_back(l2);
      continue;
    }
    const GenPoint t1{corner.x - tangent * std::cos(in), corner.y - tangent * std::sin(in)};
    const GenPoint t2{corner.x + tangent * std::cos(out_), corner.y + tangent * std::sin(out_)};
    // The centre lies on the inner side of the turn (screen coordinates, y down).
    const double side = turn > 0 ? 1.0 : -1.0;
    const GenPoint centre{t1.x - side * std::sin(in) * radius, t1.y + side * std::cos(in) * radius};
    Primitive l1, arc, l2;
    l1.width = arc.width = l2.width = width;
    l1.points = {a, t1};
    l2.points = {t2, b};
    arc.kind = PrimitiveKind::Arc;
    arc.fillet = true;
    arc.centre = centre;
    arc.radius = radius;
    // Screen angles count counter-clockwise with y down.
    const double s1 = std::atan2(-(t1.y - centre.y), t1.x - centre.x);
    const double s2 = std::atan2(-(t2.y - centre.y), t2.x - centre.x);
    double sweep = NormaliseAngle(s2 - s1);
    if (sweep > kPi) {
      arc.startAngle = s2;
      arc.endAngle = s2 + (2 * kPi - sweep);
    } else {
      arc.startAngle = s1;
      arc.endAngle = s1 + sweep;
    }
    out.push_back(l1);
    out.push_back(arc);
    out.push_back(l2);
  }
}

}  // namespace

void DrawPrimitive(raster::CRaster& raster, const Primitive& primitive) {
  const double half = primitive.width / 2.0;
  switch (primitive.kind) {
    case PrimitiveKind::Line:
      DrawCapsule(raster, primitive.points[0], primitive.points[1], half);
      break;
    case PrimitiveKind::Polyline:
      for (std::size_t i = 1; i < primitive.points.size(); ++i) {
        DrawCapsule(raster, primitive.points[i - 1], primitive.points[i], half);
      }
      break;
    case PrimitiveKind::Circle:
      DrawRing(raster, primitive, false);
      break;
    case PrimitiveKind::Arc:
      DrawRing(raster, primitive, true);
      break;
    case PrimitiveKind::DashedLine:
    case PrimitiveKind::DashDotLine:
      EachDash(
          primitive, [&](GenPoint a, GenPoint b) { DrawCapsule(raster, a, b, half); },
          [&](GenPoint p) { DrawCapsule(raster, p, p, half); });
      break;
    case PrimitiveKind::Speck: {
      const int size = std::max(1, static_cast<int>(primitive.width));
      const int x0 = static_cast<int>(primitive.points[0].x);
      const int y0 = static_cast<int>(primitive.points[0].y);
      for (int y = y0; y < y0 + size; ++y) FillSpan(raster, y, x0, x0 + size - 1);
      break;
    }
  }
}

bool GenerateSheet(const SheetSpec& spec, Sheet& sheet) {
  sheet.primitives.clear();
  if (!sheet.raster.create(spec.width, spec.height, 1)) return false;
  Random random(spec.seed);
  const double megapixels = static_cast<double>(spec.width) * spec.height / 1e6;
  const auto count = [&](double perMegapixel) {
    return std::max(1, static_cast<int>(std::lround(perMegapixel * megapixels * spec.density)));
  };
  // Stroke lengths and radii stay those of a drawing at 300 dpi whatever the
  // sheet size, so the ink share (about a tenth) does not grow with it.
  const double maxLength = std::clamp(std::min(spec.width, spec.height) * 0.4, 60.0, 800.0);
  std::vector<Primitive>& out = sheet.primitives;

  // A frame, as on a drawing sheet.
  {
    const double inset = 8;
    const GenPoint corners[4] = {{inset, inset},
                                 {spec.width - 1 - inset, inset},
                                 {spec.width - 1 - inset, spec.height - 1 - inset},
                                 {inset, spec.height - 1 - inset}};
    for (int i = 0; i < 4; ++i) {
      Primitive side;
      side.kind = PrimitiveKind::Line;
      side.width = 5;
      side.points = {corners[i], corners[(i + 1) % 4]};
      out.push_back(side);
    }
  }
  for (int i = count(10); i > 0; --i) out.push_back(RandomLine(random, spec, maxLength));
  // A few long lines across the sheet (axes, section lines).
  for (int i = count(0.3); i > 0; --i) {
    Primitive line = RandomLine(random, spec, std::max(spec.width, spec.height));
    line.width = std::min(line.width, 3.0);
    out.push_back(line);
  }
  for (int i = count(2.5); i > 0; --i) {
    Primitive circle;
    circle.kind = PrimitiveKind::Circle;
    circle.width = RandomStrokeWidth(random, spec);
    circle.radius = random.range(8 + circle.width, std::max(20.0, maxLength / 3));
    circle.centre = RandomPoint(random, spec, circle.radius + circle.width);
    out.push_back(circle);
  }
  for (int i = count(2.5); i > 0; --i) {
    Primitive arc;
    arc.kind = PrimitiveKind::Arc;
    arc.width = RandomStrokeWidth(random, spec);
    arc.radius = random.range(10 + arc.width, std::max(25.0, maxLength / 2));
    arc.centre = RandomPoint(random, spec, arc.radius + arc.width);
    arc.startAngle = random.range(0, 2 * kPi);
    arc.endAngle = arc.startAngle + random.range(0.5, 1.6 * kPi);
    out.push_back(arc);
  }
  for (int i = count(3); i > 0; --i) {
    Primitive dashed = RandomLine(random, spec, maxLength);
    dashed.kind = PrimitiveKind::DashedLine;
    dashed.width = std::min(dashed.width, 4.0);
    dashed.dashLength = random.range(8, 24);
    dashed.gapLength = random.range(4, 10);
    out.push_back(dashed);
  }
  // T junctions: a stem ending on the middle of a bar; X junctions: two
  // crossing lines.
  for (int i = count(2); i > 0; --i) {
    Primitive bar = RandomLine(random, spec, maxLength);
    const int barIndex = static_cast<int>(out.size());
    out.push_back(bar);
    const GenPoint a = bar.points[0];
    const GenPoint b = bar.points[1];
    const GenPoint mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    if (length < 1) continue;
    const double nx = -(b.y - a.y) / length;
    const double ny = (b.x - a.x) / length;
    const double stem = random.range(20, maxLength / 2);
    Primitive tee;
    tee.kind = PrimitiveKind::Line;
    tee.width = RandomStrokeWidth(random, spec);
    tee.points = {mid, GenPoint{std::clamp(mid.x + nx * stem, 2.0, spec.width - 3.0),
                                std::clamp(mid.y + ny * stem, 2.0, spec.height - 3.0)}};
    tee.joins = barIndex;
    out.push_back(tee);
  }
  for (int i = count(2); i > 0; --i) {
    Primitive first = RandomLine(random, spec, maxLength);
    const int firstIndex = static_cast<int>(out.size());
    out.push_back(first);
    const GenPoint a = first.points[0];
    const GenPoint b = first.points[1];
    const GenPoint mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
    const double angle = std::atan2(b.y - a.y, b.x - a.x) + random.range(0.5, kPi - 0.5);
    const double half = random.range(15, maxLength / 2);
    Primitive cross;
    cross.kind = PrimitiveKind::Line;
    cross.width = RandomStrokeWidth(random, spec);
    const auto clampPoint = [&](double x, double y) {
      return GenPoint{std::clamp(x, 2.0, spec.width - 3.0), std::clamp(y, 2.0, spec.height - 3.0)};
    };
    cross.points = {clampPoint(mid.x - half * std::cos(angle), mid.y - half * std::sin(angle)),
                    clampPoint(mid.x + half * std::cos(angle), mid.y + half * std::sin(angle))};
    cross.joins = firstIndex;
    out.push_back(cross);
  }
  // Text-like strokes: rows of small glyphs of two to four strokes.
  for (int i = count(3); i > 0; --i) {
    GenPoint origin = RandomPoint(random, spec, 60);
    const double size = random.range(8, 30);
    const double width = std::min(static_cast<double>(random.integer(1, 3)), std::max(1.0, size / 6));
    const int glyphs = random.integer(3, 10);
    for (int g = 0; g < glyphs && origin.x + size < spec.width - 4; ++g) {
      Primitive glyph;
      glyph.kind = PrimitiveKind::Polyline;
      glyph.width = width;
      const int strokes = random.integer(2, 4);
      for (int s = 0; s <= strokes; ++s) {
        glyph.points.push_back(
            GenPoint{origin.x + random.range(0, size * 0.7), origin.y + random.range(0, size)});
      }
      out.push_back(glyph);
      origin.x += size * 0.9;
    }
  }
  if (spec.fidelityCases) AddFidelityCases(random, spec, maxLength, out);
  if (spec.noise) {
    for (int i = count(150); i > 0; --i) {
      Primitive speck;
      speck.kind = PrimitiveKind::Speck;
      speck.width = random.chance(0.8) ? 1 : 2;
      speck.points = {GenPoint{static_cast<double>(random.integer(0, spec.width - 3)),
                               static_cast<double>(random.integer(0, spec.height - 3))}};
      out.push_back(speck);
    }
  }
  for (const Primitive& primitive : out) DrawPrimitive(sheet.raster, primitive);
  return true;
}

std::string SheetLabel(const SheetSpec& spec) {
  return std::to_string(spec.width) + "x" + std::to_string(spec.height);
}

const raster::CRaster& SharedSheetRaster(int width, int height) {
  static std::map<std::pair<int, int>, std::unique_ptr<Sheet>> sheets;
  std::unique_ptr<Sheet>& sheet = sheets[{width, height}];
  if (!sheet) {
    sheet = std::make_unique<Sheet>();
    SheetSpec spec;
    spec.width = width;
    spec.height = height;
    if (!GenerateSheet(spec, *sheet)) std::abort();
  }
  return sheet->raster;
}

}  // namespace quillon::bench
