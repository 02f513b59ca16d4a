#include "edit_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <numbers>

#include "editor/option_dialog.h"
#include "model/graph.h"
#include "settings/current_options.h"
#include "ui_text.h"

namespace quillon::ui {
QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(T("ButtonOK", "O&K"));
  buttons->button(QDialogButtonBox::Cancel)->setText(T("ButtonCancel", "&Cancel"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

ExplodeDlg::ExplodeDlg(bool hasSelection, QWidget* parent) : QDialog(parent) {
  setWindowTitle(T("ExplodeDlgCap", "Explode set"));
  auto* layout = new QVBoxLayout(this);
  all_ = new QRadioButton(T("ExplodeDlgAll", "Explode &All Vectors"), this);
  auto* selected = new QRadioButton(T("ExplodeDlgSel", "Explode &Selected Vectors"), this);
  selected->setEnabled(hasSelection);
  (hasSelection ? selected : all_)->setChecked(true);
  layout->addWidget(all_);
  layout->addWidget(selected);
  layout->addWidget(OkCancel(this));
}

bool ExplodeDlg::all() const { return all_->isChecked(); }

SeparateDlg::SeparateDlg(const platform::KeyValueStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setWindowTitle(T("SepLayersDlgCap", "Separate Layers by Width"));
  auto* layout = new QFormLayout(this);
  box_ = new QComboBox(this);
  for (const std::string& name : settings::WidthSeries::List(store)) box_->addItem(Q(name));
  const int current = box_->findText(Q(settings::CurrentTraceOption().s_WidthSeries.name()), Qt::MatchFixedString);
  if (current >= 0) box_->setCurrentIndex(current);
  widths_ = new QLabel(this);
  widths_->setWordWrap(true);
  layout->addRow(T("SepLayersDlgSeries", "Width series:"), box_);
  layout->addRow(T("SepLayersDlgWidths", "Widths:"), widths_);
  layout->addRow(new QLabel(T("SepLayersDlgNote", "Each width gets a layer; vectors of other widths go to \"other\"."), this));
  layout->addRow(OkCancel(this));
  connect(box_, &QComboBox::currentIndexChanged, this, [this] { showSeries(); });
  showSeries();
}

void SeparateDlg::showSeries() {
  series_ = settings::WidthSeries();
  series_.Load(store_, S(box_->currentText()));
  QStringList values;
  for (double w : series_.widths()) values << QString::number(w, 'g', 6);
  widths_->setText(values.join(QStringLiteral("  ")) + QLatin1Char(' ') + Q(settings::WidthUnitName(series_.unit())));
}

DrawingAidsDlg::DrawingAidsDlg(model::CGraph& graph, QWidget* parent) : QDialog(parent), graph_(graph) {
  setWindowTitle(T("OptionDlgCaption", "Drawing Aids"));
  const model::DrawingAids& aids = graph.aids;
  auto* layout = new QVBoxLayout(this);

  auto* snap = new QGroupBox(T("OptionDlgOsnap", "Object snap"), this);
  auto* snapLayout = new QGridLayout(snap);
  osnapOn_ = new QCheckBox(T("OptionDlgOsnapOn", "Object snap &on"), snap);
  osnapOn_->setChecked(aids.osnapOn != 0);
  snapLayout->addWidget(osnapOn_, 0, 0, 1, 2);
  int i = 0;
  for (const editor::OsnapModeLabel& mode : editor::kOsnapModeLabels) {
    auto* box = new QCheckBox(T(mode.key, mode.text), snap);
    box->setProperty("bit", mode.bit);
    box->setChecked((aids.osnapModes & mode.bit) != 0);
    modes_ << box;
    snapLayout->addWidget(box, 1 + i / 2, i % 2);
    ++i;
  }
  layout->addWidget(snap);

  auto* grid = new QGroupBox(T("OptionDlgSnap", "Grid and ortho"), this);
  auto* form = new QFormLayout(grid);
  gridOn_ = new QCheckBox(T("OptionDlgGridOn", "&Grid on (display and snap)"), grid);
  gridOn_->setChecked(aids.gridOn != 0);
  form->addRow(gridOn_);
  const auto spin = [grid](double value, double low, double high, int decimals) {
    auto* s = new QDoubleSpinBox(grid);
    s->setRange(low, high);
    s->setDecimals(decimals);
    s->setValue(value);
    return s;
  };
  spacingX_ = spin(aids.gridSpacingX, 0.001, 1e7, 3);
  spacingY_ = spin(aids.gridSpacingY, 0.001, 1e7, 3);
  angle_ = spin(aids.gridAngle * 180.0 / std::numbers::pi, -360.0, 360.0, 3);
  form->addRow(T("OptionDlgGridX", "Grid spacing &X (pixels):"), spacingX_);
  form->addRow(T("OptionDlgGridY", "Grid spacing &Y (pixels):"), spacingY_);
  form->addRow(T("OptionDlgSnapAngle", "Snap &angle (degrees):"), angle_);
  ortho_ = new QCheckBox(T("OptionDlgOrtho", "O&rtho"), grid);
  ortho_->setChecked(aids.orthoOn != 0);
  form->addRow(ortho_);
  layout->addWidget(grid);
  layout->addWidget(OkCancel(this));
}

void DrawingAidsDlg::accept() {
  model::DrawingAids& aids = graph_.aids;
  aids.osnapOn = osnapOn_->isChecked() ? 1 : 0;
  int mask = 0;
  for (QCheckBox* box : std::as_const(modes_))
    if (box->isChecked()) mask |= box->property("bit").toInt();
  aids.osnapModes = mask;
  aids.gridOn = gridOn_->isChecked() ? 1 : 0;
  aids.gridSpacingX = spacingX_->value();
  aids.gridSpacingY = spacingY_->value();
  aids.gridAngle = angle_->value() * std::numbers::pi / 180.0;
  aids.orthoOn = ortho_->isChecked() ? 1 : 0;
  QDialog::accept();
}

}  // namespace quillon::ui
