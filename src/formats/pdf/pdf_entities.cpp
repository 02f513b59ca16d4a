// Each entity's page operators (slot WritePdf). Stroked entities write their
// own colour 7 as black; a polypolygon resolves without the background rule,
// so colour 7 reached through its layer is black too.
#include "formats/pdf/pdf_writer.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/layer.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model {

using formats::WriterColor;
using formats::XY;

bool CLine::WritePdf(formats::PdfWriter& content) const {
  content.Line(XY(start().point()), XY(end().point()), WriterColor(*this, true));
  return !content.content().failed();
}

bool CCircle::WritePdf(formats::PdfWriter& content) const {
  content.Circle(XY(centre()), radius(), width(), WriterColor(*this, true));
  return !content.content().failed();
}

bool CArc::WritePdf(formats::PdfWriter& content) const {
  content.Arc(XY(centre()), radius(), startAngle(), endAngle(), width(), WriterColor(*this, true));
  return !content.content().failed();
}

bool CSolid::WritePdf(formats::PdfWriter& content) const {
  content.Solid(formats::PointsOf(*this), WriterColor(*this, true));
  return !content.content().failed();
}

bool CPolyLine::WritePdf(formats::PdfWriter& content) const {
  content.Polyline(formats::RingOf(*this), isClosed(), WriterColor(*this, true));
  return !content.content().failed();
}

bool CPolyPolygon::WritePdf(formats::PdfWriter& content) const {
  const settings::ColorIndex index = displayColour();
  const settings::Rgb colour = index == settings::kColorWhite
                                   ? settings::kRgbBlack
                                   : settings::ResolveColor(index, nullptr, false, settings::kRgbWhite);
  content.PolyPolygon(formats::OutlinesOf(*this), colour);
  return !content.content().failed();
}

}  // namespace quillon::model
