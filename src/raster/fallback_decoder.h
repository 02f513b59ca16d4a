#pragma once
// The second decoder, behind FreeImage: reads the valid files FreeImage
// refuses or cannot represent. TIFF goes to libtiff directly (tiff_reader.h),
// grey+alpha TARGA, 2-bit BMP and uncompressed OS/2 2.x palette BMP to small
// readers of its own (no packaged library reads them right), everything else to GraphicsMagick. The pixels come out as a standard
// FreeImage bitmap of 1, 8 (grey) or 24 bits with alpha already composited
// onto white, so CRaster::attach sees what it would from FreeImage.
// Internal to src/raster.

#include <string>

#include "raster/freeimage_support.h"

namespace quillon::raster::detail {

// Whether the second decoder recognises the file as the format at all (from
// its header; nothing is decoded). Used when FreeImage's signature check
// refused the file, to tell "valid but FreeImage cannot read it" from "not
// this format".
bool FallbackRecognises(const std::string& path, FREE_IMAGE_FORMAT format);

// Decodes the file (the first page of a TIFF) as the format. The size is
// checked from the header against DecodedSizeLimit() before pixels are
// allocated; any error or sign of corrupt data fails the whole decode. Null
// with reason on failure.
BitmapPtr DecodeFallback(const std::string& path, FREE_IMAGE_FORMAT format, std::string& reason);

}  // namespace quillon::raster::detail
