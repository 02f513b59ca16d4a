#pragma once
// Colour replace: every colour of a grey or colour image that lies within a
// tolerance of a source colour becomes a new colour.

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/progress.h"
#include "raster/raster.h"
#include "settings/color.h"

namespace quillon::raster {

// The dialog's bound, 0 to 30000 (initially 2000); the tolerance is 4 x bound.
inline constexpr int kColorReplaceBoundMin = 0;
inline constexpr int kColorReplaceBoundMax = 30000;
inline constexpr int kColorReplaceBoundDefault = 2000;
inline constexpr int ColorReplaceTolerance(int bound) { return 4 * bound; }

// The distance of two colours: 2 dBlue^2 + 4 dGreen^2 + 3 dRed^2 (0 to 585225).
inline constexpr int ColorDistance(settings::Rgb a, settings::Rgb b) {
  const int db = a.b - b.b, dg = a.g - b.g, dr = a.r - b.r;
  return 2 * db * db + 4 * dg * dg + 3 * dr * dr;
}

// Replaces every colour whose distance to `source` is at most `tolerance` by
// `replacement`, reporting "Replace color" (key RasterReplaceColor):
//   4 and 8-bit images: the matching palette entries change, the pixels stay
//     (progress per entry);
//   16, 24 and 32-bit images: every matching pixel is written in the image's
//     depth (16-bit from the top five bits of each component; the fourth byte
//     of a 32-bit pixel is kept), progress per row.
// False, raster unchanged: an empty or 1-bit raster, a negative tolerance, or
// a cancel (polled per entry or row; a cancellable call maps a copy of the
// pixels, which needs memory for a second image: false with the no-memory
// message when that copy cannot be made).
bool ColorReplace(CRaster& raster, settings::Rgb source, settings::Rgb replacement, int tolerance,
                  const platform::ProgressCallback& progress = {}, const platform::CancelFlag* cancel = nullptr);

// What the colour replace dialog holds: both colours once chosen, and the bound.
struct ColorReplaceSettings {
  std::optional<settings::Rgb> source;
  std::optional<settings::Rgb> replacement;
  int bound = kColorReplaceBoundDefault;

  // The dialog applies the operation only after both colours have been chosen.
  bool ready() const { return source && replacement; }
  // 4 x the bound, the bound clamped to 0..30000.
  int tolerance() const {
    return ColorReplaceTolerance(std::clamp(bound, kColorReplaceBoundMin, kColorReplaceBoundMax));
  }
};

// ColorReplace with the dialog's settings; false without change when a colour
// has not been chosen.
bool ColorReplace(CRaster& raster, const ColorReplaceSettings& settings,
                  const platform::ProgressCallback& progress = {}, const platform::CancelFlag* cancel = nullptr);

}  // namespace quillon::raster
