#pragma once
// The properties window: the information text of the selection and the
// editable property grid (the drawing's own rows when nothing is selected).
// The rows come from the model; this window only shows them and hands
// every edit back to the drawing, which records the undo step.

#include <QDockWidget>
#include <QPointer>
#include <vector>

#include "model/property_grid.h"

class QPlainTextEdit;
class QTreeWidget;

namespace quillon::model {
class CEntity;
}

namespace quillon::ui {

class CChildFrame;

class PropertyDock : public QDockWidget {
  Q_OBJECT

 public:
  explicit PropertyDock(QWidget* parent = nullptr);
  void setDocument(CChildFrame* frame);
  // Fills the information and the grid anew when the selection changed
  // (always with force), unless the user is editing a row.
  void refresh(bool force = false);

  // Applies an edit of row `row` as the grid's widgets do; answers the
  // model's code. An invalid value shows "Invalid data !".
  int editRow(int row, int value, const QString& text);
  const model::PropertyGrid& grid() const { return grid_; }
  QPlainTextEdit* information() const { return info_; }
  QTreeWidget* tree() const { return tree_; }

 signals:
  void drawingChanged();

 private:
  void rebuild();
  QWidget* editorFor(int row);

  QPointer<CChildFrame> frame_;
  QPlainTextEdit* info_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  model::PropertyGrid grid_;
  std::vector<const model::CEntity*> shown_;
  bool shownEmpty_ = true;
};

}  // namespace quillon::ui
