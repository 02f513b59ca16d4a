#pragma once
// A full circle; also the base of CArc.

#include <vector>

#include "model/entity.h"

namespace quillon::model {

class CCircle : public CEntity {
 public:
  CCircle();
  // The radius is stored as its absolute value.
  CCircle(const Point3& centre, double radius);

  void draw(DrawView& view) override;
  bool hitWindow(const Point3& p1, const Point3& p2) const override;
  // Grips: 0 centre, 1–4 the points at 0, π/2, π, 3π/2.
  int getGripCount() const override { return 5; }
  // centre ± radius.
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
  // 0 moves the centre; 1–4 set the radius to |p − centre| when it is > 0.
  bool moveGrip(const Point3& p, int index) override;

  const Point3& centre() const { return centre_; }
  double radius() const { return radius_; }
  void setCentre(const Point3& centre);
  void setRadius(double radius);

  // The display points for a view of step d, cached while the cached step
  // lies in [0.2·d, d] (and is at least kTolerance) and nothing changed.
  const std::vector<PolyVertex>& displayPoints(double viewStep) const;

 protected:
  CCircle(EntityType type, const Point3& centre, double radius);
  // Builds the display points for step d into points.
  virtual void buildDisplayPoints(double step, std::vector<PolyVertex>& points) const;
  // Upper bound of display points of one circle, so that a tiny view step on
  // a huge radius cannot exhaust memory.
  static constexpr double kMaxDisplayPoints = 65536.0;
  // A display point at p carrying the pen width.
  static PolyVertex displayPoint(const Point3& p, double width);
  // Marks the geometry changed (display points and extents stale).
  void geometryChanged() { approxDirty_ = true; }

  Point3 centre_;
  double radius_ = 1.0;

 private:
  mutable std::vector<PolyVertex> points_;
  mutable double pointsStep_ = 0.0;
  mutable bool havePoints_ = false;
};

}  // namespace quillon::model
