#include "settings/number_text.h"

#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <locale.h>
#include <mutex>

namespace quillon::settings {

namespace {

// A separator must be one ASCII byte: the first byte of a multi-byte
// separator would cut a UTF-8 sequence in half when texts are rewritten.
char FirstAscii(const char* text, char fallback) {
  if (text == nullptr || text[0] == '\0') return fallback;
  const auto c = static_cast<unsigned char>(text[0]);
  return c < 0x80 ? static_cast<char>(c) : fallback;
}

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r' ||
                        s.front() == '\v' || s.front() == '\f'))
    s.remove_prefix(1);
  return s;
}

std::mutex& SeparatorMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<Separators>& ProcessSeparators() {
  static std::optional<Separators> separators;
  return separators;
}

}  // namespace

Separators MakeSeparators(const char* decimal, const char* list) {
  Separators s;
  s.decimal = FirstAscii(decimal, '.');
  s.list = FirstAscii(list, ',');
  if (s.list == s.decimal) s.list = s.decimal == ',' ? '.' : ',';
  return s;
}

Separators ReadUserSeparators() {
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) return MakeSeparators(nullptr, nullptr);
  // localeconv() answers for the calling thread's locale, so switching only
  // this thread keeps printf and friends elsewhere on the "C" rules.
  locale_t previous = uselocale(user);
  std::string decimal;
  if (const lconv* conv = localeconv(); conv != nullptr && conv->decimal_point != nullptr)
    decimal = conv->decimal_point;
  uselocale(previous);
  freelocale(user);
  // Linux locales carry no list separator; the usual convention pairs ';'
  // with a decimal comma.
  const char* list = (!decimal.empty() && decimal[0] == ',') ? ";" : ",";
  return MakeSeparators(decimal.c_str(), list);
}

Separators LocaleSeparators() {
  std::lock_guard lock(SeparatorMutex());
  auto& s = ProcessSeparators();
  if (!s) s = ReadUserSeparators();
  return *s;
}

void SetLocaleSeparators(Separators separators) {
  std::lock_guard lock(SeparatorMutex());
  ProcessSeparators() = separators;
}

std::optional<double> ParseNumber(std::string_view text, char decimal) {
  std::string s(SkipBlanks(text));
  if (s.empty()) return std::nullopt;
  if (decimal != '.')
    for (char& c : s)
      if (c == decimal) c = '.';
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (*first == '+') {
    ++first;
    if (first == last || *first == '-' || *first == '+') return std::nullopt;
  }
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<double> ParseNumber(std::string_view text) { return ParseNumber(text, LocaleSeparators().decimal); }

std::optional<int> ParseInteger(std::string_view text) {
  std::string_view s = SkipBlanks(text);
  if (s.empty()) return std::nullopt;
  if (s.front() == '+') {
    s.remove_prefix(1);
    if (s.empty() || s.front() == '-' || s.front() == '+') return std::nullopt;
  }
  long long value = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 10);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  if (value < INT_MIN || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

std::string FormatFixed(double value, int decimals) {
  // Enough for the largest double in fixed notation (309 digits) plus the
  // fraction; more than 60 decimals carry no information for a double.
  if (decimals < 0) decimals = 0;
  if (decimals > 60) decimals = 60;
  char buffer[400];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return std::string();
  return std::string(buffer, ptr);
}

std::string FormatNumber(double value, int decimals, char decimal) {
  std::string s = FormatFixed(value, decimals);
  if (decimal != '.')
    for (char& c : s)
      if (c == '.') c = decimal;
  return s;
}

std::string FormatNumber(double value, int decimals) {
  return FormatNumber(value, decimals, LocaleSeparators().decimal);
}

}  // namespace quillon::settings
