#pragma once
// Rendered pages compared with a drawing's ink: image readers for what the
// third-party programs write (PNG, PGM, PBM), ink masks, the drawing's own
// ink drawn from the model, and the overlap measures.

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "formats/writer_support.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/layer.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"
#include "support/test_support.h"

namespace quillon::formats::render {

using quillon::test::ReadFile;

inline bool HaveTool(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command, its output kept in `log`; answers the exit status.
inline int Shell(const std::string& command, std::string* log = nullptr, const std::string& logPath = "/dev/null") {
  int status = std::system((command + " >" + logPath + " 2>&1").c_str());
  if (log && logPath != "/dev/null") *log = ReadFile(logPath);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A grey image, 0 black .. 255 white.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> grey;
  uint8_t at(int x, int y) const { return grey[static_cast<size_t>(y) * width + x]; }
};

// Reads binary PGM (P5) and PBM (P4).
inline std::optional<Image> ReadPnm(const std::string& bytes) {
  if (bytes.size() < 3 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '4')) return std::nullopt;
  const bool bitmap = bytes[1] == '4';
  size_t at = 2;
  auto number = [&]() {
    while (at < bytes.size() && (std::isspace(static_cast<unsigned char>(bytes[at])) || bytes[at] == '#')) {
      if (bytes[at] == '#') {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else {
        ++at;
      }
    }
    long v = 0;
    while (at < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[at]))) v = v * 10 + (bytes[at++] - '0');
    return v;
  };
  Image image;
  image.width = static_cast<int>(number());
  image.height = static_cast<int>(number());
  const long maxValue = bitmap ? 1 : number();
  ++at;  // the single whitespace before the raster
  if (image.width <= 0 || image.height <= 0 || maxValue != (bitmap ? 1 : 255)) return std::nullopt;
  image.grey.resize(static_cast<size_t>(image.width) * image.height);
  if (bitmap) {
    const size_t row = (image.width + 7) / 8;
    if (bytes.size() < at + row * image.height) return std::nullopt;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const bool ink = (static_cast<uint8_t>(bytes[at + y * row + x / 8]) >> (7 - x % 8)) & 1;
        image.grey[static_cast<size_t>(y) * image.width + x] = ink ? 0 : 255;
      }
    }
  } else {
    if (bytes.size() < at + image.grey.size()) return std::nullopt;
    std::copy(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + image.grey.size()),
              image.grey.begin());
  }
  return image;
}

// Reads an 8-bit, non-interlaced PNG (grey, RGB, palette, with or without
// alpha; alpha composed onto white).
inline std::optional<Image> ReadPng(const std::string& bytes) {
  if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return std::nullopt;
  auto be32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8 | static_cast<uint8_t>(bytes[at + 3]);
  };
  int width = 0, height = 0, depth = 0, colour = 0, interlace = 0;
  std::string idat, palette;
  for (size_t at = 8; at + 8 <= bytes.size();) {
    const uint32_t length = be32(at);
    const std::string type = bytes.substr(at + 4, 4);
    if (at + 12 + length > bytes.size()) return std::nullopt;
    const std::string data = bytes.substr(at + 8, length);
    if (type == "IHDR") {
      width = static_cast<int>(be32(at + 8));
      height = static_cast<int>(be32(at + 12));
      depth = static_cast<uint8_t>(data[8]);
      colour = static_cast<uint8_t>(data[9]);
      interlace = static_cast<uint8_t>(data[12]);
    } else if (type == "PLTE") {
      palette = data;
    } else if (type == "IDAT") {
      idat += data;
    }
    at += 12 + length;
  }
  const int channels = colour == 0 ? 1 : colour == 2 ? 3 : colour == 3 ? 1 : colour == 4 ? 2 : colour == 6 ? 4 : 0;
  if (width <= 0 || height <= 0 || depth != 8 || interlace != 0 || channels == 0) return std::nullopt;
  const size_t stride = static_cast<size_t>(width) * channels;
  std::vector<uint8_t> raw((stride + 1) * height);
  uLongf size = raw.size();
  if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
      size != raw.size()) {
    return std::nullopt;
  }
  std::vector<uint8_t> pixels(stride * height);
  for (int y = 0; y < height; ++y) {
    const uint8_t filter = raw[y * (stride + 1)];
    const uint8_t* in = &raw[y * (stride + 1) + 1];
    uint8_t* out = &pixels[y * stride];
    const uint8_t* up = y > 0 ? &pixels[(y - 1) * stride] : nullptr;
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<size_t>(channels) ? out[i - channels] : 0;
      const int b = up ? up[i] : 0;
      const int c = (up && i >= static_cast<size_t>(channels)) ? up[i - channels] : 0;
      int predictor = 0;
      switch (filter) {
        case 1: predictor = a; break;
        case 2: predictor = b; break;
        case 3: predictor = (a + b) / 2; break;
        case 4: {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
          break;
        }
        default: break;
      }
      out[i] = static_cast<uint8_t>(in[i] + predictor);
    }
  }
  Image image;
  image.width = width;
  image.height = height;
  image.grey.resize(static_cast<size_t>(width) * height);
  for (size_t p = 0; p < image.grey.size(); ++p) {
    const uint8_t* px = &pixels[p * channels];
    double r, g, b, alpha = 1.0;
    if (colour == 3) {
      const size_t k = px[0] * 3u;
      if (k + 2 >= palette.size() + 0 && k + 2 > palette.size() - 1) return std::nullopt;
      r = static_cast<uint8_t>(palette[k]);
      g = static_cast<uint8_t>(palette[k + 1]);
      b = static_cast<uint8_t>(palette[k + 2]);
    } else if (channels <= 2) {
      r = g = b = px[0];
      if (channels == 2) alpha = px[1] / 255.0;
    } else {
      r = px[0];
      g = px[1];
      b = px[2];
      if (channels == 4) alpha = px[3] / 255.0;
    }
    const double grey = 0.299 * r + 0.587 * g + 0.114 * b;
    image.grey[p] = static_cast<uint8_t>(std::lround(grey * alpha + 255.0 * (1.0 - alpha)));
  }
  return image;
}

