#pragma once
// A filled triangle or quadrilateral (at most 4 points). Solids have no width.

#include <vector>

#include "model/entity.h"

namespace quillon::model {

class CSolid final : public CEntity {
 public:
  CSolid();

  // The solid of three points, counter-clockwise: p1, p2, p3 when
  // (p2 − p1) × (p3 − p1) > kTolerance, p1, p3, p2 when it is below
  // −kTolerance; null for (nearly) collinear points.
  static std::unique_ptr<CSolid> fromThreePoints(const Point3& p1, const Point3& p2, const Point3& p3);

  int getVertexCount() const override { return static_cast<int>(points_.size()); }
  void draw(DrawView& view) override;
  bool hitWindow(const Point3& p1, const Point3& p2) const override;
  int getGripCount() const override { return static_cast<int>(points_.size()); }
  // False when there are no points.
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

  const std::vector<Point3>& points() const { return points_; }
  // Refused (false) when the solid has 4 points already.
  bool addPoint(const Point3& p);

 private:
  std::vector<Point3> points_;
};

}  // namespace quillon::model
