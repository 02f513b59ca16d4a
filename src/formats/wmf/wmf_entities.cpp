// Each entity's metafile records (slot WriteWmf). Colours resolve with the
// background rule, so colour 7 is white.
#include "formats/wmf/wmf_writer.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model {

using formats::WriterColor;
using formats::XY;

bool CLine::WriteWmf(formats::WmfWriter& surface) const {
  surface.Line(XY(start().point()), XY(end().point()), WriterColor(*this, false));
  return !surface.failed();
}

bool CCircle::WriteWmf(formats::WmfWriter& surface) const {
  surface.Circle(XY(centre()), radius(), width(), WriterColor(*this, false));
  return !surface.failed();
}

bool CArc::WriteWmf(formats::WmfWriter& surface) const {
  surface.Arc(XY(centre()), radius(), startAngle(), endAngle(), width(), WriterColor(*this, false));
  return !surface.failed();
}

bool CSolid::WriteWmf(formats::WmfWriter& surface) const {
  surface.Solid(formats::PointsOf(*this), WriterColor(*this, false));
  return !surface.failed();
}

bool CPolyLine::WriteWmf(formats::WmfWriter& surface) const {
  surface.Polyline(formats::RingOf(*this), isClosed(), width(), WriterColor(*this, false));
  return !surface.failed();
}

bool CPolyPolygon::WriteWmf(formats::WmfWriter& surface) const {
  surface.PolyPolygon(formats::OutlinesOf(*this), WriterColor(*this, false));
  return !surface.failed();
}

}  // namespace quillon::model
