// FreeImage, opened when the program first needs it instead of linked: the
// library and the two dozen codec libraries it pulls in (OpenEXR, LibRaw,
// JPEG XR, WebP ...) cost the dynamic loader about 12 ms of CPU at every
// start, twice for a program that starts itself again with the huge-page heap
// (see platform::RestartWithHugePageHeap) and a command such as `quillon
// version` that never touches a raster. The functions the program calls are
// defined here with FreeImage's own declarations and pass each call on to the
// library, whose entry points are looked up once each.
#include <FreeImage.h>

#include "platform/shared_library.h"

namespace {

void* Symbol(const char* name) {
  static quillon::platform::SharedLibrary library({QUILLON_FREEIMAGE_LIBRARY}, "FreeImage");
  return library.symbol(name);
}

}  // namespace

// The library's function of the same name, looked up on the first call.
#define FORWARD(name)                                                    \
  static const auto real = reinterpret_cast<decltype(&name)>(Symbol(#name)); \
  return real

extern "C" {

FIBITMAP* DLL_CALLCONV FreeImage_Allocate(int width, int height, int bpp, unsigned red_mask, unsigned green_mask,
                                          unsigned blue_mask) {
  FORWARD(FreeImage_Allocate)(width, height, bpp, red_mask, green_mask, blue_mask);
}

FIBITMAP* DLL_CALLCONV FreeImage_Clone(FIBITMAP* dib) {
  FORWARD(FreeImage_Clone)(dib);
}

BOOL DLL_CALLCONV FreeImage_CloseMultiBitmap(FIMULTIBITMAP* bitmap, int flags) {
  FORWARD(FreeImage_CloseMultiBitmap)(bitmap, flags);
}

FIBITMAP* DLL_CALLCONV FreeImage_ConvertTo24Bits(FIBITMAP* dib) {
  FORWARD(FreeImage_ConvertTo24Bits)(dib);
}

FIBITMAP* DLL_CALLCONV FreeImage_ConvertTo32Bits(FIBITMAP* dib) {
  FORWARD(FreeImage_ConvertTo32Bits)(dib);
}

FIBITMAP* DLL_CALLCONV FreeImage_ConvertTo8Bits(FIBITMAP* dib) {
  FORWARD(FreeImage_ConvertTo8Bits)(dib);
}

FIBITMAP* DLL_CALLCONV FreeImage_ConvertToStandardType(FIBITMAP* src, BOOL scale_linear) {
  FORWARD(FreeImage_ConvertToStandardType)(src, scale_linear);
}

FIBITMAP* DLL_CALLCONV FreeImage_Copy(FIBITMAP* dib, int left, int top, int right, int bottom) {
  FORWARD(FreeImage_Copy)(dib, left, top, right, bottom);
}

BOOL DLL_CALLCONV FreeImage_FIFSupportsNoPixels(FREE_IMAGE_FORMAT fif) {
  FORWARD(FreeImage_FIFSupportsNoPixels)(fif);
}

BOOL DLL_CALLCONV FreeImage_FlipHorizontal(FIBITMAP* dib) {
  FORWARD(FreeImage_FlipHorizontal)(dib);
}

BOOL DLL_CALLCONV FreeImage_FlipVertical(FIBITMAP* dib) {
  FORWARD(FreeImage_FlipVertical)(dib);
}

unsigned DLL_CALLCONV FreeImage_GetBPP(FIBITMAP* dib) {
  FORWARD(FreeImage_GetBPP)(dib);
}

unsigned DLL_CALLCONV FreeImage_GetBlueMask(FIBITMAP* dib) {
  FORWARD(FreeImage_GetBlueMask)(dib);
}

unsigned DLL_CALLCONV FreeImage_GetColorsUsed(FIBITMAP* dib) {
  FORWARD(FreeImage_GetColorsUsed)(dib);
}

unsigned DLL_CALLCONV FreeImage_GetDotsPerMeterX(FIBITMAP* dib) {
  FORWARD(FreeImage_GetDotsPerMeterX)(dib);
}

unsigned DLL_CALLCONV FreeImage_GetDotsPerMeterY(FIBITMAP* dib) {
  FORWARD(FreeImage_GetDotsPerMeterY)(dib);
}

const char* DLL_CALLCONV FreeImage_GetFormatFromFIF(FREE_IMAGE_FORMAT fif) {
  FORWARD(FreeImage_GetFormatFromFIF)(fif);
}

unsigned DLL_CALLCONV FreeImage_GetGreenMask(FIBITMAP* dib) {
  FORWARD(FreeImage_GetGreenMask)(dib);
}

unsigned DLL_CALLCONV FreeImage_GetHeight(FIBITMAP* dib) {
  FORWARD(FreeImage_GetHeight)(dib);
}

FREE_IMAGE_TYPE DLL_CALLCONV FreeImage_GetImageType(FIBITMAP* dib) {
  FORWARD(FreeImage_GetImageType)(dib);
}

int DLL_CALLCONV FreeImage_GetPageCount(FIMULTIBITMAP* bitmap) {
  FORWARD(FreeImage_GetPageCount)(bitmap);
}

RGBQUAD* DLL_CALLCONV FreeImage_GetPalette(FIBITMAP* dib) {
  FORWARD(FreeImage_GetPalette)(dib);
}

unsigned DLL_CALLCONV FreeImage_GetPitch(FIBITMAP* dib) {
  FORWARD(FreeImage_GetPitch)(dib);
}

unsigned DLL_CALLCONV FreeImage_GetRedMask(FIBITMAP* dib) {
  FORWARD(FreeImage_GetRedMask)(dib);
}

BYTE* DLL_CALLCONV FreeImage_GetScanLine(FIBITMAP* dib, int scanline) {
  FORWARD(FreeImage_GetScanLine)(dib, scanline);
}

unsigned DLL_CALLCONV FreeImage_GetTransparencyCount(FIBITMAP* dib) {
  FORWARD(FreeImage_GetTransparencyCount)(dib);
}

BYTE* DLL_CALLCONV FreeImage_GetTransparencyTable(FIBITMAP* dib) {
  FORWARD(FreeImage_GetTransparencyTable)(dib);
}

unsigned DLL_CALLCONV FreeImage_GetWidth(FIBITMAP* dib) {
  FORWARD(FreeImage_GetWidth)(dib);
}

BOOL DLL_CALLCONV FreeImage_HasPixels(FIBITMAP* dib) {
  FORWARD(FreeImage_HasPixels)(dib);
}

void DLL_CALLCONV FreeImage_Initialise(BOOL load_local_plugins_only) {
  FORWARD(FreeImage_Initialise)(load_local_plugins_only);
}

BOOL DLL_CALLCONV FreeImage_Invert(FIBITMAP* dib) {
  FORWARD(FreeImage_Invert)(dib);
}

BOOL DLL_CALLCONV FreeImage_IsTransparent(FIBITMAP* dib) {
  FORWARD(FreeImage_IsTransparent)(dib);
}

FIBITMAP* DLL_CALLCONV FreeImage_LoadFromHandle(FREE_IMAGE_FORMAT fif, FreeImageIO* io, fi_handle handle, int flags) {
  FORWARD(FreeImage_LoadFromHandle)(fif, io, handle, flags);
}

FIBITMAP* DLL_CALLCONV FreeImage_LockPage(FIMULTIBITMAP* bitmap, int page) {
  FORWARD(FreeImage_LockPage)(bitmap, page);
}

FIMULTIBITMAP* DLL_CALLCONV FreeImage_OpenMultiBitmap(FREE_IMAGE_FORMAT fif, const char* filename, BOOL create_new,
                                                      BOOL read_only, BOOL keep_cache_in_memory, int flags) {
  FORWARD(FreeImage_OpenMultiBitmap)(fif, filename, create_new, read_only, keep_cache_in_memory, flags);
}

FIBITMAP* DLL_CALLCONV FreeImage_Rotate(FIBITMAP* dib, double angle, const void* bkcolor) {
  FORWARD(FreeImage_Rotate)(dib, angle, bkcolor);
}

BOOL DLL_CALLCONV FreeImage_SaveToHandle(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, FreeImageIO* io, fi_handle handle,
                                         int flags) {
  FORWARD(FreeImage_SaveToHandle)(fif, dib, io, handle, flags);
}

void DLL_CALLCONV FreeImage_SetDotsPerMeterX(FIBITMAP* dib, unsigned res) {
  FORWARD(FreeImage_SetDotsPerMeterX)(dib, res);
}

void DLL_CALLCONV FreeImage_SetDotsPerMeterY(FIBITMAP* dib, unsigned res) {
  FORWARD(FreeImage_SetDotsPerMeterY)(dib, res);
}

void DLL_CALLCONV FreeImage_SetOutputMessage(FreeImage_OutputMessageFunction omf) {
  FORWARD(FreeImage_SetOutputMessage)(omf);
}

void DLL_CALLCONV FreeImage_SetTransparent(FIBITMAP* dib, BOOL enabled) {
  FORWARD(FreeImage_SetTransparent)(dib, enabled);
}

void DLL_CALLCONV FreeImage_Unload(FIBITMAP* dib) {
  FORWARD(FreeImage_Unload)(dib);
}

void DLL_CALLCONV FreeImage_UnlockPage(FIMULTIBITMAP* bitmap, FIBITMAP* data, BOOL changed) {
  FORWARD(FreeImage_UnlockPage)(bitmap, data, changed);
}

BOOL DLL_CALLCONV FreeImage_ValidateFromHandle(FREE_IMAGE_FORMAT fif, FreeImageIO* io, fi_handle handle) {
  FORWARD(FreeImage_ValidateFromHandle)(fif, io, handle);
}

}  // extern "C"
