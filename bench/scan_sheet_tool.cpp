// Writes the hard inputs of the worst-case benchmark (bench/worst_case_bench.sh):
//   scan_sheet_tool grey W H OUTPUT.bmp [BLUR=1] [NOISE=12]
//     the generated sheet as an 8-bit grey scan: black ink on white paper,
//     Gaussian blur of BLUR px, then Gaussian noise of NOISE grey levels,
//     clipped to 0..255 (trace it with the automatic threshold);
//   scan_sheet_tool salt W H PERCENT OUTPUT.bmp
//     a 1-bit sheet of pure salt-and-pepper noise, each pixel ink with
//     PERCENT % probability.
// The same arguments always give the same file (fixed generator, no library
// distributions).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gen/sheet_generator.h"

namespace {

using quillon::raster::CRaster;

// splitmix64: fast, fixed, good enough for noise.
struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed) {}
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
  // Box-Muller; the second value of each pair is kept for the next call.
  double gaussian() {
    if (haveSpare) {
      haveSpare = false;
      return spare;
    }
    double u = uniform();
    while (u <= 0.0) u = uniform();
    const double v = uniform();
    const double r = std::sqrt(-2.0 * std::log(u));
    spare = r * std::sin(2.0 * M_PI * v);
    haveSpare = true;
    return r * std::cos(2.0 * M_PI * v);
  }
  bool haveSpare = false;
  double spare = 0.0;
};

std::vector<float> Kernel(double sigma) {
  if (!(sigma > 0.0)) return {1.0f};
  const int radius = static_cast<int>(std::ceil(3.0 * sigma));
  std::vector<float> k(static_cast<size_t>(2 * radius + 1));
  double sum = 0.0;
  for (int i = -radius; i <= radius; ++i) sum += k[static_cast<size_t>(i + radius)] = static_cast<float>(std::exp(-i * i / (2.0 * sigma * sigma)));
  for (float& v : k) v = static_cast<float>(v / sum);
  return k;
}

uint8_t Clip(double v) { return static_cast<uint8_t>(v < 0.0 ? 0.0 : v > 255.0 ? 255.0 : std::lround(v)); }

int Grey(int width, int height, double blur, double noise, const char* output) {
  quillon::bench::SheetSpec spec;
  spec.width = width;
  spec.height = height;
  quillon::bench::Sheet sheet;
  if (!quillon::bench::GenerateSheet(spec, sheet)) {
    std::fprintf(stderr, "scan_sheet_tool: cannot generate the sheet\n");
    return 1;
  }
  CRaster grey;
  if (!grey.create(width, height, 8) || !grey.makeGreyPalette()) {
    std::fprintf(stderr, "scan_sheet_tool: cannot allocate the grey image\n");
    return 1;
  }
  const std::vector<float> k = Kernel(blur);
  const int radius = static_cast<int>(k.size() / 2);
  // Horizontal pass from the 1-bit sheet into the grey image, vertical pass
  // through a window of horizontally blurred rows, then the noise.
  std::vector<float> level(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    const CRaster& bits = sheet.raster;
    for (int x = 0; x < width; ++x) level[static_cast<size_t>(x)] = bits.bitAt(x, y) ? 0.0f : 255.0f;
    uint8_t* out = grey.row(y);
    for (int x = 0; x < width; ++x) {
      float sum = 0.0f;
      for (int i = -radius; i <= radius; ++i) {
        const int xi = x + i < 0 ? 0 : x + i >= width ? width - 1 : x + i;
        sum += k[static_cast<size_t>(i + radius)] * level[static_cast<size_t>(xi)];
      }
      out[x] = Clip(sum);
    }
  }
  sheet.raster.release();
  std::vector<std::vector<uint8_t>> window(static_cast<size_t>(2 * radius + 1), std::vector<uint8_t>(static_cast<size_t>(width)));
  auto source = [&](int y) { return grey.row(y < 0 ? 0 : y >= height ? height - 1 : y); };
  for (int i = 0; i < 2 * radius + 1 && i - radius < height; ++i)
    std::memcpy(window[static_cast<size_t>(i)].data(), source(i - radius), static_cast<size_t>(width));
  Random random(20261209u);
  for (int y = 0; y < height; ++y) {
    uint8_t* out = grey.row(y);
    for (int x = 0; x < width; ++x) {
      float sum = 0.0f;
      for (int i = 0; i < 2 * radius + 1; ++i) sum += k[static_cast<size_t>(i)] * window[static_cast<size_t>((y + i) % (2 * radius + 1))][static_cast<size_t>(x)];
      out[x] = Clip(sum + noise * random.gaussian());
    }
    // Row y - radius leaves the window; row y + radius + 1 (still unblurred vertically) enters.
    std::memcpy(window[static_cast<size_t>(y % (2 * radius + 1))].data(), source(y + radius + 1), static_cast<size_t>(width));
  }
  if (!grey.save(output)) {
    std::fprintf(stderr, "scan_sheet_tool: cannot write %s\n", output);
    return 1;
  }
  std::printf("%s: %dx%d grey scan, blur %.2f px, noise %.1f levels, automatic threshold %d\n", output, width, height, blur, noise,
              grey.automaticThreshold());
  return 0;
}

int Salt(int width, int height, double percent, const char* output) {
  CRaster bits;
  if (!bits.create(width, height, 1)) {
    std::fprintf(stderr, "scan_sheet_tool: cannot allocate the sheet\n");
    return 1;
  }
  bits.fillBytes(0);
  Random random(20261209u + static_cast<uint64_t>(percent * 100.0));
  const uint64_t limit = static_cast<uint64_t>(percent / 100.0 * 18446744073709551615.0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (random.next() < limit) bits.setBit(x, y, true);
  if (!bits.save(output)) {
    std::fprintf(stderr, "scan_sheet_tool: cannot write %s\n", output);
    return 1;
  }
  std::printf("%s: %dx%d salt-and-pepper noise, %.1f %% ink\n", output, width, height, percent);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "grey" && (argc >= 5 && argc <= 7)) {
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
    if (w > 0 && h > 0)
      return Grey(w, h, argc > 5 ? std::atof(argv[5]) : 1.0, argc > 6 ? std::atof(argv[6]) : 12.0, argv[4]);
  }
  if (mode == "salt" && argc == 6) {
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
    const double p = std::atof(argv[4]);
    if (w > 0 && h > 0 && p >= 0.0 && p <= 100.0) return Salt(w, h, p, argv[5]);
  }
  std::fprintf(stderr,
               "usage: scan_sheet_tool grey W H OUTPUT.bmp [BLUR=1] [NOISE=12]\n"
               "       scan_sheet_tool salt W H PERCENT OUTPUT.bmp\n");
  return 2;
}
