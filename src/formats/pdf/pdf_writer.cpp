#include "formats/pdf/pdf_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace quillon::formats {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kMinPageSide = 50.0;  // points; smaller pages are useless in every viewer
constexpr double kMargin = 15.0;       // points around the fitted drawing
constexpr double kWidthChange = 0.01;  // drawing units; smaller changes keep one path
}  // namespace

double PdfPoints(double size, int unit) {
  switch (unit) {
    case 0: return size * 72.0;
    case 1: return size * 28.346457118634458;
    case 2: return size * 2.834645711863446;
    default: return size;
  }
}

std::string PdfCreationDate(std::time_t when) {
  std::tm local{};
  char text[128];
  if (!localtime_r(&when, &local)) return "D:19700101000000";
  // Bias in minutes as UTC minus local time: positive west of Greenwich.
  const long bias = -static_cast<long>(local.tm_gmtoff) / 60;
  std::snprintf(text, sizeof text, "D:%04ld%02ld%02ld%02ld%02ld%02ld%s%02ld'%02ld'", local.tm_year + 1900L,
                local.tm_mon + 1L, static_cast<long>(local.tm_mday), static_cast<long>(local.tm_hour),
                static_cast<long>(local.tm_min), static_cast<long>(local.tm_sec), bias <= 0 ? "+" : "-",
                std::labs(bias) / 60, std::labs(bias) % 60);
  return text;
}

PdfWriter::PdfWriter(double pixelsPerUnit, bool saveWidth)
    : pixelsPerUnit_(pixelsPerUnit > 0.0 && std::isfinite(pixelsPerUnit) ? pixelsPerUnit : 1.0),
      saveWidth_(saveWidth) {}

Status PdfWriter::Begin(const Box& extents, double destWidth, double destHeight, int destUnit) {
  if (!(destWidth > 0.0) || !(destHeight > 0.0) || !std::isfinite(destWidth) || !std::isfinite(destHeight)) {
    return Status::Fail("the destination size must be greater than 0");
  }
  double pageWidth = std::max(PdfPoints(destWidth, destUnit), kMinPageSide);
  double pageHeight = std::max(PdfPoints(destHeight, destUnit), kMinPageSide);
  // PDF readers keep page sizes within 14400 points (200 inches).
  if (pageWidth > 14400.0 || pageHeight > 14400.0) return Status::Fail("the destination size is too large for a PDF page");

  page_ = document_.AddPage();
  document_.SetMediaBox(page_, static_cast<int>(pageWidth), static_cast<int>(pageHeight));
  content_ = &document_.Contents(page_);
  document_.AddResources(page_);

  const double minX = extents.minX / pixelsPerUnit_;
  const double minY = extents.minY / pixelsPerUnit_;
  const double worldWidth = extents.maxX / pixelsPerUnit_ - minX;
  const double worldHeight = extents.maxY / pixelsPerUnit_ - minY;
  if (!std::isfinite(minX) || !std::isfinite(minY) || !std::isfinite(worldWidth) || !std::isfinite(worldHeight)) {
    return Status::Fail("the drawing holds a coordinate that is not a number");
  }
  const double viewWidth = pageWidth - 2 * kMargin;
  const double viewHeight = pageHeight - 2 * kMargin;
  // A drawing that collapses to a line or a point is fitted by its other
  // side, or shown at one point per unit.
  double scale = 1.0;
  if (worldWidth > 0.0 && worldHeight > 0.0) {
    scale = std::min(viewWidth / worldWidth, viewHeight / worldHeight);
  } else if (worldWidth > 0.0) {
    scale = viewWidth / worldWidth;
  } else if (worldHeight > 0.0) {
    scale = viewHeight / worldHeight;
  }
  content_->SetMapping(scale, kMargin - scale * minX, kMargin - scale * minY);
  content_->SetLineWidth(0.0);
  return Status::Ok();
}

void PdfWriter::StrokeColour(settings::Rgb c) {
  if (c.r == c.g && c.g == c.b) {
    content_->SetStrokeGray(c.r / 255.0);
  } else {
    content_->SetStrokeRGB(c.r / 255.0, c.g / 255.0, c.b / 255.0);
  }
}

void PdfWriter::FillColour(settings::Rgb c) {
  if (c.r == c.g && c.g == c.b) {
    content_->SetFillGray(c.r / 255.0);
  } else {
    content_->SetFillRGB(c.r / 255.0, c.g / 255.0, c.b / 255.0);
  }
}

