#pragma once
// A circular arc running counter-clockwise from startAngle to endAngle.
// Invariant: startAngle in [0, 2π]; endAngle in [0, 2π], plus 2π when it
// would lie below startAngle, so endAngle >= startAngle.

#include "model/circle.h"

namespace quillon::model {

class CArc final : public CCircle {
 public:
  CArc();
  // Radius stored as its absolute value, angles normalised.
  CArc(const Point3& centre, double radius, double startAngle, double endAngle);

  Point3 getStartPoint() const override { return startPoint_; }
  Point3 getEndPoint() const override { return endPoint_; }
  void draw(DrawView& view) override;
  bool hitWindow(const Point3& p1, const Point3& p2) const override;
  // Grips: 1 start, 2 middle (mean of the angles), 3 end.
  int getGripCount() const override { return 3; }
  // The end points and the quadrant points the arc passes.
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
  // Recomputes the arc through start, middle and end with grip `index`
  // (1, 2 or 3) replaced by p. False (unchanged) when no circle fits.
  bool moveGrip(const Point3& p, int index) override;

  double startAngle() const { return startAngle_; }
  double endAngle() const { return endAngle_; }
  // Normalises both (see the invariant) and recomputes the end points.
  void setAngles(double startAngle, double endAngle);
  // The centre or radius changed: recomputes the end points.
  void setCentre(const Point3& centre);
  void setRadius(double radius);
  // Makes this the arc from a through b to c (counter-clockwise from a or
  // from c, whichever passes through b). False, unchanged, when no circle
  // passes through the three points.
  bool setThroughPoints(const Point3& a, const Point3& b, const Point3& c);
  // The point at the mean of the two angles.
  Point3 middlePoint() const;
  // The swept angle endAngle − startAngle.
  double sweep() const { return endAngle_ - startAngle_; }
  // radius · sweep.
  double arcLength() const { return radius_ * sweep(); }

 protected:
  void buildDisplayPoints(double step, std::vector<PolyVertex>& points) const override;

 private:
  void updateEndPoints();

  double startAngle_ = 0.0;
  double endAngle_ = 0.0;
  Point3 startPoint_;
  Point3 endPoint_;
};

}  // namespace quillon::model
