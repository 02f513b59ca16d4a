#pragma once
// A straight line between two points.

#include "model/entity.h"

namespace quillon::model {

class CLine final : public CEntity {
 public:
  CLine();
  CLine(const Point3& start, const Point3& end);

  Point3 getStartPoint() const override { return start_.point(); }
  Point3 getEndPoint() const override { return end_.point(); }
  int getVertexCount() const override { return 2; }
  void draw(DrawView& view) override;
  bool hitWindow(const Point3& p1, const Point3& p2) const override;
  // Grips: 0 start, 1 midpoint, 2 end.
  int getGripCount() const override { return 3; }
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
  // 0 and 2 move that end; 1 translates the line so that its midpoint is p.
  bool moveGrip(const Point3& p, int index) override;

  const PolyVertex& start() const { return start_; }
  const PolyVertex& end() const { return end_; }
  // Both recompute the stored length.
  void setStart(const Point3& p);
  void setEnd(const Point3& p);

 private:
  void updateLength();

  PolyVertex start_;
  PolyVertex end_;
};

}  // namespace quillon::model
