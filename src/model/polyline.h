#pragma once
// A polyline: straight and arc (bulge) segments with per-vertex widths, open
// or closed. The vertices are kept in order; the first is the head, the last
// of an open polyline is its end. The closing segment of a closed polyline
// runs from the last vertex to the first with the last vertex's bulge.

#include <memory>
#include <vector>

#include "model/entity.h"

namespace quillon::model {

class CPolyLine final : public CEntity {
 public:
  CPolyLine();

  // --- virtual interface ------------------------------------------------------
  // Head vertex / last vertex; zero point when empty.
  Point3 getStartPoint() const override;
  Point3 getEndPoint() const override;
  // Sum of the segment lengths (arcs as R·sweep, the closing segment only when
  // closed); also stored in the length field.
  double getLength() const override;
  int getVertexCount() const override { return static_cast<int>(vertices_.size()); }
  // At most 2 vertices.
  bool isSingleSegment() const override { return vertices_.size() <= 2; }
  // endSelector 1: the last vertex and the one before it; 0: the head and the
  // one after it. When the end segment is short (shorter than
  // 1.5·max(conDis, its start width) and under 5 % of the following segment)
  // the direction point moves one vertex further. False when empty.
  bool getEndDirection(Point3& endPoint, Point3& directionPoint, double conDis) const override;
  // Open polylines with at least 3 vertices whose ends lie within conDis in x
  // and in y become closed; an exact duplicate last vertex is removed.
  void autoClose(double conDis) override;
  // Also sets startWidth and endWidth of every vertex.
  void setWidth(double width) override;
  void draw(DrawView& view) override;
  // startWidth of the head vertex, the width field when empty.
  double getWidth() const override;
  // Fewer than 2 vertices.
  bool isDegenerate() const override { return vertices_.size() < 2; }
  // Rounds the width field and the startWidth of every vertex that starts a
  // segment (all but the last of an open polyline); endWidths stay.
  void roundWidth(const WidthRounder& round) override;
  bool hitWindow(const Point3& p1, const Point3& p2) const override;
  // One grip per vertex followed, for a vertex that starts an arc segment, by
  // that arc's middle point.
  int getGripCount() const override;
  // False when there are no vertices.
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
  // A vertex grip moves the vertex and re-bulges the arc segments at it so
  // they still pass through their old middle points; an arc middle grip
  // re-bulges its segment through p (unchanged when no circle fits).
  bool moveGrip(const Point3& p, int index) override;

  // --- vertices ----------------------------------------------------------------
  const VertexList& vertices() const { return vertices_; }
  // Direct access for stages that rewrite vertices. Marks the display
  // approximation stale and the straight flag for recomputation.
  VertexList& editVertices();
  // Appends v after the last vertex. A vertex whose x and y are exactly those
  // of the last vertex is dropped (answer false).
  bool appendVertex(const PolyVertex& v);
  bool appendVertex(double x, double y, double width = 0.0, double bulge = 0.0);
  // Room for count vertices, so that a polyline built point by point
  // allocates once.
  void reserveVertices(std::size_t count) { vertices_.reserve(count); }
  // Removes the vertex at index (no-op when out of range).
  void removeVertex(std::size_t index);
  // Removes every vertex and frees their storage.
  void clearVertices();
  // Takes over the vertices of other from index `from` on (appended in
  // order, none dropped); other ends empty. An empty polyline takes over
  // other's storage itself, so its capacity comes along.
  void takeVertices(CPolyLine& other, std::size_t from = 0);
  std::size_t vertexCapacity() const { return vertices_.capacity(); }
  // True while no segment has a bulge.
  bool isStraight() const;

  // Reverses the vertex order for a polyline without bulges: each vertex
  // takes the startWidth of the vertex that now follows it, the new last
  // vertex 0 (open) or the new first vertex's startWidth (closed);
  // endSelector flips. Bulges are not touched.
  void reverse();

  // --- display approximation ----------------------------------------------------
  // Every arc segment replaced by chords for step s (the size of a screen
  // pixel; s < 0 means |s| chords per arc). Points carry the width they are
  // drawn with and the index of the vertex they came from in mark.
  void buildApproximation(double step) const;
  // The points to draw for a view of step d: the vertices when straight,
  // else the cached approximation when its step lies in [0.2·d, d] and is
  // not stale, else one rebuilt for d.
  const VertexList& displayPoints(double viewStep) const;
  // The points window tests and extents use: the vertices when straight,
  // the cached approximation, or one built with 25 chords per arc.
  const VertexList& geometryPoints() const;
  bool hasApproximation() const { return approx_ != nullptr; }
  double approximationStep() const { return approx_ ? approx_->step : 0.0; }
  const VertexList& approximation() const;

 private:
  void verticesChanged();

  // Only polylines with arc segments need one, and a noisy scan holds
  // millions of straight polylines: it lives apart, made on first use.
  struct Approximation {
    VertexList points;
    double step = 0.0;
  };

  // The flags first: they fit in the tail of the entity's fields.
  mutable bool straight_ = true;
  mutable bool straightStale_ = false;
  VertexList vertices_;
  mutable std::unique_ptr<Approximation> approx_;
};

}  // namespace quillon::model
