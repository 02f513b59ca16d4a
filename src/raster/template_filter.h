#pragma once
// The raster template: a user-defined 3 x 3 or 5 x 5 convolution kernel
// applied to grey and colour images before thresholding (sharpening, mean
// filters, edge enhancement).

#include <string>
#include <vector>

#include "platform/progress.h"
#include "raster/raster.h"

namespace quillon::raster {

// A convolution kernel. The kernel cell (centreX, centreY) lies on the output
// pixel; the output level is |sum of source x coefficient| x factor.
struct KernelTemplate {
  std::string name;
  int width = 3;    // kernel columns, 3 or 5
  int height = 3;   // kernel rows, 3 or 5
  int centreX = 1;  // kernel column placed on the output pixel
  int centreY = 1;  // kernel row placed on the output pixel
  std::vector<double> coefficients = std::vector<double>(9, 1.0);  // width x height, row by row
  double factor = 1.0 / 9.0;

  // The fresh template of the template dialog: a 3 x 3 mean filter named
  // "noname template" (language key TempNoname).
  static KernelTemplate Fresh();

  // Kernel weight of row k, column l (unchecked).
  double coefficient(int k, int l) const { return coefficients[static_cast<size_t>(k * width + l)]; }

  // True when the size is 3 or 5 each way, the centre lies inside the
  // kernel, there are width x height coefficients and every number is finite.
  // Only valid templates are applied or stored.
  bool valid() const;

  bool operator==(const KernelTemplate&) const = default;
};

// Applies the template to the whole raster, reporting "Raster template"
// (key RasterGenTemplate) after each row.
//   1-bit images and palette images other than 8-bit grey: unchanged, false.
//   8-bit image with a grey palette: grey convolution of the palette indices
//     (the unused palette entries become grey too, so every output level shows
//     as that grey).
//   16, 24 and 32-bit images: blue, green and red convolved separately, read
//     and written in the image's depth (16-bit 5-5-5, 32-bit with the fourth
//     byte set to zero).
// Pixels nearer the border than the kernel reaches keep their values; an image
// smaller than the kernel is unchanged (true).
// False, raster unchanged: an empty raster, an invalid template (with a
// message), the working copy cannot be made (with the no-memory message), or
// the cancel flag was raised (checked per row).
bool TemplateFilter(CRaster& raster, const KernelTemplate& kernel, const platform::ProgressCallback& progress = {},
                    const platform::CancelFlag* cancel = nullptr);

}  // namespace quillon::raster
