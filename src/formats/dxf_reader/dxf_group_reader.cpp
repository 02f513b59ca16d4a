#include "formats/dxf_reader/dxf_group_reader.h"

#include <algorithm>
#include <climits>

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

const DxfGroup* DxfGroupReader::next() {
  if (pushedBack_) {
    pushedBack_ = false;
    return &current_;
  }
  if (status_ != Status::Ok) return nullptr;
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
