#pragma once
// Resampling of a raster to new pixel dimensions by separable filtered
// rescaling (Schumacher, "General Filtered Image Rescaling", Graphics Gems III):
// each destination column gets its list of weighted source columns, the image
// is scaled horizontally into an intermediate image, then the same is done per
// destination row into the result. Borders mirror. Source and destination
// corners are aligned: scale (new - 1) / (old - 1), so the first and last
// pixels of a row map onto the first and last source pixels.

#include <string>
#include <vector>

#include "platform/progress.h"
#include "raster/raster.h"

namespace quillon::raster {

// The reconstruction filters, in the order of the dialog's list; the value is
// the index the dialog passes.
enum class ResampleFilter : int {
  Triangle = 0,
  Box = 1,
  Hermite = 2,
  Bell = 3,
  BSpline = 4,
  Lanczos3 = 5,
  Mitchell = 6,
};
inline constexpr int kResampleFilterCount = 7;
inline constexpr ResampleFilter kDefaultResampleFilter = ResampleFilter::Triangle;

// The filter's support (half width in source pixels): the value is 0 for
// |t| at or beyond it.
float ResampleFilterSupport(ResampleFilter filter);
// The filter's value at distance t (in source pixels), in single precision.
float ResampleFilterValue(ResampleFilter filter, float t);
// The filter's display name from the language table ("Triangle filter" ...).
std::string ResampleFilterName(ResampleFilter filter);

// One source pixel's share of a destination pixel.
struct ResampleContribution {
  int source;    // source column (or row), already mirrored into 0 .. size-1
  float weight;  // never 0
};

// The contributions of every destination column (or row) when `oldSize`
// pixels become `newSize` with the filter: for destination i the centre is
// i / scale in source pixels; enlarging (scale >= 1) takes filter(centre - j)
// over j from floor(centre - support) to ceil(centre + support); reducing
// widens the support to support / scale and takes filter((centre - j) scale)
// scale. Indices outside 0 .. oldSize-1 mirror (-j, 2 oldSize - j - 1).
// Reducing to one pixel centres that pixel on the middle of the source.
// Both sizes must be at least 1. Throws std::bad_alloc when memory runs out
// (callers inside the raster module catch it).
std::vector<std::vector<ResampleContribution>> ResampleContributions(int oldSize, int newSize,
                                                                     ResampleFilter filter);

// The text the resample dialog refuses the values with ("Pixel Width > 1",
// "Pixel Height > 1", the resolution caption followed by " > 1"), or "" when
// width, height and resolution are all at least 1.
std::string ResampleArgumentError(int newWidth, int newHeight, int pixelsPerMetre);

// Resamples the raster to newWidth x newHeight pixels with the filter and
// sets the resolution to pixelsPerMetre. 16, 24 and 32-bit images keep their
// depth and are filtered per colour component; 1, 4 and 8-bit images come
// back as 8-bit grey (a 1-bit pixel reads 0 for ink and 255 for background, a
// palette pixel its truncated brightness; 4 and 8-bit colour palette images
// say "Convert image to gray !!!"), so a 1-bit raster has to be thresholded
// again before tracing. Each weighted sum is clamped to 0..255 and rounded
// (floor(sum + 0.5)) per pass. Name and its values are kept; the histogram is
// recomputed on demand.
// Progress: "Resample step 1:" .. "Resample step 5:", each 0..100; polls
// cancel every few rows (the horizontal pass takes eight rows at a time). False, with the raster unchanged, for an empty raster,
// bad arguments (the ResampleArgumentError message is shown), a result or
// intermediate image above the decoded size limit or out of memory ("Not
// enough memory to perform operation !"), or when cancelled.
bool Resample(CRaster& raster, int newWidth, int newHeight, int pixelsPerMetre,
              ResampleFilter filter = kDefaultResampleFilter, const platform::ProgressCallback& progress = {},
              const platform::CancelFlag* cancel = nullptr);

}  // namespace quillon::raster
