#include "property_dock.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>

#include "child_frame.h"
#include "color_dialog.h"
#include "editor/document.h"
#include "model/graph.h"
#include "platform/message_sink.h"
#include "ui_text.h"

namespace quillon::ui {

PropertyDock::PropertyDock(QWidget* parent) : QDockWidget(T("PropViewCap", "Properties"), parent) {
  setObjectName(QStringLiteral("dock.properties"));
  auto* split = new QSplitter(Qt::Vertical, this);
  tree_ = new QTreeWidget(split);
  tree_->setColumnCount(2);
  tree_->setHeaderLabels({T("PropColName", "Property"), T("PropColValue", "Value")});
  tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  tree_->setAlternatingRowColors(true);
  tree_->setSelectionMode(QAbstractItemView::NoSelection);
  info_ = new QPlainTextEdit(split);
  info_->setReadOnly(true);
  info_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  info_->setLineWrapMode(QPlainTextEdit::NoWrap);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  setWidget(split);
}

void PropertyDock::setDocument(CChildFrame* frame) {
  frame_ = frame;
  refresh(true);
}

void PropertyDock::refresh(bool force) {
  std::vector<const model::CEntity*> selection;
  if (frame_) {
    for (const model::CEntity* e : frame_->document().graph().selection()) selection.push_back(e);
  }
  const bool same = selection == shown_ && (!frame_) == shownEmpty_;
  if (same && !force) return;
  if (!same || !tree_->isAncestorOf(QApplication::focusWidget())) {
    shown_ = std::move(selection);
    shownEmpty_ = !frame_;
    rebuild();
  }
}

void PropertyDock::rebuild() {
  tree_->clear();
  info_->clear();
  grid_.clear();
  setEnabled(frame_ != nullptr);
  if (!frame_) return;
  model::CGraph& graph = frame_->document().graph();
  std::vector<std::string> lines;
  graph.selectionInfo(lines);
  QStringList text;
  for (const std::string& line : lines) text << Q(line);
  info_->setPlainText(text.join(QLatin1Char('\n')));

  graph.fillProperties(grid_);
  std::vector<QTreeWidgetItem*> groups;
  for (const model::PropertyGroup& group : grid_.groups()) {
    auto* item = new QTreeWidgetItem(tree_, {Q(group.label)});
    item->setFirstColumnSpanned(true);
    QFont font = item->font(0);
    font.setBold(true);
    item->setFont(0, font);
    item->setExpanded(true);
    groups.push_back(item);
  }
  for (int row = 0; row < grid_.rowCount(); ++row) {
    const model::PropertyRow& r = grid_.row(row);
    QTreeWidgetItem* parent = r.group >= 0 && r.group < static_cast<int>(groups.size()) ? groups[r.group] : nullptr;
    auto* item = parent ? new QTreeWidgetItem(parent, {Q(r.label)}) : new QTreeWidgetItem(tree_, {Q(r.label)});
    item->setData(0, Qt::UserRole, row);
    if (r.kind == model::PropertyKind::ReadOnly) {
      item->setText(1, Q(r.value));
      item->setForeground(1, tree_->palette().color(QPalette::Disabled, QPalette::Text));
    } else {
      tree_->setItemWidget(item, 1, editorFor(row));
    }
  }
  tree_->expandAll();
}

QWidget* PropertyDock::editorFor(int row) {
  const model::PropertyRow& r = grid_.row(row);
  // Every commit is applied after the widget's signal has returned: the
  // edit rebuilds the grid and deletes the widget.
  const auto later = [this, row](int value, QString text) {
    QMetaObject::invokeMethod(this, [this, row, value, text] { editRow(row, value, text); }, Qt::QueuedConnection);
  };
  switch (r.kind) {
    case model::PropertyKind::Choice: {
      auto* box = new QComboBox(tree_);
      box->addItems(Q(r.choices).split(QLatin1Char('|')));
      box->setCurrentText(Q(r.value));
      connect(box, &QComboBox::activated, this, [box, later](int) { later(box->currentIndex(), box->currentText()); });
      return box;
    }
    case model::PropertyKind::Number: {
      auto* edit = new QLineEdit(Q(r.value), tree_);
      edit->setFrame(false);
      const QString original = edit->text();
      connect(edit, &QLineEdit::editingFinished, this, [edit, original, later] {
        if (edit->text() != original) later(0, edit->text());
      });
      return edit;
    }
    case model::PropertyKind::Colour: {
      auto* button = new QToolButton(tree_);
      button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
      button->setAutoRaise(true);
      button->setIcon(ColourSwatch(static_cast<settings::ColorIndex>(r.index), 14,
                                   static_cast<settings::ColorIndex>(r.layerColour)));
      button->setText(Q(r.value));
      const int current = r.index;
      connect(button, &QToolButton::clicked, this, [this, current, later] {
        const int chosen = ColorIndexDlg::Pick(static_cast<settings::ColorIndex>(current), true, this);
        if (chosen > 0) later(chosen, QString::number(chosen));
      });
      return button;
    }
    case model::PropertyKind::Index: {
      auto* spin = new QSpinBox(tree_);
      spin->setRange(1, std::max(1, r.maxIndex));
      spin->setValue(r.index);
      spin->setFrame(false);
      spin->setKeyboardTracking(false);
      connect(spin, &QSpinBox::valueChanged, this, [later](int value) { later(value, QString::number(value)); });
      return spin;
    }
    case model::PropertyKind::Button: {
      auto* button = new QPushButton(Q(r.label), tree_);
      connect(button, &QPushButton::clicked, this, [later] { later(0, QString()); });
      return button;
    }
    case model::PropertyKind::ReadOnly:
      break;
  }
  return nullptr;
}

int PropertyDock::editRow(int row, int value, const QString& text) {
  if (!frame_ || row < 0 || row >= grid_.rowCount()) return model::kPropertyInvalid;
  model::CGraph& graph = frame_->document().graph();
  const int result = graph.editProperty(row, value, S(text), grid_);
  if (result == model::kPropertyInvalid)
    platform::ShowMessage(settings::Text("InvalidDataMsg", "Invalid data !"), platform::MessageKind::Error);
  shown_.clear();
  refresh(true);
  if (result == model::kPropertyChanged || result == model::kPropertyLayerChange) emit drawingChanged();
  return result;
}

}  // namespace quillon::ui
