#include "trace/polyline_generation.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "model/geometry.h"

#include "postprocess/connect.h"
#include "postprocess/refined_arcs.h"
#include "postprocess/stage_common.h"
#include "postprocess/straighten.h"
#include "trace/trace_result.h"

namespace quillon::trace {

namespace {

// A chord shorter than this (squared) counts as a point.
constexpr double kDegenerateChord2 = 1e-10;
// Below this tolerance polylines keep every traced point.
constexpr double kNoTolerance = 0.00001;
// Traced coordinates are integers or integers + 0.5, so comparisons are
// exact in practice; the slack only guards against representation noise.
constexpr double kSame = 1e-9;
// Centre-line stubs of at most this length are dropped above 50 dpi.
constexpr double kStubLength = 3.0;
constexpr int kStubMinDpi = 50;
// Outline polylines of 3 vertices shorter than this are dropped.
constexpr double kOutlineMinLength = 3.5;

bool same(double a, double b) { return std::fabs(a - b) < kSame; }
bool oneApart(double a, double b) { return same(std::fabs(a - b), 1.0); }

double pointDistance(const TracePoint& p, const TracePoint& q) { return std::hypot(p.x - q.x, p.y - q.y); }

// Moves the chosen vertex e one pixel onto the column or row of the run
// that leads to it, so that an axis-parallel stroke ending in a one-pixel
// step comes out exactly axis-parallel.
void snap(std::vector<TracePoint>& points, size_t c, size_t k) {
  if (k < c + 2) return;  // no point in between
  const TracePoint& s = points[c];
  const TracePoint& r = points[c + 1];
  const TracePoint& q = points[k - 1];
  TracePoint& e = points[k];
  if (k > c + 2 && !(same(r.x, q.x) && same(r.y, q.y))) {
    if (same(r.x, q.x) && oneApart(e.x, q.x)) {
      e.x = q.x;
    } else if (same(r.y, q.y) && oneApart(e.y, q.y)) {
      e.y = q.y;
    }
    return;
  }
  const TracePoint& m = r;
  if (same(s.x, m.x) && oneApart(e.x, m.x)) {
    e.x = s.x;
  } else if (same(s.y, m.y) && oneApart(e.y, m.y)) {
    e.y = s.y;
  }
}

void appendPoint(model::CPolyLine& polyline, const TracePoint& p, int height) {
  polyline.appendVertex(p.x, static_cast<double>(height - 1) - p.y);
}

}  // namespace

PolylineGenerationParams PolylineGenerationParams::fromOptions(const settings::TraceOption& options,
                                                               int rasterHeight, int dotsPerInch) {
  PolylineGenerationParams params;
  params.method = options.i_AutoTraceWhat;
  params.tolerance = options.StraightenTolerance();
  params.maxStride = std::max(2, options.tracerStepLimit);
  params.straightenDistance = options.d_MaxDis;
  params.registerEnds = options.b_Connect;
  params.rasterHeight = rasterHeight;
  params.dotsPerInch = dotsPerInch;
  return params;
}

bool segmentFits(const std::vector<TracePoint>& points, size_t c, size_t k, double tolerance) {
  const TracePoint& s = points[c];
  const TracePoint& e = points[k];
  const double dx = e.x - s.x, dy = e.y - s.y;
  const double length2 = dx * dx + dy * dy;
  for (size_t i = c + 1; i < k; ++i) {
    const TracePoint& p = points[i];
    double d;
    if (length2 < kDegenerateChord2) {
      d = pointDistance(p, s);
    } else if (dx * (p.x - s.x) + dy * (p.y - s.y) < -model::kTolerance) {
      d = pointDistance(p, s);
    } else if (dx * (p.x - e.x) + dy * (p.y - e.y) > model::kTolerance) {
      d = pointDistance(p, e);
    } else {
      d = std::fabs(dx * (p.y - s.y) - dy * (p.x - s.x)) / std::sqrt(length2);
    }
    if (d > tolerance) return false;
  }
  return true;
}

size_t nextVertex(std::vector<TracePoint>& points, size_t c, double tolerance, int maxStride) {
  const size_t last = points.size() - 1;
  if (c + 1 == last) return last;
  if (c + 2 == last) {
    if (!segmentFits(points, c, last, tolerance)) return c + 1;
    snap(points, c, last);
    return last;
  }
  size_t good = c + 1;
  size_t probe = c + 2;
  size_t stride = 2;
  const size_t limit = static_cast<size_t>(std::max(2, maxStride));
  while (segmentFits(points, c, probe, tolerance)) {
    if (probe >= last) {
      snap(points, c, last);
      return last;
    }
    good = probe;
    if (stride < limit) stride = std::min(stride * 2, limit);
    probe = std::min(probe + stride, last);
  }
  while (probe - good > 1) {
    const size_t mid = (good + probe) / 2;
    if (segmentFits(points, c, mid, tolerance)) {
      good = mid;
    } else {
      probe = mid;
    }
  }
  snap(points, c, good);
  return good;
}

bool simplifyPath(TracePath& path, std::vector<TracePoint>& out, double tolerance, int maxStride) {
  if (path.size() <= 1) return false;
  out.clear();
  if (!path.closed) out.push_back(path.points.front());
  const size_t last = path.size() - 1;
  size_t c = 0;
  while (c < last) {
    c = nextVertex(path.points, c, tolerance, maxStride);
    out.push_back(path.points[c]);
  }
  return true;
}

namespace {

// Whether a centre-line stub test applies to the path at all.
bool stubTestApplies(const PolylineGenerationParams& params, const TracePath& path) {
  return params.method == settings::TraceMethod::CenterLine && params.tolerance >= kNoTolerance &&
         params.dotsPerInch > kStubMinDpi && !path.closed && path.size() >= 2;
}

// The simplified vertices of an open centre-line path make no entity: one
// point, or a single segment no longer than the stub length. oneLongSegment
// (when given) is set when they are a single segment measured longer.
bool stubVertices(const std::vector<TracePoint>& vertices, int rasterHeight, bool* oneLongSegment = nullptr) {
  // The vertices as the polyline would hold them: a repeated point is not added.
  model::Point3 kept[2];
  size_t count = 0;
  for (const TracePoint& p : vertices) {
    const model::Point3 v{p.x, static_cast<double>(rasterHeight - 1) - p.y, 0.0};
    if (count > 0 && kept[count - 1].x == v.x && kept[count - 1].y == v.y) continue;
    if (count == 2) return false;  // straighten might keep more than one segment
    kept[count++] = v;
  }
  if (count < 2 || model::segmentLength(kept[0], kept[1], 0.0) <= kStubLength) return true;
  if (oneLongSegment != nullptr) *oneLongSegment = true;
  return false;
}

// The polyline of a simplified path's vertices, dropped when degenerate or
// too small; a GenerateResult. oneLongSegment: the stub test measured the
// vertices as one segment longer than a stub (straighten keeps two vertices
// as they are), so the polyline is not measured again.
int polylineOfVertices(const std::vector<TracePoint>& vertices, bool closed, const PolylineGenerationParams& params,
                       std::unique_ptr<model::CPolyLine>& out, postprocess::EndIndex* ends,
                       bool oneLongSegment = false) {
  const int height = params.rasterHeight;
  auto polyline = std::make_unique<model::CPolyLine>();
  polyline->reserveVertices(vertices.size() + (closed ? 1 : 0));
  if (closed) {
    appendPoint(*polyline, vertices.back(), height);
    polyline->setClosed(true);
  }
  for (const TracePoint& p : vertices) appendPoint(*polyline, p, height);
  if (polyline->isDegenerate()) return kGenerateDone;
  postprocess::straightenPolyline(*polyline, params.straightenDistance);

  if (params.method == settings::TraceMethod::CenterLine) {
    if (params.dotsPerInch > kStubMinDpi && polyline->isSingleSegment() && !oneLongSegment &&
        polyline->getLength() <= kStubLength) {
      return kGenerateDone;
    }
    if (params.registerEnds && ends != nullptr) {
      const model::Point3 start = polyline->getStartPoint();
      const model::Point3 end = polyline->getEndPoint();
      ends->addEntry(start.x, start.y, 0, polyline.get());
      ends->addEntry(end.x, end.y, 1, polyline.get());
    }
  } else if (params.method == settings::TraceMethod::Outline) {
    const int count = polyline->getVertexCount();
    if (count < 3 || (count == 3 && polyline->getLength() < kOutlineMinLength)) return kGenerateTooSmall;
  }
  out = std::move(polyline);
  return kGenerateDone;
}

}  // namespace

bool CentreStubTest::operator()(const TracePath& path) {
  if (!stubTestApplies(params_, path)) return false;
  // A single segment runs from the first point to the last, which the snap
  // may move by one pixel: ends further apart than that make a longer one.
  const TracePoint& first = path.points.front();
  const TracePoint& last = path.points.back();
  if (std::max(std::fabs(first.x - last.x), std::fabs(first.y - last.y)) > kStubLength + 1.0) return false;
  copy_.points.assign(path.points.begin(), path.points.end());
  if (!simplifyPath(copy_, vertices_, params_.tolerance, params_.maxStride)) return false;
  return stubVertices(vertices_, params_.rasterHeight);
}

std::unique_ptr<model::CPolyLine> PolylineMaker::operator()(const TracePath& path) {
  std::unique_ptr<model::CPolyLine> out;
  if (params_.tolerance < kNoTolerance) {
    copy_ = path;
    if (generatePolyline(&copy_, params_, out, nullptr) == kGenerateNoMemory) throw std::bad_alloc();
    return out;
  }
  copy_.points.assign(path.points.begin(), path.points.end());
  copy_.closed = path.closed;
  if (!simplifyPath(copy_, vertices_, params_.tolerance, params_.maxStride)) return out;
  // A speck's stub costs no polyline only to be dropped.
  bool oneLongSegment = false;
  if (stubTestApplies(params_, path) && stubVertices(vertices_, params_.rasterHeight, &oneLongSegment)) return out;
  polylineOfVertices(vertices_, path.closed, params_, out, nullptr, oneLongSegment);
  return out;
}

int generatePolyline(TracePath* path, const PolylineGenerationParams& params, std::unique_ptr<model::CPolyLine>& out,
                     postprocess::EndIndex* ends) {
  out.reset();
  if (path == nullptr) return kGenerateNoPath;
  const int height = params.rasterHeight;
  try {
    if (params.tolerance < kNoTolerance) {
      if (path->size() < 2) return kGenerateNoPath;
      auto polyline = std::make_unique<model::CPolyLine>();
      polyline->reserveVertices(path->size());
      for (const TracePoint& p : path->points) appendPoint(*polyline, p, height);
      if (polyline->getVertexCount() >= 2) out = std::move(polyline);
      return kGenerateDone;
    }

    // Reused across the paths of a run, so that a short path costs no
    // allocation beyond its polyline.
    thread_local std::vector<TracePoint> vertices;
    if (!simplifyPath(*path, vertices, params.tolerance, params.maxStride)) return kGenerateTooFewPoints;
    return polylineOfVertices(vertices, path->closed, params, out, ends);
  } catch (const std::bad_alloc&) {
    out.reset();
    return kGenerateNoMemory;
  }
}

namespace {

// Refined centre lines: a dot of ink thins to one lone skeleton pixel,
// which yields no path, or to nothing at all; each lone pixel and each
// small blob of ink that is a real dot becomes a dot circle.
// A dot of an even diameter thins to a stub of two or three pixels, whose
// polyline is dropped as too short: its middle counts as a lone pixel too.
constexpr int kMaxDotBlob = 16;
void addDots(const std::vector<TracePoint>& lonePixels, const std::vector<model::Point3>& blobCentres,
             model::CGraph& drawing) {
  const raster::CRaster& raster = drawing.raster();
  const double top = raster.height() - 1;
  std::vector<model::Point3> points;
  points.reserve(lonePixels.size() + blobCentres.size());
  for (const TracePoint& p : lonePixels) points.push_back(model::Point3{p.x, top - p.y, 0.0});
  for (const model::Point3& c : blobCentres) points.push_back(model::Point3{c.x, top - c.y, 0.0});
  for (auto& dot : postprocess::dotsAt(raster, points)) drawing.addEntity(std::move(dot));
}

// The middle of a path whose points all lie within kDotStub of its first.
constexpr double kDotStub = 3.0;
std::optional<TracePoint> stubMiddle(const TracePath& path) {
  if (path.points.empty()) return std::nullopt;
  const TracePoint& first = path.points.front();
  double x = 0.0, y = 0.0;
  for (const TracePoint& p : path.points) {
    if (std::fabs(p.x - first.x) > kDotStub || std::fabs(p.y - first.y) > kDotStub) return std::nullopt;
    x += p.x;
    y += p.y;
  }
  const double n = static_cast<double>(path.points.size());
  return TracePoint{std::round(x / n), std::round(y / n), 0};
}

}  // namespace

void MadePolylines::take(PolylineMaker& maker, const TracePath& path, bool keepStubMiddles) {
  if (auto polyline = maker(path)) {
    polylines.push_back(std::move(polyline));
  } else if (keepStubMiddles) {
    if (const auto middle = stubMiddle(maker.worked())) stubMiddles.push_back(*middle);
  }
}

int generatePolylines(TracePathList& paths, model::CGraph& drawing, const settings::TraceOption& options,
                      platform::ProgressSink* sink, postprocess::EndIndex* ends, MadePolylines* made) {
  const StageReporter stage(sink);
  stage.begin("ProcessGeneratePolyline");
  raster::CRaster& raster = drawing.raster();
  const PolylineGenerationParams params =
      PolylineGenerationParams::fromOptions(options, raster.height(), raster.dotsPerInch());
  const size_t total = paths.size() + (made != nullptr ? made->polylines.size() : 0);
  const double step = total == 0 ? 0.0 : 100.0 / static_cast<double>(total);
  size_t count = 0;
  const bool dots = options.b_Refine && params.method == settings::TraceMethod::CenterLine;
  std::vector<TracePoint> lonePixels = paths.takeLonePixels();
  if (!dots) std::vector<TracePoint>().swap(lonePixels);
  // The small blobs are looked for in the ink, which making the polylines
  // leaves alone: on a second core meanwhile, where there is one.
  std::future<std::vector<model::Point3>> blobCentres;
  if (dots) {
    const auto find = [&raster] { return postprocess::smallBlobCentres(raster, kMaxDotBlob); };
    const bool secondCore = postprocess::rangeParts(2, 1) > 1;
    try {
      blobCentres = std::async(secondCore ? std::launch::async : std::launch::deferred, find);
    } catch (const std::system_error&) {
      blobCentres = std::async(std::launch::deferred, find);  // no thread to be had
    }
  }
  if (made != nullptr) {
    for (std::unique_ptr<model::CPolyLine>& polyline : made->polylines) {
      if (polyline) drawing.addEntity(std::move(polyline));
      ++count;
      stage.progress(static_cast<int>(static_cast<double>(count) * step));
      if (stage.cancelled()) {
        *made = MadePolylines();
        stage.finished(kTraceUserStop);
        return kTraceUserStop;
      }
    }
    if (dots) lonePixels.insert(lonePixels.end(), made->stubMiddles.begin(), made->stubMiddles.end());
    *made = MadePolylines();
  }
  while (!paths.empty()) {
    TracePath& path = paths.front();
    std::unique_ptr<model::CPolyLine> polyline;
    if (generatePolyline(&path, params, polyline, ends) == kGenerateNoMemory) {
      stage.finished(kTraceNoMemory);
      return kTraceNoMemory;
    }
    if (dots && !polyline) {
      if (const auto middle = stubMiddle(path)) lonePixels.push_back(*middle);
    }
    // The path is not needed once it became a polyline.
    paths.removeFirst();
    if (polyline) drawing.addEntity(std::move(polyline));
    ++count;
    stage.progress(static_cast<int>(static_cast<double>(count) * step));
    if (stage.cancelled()) {
      stage.finished(kTraceUserStop);
      return kTraceUserStop;
    }
  }
  if (dots) addDots(lonePixels, blobCentres.get(), drawing);
  stage.end();
  return kTraceFinished;
}

}  // namespace quillon::trace
