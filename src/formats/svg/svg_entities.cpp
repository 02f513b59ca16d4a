// Each entity's SVG element (slot WriteSvg). SVG writes an entity's own colour
// 7 as black.
#include "formats/svg/svg_writer.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model {

using formats::WriterColor;
using formats::XY;

bool CLine::WriteSvg(formats::SvgWriter& file) const {
  file.Line(XY(start().point()), XY(end().point()), WriterColor(*this, true));
  return !file.failed();
}

bool CCircle::WriteSvg(formats::SvgWriter& file) const {
  file.Circle(XY(centre()), radius(), width(), WriterColor(*this, true));
  return !file.failed();
}

bool CArc::WriteSvg(formats::SvgWriter& file) const {
  file.Arc(XY(centre()), radius(), startAngle(), endAngle(), width(), WriterColor(*this, true));
  return !file.failed();
}

bool CSolid::WriteSvg(formats::SvgWriter& file) const {
  file.Solid(formats::PointsOf(*this), WriterColor(*this, true));
  return !file.failed();
}

bool CPolyLine::WriteSvg(formats::SvgWriter& file) const {
  file.Polyline(formats::RingOf(*this), isClosed(), WriterColor(*this, true));
  return !file.failed();
}

bool CPolyPolygon::WriteSvg(formats::SvgWriter& file) const {
  file.PolyPolygon(formats::OutlinesOf(*this), WriterColor(*this, true));
  return !file.failed();
}

}  // namespace quillon::model
