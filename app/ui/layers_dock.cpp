#include "layers_dock.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "child_frame.h"
#include "color_dialog.h"
#include "editor/document.h"
#include "icons.h"
#include "model/graph.h"
#include "platform/message_sink.h"
#include "ui_text.h"

namespace quillon::ui {
namespace {

enum Column { kVisible = 0, kColour = 1, kName = 2, kCount = 3 };

}  // namespace

LayersDock::LayersDock(QWidget* parent) : QDockWidget(T("LayersDlgCap", "Layers"), parent) {
  setObjectName(QStringLiteral("dock.layers"));
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(4, 4, 4, 4);
  list_ = new QTreeWidget(body);
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setHeaderLabels({T("LayersListOn", "On"), T("LayersListColor", "Color"), T("LayersListName", "Name"),
                          T("LayersListCount", "Vectors")});
  list_->header()->setSectionResizeMode(kName, QHeaderView::Stretch);
  list_->header()->setStretchLastSection(false);
  list_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  layout->addWidget(list_);

  buttons_ = new QWidget(body);
  auto* row = new QHBoxLayout(buttons_);
  row->setContentsMargins(0, 0, 0, 0);
  const auto button = [this, row](std::string_view key, std::string_view text, std::string_view icon, auto slot) {
    auto* b = new QToolButton(buttons_);
    b->setText(T(key, text));
    b->setToolButtonStyle(icon.empty() ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextBesideIcon);
    if (!icon.empty()) b->setIcon(CommandIcon(icon));
    b->setAutoRaise(true);
    row->addWidget(b);
    connect(b, &QToolButton::clicked, this, slot);
    return b;
  };
  button("LayerDlgNew", "&New", "layers", [this] { addLayer(); });
  button("LayerDlgCurrent", "Set &Current", "", [this] {
    if (QTreeWidgetItem* item = list_->currentItem()) makeCurrent(layerAt(list_->indexOfTopLevelItem(item)));
  });
  button("LayerDlgColor", "C&olor...", "", [this] {
    if (QTreeWidgetItem* item = list_->currentItem()) itemDoubleClicked(item, kColour);
  });
  button("LayerDlgDelete", "&Delete", "delete", [this] { deleteSelected(); });
  row->addStretch(1);
  layout->addWidget(buttons_);
  setWidget(body);

  connect(list_, &QTreeWidget::itemChanged, this, &LayersDock::itemChanged);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &LayersDock::itemDoubleClicked);
  refresh();
}

void LayersDock::setDocument(CChildFrame* frame) {
  frame_ = frame;
  refresh();
}

model::CLayer* LayersDock::layerAt(int row) const {
  if (!frame_ || row < 0) return nullptr;
  const model::LayerList& layers = frame_->document().graph().layers();
  if (row >= static_cast<int>(layers.size())) return nullptr;
  return std::next(layers.begin(), row)->get();
}

void LayersDock::refresh() {
  filling_ = true;
  const int selectedRow = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
  list_->clear();
  buttons_->setEnabled(frame_ != nullptr);
  if (frame_) {
    model::CGraph& graph = frame_->document().graph();
    for (const auto& layer : graph.layers()) {
      auto* item = new QTreeWidgetItem(list_);
      item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
      item->setCheckState(kVisible, layer->visible() ? Qt::Checked : Qt::Unchecked);
      item->setIcon(kColour, ColourSwatch(layer->colour()));
      item->setText(kColour, Q(settings::ColorName(layer->colour())));
      item->setText(kName, Q(layer->name()));
      item->setText(kCount, QString::number(layer->count()));
      item->setTextAlignment(kCount, Qt::AlignRight | Qt::AlignVCenter);
      if (layer.get() == graph.currentLayer()) {
        QFont font = item->font(kName);
        font.setBold(true);
        item->setFont(kName, font);
        item->setToolTip(kName, T("LayerDlgIsCurrent", "Current layer: new vectors go here"));
      }
    }
    for (int c = 0; c < list_->columnCount(); ++c)
      if (c != kName) list_->resizeColumnToContents(c);
    if (selectedRow >= 0 && selectedRow < list_->topLevelItemCount())
      list_->setCurrentItem(list_->topLevelItem(selectedRow));
  }
  filling_ = false;
}

void LayersDock::refreshIfIdle() {
  // An open name editor is a child of the list's viewport that holds the focus.
  const QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr || focus == list_->viewport() || !list_->viewport()->isAncestorOf(focus)) refresh();
}

