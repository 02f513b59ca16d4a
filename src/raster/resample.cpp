#include "raster/resample.h"

#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

#include "platform/message_sink.h"
#include "raster/brightness.h"
#include "raster/freeimage_support.h"
#include "raster/progress_throttle.h"
#include "settings/language_table.h"

namespace quillon::raster {

namespace {

using detail::RowProgress;

float Sinc(float x) {
  x *= std::numbers::pi_v<float>;
  return x != 0.0f ? std::sin(x) / x : 1.0f;
}

// Mirrors an index into 0 .. size-1: -j below 0 (the edge pixel is not
// repeated), 2 size - j - 1 at or beyond the end (it is). Applied until the
// index lies inside, so supports wider than the image (a 1 or 2-pixel
// source, strong reductions) never read outside it.
int Mirror(int j, int size) {
  if (size == 1) return 0;
  while (j < 0 || j >= size) j = j < 0 ? -j : 2 * size - j - 1;
  return j;
}

// Flattened contributions: destination i takes entries begin[i] .. begin[i+1].
struct ContributionTable {
  std::vector<size_t> begin;
  std::vector<int> source;
  std::vector<float> weight;
};

// The scale of one direction and the centre of destination i in source units.
struct Mapping {
  double scale;
  bool single;  // reducing to one pixel: centred on the middle of the source
  double centreOfSingle;
  double centre(int i) const { return single ? centreOfSingle : i / scale; }
};

Mapping MappingFor(int oldSize, int newSize) {
  if (oldSize == 1) return {static_cast<double>(newSize), false, 0.0};
  if (newSize == 1) return {1.0 / oldSize, true, (oldSize - 1) / 2.0};
  return {static_cast<double>(newSize - 1) / (oldSize - 1), false, 0.0};
}

// Upper bound of the entries the table will hold, to refuse before allocating.
uint64_t ContributionBound(int oldSize, int newSize, ResampleFilter filter) {
  const Mapping m = MappingFor(oldSize, newSize);
  const double support = ResampleFilterSupport(filter) / std::min(m.scale, 1.0);
  return static_cast<uint64_t>(newSize) * static_cast<uint64_t>(2.0 * support + 3.0);
}

template <class Add>
void ForEachContribution(int oldSize, ResampleFilter filter, int i, const Mapping& m, Add&& add) {
  const float support = ResampleFilterSupport(filter);
  const double centre = m.centre(i);
  if (m.scale >= 1.0) {
    const int first = static_cast<int>(std::floor(centre - support));
    const int last = static_cast<int>(std::ceil(centre + support));
    for (int j = first; j <= last; ++j) {
      const float w = ResampleFilterValue(filter, static_cast<float>(centre - j));
      if (w != 0.0f) add(Mirror(j, oldSize), w);
    }
  } else {
    const float scale = static_cast<float>(m.scale);
    const double width = support / m.scale;
    const int first = static_cast<int>(std::floor(centre - width));
    const int last = static_cast<int>(std::ceil(centre + width));
    for (int j = first; j <= last; ++j) {
      const float w = ResampleFilterValue(filter, static_cast<float>(centre - j) * scale) * scale;
      if (w != 0.0f) add(Mirror(j, oldSize), w);
    }
  }
}

ContributionTable BuildTable(int oldSize, int newSize, ResampleFilter filter, RowProgress& report) {
  ContributionTable table;
  const Mapping m = MappingFor(oldSize, newSize);
  table.begin.reserve(static_cast<size_t>(newSize) + 1);
  const uint64_t bound = ContributionBound(oldSize, newSize, filter);
  table.source.reserve(static_cast<size_t>(bound));
  table.weight.reserve(static_cast<size_t>(bound));
  for (int i = 0; i < newSize; ++i) {
    table.begin.push_back(table.source.size());
    ForEachContribution(oldSize, filter, i, m, [&](int j, float w) {
      table.source.push_back(j);
      table.weight.push_back(w);
    });
    report.report(static_cast<int>(int64_t{i} * 100 / newSize));
  }
  table.begin.push_back(table.source.size());
  return table;
}

// How the source pixels are read: one grey level or three components (blue,
// green, red) per pixel.
struct SourceReader {
  const CRaster& raster;
  int components;          // 1 or 3
  bool direct;             // the row already holds the components (8-bit grey, 24-bit)
  uint8_t level[256] = {};  // 1, 4 and 8-bit: grey level per bit or palette index

