// Writes the generated 1-bit line-art sheet of a given size to a BMP file,
// so whole-program runs (quillon trace) can be timed on it. Run:
//   cmake --build <release-build> --target sheet_tool
//   <release-build>/bench/sheet_tool [--fidelity] WIDTH HEIGHT OUTPUT.bmp
// (--fidelity: the sheet fidelity_tool traces at that size, with its cases)
// A0 at 300 dpi is 14000 x 9900.

#include <cstdio>
#include <cstdlib>

#include "gen/command_line.h"
#include "gen/sheet_generator.h"

int main(int argc, char** argv) {
  using namespace quillon;
  bool fidelity = false;
  argc = bench::TakeSwitches(argc, argv, {{"--fidelity", &fidelity}});
  if (argc != 4) {
    std::fprintf(stderr, "usage: sheet_tool [--fidelity] WIDTH HEIGHT OUTPUT.bmp\n");
    return 2;
  }
  bench::SheetSpec spec;
  spec.fidelityCases = fidelity;
  spec.width = std::atoi(argv[1]);
  spec.height = std::atoi(argv[2]);
  if (spec.width <= 0 || spec.height <= 0) {
    std::fprintf(stderr, "sheet_tool: bad size %s x %s\n", argv[1], argv[2]);
    return 2;
  }
  bench::Sheet sheet;
  if (!bench::GenerateSheet(spec, sheet)) {
    std::fprintf(stderr, "sheet_tool: cannot generate the %s sheet\n", bench::SheetLabel(spec).c_str());
    return 1;
  }
  if (!sheet.raster.save(argv[3])) {
    std::fprintf(stderr, "sheet_tool: cannot write %s\n", argv[3]);
    return 1;
  }
  std::printf("%s: %s sheet\n", argv[3], bench::SheetLabel(spec).c_str());
  return 0;
}
