#include "icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <functional>
#include <map>
#include <string>

namespace quillon::ui {
namespace {

// Every icon is drawn on a 24-unit square and rendered at these sizes.
constexpr int kSizes[] = {16, 24, 32, 48};

const QColor kInk(0x3A, 0x3F, 0x44);
const QColor kAccent(0x1C, 0x71, 0xD8);
const QColor kPaper(0xFA, 0xFA, 0xFA);
const QColor kWarm(0xE0, 0x1B, 0x24);

using Painter = std::function<void(QPainter&)>;

QPen Stroke(const QColor& colour, double width = 1.8) {
  return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Dot(QPainter& p, double x, double y, const QColor& colour = kAccent) {
  p.save();
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawEllipse(QPointF(x, y), 2.0, 2.0);
  p.restore();
}

void Sheet(QPainter& p) {
  QPainterPath page;
  page.moveTo(5, 2.5);
  page.lineTo(14.5, 2.5);
  page.lineTo(19, 7);
  page.lineTo(19, 21.5);
  page.lineTo(5, 21.5);
  page.closeSubpath();
  p.setPen(Stroke(kInk, 1.4));
  p.setBrush(kPaper);
  p.drawPath(page);
  p.drawLine(QPointF(14.5, 2.5), QPointF(14.5, 7));
  p.drawLine(QPointF(14.5, 7), QPointF(19, 7));
}

void Magnifier(QPainter& p) {
  p.setPen(Stroke(kInk, 2.0));
  p.setBrush(kPaper);
  p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
  p.drawLine(QPointF(15, 15), QPointF(21, 21));
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
  p.setPen(Stroke(colour, 2.0));
  p.drawLine(from, to);
  const double a = std::atan2(to.y() - from.y(), to.x() - from.x());
  const QPointF l(to.x() - 5 * std::cos(a - 0.5), to.y() - 5 * std::sin(a - 0.5));
  const QPointF r(to.x() - 5 * std::cos(a + 0.5), to.y() - 5 * std::sin(a + 0.5));
  p.drawLine(to, l);
  p.drawLine(to, r);
}

void Curl(QPainter& p, bool back) {
  QPainterPath path;
  if (back) {
    path.moveTo(19, 18);
    path.cubicTo(19, 8, 12, 7, 6, 10);
  } else {
    path.moveTo(5, 18);
    path.cubicTo(5, 8, 12, 7, 18, 10);
  }
  p.setPen(Stroke(kAccent, 2.2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
  const QPointF tip = back ? QPointF(6, 10) : QPointF(18, 10);
  const double dir = back ? -1 : 1;
  p.drawLine(tip, QPointF(tip.x() + dir * -1.5, tip.y() - 5));
  p.drawLine(tip, QPointF(tip.x() + dir * -5, tip.y() + 2.5));
}

const std::map<std::string, Painter, std::less<>>& Painters() {
  static const std::map<std::string, Painter, std::less<>> painters = {
      {"open",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.4));
         p.setBrush(QColor(0xF6, 0xD3, 0x2D));
         p.drawRect(QRectF(2.5, 6.5, 19, 14));
         p.setBrush(QColor(0xF9, 0xE5, 0x8A));
         QPolygonF front;
         front << QPointF(5, 10.5) << QPointF(23, 10.5) << QPointF(20.5, 20.5) << QPointF(2.5, 20.5);
         p.drawPolygon(front);
       }},
      {"openvector",
       [](QPainter& p) {
         Sheet(p);
         p.setPen(Stroke(kAccent, 1.6));
         p.drawLine(QPointF(7.5, 18), QPointF(12, 10));
         p.drawLine(QPointF(12, 10), QPointF(16.5, 16));
         Dot(p, 7.5, 18);
         Dot(p, 12, 10);
         Dot(p, 16.5, 16);
       }},
      {"save",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.4));
         p.setBrush(kAccent);
         p.drawRoundedRect(QRectF(3, 3, 18, 18), 2, 2);
         p.setBrush(kPaper);
         p.drawRect(QRectF(7, 3, 10, 6.5));
         p.drawRect(QRectF(6, 13, 12, 8));
       }},
      {"saveraster",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.4));
         p.setBrush(QColor(0x33, 0xD1, 0x7A));
         p.drawRoundedRect(QRectF(3, 3, 18, 18), 2, 2);
         p.setBrush(kPaper);
         p.drawRect(QRectF(7, 3, 10, 6.5));
         p.drawRect(QRectF(6, 13, 12, 8));
       }},
      {"undo", [](QPainter& p) { Curl(p, true); }},
      {"redo", [](QPainter& p) { Curl(p, false); }},
      {"delete",
       [](QPainter& p) {
         p.setPen(Stroke(kWarm, 2.6));
         p.drawLine(QPointF(6, 6), QPointF(18, 18));
         p.drawLine(QPointF(18, 6), QPointF(6, 18));
       }},
      {"select",
       [](QPainter& p) {
         p.setPen(QPen(kInk, 1.2, Qt::DashLine));
         p.setBrush(Qt::NoBrush);
         p.drawRect(QRectF(2.5, 2.5, 15, 12));
         QPolygonF cursor;
         cursor << QPointF(11, 9) << QPointF(11, 22) << QPointF(14.5, 18.5) << QPointF(17, 23)
                << QPointF(19, 22) << QPointF(16.8, 17.5) << QPointF(21, 17.5);
         p.setPen(Stroke(kInk, 1.2));
         p.setBrush(Qt::white);
         p.drawPolygon(cursor);
       }},
      {"selectall",
       [](QPainter& p) {
         p.setPen(QPen(kAccent, 1.4, Qt::DashLine));
         p.setBrush(QColor(0x1C, 0x71, 0xD8, 40));
         p.drawRect(QRectF(2.5, 2.5, 19, 19));
         p.setPen(Stroke(kInk, 1.6));
         p.drawLine(QPointF(6, 17), QPointF(11, 7));
         p.drawLine(QPointF(11, 7), QPointF(18, 15));
       }},
      {"line",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 2.0));
         p.drawLine(QPointF(4, 20), QPointF(20, 4));
         Dot(p, 4, 20);
         Dot(p, 20, 4);
       }},
      {"polyline",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 2.0));
         QPolygonF chain;
         chain << QPointF(3, 19) << QPointF(8, 6) << QPointF(15, 17) << QPointF(21, 5);
         p.drawPolyline(chain);
         for (const QPointF& v : chain) Dot(p, v.x(), v.y());
       }},
      {"arc3p",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 2.0));
         p.drawArc(QRectF(3, 5, 18, 26), 20 * 16, 140 * 16);
         Dot(p, 4.5, 14);
         Dot(p, 12, 5);
         Dot(p, 19.5, 14);
       }},
      {"arccse",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 2.0));
         p.drawArc(QRectF(3, 3, 18, 18), 0, 180 * 16);
         p.setPen(QPen(kInk, 1.0, Qt::DotLine));
         p.drawLine(QPointF(12, 12), QPointF(21, 12));
         p.drawLine(QPointF(12, 12), QPointF(3, 12));
         Dot(p, 12, 12, kWarm);
         Dot(p, 21, 12);
         Dot(p, 3, 12);
       }},
      {"circlecr",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 2.0));
         p.drawEllipse(QPointF(12, 12), 9, 9);
         p.setPen(QPen(kInk, 1.0, Qt::DotLine));
         p.drawLine(QPointF(12, 12), QPointF(18.4, 5.6));
         Dot(p, 12, 12, kWarm);
       }},
      {"circle3p",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 2.0));
         p.drawEllipse(QPointF(12, 12), 9, 9);
         Dot(p, 3, 12);
         Dot(p, 18.4, 5.6);
         Dot(p, 15, 20.5);
       }},
      {"solid",
       [](QPainter& p) {
         QPolygonF tri;
         tri << QPointF(3, 20) << QPointF(12, 4) << QPointF(21, 20);
         p.setPen(Stroke(kInk, 1.6));
         p.setBrush(QColor(0x62, 0xA0, 0xEA));
         p.drawPolygon(tri);
       }},
      {"zoomin",
       [](QPainter& p) {
         Magnifier(p);
         p.setPen(Stroke(kAccent, 2.0));
         p.drawLine(QPointF(7, 10), QPointF(13, 10));
         p.drawLine(QPointF(10, 7), QPointF(10, 13));
       }},
      {"zoomout",
       [](QPainter& p) {
         Magnifier(p);
         p.setPen(Stroke(kAccent, 2.0));
         p.drawLine(QPointF(7, 10), QPointF(13, 10));
       }},
      {"zoomwindow",
       [](QPainter& p) {
         Magnifier(p);
         p.setPen(QPen(kAccent, 1.2, Qt::DashLine));
         p.drawRect(QRectF(7, 7, 6, 6));
       }},
      {"zoomprevious",
       [](QPainter& p) {
         Magnifier(p);
         p.setPen(Stroke(kAccent, 1.8));
         p.drawLine(QPointF(7, 10), QPointF(13, 10));
         p.drawLine(QPointF(7, 10), QPointF(9.5, 7.5));
         p.drawLine(QPointF(7, 10), QPointF(9.5, 12.5));
       }},
      {"zoomfit",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.8));
         for (int i = 0; i < 4; ++i) {
           p.save();
           p.translate(12, 12);
           p.rotate(90 * i);
           p.drawLine(QPointF(-9, -9), QPointF(-9, -4));
           p.drawLine(QPointF(-9, -9), QPointF(-4, -9));
           p.restore();
         }
         p.setPen(Qt::NoPen);
         p.setBrush(kAccent);
         p.drawRect(QRectF(7, 7, 10, 10));
       }},
      {"actualsize",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.4));
         p.setBrush(kPaper);
         p.drawRect(QRectF(3, 3, 18, 18));
         QFont font = p.font();
         font.setPixelSize(9);
         font.setBold(true);
         p.setFont(font);
         p.setPen(kAccent);
         p.drawText(QRectF(3, 3, 18, 18), Qt::AlignCenter, QStringLiteral("1:1"));
       }},
      {"pan",
       [](QPainter& p) {
         Arrow(p, QPointF(12, 12), QPointF(12, 3), kInk);
         Arrow(p, QPointF(12, 12), QPointF(12, 21), kInk);
         Arrow(p, QPointF(12, 12), QPointF(3, 12), kInk);
         Arrow(p, QPointF(12, 12), QPointF(21, 12), kInk);
       }},
      {"redraw",
       [](QPainter& p) {
         p.setPen(Stroke(kAccent, 2.2));
         p.drawArc(QRectF(4, 4, 16, 16), 60 * 16, 280 * 16);
         p.drawLine(QPointF(16, 5), QPointF(16.5, 9.5));
         p.drawLine(QPointF(16, 5), QPointF(20.5, 4.5));
       }},
      {"distance",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.4));
         p.setBrush(QColor(0xF6, 0xD3, 0x2D));
         p.save();
         p.translate(12, 12);
         p.rotate(-35);
         p.drawRect(QRectF(-11, -4, 22, 8));
         for (int i = -8; i <= 8; i += 4) p.drawLine(QPointF(i, -4), QPointF(i, i % 8 == 0 ? 0 : -1.5));
         p.restore();
       }},
      {"layers",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.3));
         const QColor fills[] = {QColor(0x99, 0xC1, 0xF1), QColor(0x8F, 0xF0, 0xA4), QColor(0xF9, 0xF0, 0x6B)};
         for (int i = 0; i < 3; ++i) {
           QPolygonF sheet;
           const double y = 16 - 5 * i;
           sheet << QPointF(12, y - 4) << QPointF(21, y) << QPointF(12, y + 4) << QPointF(3, y);
           p.setBrush(fills[i]);
           p.drawPolygon(sheet);
         }
       }},
      {"explode",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 2.0));
         p.drawLine(QPointF(3, 19), QPointF(8, 9));
         p.drawLine(QPointF(11, 7), QPointF(16, 16));
         p.drawLine(QPointF(18, 14), QPointF(21, 4));
         Dot(p, 9.5, 8, kWarm);
         Dot(p, 17, 15, kWarm);
       }},
      {"separate",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.0));
         p.drawLine(QPointF(4, 6), QPointF(20, 6));
         p.setPen(Stroke(kAccent, 2.5));
         p.drawLine(QPointF(4, 12), QPointF(20, 12));
         p.setPen(Stroke(kInk, 4.0));
         p.drawLine(QPointF(4, 19), QPointF(20, 19));
       }},
      {"help",
       [](QPainter& p) {
         p.setPen(Qt::NoPen);
         p.setBrush(kAccent);
         p.drawEllipse(QPointF(12, 12), 10, 10);
         QFont font = p.font();
         font.setPixelSize(15);
         font.setBold(true);
         p.setFont(font);
         p.setPen(Qt::white);
         p.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, QStringLiteral("?"));
       }},
      {"crop",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 2.0));
         p.drawPolyline(QPolygonF() << QPointF(6, 2) << QPointF(6, 18) << QPointF(22, 18));
         p.drawPolyline(QPolygonF() << QPointF(2, 6) << QPointF(18, 6) << QPointF(18, 22));
       }},
      {"rotate",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.4));
         p.setBrush(kPaper);
         p.save();
         p.translate(12, 13);
         p.rotate(-15);
         p.drawRect(QRectF(-6, -7, 12, 14));
         p.restore();
         p.setPen(Stroke(kAccent, 1.8));
         p.drawArc(QRectF(3, 2, 18, 18), 30 * 16, 120 * 16);
       }},
      {"erase",
       [](QPainter& p) {
         p.save();
         p.translate(12, 12);
         p.rotate(-40);
         p.setPen(Stroke(kInk, 1.3));
         p.setBrush(QColor(0xF6, 0x61, 0x51));
         p.drawRect(QRectF(-8, -4.5, 8, 9));
         p.setBrush(kPaper);
         p.drawRect(QRectF(0, -4.5, 8, 9));
         p.restore();
       }},
      {"fill",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.3));
         p.setBrush(kInk);
         QPolygonF shape;
         shape << QPointF(4, 8) << QPointF(14, 4) << QPointF(20, 14) << QPointF(9, 20);
         p.drawPolygon(shape);
       }},
      {"parameter",
       [](QPainter& p) {
         // Three sliders, each with its knob at another value.
         p.setPen(Stroke(kInk, 1.6));
         for (double y : {6.0, 12.0, 18.0}) p.drawLine(QPointF(3, y), QPointF(21, y));
         Dot(p, 8, 6);
         Dot(p, 16, 12, kWarm);
         Dot(p, 11, 18);
       }},
      {"trace",
       [](QPainter& p) {
         // Rough scanned strokes on the left become a clean vector with its vertices.
         p.setPen(QPen(QColor(0x77, 0x76, 0x7B), 3.4, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(3, 20), QPointF(8, 12));
         p.drawLine(QPointF(8, 12), QPointF(11, 13));
         p.setPen(Stroke(kAccent, 2.0));
         p.drawLine(QPointF(11, 13), QPointF(15, 6));
         p.drawLine(QPointF(15, 6), QPointF(21, 9));
         Dot(p, 11, 13, kWarm);
         Dot(p, 15, 6);
         Dot(p, 21, 9);
       }},
      {"osnap",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 1.6));
         p.drawLine(QPointF(3, 21), QPointF(12, 12));
         p.setPen(Stroke(QColor(0xE5, 0xA5, 0x0A), 2.0));
         p.drawRect(QRectF(8, 8, 8, 8));
       }},
      {"grid",
       [](QPainter& p) {
         p.setPen(Qt::NoPen);
         p.setBrush(kInk);
         for (int x = 4; x <= 20; x += 4)
           for (int y = 4; y <= 20; y += 4) p.drawRect(QRectF(x - 1, y - 1, 2, 2));
       }},
      {"ortho",
       [](QPainter& p) {
         p.setPen(Stroke(kInk, 2.0));
         p.drawPolyline(QPolygonF() << QPointF(4, 4) << QPointF(4, 20) << QPointF(20, 20));
         p.setPen(Stroke(kAccent, 1.2));
         p.drawRect(QRectF(4, 15, 5, 5));
       }},
  };
  return painters;
}

