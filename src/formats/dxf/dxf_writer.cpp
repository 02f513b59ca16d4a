#include "formats/dxf/dxf_writer.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quillon::formats {

namespace {
constexpr std::string_view kLineEnd = "\r\n";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}
}  // namespace

std::string DxfWriter::FormatReal(double value) {
  // Six decimals like "%f"; std::to_chars never looks at LC_NUMERIC, so a
  // user locale with a decimal comma cannot leak into the file.
  char text[400];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
  if (ec != std::errc()) return "0.000000";
  return std::string(text, end);
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
  buffer_.assign(text);
  buffer_.append(kLineEnd);
  if (!WriteBytes(buffer_)) return Fail(std::string("write failed: ") + std::strerror(errno ? errno : EIO));
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
  return Group(code, FormatReal(value));
}

bool DxfWriter::RealPadded(std::string_view code, double value) {
  if (!std::isfinite(value)) return Fail("a number to write is not finite (group " + std::string(Trim(code)) + ")");
  return Group(code, "  " + FormatReal(value));
}

bool DxfWriter::Int(std::string_view code, long long value) { return Group(code, std::to_string(value)); }

bool DxfWriter::IntPadded(std::string_view code, long long value) {
  return Group(code, "  " + std::to_string(value));
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

bool DxfStreamWriter::WriteBytes(std::string_view bytes) {
  if (!stream_) {
    errno = EBADF;
    return false;
  }
  errno = 0;
  return std::fwrite(bytes.data(), 1, bytes.size(), stream_) == bytes.size();
}

bool DxfCollectingWriter::WriteBytes(std::string_view bytes) {
  if (lines_.size() >= failAfter_) {
    errno = ENOSPC;
    return false;
  }
  bytes.remove_suffix(kLineEnd.size());
  lines_.emplace_back(bytes);
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
