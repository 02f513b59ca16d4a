// Writes a generated 1-bit line-art sheet with a chosen density to a BMP
// file, for whole-program timings of dense scans (quillon trace). Run:
//   cmake --build <release-build> --target dense_sheet_tool
//   <release-build>/bench/dense_sheet_tool WIDTH HEIGHT DENSITY [MAXWIDTH] OUTPUT.bmp
// Density 1 is the busy sheet of sheet_tool; A0 at 300 dpi is 14000 x 9900.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gen/sheet_generator.h"

int main(int argc, char** argv) {
  using namespace quillon;
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: dense_sheet_tool WIDTH HEIGHT DENSITY [MAXWIDTH] OUTPUT.bmp\n");
    return 2;
  }
  bench::SheetSpec spec;
  spec.width = std::atoi(argv[1]);
  spec.height = std::atoi(argv[2]);
  spec.density = std::atof(argv[3]);
  if (argc == 6) spec.maxWidth = std::atoi(argv[4]);
  const char* output = argv[argc - 1];
  if (spec.width <= 0 || spec.height <= 0 || !(spec.density > 0.0) || spec.maxWidth < spec.minWidth) {
    std::fprintf(stderr, "dense_sheet_tool: bad arguments\n");
    return 2;
  }
  bench::Sheet sheet;
  if (!bench::GenerateSheet(spec, sheet)) {
    std::fprintf(stderr, "dense_sheet_tool: cannot generate the %s sheet\n", bench::SheetLabel(spec).c_str());
    return 1;
  }
  const raster::CRaster& r = sheet.raster;
  uint64_t ink = 0;
  for (int y = 0; y < r.height(); ++y) {
    const uint8_t* row = r.row(y);
    for (int b = 0; b < (r.width() + 7) / 8; ++b) ink += static_cast<uint64_t>(__builtin_popcount(row[b]));
  }
  if (!sheet.raster.save(output)) {
    std::fprintf(stderr, "dense_sheet_tool: cannot write %s\n", output);
    return 1;
  }
  std::printf("%s: %s sheet, density %.2f, %.1f %% ink\n", output, bench::SheetLabel(spec).c_str(), spec.density,
              100.0 * static_cast<double>(ink) / (static_cast<double>(r.width()) * r.height()));
  return 0;
}
