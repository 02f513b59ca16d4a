#include "option_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "child_frame.h"
#include "color_dialog.h"
#include "drawing_view.h"
#include "edit_dialogs.h"
#include "editor/document.h"
#include "main_frame.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "settings/current_options.h"
#include "ui_text.h"

namespace quillon::ui {

namespace {

// The series box with its label, Save As and Delete: the top row of the
// width and angle pages.
QHBoxLayout* SeriesRow(QWidget* page, QComboBox*& series, QPushButton*& saveAs, QPushButton*& remove,
                       const QString& label, const QString& saveAsText, const QString& deleteText) {
  auto* top = new QHBoxLayout();
  series = new QComboBox(page);
  series->setMinimumWidth(180);
  auto* seriesLabel = new QLabel(label, page);
  seriesLabel->setBuddy(series);
  saveAs = new QPushButton(saveAsText, page);
  remove = new QPushButton(deleteText, page);
  top->addWidget(seriesLabel);
  top->addWidget(series, 1);
  top->addWidget(saveAs);
  top->addWidget(remove);
  return top;
}

void FillBox(QComboBox* box, const std::vector<std::string>& names, int selection) {
  const QSignalBlocker block(box);
  box->clear();
  for (const std::string& name : names) box->addItem(Q(name));
  box->setCurrentIndex(selection);
}

void FillList(QListWidget* list, const std::vector<std::string>& rows, int current) {
  const QSignalBlocker block(list);
  list->clear();
  for (const std::string& row : rows) list->addItem(Q(row));
  list->setCurrentRow(current);
}

std::optional<std::string> AskWithDialog(QWidget* parent, const QString& title, const std::vector<std::string>& listed,
                                         std::string_view questionKey, std::string_view question) {
  SeriesNameDlg dialog(title, listed, questionKey, question, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.name();
}

}  // namespace

// ---- name dialog ---------------------------------------------------------------------

SeriesNameDlg::SeriesNameDlg(const QString& title, const std::vector<std::string>& listed,
                             std::string_view questionKey, std::string_view question, QWidget* parent)
    : QDialog(parent), listed_(listed), questionKey_(questionKey), question_(question) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  auto* names = new QListWidget(this);
  for (const std::string& name : listed) names->addItem(Q(name));
  edit_ = new QLineEdit(this);
  layout->addWidget(names);
  layout->addWidget(edit_);
  QDialogButtonBox* buttons = OkCancel(this);
  layout->addWidget(buttons);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setEnabled(false);
  connect(edit_, &QLineEdit::textChanged, this, [ok](const QString& text) { ok->setEnabled(!text.isEmpty()); });
  connect(names, &QListWidget::currentTextChanged, edit_, &QLineEdit::setText);
}

std::string SeriesNameDlg::name() const { return S(edit_->text()); }

void SeriesNameDlg::accept() {
  if (editor::ConfirmSeriesName(listed_, name(), questionKey_, question_)) QDialog::accept();
}

// ---- width series --------------------------------------------------------------------

CWidthPage::CWidthPage(editor::WidthSeriesPage& model, QWidget* parent) : QWidget(parent), model_(model) {
  askName = [this](const QString& title, const std::vector<std::string>& listed) {
    return AskWithDialog(this, title, listed, "PreferDlgNewSeriesErrMsg",
                         "The width series already exist.\nOverwrite it?");
  };
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(SeriesRow(this, series_, saveAs_, delete_, T("PreferDlgSeriesName", "&Series:"),
                              T("PreferDlgSaveAs", "Save &As..."), T("PreferDlgDelete", "&Delete")));

  auto* form = new QFormLayout();
  unit_ = new QComboBox(this);
  for (int unit = settings::WidthSeries::kUnitInch; unit <= settings::WidthSeries::kUnitPixel; ++unit)
    unit_->addItem(Q(settings::WidthUnitName(unit)));
  moreWidth_ = new QComboBox(this);
  for (int mode = settings::WidthSeries::kMoreWidthShrink; mode <= settings::WidthSeries::kMoreWidthEqual; ++mode)
    moreWidth_->addItem(Q(settings::MoreWidthModeName(mode)));
  form->addRow(T("PreferDlgUnit", "&Unit:"), unit_);
  form->addRow(T("PreferDlgMoreWidth", "Widths &beyond the largest:"), moreWidth_);
  layout->addLayout(form);

  auto* rows = new QHBoxLayout();
  list_ = new QListWidget(this);
  rows->addWidget(list_, 1);
  auto* side = new QVBoxLayout();
  item_ = new QLineEdit(this);
  auto* itemLabel = new QLabel(T("PreferDlgWidthItem", "&Width:"), this);
  itemLabel->setBuddy(item_);
  add_ = new QPushButton(T("PreferDlgAddItem", "&Add"), this);
  update_ = new QPushButton(T("PreferDlgUpdateItem", "U&pdate"), this);
  remove_ = new QPushButton(T("PreferDlgRemoveItem", "&Remove"), this);
  side->addWidget(itemLabel);
  side->addWidget(item_);
  side->addWidget(add_);
  side->addWidget(update_);
  side->addWidget(remove_);
  side->addStretch(1);
  rows->addLayout(side);
  layout->addLayout(rows, 1);

  connect(series_, &QComboBox::activated, this, [this](int index) {
    commit();
    model_.select(index);
    showModel();
  });
  connect(list_, &QListWidget::currentRowChanged, this, &CWidthPage::rowChosen);
  connect(add_, &QPushButton::clicked, this, &CWidthPage::addItem);
  connect(item_, &QLineEdit::returnPressed, this, &CWidthPage::addItem);
  connect(update_, &QPushButton::clicked, this, &CWidthPage::updateItem);
  connect(remove_, &QPushButton::clicked, this, &CWidthPage::removeItem);
  connect(saveAs_, &QPushButton::clicked, this, &CWidthPage::saveAs);
  connect(delete_, &QPushButton::clicked, this, &CWidthPage::deleteSeries);
  showModel();
}

void CWidthPage::commit() {
  model_.unit = unit_->currentIndex();
  model_.moreWidthMode = moreWidth_->currentIndex();
  model_.itemText = S(item_->text());
}

void CWidthPage::showModel() {
  FillBox(series_, model_.names(), model_.selection());
  unit_->setCurrentIndex(model_.unit);
  moreWidth_->setCurrentIndex(model_.moreWidthMode);
  FillList(list_, model_.rows(), list_->currentRow());
  delete_->setEnabled(model_.canDelete());
  update_->setEnabled(list_->currentRow() >= 0);
  remove_->setEnabled(list_->currentRow() >= 0);
}

void CWidthPage::rowChosen(int row) {
  if (row >= 0) item_->setText(list_->item(row)->text());
  update_->setEnabled(row >= 0);
  remove_->setEnabled(row >= 0);
}

void CWidthPage::addItem() {
  commit();
  const int row = model_.addItem();
  if (row < 0) {
    item_->setFocus();
    item_->selectAll();
    return;
  }
  showModel();
  list_->setCurrentRow(row);
  item_->clear();
  item_->setFocus();
}

void CWidthPage::updateItem() {
  commit();
  const int row = model_.updateItem(list_->currentRow());
  if (row < 0) {
    item_->setFocus();
    item_->selectAll();
    return;
  }
  showModel();
  list_->setCurrentRow(row);
}

void CWidthPage::removeItem() {
  const int row = list_->currentRow();
  if (!model_.removeItem(row)) return;
  showModel();
  list_->setCurrentRow(std::min(row, list_->count() - 1));
}

void CWidthPage::saveAs() {
  commit();
  const std::optional<std::string> name = askName(Plain(T("PreferDlgNewSeries", "New Width Series")), model_.names());
  if (name && model_.saveAs(*name)) showModel();
}

void CWidthPage::deleteSeries() {
  if (model_.deleteSelected()) {
    item_->clear();
    showModel();
  }
}

// ---- angle series --------------------------------------------------------------------

AngleDiagram::AngleDiagram(QWidget* parent) : QWidget(parent) {
  setMinimumSize(200, 110);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void AngleDiagram::setEntries(std::vector<settings::AngleEntry> entries, int chosen) {
  entries_ = std::move(entries);
  chosen_ = chosen;
  update();
}

void AngleDiagram::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), palette().base());
  // A half circle: every angle lies between 0 and 180 degrees.
  const double radius = std::max(10.0, std::min(width() / 2.0, double(height())) - 8.0);
  const QPointF centre(width() / 2.0, height() - 4.0);
  painter.setPen(QPen(palette().mid().color(), 1));
  painter.drawLine(QPointF(centre.x() - radius, centre.y()), QPointF(centre.x() + radius, centre.y()));
  const auto ray = [&](double angle, const QColor& colour, Qt::PenStyle style, double penWidth) {
    painter.setPen(QPen(colour, penWidth, style));
    painter.drawLine(centre, centre + QPointF(std::cos(angle) * radius, -std::sin(angle) * radius));
  };
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Qt::PenStyle style = static_cast<int>(i) == chosen_ ? Qt::DotLine : Qt::SolidLine;
    ray(entries_[i].maxAngle, Qt::red, style, 1);
    ray(entries_[i].minAngle, QColor(0, 160, 0), style, 1);
    ray(entries_[i].mainAngle, palette().text().color(), style, 2);
  }
}

