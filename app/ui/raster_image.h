#pragma once
// The document's raster as the view shows it. The raster itself is never
// copied whole: at 1:2 and closer the visible part is converted from the
// CRaster rows at each draw, and further out a pyramid of halved copies (built
// on first use) is drawn instead, so a zoomed-out A0 sheet costs as much as a
// screenful of pixels. 1-bit images keep their ink coverage per pyramid pixel
// and show thin lines darker than a plain average would, so line art stays
// readable when zoomed far out.

#include <QImage>
#include <QRectF>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace quillon::raster {
class CRaster;
}

namespace quillon::ui {

class RasterImage {
 public:
  // Forgets every cached copy; call after the raster changed.
  void reset();
  // Draws the raster part `source` (raster pixels, row 0 at the top, may
  // reach outside the image) into `target` (device pixels).
  void draw(QPainter& painter, const raster::CRaster& raster, const QRectF& source, const QRectF& target);
  // Every colour component drawn goes through the table (a preview of a
  // colour adjustment); the cached copies stay as they are.
  void setPreview(std::optional<std::array<uint8_t, 256>> table) { preview_ = std::move(table); }

  // The pixels of [x, x + w) × [y, y + h) at full resolution (clipped to the
  // image); exposed for tests.
  static QImage convertRect(const raster::CRaster& raster, int x, int y, int w, int h);

 private:
  struct Level {
    QImage image;  // Indexed8 coverage for 1-bit, Grayscale8 or RGB32 otherwise
    int factor = 1;
  };
  const Level& level(const raster::CRaster& raster, int index);
  Level halve(const Level& from) const;
  Level firstLevel(const raster::CRaster& raster) const;

  void applyPreview(QImage& image) const;

  std::vector<Level> levels_;
  std::optional<std::array<uint8_t, 256>> preview_;  // levels_[i] is reduced by 2^(i+1)
};

}  // namespace quillon::ui
