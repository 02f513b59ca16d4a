#include "model/polyline.h"

#include <algorithm>
#include <cmath>

#include "model/draw_view.h"
#include "model/end_stub.h"

namespace quillon::model {

namespace {

// Window tests without a view approximate every arc by this many chords.
constexpr double kWindowTestStep = -25.0;
// Upper bound of chords per arc segment, so that a tiny step on a huge
// radius cannot exhaust memory.
constexpr double kMaxChordsPerArc = 65536.0;

PolyVertex approxPoint(double x, double y, double width, int source) {
  PolyVertex v;
  v.x = x;
  v.y = y;
  v.startWidth = width;
  v.endWidth = width;
  v.mark = source;
  return v;
}

}  // namespace

CPolyLine::CPolyLine() : CEntity(EntityType::PolyLine) {}

void CPolyLine::verticesChanged() {
  approxDirty_ = true;
  straightStale_ = true;
}

VertexList& CPolyLine::editVertices() {
  verticesChanged();
  return vertices_;
}

bool CPolyLine::appendVertex(const PolyVertex& v) {
  if (!vertices_.empty() && vertices_.back().x == v.x && vertices_.back().y == v.y) return false;
  vertices_.push_back(v);
  if (v.hasBulge()) straight_ = false;
  approxDirty_ = true;
  return true;
}

bool CPolyLine::appendVertex(double x, double y, double width, double bulge) {
  PolyVertex v;
  v.x = x;
  v.y = y;
  v.startWidth = width;
  v.endWidth = width;
  v.bulge = bulge;
  return appendVertex(v);
}

void CPolyLine::removeVertex(std::size_t index) {
  if (index >= vertices_.size()) return;
  vertices_.erase(vertices_.begin() + static_cast<std::ptrdiff_t>(index));
  verticesChanged();
}

void CPolyLine::clearVertices() {
  // Frees the storage too: connect keeps emptied polylines until it ends.
  VertexList().swap(vertices_);
  approx_.reset();
  straight_ = true;
  straightStale_ = false;
  approxDirty_ = true;
}

void CPolyLine::takeVertices(CPolyLine& other, std::size_t from) {
  if (vertices_.empty() && from == 0) {
    // Nothing to keep here: take other's storage instead of copying it.
    vertices_.swap(other.vertices_);
  } else if (from < other.vertices_.size()) {
    vertices_.insert(vertices_.end(), other.vertices_.begin() + static_cast<std::ptrdiff_t>(from),
                     other.vertices_.end());
  }
  other.clearVertices();
  verticesChanged();
}

bool CPolyLine::isStraight() const {
  if (straightStale_) {
    straight_ = std::none_of(vertices_.begin(), vertices_.end(), [](const PolyVertex& v) { return v.hasBulge(); });
    straightStale_ = false;
  }
  return straight_;
}

Point3 CPolyLine::getStartPoint() const { return vertices_.empty() ? Point3{} : vertices_.front().point(); }

Point3 CPolyLine::getEndPoint() const { return vertices_.empty() ? Point3{} : vertices_.back().point(); }

double CPolyLine::getLength() const {
  double total = 0.0;
  const std::size_t n = vertices_.size();
  for (std::size_t i = 0; i + 1 < n; ++i) {
    total += segmentLength(vertices_[i].point(), vertices_[i + 1].point(), vertices_[i].bulge);
  }
  if (isClosed() && n >= 2) total += segmentLength(vertices_[n - 1].point(), vertices_[0].point(), vertices_[n - 1].bulge);
  setStoredLength(total);
  return total;
}

bool CPolyLine::getEndDirection(Point3& endPoint, Point3& directionPoint, double conDis) const {
  const std::size_t n = vertices_.size();
  if (n == 0) return false;
  const bool atEnd = endSelector() == 1;
  const std::size_t e = atEnd ? n - 1 : 0;
  const std::size_t d = n == 1 ? e : (atEnd ? n - 2 : 1);
  endPoint = vertices_[e].point();
  directionPoint = vertices_[d].point();
  if (isSingleSegment()) return true;
  // A very short end segment says little about the direction: look one
  // vertex further when the following segment is much longer.
  const double w = vertices_[atEnd ? n - 2 : 0].startWidth;
  const double threshold = std::max(conDis, w) * 1.5;
  const Point3 next = vertices_[atEnd ? n - 3 : 2].point();
  if (endStub(endPoint, directionPoint, next, threshold)) directionPoint = next;
  return true;
}

void CPolyLine::autoClose(double conDis) {
  if (isClosed() || vertices_.size() < 3) return;
  const PolyVertex& f = vertices_.front();
  const PolyVertex& l = vertices_.back();
  if (std::fabs(f.x - l.x) <= conDis && std::fabs(f.y - l.y) <= conDis) {
    const bool duplicate = f.x == l.x && f.y == l.y;
    setClosed(true);
    if (duplicate) removeVertex(vertices_.size() - 1);
  }
}

void CPolyLine::setWidth(double width) {
  width_ = width;
  for (PolyVertex& v : vertices_) {
    v.startWidth = width;
    v.endWidth = width;
  }
  approxDirty_ = true;
}

double CPolyLine::getWidth() const { return vertices_.empty() ? width_ : vertices_.front().startWidth; }

void CPolyLine::roundWidth(const WidthRounder& round) {
  if (!round) return;
  width_ = round(width_);
  const std::size_t segmentStarts = isClosed() ? vertices_.size() : (vertices_.empty() ? 0 : vertices_.size() - 1);
  for (std::size_t i = 0; i < segmentStarts; ++i) vertices_[i].startWidth = round(vertices_[i].startWidth);
  approxDirty_ = true;
}

void CPolyLine::reverse() {
  const std::size_t n = vertices_.size();
  if (n > 0) {
    // The new first vertex's width and the closing arc, before the shift.
    const double firstWidth = vertices_.back().startWidth;
    const double closingBulge = vertices_.back().bulge;
    std::reverse(vertices_.begin(), vertices_.end());
    // Segment k of the reversed ring is old segment n−2−k run backwards, so it
    // takes that segment's width and its bulge negated: both sit on the vertex
    // that now follows; a closing arc stays on the last vertex.
    for (std::size_t k = 0; k + 1 < n; ++k) {
      vertices_[k].startWidth = vertices_[k + 1].startWidth;
      vertices_[k].bulge = -vertices_[k + 1].bulge;
    }
    vertices_[n - 1].startWidth = isClosed() ? firstWidth : 0.0;
    vertices_[n - 1].bulge = isClosed() ? -closingBulge : 0.0;
  }
  setEndSelector(1 - endSelector());
  verticesChanged();
}

const VertexList& CPolyLine::approximation() const {
  static const VertexList none;
  return approx_ ? approx_->points : none;
}

void CPolyLine::buildApproximation(double step) const {
  if (!approx_) approx_ = std::make_unique<Approximation>();
  VertexList& points = approx_->points;
  points.clear();
  approx_->step = step;
  const std::size_t n = vertices_.size();
  const bool closed = isClosed();
  for (std::size_t i = 0; i < n; ++i) {
    const PolyVertex& v = vertices_[i];
    const std::size_t pi = i == 0 ? n - 1 : i - 1;
    const PolyVertex& p = vertices_[pi];
    const bool openHead = i == 0 && !closed;
    if (!openHead && distance(p.point(), v.point()) == 0.0) continue;
    std::optional<BulgeArc> arc;
    if (i != 0 || closed) arc = bulgeToArc(p.point(), v.point(), p.bulge);
    if (!arc) {
      points.push_back(approxPoint(v.x, v.y, v.startWidth, static_cast<int>(i)));
      continue;
    }
    const double r = arc->radius;
    if (2.0 * r - kTolerance <= step) {
      points.push_back(approxPoint(v.x, v.y, v.startWidth, static_cast<int>(pi)));
      continue;
    }
    double a0 = normalizeAngle(arc->startAngle);
    const double a1 = normalizeAngle(arc->endAngle);
    if (arc->counterClockwise) {
      while (a1 < a0) a0 -= kTwoPi;
    } else {
      while (a1 > a0) a0 += kTwoPi;
    }
    const double sweep = std::fabs(a1 - a0);
    // A negative step asks for |step| chords over the arc's sweep.
    double angleStep = step >= 0.0 ? 2.0 * std::asin(std::min(1.0, step / (2.0 * r))) : sweep / std::fabs(step);
    angleStep = std::max(angleStep, sweep / kMaxChordsPerArc);
    if (angleStep > 0.0 && std::isfinite(angleStep)) {
      if (arc->counterClockwise) {
        for (double a = a0 + angleStep; a < a1 - kTolerance; a += angleStep) {
          const Point3 q = pointOnCircle(arc->centre, r, a);
          points.push_back(approxPoint(q.x, q.y, p.startWidth, static_cast<int>(pi)));
        }
      } else {
        for (double a = a0 - angleStep; a > a1 + kTolerance; a -= angleStep) {
          const Point3 q = pointOnCircle(arc->centre, r, a);
          points.push_back(approxPoint(q.x, q.y, p.startWidth, static_cast<int>(pi)));
        }
      }
    }
    const Point3 end = pointOnCircle(arc->centre, r, a1);
    points.push_back(approxPoint(end.x, end.y, v.startWidth, static_cast<int>(i)));
  }
}

const VertexList& CPolyLine::displayPoints(double viewStep) const {
  if (isStraight()) return vertices_;
  const bool reusable = approx_ && !approxDirty_ && approx_->step >= 0.2 * viewStep && approx_->step <= viewStep &&
                        approx_->step >= kTolerance;
  if (!reusable) {
    buildApproximation(viewStep);
    approxDirty_ = false;
  }
  return approx_->points;
}

const VertexList& CPolyLine::geometryPoints() const {
  if (isStraight()) return vertices_;
  if (!approx_ || approxDirty_) {
    buildApproximation(approx_ && approx_->step != 0.0 ? approx_->step : kWindowTestStep);
    approxDirty_ = false;
  }
  return approx_->points;
}

void CPolyLine::draw(DrawView& view) {
  if (vertices_.size() < 2) return;
  const auto& points = displayPoints(view.pixelSize());
  const DrawStyle style{displayColour(), selected(), width_};
  setDrawn(isClosed() ? view.drawClosedPolyline(points, style) : view.drawOpenPolyline(points, style));
}

bool CPolyLine::getExtents(Box* running, Box& box) const {
  const auto& points = geometryPoints();
  if (points.empty()) return false;
  box = Box::around(points.front().x, points.front().y);
  for (const PolyVertex& v : points) box.include(v.x, v.y);
  cacheExtents(box);
  if (running != nullptr) running->include(box);
  return true;
}

bool CPolyLine::hitWindow(const Point3& p1, const Point3& p2) const {
  if (!drawn()) return false;
  if (isInsideWindow(p1, p2)) return true;
  if (vertices_.empty() || !windowOverlaps(p1, p2, cachedExtents())) return false;
  const auto& points = geometryPoints();
  if (points.size() == 1) return segmentHitsWindow(points[0].point(), points[0].point(), p1, p2);
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    if (segmentHitsWindow(points[i].point(), points[i + 1].point(), p1, p2)) return true;
  }
  return isClosed() && segmentHitsWindow(points.back().point(), points.front().point(), p1, p2);
}

