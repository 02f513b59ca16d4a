#pragma once
// Colour indices of the drawing and the 256-entry palette behind them. Every
// colour of an entity, a layer, the selection, the background and the markers
// is a ColorIndex; the display and the writers turn it into RGB with
// ResolveColor.

#include <array>
#include <cstdint>
#include <string>

namespace quillon::settings {

// 1..255 select a palette colour; 256 is ByLayer (the layer's colour). Values
// of 0 or below are read as ByLayer.
using ColorIndex = int16_t;

inline constexpr ColorIndex kColorByLayer = 256;
// Index 7 is white or black depending on the background (see ResolveColor).
inline constexpr ColorIndex kColorWhite = 7;

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;

  constexpr bool operator==(const Rgb&) const = default;

  // 0xRRGGBB, as the palette lists colours.
  static constexpr Rgb FromHex(uint32_t rrggbb) {
    return Rgb{static_cast<uint8_t>((rrggbb >> 16) & 0xFF), static_cast<uint8_t>((rrggbb >> 8) & 0xFF),
               static_cast<uint8_t>(rrggbb & 0xFF)};
  }
  constexpr uint32_t hex() const { return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b; }
  // 0x00BBGGRR, the packed 32-bit form kept next to an index in the display options.
  constexpr uint32_t colorRef() const { return (uint32_t{b} << 16) | (uint32_t{g} << 8) | r; }
  static constexpr Rgb FromColorRef(uint32_t bbggrr) {
    return Rgb{static_cast<uint8_t>(bbggrr & 0xFF), static_cast<uint8_t>((bbggrr >> 8) & 0xFF),
               static_cast<uint8_t>((bbggrr >> 16) & 0xFF)};
  }
  // 0.299 R + 0.587 G + 0.114 B, truncated.
  constexpr int luminance() const { return static_cast<int>(0.299 * r + 0.587 * g + 0.114 * b); }
};

inline constexpr Rgb kRgbWhite{255, 255, 255};
inline constexpr Rgb kRgbBlack{0, 0, 0};
// What ByLayer and out-of-range indices resolve to.
inline constexpr Rgb kRgbUnresolved{0xDE, 0xDE, 0xDE};

