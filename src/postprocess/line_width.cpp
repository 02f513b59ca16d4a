#include "postprocess/line_width.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <vector>

#include "postprocess/stage_common.h"

namespace quillon::postprocess {

namespace {

using model::PolyVertex;

// A segment shorter than this is sampled at its two ends only.
constexpr double kShortSegment = 5.0;
// Samples further than this share of the mean from it make the segment take
// its smallest sample: a crossing stroke widens single samples.
constexpr double kSampleSpread = 0.1;
// Widths at or below this are no width.
constexpr double kNoWidth = 0.01;
// A two-vertex polyline no longer than this share of its width is a blob.
constexpr double kBlobRatio = 0.95;
// The strip around the next segment within which an end vertex is folded
// away, as a share of that segment's width.
constexpr double kBandRatio = 0.6;

struct Pixel {
  int column;
  int row;
};

// The pixel a drawing point was traced from (y up in the drawing, rows down
// in the raster).
Pixel pixelOf(const raster::CRaster& raster, double x, double y) {
  return Pixel{static_cast<int>(x + 0.5), raster.height() - 1 - static_cast<int>(y + 0.5)};
}

int inkRun(const raster::CRaster& raster, double x, double y, double toX, double toY) {
  const Pixel from = pixelOf(raster, x, y);
  const Pixel to = pixelOf(raster, toX, toY);
  return raster.inkRunAlongLine(from.column, from.row, to.column, to.row);
}

// Folds the end segment E–N onto the line of N2–N (see validateAfterWidth).
// Indices into v; e is 0 or the last index. Answers whether E was removed.
bool trimEnd(std::vector<PolyVertex>& v, size_t e, size_t n, size_t n2, double band, double endWidth) {
  const double ex = v[e].x - v[n].x, ey = v[e].y - v[n].y;
  const double f = std::hypot(ex, ey);
  if ((ex == 0.0 && ey == 0.0) || f == 0.0) {
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(e));
    return true;
  }
  const double gx = v[n].x - v[n2].x, gy = v[n].y - v[n2].y;
  const double g = std::hypot(gx, gy);
  if (g / 2.0 <= f || g < kNoWidth) return false;
  const double theta = angleBetween(gx, gy, ex, ey);
  const double along = f * std::cos(theta);
  const auto fold = [&] {
    v[n].x += along * gx / g;
    v[n].y += along * gy / g;
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(e));
  };
  if (endWidth * 2.0 > f && band * 2.5 < g && theta < model::kPi / 3.0 && f < 5.0 * g) {
    fold();
    return true;
  }
  if (band > 0.005) {
    // Distance of E from the line through N2 and N.
    const double offset = std::fabs(gx * (v[e].y - v[n2].y) - gy * (v[e].x - v[n2].x)) / g;
    if (offset <= band) {
      fold();
      return true;
    }
  }
  return false;
}

}  // namespace

double sampleStrokeWidth(const raster::CRaster& raster, double x, double y, double dx, double dy) {
  const Pixel centre = pixelOf(raster, x, y);
  const Pixel side = pixelOf(raster, x - dy, y + dx);
  const int a = inkRun(raster, x, y, x - dy, y + dx);
  const int b = inkRun(raster, x, y, x + dy, y - dx);
  int s = 0;
  if (a >= 0 && b >= 0) {
    s = a + b;
  } else if (a >= 0) {
    s = 2 * a;
  } else if (b >= 0) {
    s = 2 * b;
  } else {
    return -1.0;
  }
  if (s <= 2) return 0.0;
  // The probes count pixels; a step of a slanted probe is longer than a
  // pixel, so the count is scaled to the distance it covers. Without this a
  // 45° stroke would measure 1/√2 of its width.
  const int columns = std::abs(side.column - centre.column), rows = std::abs(side.row - centre.row);
  const int steps = std::max(columns, rows);
  const double stepLength = steps > 0 ? std::hypot(columns, rows) / steps : 1.0;
  return (s - 1.0) * stepLength;  // the centre pixel was counted by both probes
}

