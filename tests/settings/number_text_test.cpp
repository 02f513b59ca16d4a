#include "settings/number_text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUILLON_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLON_LSAN 1
#endif
#endif
#ifdef QUILLON_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace quillon::settings {
namespace {

TEST(NumberText, SeparatorsFollowTheirTextsAndNeverCoincide) {
  Separators s = MakeSeparators(nullptr, "");
  EXPECT_EQ(s.decimal, '.');
  EXPECT_EQ(s.list, ',');
  s = MakeSeparators(",", ";");
  EXPECT_EQ(s.decimal, ',');
  EXPECT_EQ(s.list, ';');
  s = MakeSeparators(",", ",");  // equal: the list separator gives way
  EXPECT_EQ(s.list, '.');
  s = MakeSeparators(".", ".");
  EXPECT_EQ(s.list, ',');
  s = MakeSeparators("\xD9\xAB", nullptr);  // a multi-byte separator cannot be used byte-wise
  EXPECT_EQ(s.decimal, '.');
}

TEST(NumberText, ParseNumberWithDecimalComma) {
  EXPECT_EQ(ParseNumber("1,5", ','), 1.5);
  EXPECT_EQ(ParseNumber("1.5", ','), 1.5);
  EXPECT_EQ(ParseNumber("-2,25", ','), -2.25);
  EXPECT_EQ(ParseNumber("+3", ','), 3.0);
  EXPECT_EQ(ParseNumber("  4,0", ','), 4.0);
  EXPECT_EQ(ParseNumber("1e2", ','), 100.0);
  for (const char* bad : {"", "1,5a", "1,5 ", "abc", "+-3", "+", "1,,5", "inf", "nan", "1e999"})
    EXPECT_FALSE(ParseNumber(bad, ',')) << bad;
}

TEST(NumberText, ParseNumberWithDecimalPointRejectsComma) {
  EXPECT_EQ(ParseNumber("2.5", '.'), 2.5);
  EXPECT_FALSE(ParseNumber("2,5", '.'));
}

TEST(NumberText, ParseIntegerConsumesWholeTextWithinIntRange) {
  EXPECT_EQ(ParseInteger("12"), 12);
  EXPECT_EQ(ParseInteger("-7"), -7);
  EXPECT_EQ(ParseInteger("+5"), 5);
  EXPECT_EQ(ParseInteger(" 3"), 3);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  for (const char* bad : {"", "12a", "1.0", "99999999999", "-", "+-1", "0x10"}) EXPECT_FALSE(ParseInteger(bad)) << bad;
}

TEST(NumberText, FormatNumberUsesExactlyTheDecimalsAndTheSeparator) {
  EXPECT_EQ(FormatNumber(1.5, 4, ','), "1,5000");
  EXPECT_EQ(FormatNumber(2.0, 1, '.'), "2.0");
  EXPECT_EQ(FormatNumber(2.6, 0, ','), "3");
  EXPECT_EQ(FormatNumber(2.6, -3, ','), "3");
  EXPECT_EQ(FormatNumber(-0.25, 3, ','), "-0,250");
  EXPECT_EQ(FormatFixed(2.0, 3), "2.000");
  EXPECT_EQ(FormatFixed(1e20, 1), "100000000000000000000.0");
  EXPECT_EQ(FormatFixed(0.0, 6), "0.000000");
}

// A locale with a decimal comma: an installed one, else one generated into a
// temporary directory when localedef is available.
class CommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef QUILLON_LSAN
    // glibc keeps the parsed LOCPATH list for good; that is not our leak.
    __lsan_disable();
#endif
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
      if (Usable(name)) {
        name_ = name;
        return;
      }
    }
    if (std::system("command -v localedef >/dev/null 2>&1") == 0) {
      const std::string target = dir_.file("de_DE.UTF-8");
      const std::string command = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
      if (std::system(command.c_str()) >= 0 && std::filesystem::exists(target)) {
        ::setenv("LOCPATH", dir_.path().c_str(), 1);
        locpathSet_ = true;
        if (Usable("de_DE.UTF-8")) {
          name_ = "de_DE.UTF-8";
          return;
        }
      }
    }
    GTEST_SKIP() << "no locale with a decimal comma is available";
  }
  void TearDown() override {
    ::unsetenv("LC_ALL");
    if (locpathSet_) ::unsetenv("LOCPATH");
    std::setlocale(LC_ALL, "C");
    SetLocaleSeparators(Separators{});
#ifdef QUILLON_LSAN
    __lsan_enable();
#endif
  }
  static bool Usable(const char* name) {
    locale_t l = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(nullptr));
    if (l == static_cast<locale_t>(nullptr)) return false;
    freelocale(l);
    return true;
  }
  test::TempDir dir_;
  std::string name_;
  bool locpathSet_ = false;
};

TEST_F(CommaLocale, UserSeparatorsComeFromTheEnvironmentAndFileFormsIgnoreIt) {
  ::setenv("LC_ALL", name_.c_str(), 1);
  const Separators s = ReadUserSeparators();
  EXPECT_EQ(s.decimal, ',');
  EXPECT_EQ(s.list, ';');
  // Reading them must not switch the process to the user's locale.
  EXPECT_EQ(FormatFixed(1.5, 1), "1.5");
  EXPECT_STREQ(std::localeconv()->decimal_point, ".");

  SetLocaleSeparators(s);
  EXPECT_EQ(ParseNumber("1,5"), 1.5);
  EXPECT_EQ(ParseNumber("1.5"), 1.5);
  EXPECT_FALSE(ParseNumber("1,5x"));
  EXPECT_EQ(FormatNumber(2.25, 4), "2,2500");

  // The desktop toolkit switches the whole process to the user's locale;
  // the file forms must not follow it.
  ASSERT_NE(std::setlocale(LC_ALL, name_.c_str()), nullptr);
  EXPECT_EQ(FormatFixed(2.0, 3), "2.000");
  EXPECT_EQ(ParseNumber("2.5", '.'), 2.5);
}

}  // namespace
}  // namespace quillon::settings
