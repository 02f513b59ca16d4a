#include "raster_image.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "raster/raster.h"

namespace quillon::ui {
namespace {

// Pyramid levels stop once the image is this small: drawing it costs nothing.
constexpr int kSmallestLevel = 64;

// One raster row as 0xFFRRGGBB pixels (depths other than 1).
void RowToRgb32(const raster::CRaster& raster, int y, uint32_t* out) {
  const uint8_t* row = raster.row(y);
  const int w = raster.width();
  const uint8_t* palette = raster.palette();
  const auto fromPalette = [&](int index) {
    if (palette == nullptr || index >= raster.paletteSize()) return 0xFF000000u;
    const uint8_t* e = palette + 4 * index;
    return 0xFF000000u | (uint32_t{e[2]} << 16) | (uint32_t{e[1]} << 8) | e[0];
  };
  switch (raster.bitCount()) {
    case 4:
      for (int x = 0; x < w; ++x) out[x] = fromPalette((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
      break;
    case 8:
      for (int x = 0; x < w; ++x) out[x] = fromPalette(row[x]);
      break;
    case 24:
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = row + 3 * x;
        out[x] = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
      }
      break;
    case 32:
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = row + 4 * x;
        out[x] = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
      }
      break;
    default:
      for (int x = 0; x < w; ++x) {
        uint8_t b = 0, g = 0, r = 0;
        raster.colourAt(x, y, b, g, r);
        out[x] = 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
      }
  }
}

// Ink counts of the four bit pairs of a byte, most significant pair first.
constexpr std::array<uint32_t, 256> MakePairCounts() {
  std::array<uint32_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    uint32_t packed = 0;
    for (int pair = 0; pair < 4; ++pair) {
      const int bits = (b >> (6 - 2 * pair)) & 3;
      packed |= static_cast<uint32_t>((bits & 1) + (bits >> 1)) << (8 * pair);
    }
    table[static_cast<size_t>(b)] = packed;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kPairCounts = MakePairCounts();

// Coverage 0..255 shown as grey: thin lines are darkened by half the
// reduction factor so a one-pixel stroke stays at about half grey at every level.
QList<QRgb> CoverageTable(int factor) {
  QList<QRgb> table(256);
  const double gain = std::max(1.0, factor / 2.0);
  for (int i = 0; i < 256; ++i) {
    const int grey = 255 - std::min(255, static_cast<int>(std::lround(i * gain)));
    table[i] = qRgb(grey, grey, grey);
  }
  return table;
}

}  // namespace

void RasterImage::reset() { levels_.clear(); }

QImage RasterImage::convertRect(const raster::CRaster& raster, int x, int y, int w, int h) {
  const int x0 = std::clamp(x, 0, raster.width()), y0 = std::clamp(y, 0, raster.height());
  const int x1 = std::clamp(x + w, 0, raster.width()), y1 = std::clamp(y + h, 0, raster.height());
  if (raster.empty() || x1 <= x0 || y1 <= y0) return {};
  const int cw = x1 - x0, ch = y1 - y0;
  switch (raster.bitCount()) {
    case 1: {
      QImage image(cw, ch, QImage::Format_Mono);
      image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
      const int shift = x0 & 7;
      const int bytes = (cw + 7) / 8;
      for (int row = 0; row < ch; ++row) {
        const uint8_t* src = raster.row(y0 + row) + (x0 >> 3);
        uchar* dst = image.scanLine(row);
        if (shift == 0) {
          std::memcpy(dst, src, static_cast<size_t>(bytes));
        } else {
          const int available = raster.usedRowBytes() - (x0 >> 3);
          for (int i = 0; i < bytes; ++i) {
            const uint8_t next = i + 1 < available ? src[i + 1] : 0;
            dst[i] = static_cast<uchar>((src[i] << shift) | (next >> (8 - shift)));
          }
        }
      }
      return image;
    }
    case 24: {
      QImage image(cw, ch, QImage::Format_BGR888);
      for (int row = 0; row < ch; ++row)
        std::memcpy(image.scanLine(row), raster.row(y0 + row) + 3 * x0, static_cast<size_t>(3 * cw));
      // Format_BGR888 keeps blue first in memory, as the raster rows do.
      return image;
    }
    default: {
      QImage image(cw, ch, QImage::Format_RGB32);
      std::vector<uint32_t> line(static_cast<size_t>(raster.width()));
      for (int row = 0; row < ch; ++row) {
        RowToRgb32(raster, y0 + row, line.data());
        std::memcpy(image.scanLine(row), line.data() + x0, static_cast<size_t>(4 * cw));
      }
      return image;
    }
  }
}

RasterImage::Level RasterImage::firstLevel(const raster::CRaster& raster) const {
  const int w = raster.width(), h = raster.height();
  const int lw = (w + 1) / 2, lh = (h + 1) / 2;
  Level level;
  level.factor = 2;
  if (raster.bitCount() == 1) {
    level.image = QImage(lw, lh, QImage::Format_Indexed8);
    level.image.setColorTable(CoverageTable(2));
    const int bytes = raster.usedRowBytes();
    std::vector<uint8_t> counts(static_cast<size_t>(bytes) * 4 + 4);
    for (int ly = 0; ly < lh; ++ly) {
      std::fill(counts.begin(), counts.end(), 0);
      for (int dy = 0; dy < 2; ++dy) {
        const int y = 2 * ly + dy;
        if (y >= h) break;
        const uint8_t* row = raster.row(y);
        for (int i = 0; i < bytes; ++i) {
          const uint32_t packed = kPairCounts[row[i]];
          uint8_t* c = counts.data() + 4 * i;
          c[0] = static_cast<uint8_t>(c[0] + (packed & 0xFF));
          c[1] = static_cast<uint8_t>(c[1] + ((packed >> 8) & 0xFF));
          c[2] = static_cast<uint8_t>(c[2] + ((packed >> 16) & 0xFF));
          c[3] = static_cast<uint8_t>(c[3] + (packed >> 24));
        }
      }
      uchar* out = level.image.scanLine(ly);
      // Bits past the width are padding and may hold anything: the last
      // column is counted from its own pixels only.
      for (int lx = 0; lx < lw; ++lx) {
        int count = counts[static_cast<size_t>(lx)];
        if (2 * lx + 1 >= w) {
          count = 0;
          for (int dy = 0; dy < 2 && 2 * ly + dy < h; ++dy) count += raster.bitAt(2 * lx, 2 * ly + dy) ? 2 : 0;
        }
        out[lx] = static_cast<uchar>(count * 255 / 4);
      }
    }
    return level;
  }
  level.image = QImage(lw, lh, QImage::Format_RGB32);
  std::vector<uint32_t> a(static_cast<size_t>(w) + 1), b(static_cast<size_t>(w) + 1);
  for (int ly = 0; ly < lh; ++ly) {
    RowToRgb32(raster, 2 * ly, a.data());
    if (2 * ly + 1 < h) RowToRgb32(raster, 2 * ly + 1, b.data()); else std::copy(a.begin(), a.end(), b.begin());
    a[static_cast<size_t>(w)] = a[static_cast<size_t>(w) - 1];
    b[static_cast<size_t>(w)] = b[static_cast<size_t>(w) - 1];
    auto* out = reinterpret_cast<uint32_t*>(level.image.scanLine(ly));
    for (int lx = 0; lx < lw; ++lx) {
      const size_t i = static_cast<size_t>(2 * lx);
      const uint32_t p[4] = {a[i], a[i + 1], b[i], b[i + 1]};
      uint32_t r = 0, g = 0, bl = 0;
      for (uint32_t v : p) { r += (v >> 16) & 0xFF; g += (v >> 8) & 0xFF; bl += v & 0xFF; }
      out[lx] = 0xFF000000u | ((r / 4) << 16) | ((g / 4) << 8) | (bl / 4);
    }
  }
  return level;
}

RasterImage::Level RasterImage::halve(const Level& from) const {
  const QImage& src = from.image;
  const int w = src.width(), h = src.height();
  const int lw = (w + 1) / 2, lh = (h + 1) / 2;
  Level level;
  level.factor = from.factor * 2;
  level.image = QImage(lw, lh, src.format());
  const bool indexed = src.format() == QImage::Format_Indexed8;
  if (indexed) level.image.setColorTable(CoverageTable(level.factor));
  for (int ly = 0; ly < lh; ++ly) {
    const int y0 = 2 * ly, y1 = std::min(2 * ly + 1, h - 1);
    if (indexed) {
      const uchar* a = src.constScanLine(y0);
      const uchar* b = src.constScanLine(y1);
      uchar* out = level.image.scanLine(ly);
      for (int lx = 0; lx < lw; ++lx) {
        const int x0 = 2 * lx, x1 = std::min(2 * lx + 1, w - 1);
        out[lx] = static_cast<uchar>((a[x0] + a[x1] + b[x0] + b[x1] + 2) / 4);
      }
    } else {
      const auto* a = reinterpret_cast<const uint32_t*>(src.constScanLine(y0));
      const auto* b = reinterpret_cast<const uint32_t*>(src.constScanLine(y1));
      auto* out = reinterpret_cast<uint32_t*>(level.image.scanLine(ly));
      for (int lx = 0; lx < lw; ++lx) {
        const int x0 = 2 * lx, x1 = std::min(2 * lx + 1, w - 1);
        const uint32_t p[4] = {a[x0], a[x1], b[x0], b[x1]};
        uint32_t r = 0, g = 0, bl = 0;
        for (uint32_t v : p) { r += (v >> 16) & 0xFF; g += (v >> 8) & 0xFF; bl += v & 0xFF; }
        out[lx] = 0xFF000000u | ((r / 4) << 16) | ((g / 4) << 8) | (bl / 4);
      }
    }
  }
  return level;
}

const RasterImage::Level& RasterImage::level(const raster::CRaster& raster, int index) {
  if (levels_.empty()) levels_.push_back(firstLevel(raster));
  while (static_cast<int>(levels_.size()) <= index) {
    const Level& last = levels_.back();
    if (last.image.width() <= kSmallestLevel || last.image.height() <= kSmallestLevel) break;
    levels_.push_back(halve(last));
  }
  return levels_[static_cast<size_t>(std::min<int>(index, static_cast<int>(levels_.size()) - 1))];
}

void RasterImage::applyPreview(QImage& image) const {
  if (!preview_) return;
  const std::array<uint8_t, 256>& t = *preview_;
  const QImage::Format format = image.format();
  if (format != QImage::Format_Grayscale8 && format != QImage::Format_Indexed8 && format != QImage::Format_Mono &&
      format != QImage::Format_RGB32)
    image = image.convertToFormat(QImage::Format_RGB32);
  if (image.format() == QImage::Format_Grayscale8) {
    for (int y = 0; y < image.height(); ++y) {
      uint8_t* line = image.scanLine(y);
      for (int x = 0; x < image.width(); ++x) line[x] = t[line[x]];
    }
  } else if (image.format() == QImage::Format_RGB32) {
    for (int y = 0; y < image.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x)
        line[x] = qRgb(t[qRed(line[x])], t[qGreen(line[x])], t[qBlue(line[x])]);
    }
  } else {
    QList<QRgb> colours = image.colorTable();
    for (QRgb& c : colours) c = qRgb(t[qRed(c)], t[qGreen(c)], t[qBlue(c)]);
    image.setColorTable(colours);
  }
}

void RasterImage::draw(QPainter& painter, const raster::CRaster& raster, const QRectF& source, const QRectF& target) {
  if (raster.empty() || source.width() <= 0 || source.height() <= 0) return;
  const QRectF visible = source.intersected(QRectF(0, 0, raster.width(), raster.height()));
  if (visible.isEmpty()) return;
  const double scale = target.width() / source.width();
  const auto targetOf = [&](const QRectF& part) {
    return QRectF(target.x() + (part.x() - source.x()) * scale, target.y() + (part.y() - source.y()) * scale,
                  part.width() * scale, part.height() * scale);
  };
  painter.save();
  if (scale >= 0.5) {
    // Whole pixels around the visible part; zoomed in they show as squares.
    const int x0 = static_cast<int>(std::floor(visible.left())), y0 = static_cast<int>(std::floor(visible.top()));
    const int x1 = static_cast<int>(std::ceil(visible.right())), y1 = static_cast<int>(std::ceil(visible.bottom()));
    QImage part = convertRect(raster, x0, y0, x1 - x0, y1 - y0);
    applyPreview(part);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1.0);
    painter.drawImage(targetOf(QRectF(x0, y0, x1 - x0, y1 - y0)), part);
  } else {
    const int wanted = std::max(0, static_cast<int>(std::floor(std::log2(1.0 / scale))) - 1);
    const Level& reduced = level(raster, wanted);
    const double f = reduced.factor;
    const QRectF inLevel(visible.x() / f, visible.y() / f, visible.width() / f, visible.height() / f);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (preview_) {
      QImage part = reduced.image.copy(inLevel.toAlignedRect());
      applyPreview(part);
      painter.drawImage(targetOf(visible), part, inLevel.translated(-inLevel.toAlignedRect().topLeft()));
    } else {
      painter.drawImage(targetOf(visible), reduced.image, inLevel);
    }
  }
  painter.restore();
}

}  // namespace quillon::ui