bool LayersDock::addLayer() {
  if (!frame_) return false;
  model::CGraph& graph = frame_->document().graph();
  int n = 1;
  while (graph.findLayer("Layer" + std::to_string(n)) != nullptr) ++n;
  graph.setCurrentLayerByName("Layer" + std::to_string(n));
  refresh();
  emit drawingChanged();
  return true;
}

bool LayersDock::renameLayer(model::CLayer* layer, const QString& name) {
  if (!frame_ || layer == nullptr) return false;
  model::CGraph& graph = frame_->document().graph();
  const std::string text = S(name);
  if (!model::CLayer::isValidName(text)) {
    platform::ShowMessage(settings::Text("InvalidLayerName", "Invalid layer name!"), platform::MessageKind::Error);
    refresh();
    return false;
  }
  if (model::CLayer* other = graph.findLayer(text); other != nullptr && other != layer) {
    platform::ShowMessage(settings::Text("LayerDlgDuplicateLayerName", "Duplicate layer name!"),
                          platform::MessageKind::Error);
    refresh();
    return false;
  }
  if (layer->name() == text) return false;
  layer->setName(text);
  graph.markModified(true);
  refresh();
  emit drawingChanged();
  return true;
}

bool LayersDock::setLayerColour(model::CLayer* layer, int colour) {
  if (!frame_ || layer == nullptr || colour < 1 || colour > 255) return false;
  layer->setColour(static_cast<settings::ColorIndex>(colour));
  frame_->document().graph().markModified(true);
  refresh();
  emit drawingChanged();
  return true;
}

bool LayersDock::setLayerVisible(model::CLayer* layer, bool visible) {
  if (!frame_ || layer == nullptr || layer->visible() == visible) return false;
  layer->setVisible(visible);
  // Hidden vectors cannot stay selected: they could be deleted unseen.
  if (!visible) frame_->document().graph().selectAll(false);
  refresh();
  emit drawingChanged();
  return true;
}

bool LayersDock::makeCurrent(model::CLayer* layer) {
  if (!frame_ || layer == nullptr) return false;
  model::CGraph& graph = frame_->document().graph();
  if (!graph.setCurrentLayerByHandle(layer->handle())) return false;
  refresh();
  emit drawingChanged();
  return true;
}

bool LayersDock::deleteSelected() {
  if (!frame_) return false;
  model::CGraph& graph = frame_->document().graph();
  std::vector<model::CLayer*> doomed;
  for (QTreeWidgetItem* item : list_->selectedItems()) {
    model::CLayer* layer = layerAt(list_->indexOfTopLevelItem(item));
    if (layer != nullptr && layer != graph.currentLayer()) doomed.push_back(layer);
  }
  if (doomed.empty()) return false;
  if (!platform::ShowMessage(settings::Text("LayerDlgDelLayers", "Ok to delete the selected layers and all the vectors "
                                                                 "belong to the layers, are you sure?!"),
                             platform::MessageKind::Question))
    return false;
  for (model::CLayer* layer : doomed) graph.deleteLayer(layer);
  refresh();
  emit drawingChanged();
  return true;
}

void LayersDock::itemChanged(QTreeWidgetItem* item, int column) {
  if (filling_) return;
  model::CLayer* layer = layerAt(list_->indexOfTopLevelItem(item));
  if (layer == nullptr) return;
  // Changes arrive from inside the list's own signal: apply them after it,
  // finding the layer again by its handle.
  const uint32_t handle = layer->handle();
  const auto find = [this, handle]() -> model::CLayer* {
    return frame_ ? frame_->document().graph().findLayerByHandle(handle) : nullptr;
  };
  if (column == kVisible) {
    const bool visible = item->checkState(kVisible) == Qt::Checked;
    QMetaObject::invokeMethod(this, [this, find, visible] { setLayerVisible(find(), visible); }, Qt::QueuedConnection);
  } else if (column == kName) {
    const QString name = item->text(kName);
    QMetaObject::invokeMethod(this, [this, find, name] { renameLayer(find(), name); }, Qt::QueuedConnection);
  }
}

void LayersDock::itemDoubleClicked(QTreeWidgetItem* item, int column) {
  model::CLayer* layer = layerAt(list_->indexOfTopLevelItem(item));
  if (layer == nullptr) return;
  if (column == kColour) {
    const int colour = ColorIndexDlg::Pick(layer->colour(), false, this);
    if (colour > 0) setLayerColour(layer, colour);
  } else if (column == kName) {
    list_->editItem(item, kName);
  } else if (column == kCount) {
    makeCurrent(layer);
  }
}

}  // namespace quillon::ui
