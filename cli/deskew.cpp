// The deskew step's measurement: the angle of a scan's dominant straight
// lines, found by projection profiles.
#include <cmath>
#include <cstdint>
#include <vector>

#include "raster/raster.h"
#include "raster_steps.h"

namespace quillon::cli {

namespace {

// Scans are rarely turned further; a wider search would also start to find
// the vertical lines of a drawing instead of its horizontal ones.
constexpr double kMaxSkewDegrees = 20.0;
constexpr double kCoarseStep = 0.5;
constexpr double kFineStep = 0.02;
// Enough ink pixels for a stable profile; more only cost time.
constexpr size_t kMaxSamples = 400000;

struct InkPoint {
  float x, y;
};

// Sum of squared bin counts of the points projected across lines at the angle.
double ProfileSharpness(const std::vector<InkPoint>& points, double degrees, double diagonal,
                        std::vector<uint32_t>& bins) {
  const double a = degrees * M_PI / 180.0;
  const double s = std::sin(a), c = std::cos(a);
  std::fill(bins.begin(), bins.end(), 0u);
  for (const InkPoint& p : points) {
    const double r = -p.x * s + p.y * c + diagonal;
    ++bins[static_cast<size_t>(r)];
  }
  double sum = 0;
  for (uint32_t n : bins) sum += double(n) * n;
  return sum;
}

}  // namespace

double DominantLineAngle(const raster::CRaster& image) {
  if (image.empty()) return 0.0;
  raster::CRaster oneBit;
  const raster::CRaster* ink = &image;
  if (image.bitCount() != 1) {
    if (!oneBit.cloneFrom(image) || !oneBit.convertTo1Bit(oneBit.automaticThreshold())) return 0.0;
    ink = &oneBit;
  }
  std::vector<InkPoint> points;
  for (int y = 0; y < ink->height(); ++y) {
    for (int x = 0; x < ink->width(); ++x) {
      if (ink->bitAt(x, y)) points.push_back({static_cast<float>(x), static_cast<float>(y)});
    }
  }
  if (points.empty()) return 0.0;
  if (points.size() > kMaxSamples) {
    const size_t stride = (points.size() + kMaxSamples - 1) / kMaxSamples;
    size_t kept = 0;
    for (size_t i = 0; i < points.size(); i += stride) points[kept++] = points[i];
    points.resize(kept);
  }
  const double diagonal = std::hypot(double(ink->width()), double(ink->height())) + 2;
  std::vector<uint32_t> bins(static_cast<size_t>(2 * diagonal) + 2);

  auto search = [&](double from, double to, double step, double& best) {
    double bestScore = -1;
    for (double angle = from; angle <= to + 1e-9; angle += step) {
      const double score = ProfileSharpness(points, angle, diagonal, bins);
      // Ties keep the angle nearest to no rotation.
      if (score > bestScore || (score == bestScore && std::fabs(angle) < std::fabs(best))) {
        bestScore = score;
        best = angle;
      }
    }
  };
  double coarse = 0;
  search(-kMaxSkewDegrees, kMaxSkewDegrees, kCoarseStep, coarse);
  double fine = coarse;
  search(coarse - kCoarseStep, coarse + kCoarseStep, kFineStep, fine);
  // Below a hundredth of a degree a rotation would only blur the raster.
  return std::fabs(fine) < 0.01 ? 0.0 : std::round(fine * 100.0) / 100.0;
}

}  // namespace quillon::cli