namespace detail {
// RRGGBB per index; entry 0 is never used because index 0 means ByLayer.
inline constexpr std::array<uint32_t, 256> kPaletteHex = {
    0x000000, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFF00FF, 0xFFFFFF,  // 0
    0x989898, 0xC0C0C0, 0xFF0000, 0xFF8080, 0xA60000, 0xA65353, 0x800000, 0x804040,
    0x4C0000, 0x4C2626, 0x260000, 0x261313, 0xFF4000, 0xFF9F80, 0xA62900, 0xA66853,  // 16
    0x802000, 0x805040, 0x4C1300, 0x4C3026, 0x260A00, 0x261813, 0xFF8000, 0xFFBF80,
    0xA65300, 0xA67C53, 0x804000, 0x806040, 0x4C2600, 0x4C3926, 0x261300, 0x261D13,  // 32
    0xFFBF00, 0xFFDF80, 0xA67C00, 0xA69153, 0x806000, 0x807040, 0x4C3900, 0x4C4326,
    0x261D00, 0x262113, 0xFFFF00, 0xFFFF80, 0xA6A600, 0xA6A653, 0x808000, 0x808040,  // 48
    0x4C4C00, 0x4C4C26, 0x262600, 0x262613, 0xBFFF00, 0xDFFF80, 0x7CA600, 0x91A653,
    0x608000, 0x708040, 0x394C00, 0x434C26, 0x1D2600, 0x212613, 0x80FF00, 0xBFFF80,  // 64
    0x53A600, 0x7CA653, 0x408000, 0x608040, 0x264C00, 0x394C26, 0x132600, 0x1D2613,
    0x40FF00, 0x9FFF80, 0x29A600, 0x68A653, 0x208000, 0x508040, 0x134C00, 0x304C26,  // 80
    0x0A2600, 0x182613, 0x00FF00, 0x80FF80, 0x00A600, 0x53A653, 0x008000, 0x408040,
    0x004C00, 0x264C26, 0x002600, 0x132613, 0x00FF40, 0x80FF9F, 0x00A629, 0x53A668,  // 96
    0x008020, 0x408050, 0x004C13, 0x264C30, 0x00260A, 0x132618, 0x00FF80, 0x80FFBF,
    0x00A653, 0x53A67C, 0x008040, 0x408060, 0x004C26, 0x264C39, 0x002613, 0x13261D,  // 112
    0x00FFBF, 0x80FFDF, 0x00A67C, 0x53A691, 0x008060, 0x408070, 0x004C39, 0x264C43,
    0x00261D, 0x132621, 0x00FFFF, 0x80FFFF, 0x00A6A6, 0x53A6A6, 0x008080, 0x408080,  // 128
    0x004C4C, 0x264C4C, 0x002626, 0x132626, 0x00BFFF, 0x80DFFF, 0x007CA6, 0x5391A6,
    0x006080, 0x407080, 0x00394C, 0x26434C, 0x001D26, 0x132126, 0x0080FF, 0x80BFFF,  // 144
    0x0053A6, 0x537CA6, 0x004080, 0x406080, 0x00264C, 0x26394C, 0x001326, 0x131D26,
    0x0040FF, 0x809FFF, 0x0029A6, 0x5368A6, 0x002080, 0x405080, 0x00134C, 0x26304C,  // 160
    0x000A26, 0x131826, 0x0000FF, 0x8080FF, 0x0000A6, 0x5353A6, 0x000080, 0x404080,
    0x00004C, 0x26264C, 0x000026, 0x131326, 0x4000FF, 0x9F80FF, 0x2900A6, 0x6853A6,  // 176
    0x200080, 0x504080, 0x13004C, 0x30264C, 0x0A0026, 0x181326, 0x8000FF, 0xBF80FF,
    0x5300A6, 0x7C53A6, 0x400080, 0x604080, 0x26004C, 0x39264C, 0x130026, 0x1D1326,  // 192
    0xBF00FF, 0xDF80FF, 0x7C00A6, 0x9153A6, 0x600080, 0x704080, 0x39004C, 0x43264C,
    0x1D0026, 0x211326, 0xFF00FF, 0xFF80FF, 0xA600A6, 0xA653A6, 0x800080, 0x804080,  // 208
    0x4C004C, 0x4C264C, 0x260026, 0x261326, 0xFF00BF, 0xFF80DF, 0xA6007C, 0xA65391,
    0x800060, 0x804070, 0x4C0039, 0x4C2643, 0x26001D, 0x261321, 0xFF0080, 0xFF80BF,  // 224
    0xA60053, 0xA6537C, 0x800040, 0x804060, 0x4C0026, 0x4C2639, 0x260013, 0x26131D,
    0xFF0040, 0xFF809F, 0xA60029, 0xA65368, 0x800020, 0x804050, 0x4C0013, 0x4C2630,  // 240
    0x26000A, 0x261318, 0x545454, 0x767676, 0x989898, 0xBBBBBB, 0xDDDDDD, 0xFFFFFF,
};

constexpr std::array<Rgb, 256> MakePalette() {
  std::array<Rgb, 256> palette{};
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = Rgb::FromHex(kPaletteHex[i]);
  return palette;
}
}  // namespace detail

// The 256 palette colours by index.
inline constexpr std::array<Rgb, 256> ColorPalette = detail::MakePalette();

// Turns an index into RGB and, when name is not null, its display name.
//   - index <= 0 is ByLayer (256); any index above 255 gives DE DE DE;
//   - index 7: with background set (resolving the background colour itself,
//     and the writers' rule for entity colours) white; otherwise white when
//     the luminance of currentBackground is 128 or less, else black;
//   - 1..255 otherwise: ColorPalette.
// Names come from the language table: 1..8 and ByLayer have their own names,
// every other index is "Color N".
Rgb ResolveColor(ColorIndex index, std::string* name, bool background, Rgb currentBackground);

// The display name of an index alone (as ResolveColor gives it).
std::string ColorName(ColorIndex index);

// A stored 32-bit value to an index: the low 16 bits, as the option store keeps them.
constexpr ColorIndex ColorIndexFromStored(uint32_t stored) {
  return static_cast<ColorIndex>(static_cast<uint16_t>(stored & 0xFFFF));
}

}  // namespace quillon::settings