// Ink as a mask, cropped to its bounding box.
struct Mask {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> ink;
  bool at(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height && ink[y * width + x]; }
};

inline Mask Crop(const Image& image, int threshold) {
  int x0 = image.width, y0 = image.height, x1 = -1, y1 = -1;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (image.at(x, y) < threshold) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
      }
    }
  }
  Mask m;
  if (x1 < 0) return m;
  m.width = x1 - x0 + 1;
  m.height = y1 - y0 + 1;
  m.ink.resize(static_cast<size_t>(m.width) * m.height);
  for (int y = 0; y < m.height; ++y) {
    for (int x = 0; x < m.width; ++x) m.ink[y * m.width + x] = image.at(x0 + x, y0 + y) < threshold;
  }
  return m;
}

// The drawing's own ink, y down, at `scale` pixels per drawing unit: strokes
// of half-width `pen`, fills by the even-odd rule.
inline Image Reference(const model::CGraph& g, double scale, double pen) {
  model::Box box;
  (void)g.getDrawingExtents(box, false, false);
  Image image;
  image.width = static_cast<int>((box.maxX - box.minX) * scale) + 21;
  image.height = static_cast<int>((box.maxY - box.minY) * scale) + 21;
  image.grey.assign(static_cast<size_t>(image.width) * image.height, 255);
  auto px = [&](double x) { return (x - box.minX) * scale + 10; };
  auto py = [&](double y) { return (box.maxY - y) * scale + 10; };
  auto dot = [&](double x, double y) {
    const int r = static_cast<int>(std::ceil(pen));
    for (int dy = -r; dy <= r; ++dy) {
      for (int dx = -r; dx <= r; ++dx) {
        const int X = static_cast<int>(px(x)) + dx, Y = static_cast<int>(py(y)) + dy;
        if (X >= 0 && Y >= 0 && X < image.width && Y < image.height && dx * dx + dy * dy <= pen * pen) {
          image.grey[Y * image.width + X] = 0;
        }
      }
    }
  };
  auto arc = [&](double cx, double cy, double r, double a0, double sweep) {
    const int steps = std::max(8, static_cast<int>(std::fabs(sweep) * r * scale * 2));
    for (int i = 0; i <= steps; ++i) {
      const double a = a0 + sweep * i / steps;
      dot(cx + r * std::cos(a), cy + r * std::sin(a));
    }
  };
  auto segment = [&](double x0, double y0, double x1, double y1) {
    const int steps = std::max(2, static_cast<int>(std::hypot(x1 - x0, y1 - y0) * scale * 2));
    for (int i = 0; i <= steps; ++i) dot(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
  };
  // A ring flattened into points, arcs included.
  auto flatten = [&](const PathRing& ring, bool closed) {
    std::vector<Point2> pts;
    const size_t n = closed ? ring.size() : ring.size() - 1;
    for (size_t i = 0; i < n; ++i) {
      const PathVertex& v = ring[i];
      const PathVertex& w = ring[(i + 1) % ring.size()];
      pts.push_back({v.x, v.y});
      if (auto a = BulgeArc(v.x, v.y, w.x, w.y, v.bulge)) {
        const double sweep = (a->ccw ? 1 : -1) * SweepOf(*a);
        for (int k = 1; k < 64; ++k) {
          const double t = a->a0 + sweep * k / 64;
          pts.push_back({a->cx + a->radius * std::cos(t), a->cy + a->radius * std::sin(t)});
        }
      }
    }
    if (!closed) pts.push_back({ring.back().x, ring.back().y});
    return pts;
  };
  auto fill = [&](const std::vector<std::vector<Point2>>& polygons) {
    for (int Y = 0; Y < image.height; ++Y) {
      for (int X = 0; X < image.width; ++X) {
        const double x = (X + 0.5 - 10) / scale + box.minX;
        const double y = box.maxY - (Y + 0.5 - 10) / scale;
        bool inside = false;
        for (const auto& poly : polygons) {
          for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
            if ((poly[i].y > y) != (poly[j].y > y) &&
                x < (poly[j].x - poly[i].x) * (y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x) {
              inside = !inside;
            }
          }
        }
        if (inside) image.grey[Y * image.width + X] = 0;
      }
    }
  };
  for (const auto& layer : g.layers()) {
    for (const auto& e : *layer) {
      switch (e->type()) {
        case model::EntityType::Line: {
          const auto& l = static_cast<const model::CLine&>(*e);
          segment(l.start().x, l.start().y, l.end().x, l.end().y);
          break;
        }
        case model::EntityType::Circle: {
          const auto& c = static_cast<const model::CCircle&>(*e);
          arc(c.centre().x, c.centre().y, c.radius(), 0, 2 * std::numbers::pi);
          break;
        }
        case model::EntityType::Arc: {
          const auto& a = static_cast<const model::CArc&>(*e);
          arc(a.centre().x, a.centre().y, a.radius(), a.startAngle(), a.endAngle() - a.startAngle());
          break;
        }
        case model::EntityType::PolyLine: {
          const auto& p = static_cast<const model::CPolyLine&>(*e);
          std::vector<Point2> pts = flatten(RingOf(p), p.isClosed());
          if (p.isClosed()) pts.push_back(pts.front());
          for (size_t i = 1; i < pts.size(); ++i) segment(pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y);
          break;
        }
        case model::EntityType::Solid: {
          fill({PointsOf(static_cast<const model::CSolid&>(*e))});
          break;
        }
        case model::EntityType::PolyPolygon: {
          std::vector<std::vector<Point2>> polys;
          for (const PathRing& ring : OutlinesOf(static_cast<const model::CPolyPolygon&>(*e))) {
            polys.push_back(flatten(ring, true));
          }
          fill(polys);
          break;
        }
      }
    }
  }
  return image;
}

// How much of each mask lies near ink of the other (the smaller share), after
// scaling the reference onto the rendering's box; tolerance in pixels.
inline double Overlap(const Mask& rendered, const Mask& reference, int tolerance) {
  if (rendered.width == 0 || reference.width == 0) return 0.0;
  Mask scaled;
  scaled.width = rendered.width;
  scaled.height = rendered.height;
  scaled.ink.resize(rendered.ink.size());
  for (int y = 0; y < scaled.height; ++y) {
    for (int x = 0; x < scaled.width; ++x) {
      scaled.ink[y * scaled.width + x] = reference.at(x * reference.width / scaled.width,
                                                      y * reference.height / scaled.height);
    }
  }
  auto near = [tolerance](const Mask& m, int x, int y) {
    for (int dy = -tolerance; dy <= tolerance; ++dy) {
      for (int dx = -tolerance; dx <= tolerance; ++dx) {
        if (m.at(x + dx, y + dy)) return true;
      }
    }
    return false;
  };
  auto share = [&](const Mask& a, const Mask& b) {
    long total = 0, hit = 0;
    for (int y = 0; y < a.height; ++y) {
      for (int x = 0; x < a.width; ++x) {
        if (!a.at(x, y)) continue;
        ++total;
        if (near(b, x, y)) ++hit;
      }
    }
    return total ? static_cast<double>(hit) / total : 0.0;
  };
  return std::min(share(rendered, scaled), share(scaled, rendered));
}


}  // namespace quillon::formats::render
