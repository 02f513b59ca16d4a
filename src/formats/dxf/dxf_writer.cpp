#include "formats/dxf/dxf_writer.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

namespace quillon::formats {

namespace {
constexpr std::string_view kLineEnd = "\r\n";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Six decimals like "%f"; std::to_chars never looks at LC_NUMERIC, so a
// user locale with a decimal comma cannot leak into the file. The buffer
// holds the longest finite double in fixed notation.
constexpr size_t kRealBuffer = 400;
// Room for the fast path: sign, 13 digits, point, 6 decimals.
constexpr std::ptrdiff_t kFastRealBuffer = 24;

// Values below 2^43 in magnitude take the integer path of FormatRealInto:
// their millionths then fit in 63 bits.
constexpr int kFastExponentLimit = 43;

// "%f" of a finite value below 2^43 in magnitude, without the general
// decimal conversion (a drawing writes millions of coordinates): the value
// is m·2^e exactly, so m·10^6 (at most 73 bits) shifted right by −e, rounded
// to nearest with ties to even on the exact remainder, is the number of
// millionths "%f" prints. Same text as std::to_chars to the byte; nothing
// when the value is out of range.
std::optional<size_t> FormatRealFast(double value, char* first, char* last) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased >= 1023 + kFastExponentLimit) return std::nullopt;  // also inf and NaN
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  int exponent = -1074;  // subnormal
  if (biased != 0) {
    mantissa |= uint64_t{1} << 52;
    exponent = biased - 1075;
  }
  constexpr uint64_t kMillion = 1000000;
  uint64_t millionths = 0;
  if (exponent >= 0) {
    millionths = (mantissa << exponent) * kMillion;
  } else if (exponent > -128) {
    using Wide = unsigned __int128;
    const int shift = -exponent;
    const Wide scaled = static_cast<Wide>(mantissa) * kMillion;
    millionths = static_cast<uint64_t>(scaled >> shift);
    const Wide rest = scaled & ((Wide{1} << shift) - 1);
    const Wide half = Wide{1} << (shift - 1);
    if (rest > half || (rest == half && (millionths & 1) != 0)) ++millionths;
  }  // else below 2^-74: rounds to zero
  char* c = first;
  if ((bits >> 63) != 0) *c++ = '-';
  c = std::to_chars(c, last, millionths / kMillion).ptr;
  *c++ = '.';
  uint64_t fraction = millionths % kMillion;
  for (int i = 5; i >= 0; --i) {
    c[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return static_cast<size_t>(c + 6 - first);
}

// Writes the digits at first (up to last); the text is in that buffer.
std::string_view FormatRealInto(double value, char* first, char* last) {
  if (last - first >= kFastRealBuffer) {
    if (const std::optional<size_t> length = FormatRealFast(value, first, last)) return std::string_view(first, *length);
  }
  auto [end, ec] = std::to_chars(first, last, value, std::chars_format::fixed, 6);
  if (ec != std::errc()) return {};
  return std::string_view(first, static_cast<size_t>(end - first));
}

}  // namespace

std::string DxfWriter::FormatReal(double value) {
  char text[kRealBuffer];
  return std::string(FormatRealInto(value, text, text + sizeof text));
}

bool DxfWriter::Fail(std::string message) {
  if (!failed_) {
    failed_ = true;
    error_ = std::move(message);
  }
  return false;
}

bool DxfWriter::Line(std::string_view text) {
  if (failed_) return false;
  errno = 0;
  if (!WriteLine(text)) return Fail(std::string("write failed: ") + std::strerror(errno ? errno : EIO));
  return true;
}

bool DxfWriter::Flush() {
  if (failed_) return false;
  errno = 0;
  if (!FlushLines()) return Fail(std::string("write failed: ") + std::strerror(errno ? errno : EIO));
  return true;
}

bool DxfWriter::Formatted(std::string_view text) {
  if (failed_) return false;
  errno = 0;
  if (!WriteFormatted(text)) return Fail(std::string("write failed: ") + std::strerror(errno ? errno : EIO));
  return true;
}

bool DxfWriter::WriteFormatted(std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find(kLineEnd);
    if (!WriteLine(text.substr(0, end))) return false;
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + kLineEnd.size());
  }
  return true;
}

bool DxfWriter::Lines(std::span<const std::string_view> lines) {
  for (std::string_view line : lines) {
    if (!Line(line)) return false;
  }
  return true;
}