CAnglePage::CAnglePage(editor::AngleSeriesPage& model, QWidget* parent) : QWidget(parent), model_(model) {
  askName = [this](const QString& title, const std::vector<std::string>& listed) {
    return AskWithDialog(this, title, listed, "NewAngleSeriesErrMsg", "The angle series already exist.\nOverwrite it?");
  };
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(SeriesRow(this, series_, saveAs_, delete_, T("AngSeriesName", "&Series:"),
                              T("AngSeriesSaveAs", "Save &As..."), T("AngSeriesDelete", "&Delete")));

  auto* middle = new QHBoxLayout();
  list_ = new QListWidget(this);
  middle->addWidget(list_, 1);
  auto* side = new QVBoxLayout();
  auto* form = new QFormLayout();
  main_ = new QLineEdit(this);
  max_ = new QLineEdit(this);
  min_ = new QLineEdit(this);
  form->addRow(T("AngSeriesMain", "Ma&in angle:"), main_);
  form->addRow(T("AngSeriesMax", "Ma&x angle:"), max_);
  form->addRow(T("AngSeriesMin", "Mi&n angle:"), min_);
  side->addLayout(form);
  add_ = new QPushButton(T("AngSeriesAdd", "&Add"), this);
  update_ = new QPushButton(T("AngSeriesUpdate", "U&pdate"), this);
  remove_ = new QPushButton(T("AngSeriesRemove", "&Remove"), this);
  side->addWidget(add_);
  side->addWidget(update_);
  side->addWidget(remove_);
  side->addStretch(1);
  middle->addLayout(side);
  layout->addLayout(middle, 1);
  layout->addWidget(new QLabel(T("AngSeriesDegrees", "Angles in degrees, 0 to 180: main (min .. max)."), this));
  diagram_ = new AngleDiagram(this);
  layout->addWidget(diagram_, 1);

  connect(series_, &QComboBox::activated, this, [this](int index) {
    model_.select(index);
    showModel();
  });
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    model_.selectRow(row);
    showFields();
    diagram_->setEntries(model_.series().entries(), model_.currentRow());
    update_->setEnabled(row >= 0);
    remove_->setEnabled(row >= 0);
  });
  connect(add_, &QPushButton::clicked, this, [this] {
    takeFields();
    const int row = model_.add();
    if (row < 0) return focusField();
    showModel();
  });
  connect(update_, &QPushButton::clicked, this, [this] {
    takeFields();
    if (model_.update() < 0) return focusField();
    showModel();
  });
  connect(remove_, &QPushButton::clicked, this, [this] {
    if (model_.remove()) showModel();
  });
  connect(saveAs_, &QPushButton::clicked, this, [this] {
    const std::optional<std::string> name = askName(Plain(T("NewAngleSeries", "New Angle Series")), model_.names());
    if (name && model_.saveAs(*name)) showModel();
  });
  connect(delete_, &QPushButton::clicked, this, [this] {
    if (model_.deleteSelected()) showModel();
  });
  showModel();
}

