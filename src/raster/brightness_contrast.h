#pragma once
// Brightness and contrast of a grey or colour image.

#include <array>
#include <cstdint>

#include "platform/progress.h"
#include "raster/raster.h"

namespace quillon::raster {

// Both settings run from -100 to 100 and start at 0.
inline constexpr int kBrightnessMin = -100;
inline constexpr int kBrightnessMax = 100;
inline constexpr int kContrastMin = -100;
inline constexpr int kContrastMax = 100;

// The new value of one colour component v (0..255): w = (v - 128) x k + 128
// with k = (contrast + 100) x 0.01, truncated and clamped to 0..255; then with
// e = truncate(|brightness| x 255 x 0.01), brightness > 0 gives w + e (255
// when e >= 255 - w), brightness < 0 gives w - e (0 when e >= w).
std::array<uint8_t, 256> BrightnessContrastTable(int brightness, int contrast);

// Applies the table to blue, green and red of every palette entry (4 and
// 8-bit images, the pixels stay) or of every pixel (16, 24, 32 bits, written
// back in the image's depth), reporting "Adjust bright & contrast" (key
// RasterAdjustBrightContrast) per entry or row and 100 at the end.
// True without any change when brightness lies outside -100..100 or both are 0.
// False, raster unchanged: an empty or 1-bit raster, a contrast outside
// -100..100, or a cancel (polled per entry or row; a cancellable call maps a
// copy of the pixels: false with the no-memory message when that copy cannot
// be made).
bool AdjustBrightnessContrast(CRaster& raster, int brightness, int contrast,
                              const platform::ProgressCallback& progress = {},
                              const platform::CancelFlag* cancel = nullptr);

}  // namespace quillon::raster
