#pragma once
// Picks a colour index: the 255 palette colours in a grid, and ByLayer where
// an entity may take its layer's colour.

#include <QDialog>
#include <QIcon>

#include "settings/color.h"

namespace quillon::ui {

// A small square of the colour an index shows on screen; ByLayer shows the
// layer's colour, given as layerColour.
QIcon ColourSwatch(settings::ColorIndex index, int size = 14, settings::ColorIndex layerColour = settings::kColorWhite);

class ColorIndexDlg : public QDialog {
  Q_OBJECT
 public:
  ColorIndexDlg(settings::ColorIndex current, bool allowByLayer, QWidget* parent = nullptr);
  settings::ColorIndex chosen() const { return chosen_; }
  // Shows the dialog; the chosen index, or -1 when cancelled.
  static int Pick(settings::ColorIndex current, bool allowByLayer, QWidget* parent);

 private:
  settings::ColorIndex chosen_;
};

}  // namespace quillon::ui