void CAnglePage::takeFields() {
  model_.mainText = S(main_->text());
  model_.maxText = S(max_->text());
  model_.minText = S(min_->text());
}

void CAnglePage::showFields() {
  main_->setText(Q(model_.mainText));
  max_->setText(Q(model_.maxText));
  min_->setText(Q(model_.minText));
}

void CAnglePage::focusField() {
  QLineEdit* field = model_.focus() == settings::AngleField::Max   ? max_
                     : model_.focus() == settings::AngleField::Min ? min_
                                                                   : main_;
  field->setFocus();
  field->selectAll();
}

void CAnglePage::showModel() {
  FillBox(series_, model_.names(), model_.selection());
  FillList(list_, model_.rows(), model_.currentRow());
  showFields();
  delete_->setEnabled(model_.canDelete());
  update_->setEnabled(model_.currentRow() >= 0);
  remove_->setEnabled(model_.currentRow() >= 0);
  diagram_->setEntries(model_.series().entries(), model_.currentRow());
}

// ---- raster threshold ----------------------------------------------------------------

CRasterThreshPage::CRasterThreshPage(editor::RasterThreshPage& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  auto* layout = new QVBoxLayout(this);
  auto_ = new QCheckBox(T("RasterThreshAuto", "&Automatic threshold (the raster chooses it from its histogram)"), this);
  auto_->setChecked(model.autoGray);
  layout->addWidget(auto_);
  auto* form = new QFormLayout();
  gray_ = new QLineEdit(Q(model.grayText), this);
  gray_->setMaximumWidth(80);
  form->addRow(T("RasterThreshValue", "Fixed &threshold (0-255):"), gray_);
  layout->addLayout(form);
  const QString suggested =
      model.suggested ? T("RasterThreshSuggested", "Suggested for the active raster:") + QLatin1Char(' ') +
                            QString::number(*model.suggested)
                      : T("RasterThreshNoRaster", "Open a grey or colour raster to see the threshold it suggests.");
  layout->addWidget(new QLabel(suggested, this));
  layout->addWidget(new QLabel(T("RasterThreshNote", "Pixels as dark as the threshold or darker become ink when "
                                                     "the raster is made black and white."),
                               this));
  layout->addStretch(1);
  gray_->setEnabled(!model.autoGray);
  connect(auto_, &QCheckBox::toggled, gray_, [this](bool on) { gray_->setEnabled(!on); });
}

