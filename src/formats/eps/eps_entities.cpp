// Each entity's PostScript fragment (slot WriteEps). EPS resolves every colour
// with the background rule, so colour 7 is white.
#include "formats/eps/eps_writer.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model {

using formats::WriterColor;
using formats::XY;

bool CLine::WriteEps(formats::EpsWriter& file) const {
  file.Line(XY(start().point()), XY(end().point()), WriterColor(*this, false));
  return !file.failed();
}

bool CCircle::WriteEps(formats::EpsWriter& file) const {
  file.Circle(XY(centre()), radius(), width(), WriterColor(*this, false));
  return !file.failed();
}

bool CArc::WriteEps(formats::EpsWriter& file) const {
  file.Arc(XY(centre()), radius(), startAngle(), endAngle(), width(), WriterColor(*this, false));
  return !file.failed();
}

bool CSolid::WriteEps(formats::EpsWriter& file) const {
  file.Solid(formats::PointsOf(*this), WriterColor(*this, false));
  return !file.failed();
}

bool CPolyLine::WriteEps(formats::EpsWriter& file) const {
  file.Polyline(formats::RingOf(*this), isClosed(), WriterColor(*this, false));
  return !file.failed();
}

bool CPolyPolygon::WriteEps(formats::EpsWriter& file) const {
  file.PolyPolygon(formats::OutlinesOf(*this), WriterColor(*this, false));
  return !file.failed();
}

}  // namespace quillon::model
