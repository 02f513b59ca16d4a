#pragma once
// A filled area bounded by closed polylines: the first outline is the outer
// boundary, every other one a hole. Filled by the even-odd rule.

#include <memory>
#include <vector>

#include "model/polyline.h"

namespace quillon::model {

class CPolyPolygon final : public CEntity {
 public:
  CPolyPolygon();

  // Sets currentVertex = 1 in every outline.
  void resetCurrentItem() override;
  // The sum of the outlines' vertex counts.
  int getVertexCount() const override;
  void draw(DrawView& view) override;
  bool hitWindow(const Point3& p1, const Point3& p2) const override;
  // The sum of the outlines' grip counts; grip indices run through the
  // outlines in order.
  int getGripCount() const override;
  // The box of the outer boundary (holes lie inside it); false without outlines.
  bool getExtents(Box* running, Box& box) const override;
  void assign(const CEntity& other) override;
  std::unique_ptr<CEntity> clone() const override;
  bool WriteDxf2000(formats::DxfWriter& file, bool saveWidth) const override;
  bool WriteDxfR10(formats::DxfWriter& file, bool saveWidth) const override;
  bool WriteSvg(formats::SvgWriter& file) const override;
  bool WriteCgm(formats::CgmWriter& file) const override;
  bool WriteWmf(formats::WmfWriter& surface) const override;
  bool WriteHpgl(formats::HpglWriter& file) const override;
  bool WriteEps(formats::EpsWriter& file) const override;
  bool WritePdf(formats::PdfWriter& content) const override;
  void collectSnapGeometry(const Point3& p1, const Point3& p2, SnapPrimitives& list) const override;
  void getInfoText(std::vector<std::string>& lines) const override;
  void fillProperties(CGraph& drawing, PropertyGrid& grid) override;
  int editProperty(CGraph& drawing, int row, int value, const std::string& text, PropertyGrid& grid) override;
  GripPoints getGripPoints() const override;
  bool moveGrip(const Point3& p, int index) override;

  const std::vector<std::unique_ptr<CPolyLine>>& outlines() const { return outlines_; }
  std::size_t outlineCount() const { return outlines_.size(); }
  CPolyLine* outline(std::size_t i) const { return outlines_[i].get(); }
  // Appends an outline; one with fewer than 2 vertices is deleted instead
  // (answer false).
  bool appendOutline(std::unique_ptr<CPolyLine> outline);
  // Removes and deletes outline i; the first outline is never removed.
  bool removeOutline(std::size_t i);
  // Called once every outline of a traced region is in: three collinear
  // vertices become a thin rectangle (counter-clockwise for the boundary,
  // clockwise for holes); holes with a vertex outside the boundary are
  // removed; the drawing buffer is cleared.
  void finish();

  // A point inside the filled area (the hatch seed point).
  double seedX = 0.0;
  double seedY = 0.0;

  // The drawing buffer for a view of step d: every outline's display points
  // one after another, and the point count of each outline. Rebuilding it
  // removes holes that have no points.
  const std::vector<PolyVertex>& bufferPoints(double viewStep);
  const std::vector<int>& bufferCounts() const { return counts_; }

 private:
  std::vector<PolyVertex> buffer_;
  std::vector<int> counts_;
  std::vector<std::unique_ptr<CPolyLine>> outlines_;
};

}  // namespace quillon::model
