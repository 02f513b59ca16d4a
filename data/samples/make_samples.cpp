// Writes the small sample rasters of data/samples (run from the repository root):
//   g++ -std=c++20 -O2 data/samples/make_samples.cpp -lfreeimage -o /tmp/make_samples && /tmp/make_samples data/samples
// Every picture is drawn here, so the samples carry no third-party content.
#include <FreeImage.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A grey picture (0 black .. 255 white) drawn with simple strokes.
struct Canvas {
  int width, height;
  std::vector<uint8_t> grey;
  Canvas(int w, int h) : width(w), height(h), grey(static_cast<size_t>(w) * h, 255) {}
  void dot(int x, int y, uint8_t v) {
    if (x >= 0 && y >= 0 && x < width && y < height) grey[static_cast<size_t>(y) * width + x] = v;
  }
  void disc(double cx, double cy, double r, uint8_t v) {
    for (int y = static_cast<int>(cy - r); y <= static_cast<int>(cy + r) + 1; ++y)
      for (int x = static_cast<int>(cx - r); x <= static_cast<int>(cx + r) + 1; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) dot(x, y, v);
  }
  // A stroke of the given width from (x0, y0) to (x1, y1).
  void line(double x0, double y0, double x1, double y1, double width, uint8_t v = 0) {
    const double length = std::hypot(x1 - x0, y1 - y0);
    const int steps = static_cast<int>(length * 2) + 1;
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      disc(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, width / 2, v);
    }
  }
  void circle(double cx, double cy, double r, double width, uint8_t v = 0) {
    const int steps = static_cast<int>(r * 8) + 16;
    for (int i = 0; i < steps; ++i) {
      const double a = 2 * M_PI * i / steps;
      disc(cx + r * std::cos(a), cy + r * std::sin(a), width / 2, v);
    }
  }
  void arc(double cx, double cy, double r, double a0, double a1, double width, uint8_t v = 0) {
    const int steps = static_cast<int>(r * 8) + 16;
    for (int i = 0; i <= steps; ++i) {
      const double a = a0 + (a1 - a0) * i / steps;
      disc(cx + r * std::cos(a), cy - r * std::sin(a), width / 2, v);
    }
  }
  uint8_t at(int x, int y) const { return grey[static_cast<size_t>(y) * width + x]; }
};

