#include "raster/template_filter.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "platform/message_sink.h"
#include "raster/freeimage_support.h"
#include "raster/progress_throttle.h"
#include "settings/language_table.h"

namespace quillon::raster {

namespace {

// |sum x factor| as a level: 255 above 255 (and for a sum that overflowed to
// something not a number), else rounded half up.
inline uint8_t OutputLevel(double sum, double factor) {
  const double v = std::fabs(sum * factor);
  if (!(v <= 255.0)) return 255;
  return static_cast<uint8_t>(v + 0.5);
}

// 16-bit 5-5-5 pixels expanded to blue, green, red bytes as the colour
// reader gives them (the top five bits of each component).
void Unpack555(const uint8_t* row, int width, uint8_t* out) {
  for (int x = 0; x < width; ++x) {
    const unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
    out[3 * x] = static_cast<uint8_t>((w << 3) & 0xFF);
    out[3 * x + 1] = static_cast<uint8_t>((w >> 2) & 0xF8);
    out[3 * x + 2] = static_cast<uint8_t>((w >> 7) & 0xF8);
  }
}

}  // namespace

KernelTemplate KernelTemplate::Fresh() {
  KernelTemplate t;
  t.name = settings::Text("TempNoname", "noname template");
  return t;
}

bool KernelTemplate::valid() const {
  if ((width != 3 && width != 5) || (height != 3 && height != 5)) return false;
  if (centreX < 0 || centreX >= width || centreY < 0 || centreY >= height) return false;
  if (coefficients.size() != static_cast<size_t>(width * height)) return false;
  for (double c : coefficients) {
    if (!std::isfinite(c)) return false;
  }
  return std::isfinite(factor);
}

bool TemplateFilter(CRaster& raster, const KernelTemplate& kernel, const platform::ProgressCallback& progress,
                    const platform::CancelFlag* cancel) {
  if (raster.empty()) return false;
  const int bits = raster.bitCount();
  const bool grey = bits == 8 && raster.isGreyPalette();
  if (!grey && bits != 16 && bits != 24 && bits != 32) return false;
  if (!kernel.valid()) {
    platform::ShowMessage(settings::Text("RasterTemplateInvalidMsg", "Invalid raster template"));
    return false;
  }
  detail::RowProgress report(progress, settings::Text("RasterGenTemplate", "Raster template"), cancel);
  report.report(0, true);

  const int w = kernel.width, h = kernel.height;
  const int outWidth = raster.width() - w + 1;  // output columns cx .. cx + width - w
  const int outHeight = raster.height() - h + 1;
  if (outWidth <= 0 || outHeight <= 0) {
    report.report(100, true);
    return true;
  }
  // Channel bytes per pixel in the convolution: grey 1, colour 3 (16-bit is
  // expanded to 3), 32-bit 4 with the fourth byte convolved and discarded.
  const int step = grey ? 1 : (bits == 32 ? 4 : 3);
  const int storedBytes = bits / 8;  // per pixel in the image
  const size_t channelCount = static_cast<size_t>(outWidth) * step;
  const size_t outRowBytes = static_cast<size_t>(outWidth) * storedBytes;

  // The new levels of the output region, written back only when every row is
  // done, so that a cancel or a failure leaves the raster as it was.
  std::vector<uint8_t> result;
  std::vector<double> sums;
  std::vector<std::vector<uint8_t>> ring;  // 16-bit: the last h source rows, expanded
  try {
    result.resize(outRowBytes * static_cast<size_t>(outHeight));
    sums.resize(channelCount);
    if (bits == 16) ring.assign(static_cast<size_t>(h), std::vector<uint8_t>(static_cast<size_t>(raster.width()) * 3));
  } catch (const std::bad_alloc&) {
    detail::ShowNoMemory();
    return false;
  }
  auto sourceRow = [&](int y) -> const uint8_t* {
    if (bits != 16) return raster.row(y);
    return ring[static_cast<size_t>(y % h)].data();
  };
  if (bits == 16) {
    for (int y = 0; y < h - 1; ++y) Unpack555(raster.row(y), raster.width(), ring[static_cast<size_t>(y)].data());
  }

  const double factor = kernel.factor;
  for (int o = 0; o < outHeight; ++o) {
    if (report.cancelled()) return false;
    if (bits == 16) Unpack555(raster.row(o + h - 1), raster.width(), ring[static_cast<size_t>((o + h - 1) % h)].data());
    std::fill(sums.begin(), sums.end(), 0.0);
    // Kernel rows outer and columns inner, as the sum is defined, so every
    // output value is the same double whatever the depth.
    for (int k = 0; k < h; ++k) {
      const uint8_t* src = sourceRow(o + k);
      for (int l = 0; l < w; ++l) {
        const double c = kernel.coefficient(k, l);
        const uint8_t* s = src + static_cast<size_t>(l) * step;
        double* acc = sums.data();
        for (size_t j = 0; j < channelCount; ++j) acc[j] += static_cast<double>(s[j]) * c;
      }
    }
    uint8_t* out = result.data() + outRowBytes * static_cast<size_t>(o);
    switch (bits) {
      case 8:
      case 24:
        for (size_t j = 0; j < channelCount; ++j) out[j] = OutputLevel(sums[j], factor);
        break;
      case 32:
        for (int i = 0; i < outWidth; ++i) {
          const double* s = sums.data() + 4 * static_cast<size_t>(i);
          uint8_t* p = out + 4 * static_cast<size_t>(i);
          p[0] = OutputLevel(s[0], factor);
          p[1] = OutputLevel(s[1], factor);
          p[2] = OutputLevel(s[2], factor);
          p[3] = 0;
        }
        break;
      case 16:
        for (int i = 0; i < outWidth; ++i) {
          const double* s = sums.data() + 3 * static_cast<size_t>(i);
          const unsigned blue = OutputLevel(s[0], factor), green = OutputLevel(s[1], factor);
          const unsigned red = OutputLevel(s[2], factor);
          const unsigned word = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
          out[2 * i] = static_cast<uint8_t>(word & 0xFF);
          out[2 * i + 1] = static_cast<uint8_t>(word >> 8);
        }
        break;
      default: break;
    }
    report.step(o + 1, outHeight);
  }
  if (report.cancelled()) return false;

  const size_t offset = static_cast<size_t>(kernel.centreX) * storedBytes;
  for (int o = 0; o < outHeight; ++o) {
    std::memcpy(raster.row(o + kernel.centreY) + offset, result.data() + outRowBytes * static_cast<size_t>(o),
                outRowBytes);
  }
  // Output levels may fall on palette entries no pixel used before; those
  // must show as their grey as well.
  if (grey) raster.makeGreyPalette();
  raster.invalidateHistogram();
  raster.setChanged(true);
  report.report(100, true);
  return true;
}

}  // namespace quillon::raster
