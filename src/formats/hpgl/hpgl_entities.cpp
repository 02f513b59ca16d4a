// Each entity's HP-GL commands (slot WriteHpgl). Plots carry no colours.
#include "formats/hpgl/hpgl_writer.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model {

using formats::XY;

bool CLine::WriteHpgl(formats::HpglWriter& file) const {
  file.Line(XY(start().point()), XY(end().point()));
  return !file.failed();
}

bool CCircle::WriteHpgl(formats::HpglWriter& file) const {
  file.Circle(XY(centre()), radius());
  return !file.failed();
}

bool CArc::WriteHpgl(formats::HpglWriter& file) const {
  file.Arc(XY(centre()), radius(), startAngle(), endAngle());
  return !file.failed();
}

bool CSolid::WriteHpgl(formats::HpglWriter& file) const {
  file.Solid(formats::PointsOf(*this));
  return !file.failed();
}

bool CPolyLine::WriteHpgl(formats::HpglWriter& file) const {
  file.Polyline(formats::RingOf(*this), isClosed());
  return !file.failed();
}

bool CPolyPolygon::WriteHpgl(formats::HpglWriter& file) const {
  file.PolyPolygon(formats::OutlinesOf(*this));
  return !file.failed();
}

}  // namespace quillon::model
