// The view's raster copies: the visible part converted from the rows at
// every depth and bit offset, and the reduced copies that keep thin ink visible.

#include <QPainter>
#include <QtTest>
#include <random>

#include "raster/raster.h"
#include "raster_image.h"

using namespace quillon;

class RasterImageTest : public QObject {
  Q_OBJECT

 private slots:
  void convertedPixelsMatchTheRasterAtEveryDepth() {
    std::mt19937 rng(7);
    for (int depth : {1, 4, 8, 16, 24, 32}) {
      raster::CRaster raster;
      QVERIFY(raster.create(37, 21, depth));
      for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x)
          raster.setColour(x, y, static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()));
      // Offsets that do not fall on a byte, rectangles reaching past the edge.
      for (const QRect& part : {QRect(0, 0, 37, 21), QRect(3, 2, 20, 10), QRect(13, 5, 40, 40)}) {
        const QImage image = ui::RasterImage::convertRect(raster, part.x(), part.y(), part.width(), part.height());
        const QRect clipped = part.intersected(QRect(0, 0, 37, 21));
        QCOMPARE(image.size(), clipped.size());
        for (int y = 0; y < image.height(); ++y) {
          for (int x = 0; x < image.width(); ++x) {
            uint8_t b = 0, g = 0, r = 0;
            raster.colourAt(clipped.x() + x, clipped.y() + y, b, g, r);
            const QRgb shown = image.pixel(x, y);
            if (depth == 16) {
              // 5 bits a channel: the low bits are filled by the conversion.
              QVERIFY(std::abs(qRed(shown) - r) < 8 && std::abs(qGreen(shown) - g) < 8 && std::abs(qBlue(shown) - b) < 8);
            } else {
              QCOMPARE(shown & 0xFFFFFF, qRgb(r, g, b) & 0xFFFFFF);
            }
          }
        }
      }
    }
  }

  void thinInkStaysVisibleFarOut() {
    // A one-pixel vertical line on a large white sheet, drawn at 1:16.
    raster::CRaster raster;
    QVERIFY(raster.create(1600, 800, 1));
    for (int y = 0; y < raster.height(); ++y) raster.setBit(803, y, true);
    ui::RasterImage image;
    QImage target(100, 50, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    image.draw(painter, raster, QRectF(0, 0, 1600, 800), QRectF(0, 0, 100, 50));
    painter.end();
    int darkest = 255;
    for (int x = 0; x < target.width(); ++x) darkest = std::min(darkest, qGray(target.pixel(x, 25)));
    QVERIFY2(darkest < 200, qPrintable(QString::number(darkest)));
    QCOMPARE(qGray(target.pixel(10, 25)), 255);
    QCOMPARE(qGray(target.pixel(90, 25)), 255);
  }
};

QTEST_MAIN(RasterImageTest)
#include "raster_image_test.moc"
