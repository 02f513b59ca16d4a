#include "formats/dxf_reader/dxf_group_reader.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "settings/number_text.h"

namespace quillon::formats {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n'; }
}  // namespace

std::string_view TrimDxf(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool DxfNameIs(std::string_view value, std::string_view name) {
  if (value.size() != name.size()) return false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char a = value[i], b = name[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

int DxfAtoi(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;  // saturate
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

DxfGroupReader::DxfGroupReader(std::FILE* file, long long size, platform::ProgressCallback progress,
                               std::string progressText)
    : file_(file), size_(size), progress_(std::move(progress)), progressText_(std::move(progressText)) {}

DxfGroupReader::DxfGroupReader(std::string_view text)
    : file_(nullptr), size_(static_cast<long long>(text.size())), data_(text.data()), bufferLength_(text.size()) {}

int DxfGroupReader::getByte() {
  if (bufferPos_ == bufferLength_) {
    if (eof_ || file_ == nullptr) return EOF;
    bufferLength_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    bufferPos_ = 0;
    if (bufferLength_ == 0) {
      eof_ = true;
      return EOF;
    }
  }
  ++position_;
  return static_cast<unsigned char>(data_[bufferPos_++]);
}

void DxfGroupReader::reportProgress() {
  if (!progress_ || size_ <= 0) return;
  long long percent = position_ * 100 / size_;
  if (percent > 100) percent = 100;
  if (percent == lastPercent_) return;
  lastPercent_ = static_cast<int>(percent);
  progress_(progressText_, lastPercent_);
}

bool DxfGroupReader::readLine(std::string& line) {
  line.clear();
  bool any = false, cut = false;
  int terminator = EOF;
  // Whole runs of the buffer are appended at once; the terminator search is
  // the only per-byte work.
  while (terminator == EOF) {
    if (bufferPos_ == bufferLength_) {
      const int c = getByte();  // refills the buffer
      if (c == EOF) break;
      --bufferPos_;  // put it back: the scan below takes it
      --position_;
    }
    const char* begin = data_ + bufferPos_;
    const char* end = data_ + bufferLength_;
    const char* stop = begin;
    while (stop != end && *stop != '\n' && *stop != '\r') ++stop;
    const std::size_t run = static_cast<std::size_t>(stop - begin);
    const std::size_t room = kMaxLineLength - std::min(line.size(), kMaxLineLength);
    if (run > room) cut = true;
    line.append(begin, std::min(run, room));
    any = true;
    bufferPos_ += run;
    position_ += static_cast<long long>(run);
    if (stop != end) terminator = getByte();
  }
  if (!any) return false;
  if (terminator == '\r') {
    // CR LF is one terminator; a lone CR ends the line by itself.
    const int after = getByte();
    if (after != '\n' && after != EOF) {
      --bufferPos_;  // getByte just read it from the buffer, so it can be returned
      --position_;
    }
  }
  ++lineNumber_;
  if (cut) ++longLines_;
  reportProgress();
  return true;
}

namespace {

constexpr std::string_view kBinarySentinel("AutoCAD Binary DXF\r\n\x1a\0", 22);

enum class BinaryValue { Text, Int16, Int32, Int64, Real, Bool, Chunk };

// The value type of a binary group code.
BinaryValue BinaryValueOf(int code) {
  const auto in = [code](int lo, int hi) { return code >= lo && code <= hi; };
  if (in(310, 319) || code == 1004) return BinaryValue::Chunk;
  if (in(60, 79) || in(170, 179) || in(270, 289) || in(370, 389) || in(400, 409) || in(1060, 1070)) {
    return BinaryValue::Int16;
  }
  if (in(90, 99) || in(420, 429) || in(440, 459) || code == 1071) return BinaryValue::Int32;
  if (in(160, 169)) return BinaryValue::Int64;
  if (in(10, 59) || in(110, 149) || in(210, 239) || in(460, 469) || in(1010, 1059)) return BinaryValue::Real;
  if (in(290, 299)) return BinaryValue::Bool;
  return BinaryValue::Text;
}

}  // namespace

void DxfGroupReader::detectBinary() {
  started_ = true;
  // Fill the buffer (file input) without consuming anything.
  if (bufferPos_ == bufferLength_) {
    if (getByte() == EOF) return;
    --bufferPos_;
    --position_;
  }
  const std::string_view head(data_ + bufferPos_, bufferLength_ - bufferPos_);
  if (head.substr(0, kBinarySentinel.size()) != kBinarySentinel) return;
  binary_ = true;
  bufferPos_ += kBinarySentinel.size();
  position_ += static_cast<long long>(kBinarySentinel.size());
  // Group codes take two bytes since R13 and one byte before: the first
  // group ("0"/"SECTION") shows which.
  const std::string_view rest = head.substr(kBinarySentinel.size());
  twoByteCodes_ = rest.size() < 2 || !(rest[0] == '\0' && rest[1] != '\0');
}

bool DxfGroupReader::readBytes(unsigned char* out, int n) {
  for (int i = 0; i < n; ++i) {
    const int c = getByte();
    if (c == EOF) return false;
    out[i] = static_cast<unsigned char>(c);
  }
  return true;
}

const DxfGroup* DxfGroupReader::nextBinary() {
  unsigned char b[8];
  int code = 0;
  if (!readBytes(b, 1)) {
    status_ = Status::End;
    return nullptr;
  }
  if (twoByteCodes_) {
    if (!readBytes(b + 1, 1)) {
      status_ = Status::End;
      return nullptr;
    }
    code = static_cast<int16_t>(b[0] | (b[1] << 8));
  } else if (b[0] == 255) {  // a one-byte file escapes larger codes
    if (!readBytes(b, 2)) {
      status_ = Status::End;
      return nullptr;
    }
    code = static_cast<int16_t>(b[0] | (b[1] << 8));
  } else {
    code = b[0];
  }
  std::string& value = current_.value;
  value.clear();
  bool ok = true;
  switch (BinaryValueOf(code)) {
    case BinaryValue::Chunk: {
      ok = readBytes(b, 1);
      for (int i = 0; ok && i < b[0]; ++i) ok = getByte() != EOF;
      break;
    }
    case BinaryValue::Int16:
      if ((ok = readBytes(b, 2))) value = std::to_string(static_cast<int16_t>(b[0] | (b[1] << 8)));
      break;
    case BinaryValue::Int32:
      if ((ok = readBytes(b, 4))) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | b[i];
        value = std::to_string(static_cast<int32_t>(v));
      }
      break;
    case BinaryValue::Int64:
      if ((ok = readBytes(b, 8))) {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
        value = std::to_string(static_cast<int64_t>(v));
      }
      break;
    case BinaryValue::Real:
      if ((ok = readBytes(b, 8))) {
        uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[i];
        double v = 0.0;
        static_assert(sizeof v == sizeof bits);
        std::memcpy(&v, &bits, sizeof v);
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", v);
        value = text;
      }
      break;
    case BinaryValue::Bool:
      if ((ok = readBytes(b, 1))) value = std::to_string(b[0]);
      break;
    case BinaryValue::Text: {
      bool cut = false;
      for (;;) {
        const int c = getByte();
        if (c == EOF) {
          ok = false;
          break;
        }
        if (c == 0) break;
        if (value.size() < kMaxLineLength) value.push_back(static_cast<char>(c));
        else cut = true;
      }
      if (cut) ++longLines_;
      const std::string_view trimmed = TrimDxf(value);
      if (trimmed.size() != value.size()) value = std::string(trimmed);
      break;
    }
  }
  if (!ok) {
    status_ = Status::End;  // the input ends inside the group
    return nullptr;
  }
  current_.code = code;
  current_.line = lineNumber_ + 1;
  lineNumber_ += 2;
  reportProgress();
  return &current_;
}

const DxfGroup* DxfGroupReader::next() {
  if (pushedBack_) {
    pushedBack_ = false;
    return &current_;
  }
  if (status_ != Status::Ok) return nullptr;
  if (!started_) detectBinary();
  if (binary_) return nextBinary();
  if (!readLine(codeLine_)) {
    status_ = Status::End;
    return nullptr;
  }
  const long codeLineNumber = lineNumber_;
  const std::string_view codeText = TrimDxf(codeLine_);
  const auto code = settings::ParseInteger(codeText);
  if (!code) {
    status_ = Status::BadCode;
    problem_ = "line " + std::to_string(codeLineNumber) + ": \"" + std::string(codeText.substr(0, 40)) +
               "\" is not a group code";
    return nullptr;
  }
  if (!readLine(current_.value)) {
    status_ = Status::End;  // a code without its value: the input was cut
    return nullptr;
  }
  const std::string_view value = TrimDxf(current_.value);
  if (value.size() != current_.value.size()) current_.value = std::string(value);
  current_.code = *code;
  current_.line = codeLineNumber;
  return &current_;
}

}  // namespace quillon::formats
