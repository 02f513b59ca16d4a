#include "formats/pdf/pdf_content.h"

#include <cmath>

namespace quillon::formats {

namespace {
// Changes smaller than this do not show in any colour or width and are not written.
constexpr double kStateTolerance = 0.001;
}  // namespace

std::string& PdfContentStream::Sync() {
  data() = text_.str();
  return data();
}

void PdfContentStream::Coord(double v) {
  text_.trimmed(v, 2);
  text_.ch(' ');
}

void PdfContentStream::Value(double v) {
  text_.trimmed(v, 3);
  text_.ch(' ');
}

bool PdfContentStream::SetColour(ColourState& state, int mode, double r, double g, double b) {
  const double c[3] = {r, g, b};
  if (state.mode == mode) {
    bool same = true;
    for (int i = 0; i < (mode == 1 ? 3 : 1); ++i) same = same && std::fabs(c[i] - state.c[i]) < kStateTolerance;
    if (same) return false;
  }
  state.mode = mode;
  for (int i = 0; i < 3; ++i) state.c[i] = c[i];
  return true;
}

void PdfContentStream::SetStrokeRGB(double r, double g, double b) {
  if (!SetColour(stroke_, 1, r, g, b)) return;
  Value(r);
  Value(g);
  Value(b);
  text_.text("RG ");
}

void PdfContentStream::SetStrokeGray(double g) {
  if (!SetColour(stroke_, 2, g, 0.0, 0.0)) return;
  Value(g);
  text_.text("G ");
}

void PdfContentStream::SetFillRGB(double r, double g, double b) {
  if (!SetColour(fill_, 1, r, g, b)) return;
  Value(r);
  Value(g);
  Value(b);
  text_.text("rg ");
}

void PdfContentStream::SetFillGray(double g) {
  if (!SetColour(fill_, 2, g, 0.0, 0.0)) return;
  Value(g);
  text_.text("g ");
}

void PdfContentStream::SetLineWidth(double w) {
  if (lineWidth_ >= -1.0 && std::fabs(lineWidth_ - w) <= kStateTolerance) return;
  lineWidth_ = w;
  Value(w);
  text_.text("w ");
}

void PdfContentStream::MoveTo(double x, double y) {
  Coord(x);
  Coord(y);
  text_.text("m ");
}

void PdfContentStream::LineTo(double x, double y) {
  Coord(x);
  Coord(y);
  text_.text("l ");
}

void PdfContentStream::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
  for (double v : {x1, y1, x2, y2, x3, y3}) Coord(v);
  text_.text("c ");
}

void PdfContentStream::Arc(double cxIn, double cyIn, double rIn, double fromDeg, double toDeg, bool startWithMove) {
  // Single precision throughout, as the pieces have always been computed;
  // the difference to double lies far below the 2-decimal output.
  constexpr float kDegToRad = 0.017453293005625408f;
  const float cx = static_cast<float>(cxIn);
  const float cy = static_cast<float>(cyIn);
  const float r = static_cast<float>(rIn);
  const float sweep = static_cast<float>(toDeg - fromDeg);
  // Arcs never turn more than a full circle; anything far beyond is corrupt data.
  if (!std::isfinite(sweep) || !std::isfinite(r) || std::fabs(sweep) > 3600.0f) {
    text_.fail("the drawing holds an arc that is not a number");
    return;
  }
  int pieces = 1;
  while (std::fabs(sweep) / static_cast<float>(pieces) > 90.0f) ++pieces;
  const float piece = sweep / static_cast<float>(pieces);
  const float half = piece / 2.0f;
  const float d = sweep >= 0.0f ? 1.0f : -1.0f;
  const float a = std::fabs(half) * kDegToRad;
  const float c = std::cos(a);
  const float s = std::sin(a);
  float p[4][2] = {{r * c, -r * s * d}, {0, 0}, {0, 0}, {r * c, r * s * d}};
  if (s != 0.0f) {
    p[1][0] = r * (4.0f - c) / 3.0f;
    p[1][1] = (1.0f - c) * r * d * (c - 3.0f) / (3.0f * s);
  } else {  // a zero sweep: every control point on the start point
    p[1][0] = p[0][0];
    p[1][1] = p[0][1];
  }
  p[2][0] = p[1][0];
  p[2][1] = -p[1][1];
  for (int k = 0; k < pieces; ++k) {
    const float middle = (static_cast<float>(fromDeg) + half + piece * static_cast<float>(k)) * kDegToRad;
    const float cm = std::cos(middle);
    const float sm = std::sin(middle);
    double q[4][2];
    for (int i = 0; i < 4; ++i) {
      q[i][0] = p[i][0] * cm - p[i][1] * sm + cx;
      q[i][1] = p[i][0] * sm + p[i][1] * cm + cy;
    }
    if (k == 0) {
      if (startWithMove) {
        MoveTo(q[0][0], q[0][1]);
      } else {
        LineTo(q[0][0], q[0][1]);
      }
    }
    CurveTo(q[1][0], q[1][1], q[2][0], q[2][1], q[3][0], q[3][1]);
  }
}

void PdfContentStream::Circle(double cx, double cy, double r) {
  const double k = 0.552 * r;  // the Bézier handle of a quarter circle, rounded
  MoveTo(cx + r, cy);
  CurveTo(cx + r, cy + k, cx + k, cy + r, cx, cy + r);
  CurveTo(cx - k, cy + r, cx - r, cy + k, cx - r, cy);
  CurveTo(cx - r, cy - k, cx - k, cy - r, cx, cy - r);
  CurveTo(cx + k, cy - r, cx + r, cy - k, cx + r, cy);
  text_.text("s ");
}

void PdfContentStream::WriteRaw(std::string_view text) { text_.text(text); }

void PdfContentStream::SetMapping(double scale, double offX, double offY) {
  scale_ = scale;
  offX_ = offX;
  offY_ = offY;
}

}  // namespace quillon::formats