void CRasterThreshPage::commit() {
  model_.autoGray = auto_->isChecked();
  model_.grayText = S(gray_->text());
}

// ---- drawing -------------------------------------------------------------------------

CDrawingPage::CDrawingPage(editor::DrawingPage& model, QWidget* parent) : QWidget(parent), model_(model) {
  pickColor = [this](settings::ColorIndex current) { return ColorIndexDlg::Pick(current, false, this); };
  auto* layout = new QGridLayout(this);

  auto* undo = new QGroupBox(T("OptionDlgUndo", "Undo"), this);
  auto* undoForm = new QFormLayout(undo);
  vectorUndo_ = new QSpinBox(undo);
  vectorUndo_->setRange(1, 100);
  vectorUndo_->setValue(model.vectorUndoSteps);
  rasterUndo_ = new QSpinBox(undo);
  rasterUndo_->setRange(1, 10);
  rasterUndo_->setValue(model.rasterUndoSteps);
  undoForm->addRow(T("OptionDlgVectorUndoSteps", "&Vector Undo Steps"), vectorUndo_);
  undoForm->addRow(T("OptionDlgRasterUndoSteps", "&Raster Undo Steps"), rasterUndo_);
  layout->addWidget(undo, 0, 0);

  auto* snap = new QGroupBox(T("OptionDlgOsnap", "Object snap"), this);
  auto* snapLayout = new QGridLayout(snap);
  osnapOn_ = new QCheckBox(T("OptionDlgOsnapOn", "Object snap &on"), snap);
  osnapOn_->setChecked(model.osnap.on);
  snapLayout->addWidget(osnapOn_, 0, 0, 1, 2);
  int i = 0;
  for (const editor::OsnapModeLabel& mode : editor::kOsnapModeLabels) {
    auto* box = new QCheckBox(T(mode.key, mode.text), snap);
    box->setProperty("bit", mode.bit);
    box->setChecked((model.osnap.mode & mode.bit) != 0);
    modes_ << box;
    snapLayout->addWidget(box, 1 + i / 2, i % 2);
    ++i;
  }
  layout->addWidget(snap, 1, 0);

  auto* colours = new QGroupBox(T("PreferDlgColors", "Display colours"), this);
  auto* colourForm = new QFormLayout(colours);
  for (size_t c = 0; c < settings::kDisplayColorCount; ++c) {
    auto* button = new QToolButton(colours);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setObjectName(QStringLiteral("colour%1").arg(c));
    colors_[c] = button;
    colourForm->addRow(Q(editor::DisplayColorLabel(static_cast<settings::DisplayColor>(c))), button);
    showColor(c);
    connect(button, &QToolButton::clicked, this, [this, c] {
      const int chosen = pickColor(model_.colors[c]);
      if (chosen < 0) return;
      model_.colors[c] = static_cast<settings::ColorIndex>(chosen);
      showColor(c);
    });
  }
  grip_ = new QSpinBox(colours);
  grip_->setRange(1, editor::DrawingPage::kMaxGripBoxHalfWidth);
  grip_->setValue(model.gripBoxHalfWidth);
  colourForm->addRow(T("PreferDlgGripSize", "&Grip box half size (pixels):"), grip_);
  gridPoint_ = new QComboBox(colours);
  gridPoint_->addItems({T("PreferDlgGridDot", "Dot"), T("PreferDlgGridCross", "Upright cross"),
                        T("PreferDlgGridDiagonal", "Diagonal cross")});
  gridPoint_->setCurrentIndex(std::clamp(model.gridPointType, 0, 2));
  colourForm->addRow(T("PreferDlgGridPoint", "Grid &points:"), gridPoint_);
  layout->addWidget(colours, 0, 1, 2, 1);

  auto* note = new QLabel(T("OptionDlgNewWindows", "Undo steps and object snap apply to document windows opened "
                                                   "from now on; colours apply at once."),
                          this);
  note->setWordWrap(true);
  layout->addWidget(note, 2, 0, 1, 2);
  layout->setRowStretch(3, 1);
}

