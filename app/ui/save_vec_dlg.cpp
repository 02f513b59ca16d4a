#include "save_vec_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>

#include "editor/document.h"
#include "editor/save_vector_dialog.h"
#include "formats/format_table.h"
#include "settings/current_options.h"
#include "ui_text.h"

namespace quillon::ui {

CSaveVecDlg::CSaveVecDlg(editor::SaveVectorDialog& model, QWidget* parent) : QDialog(parent), model_(model) {
  setWindowTitle(Plain(T("SaveVecDlgCap", "Save Vector")));
  setMinimumWidth(520);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout();
  auto* fileRow = new QHBoxLayout();
  file_ = new QLineEdit(this);
  auto* browse = new QPushButton(T("SaveVecDlgBrowse", "&Browse..."), this);
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(browse);
  auto* fileLabel = new QLabel(T("SaveVecDlgFileName", "File &name:"), this);
  fileLabel->setBuddy(file_);
  form->addRow(fileLabel, fileRow);
  type_ = new QComboBox(this);
  for (const formats::OutputFormat& format : formats::OutputFormats())
    type_->addItem(Q(formats::FormatDisplayName(format)), format.index);
  form->addRow(T("SaveVecDlgFileType", "Save as &type:"), type_);
  layout->addLayout(form);

  size_ = new QGroupBox(T("SaveVecDlgDestGraphicSize", "Destination graphics size"), this);
  auto* sizeForm = new QFormLayout(size_);
  width_ = new QLineEdit(size_);
  height_ = new QLineEdit(size_);
  unit_ = new QComboBox(size_);
  unit_->addItems({T("UnitNameInch", "Inch"), T("UnitNamecm", "cm"), T("UnitNamemm", "mm"), T("UnitNamePixel", "Pixel")});
  sizeForm->addRow(T("SaveVecDlgSVGWidth", "Width"), width_);
  sizeForm->addRow(T("SaveVecDlgSVGHeight", "Height"), height_);
  sizeForm->addRow(T("SaveVecDlgSVGUnit", "Unit"), unit_);
  layout->addWidget(size_);
  saveWidth_ = new QCheckBox(T("SaveVecDlgSaveWidth", "Save &width infomation into vector file"), this);
  layout->addWidget(saveWidth_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(T("ButtonOK", "O&K"));
  buttons->button(QDialogButtonBox::Cancel)->setText(T("ButtonCancel", "&Cancel"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CSaveVecDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(browse, &QPushButton::clicked, this, &CSaveVecDlg::browse);

  showModel();
  connect(type_, &QComboBox::currentIndexChanged, this, &CSaveVecDlg::typeChanged);
}

void CSaveVecDlg::showModel() {
  const QSignalBlocker block(type_);
  file_->setText(QPath(model_.fileName));
  type_->setCurrentIndex(model_.formatIndex() - 1);
  width_->setText(Q(model_.widthText));
  height_->setText(Q(model_.heightText));
  unit_->setCurrentIndex(model_.unit);
  saveWidth_->setChecked(model_.saveWidth);
  size_->setEnabled(model_.sizeGroupEnabled());
  saveWidth_->setEnabled(model_.saveWidthEnabled());
}

void CSaveVecDlg::typeChanged(int row) {
  // The typed name goes to the model first so the new extension replaces
  // what the user wrote, not what the dialog opened with.
  model_.fileName = PathOf(file_->text());
  model_.widthText = S(width_->text());
  model_.heightText = S(height_->text());
  model_.unit = unit_->currentIndex();
  model_.saveWidth = saveWidth_->isChecked();
  model_.selectFormat(row + 1);
  showModel();
}

void CSaveVecDlg::browse() {
  const formats::OutputFormat& format = formats::FormatForIndex(model_.formatIndex());
  const QString pattern = QStringLiteral("*") + Q(std::string(format.extension));
  const QString chosen = QFileDialog::getSaveFileName(this, windowTitle(), file_->text(),
                                                      Q(formats::FormatDisplayName(format)) + QStringLiteral(" (") +
                                                          pattern + QStringLiteral(")"),
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
  if (!chosen.isEmpty()) file_->setText(chosen);
}

void CSaveVecDlg::accept() {
  model_.fileName = PathOf(file_->text());
  model_.widthText = S(width_->text());
  model_.heightText = S(height_->text());
  model_.unit = unit_->currentIndex();
  model_.saveWidth = saveWidth_->isChecked();
  if (!model_.accept()) {
    switch (model_.focus()) {
      case editor::SaveVectorDialog::Field::Width: width_->setFocus(); width_->selectAll(); break;
      case editor::SaveVectorDialog::Field::Height: height_->setFocus(); height_->selectAll(); break;
      default: file_->setFocus(); break;
    }
    return;
  }
  const QString target = QPath(model_.targetFileName());
  if (QFileInfo::exists(target) &&
      QMessageBox::question(this, windowTitle(),
                            T("SaveVecDlgReplace", "%1 already exists.\nDo you want to replace it?").arg(target),
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    return;
  QDialog::accept();
}

bool RunSaveVector(editor::Document& document, platform::KeyValueStore& store, bool showWidth, QWidget* parent,
                   const std::function<bool(editor::SaveVectorDialog&)>& dialog, std::string* savedFile) {
  std::atomic<int> percent{0};
  QProgressDialog* progress = nullptr;
  editor::SaveVectorHooks hooks;
  hooks.showDialog = dialog ? dialog : [parent](editor::SaveVectorDialog& model) {
    CSaveVecDlg window(model, parent);
    return window.exec() == QDialog::Accepted;
  };
  hooks.progress = [&percent](std::string_view, int value) { percent.store(value); };
  hooks.pump = [&] {
    if (progress == nullptr && parent != nullptr) {
      progress = new QProgressDialog(T("SaveVecProgress", "Saving..."), QString(), 0, 100, parent);
      progress->setWindowModality(Qt::WindowModal);
      progress->setMinimumDuration(400);
    }
    if (progress != nullptr) progress->setValue(percent.load());
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  const editor::SaveVectorResult result =
      editor::SaveVectorCommand(document.graph(), store, settings::CurrentTraceOption(), document.fileName(),
                                showWidth, hooks, savedFile);
  delete progress;
  return result == editor::SaveVectorResult::Saved;
}

}  // namespace quillon::ui
