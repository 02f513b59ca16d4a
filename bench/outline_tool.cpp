// Writes the generated line-art sheet as a 1-bit BMP (for quillon trace) and
// as a PBM (for potrace), so that bench/outline_bench.sh can time both
// tracers on the same pixels.
//
//   outline_tool DIR [WIDTH HEIGHT]   (default 14000 x 9900)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gen/sheet_generator.h"
#include "platform/atomic_file.h"

namespace {

// PBM (P4): rows of packed bits, most significant bit first, 1 = black,
// which is the raster's own row layout without its padding.
bool WritePbm(const quillon::raster::CRaster& raster, const std::string& path) {
  std::string data = "P4\n" + std::to_string(raster.width()) + " " + std::to_string(raster.height()) + "\n";
  const int used = raster.usedRowBytes();
  data.reserve(data.size() + static_cast<size_t>(used) * static_cast<size_t>(raster.height()));
  for (int y = 0; y < raster.height(); ++y) {
    const uint8_t* row = raster.row(y);
    std::string line(reinterpret_cast<const char*>(row), static_cast<size_t>(used));
    // Clear the bits past the last pixel of the row.
    if (raster.width() % 8 != 0) line.back() = static_cast<char>(line.back() & (0xFF << (8 - raster.width() % 8)));
    data += line;
  }
  return quillon::platform::WriteFileAtomically(path, data);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillon;
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: outline_tool DIR [WIDTH HEIGHT]\n");
    return 2;
  }
  const std::string dir = argv[1];
  bench::SheetSpec spec{14000, 9900};
  if (argc == 4) {
    spec.width = std::atoi(argv[2]);
    spec.height = std::atoi(argv[3]);
  }
  bench::Sheet sheet;
  if (!bench::GenerateSheet(spec, sheet)) {
    std::fprintf(stderr, "cannot generate the %s sheet\n", bench::SheetLabel(spec).c_str());
    return 1;
  }
  const std::string bmp = dir + "/sheet.bmp";
  const std::string pbm = dir + "/sheet.pbm";
  if (!sheet.raster.save(bmp) || !WritePbm(sheet.raster, pbm)) {
    std::fprintf(stderr, "cannot write %s or %s\n", bmp.c_str(), pbm.c_str());
    return 1;
  }
  std::printf("%s: %zu primitives, %s and %s\n", bench::SheetLabel(spec).c_str(), sheet.primitives.size(), bmp.c_str(),
              pbm.c_str());
  return 0;
}
