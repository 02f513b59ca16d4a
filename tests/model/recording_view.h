#pragma once
// A view that records what the entities hand it.

#include <vector>

#include "model/draw_view.h"

namespace quillon::model::test {

class RecordingView : public DrawView {
 public:
  explicit RecordingView(double pixel = 1.0, bool visible = true) : pixel_(pixel), visible_(visible) {}
  double pixelSize() const override { return pixel_; }
  bool drawSegment(const Point3&, const Point3&, const DrawStyle& style) override { return record("segment", style, 2); }
  bool drawOpenPolyline(std::span<const PolyVertex> p, const DrawStyle& style) override {
    return record("open", style, p.size());
  }
  bool drawClosedPolyline(std::span<const PolyVertex> p, const DrawStyle& style) override {
    return record("closed", style, p.size());
  }
  bool drawSolid(std::span<const Point3> p, const DrawStyle& style) override { return record("solid", style, p.size()); }
  bool drawPolyPolygon(std::span<const PolyVertex> p, std::span<const int>, const DrawStyle& style) override {
    return record("polypolygon", style, p.size());
  }

  struct Call {
    const char* kind;
    DrawStyle style;
    std::size_t points;
  };
  std::vector<Call> calls;

 private:
  bool record(const char* kind, const DrawStyle& style, std::size_t points) {
    calls.push_back(Call{kind, style, points});
    return visible_;
  }
  double pixel_;
  bool visible_;
};

}  // namespace quillon::model::test
