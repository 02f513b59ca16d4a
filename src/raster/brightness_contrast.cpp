#include "raster/brightness_contrast.h"

#include <algorithm>
#include <cstdlib>

#include "raster/colour_map.h"
#include "settings/language_table.h"

namespace quillon::raster {

std::array<uint8_t, 256> BrightnessContrastTable(int brightness, int contrast) {
  const int e = static_cast<int>(std::abs(brightness) * 255 * 0.01);
  const double k = (contrast + 100) * 0.01;
  std::array<uint8_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    // Clamped before the conversion so that no contrast can overflow an int.
    const double stretched = std::clamp((v - 128) * k + 128, -1.0, 256.0);
    const int w = std::clamp(static_cast<int>(stretched), 0, 255);
    int out = w;
    if (brightness > 0) out = e >= 255 - w ? 255 : w + e;
    if (brightness < 0) out = e >= w ? 0 : w - e;
    table[static_cast<size_t>(v)] = static_cast<uint8_t>(out);
  }
  return table;
}

bool AdjustBrightnessContrast(CRaster& raster, int brightness, int contrast, const platform::ProgressCallback& progress,
                              const platform::CancelFlag* cancel) {
  if (raster.empty() || raster.bitCount() == 1) return false;
  if (brightness < kBrightnessMin || brightness > kBrightnessMax || (brightness == 0 && contrast == 0)) return true;
  if (contrast < kContrastMin || contrast > kContrastMax) return false;
  detail::RowProgress report(progress, settings::Text("RasterAdjustBrightContrast", "Adjust bright & contrast"),
                             cancel);
  const std::array<uint8_t, 256> table = BrightnessContrastTable(brightness, contrast);
  return detail::MapColours(raster, report, [&](detail::Bgr& c) {
    c = detail::Bgr{table[c.b], table[c.g], table[c.r]};
    return true;
  });
}

}  // namespace quillon::raster
