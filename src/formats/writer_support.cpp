#include "formats/writer_support.h"

#include <cerrno>
#include <cstring>

#include <charconv>
#include <cmath>
#include <numbers>

#include "formats/save_job.h"
#include "model/entity.h"
#include "model/graph.h"
#include "model/layer.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::formats {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
}

std::optional<SegmentArc> BulgeArc(double px, double py, double qx, double qy, double bulge) {
  // Beyond the model's own test, a segment whose ends coincide or whose arc
  // bulges by no more than the tolerance is drawn straight.
  if (model::isZeroVector(qx - px, qy - py)) return std::nullopt;
  const model::Point3 p{px, py, 0.0};
  const model::Point3 q{qx, qy, 0.0};
  std::optional<model::BulgeArc> arc = model::bulgeToArc(p, q, bulge);
  if (!arc || !(model::distance(p, q) / 2.0 * std::fabs(bulge) > kCoordEpsilon)) return std::nullopt;
  SegmentArc out;
  out.cx = arc->centre.x;
  out.cy = arc->centre.y;
  out.radius = arc->radius;
  out.a0 = model::normalizeAngle(arc->startAngle);
  out.a1 = model::normalizeAngle(arc->endAngle);
  out.ccw = arc->counterClockwise;
  return out;
}

double SweepOf(const SegmentArc& arc) {
  double a0 = arc.a0;
  if (arc.ccw) {
    while (arc.a1 < a0) a0 -= kTwoPi;
    return arc.a1 - a0;
  }
  while (arc.a1 > a0) a0 += kTwoPi;
  return a0 - arc.a1;
}

settings::Rgb WriterColor(settings::ColorIndex own, settings::ColorIndex layer, bool ownSevenIsBlack) {
  if (ownSevenIsBlack && own == settings::kColorWhite) return settings::kRgbBlack;
  settings::ColorIndex index = (own <= 0 || own == settings::kColorByLayer) ? layer : own;
  return settings::ResolveColor(index, nullptr, true, settings::kRgbWhite);
}

settings::Rgb WriterColor(const model::CEntity& entity, bool ownSevenIsBlack) {
  const settings::ColorIndex layer = entity.layer() ? entity.layer()->colour() : settings::kColorByLayer;
  return WriterColor(entity.colour(), layer, ownSevenIsBlack);
}

PathRing RingOf(const model::CPolyLine& polyline) {
  PathRing ring;
  ring.reserve(polyline.vertices().size());
  for (const model::PolyVertex& v : polyline.vertices()) ring.push_back({v.x, v.y, v.startWidth, v.bulge});
  return ring;
}

std::vector<PathRing> OutlinesOf(const model::CPolyPolygon& polyPolygon) {
  std::vector<PathRing> outlines;
  outlines.reserve(polyPolygon.outlineCount());
  for (const auto& outline : polyPolygon.outlines()) outlines.push_back(RingOf(*outline));
  return outlines;
}

std::vector<Point2> PointsOf(const model::CSolid& solid) {
  std::vector<Point2> points;
  for (const model::Point3& p : solid.points()) points.push_back({p.x, p.y});
  return points;
}

std::string FormatFixed(double value, int decimals) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "0";
  return std::string(text, end);
}

bool TextBuffer::fail(std::string message) {
  if (!failed_) {
    failed_ = true;
    error_ = std::move(message);
  }
  return false;
}

bool TextBuffer::check(double value) {
  if (!std::isfinite(value)) return fail("the drawing holds a coordinate that is not a number");
  if (std::fabs(value) > kMaxWritableValue) return fail("the drawing holds a coordinate too large to write");
  return true;
}

void TextBuffer::fixed(double value, int decimals) {
  if (!check(value)) value = 0.0;
  out_.append(FormatFixed(value, decimals));
}

void TextBuffer::trimmed(double value, int decimals) {
  if (!check(value)) value = 0.0;
  std::string s = FormatFixed(value, decimals);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  out_.append(s);
}

void TextBuffer::integer(long long value) { out_.append(std::to_string(value)); }

Status PrepareDrawing(model::CGraph& drawing, Box& extents) {
  if (drawing.totalCount() == 0 || !drawing.getDrawingExtents(extents, true, false)) {
    return Status::Fail("the drawing has no entities");
  }
  for (double v : {extents.minX, extents.maxX, extents.minY, extents.maxY}) {
    if (!std::isfinite(v) || std::fabs(v) > kMaxWritableValue) {
      return Status::Fail("the drawing holds a coordinate that is not a number or too large to write");
    }
  }
  return Status::Ok();
}

Status VisitEntities(model::CGraph& drawing, SaveProgress* progress,
                     const std::function<bool(const model::CEntity&)>& visit,
                     const std::function<std::string()>& writerError) {
  for (const auto& layer : drawing.layers()) {
    for (const auto& entity : *layer) {
      if (!visit(*entity)) {
        std::string reason = writerError ? writerError() : std::string();
        return Status::Fail(reason.empty() ? "an entity could not be written" : reason);
      }
      if (progress && !progress->EntityWritten()) return Status::Fail("cancelled");
    }
  }
  return Status::Ok();
}

bool FinishSave(SaveContext& context, const Status& status, const std::string& bytes) {
  if (!status) {
    context.error = status.message();
    return false;
  }
  errno = 0;
  if (!context.file || std::fwrite(bytes.data(), 1, bytes.size(), context.file) != bytes.size() ||
      std::fflush(context.file) != 0) {
    context.error = std::string("write failed: ") + std::strerror(errno ? errno : EIO);
    return false;
  }
  return true;
}

}  // namespace quillon::formats
