#pragma once
// The DXF syntax: group-code lines and value lines, each ending in CR LF, with
// the fixed number formats of the file. Entities and the file-level writer
// express what they write through these emitters; the emitters know nothing
// of the drawing.
//
// Two implementations: DxfStreamWriter writes to a C stream (the save job's
// temporary file), DxfCollectingWriter keeps the lines in memory so tests can
// assert the tags without touching files.
//
// Every emitter answers false when the write failed. A failure is sticky: the
// first one is remembered (failed(), error()) and every later write answers
// false without writing, so a caller may chain emitters with && and stop at
// the first failure.

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::formats {

// A pair of coordinates in the drawing unit.
struct DxfPoint {
  double x = 0.0;
  double y = 0.0;
};

class DxfWriter {
 public:
  virtual ~DxfWriter() = default;

  // One line; the CR LF terminator is added here.
  bool Line(std::string_view text);
  // Several lines in order; stops at the first failure.
  bool Lines(std::span<const std::string_view> lines);
  bool Lines(std::initializer_list<std::string_view> lines) {
    return Lines(std::span<const std::string_view>(lines.begin(), lines.size()));
  }

  // A group: the code line as given (with its leading blanks), then the value.
  bool Group(std::string_view code, std::string_view value) { return Line(code) && Line(value); }
  // A stored text ("%s", a layer name). A text with a line break would end
  // the value early and shift every later group, so it fails the write.
  bool Name(std::string_view code, std::string_view text);
  // Value "%f" (six decimals). A value that is not finite fails the write:
  // "nan" or "inf" would make the file unreadable.
  bool Real(std::string_view code, double value);
  // Value "  %f" (two blanks in front).
  bool RealPadded(std::string_view code, double value);
  // Value "%d".
  bool Int(std::string_view code, long long value);
  // Value "  %d".
  bool IntPadded(std::string_view code, long long value);
  // Value "%X": upper-case hexadecimal without leading zeros (48 is "30").
  bool Hex(std::string_view code, uint32_t value);
  // A coordinate pair: converted to the drawing unit, then written as two
  // "%f" groups under the two codes.
  bool Point(std::string_view xCode, std::string_view yCode, double x, double y);

  // The drawing-unit conversion of coordinates, widths and radii: pixels are
  // divided by this factor (pixels per unit). 1 writes pixels. Factors that
  // are not positive and finite are ignored.
  void SetPixelsPerUnit(double factor);
  double PixelsPerUnit() const { return pixelsPerUnit_; }
  // Pixels to the drawing unit, one pair at a time.
  DxfPoint ToUnit(double x, double y) const { return {x / pixelsPerUnit_, y / pixelsPerUnit_}; }
  // A width or radius, converted as the x of a pair.
  double LengthToUnit(double value) const { return value / pixelsPerUnit_; }

  // Marks the output as failed with the message (the first message is kept);
  // always answers false so callers can `return writer.Fail(...)`.
  bool Fail(std::string message);
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }

  // Hands everything written so far to the destination; false (with
  // error()) when that failed. The file-level writers end with it.
  bool Flush();

  // Whole lines another writer formatted (a DxfTextWriter's text, each line
  // with its CR LF), passed on as if written line by line here.
  bool Formatted(std::string_view text);

  // "%f" of C, independent of the process locale.
  static std::string FormatReal(double value);

 protected:
  // Takes one line without its terminator; false on failure.
  virtual bool WriteLine(std::string_view text) = 0;
  // Writes out what WriteLine kept back; false on failure.
  virtual bool FlushLines() { return true; }
  // Takes whole lines with their terminators; by default one WriteLine each.
  virtual bool WriteFormatted(std::string_view text);
  // For a writer used again from its start.
  void ClearFailure() {
    failed_ = false;
    error_.clear();
  }

 private:
  double pixelsPerUnit_ = 1.0;
  bool failed_ = false;
  std::string error_;
};

// Writes to a C stream opened in binary mode (the CR LF are written here),
// in large blocks: call Flush at the end. The stream stays owned by the
// caller.
class DxfStreamWriter final : public DxfWriter {
 public:
  explicit DxfStreamWriter(std::FILE* stream) : stream_(stream) {}

 protected:
  bool WriteLine(std::string_view text) override;
  bool FlushLines() override;
  bool WriteFormatted(std::string_view text) override;

 private:
  std::FILE* stream_;
  std::string pending_;
};

// Keeps the text as the file would hold it (CR LF after every line), for
// formatting part of a file on another thread and handing it to the file's
// writer with Formatted().
class DxfTextWriter final : public DxfWriter {
 public:
  const std::string& text() const { return text_; }
  // Forgets the text and any failure.
  void clear();

 protected:
  bool WriteLine(std::string_view text) override;

 private:
  std::string text_;
};

// Keeps every line (without terminator) in memory. FailAfter(n) makes the
// (n+1)-th line fail, for tests of the failure paths.
class DxfCollectingWriter final : public DxfWriter {
 public:
  const std::vector<std::string>& lines() const { return lines_; }
  // The whole output as the file would hold it (CR LF after every line).
  std::string Text() const;
  // Pairs of (code, value) with the blanks trimmed from both, for tag checks.
  std::vector<std::pair<std::string, std::string>> Tags() const;
  void FailAfter(size_t lineCount) { failAfter_ = lineCount; }
  void clear() { lines_.clear(); }

 protected:
  bool WriteLine(std::string_view text) override;

 private:
  std::vector<std::string> lines_;
  size_t failAfter_ = SIZE_MAX;
};

}  // namespace quillon::formats
