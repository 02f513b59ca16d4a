#pragma once
// The layers window: every layer of the active drawing with its visibility,
// colour, name and entity count. Add, rename (with the layer-name rules),
// colour, visibility, make current and delete.

#include <QDockWidget>
#include <QPointer>

class QTreeWidget;
class QTreeWidgetItem;

namespace quillon::model {
class CLayer;
}

namespace quillon::ui {

class CChildFrame;

class LayersDock : public QDockWidget {
  Q_OBJECT

 public:
  explicit LayersDock(QWidget* parent = nullptr);
  void setDocument(CChildFrame* frame);
  void refresh();
  // Refreshes unless a name is being edited in the list.
  void refreshIfIdle();
  QTreeWidget* list() const { return list_; }

  // The commands, also used by tests. Each answers whether the drawing changed.
  bool addLayer();
  // The name rules: "Invalid layer name!", "Duplicate layer name!".
  bool renameLayer(model::CLayer* layer, const QString& name);
  bool setLayerColour(model::CLayer* layer, int colour);
  bool setLayerVisible(model::CLayer* layer, bool visible);
  bool makeCurrent(model::CLayer* layer);
  // Asks, then deletes every selected layer except the current one.
  bool deleteSelected();
  model::CLayer* layerAt(int row) const;

 signals:
  void drawingChanged();

 private:
  void itemChanged(QTreeWidgetItem* item, int column);
  void itemDoubleClicked(QTreeWidgetItem* item, int column);

  QPointer<CChildFrame> frame_;
  QTreeWidget* list_ = nullptr;
  QWidget* buttons_ = nullptr;
  bool filling_ = false;
};

}  // namespace quillon::ui