double measureSegmentWidth(const raster::CRaster& raster, const PolyVertex& v, const PolyVertex& q) {
  const double dx = q.x - v.x, dy = q.y - v.y;
  const double f = std::hypot(dx, dy);
  double samples[5];
  int valid = 0;
  if (f >= kShortSegment) {
    for (int i = 1; i <= 5; ++i) {
      const double s = sampleStrokeWidth(raster, v.x + dx * i / 6.0, v.y + dy * i / 6.0, dx, dy);
      if (s >= 0.0) samples[valid++] = s;
    }
  } else {
    for (const PolyVertex* p : {&v, &q}) {
      const double s = sampleStrokeWidth(raster, p->x, p->y, dx, dy);
      if (s >= 0.0) samples[valid++] = s;
    }
  }
  if (valid == 0) return 0.0;
  double sum = 0.0;
  double smallest = samples[0];
  for (int i = 0; i < valid; ++i) {
    sum += samples[i];
    smallest = std::min(smallest, samples[i]);
  }
  const double average = sum / valid;
  if (average <= kNoWidth) return 0.0;
  for (int i = 0; i < valid; ++i) {
    if (std::fabs(samples[i] - average) > kSampleSpread * average) return smallest;
  }
  return average;
}

void measurePolylineWidths(model::CPolyLine& polyline, const raster::CRaster& raster) {
  const size_t n = polyline.vertices().size();
  if (n < 2) return;
  std::vector<PolyVertex>& v = polyline.editVertices();
  for (size_t i = 0; i + 1 < n; ++i) v[i].startWidth = measureSegmentWidth(raster, v[i], v[i + 1]);
  if (polyline.isClosed()) v[n - 1].startWidth = measureSegmentWidth(raster, v[n - 1], v[0]);
}

bool validateAfterWidth(model::CPolyLine& polyline) {
  const auto& vertices = polyline.vertices();
  if (vertices.empty()) return true;
  if (vertices.size() == 2) {
    return model::distance(vertices[0].point(), vertices[1].point()) > kBlobRatio * vertices[0].startWidth;
  }
  // A closed ring has no ends, so nothing of it is a hook.
  if (vertices.size() < 3 || polyline.isClosed()) return true;
  std::vector<PolyVertex> v = vertices;
  bool changed = trimEnd(v, 0, 1, 2, kBandRatio * v[1].startWidth, v[0].startWidth);
  if (v.size() >= 3) {
    const size_t last = v.size() - 1;
    changed |= trimEnd(v, last, last - 1, last - 2, kBandRatio * v[last - 2].startWidth, v[last - 1].startWidth);
  }
  if (changed) polyline.editVertices() = std::move(v);
  return true;
}

bool calculateWidthsLayer(model::CLayer& layer, const raster::CRaster& raster, platform::ProgressSink* sink) {
  const StageProgress stage(sink);
  stage.begin("ProcessCalcLineWidth", "Calculate line width");
  const uint32_t n = layer.recount();
  const double step = n > 0 ? 50.0 / n : 0.0;
  uint32_t i = 0;
  for (const auto& entity : layer) {
    ++i;
    if (entity->type() == model::EntityType::PolyLine) {
      measurePolylineWidths(static_cast<model::CPolyLine&>(*entity), raster);
    }
    if (stage.hasSink()) {
      if (stage.stopRequested()) return false;
      stage.progress(static_cast<int>(i * step));
    }
  }
  i = 0;
  for (model::CEntity* entity = layer.first(); entity != nullptr;) {
    model::CEntity* following = entity->next();
    ++i;
    if (entity->type() == model::EntityType::PolyLine &&
        !validateAfterWidth(static_cast<model::CPolyLine&>(*entity))) {
      layer.remove(entity);
    }
    if (stage.hasSink()) {
      if (stage.stopRequested()) return false;
      stage.progress(static_cast<int>(step * i) + 50);
    }
    entity = following;
  }
  stage.end();
  return true;
}

bool roundWidthsLayer(model::CLayer& layer, const settings::WidthSeries& series, double pixelsPerMetre,
                      platform::ProgressSink* sink) {
  const StageProgress stage(sink);
  stage.begin("ProcessRoundWidth", "Round width");
  const uint32_t n = layer.recount();
  const model::WidthRounder round = [&](double width) { return series.Round(width, pixelsPerMetre); };
  uint32_t i = 0;
  for (const auto& entity : layer) {
    ++i;
    entity->roundWidth(round);
    if (stage.hasSink()) {
      if (stage.stopRequested()) return false;
      stage.progress(static_cast<int>(static_cast<uint64_t>(i) * 100 / n));
    }
  }
  stage.end();
  return true;
}

}  // namespace quillon::postprocess
