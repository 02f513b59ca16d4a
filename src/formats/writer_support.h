#pragma once
// What the vector writers other than DXF share: the plain geometry a writer
// receives from an entity (no model types, so every writer can be tested on
// its own), the writers' colour rule, the bulge-arc test every writer applies
// to a polyline segment, and a text buffer whose number formats fail on values
// no reader could take.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/geometry.h"
#include "platform/result.h"
#include "settings/color.h"

namespace quillon::model {
class CGraph;
class CEntity;
class CPolyLine;
class CPolyPolygon;
class CSolid;
}  // namespace quillon::model

namespace quillon::formats {

struct Point2 {
  double x = 0.0;
  double y = 0.0;
};

// One vertex of a polyline or polypolygon outline, in pixels: position, the
// width of the segment that starts here and that segment's bulge.
struct PathVertex {
  double x = 0.0;
  double y = 0.0;
  double startWidth = 0.0;
  double bulge = 0.0;
};
using PathRing = std::vector<PathVertex>;

// Extents box in pixels.
using Box = model::Box;

// A segment's arc: centre, radius and the angles of its start and end vertex
// seen from the centre, both in [0, 2π]. Counter-clockwise for bulge > 0.
struct SegmentArc {
  double cx = 0.0;
  double cy = 0.0;
  double radius = 0.0;
  double a0 = 0.0;
  double a1 = 0.0;
  bool ccw = true;
};

inline constexpr double kCoordEpsilon = 0.00001;

// The arc of the segment p→q with bulge b, or nothing when the writers draw it
// straight: |b| below 0.00001, p and q equal within 0.00001 in both
// coordinates, or a sagitta of 0.00001 or less.
std::optional<SegmentArc> BulgeArc(double px, double py, double qx, double qy, double bulge);

// The size of the arc's turn, in [0, 2π]: from a0 counter-clockwise to a1, or
// clockwise when the arc is clockwise.
double SweepOf(const SegmentArc& arc);

// Radians to degrees, as the writers write angles.
inline double ToDegrees(double radians) { return radians / 3.14159265358979323846 * 180.0; }

// The plain geometry of model entities, in pixels.
PathRing RingOf(const model::CPolyLine& polyline);
std::vector<PathRing> OutlinesOf(const model::CPolyPolygon& polyPolygon);
std::vector<Point2> PointsOf(const model::CSolid& solid);
inline Point2 XY(const model::Point3& p) { return {p.x, p.y}; }

// An entity's colour as the writers resolve it: the layer's index when the own
// index is ByLayer, then ResolveColor with the background flag set (so index
// 7 is white). With ownSevenIsBlack an own index 7 is black before that.
settings::Rgb WriterColor(settings::ColorIndex own, settings::ColorIndex layer, bool ownSevenIsBlack);
// The same for an entity (its layer's colour for ByLayer).
settings::Rgb WriterColor(const model::CEntity& entity, bool ownSevenIsBlack);

// Coordinates beyond this magnitude are refused: far past any drawing, and past
// what float-based readers parse into a usable number.
inline constexpr double kMaxWritableValue = 1e15;

// The text of a file under construction. Number emitters refuse values that
// are not finite or beyond kMaxWritableValue: the first refusal is kept
// (failed(), error()) so the writer answers false instead of writing "nan".
class TextBuffer {
 public:
  void text(std::string_view s) { out_.append(s); }
  void ch(char c) { out_.push_back(c); }
  // C "%.Nf" (locale-independent).
  void fixed(double value, int decimals);
  // "%.Nf" with trailing zeros and then a trailing point removed (12.50 -> 12.5).
  void trimmed(double value, int decimals);
  void integer(long long value);

  bool fail(std::string message);
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }

  const std::string& str() const { return out_; }
  std::string& str() { return out_; }

 private:
  bool check(double value);
  std::string out_;
  bool failed_ = false;
  std::string error_;
};

// The "%.Nf" text of a finite value (locale-independent).
std::string FormatFixed(double value, int decimals);

class SaveProgress;
struct SaveContext;

// What every writer checks before it writes: the drawing has entities and
// finite extents. Fills extents (with margin, without raster: the box the
// save job cached).
Status PrepareDrawing(model::CGraph& drawing, Box& extents);

// Visits every entity of every layer in list order and tells progress (when
// given) after each one. Fails at the first entity that answers false (with
// failureText, or the writer's own reason when writerError gives one) and when
// progress asks to stop.
Status VisitEntities(model::CGraph& drawing, SaveProgress* progress,
                     const std::function<bool(const model::CEntity&)>& visit,
                     const std::function<std::string()>& writerError);

// Writes the finished bytes to the job's file; on failure puts the reason
// into context.error. Answers whether the file now holds the whole output.
bool FinishSave(SaveContext& context, const Status& status, const std::string& bytes);

}  // namespace quillon::formats
