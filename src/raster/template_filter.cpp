#include "raster/template_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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
// Written as a select rather than a branch so that row loops vectorise.
inline uint8_t OutputLevel(double sum, double factor) {
  const double v = std::fabs(sum * factor);
  return static_cast<uint8_t>(static_cast<int>(v <= 255.0 ? v + 0.5 : 255.0));
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

// The weighted sums of one output row: for every channel byte j of the
// output, the sum over kernel rows k (outer) and columns l (inner) of
// rows[k][j + l * step] x weight(k, l), accumulated in that order.
// The inner loop runs in blocks of a fixed length over pointers that cannot
// alias, which GCC vectorises at -O2 as well.
template <typename Acc>
void SumRow(const uint8_t* const* rows, int w, int h, int step, const Acc* weights, size_t count,
            Acc* __restrict acc) {
  constexpr size_t kBlock = 16;
  std::fill(acc, acc + count, Acc{0});
  for (int k = 0; k < h; ++k) {
    for (int l = 0; l < w; ++l) {
      const Acc c = weights[k * w + l];
      const uint8_t* __restrict s = rows[k] + static_cast<size_t>(l) * step;
      size_t j = 0;
      for (; j + kBlock <= count; j += kBlock) {
        for (size_t u = 0; u < kBlock; ++u) acc[j + u] += static_cast<Acc>(s[j + u]) * c;
      }
      for (; j < count; ++j) acc[j] += static_cast<Acc>(s[j]) * c;
    }
  }
}

// One output row from its sums, in the image's depth: 8 and 24-bit one level
// per byte, 32-bit with the fourth byte zero, 16-bit packed 5-5-5.
template <typename Sum>
void WriteLevels(int bits, const Sum* sums, int outWidth, double factor, uint8_t* out) {
  auto level = [factor](Sum sum) { return OutputLevel(static_cast<double>(sum), factor); };
  switch (bits) {
    case 8:
    case 24: {
      const size_t count = static_cast<size_t>(outWidth) * (bits / 8);
      for (size_t j = 0; j < count; ++j) out[j] = level(sums[j]);
      break;
    }
    case 32:
      for (int i = 0; i < outWidth; ++i, sums += 4, out += 4) {
        out[0] = level(sums[0]);
        out[1] = level(sums[1]);
        out[2] = level(sums[2]);
        out[3] = 0;
      }
      break;
    case 16:
      for (int i = 0; i < outWidth; ++i, sums += 3, out += 2) {
        const unsigned blue = level(sums[0]), green = level(sums[1]), red = level(sums[2]);
        const unsigned word = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
        out[0] = static_cast<uint8_t>(word & 0xFF);
        out[1] = static_cast<uint8_t>(word >> 8);
      }
      break;
    default: break;
  }
}

// Whole weights up to this size keep every product and partial sum of 25
// levels an integer below 2^28: exact in a 32-bit integer and in a double, so
// integer sums give the very doubles the floating-point sums would.
constexpr double kIntegerWeightLimit = 32767.0;

bool IntegerWeights(const std::vector<double>& coefficients) {
  return std::all_of(coefficients.begin(), coefficients.end(),
                     [](double c) { return std::fabs(c) <= kIntegerWeightLimit && std::trunc(c) == c; });
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
  // Integer weights (mean, sharpen, edge kernels) are summed in integers,
  // which vectorise several times better and give identical sums.
  const bool integral = IntegerWeights(kernel.coefficients);
  std::vector<int32_t> integerSums;
  std::vector<int32_t> integerWeights;
  std::vector<std::vector<uint8_t>> ring;  // 16-bit: the last h source rows, expanded
  try {
    result.resize(outRowBytes * static_cast<size_t>(outHeight));
    if (!integral) sums.resize(channelCount);
    if (integral) {
      integerSums.resize(channelCount);
      for (double c : kernel.coefficients) integerWeights.push_back(static_cast<int32_t>(c));
    }
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
    const uint8_t* rows[5];
    for (int k = 0; k < h; ++k) rows[k] = sourceRow(o + k);
    if (integral) {
      SumRow(rows, w, h, step, integerWeights.data(), channelCount, integerSums.data());
    } else {
      SumRow(rows, w, h, step, kernel.coefficients.data(), channelCount, sums.data());
    }
    uint8_t* out = result.data() + outRowBytes * static_cast<size_t>(o);
    if (integral) {
      WriteLevels(bits, integerSums.data(), outWidth, factor, out);
    } else {
      WriteLevels(bits, sums.data(), outWidth, factor, out);
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
