#include "settings/color.h"

#include <gtest/gtest.h>

namespace quillon::settings {
namespace {

constexpr Rgb kBlue{0x00, 0x00, 0xFF};
constexpr Rgb kYellow{0xFF, 0xFF, 0x00};

TEST(ResolveColor, WhiteFollowsTheBackgroundLuminance) {
  std::string name;
  EXPECT_EQ(ResolveColor(7, &name, false, kBlue), kRgbWhite);  // luminance 29
  EXPECT_EQ(name, "White");
  EXPECT_EQ(ResolveColor(7, nullptr, false, kYellow), kRgbBlack);  // luminance 225
  // The boundary: 128 is still dark, 129 light.
  EXPECT_EQ(ResolveColor(7, nullptr, false, Rgb{128, 128, 128}), kRgbWhite);
  EXPECT_EQ(ResolveColor(7, nullptr, false, Rgb{129, 129, 129}), kRgbBlack);
  // Under the background rule 7 is white whatever the background.
  EXPECT_EQ(ResolveColor(7, nullptr, true, kYellow), kRgbWhite);
  EXPECT_EQ(ResolveColor(7, nullptr, true, kRgbWhite), kRgbWhite);
}

TEST(ResolveColor, ByLayerAndOutOfRangeIndices) {
  std::string name;
  EXPECT_EQ(ResolveColor(0, &name, false, kRgbWhite), kRgbUnresolved);
  EXPECT_EQ(name, "Bylayer");
  EXPECT_EQ(ResolveColor(-3, &name, true, kRgbWhite), Rgb::FromHex(0xDEDEDE));
  EXPECT_EQ(name, "Bylayer");
  EXPECT_EQ(ResolveColor(kColorByLayer, &name, false, kRgbWhite), kRgbUnresolved);
  EXPECT_EQ(name, "Bylayer");
  EXPECT_EQ(ResolveColor(300, &name, false, kRgbWhite), kRgbUnresolved);
  EXPECT_EQ(name, "Color 300");
}

TEST(ResolveColor, NamesAndPaletteLookups) {
  std::string name;
  EXPECT_EQ(ResolveColor(1, &name, false, kRgbWhite), Rgb::FromHex(0xFF0000));
  EXPECT_EQ(name, "Red");
  EXPECT_EQ(ResolveColor(3, &name, false, kRgbWhite), Rgb::FromHex(0x00FF00));
  EXPECT_EQ(name, "green");
  EXPECT_EQ(ResolveColor(8, &name, false, kRgbWhite), Rgb::FromHex(0x989898));
  EXPECT_EQ(name, "Dark Gray");
  EXPECT_EQ(ResolveColor(9, &name, false, kRgbWhite), Rgb::FromHex(0xC0C0C0));
  EXPECT_EQ(name, "Color 9");
  EXPECT_EQ(ResolveColor(212, &name, false, kRgbWhite), Rgb::FromHex(0xA600A6));
  EXPECT_EQ(ResolveColor(214, &name, false, kRgbWhite), Rgb::FromHex(0x800080));  // grip boxes
  EXPECT_EQ(ResolveColor(255, &name, false, kRgbWhite), kRgbWhite);
  EXPECT_EQ(name, "Color 255");
}

TEST(ColorPalette, RowStartsAndEnds) {
  // First and last entry of a few rows catch a shifted or dropped entry.
  EXPECT_EQ(ColorPalette[16].hex(), 0x4C0000u);
  EXPECT_EQ(ColorPalette[31].hex(), 0xFFBF80u);
  EXPECT_EQ(ColorPalette[127].hex(), 0x264C43u);
  EXPECT_EQ(ColorPalette[128].hex(), 0x00261Du);
  EXPECT_EQ(ColorPalette[170].hex(), 0x0000FFu);
  EXPECT_EQ(ColorPalette[239].hex(), 0x26131Du);
  EXPECT_EQ(ColorPalette[250].hex(), 0x545454u);
  EXPECT_EQ(ColorPalette[254].hex(), 0xDDDDDDu);
}

TEST(Rgb, PackedForms) {
  constexpr Rgb c{0x12, 0x34, 0x56};
  EXPECT_EQ(c.hex(), 0x123456u);
  EXPECT_EQ(c.colorRef(), 0x563412u);
  EXPECT_EQ(Rgb::FromColorRef(c.colorRef()), c);
  EXPECT_EQ(ColorIndexFromStored(0x00010005u), 5);
}

}  // namespace
}  // namespace quillon::settings