void PdfWriter::Line(Point2 start, Point2 end, settings::Rgb colour) {
  StrokeColour(colour);
  content_->SetLineWidth(0.0);
  content_->MoveTo(X(start.x), Y(start.y));
  content_->LineTo(X(end.x), Y(end.y));
  content_->WriteRaw("S ");
}

void PdfWriter::Arc(Point2 centre, double radius, double startAngle, double endAngle, double width,
                    settings::Rgb colour) {
  if (saveWidth_) content_->SetLineWidth(Length(width));
  StrokeColour(colour);
  content_->Arc(X(centre.x), Y(centre.y), Length(radius), ToDegrees(startAngle), ToDegrees(endAngle), true);
  content_->WriteRaw("S ");
}

void PdfWriter::Circle(Point2 centre, double radius, double width, settings::Rgb colour) {
  if (saveWidth_) content_->SetLineWidth(Length(width));
  StrokeColour(colour);
  // Circle closes and strokes ("s") itself; a further "S" would paint no path.
  content_->Circle(X(centre.x), Y(centre.y), Length(radius));
}

void PdfWriter::ArcSegment(const SegmentArc& arc) {
  double a0 = arc.a0;
  double a1 = arc.a1;
  if (arc.ccw) {
    while (a0 > a1) a0 -= kTwoPi;
  } else {
    while (a1 > a0) a1 -= kTwoPi;
  }
  content_->Arc(X(arc.cx), Y(arc.cy), Length(arc.radius), ToDegrees(a0), ToDegrees(a1), false);
}

void PdfWriter::Polyline(const PathRing& vertices, bool closed, settings::Rgb colour) {
  if (vertices.size() < 2) return;
  StrokeColour(colour);
  const size_t visits = closed ? vertices.size() + 1 : vertices.size();
  double widthPrev = 0.0;
  double widthCur = 0.0;
  for (size_t i = 0; i < visits; ++i) {
    const PathVertex& v = vertices[i % vertices.size()];
    if (saveWidth_) {
      widthCur = v.startWidth / pixelsPerUnit_;
      if (i == 0) widthPrev = widthCur;
    }
    if (i == 0) {
      if (saveWidth_) content_->SetLineWidth(widthCur * content_->scale());
      content_->MoveTo(X(v.x), Y(v.y));
      continue;
    }
    const PathVertex& p = vertices[i - 1];
    if (std::optional<SegmentArc> arc = BulgeArc(p.x, p.y, v.x, v.y, p.bulge)) {
      ArcSegment(*arc);
    } else {
      content_->LineTo(X(v.x), Y(v.y));
    }
    if (saveWidth_ && std::fabs(widthCur - widthPrev) > kWidthChange) {
      content_->WriteRaw("S ");
      if (i + 1 == visits) return;
      content_->SetLineWidth(widthCur * content_->scale());
      content_->MoveTo(X(v.x), Y(v.y));
    }
    widthPrev = widthCur;
  }
  content_->WriteRaw("S ");
}

void PdfWriter::Solid(std::span<const Point2> points, settings::Rgb colour) {
  if (points.size() < 3) return;
  StrokeColour(colour);
  FillColour(colour);
  content_->SetLineWidth(0.0);
  content_->MoveTo(X(points[0].x), Y(points[0].y));
  for (size_t i = 1; i <= points.size(); ++i) {
    const Point2& p = points[i % points.size()];
    content_->LineTo(X(p.x), Y(p.y));
  }
  content_->WriteRaw("b ");
}

void PdfWriter::PolyPolygon(std::span<const PathRing> outlines, settings::Rgb colour) {
  if (outlines.empty()) return;
  StrokeColour(colour);
  FillColour(colour);
  for (const PathRing& ring : outlines) {
    if (ring.empty()) continue;
    content_->MoveTo(X(ring[0].x), Y(ring[0].y));
    for (size_t i = 0; i < ring.size(); ++i) {
      const PathVertex& v = ring[i];
      const PathVertex& n = ring[(i + 1) % ring.size()];
      if (std::optional<SegmentArc> arc = BulgeArc(v.x, v.y, n.x, n.y, v.bulge)) {
        ArcSegment(*arc);
      } else {
        content_->LineTo(X(n.x), Y(n.y));
      }
    }
    content_->WriteRaw("h ");
  }
  content_->WriteRaw("B* ");
}

Status PdfWriter::Finish(std::string& file, std::time_t when) {
  if (!content_) return Status::Fail("the page was not set up");
  if (content_->failed()) return Status::Fail(content_->error());
  document_.SetInfo("CreationDate", PdfCreationDate(when));
  return document_.Render(file);
}

}  // namespace quillon::formats
