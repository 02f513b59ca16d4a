#pragma once
// TIFF files through libtiff directly: the checks every TIFF passes before any
// decoder allocates its pixels, and the decoder for the variants FreeImage
// refuses (2 and 12-bit samples, tiled or planar layouts it cannot read,
// LogLuv, CMYK with alpha ...). Internal to src/raster.

#include <string>

#include "raster/freeimage_support.h"

namespace quillon::raster::detail {

// Whether the file starts like a TIFF or BigTIFF file, either byte order.
bool HasTiffSignature(const std::string& path);

// Walks every page of the file from its headers alone: each page must be
// within DecodedSizeLimit(), every strip or tile must lie inside the file,
// uncompressed data must hold every pixel and compressed data must be large
// enough to decode to the page (no codec packs more than a bounded ratio). On
// success sets pages to the number of pages. On failure returns false and sets
// reason to a short cause ("the file is truncated", "the image is too large
// (...)", "unsupported TIFF compression 34712" ...).
bool CheckTiffFile(const std::string& path, int& pages, std::string& reason);

// CheckTiffFile() for one page.
bool CheckTiffPage(const std::string& path, int pageIndex, std::string& reason);

// Decodes page pageIndex with libtiff. Every libtiff error fails the decode,
// so a strip that cannot be read never leaves a partly decoded picture. The
// pixels come out as FreeImage would give them after normalisation: bilevel
// pages 1-bit, grey pages 8-bit grey, others 24-bit; samples deeper than 8
// bits scaled to 8, alpha composited onto white, CMYK and LogLuv as RGB.
// Null with reason on failure.
BitmapPtr DecodeTiffPage(const std::string& path, int pageIndex, std::string& reason);

}  // namespace quillon::raster::detail
