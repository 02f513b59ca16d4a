#pragma once
// The median filter: removes speckle before tracing in a square window of
// 3 x 3 or 5 x 5 pixels. 1-bit images by majority vote, 8-bit grey images by
// the median level, 16, 24 and 32-bit images by the pixel of median
// brightness.

#include <array>
#include <cstdint>
#include <utility>

#include "platform/progress.h"
#include "raster/raster.h"

namespace quillon::raster {

inline constexpr int kMedianWindowDefault = 3;

// The majority vote of 1-bit images, in the order the filter keeps it: the
// window's cell count n², the majority limit (n² - 1) / 2 (a pixel becomes ink
// when more window cells than that are ink), window width and height n.
struct BinaryMedianSettings {
  uint8_t cells;
  uint8_t limit;
  uint8_t width;
  uint8_t height;
};
BinaryMedianSettings BinaryMedianFor(int windowSize);

// Filters the whole raster with the window (3 or 5); every output pixel
// depends only on the original pixels. With a cancel flag the filter keeps a
// working copy of the image to put back the rows it wrote when cancelled;
// without one it needs only a few rows of extra memory.
//   1-bit: a pixel becomes ink when more than (n² - 1) / 2 of its n x n
//     window are ink, background otherwise; the border strip of (n - 1) / 2
//     pixels keeps its pixels. The thinned flag is cleared.
//   8-bit with a grey palette: the median of the n² window levels, window
//     positions outside the image counting as 0 (so a corner pixel with the
//     3 x 3 window, which sees five outside positions, becomes 0).
//   16, 24 and 32-bit: the window pixel of median brightness
//     (30 red + 59 green + 11 blue) / 100, outside positions black; among
//     equally bright pixels the one with the median (red, green, blue) value.
// Progress: "Init Median filter..." (for 1-bit images with " [3,3]" or
// " [5,5]") and, for 1-bit images, "Start Median Filter" at 0, "Median
// Filter" with the running percent, "Median Filter Finish" at 100. Polls the
// cancel flag once per row.
// False, raster unchanged: an empty raster, a window other than 3 or 5, a
// palette image without a grey palette, a working copy or row buffer that
// cannot be allocated ("Median Filter Failed" at 100), or cancellation.
bool MedianFilter(CRaster& raster, const platform::ProgressCallback& progress = {},
                  int windowSize = kMedianWindowDefault, const platform::CancelFlag* cancel = nullptr);

namespace detail {

// Exchange networks that leave the median of 9 values in element 4 and of
// 25 values in element 12 (each pair (a, b) puts the smaller value in a and
// the larger in b). Used on vectors of pixels, so every lane finds its median
// without branches.
inline constexpr std::array<std::pair<uint8_t, uint8_t>, 19> kMedian9Network{{
    {1, 2}, {4, 5}, {7, 8}, {0, 1}, {3, 4}, {6, 7}, {1, 2}, {4, 5}, {7, 8}, {0, 3},
    {5, 8}, {4, 7}, {3, 6}, {1, 4}, {2, 5}, {4, 7}, {4, 2}, {6, 4}, {4, 2},
}};

inline constexpr std::array<std::pair<uint8_t, uint8_t>, 99> kMedian25Network{{
    {0, 1},   {3, 4},   {2, 4},   {2, 3},   {6, 7},   {5, 7},   {5, 6},   {9, 10},  {8, 10},  {8, 9},
    {12, 13}, {11, 13}, {11, 12}, {15, 16}, {14, 16}, {14, 15}, {18, 19}, {17, 19}, {17, 18}, {21, 22},
    {20, 22}, {20, 21}, {23, 24}, {2, 5},   {3, 6},   {0, 6},   {0, 3},   {4, 7},   {1, 7},   {1, 4},
    {11, 14}, {8, 14},  {8, 11},  {12, 15}, {9, 15},  {9, 12},  {13, 16}, {10, 16}, {10, 13}, {20, 23},
    {17, 23}, {17, 20}, {21, 24}, {18, 24}, {18, 21}, {19, 22}, {8, 17},  {9, 18},  {0, 18},  {0, 9},
    {10, 19}, {1, 19},  {1, 10},  {11, 20}, {2, 20},  {2, 11},  {12, 21}, {3, 21},  {3, 12},  {13, 22},
    {4, 22},  {4, 13},  {14, 23}, {5, 23},  {5, 14},  {15, 24}, {6, 24},  {6, 15},  {7, 16},  {7, 19},
    {13, 21}, {15, 23}, {7, 13},  {7, 15},  {1, 9},   {3, 11},  {5, 17},  {11, 17}, {9, 17},  {4, 10},
    {6, 12},  {7, 14},  {4, 6},   {4, 7},   {12, 14}, {10, 14}, {6, 7},   {10, 12}, {6, 10},  {6, 17},
    {12, 17}, {7, 17},  {7, 10},  {12, 18}, {7, 12},  {10, 18}, {12, 20}, {10, 20}, {10, 12},
}};

}  // namespace detail
}  // namespace quillon::raster
