#include "raster/colour_replace.h"

#include "raster/colour_map.h"
#include "settings/language_table.h"

namespace quillon::raster {

bool ColorReplace(CRaster& raster, settings::Rgb source, settings::Rgb replacement, int tolerance,
                  const platform::ProgressCallback& progress, const platform::CancelFlag* cancel) {
  if (raster.empty() || raster.bitCount() == 1 || tolerance < 0) return false;
  detail::RowProgress report(progress, settings::Text("RasterReplaceColor", "Replace color"), cancel);
  return detail::MapColours(raster, report, [&](detail::Bgr& c) {
    if (ColorDistance(settings::Rgb{c.r, c.g, c.b}, source) > tolerance) return false;
    c = detail::Bgr{replacement.b, replacement.g, replacement.r};
    return true;
  });
}

bool ColorReplace(CRaster& raster, const ColorReplaceSettings& settings, const platform::ProgressCallback& progress,
                  const platform::CancelFlag* cancel) {
  if (!settings.ready()) return false;
  return ColorReplace(raster, *settings.source, *settings.replacement, settings.tolerance(), progress, cancel);
}

}  // namespace quillon::raster