bool DxfWriter::Name(std::string_view code, std::string_view text) {
  if (text.find_first_of("\r\n") != std::string_view::npos) {
    return Fail("the name \"" + std::string(text.substr(0, text.find_first_of("\r\n"))) + "...\" holds a line break");
  }
  return Group(code, text);
}

bool DxfWriter::Real(std::string_view code, double value) {
  if (!std::isfinite(value)) return Fail("a number to write is not finite (group " + std::string(Trim(code)) + ")");
  char text[kRealBuffer];
  std::string_view number = FormatRealInto(value, text, text + sizeof text);
  if (number.empty()) return Fail("a number could not be formatted");
  return Group(code, number);
}

bool DxfWriter::RealPadded(std::string_view code, double value) {
  if (!std::isfinite(value)) return Fail("a number to write is not finite (group " + std::string(Trim(code)) + ")");
  char text[kRealBuffer + 2] = {' ', ' '};
  std::string_view number = FormatRealInto(value, text + 2, text + sizeof text);
  if (number.empty()) return Fail("a number could not be formatted");
  return Group(code, std::string_view(text, number.size() + 2));
}

bool DxfWriter::Int(std::string_view code, long long value) {
  char text[24];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return Group(code, std::string_view(text, static_cast<size_t>(end - text)));
}

bool DxfWriter::IntPadded(std::string_view code, long long value) {
  char text[26] = {' ', ' '};
  auto [end, ec] = std::to_chars(text + 2, text + sizeof text, value);
  return Group(code, std::string_view(text, static_cast<size_t>(end - text)));
}

bool DxfWriter::Hex(std::string_view code, uint32_t value) {
  char text[16];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value, 16);
  for (char* c = text; c != end; ++c) {
    if (*c >= 'a' && *c <= 'f') *c = static_cast<char>(*c - 'a' + 'A');
  }
  return Group(code, std::string_view(text, static_cast<size_t>(end - text)));
}

bool DxfWriter::Point(std::string_view xCode, std::string_view yCode, double x, double y) {
  DxfPoint p = ToUnit(x, y);
  return Real(xCode, p.x) && Real(yCode, p.y);
}

void DxfWriter::SetPixelsPerUnit(double factor) {
  if (std::isfinite(factor) && factor > 0.0) pixelsPerUnit_ = factor;
}

// Lines are gathered into blocks of this size before they reach the stream:
// one fwrite per block instead of one per line.
constexpr size_t kBlockSize = 1 << 16;

bool DxfStreamWriter::WriteLine(std::string_view text) {
  pending_.append(text);
  pending_.append(kLineEnd);
  return pending_.size() < kBlockSize || FlushLines();
}

bool DxfStreamWriter::FlushLines() {
  if (!stream_) {
    errno = EBADF;
    return false;
  }
  // Flushed block by block, so that a full disk is seen by the writer and
  // not only when the file is closed.
  const bool ok = std::fwrite(pending_.data(), 1, pending_.size(), stream_) == pending_.size() &&
                  std::fflush(stream_) == 0;
  pending_.clear();
  return ok;
}

bool DxfStreamWriter::WriteFormatted(std::string_view text) {
  pending_.append(text);
  return pending_.size() < kBlockSize || FlushLines();
}

void DxfTextWriter::clear() {
  text_.clear();
  ClearFailure();
}

bool DxfTextWriter::WriteLine(std::string_view text) {
  text_.append(text);
  text_.append(kLineEnd);
  return true;
}

bool DxfCollectingWriter::WriteLine(std::string_view text) {
  if (lines_.size() >= failAfter_) {
    errno = ENOSPC;
    return false;
  }
  lines_.emplace_back(text);
  return true;
}

std::string DxfCollectingWriter::Text() const {
  std::string text;
  for (const auto& line : lines_) {
    text += line;
    text += kLineEnd;
  }
  return text;
}

std::vector<std::pair<std::string, std::string>> DxfCollectingWriter::Tags() const {
  std::vector<std::pair<std::string, std::string>> tags;
  for (size_t i = 0; i + 1 < lines_.size(); i += 2) {
    tags.emplace_back(std::string(Trim(lines_[i])), std::string(Trim(lines_[i + 1])));
  }
  return tags;
}

}  // namespace quillon::formats