FIBITMAP* ToGrey8(const Canvas& c) {
  FIBITMAP* b = FreeImage_Allocate(c.width, c.height, 8);
  RGBQUAD* pal = FreeImage_GetPalette(b);
  for (int i = 0; i < 256; ++i) pal[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
  for (int y = 0; y < c.height; ++y) {
    BYTE* row = FreeImage_GetScanLine(b, c.height - 1 - y);
    for (int x = 0; x < c.width; ++x) row[x] = c.at(x, y);
  }
  return b;
}

// 1-bit; blackFirst selects the palette (black, white) with ink as 0 bits,
// otherwise (white, black) with ink as 1 bits.
FIBITMAP* ToOneBit(const Canvas& c, bool blackFirst) {
  FIBITMAP* b = FreeImage_Allocate(c.width, c.height, 1);
  RGBQUAD* pal = FreeImage_GetPalette(b);
  const RGBQUAD white{255, 255, 255, 0}, black{0, 0, 0, 0};
  pal[0] = blackFirst ? black : white;
  pal[1] = blackFirst ? white : black;
  for (int y = 0; y < c.height; ++y) {
    BYTE* row = FreeImage_GetScanLine(b, c.height - 1 - y);
    for (int x = 0; x < c.width; ++x) {
      const bool ink = c.at(x, y) < 128;
      if (ink != blackFirst) row[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
    }
  }
  return b;
}

// 24-bit: the grey picture tinted blue-ish on a cream paper.
FIBITMAP* ToColour24(const Canvas& c) {
  FIBITMAP* b = FreeImage_Allocate(c.width, c.height, 24);
  for (int y = 0; y < c.height; ++y) {
    BYTE* row = FreeImage_GetScanLine(b, c.height - 1 - y);
    for (int x = 0; x < c.width; ++x) {
      const int v = c.at(x, y);
      row[3 * x + FI_RGBA_BLUE] = static_cast<BYTE>(std::min(255, v * 230 / 255 + 20));
      row[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(v * 245 / 255);
      row[3 * x + FI_RGBA_RED] = static_cast<BYTE>(v * 250 / 255);
    }
  }
  return b;
}

Canvas SmallDrawing(int w, int h, int variant) {
  Canvas c(w, h);
  c.line(4, 4, w - 5, 4, 2);
  c.line(4, 4, 4, h - 5, 2);
  c.line(6, h - 6, w - 6, 8 + variant * 3, 3);
  c.circle(w * 0.6, h * 0.6, std::min(w, h) * 0.22, 2);
  return c;
}

// The demo sheet: a frame, a title block, straight lines of several widths, a
// circle, arcs and strokes that look like hand lettering.
Canvas Sheet() {
  Canvas c(800, 600);
  c.line(20, 20, 779, 20, 4);
  c.line(779, 20, 779, 579, 4);
  c.line(779, 579, 20, 579, 4);
  c.line(20, 579, 20, 20, 4);
  c.line(520, 500, 779, 500, 3);
  c.line(520, 500, 520, 579, 3);
  c.line(520, 540, 779, 540, 2);
  c.line(80, 120, 420, 120, 3);
  c.line(80, 120, 80, 420, 3);
  c.line(80, 420, 420, 420, 5);
  c.line(420, 420, 420, 120, 3);
  c.line(80, 120, 420, 420, 2);
  c.line(120, 460, 460, 80, 2);
  c.circle(600, 250, 110, 4);
  c.circle(600, 250, 40, 2);
  c.arc(250, 270, 90, 0.3, 2.6, 3);
  c.line(600, 100, 600, 400, 1.5);
  c.line(450, 250, 750, 250, 1.5);
  // Lettering-like strokes in the title block: "Q", "U", "I", "L" shapes.
  const double base = 570, top = 548;
  double x = 540;
  c.circle(x + 8, (base + top) / 2, 10, 2);
  c.line(x + 12, base - 6, x + 20, base + 2, 2);
  x += 32;
  c.line(x, top, x, base - 6, 2);
  c.arc(x + 8, base - 6, 8, M_PI, 2 * M_PI, 2);
  c.line(x + 16, base - 6, x + 16, top, 2);
  x += 30;
  c.line(x, top, x, base, 2);
  x += 14;
  c.line(x, top, x, base, 2);
  c.line(x, base, x + 14, base, 2);
  x += 26;
  for (int i = 0; i < 5; ++i) c.line(x + i * 22, base, x + i * 22 + 10, top + (i % 2) * 8, 2);
  return c;
}

bool Save(FREE_IMAGE_FORMAT fif, FIBITMAP* b, const std::string& path, int flags = 0) {
  FreeImage_SetDotsPerMeterX(b, 11811);  // 300 dpi
  FreeImage_SetDotsPerMeterY(b, 11811);
  const bool ok = FreeImage_Save(fif, b, path.c_str(), flags);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  return ok;
}

// A 256-colour PCX (version 5, one plane, RLE) with a grey palette at the end;
// FreeImage reads PCX but does not write it.
bool WritePcx(const Canvas& c, const std::string& path) {
  std::vector<uint8_t> out(128, 0);
  const int bytesPerLine = (c.width + 1) & ~1;
  out[0] = 10;  // manufacturer
  out[1] = 5;   // version
  out[2] = 1;   // RLE
  out[3] = 8;   // bits per pixel per plane
  auto put16 = [&](size_t at, int v) {
    out[at] = static_cast<uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  put16(8, c.width - 1);
  put16(10, c.height - 1);
  put16(12, 300);
  put16(14, 300);
  out[65] = 1;  // planes
  put16(66, bytesPerLine);
  put16(68, 2);  // greyscale palette
  for (int y = 0; y < c.height; ++y) {
    std::vector<uint8_t> line(static_cast<size_t>(bytesPerLine), 255);
    for (int x = 0; x < c.width; ++x) line[static_cast<size_t>(x)] = c.at(x, y);
    for (size_t i = 0; i < line.size();) {
      size_t run = 1;
      while (i + run < line.size() && run < 63 && line[i + run] == line[i]) ++run;
      if (run > 1 || line[i] >= 0xC0) {
        out.push_back(static_cast<uint8_t>(0xC0 | run));
      }
      out.push_back(line[i]);
      i += run;
    }
  }
  out.push_back(12);
  for (int i = 0; i < 256; ++i) out.insert(out.end(), 3, static_cast<uint8_t>(i));
  std::FILE* f = std::fopen(path.c_str(), "wb");
  const bool ok = f && std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (f) std::fclose(f);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "data/samples";
  bool ok = true;
  const Canvas small = SmallDrawing(64, 48, 0);

  FIBITMAP* b = ToOneBit(small, true);
  ok &= Save(FIF_BMP, b, dir + "/lines_1bit.bmp");
  FreeImage_Unload(b);

  b = ToGrey8(small);
  ok &= Save(FIF_BMP, b, dir + "/grey_8bit.bmp");
  FreeImage_Unload(b);

  b = ToColour24(small);
  ok &= Save(FIF_JPEG, b, dir + "/colour_24bit.jpg", JPEG_QUALITYGOOD);
  ok &= Save(FIF_TARGA, b, dir + "/colour_24bit.tga", TARGA_SAVE_RLE);
  FreeImage_Unload(b);

  ok &= WritePcx(small, dir + "/grey_8bit.pcx");

  // Three pages of different sizes and depths.
  const std::string pagesPath = dir + "/pages_3.tif";
  std::remove(pagesPath.c_str());
  FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_TIFF, pagesPath.c_str(), TRUE, FALSE, TRUE, 0);
  if (multi) {
    FIBITMAP* pages[3] = {ToOneBit(SmallDrawing(40, 30, 1), false), ToGrey8(SmallDrawing(50, 20, 2)),
                          ToColour24(SmallDrawing(30, 36, 3))};
    for (FIBITMAP* page : pages) {
      FreeImage_SetDotsPerMeterX(page, 7874);
      FreeImage_SetDotsPerMeterY(page, 7874);
      FreeImage_AppendPage(multi, page);
      FreeImage_Unload(page);
    }
    ok &= FreeImage_CloseMultiBitmap(multi, TIFF_LZW) != FALSE;
    std::printf("wrote %s\n", pagesPath.c_str());
  } else {
    ok = false;
  }

  // The sheet is grey like a scan: light paper, dark ink.
  Canvas sheet = Sheet();
  for (uint8_t& v : sheet.grey) v = static_cast<uint8_t>(20 + v * 220 / 255);
  b = ToGrey8(sheet);
  ok &= Save(FIF_TIFF, b, dir + "/sheet.tif", TIFF_LZW);
  FreeImage_Unload(b);
  return ok ? 0 : 1;
}
