#pragma once
// The small dialogs of the Edit and Tools menus: Explode, Separate layers by
// width, and the drawing aids (object snap modes, grid, snap angle, ortho).

#include <QDialog>

#include "settings/width_series.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QRadioButton;

namespace quillon::platform {
class KeyValueStore;
}
namespace quillon::model {
class CGraph;
}

namespace quillon::ui {

// OK and Cancel buttons wired to the dialog's accept and reject.
QDialogButtonBox* OkCancel(QDialog* dialog);

// "Explode set": all vectors or the selected ones (preselected when
// something is selected).
class ExplodeDlg : public QDialog {
  Q_OBJECT
 public:
  explicit ExplodeDlg(bool hasSelection, QWidget* parent = nullptr);
  bool all() const;

 private:
  QRadioButton* all_ = nullptr;
};

// Chooses the width series whose widths name the new layers; the current
// trace parameters' series is preselected.
class SeparateDlg : public QDialog {
  Q_OBJECT
 public:
  SeparateDlg(const platform::KeyValueStore& store, QWidget* parent = nullptr);
  // The chosen series as stored (the built-in "Default" when it is chosen).
  const settings::WidthSeries& series() const { return series_; }
  QComboBox* seriesBox() const { return box_; }

 private:
  void showSeries();

  const platform::KeyValueStore& store_;
  QComboBox* box_ = nullptr;
  QLabel* widths_ = nullptr;
  settings::WidthSeries series_;
};

// Edits the drawing's aids in place when accepted.
class DrawingAidsDlg : public QDialog {
  Q_OBJECT
 public:
  DrawingAidsDlg(model::CGraph& graph, QWidget* parent = nullptr);
  void accept() override;

 private:
  model::CGraph& graph_;
  QCheckBox* osnapOn_ = nullptr;
  QList<QCheckBox*> modes_;
  QCheckBox* gridOn_ = nullptr;
  QDoubleSpinBox* spacingX_ = nullptr;
  QDoubleSpinBox* spacingY_ = nullptr;
  QDoubleSpinBox* angle_ = nullptr;
  QCheckBox* ortho_ = nullptr;
};

}  // namespace quillon::ui