void CDrawingPage::showColor(size_t which) {
  QIcon swatch = ColourSwatch(model_.colors[which]);
  // The background itself resolves under the background rule (index 7 is white there).
  if (which == static_cast<size_t>(settings::DisplayColor::BackGround)) {
    const settings::Rgb rgb = settings::ResolveColor(model_.colors[which], nullptr, true, settings::kRgbWhite);
    QPixmap pixmap(14, 14);
    pixmap.fill(QColor(rgb.r, rgb.g, rgb.b));
    QPainter(&pixmap).drawRect(0, 0, 13, 13);
    swatch = QIcon(pixmap);
  }
  colors_[which]->setIcon(swatch);
  colors_[which]->setText(Q(settings::ColorName(model_.colors[which])));
}

void CDrawingPage::commit() {
  model_.vectorUndoSteps = vectorUndo_->value();
  model_.rasterUndoSteps = rasterUndo_->value();
  model_.osnap.on = osnapOn_->isChecked();
  uint32_t mask = 0;
  for (QCheckBox* box : std::as_const(modes_))
    if (box->isChecked()) mask |= box->property("bit").toUInt();
  // Bits the page does not list (none today) are kept as stored.
  uint32_t listed = 0;
  for (const editor::OsnapModeLabel& mode : editor::kOsnapModeLabels) listed |= mode.bit;
  model_.osnap.mode = (model_.osnap.mode & ~listed) | mask;
  model_.gripBoxHalfWidth = grip_->value();
  model_.gridPointType = gridPoint_->currentIndex();
}

// ---- language ------------------------------------------------------------------------

