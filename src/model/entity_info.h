#pragma once
// Helpers shared by the entities' information text (CEntity::getInfoText)
// and property grid (CEntity::fillProperties / editProperty): the drawing
// unit values are shown in, and numbers in the user's decimal separator.

#include <string>
#include <string_view>

namespace quillon::model {

class CEntity;
class CGraph;

// The drawing unit of a display text: raster pixels per unit and the unit's
// name ("" for Pixel and for a drawing without raster or no drawing at all).
struct DisplayUnit {
  double pixelsPerUnit = 1.0;
  std::string name;

  // The unit of the drawing; Pixel (factor 1, no name) for null.
  static DisplayUnit of(CGraph* drawing);
  // The unit of the drawing the entity's layer belongs to.
  static DisplayUnit of(const CEntity& entity);

  double toUnit(double pixels) const { return pixels / pixelsPerUnit; }
  double toPixels(double units) const { return units * pixelsPerUnit; }
  // " " followed by the unit name, or "" when the name is empty.
  std::string suffix() const { return name.empty() ? std::string() : " " + name; }
};

// The number with 3 decimals (information text) / 6 decimals (property grid),
// the point replaced by the user's decimal separator.
std::string infoNumber(double value);
std::string gridNumber(double value);

// Radians to degrees.
double toDegrees(double radians);

// Case-insensitive (ASCII) comparison of two texts.
bool sameText(std::string_view a, std::string_view b);

}  // namespace quillon::model
