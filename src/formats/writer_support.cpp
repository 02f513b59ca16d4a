#include "formats/writer_support.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace quillon::formats {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
}

double NormalizeAngle(double radians) {
  if (!std::isfinite(radians)) return radians;
  radians = std::fmod(radians, kTwoPi);  // one step instead of a loop for huge values
  if (radians < 0.0) radians += kTwoPi;
  return radians;
}

std::optional<SegmentArc> BulgeArc(double px, double py, double qx, double qy, double bulge) {
  if (!(std::fabs(bulge) >= kCoordEpsilon)) return std::nullopt;
  double dx = qx - px;
  double dy = qy - py;
  if (std::fabs(dx) < kCoordEpsilon && std::fabs(dy) < kCoordEpsilon) return std::nullopt;
  double half = std::hypot(dx, dy) / 2.0;
  double sagitta = half * std::fabs(bulge);
  if (!(sagitta > kCoordEpsilon)) return std::nullopt;
  SegmentArc arc;
  arc.radius = (sagitta * sagitta + half * half) / (2.0 * sagitta);
  arc.ccw = bulge > 0.0;
  double phi = std::atan2(dy, dx) + (arc.ccw ? std::numbers::pi / 2.0 : -std::numbers::pi / 2.0);
  double towardsCentre = arc.radius - sagitta;
  arc.cx = (px + qx) / 2.0 + towardsCentre * std::cos(phi);
  arc.cy = (py + qy) / 2.0 + towardsCentre * std::sin(phi);
  arc.a0 = NormalizeAngle(std::atan2(py - arc.cy, px - arc.cx));
  arc.a1 = NormalizeAngle(std::atan2(qy - arc.cy, qx - arc.cx));
  return arc;
}

double SweepOf(const SegmentArc& arc) {
  double a0 = arc.a0;
  if (arc.ccw) {
    while (arc.a1 < a0) a0 -= kTwoPi;
    return arc.a1 - a0;
  }
  while (arc.a1 > a0) a0 += kTwoPi;
  return a0 - arc.a1;
}

settings::Rgb WriterColor(settings::ColorIndex own, settings::ColorIndex layer, bool ownSevenIsBlack) {
  if (ownSevenIsBlack && own == settings::kColorWhite) return settings::kRgbBlack;
  settings::ColorIndex index = (own <= 0 || own == settings::kColorByLayer) ? layer : own;
  return settings::ResolveColor(index, nullptr, true, settings::kRgbWhite);
}

std::string FormatFixed(double value, int decimals) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "0";
  return std::string(text, end);
}

bool TextBuffer::fail(std::string message) {
  if (!failed_) {
    failed_ = true;
    error_ = std::move(message);
  }
  return false;
}

bool TextBuffer::check(double value) {
  if (!std::isfinite(value)) return fail("the drawing holds a coordinate that is not a number");
  if (std::fabs(value) > kMaxWritableValue) return fail("the drawing holds a coordinate too large to write");
  return true;
}

void TextBuffer::fixed(double value, int decimals) {
  if (!check(value)) value = 0.0;
  out_.append(FormatFixed(value, decimals));
}

void TextBuffer::trimmed(double value, int decimals) {
  if (!check(value)) value = 0.0;
  std::string s = FormatFixed(value, decimals);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  out_.append(s);
}

void TextBuffer::integer(long long value) { out_.append(std::to_string(value)); }

}  // namespace quillon::formats
