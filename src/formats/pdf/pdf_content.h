#pragma once
// The page content stream: path, colour and width operators appended as text,
// each followed by one blank. Colour and width operators are suppressed while
// the state does not change, which keeps drawings of many same-coloured
// entities small. Coordinates passed to the path operators are page points.
//
// Numbers: coordinates with 2 decimals, colours and widths with 3, trailing
// zeros and then a trailing point removed (12.50 -> 12.5, 3.00 -> 3).
// A value that is not finite marks the stream failed (failed()) instead of
// writing it.

#include <string>
#include <string_view>

#include "formats/pdf/pdf_objects.h"
#include "formats/writer_support.h"

namespace quillon::formats {

class PdfContentStream final : public PdfStream {
 public:
  void SetStrokeRGB(double r, double g, double b);
  void SetStrokeGray(double g);
  void SetFillRGB(double r, double g, double b);
  void SetFillGray(double g);
  void SetLineWidth(double w);
  void MoveTo(double x, double y);
  void LineTo(double x, double y);
  void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
  // Bézier pieces of at most 90° each, counter-clockwise for to > from
  // (degrees); starts with a MoveTo (startWithMove) or a LineTo to the first point.
  void Arc(double cx, double cy, double r, double fromDeg, double toDeg, bool startWithMove);
  // Four Bézier quarters from (cx + r, cy), then "s " (close and stroke).
  void Circle(double cx, double cy, double r);
  void WriteRaw(std::string_view text);
  bool Compress() override {
    Sync();
    return PdfStream::Compress();
  }

  // The mapping from drawing units onto the page: (x·scale + offX, y·scale + offY).
  void SetMapping(double scale, double offX, double offY);
  double MapX(double x) const { return x * scale_ + offX_; }
  double MapY(double y) const { return y * scale_ + offY_; }
  double scale() const { return scale_; }

  bool failed() const { return text_.failed(); }
  const std::string& error() const { return text_.error(); }
  // The operators written so far (uncompressed).
  const std::string& content() { return Sync(); }

 private:
  struct ColourState {
    int mode = 0;  // 0 none, 1 RGB, 2 grey
    double c[3] = {0.0, 0.0, 0.0};
  };
  bool SetColour(ColourState& state, int mode, double r, double g, double b);
  void Coord(double v);
  void Value(double v);
  std::string& Sync();

  TextBuffer text_;
  double lineWidth_ = -10.0;  // below -1: not set yet
  ColourState stroke_;
  ColourState fill_;
  double scale_ = 1.0;
  double offX_ = 0.0;
  double offY_ = 0.0;
};

}  // namespace quillon::formats