QPixmap Render(const Painter& paint, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.scale(size / 24.0, size / 24.0);
  paint(painter);
  return pixmap;
}

void PaintApplication(QPainter& p) {
  p.setPen(Qt::NoPen);
  QLinearGradient paper(0, 0, 0, 24);
  paper.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
  paper.setColorAt(1, QColor(0xDE, 0xDD, 0xDA));
  p.setBrush(paper);
  p.drawRoundedRect(QRectF(1.5, 1.5, 21, 21), 3.5, 3.5);
  // A scanned stroke (grey, rough) turning into a clean vector (blue).
  p.setPen(QPen(QColor(0x77, 0x76, 0x7B), 3.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(5, 18), QPointF(10, 10));
  p.setPen(Stroke(kAccent, 2.0));
  p.drawLine(QPointF(10, 10), QPointF(19, 5.5));
  Dot(p, 10, 10, kWarm);
  Dot(p, 19, 5.5, kAccent);
}

}  // namespace

QIcon CommandIcon(std::string_view name) {
  const auto& painters = Painters();
  const auto it = painters.find(name);
  if (it == painters.end()) return {};
  QIcon icon;
  for (int size : kSizes) icon.addPixmap(Render(it->second, size));
  return icon;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(Render(PaintApplication, size));
  return icon;
}

}  // namespace quillon::ui
