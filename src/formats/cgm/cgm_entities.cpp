// Each entity's CGM elements (slot WriteCgm): its colour three times, then
// its primitives. An entity's own colour 7 is black. Polypolygons are not
// part of this output.
#include <cmath>

#include "formats/cgm/cgm_writer.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model {

using formats::WriterColor;
using formats::XY;

bool CLine::WriteCgm(formats::CgmWriter& file) const {
  file.Colours(WriterColor(*this, true));
  file.Line(XY(start().point()), XY(end().point()));
  return !file.failed();
}

bool CCircle::WriteCgm(formats::CgmWriter& file) const {
  file.Colours(WriterColor(*this, true));
  file.Circle(XY(centre()), radius(), width());
  return !file.failed();
}

bool CArc::WriteCgm(formats::CgmWriter& file) const {
  file.Colours(WriterColor(*this, true));
  file.Arc(XY(centre()), radius(), XY(pointOnCircle(centre(), radius(), startAngle())),
           XY(pointOnCircle(centre(), radius(), endAngle())), width());
  return !file.failed();
}

bool CSolid::WriteCgm(formats::CgmWriter& file) const {
  if (points().size() < 3) return true;
  file.Colours(WriterColor(*this, true));
  file.Solid(formats::PointsOf(*this));
  return !file.failed();
}

bool CPolyLine::WriteCgm(formats::CgmWriter& file) const {
  if (vertices().size() < 2) return true;
  file.Colours(WriterColor(*this, true));
  file.Polyline(formats::RingOf(*this), isClosed());
  return !file.failed();
}

bool CPolyPolygon::WriteCgm(formats::CgmWriter&) const { return true; }

}  // namespace quillon::model
