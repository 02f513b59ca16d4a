#include "color_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "settings/current_options.h"
#include "ui_text.h"

namespace quillon::ui {

QIcon ColourSwatch(settings::ColorIndex index, int size, settings::ColorIndex layerColour) {
  const settings::Rgb background = settings::CurrentTraceOption().color(settings::DisplayColor::BackGround);
  if (index <= 0 || index >= settings::kColorByLayer) index = layerColour;
  const settings::Rgb rgb = settings::ResolveColor(index, nullptr, false, background);
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(QColor(0x5E, 0x5C, 0x64));
  painter.setBrush(QColor(rgb.r, rgb.g, rgb.b));
  painter.drawRect(QRectF(0.5, 0.5, size - 1, size - 1));
  return QIcon(pixmap);
}

ColorIndexDlg::ColorIndexDlg(settings::ColorIndex current, bool allowByLayer, QWidget* parent)
    : QDialog(parent), chosen_(current) {
  setWindowTitle(T("SelectColorCap", "Select Color"));
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(Q(settings::ColorName(current)), this);
  auto* grid = new QGridLayout();
  grid->setSpacing(1);
  // 24 columns of the palette's hue rows, the nine standard colours first.
  for (int index = 1; index <= 255; ++index) {
    auto* button = new QToolButton(this);
    button->setIcon(ColourSwatch(static_cast<settings::ColorIndex>(index), 16));
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setCheckable(true);
    button->setChecked(index == current);
    button->setToolTip(Q(settings::ColorName(static_cast<settings::ColorIndex>(index))));
    button->setObjectName(QStringLiteral("colour%1").arg(index));
    const int position = index <= 9 ? index - 1 : index + 14;
    grid->addWidget(button, position / 24, position % 24);
    connect(button, &QToolButton::clicked, this, [this, index, name] {
      chosen_ = static_cast<settings::ColorIndex>(index);
      name->setText(Q(settings::ColorName(chosen_)));
      accept();
    });
  }
  layout->addLayout(grid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(T("ButtonCancel", "&Cancel"));
  if (allowByLayer) {
    QPushButton* byLayer = buttons->addButton(T("clByLayer", "Bylayer"), QDialogButtonBox::ActionRole);
    connect(byLayer, &QPushButton::clicked, this, [this] {
      chosen_ = settings::kColorByLayer;
      accept();
    });
  }
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* bottom = new QHBoxLayout();
  bottom->addWidget(name, 1);
  bottom->addWidget(buttons);
  layout->addLayout(bottom);
}

int ColorIndexDlg::Pick(settings::ColorIndex current, bool allowByLayer, QWidget* parent) {
  ColorIndexDlg dialog(current, allowByLayer, parent);
  return dialog.exec() == QDialog::Accepted ? dialog.chosen() : -1;
}

}  // namespace quillon::ui
