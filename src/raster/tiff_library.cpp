// libtiff, opened when the program first reads a TIFF (or FreeImage, which
// needs it too, is opened) instead of linked: the library and the codec
// libraries behind it (WebP, Zstandard, LZMA, LERC, JBIG, JPEG, libdeflate)
// cost the dynamic loader a few milliseconds of CPU at every start, and the
// first of the two starts of every command (the program starts itself again
// with the huge-page heap) never reads a raster. The functions the program
// calls are defined here with libtiff's own declarations and pass each call
// on to the library, whose entry points are looked up once each.
#include <tiffio.h>

#include <cstdarg>

#include "platform/shared_library.h"

namespace {

void* Symbol(const char* name) {
  static quillon::platform::SharedLibrary library({QUILLON_TIFF_LIBRARY}, "libtiff");
  return library.symbol(name);
}

}  // namespace

// The library's function of the same name, looked up on the first call.
#define FORWARD(name)                                                          \
  static const auto real = reinterpret_cast<decltype(&name)>(Symbol(#name)); \
  return real

extern "C" {

TIFFOpenOptions* TIFFOpenOptionsAlloc(void) { FORWARD(TIFFOpenOptionsAlloc)(); }
void TIFFOpenOptionsFree(TIFFOpenOptions* options) { FORWARD(TIFFOpenOptionsFree)(options); }
void TIFFOpenOptionsSetMaxSingleMemAlloc(TIFFOpenOptions* options, tmsize_t limit) {
  FORWARD(TIFFOpenOptionsSetMaxSingleMemAlloc)(options, limit);
}
void TIFFOpenOptionsSetErrorHandlerExtR(TIFFOpenOptions* options, TIFFErrorHandlerExtR handler, void* data) {
  FORWARD(TIFFOpenOptionsSetErrorHandlerExtR)(options, handler, data);
}
void TIFFOpenOptionsSetWarningHandlerExtR(TIFFOpenOptions* options, TIFFErrorHandlerExtR handler, void* data) {
  FORWARD(TIFFOpenOptionsSetWarningHandlerExtR)(options, handler, data);
}
TIFF* TIFFOpenExt(const char* name, const char* mode, TIFFOpenOptions* options) {
  FORWARD(TIFFOpenExt)(name, mode, options);
}
void TIFFClose(TIFF* tif) { FORWARD(TIFFClose)(tif); }

int TIFFVGetField(TIFF* tif, uint32_t tag, va_list ap) { FORWARD(TIFFVGetField)(tif, tag, ap); }
int TIFFVGetFieldDefaulted(TIFF* tif, uint32_t tag, va_list ap) { FORWARD(TIFFVGetFieldDefaulted)(tif, tag, ap); }
// The variadic getters go through their va_list forms.
int TIFFGetField(TIFF* tif, uint32_t tag, ...) {
  va_list ap;
  va_start(ap, tag);
  const int found = TIFFVGetField(tif, tag, ap);
  va_end(ap);
  return found;
}
int TIFFGetFieldDefaulted(TIFF* tif, uint32_t tag, ...) {
  va_list ap;
  va_start(ap, tag);
  const int found = TIFFVGetFieldDefaulted(tif, tag, ap);
  va_end(ap);
  return found;
}

int TIFFIsCODECConfigured(uint16_t scheme) { FORWARD(TIFFIsCODECConfigured)(scheme); }
int TIFFIsTiled(TIFF* tif) { FORWARD(TIFFIsTiled)(tif); }
uint32_t TIFFNumberOfTiles(TIFF* tif) { FORWARD(TIFFNumberOfTiles)(tif); }
uint32_t TIFFNumberOfStrips(TIFF* tif) { FORWARD(TIFFNumberOfStrips)(tif); }
uint64_t TIFFScanlineSize64(TIFF* tif) { FORWARD(TIFFScanlineSize64)(tif); }
uint64_t TIFFTileSize64(TIFF* tif) { FORWARD(TIFFTileSize64)(tif); }
int TIFFReadDirectory(TIFF* tif) { FORWARD(TIFFReadDirectory)(tif); }
int TIFFSetDirectory(TIFF* tif, tdir_t index) { FORWARD(TIFFSetDirectory)(tif, index); }
int TIFFReadScanline(TIFF* tif, void* buffer, uint32_t row, uint16_t sample) {
  FORWARD(TIFFReadScanline)(tif, buffer, row, sample);
}
int TIFFReadRGBAImageOriented(TIFF* tif, uint32_t width, uint32_t height, uint32_t* raster, int orientation,
                              int stop) {
  FORWARD(TIFFReadRGBAImageOriented)(tif, width, height, raster, orientation, stop);
}
int TIFFRGBAImageOK(TIFF* tif, char message[1024]) { FORWARD(TIFFRGBAImageOK)(tif, message); }
TIFFErrorHandler TIFFSetErrorHandler(TIFFErrorHandler handler) { FORWARD(TIFFSetErrorHandler)(handler); }
TIFFErrorHandler TIFFSetWarningHandler(TIFFErrorHandler handler) { FORWARD(TIFFSetWarningHandler)(handler); }

}  // extern "C"
