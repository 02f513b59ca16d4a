#include "settings/color.h"

#include "settings/language_table.h"

namespace quillon::settings {

namespace {

ColorIndex Normalised(ColorIndex index) { return index <= 0 ? kColorByLayer : index; }

}  // namespace

std::string ColorName(ColorIndex index) {
  index = Normalised(index);
  switch (index) {
    case 1: return Text("clRed", "Red");
    case 2: return Text("clYellow", "Yellow");
    case 3: return Text("clGreen", "green");
    case 4: return Text("clAqua", "Aqua");
    case 5: return Text("clBlue", "Blue");
    case 6: return Text("clFuchsia", "Fuchsia");
    case 7: return Text("clWhite", "White");
    case 8: return Text("clDarkGray", "Dark Gray");
    case kColorByLayer: return Text("clByLayer", "Bylayer");
    default: return Text("clColor", "Color") + " " + std::to_string(index);
  }
}

Rgb ResolveColor(ColorIndex index, std::string* name, bool background, Rgb currentBackground) {
  index = Normalised(index);
  if (name) *name = ColorName(index);
  if (index > 255) return kRgbUnresolved;
  if (index == kColorWhite) {
    if (background) return kRgbWhite;
    // Drawn on a dark background index 7 is white, on a light one black.
    return currentBackground.luminance() <= 128 ? kRgbWhite : kRgbBlack;
  }
  return ColorPalette[static_cast<size_t>(index)];
}

}  // namespace quillon::settings
