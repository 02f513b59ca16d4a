#pragma once
// Numbers as text. Dialogs and the input box show and accept the user's
// decimal separator; files, logs and the parameter texts always use a point.
// None of these functions depends on the C library's global locale, so they
// give the same result whether or not the process called setlocale().

#include <optional>
#include <string>
#include <string_view>

namespace quillon::settings {

struct Separators {
  char decimal = '.';
  char list = ',';
};

// Builds the separators from the first characters of the given texts ('.'
// and ',' when a text is null or empty). When both come out equal, the list
// separator becomes '.' if the decimal separator is ',' and ',' otherwise.
Separators MakeSeparators(const char* decimal, const char* list);

// The separators of the user's LC_NUMERIC locale (the environment's, read
// through localeconv() on a thread-local copy, leaving the global locale
// alone). The list separator is ';' when the decimal separator is ',', else
// ','. An unknown locale gives '.' and ','.
Separators ReadUserSeparators();

// The process-wide separators: read with ReadUserSeparators() on first use.
Separators LocaleSeparators();
// Replaces the process-wide separators (start-up, tests).
void SetLocaleSeparators(Separators separators);

// Converts a decimal number. Every occurrence of the decimal separator is
// taken as '.'; a '.' is accepted too. Fails (nullopt) for an empty text, a
// text the conversion does not consume whole, and for values that are not
// finite (inf, nan, or out of the double range). Leading blanks are skipped.
std::optional<double> ParseNumber(std::string_view text, char decimal);
std::optional<double> ParseNumber(std::string_view text);  // LocaleSeparators().decimal

// Base-10 integer that must consume the whole text (an optional sign, leading
// blanks skipped). Fails for an empty text and for values outside int.
std::optional<int> ParseInteger(std::string_view text);

// The value with exactly `decimals` digits after the point (negative counts
// as 0), the point replaced by `decimal`.
std::string FormatNumber(double value, int decimals, char decimal);
std::string FormatNumber(double value, int decimals);  // LocaleSeparators().decimal

// Like printf("%.*f"), always with '.': the form used in files and logs.
std::string FormatFixed(double value, int decimals);

}  // namespace quillon::settings