  // The components of row y, either the row itself or unpacked into buffer.
  const uint8_t* read(int y, uint8_t* buffer) const {
    const uint8_t* r = raster.row(y);
    if (direct) return r;
    const int width = raster.width();
    switch (raster.bitCount()) {
      case 1: {
        // Eight levels per byte from a table: ink 0, background 255.
        static const auto kLevels = [] {
          std::array<std::array<uint8_t, 8>, 256> t{};
          for (int b = 0; b < 256; ++b)
            for (int k = 0; k < 8; ++k) t[static_cast<size_t>(b)][static_cast<size_t>(k)] = (b & (0x80 >> k)) ? 0 : 255;
          return t;
        }();
        const int full = width >> 3;
        for (int i = 0; i < full; ++i) std::memcpy(buffer + 8 * i, kLevels[r[i]].data(), 8);
        for (int x = 8 * full; x < width; ++x) buffer[x] = (r[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
        break;
      }
      case 4:
        for (int x = 0; x < width; ++x) buffer[x] = level[(x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4)];
        break;
      case 8:
        for (int x = 0; x < width; ++x) buffer[x] = level[r[x]];
        break;
      case 16:
        for (int x = 0; x < width; ++x) {
          const unsigned w = r[2 * x] | (r[2 * x + 1] << 8);
          buffer[3 * x] = static_cast<uint8_t>((w << 3) & 0xFF);
          buffer[3 * x + 1] = static_cast<uint8_t>((w >> 2) & 0xF8);
          buffer[3 * x + 2] = static_cast<uint8_t>((w >> 7) & 0xF8);
        }
        break;
      default:  // 32
        for (int x = 0; x < width; ++x) std::memcpy(buffer + 3 * x, r + 4 * x, 3);
        break;
    }
    return buffer;
  }
};

// Writes one row of components into a row of the result's depth.
void WriteRow(const uint8_t* components, int width, int bitCount, uint8_t* out) {
  switch (bitCount) {
    case 8:
    case 24: std::memcpy(out, components, static_cast<size_t>(width) * (bitCount / 8)); break;
    case 16:
      for (int x = 0; x < width; ++x) {
        const uint8_t* c = components + 3 * x;
        const unsigned w = ((c[2] >> 3) << 10) | ((c[1] >> 3) << 5) | (c[0] >> 3);
        out[2 * x] = static_cast<uint8_t>(w & 0xFF);
        out[2 * x + 1] = static_cast<uint8_t>(w >> 8);
      }
      break;
    default:  // 32
      for (int x = 0; x < width; ++x) {
        std::memcpy(out + 4 * x, components + 3 * x, 3);
        out[4 * x + 3] = 0;
      }
      break;
  }
}

// The horizontal pass takes kBlockRows source rows at once: their values are
// interleaved per component (row values of one column side by side) as
// floats, so each contribution is one multiply-add over all the rows. Per
// pixel the sum still starts at 0 and adds the contributions in order, as a
// pixel-by-pixel sum would.
constexpr int kBlockRows = 8;
using Lanes4 [[gnu::vector_size(16)]] = float;
using Bytes4 [[gnu::vector_size(4)]] = uint8_t;

using Doubles4 [[gnu::vector_size(32)]] = double;
using Ints4 [[gnu::vector_size(16)]] = int32_t;

// Four weighted sums clamped to 0..255 and rounded half up: floor(sum + 0.5),
// which for a sum that is not negative is the truncation. The clamp is exact
// in float; the half is added in double so that a sum just below a half
// cannot round up to it.
inline void ClampRound4(Lanes4 sum, uint8_t* out) {
  const Lanes4 zero = {}, top = {255.0f, 255.0f, 255.0f, 255.0f};
  sum = sum < zero ? zero : sum;
  sum = sum > top ? top : sum;
  const Ints4 v = __builtin_convertvector(__builtin_convertvector(sum, Doubles4) + 0.5, Ints4);
  for (int j = 0; j < 4; ++j) out[j] = static_cast<uint8_t>(v[j]);
}

inline Lanes4 LoadLanes4(const uint8_t* p) {
  Bytes4 b;
  std::memcpy(&b, p, sizeof b);
  return __builtin_convertvector(b, Lanes4);
}

// Interleaves kBlockRows rows of `count` values: block[k * kBlockRows + r] =
// row r's value k. Rows the block does not fill point at a row of zeros.
void Interleave(const uint8_t* const* lines, int count, float* block) {
  const uint8_t *l0 = lines[0], *l1 = lines[1], *l2 = lines[2], *l3 = lines[3];
  const uint8_t *l4 = lines[4], *l5 = lines[5], *l6 = lines[6], *l7 = lines[7];
  for (int k = 0; k < count; ++k, block += kBlockRows) {
    const uint8_t low[4] = {l0[k], l1[k], l2[k], l3[k]};
    const uint8_t high[4] = {l4[k], l5[k], l6[k], l7[k]};
    const Lanes4 a = LoadLanes4(low), b = LoadLanes4(high);
    std::memcpy(block, &a, sizeof a);
    std::memcpy(block + 4, &b, sizeof b);
  }
}

template <int C>
void FilterBlock(const float* block, const ContributionTable& t, int count, int rows, bool quantise5, uint8_t* out,
                 size_t outStride) {
  const int* source = t.source.data();
  const float* weight = t.weight.data();
  for (int i = 0; i < count; ++i) {
    for (int c = 0; c < C; ++c) {
      Lanes4 low = {}, high = {};
      for (size_t k = t.begin[static_cast<size_t>(i)]; k < t.begin[static_cast<size_t>(i) + 1]; ++k) {
        const float* p = block + (static_cast<size_t>(source[k]) * C + c) * kBlockRows;
        Lanes4 a, b;
        std::memcpy(&a, p, sizeof a);
        std::memcpy(&b, p + 4, sizeof b);
        low += weight[k] * a;
        high += weight[k] * b;
      }
      uint8_t levels[kBlockRows];
      ClampRound4(low, levels);
      ClampRound4(high, levels + 4);
      // A 16-bit intermediate image keeps five bits per component.
      const uint8_t keep = quantise5 ? 0xF8 : 0xFF;
      uint8_t* o = out + static_cast<size_t>(C) * i + c;
      for (int r = 0; r < rows; ++r) o[outStride * r] = static_cast<uint8_t>(levels[r] & keep);
    }
  }
}

// The vertical pass of one destination row: `count` values (a multiple of 16
// within the padded rows) summed over the contributing intermediate rows.
void FilterColumns(const uint8_t* intermediate, size_t stride, const ContributionTable& t, int y, size_t count,
                   uint8_t* out) {
  const size_t first = t.begin[static_cast<size_t>(y)];
  const size_t last = t.begin[static_cast<size_t>(y) + 1];
  for (size_t x = 0; x < count; x += 16) {
    Lanes4 s0 = {}, s1 = {}, s2 = {}, s3 = {};
    for (size_t k = first; k < last; ++k) {
      const float w = t.weight[k];
      const uint8_t* in = intermediate + stride * static_cast<size_t>(t.source[k]) + x;
      s0 += w * LoadLanes4(in);
      s1 += w * LoadLanes4(in + 4);
      s2 += w * LoadLanes4(in + 8);
      s3 += w * LoadLanes4(in + 12);
    }
    ClampRound4(s0, out + x);
    ClampRound4(s1, out + x + 4);
    ClampRound4(s2, out + x + 8);
    ClampRound4(s3, out + x + 12);
  }
}

}  // namespace

float ResampleFilterSupport(ResampleFilter filter) {
  switch (filter) {
    case ResampleFilter::Triangle: return 1.0f;
    case ResampleFilter::Box: return 0.5f;
    case ResampleFilter::Hermite: return 1.0f;
    case ResampleFilter::Bell: return 1.5f;
    case ResampleFilter::BSpline: return 2.0f;
    case ResampleFilter::Lanczos3: return 3.0f;
    case ResampleFilter::Mitchell: return 2.0f;
  }
  return 1.0f;
}

float ResampleFilterValue(ResampleFilter filter, float t) {
  const float a = std::fabs(t);
  switch (filter) {
    case ResampleFilter::Triangle: return a < 1.0f ? 1.0f - a : 0.0f;
    case ResampleFilter::Box: return (t > -0.5f && t <= 0.5f) ? 1.0f : 0.0f;
    case ResampleFilter::Hermite: return a < 1.0f ? (2.0f * a - 3.0f) * a * a + 1.0f : 0.0f;
    case ResampleFilter::Bell:
      if (a < 0.5f) return 0.75f - a * a;
      if (a < 1.5f) return 0.5f * (a - 1.5f) * (a - 1.5f);
      return 0.0f;
    case ResampleFilter::BSpline:
      if (a < 1.0f) return 0.5f * a * a * a - a * a + 2.0f / 3.0f;
      if (a < 2.0f) return (2.0f - a) * (2.0f - a) * (2.0f - a) / 6.0f;
      return 0.0f;
    case ResampleFilter::Lanczos3: return a < 3.0f ? Sinc(a) * Sinc(a / 3.0f) : 0.0f;
    case ResampleFilter::Mitchell: {
      // Mitchell-Netravali with B = C = 1/3.
      constexpr float B = 1.0f / 3.0f, C = 1.0f / 3.0f;
      const float aa = a * a;
      if (a < 1.0f)
        return ((12.0f - 9.0f * B - 6.0f * C) * a * aa + (-18.0f + 12.0f * B + 6.0f * C) * aa + (6.0f - 2.0f * B)) /
               6.0f;
      if (a < 2.0f)
        return ((-B - 6.0f * C) * a * aa + (6.0f * B + 30.0f * C) * aa + (-12.0f * B - 48.0f * C) * a +
                (8.0f * B + 24.0f * C)) /
               6.0f;
      return 0.0f;
    }
  }
  return 0.0f;
}

std::string ResampleFilterName(ResampleFilter filter) {
  switch (filter) {
    case ResampleFilter::Triangle: return settings::Text("RasResampleTriangle", "Triangle filter");
    case ResampleFilter::Box: return settings::Text("RasResampleBox", "Box filter");
    case ResampleFilter::Hermite: return settings::Text("RasResampleHermite", "Hermite filter");
    case ResampleFilter::Bell: return settings::Text("RasResampleBell", "Bell filter");
    case ResampleFilter::BSpline: return settings::Text("RasResampleB-Spline", "B-Spline filter");
    case ResampleFilter::Lanczos3: return settings::Text("RasResampleLanczos3", "Lanczos3 filter");
    case ResampleFilter::Mitchell: return settings::Text("RasResampleMitchell", "Mitchell filter");
  }
  return {};
}

std::vector<std::vector<ResampleContribution>> ResampleContributions(int oldSize, int newSize,
                                                                     ResampleFilter filter) {
  std::vector<std::vector<ResampleContribution>> result;
  if (oldSize < 1 || newSize < 1) return result;
  const Mapping m = MappingFor(oldSize, newSize);
  result.resize(static_cast<size_t>(newSize));
  for (int i = 0; i < newSize; ++i) {
    ForEachContribution(oldSize, filter, i, m,
                        [&](int j, float w) { result[static_cast<size_t>(i)].push_back({j, w}); });
  }
  return result;
}

std::string ResampleArgumentError(int newWidth, int newHeight, int pixelsPerMetre) {
  if (pixelsPerMetre < 1) return settings::Text("RasInfoRes", "Resolution") + " > 1";
  if (newWidth < 1) return settings::Text("RasResampleWidthMsg", "Pixel Width > 1");
  if (newHeight < 1) return settings::Text("RasResampleHeightMsg", "Pixel Height > 1");
  return {};
}

bool Resample(CRaster& raster, int newWidth, int newHeight, int pixelsPerMetre, ResampleFilter filter,
              const platform::ProgressCallback& progress, const platform::CancelFlag* cancel) {
  if (raster.empty()) return false;
  if (const std::string error = ResampleArgumentError(newWidth, newHeight, pixelsPerMetre); !error.empty()) {
    platform::ShowMessage(error);
    return false;
  }
  if (static_cast<int>(filter) < 0 || static_cast<int>(filter) >= kResampleFilterCount) return false;
  const int oldWidth = raster.width();
  const int oldHeight = raster.height();
  const int bits = raster.bitCount();

  // Step 1: how pixels are read, and the working images.
  RowProgress report(progress, settings::Text("RasterResample1", "Resample step 1:"), cancel);
  report.report(10, true);
  SourceReader reader{raster, bits <= 8 ? 1 : 3, bits == 24 || (bits == 8 && raster.isGreyPalette()), {}};
  if (bits == 1) {
    reader.level[0] = 255;
    reader.level[1] = 0;
  } else if (bits <= 8 && !reader.direct) {
    platform::ShowMessage(settings::Text("RasterConvertGreyMsg", "Convert image to gray !!!"),
                          platform::MessageKind::Information);
    const detail::BrightnessTables tables(raster.palette(), raster.paletteSize(), false);
    for (int i = 0; i < 256; ++i) {
      const uint8_t* e = i < raster.paletteSize() ? raster.palette() + 4 * i : nullptr;
      // A grey entry keeps its level: the weighted sum of three equal
      // components can fall a hair below it in floating point.
      reader.level[i] = e && e[0] == e[1] && e[1] == e[2] ? e[0] : tables.paletteLevel[i];
    }
  }
  const int components = reader.components;
  const int resultBits = bits <= 8 ? 8 : bits;
  const unsigned componentBits = static_cast<unsigned>(8 * components);
  report.report(50, true);
  const uint64_t tableBytes =
      (ContributionBound(oldWidth, newWidth, filter) + ContributionBound(oldHeight, newHeight, filter)) *
          (sizeof(int) + sizeof(float)) +
      (static_cast<uint64_t>(newWidth) + newHeight + 2) * sizeof(size_t);
  if (!DecodedSizeAllowed(static_cast<uint64_t>(newWidth), static_cast<uint64_t>(oldHeight), componentBits) ||
      !DecodedSizeAllowed(static_cast<uint64_t>(newWidth), static_cast<uint64_t>(newHeight),
                          static_cast<unsigned>(resultBits)) ||
      tableBytes > DecodedSizeLimit()) {
    detail::ShowNoMemory();
    return false;
  }
  // Intermediate rows padded to whole 16-value blocks for the vertical pass.
  const size_t interStride = (static_cast<size_t>(newWidth) * components + 15) / 16 * 16;
  std::vector<uint8_t> intermediate, resultLine;
  std::vector<float> block;
  ContributionTable columns, rows;
  try {
    intermediate.resize(interStride * static_cast<size_t>(oldHeight));
    resultLine.resize(interStride);
    block.resize(static_cast<size_t>(oldWidth) * components * kBlockRows);
    report.report(80, true);
    report.report(90, true);

    // Step 2: contributions per destination column.
    report.setText(settings::Text("RasterResample2", "Resample step 2:"));
    columns = BuildTable(oldWidth, newWidth, filter, report);

    // Step 3: every source row scaled horizontally into the intermediate
    // image, kBlockRows rows at a time.
    report.setText(settings::Text("RasterResample3", "Resample step 3:"));
    const bool quantise5 = bits == 16;
    const size_t lineLength = static_cast<size_t>(oldWidth) * components;
    std::vector<std::vector<uint8_t>> lineBuffers(kBlockRows, std::vector<uint8_t>(lineLength));
    const std::vector<uint8_t> zeroLine(lineLength, 0);
    for (int y0 = 0; y0 < oldHeight; y0 += kBlockRows) {
      if (report.cancelled()) return false;
      const int rows = std::min(kBlockRows, oldHeight - y0);
      const uint8_t* lines[kBlockRows];
      for (int r = 0; r < kBlockRows; ++r)
        lines[r] = r < rows ? reader.read(y0 + r, lineBuffers[static_cast<size_t>(r)].data()) : zeroLine.data();
      uint8_t* out = intermediate.data() + interStride * static_cast<size_t>(y0);
      if (components == 1) {
        Interleave(lines, oldWidth, block.data());
        FilterBlock<1>(block.data(), columns, newWidth, rows, false, out, interStride);
      } else {
        Interleave(lines, oldWidth * 3, block.data());
        FilterBlock<3>(block.data(), columns, newWidth, rows, quantise5, out, interStride);
      }
      report.report(static_cast<int>(int64_t{y0} * 100 / oldHeight));
    }

    // Step 4: contributions per destination row.
    report.setText(settings::Text("RasterResample4", "Resample step 4:"));
    rows = BuildTable(oldHeight, newHeight, filter, report);
  } catch (const std::bad_alloc&) {
    detail::ShowNoMemory();
    return false;
  }

  // The result is built beside the raster, which stays untouched until the
  // last row is done.
  CRaster result;
  if (!result.create(newWidth, newHeight, resultBits)) return false;  // create has told the user

  // Step 5: every destination row from the weighted intermediate rows, summed
  // in contribution order (the same order as a per-pixel sum).
  report.setText(settings::Text("RasterResample5", "Resample step 5:"));
  for (int y = 0; y < newHeight; ++y) {
    if (report.cancelled()) return false;
    FilterColumns(intermediate.data(), interStride, rows, y, interStride, resultLine.data());
    WriteRow(resultLine.data(), newWidth, resultBits, result.row(y));
    report.report(static_cast<int>(int64_t{y} * 100 / newHeight));
  }

  std::string name = raster.name();
  const int value1 = raster.nameValue1();
  const int value2 = raster.nameValue2();
  result.moveTo(raster);
  raster.setName(std::move(name));
  raster.setNameValues(value1, value2);
  raster.setResolution(pixelsPerMetre);
  raster.setChanged(true);
  report.report(100, true);
  return true;
}

}  // namespace quillon::raster
