#pragma once
// Two raster operations that prepare a scan for tracing: the smart (dynamic)
// threshold, which copes with uneven lighting by thresholding each square box
// against its own mean brightness, and the smooth filter, which closes small
// gaps and holes in a 1-bit image by dilations followed by as many erosions.

#include "platform/progress.h"
#include "raster/raster.h"

namespace quillon::raster {

// Limits and defaults of the two operations' parameters, as offered to the user.
inline constexpr int kSmartBoxMin = 50;
inline constexpr int kSmartBoxMax = 200;
inline constexpr int kSmartBoxDefault = 200;
inline constexpr float kSmartRatioMin = 0.20f;
inline constexpr float kSmartRatioMax = 8.00f;
inline constexpr float kSmartRatioDefault = 0.65f;
inline constexpr int kHoleSizeMax = 10;
inline constexpr int kHoleSizeDefault = 2;

// Makes a grey or colour image 1-bit: the image is cut into boxes of
// boxSize × boxSize pixels (smaller at the right and bottom edges), and in
// each box a pixel becomes ink when its truncated brightness is strictly
// below truncate(sum of the box's brightness × contrastRatio / pixels).
// Progress "Smart Threshold" 0..100. Name and resolution are kept. A 1-bit
// or empty image is left as it is (true). False, image unchanged, when the
// new image cannot be allocated, boxSize is below 1, or the cancel flag was
// raised (polled per box row).
bool SmartThreshold(CRaster& raster, int boxSize, float contrastRatio, const platform::ProgressCallback& progress = {},
                    const platform::CancelFlag* cancel = nullptr);

// Morphological closing of a 1-bit image: `iterations` dilations (a pixel
// becomes ink when it or one of its four edge neighbours is ink) and then as
// many erosions (ink only when it and all four neighbours are ink). Only
// interior pixels are written; the border rows and columns keep their
// values. Progress 0..50 while dilating and 50..100 while eroding. False for
// an empty or not 1-bit image or iterations below 1; false with "Not enough
// memory to perform operation !" when the working copy cannot be made.
bool SmoothFilter(CRaster& raster, int iterations, const platform::ProgressCallback& progress = {});

}  // namespace quillon::raster
