// Writes generated line-art sheets as 1-bit BMP files and a job file that
// converts all of them, for timing `quillon batch`:
//   batch_sheets_tool DIR [COUNT=40] [WIDTH=4000] [HEIGHT=2800] [REPEAT=1]
// DIR/sheets.trj lists every sheet once; with REPEAT above 1, DIR/sheets-xREPEAT.trj
// lists them REPEAT times over (a longer run of the same work). Sheets
// already present are kept, so a second call costs nothing.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "gen/sheet_generator.h"
#include "platform/atomic_file.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: batch_sheets_tool DIR [COUNT] [WIDTH] [HEIGHT] [REPEAT]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int count = argc > 2 ? std::atoi(argv[2]) : 40;
  quillon::bench::SheetSpec spec;
  spec.width = argc > 3 ? std::atoi(argv[3]) : 4000;
  spec.height = argc > 4 ? std::atoi(argv[4]) : 2800;
  const int repeat = argc > 5 ? std::max(1, std::atoi(argv[5])) : 1;
  std::filesystem::create_directories(dir);
  std::string rows;
  for (int i = 0; i < count; ++i) {
    const std::string name = "sheet" + std::to_string(i) + ".bmp";
    const std::string path = dir + "/" + name;
    if (!std::filesystem::exists(path)) {
      quillon::bench::Sheet sheet;
      spec.seed = 20261209u + static_cast<unsigned>(i);
      if (!quillon::bench::GenerateSheet(spec, sheet) || !sheet.raster.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
      }
    }
  }
  auto jobFile = [&](int times) {
    std::string job = ";Quillon Job file\r\n[General]\r\nJobCount=" + std::to_string(count * times) +
                      "\r\nOverwrite=1\r\nPowerOff=0\r\nTargetPath=\r\nTargetFormat=0\r\n\r\n";
    for (int row = 0; row < count * times; ++row) {
      // Relative to the job file; the parameters are the built-in defaults.
      job += "[Job" + std::to_string(row) + "]\r\nFile=sheet" + std::to_string(row % count) +
             ".bmp\r\nAutoGray=1\r\nGray=128\r\nMethod=Center\r\nChart=pre_Default\r\n\r\n";
    }
    return job;
  };
  if (!quillon::platform::WriteFileAtomically(dir + "/sheets.trj", jobFile(1))) return 1;
  std::printf("%s/sheets.trj: %d sheets of %dx%d\n", dir.c_str(), count, spec.width, spec.height);
  if (repeat > 1) {
    const std::string name = dir + "/sheets-x" + std::to_string(repeat) + ".trj";
    if (!quillon::platform::WriteFileAtomically(name, jobFile(repeat))) return 1;
    std::printf("%s: the %d sheets %d times over\n", name.c_str(), count, repeat);
  }
  return 0;
}
