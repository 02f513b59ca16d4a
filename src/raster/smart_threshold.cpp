#include "raster/smart_threshold.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "raster/brightness.h"
#include "settings/language_table.h"

namespace quillon::raster {

namespace {

// Reports only when the percent changed: the operations would otherwise
// call back once per box row, hundreds of thousands of times on a sheet.
class Throttled {
 public:
  Throttled(const platform::ProgressCallback& callback, std::string text) : callback_(callback), text_(std::move(text)) {}
  void setText(std::string text) { text_ = std::move(text); }
  void report(int percent, bool always = false) {
    if (!always && percent == last_) return;
    last_ = percent;
    platform::Report(callback_, text_, percent);
  }

 private:
  const platform::ProgressCallback& callback_;
  std::string text_;
  int last_ = -1;
};

// One dilation (dilate = true) or erosion step from src into dst over the
// interior pixels, byte by byte: left and right neighbours come from the
// byte itself shifted, with the neighbouring bytes' edge bits carried in.
void MorphologyStep(const CRaster& src, CRaster& dst, bool dilate, int row) {
  const int width = src.width();
  const int bytes = src.usedRowBytes();
  const uint8_t* up = src.row(row - 1);
  const uint8_t* cur = src.row(row);
  const uint8_t* down = src.row(row + 1);
  uint8_t* out = dst.row(row);
  for (int k = 0; k < bytes; ++k) {
    const unsigned c = cur[k];
    const unsigned left = ((c >> 1) | (k > 0 ? (cur[k - 1] & 1u) << 7 : 0u)) & 0xFFu;
    const unsigned right = ((c << 1) | (k + 1 < bytes ? cur[k + 1] >> 7 : 0u)) & 0xFFu;
    const unsigned value = dilate ? (c | left | right | up[k] | down[k]) : (c & left & right & up[k] & down[k]);
    // Interior columns 1 .. width-2 of this byte.
    unsigned interior = 0xFF;
    const int x0 = k * 8;
    for (int b = 0; b < 8; ++b) {
      const int x = x0 + b;
      if (x < 1 || x > width - 2) interior &= ~(0x80u >> b);
    }
    out[k] = static_cast<uint8_t>((value & interior) | (out[k] & ~interior & 0xFFu));
  }
}

}  // namespace

bool SmartThreshold(CRaster& raster, int boxSize, float contrastRatio, const platform::ProgressCallback& progress,
                    const platform::CancelFlag* cancel) {
  if (raster.empty() || raster.bitCount() == 1) return true;
  if (boxSize < 1) return false;
  Throttled report(progress, settings::Text("RasterSmartThreshold", "Smart Threshold"));
  report.report(0, true);
  const int width = raster.width();
  const int height = raster.height();
  CRaster target;
  std::vector<uint8_t> levels;
  try {
    levels.resize(static_cast<size_t>(boxSize) * static_cast<size_t>(boxSize));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!target.create(width, height, 1)) return false;
  int ppm = 0;
  raster.resolution(ppm);
  const detail::BrightnessTables tables(raster.palette(), raster.paletteSize(), false);
  const double total = static_cast<double>(width) * height;
  double done = 0.0;
  for (int oy = 0; oy < height; oy += boxSize) {
    if (cancel && cancel->requested()) return false;
    const int bh = std::min(boxSize, height - oy);
    for (int ox = 0; ox < width; ox += boxSize) {
      const int bw = std::min(boxSize, width - ox);
      uint64_t sum = 0;
      for (int r = 0; r < bh; ++r) {
        uint8_t* line = levels.data() + static_cast<size_t>(r) * bw;
        detail::BrightnessRow(raster.row(oy + r), raster.bitCount(), tables, false, ox, bw, line);
        for (int i = 0; i < bw; ++i) sum += line[i];
      }
      const int mean = static_cast<int>(static_cast<double>(sum) * contrastRatio / (static_cast<double>(bw) * bh));
      for (int r = 0; r < bh; ++r) {
        const uint8_t* line = levels.data() + static_cast<size_t>(r) * bw;
        uint8_t* out = target.row(oy + r);
        for (int i = 0; i < bw; ++i) {
          if (line[i] < mean) {
            const int x = ox + i;
            out[x >> 3] = static_cast<uint8_t>(out[x >> 3] | (0x80 >> (x & 7)));
          }
        }
        done += bw;
        report.report(static_cast<int>(done * 100.0 / total));
      }
    }
  }
  std::string name = raster.name();
  const int value1 = raster.nameValue1();
  const int value2 = raster.nameValue2();
  target.moveTo(raster);
  raster.setName(std::move(name));
  raster.setNameValues(value1, value2);
  raster.setResolution(ppm);
  raster.setChanged(true);
  report.report(100, true);
  return true;
}

bool SmoothFilter(CRaster& raster, int iterations, const platform::ProgressCallback& progress) {
  if (raster.empty() || raster.bitCount() != 1 || iterations < 1) return false;
  Throttled report(progress, settings::Text("RasterInitSmoothFilter", "Inittialize smooth filter..."));
  report.report(0, true);
  int ppm = 0;
  raster.resolution(ppm);
  CRaster copy;
  if (!copy.cloneFrom(raster)) return false;  // cloneFrom has said there is not enough memory
  report.setText(settings::Text("RasterSmoothFilterStart", "Start smooth filter"));
  report.report(0, true);
  report.setText(settings::Text("RasterSmoothFilter", "Smooth filter"));

  const int height = raster.height();
  // Source and target alternate between the raster and the copy; after an
  // even number of steps the result is back in the raster.
  CRaster* images[2] = {&raster, &copy};
  for (int step = 0; step < 2 * iterations; ++step) {
    const bool dilate = step < iterations;
    const int iteration = dilate ? step : step - iterations;
    const CRaster& src = *images[step & 1];
    CRaster& dst = *images[(step + 1) & 1];
    for (int y = 1; y < height - 1; ++y) {
      MorphologyStep(src, dst, dilate, y);
      const int base = (dilate ? 0 : 50) + iteration * 50 / iterations;
      report.report(base + static_cast<int>(static_cast<long long>(y) * 50 / (static_cast<long long>(iterations) *
                                                                                 (height - 1))));
    }
  }
  raster.setResolution(ppm);
  raster.setChanged(true);
  raster.invalidateHistogram();
  report.setText(settings::Text("RasterSmoothFilterFinish", "Smooth filter finish"));
  report.report(100, true);
  return true;
}

}  // namespace quillon::raster