CLanguagePage::CLanguagePage(editor::LanguagePage& model, QWidget* parent) : QWidget(parent), model_(model) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(T("SetLanLanList", "Language List"), this));
  list_ = new QListWidget(this);
  for (const settings::LanguageFile& file : model.files())
    list_->addItem(Q(file.displayName) + QStringLiteral("  (") + QPath(file.fileName) + QLatin1Char(')'));
  list_->setCurrentRow(model.selection);
  layout->addWidget(list_, 1);
  auto* current = new QHBoxLayout();
  current->addWidget(new QLabel(T("SetLanCurLan", "Current Language"), this));
  current_ = new QLabel(Q(model.currentName()), this);
  current_->setObjectName(QStringLiteral("currentLanguage"));
  current->addWidget(current_, 1);
  layout->addLayout(current);
  auto* note = new QLabel(T("SetLanNote", "A new language takes effect at once for dialogs and messages opened from "
                                          "now on; menus and open windows show it after Quillon is started again."),
                          this);
  note->setWordWrap(true);
  layout->addWidget(note);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    model_.selection = row;
    current_->setText(Q(model_.currentName()));
  });
}

// ---- the dialog ----------------------------------------------------------------------

COptionDlg::COptionDlg(editor::OptionDialog& model, QWidget* parent) : QDialog(parent), model_(model) {
  setWindowTitle(T("PreferDlgCaption", "Options"));
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  width_ = new CWidthPage(model.width, tabs_);
  angle_ = new CAnglePage(model.angle, tabs_);
  thresh_ = new CRasterThreshPage(model.threshold, tabs_);
  drawing_ = new CDrawingPage(model.drawing, tabs_);
  language_ = new CLanguagePage(model.language, tabs_);
  tabs_->addTab(width_, T("PreferDlgWidthSeries", "Width Series"));
  tabs_->addTab(angle_, T("AngSeriesCaption", "Angle Series"));
  tabs_->addTab(thresh_, T("RasterThreshCaption", "Raster Threshold"));
  tabs_->addTab(drawing_, T("OptionDlgDrawing", "Drawing"));
  tabs_->addTab(language_, T("SetLanDlgCaption", "Set Language"));
  layout->addWidget(tabs_);
  layout->addWidget(OkCancel(this));
  resize(640, 480);
}

void COptionDlg::accept() {
  width_->commit();
  thresh_->commit();
  drawing_->commit();
  if (model_.accept()) return QDialog::accept();
  if (model_.focus() == editor::OptionDialog::Field::None) return;  // a store failure, reported
  using Field = editor::OptionDialog::Field;
  switch (model_.failedPage()) {
    case editor::OptionDialog::Page::Threshold:
      tabs_->setCurrentWidget(thresh_);
      thresh_->grayEdit()->setFocus();
      thresh_->grayEdit()->selectAll();
      break;
    case editor::OptionDialog::Page::Drawing:
      tabs_->setCurrentWidget(drawing_);
      (model_.focus() == Field::VectorUndoSteps   ? drawing_->vectorUndoBox()
       : model_.focus() == Field::RasterUndoSteps ? drawing_->rasterUndoBox()
                                                  : drawing_->gripBox())
          ->setFocus();
      break;
    default: break;
  }
}

bool RunOptionDialog(platform::KeyValueStore& store, QWidget* parent, std::optional<int> suggestedThreshold,
                     const std::function<bool(COptionDlg&)>& show) {
  editor::OptionDialog model(store, settings::CurrentTraceOption(), platform::DataDirectories(), suggestedThreshold);
  COptionDlg dialog(model, parent);
  return show ? show(dialog) : dialog.exec() == QDialog::Accepted;
}

void OptionsCommand(CMainFrame& frame, const std::function<bool(COptionDlg&)>& show) {
  std::optional<int> suggested;
  if (CChildFrame* child = frame.activeChild(); child != nullptr && child->document().hasRaster()) {
    raster::CRaster& raster = child->document().raster();
    if (raster.bitCount() > 1) suggested = raster.automaticThreshold();
  }
  if (!RunOptionDialog(frame.store(), &frame, suggested, show)) return;
  for (CChildFrame* child : frame.children()) child->view().drawingChanged();
  frame.updateUi();
}

}  // namespace quillon::ui
