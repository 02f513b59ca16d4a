// Times the centre-line stages on a 1-bit raster file (thin first step, thin
// second step, centre initialise, centre line without a path filter) and
// prints a checksum of what each gives, so that a faster build can be checked
// against an older one stage by stage:
//   thin_walk_tool FILE.bmp [REPEATS]
// The fastest of REPEATS runs (default 3) per stage is printed.

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "raster/raster.h"
#include "trace/centre_line.h"
#include "trace/thinning.h"

namespace {

using quillon::raster::CRaster;

long InkPixels(const CRaster& raster) {
  long count = 0;
  for (int y = 0; y < raster.height(); ++y) {
    const uint8_t* row = raster.row(y);
    for (int i = 0; i < raster.usedRowBytes(); ++i) count += std::popcount(static_cast<unsigned>(row[i]));
  }
  return count;
}

uint64_t Mix(uint64_t hash, uint64_t value) { return (hash ^ value) * 0x100000001B3ull; }

uint64_t RasterHash(const CRaster& raster) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (int y = 0; y < raster.height(); ++y) {
    const uint8_t* row = raster.row(y);
    for (int i = 0; i < raster.usedRowBytes(); ++i) hash = Mix(hash, row[i]);
  }
  return hash;
}

uint64_t PathHash(const quillon::trace::TracePath& path) {
  uint64_t hash = Mix(0xCBF29CE484222325ull, path.size());
  for (const auto& point : path.points) {
    hash = Mix(hash, static_cast<uint64_t>(point.x));
    hash = Mix(hash, static_cast<uint64_t>(point.y));
  }
  return hash;
}

uint64_t PathsHash(const quillon::trace::TracePathList& paths) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (const auto& path : paths) hash = Mix(hash, PathHash(path));
  for (const auto& point : paths.lonePixels()) hash = Mix(hash, static_cast<uint64_t>(point.x * 65536 + point.y));
  return hash;
}

// CPU time of this thread: the machine may be shared, and every stage timed
// here runs on the calling thread.
double Now() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: thin_walk_tool FILE.bmp [REPEATS]\n");
    return 2;
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  CRaster source;
  if (!source.load(argv[1]) || source.bitCount() != 1) {
    std::fprintf(stderr, "not a readable 1-bit raster: %s\n", argv[1]);
    return 1;
  }
  double best[4] = {1e9, 1e9, 1e9, 1e9};
  uint64_t hashes[4] = {};
  std::size_t pathCount = 0;
  long skeletonPixels = 0;
  long junctionPixels = 0;
  for (int run = 0; run < repeats; ++run) {
    CRaster skeleton;
    if (!skeleton.cloneFrom(source)) return 1;
    double start = Now();
    quillon::trace::ThinFirstStep(skeleton, nullptr, 1);
    best[0] = std::min(best[0], Now() - start);
    hashes[0] = RasterHash(skeleton);
    CRaster junctions;
    if (!junctions.create(source.width(), source.height(), 1)) return 1;
    start = Now();
    quillon::trace::ThinSecondStep(skeleton, nullptr, false, &junctions);
    best[1] = std::min(best[1], Now() - start);
    hashes[1] = RasterHash(skeleton);
    CRaster blank;
    if (!blank.create(source.width(), source.height(), 1) || RasterHash(blank) != RasterHash(junctions)) {
      std::fprintf(stderr, "the second step left marks in its scratch raster\n");
      return 1;
    }
    start = Now();
    quillon::trace::TraceCentreInitialise(skeleton, junctions, nullptr);
    best[2] = std::min(best[2], Now() - start);
    hashes[2] = RasterHash(skeleton) ^ RasterHash(junctions);
    skeletonPixels = InkPixels(skeleton);
    junctionPixels = InkPixels(junctions);
    // Every path is hashed and dropped, as the trace drops each path once
    // its polyline is made; lone pixels are left out, as in a default run.
    quillon::trace::TracePathList paths;
    uint64_t pathHash = 0xCBF29CE484222325ull;
    pathCount = 0;
    const quillon::trace::PathFilter drop = [&](const quillon::trace::TracePath& path) {
      pathHash = Mix(pathHash, PathHash(path));
      ++pathCount;
      return true;
    };
    start = Now();
    quillon::trace::TraceCentreLine(skeleton, junctions, paths, nullptr, &drop, false);
    best[3] = std::min(best[3], Now() - start);
    hashes[3] = Mix(pathHash, PathsHash(paths));
  }
  const char* names[4] = {"thin first step (1 thread)", "thin second step", "centre initialise", "centre line"};
  for (int i = 0; i < 4; ++i) std::printf("%-28s %7.3f s  %016llx\n", names[i], best[i], (unsigned long long)hashes[i]);
  std::printf("paths %zu, skeleton pixels %ld after initialise, junction pixels %ld\n", pathCount, skeletonPixels,
              junctionPixels);
  return 0;
}
