// Checks a screenshot of quillon-app against the raster it shows (any depth):
//   ui_screenshot_check SHOT.png RASTER
// SHOT.png.txt (written by the app) gives the view's place in the window and
// its mapping. The screenshot must not be blank, the raster's ink must show
// dark where the mapping puts it, and paper away from ink must show light.

#include <QImage>
#include <QFile>
#include <QTextStream>
#include <cstdio>

#include "raster/raster.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ui_screenshot_check SHOT.png RASTER\n");
    return 2;
  }
  const QString shotPath = QString::fromLocal8Bit(argv[1]);
  const QImage shot(shotPath);
  if (shot.isNull()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  QFile sidecar(shotPath + QStringLiteral(".txt"));
  if (!sidecar.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "no view description beside the screenshot\n");
    return 1;
  }
  QTextStream in(&sidecar);
  int vx = 0, vy = 0, vw = 0, vh = 0, clientHeight = 0;
  double xMin = 0, yMin = 0, upp = 1, x0 = 0, y0 = 0;
  in >> vx >> vy >> vw >> vh >> xMin >> yMin >> upp >> clientHeight >> x0 >> y0;
  quillon::raster::CRaster raster;
  if (!raster.load(argv[2])) {
    std::fprintf(stderr, "cannot read the raster %s\n", argv[2]);
    return 1;
  }
  // Ink: pixels darker than mid-grey, whatever the depth.
  const auto isInk = [&raster](int x, int y) {
    uint8_t b = 255, g = 255, r = 255;
    if (!raster.colourAt(x, y, b, g, r)) return false;
    return 0.299 * r + 0.587 * g + 0.114 * b < 128.0;
  };

  // Not blank: the window holds both dark and light pixels.
  int darkest = 255, lightest = 0;
  for (int y = 0; y < shot.height(); y += 2)
    for (int x = 0; x < shot.width(); x += 2) {
      const int g = qGray(shot.pixel(x, y));
      darkest = std::min(darkest, g);
      lightest = std::max(lightest, g);
    }
  if (lightest - darkest < 128) {
    std::fprintf(stderr, "the screenshot is blank (grey %d..%d)\n", darkest, lightest);
    return 1;
  }

  const auto screen = [&](int column, int row, int& sx, int& sy) {
    const double x = x0 + column, y = y0 + raster.height() - 1 - row;
    sx = vx + static_cast<int>((x - xMin) / upp);
    sy = vy + static_cast<int>(clientHeight - (y - yMin) / upp);
    return sx >= vx && sy >= vy && sx < vx + vw && sy < vy + vh && sx < shot.width() && sy < shot.height();
  };
  const auto inkNear = [&](int column, int row, int reach) {
    for (int y = row - reach; y <= row + reach; ++y)
      for (int x = column - reach; x <= column + reach; ++x)
        if (isInk(x, y)) return true;
    return false;
  };
  // One raster pixel per screen pixel at most is sampled; paper is taken
  // only where no ink lies within the pixels one screen pixel covers.
  const int reach = std::max(2, static_cast<int>(upp * 2 + 1));
  long ink = 0, darkInk = 0, paper = 0, lightPaper = 0;
  const int step = std::max(1, static_cast<int>(upp));
  for (int row = 0; row < raster.height(); row += step) {
    for (int column = 0; column < raster.width(); column += step) {
      int sx = 0, sy = 0;
      if (!screen(column, row, sx, sy)) continue;
      const int g = qGray(shot.pixel(sx, sy));
      if (isInk(column, row)) {
        ++ink;
        if (g < 200) ++darkInk;
      } else if (!inkNear(column, row, reach)) {
        ++paper;
        if (g > 200) ++lightPaper;
      }
    }
  }
  std::printf("ink samples %ld, dark %ld; paper samples %ld, light %ld\n", ink, darkInk, paper, lightPaper);
  if (ink < 100 || darkInk * 10 < ink * 8) {
    std::fprintf(stderr, "the raster's ink does not show where the raster is\n");
    return 1;
  }
  if (paper < 100 || lightPaper * 100 < paper * 95) {
    std::fprintf(stderr, "paper shows dark\n");
    return 1;
  }
  return 0;
}
