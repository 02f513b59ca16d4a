#pragma once
// The lexical layer of DXF: lines and groups. Binary DXF (which starts with
// the sentinel "AutoCAD Binary DXF") is read too: its groups come out as the
// same texts an ASCII file would hold (reals with 17 significant digits), so
// everything above this layer reads both alike.
//
// ASCII DXF:  A line is the text up to
// CR LF, LF or a lone CR (so files from every platform read alike); a group
// is a code line and a value line, both trimmed of blanks. The code must be
// a decimal integer. One group can be pushed back, which is how an entity
// reader hands the "0" group that ends its record back to its caller.
//
// The reader never allocates in proportion to anything but the longest line,
// and that is capped: a line longer than kMaxLineLength keeps its first
// kMaxLineLength characters (the rest is dropped and noted).

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/progress.h"

namespace quillon::formats {

struct DxfGroup {
  int code = 0;
  std::string value;
  long line = 0;  // 1-based line number of the code line
};

class DxfGroupReader {
 public:
  // DXF values are at most a few hundred characters; anything far beyond is
  // damage, not data.
  static constexpr std::size_t kMaxLineLength = 65536;

  enum class Status {
    Ok,       // groups are being read
    End,      // the input ended (possibly in the middle of a group)
    BadCode,  // a code line that is not an integer: the structure is lost
  };

  // Reads from `file` (kept open by the caller), whose size in bytes is
  // `size` (for progress; 0 when unknown). progress receives `progressText`
  // and the percentage of the file read, each time that percentage changes.
  DxfGroupReader(std::FILE* file, long long size, platform::ProgressCallback progress = {},
                 std::string progressText = {});
  // Reads DXF text held in memory (which must outlive the reader).
  explicit DxfGroupReader(std::string_view text);
  DxfGroupReader(const DxfGroupReader&) = delete;
  DxfGroupReader& operator=(const DxfGroupReader&) = delete;

  // The next group, valid until the following call. Null at the end of the
  // input or at a code line that is not an integer; status() and problem()
  // tell which.
  const DxfGroup* next();
  // The group next() answered last is answered once more by the next call.
  void pushBack() { pushedBack_ = true; }

  Status status() const { return status_; }
  // Why reading stopped (BadCode), naming the line; "" otherwise.
  const std::string& problem() const { return problem_; }
  // Number of lines that were cut at kMaxLineLength.
  long longLines() const { return longLines_; }
  // Binary input counts two lines per group, as its ASCII form would have.
  long linesRead() const { return lineNumber_; }
  // The input is binary DXF (known after the first call of next()).
  bool binary() const { return binary_; }
  long long bytesRead() const { return position_; }

 private:
  // One line into `line`, terminator removed. False at the end of the input
  // (a last line without terminator is still a line).
  bool readLine(std::string& line);
  int getByte();
  void reportProgress();
  // Detects the binary sentinel at the start of the input and skips it.
  void detectBinary();
  const DxfGroup* nextBinary();
  // n bytes little-endian into out; false at the end of the input.
  bool readBytes(unsigned char* out, int n);

  std::FILE* file_;
  long long size_;
  platform::ProgressCallback progress_;
  std::string progressText_;
  int lastPercent_ = -1;

  char buffer_[16384];
  const char* data_ = buffer_;  // buffer_, or the text in memory
  std::size_t bufferLength_ = 0;
  std::size_t bufferPos_ = 0;
  bool eof_ = false;

  long long position_ = 0;
  long lineNumber_ = 0;
  long longLines_ = 0;
  std::string codeLine_;
  DxfGroup current_;
  bool pushedBack_ = false;
  Status status_ = Status::Ok;
  std::string problem_;
  bool started_ = false;
  bool binary_ = false;
  bool twoByteCodes_ = true;
};

// Leading and trailing blanks (space, tab, and the other C white space)
// removed.
std::string_view TrimDxf(std::string_view text);
// Names compare without regard to case (ASCII).
bool DxfNameIs(std::string_view value, std::string_view name);
// The leading integer of the text as C's atoi reads it (blanks, sign,
// digits; 0 when there are none), saturated to the int range instead of
// overflowing.
int DxfAtoi(std::string_view text);

}  // namespace quillon::formats