namespace {
// The vertex a segment starting at i ends at, or n when there is none.
std::size_t segmentEnd(std::size_t i, std::size_t n, bool closed) {
  if (i + 1 < n) return i + 1;
  return closed && n >= 2 ? 0 : n;
}
}  // namespace

int CPolyLine::getGripCount() const { return static_cast<int>(getGripPoints().size()); }

GripPoints CPolyLine::getGripPoints() const {
  GripPoints grips;
  const std::size_t n = vertices_.size();
  int index = 0;
  for (std::size_t i = 0; i < n; ++i) {
    grips.push_back(GripPoint{vertices_[i].point(), index++});
    const std::size_t j = segmentEnd(i, n, isClosed());
    if (j < n && bulgeToArc(vertices_[i].point(), vertices_[j].point(), vertices_[i].bulge)) {
      grips.push_back(
          GripPoint{segmentMidpoint(vertices_[i].point(), vertices_[j].point(), vertices_[i].bulge), index++});
    }
  }
  return grips;
}

bool CPolyLine::moveGrip(const Point3& p, int index) {
  if (index < 0) return false;
  const std::size_t n = vertices_.size();
  const bool closed = isClosed();
  int g = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = segmentEnd(i, n, closed);
    const bool arcStarts = j < n && bulgeToArc(vertices_[i].point(), vertices_[j].point(), vertices_[i].bulge);
    if (g == index) {
      // Vertex grip: arcs at this vertex keep passing through their old middles.
      const std::size_t before = i > 0 ? i - 1 : (closed && n >= 2 ? n - 1 : n);
      std::optional<Point3> inMid, outMid;
      if (before < n && bulgeToArc(vertices_[before].point(), vertices_[i].point(), vertices_[before].bulge)) {
        inMid = segmentMidpoint(vertices_[before].point(), vertices_[i].point(), vertices_[before].bulge);
      }
      if (arcStarts) outMid = segmentMidpoint(vertices_[i].point(), vertices_[j].point(), vertices_[i].bulge);
      vertices_[i].setPoint(p);
      if (inMid) {
        if (auto b = bulgeFromThreePoints(vertices_[before].point(), *inMid, p)) vertices_[before].bulge = *b;
      }
      if (outMid) {
        if (auto b = bulgeFromThreePoints(p, *outMid, vertices_[j].point())) vertices_[i].bulge = *b;
      }
      verticesChanged();
      return true;
    }
    ++g;
    if (arcStarts) {
      if (g == index) {
        const auto b = bulgeFromThreePoints(vertices_[i].point(), p, vertices_[j].point());
        if (!b) return false;
        vertices_[i].bulge = *b;
        verticesChanged();
        return true;
      }
      ++g;
    }
  }
  return false;
}

void CPolyLine::assign(const CEntity& other) {
  assignBase(other);
  if (const auto* line = dynamic_cast<const CPolyLine*>(&other)) {
    vertices_ = line->vertices_;
    approx_.reset();
    verticesChanged();
  }
}

std::unique_ptr<CEntity> CPolyLine::clone() const {
  auto copy = std::make_unique<CPolyLine>();
  copy->assign(*this);
  return copy;
}

}  // namespace quillon::model
