#include "parameter_dlg.h"

#include <QCheckBox>
#include <QCoreApplication>
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
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "child_frame.h"
#include "drawing_view.h"
#include "editor/document.h"
#include "editor/parameter_dialog.h"
#include "model/graph.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "raster/raster.h"
#include "raster_image.h"
#include "painter_view.h"
#include "settings/number_text.h"
#include "settings/option_store.h"
#include "ui_text.h"

namespace quillon::ui {

using editor::ParameterDialog;
using settings::ParameterField;
using settings::TraceMethod;

namespace {

// Values are redrawn this long after the last edit, so typing a number
// traces once rather than once per key.
constexpr int kPreviewDelayMs = 300;

QStringList Texts(const std::vector<std::string>& items) {
  QStringList out;
  for (const auto& item : items) out << Q(item);
  return out;
}

// Shows text in an editable box without emitting its signals.
void ShowText(QComboBox* box, const std::string& text) {
  const QSignalBlocker block(box);
  const int row = box->findText(Q(text), Qt::MatchFixedString);
  box->setCurrentIndex(row);
  box->setEditText(Q(text));
}

void ShowText(QLineEdit* edit, const std::string& text) {
  const QSignalBlocker block(edit);
  if (edit->text() != Q(text)) edit->setText(Q(text));
}

void ShowCheck(QCheckBox* box, bool on) {
  const QSignalBlocker block(box);
  box->setChecked(on);
}

void ShowRow(QComboBox* box, int row) {
  const QSignalBlocker block(box);
  box->setCurrentIndex(std::clamp(row, 0, box->count() - 1));
}

QComboBox* EditableBox(const std::vector<std::string>& suggestions) {
  auto* box = new QComboBox;
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->addItems(Texts(suggestions));
  return box;
}

}  // namespace

// ---- the preview area ------------------------------------------------------------

// Shows the newest traced preview: the 1-bit part faintly, the vectors over it.
class PreviewPane : public QWidget {
 public:
  explicit PreviewPane(QWidget* parent) : QWidget(parent) {
    setMinimumSize(360, 300);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }

  void setText(const QString& text) {
    text_ = text;
    update();
  }
  void setResult(std::shared_ptr<model::CGraph> drawing) {
    drawing_ = std::move(drawing);
    image_ = drawing_ ? RasterImage::convertRect(drawing_->raster(), 0, 0, drawing_->raster().width(),
                                                 drawing_->raster().height())
                      : QImage();
    update();
  }
  bool hasResult() const { return drawing_ != nullptr; }
  const QString& text() const { return text_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (drawing_ && !drawing_->raster().empty()) {
      const raster::CRaster& r = drawing_->raster();
      // Fit the part into the pane, keeping its proportions.
      const double upp = std::max(static_cast<double>(r.width()) / std::max(1, width() - 8),
                                  static_cast<double>(r.height()) / std::max(1, height() - 8));
      const double w = r.width() / upp, h = r.height() / upp;
      const double left = (width() - w) / 2, top = (height() - h) / 2;
      painter.setOpacity(0.3);
      painter.drawImage(QRectF(left, top, w, h), image_);
      painter.setOpacity(1.0);
      // Pixel (c, row) lies at drawing (c, H − 1 − row), the pixel's centre.
      ScreenMapping m;
      m.unitsPerPixel = upp;
      m.xMin = -0.5 - left * upp;
      m.yMin = -0.5 - (height() - top - h) * upp;
      m.clientHeight = height();
      painter.setRenderHint(QPainter::Antialiasing, true);
      PainterDrawView view(painter, m, width(), height(), PaintColours{}, false);
      drawing_->draw(view);
    }
    if (!text_.isEmpty()) {
      painter.setOpacity(1.0);
      painter.setPen(palette().color(QPalette::WindowText));
      painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignHCenter | (drawing_ ? Qt::AlignBottom : Qt::AlignVCenter),
                       text_);
    }
  }

 private:
  std::shared_ptr<model::CGraph> drawing_;
  QImage image_;
  QString text_;
};

// ---- the chart type name dialog ------------------------------------------------

ChartTypeNameDlg::ChartTypeNameDlg(const QStringList& names, QWidget* parent) : QDialog(parent) {
  setWindowTitle(T("SetDlgNewChartType", "New chart type"));
  list_ = new QListWidget;
  list_->addItems(names);
  edit_ = new QLineEdit;
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText(T("ButtonOK", "O&K"));
  buttons->button(QDialogButtonBox::Cancel)->setText(T("ButtonCancel", "&Cancel"));
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setEnabled(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(new QLabel(T("SetDlgChartTypeName", "Name:")));
  layout->addWidget(edit_);
  layout->addWidget(buttons);
  connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) { ok_->setEnabled(!text.isEmpty()); });
  connect(list_, &QListWidget::currentTextChanged, edit_, &QLineEdit::setText);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  edit_->setFocus();
}

QString ChartTypeNameDlg::name() const { return edit_->text(); }

// ---- the dialog --------------------------------------------------------------------

CParameterDlg::CParameterDlg(platform::KeyValueStore& store, const settings::TraceOption& option, bool batchMode,
                             ParameterPreviewSource source, QWidget* parent)
    : QDialog(parent), model_(std::make_unique<ParameterDialog>(store, option, batchMode)), batchMode_(batchMode) {
  setWindowTitle(T("SetDlgCaption", "Set parameter"));
  buildControls();

  preview_ = new PreviewPane(this);
  preview_->setToolTip(T("SetDlgPreviewHint",
                         "Advanced express vector preview, which help you to adjust the parameters intuitionisticly "
                         "and expediently, and get the results at once."));
  if (batchMode) {
    preview_->setText(T("SetDlgBatchMode", "Batch process mode."));
  } else if (source.raster && !source.raster->empty()) {
    const editor::PixelRect part =
        editor::VisiblePixels(source.raster->width(), source.raster->height(), source.visible);
    // The Trace command thresholds the whole raster; so does the preview.
    const int automatic = source.raster->automaticThreshold();
    QPointer<CParameterDlg> self(this);
    tracer_ = std::make_unique<editor::ParameterPreview>(
        *source.raster, part, automatic, [self](editor::PreviewResult result) {
          // Worker thread: hand the result to the window's thread.
          QMetaObject::invokeMethod(
              qApp, [self, result = std::move(result)]() mutable {
                if (self) self->previewFinished(std::move(result));
              },
              Qt::QueuedConnection);
        });
  }
  if (!batchMode && (!tracer_ || tracer_->empty()))
    preview_->setText(T("SetDlgNoPreview", "No raster is visible to preview."));

  previewTimer_ = new QTimer(this);
  previewTimer_->setSingleShot(true);
  previewTimer_->setInterval(kPreviewDelayMs);
  connect(previewTimer_, &QTimer::timeout, this, &CParameterDlg::startPreview);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText(T("ButtonOK", "O&K"));
  buttons->button(QDialogButtonBox::Ok)->setToolTip(
      T("SetDlgRunBtnHint", "confirming the current settings and start running directly."));
  buttons->button(QDialogButtonBox::Cancel)->setText(T("ButtonCancel", "&Cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CParameterDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CParameterDlg::reject);

  auto* left = new QVBoxLayout;
  left->addWidget(thresholdGroup_);
  left->addWidget(methods_);
  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel(T("SetDlgPreview", "Preview")));
  right->addWidget(preview_, 1);
  right->addWidget(new QLabel(T("SetDlgSummary", "Summary")));
  right->addWidget(summary_);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left);
  columns->addLayout(right, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addWidget(buttons);

  showModel();
  refresh();
}

CParameterDlg::~CParameterDlg() {
  // Cancels and joins the preview runs; a result still queued finds the
  // dialog gone and is dropped.
  tracer_.reset();
}

void CParameterDlg::buildControls() {
  // Threshold
  thresholdGroup_ = new QGroupBox(T("SetDlgThreshold", "Threshold"));
  autoGray_ = new QCheckBox(T("SetDlgAutoGray", "Auto"));
  threshold_ = new QLineEdit;
  threshold_->setMaximumWidth(80);
  auto* th = new QHBoxLayout(thresholdGroup_);
  th->addWidget(autoGray_);
  th->addWidget(new QLabel(T("SetDlgThresholdValue", "Threshold (0-255):")));
  th->addWidget(threshold_);
  th->addStretch();

  // Centre line
  auto* centre = new QWidget;
  chartType_ = new QComboBox;
  chartType_->setEditable(true);
  chartType_->lineEdit()->setReadOnly(true);
  chartType_->setInsertPolicy(QComboBox::NoInsert);
  // Names like "pre_Engineering" must show whole beside the three buttons.
  chartType_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  chartType_->setMinimumContentsLength(16);
  saveChart_ = new QPushButton(T("SetDlgSaveType", "&Save..."));
  saveChart_->setToolTip(T("SetDlgSaveTypeHint", "Saving current parameter settings."));
  deleteChart_ = new QPushButton(T("SetDlgDelType", "&Delete"));
  deleteChart_->setToolTip(T("SetDlgDelTypeHint", "Deleting current parameter settings."));
  resetChart_ = new QPushButton(T("SetDlgReset", "&Reset"));
  resetChart_->setToolTip(T("SetDlgResetCenterParam", "Reset current system parameter settings."));
  calcWidth_ = new QCheckBox(T("SetDlgCalcWidth", "Calculate width"));
  calcWidth_->setToolTip(T("SetDlgWidthHint", "Calculate the line width"));
  widthSeries_ = new QComboBox;
  delLine_ = new QCheckBox(T("SetDlgDelLine", "Delete mix-up line"));
  delLineLength_ = new QLineEdit;
  centerRecognise_ = new QCheckBox(T("SetDlgRecCircle", "Recognise circle and arc"));
  centerMaxDis_ = EditableBox(settings::StraightenSuggestions());
  forceOrtho_ = new QCheckBox(T("SetDlgAdjustAngle", "Adjust angle"));
  forceOrtho_->setToolTip(T("SetDlgAdjustAngleHint", "Adjust the angle of vectors"));
  angleSeries_ = new QComboBox;
  connect_ = new QCheckBox(T("SetDlgConnect", "Connect adjacent line"));
  conDis_ = new QLineEdit;
  refine_ = new QCheckBox(T("SetDlgRefine", "Refine centre lines (ends, junctions, curves)"));
  refine_->setToolTip(T("SetDlgRefineHint", "Place ends, junctions and curves closer to the drawing than the plain "
                                            "trace does"));

  auto* chartRow = new QHBoxLayout;
  chartRow->addWidget(chartType_, 1);
  chartRow->addWidget(saveChart_);
  chartRow->addWidget(deleteChart_);
  chartRow->addWidget(resetChart_);
  auto* cg = new QGridLayout(centre);
  int row = 0;
  cg->addWidget(new QLabel(T("SetDlgChartType", "Chart type")), row, 0);
  cg->addLayout(chartRow, row++, 1);
  cg->addWidget(new QLabel(T("SetDlgStraighten", "Straighten intension")), row, 0);
  cg->addWidget(centerMaxDis_, row++, 1);
  cg->addWidget(centerRecognise_, row++, 0, 1, 2);
  cg->addWidget(calcWidth_, row, 0);
  cg->addWidget(widthSeries_, row++, 1);
  cg->addWidget(connect_, row, 0);
  cg->addWidget(conDis_, row++, 1);
  cg->addWidget(forceOrtho_, row, 0);
  cg->addWidget(angleSeries_, row++, 1);
  cg->addWidget(delLine_, row, 0);
  cg->addWidget(delLineLength_, row++, 1);
  cg->addWidget(refine_, row++, 0, 1, 2);
  cg->setRowStretch(row, 1);

  // Outline
  auto* outline = new QWidget;
  outlineMaxDis_ = EditableBox(settings::StraightenSuggestions());
  outlineRecognise_ = new QCheckBox(T("SetDlgRecCircle", "Recognise circle and arc"));
  outlineFill_ = new QCheckBox(T("SetDlgFill", "Fill"));
  outlineFillType_ = new QComboBox;
  outlineFillType_->addItems(Texts(ParameterDialog::fillTypeNames(true)));
  outlineFillSpace_ = EditableBox(settings::FillSpaceSuggestions());
  auto* og = new QFormLayout(outline);
  og->addRow(T("SetDlgStraighten", "Straighten intension"), outlineMaxDis_);
  og->addRow(outlineRecognise_);
  og->addRow(outlineFill_);
  og->addRow(T("SetDlgFillType", "Fill type"), outlineFillType_);
  og->addRow(T("SetDlgFillSpace", "Fill space"), outlineFillSpace_);

  // Fill pattern
  auto* fill = new QWidget;
  fillPatternType_ = new QComboBox;
  fillPatternType_->addItems(Texts(ParameterDialog::fillTypeNames(false)));
  fillPatternSpace_ = EditableBox(settings::FillSpaceSuggestions());
  auto* fg = new QFormLayout(fill);
  fg->addRow(T("SetDlgFillType", "Fill type"), fillPatternType_);
  fg->addRow(T("SetDlgFillSpace", "Fill space"), fillPatternSpace_);

  methods_ = new QTabWidget;
  methods_->addTab(centre, T("SetDlgCenterLine", "Center line"));
  methods_->setTabToolTip(0, T("SetDlgCenterLineHint", "Trace center line."));
  methods_->addTab(outline, T("SetDlgOutline", "Outline"));
  methods_->setTabToolTip(1, T("SetDlgOutlineHint", "Trace along outline."));
  methods_->addTab(fill, T("SetDlgFillPattern", "Fill pattern"));

  summary_ = new QPlainTextEdit;
  summary_->setReadOnly(true);
  summary_->setMaximumHeight(170);

  fillLists();

  // Every edit goes into the model; a hand edit of a centre-line value
  // leaves the chart type.
  const auto edited = [this](bool centreLine) {
    return [this, centreLine] { controlEdited(centreLine); };
  };
  connect(autoGray_, &QCheckBox::toggled, this, edited(false));
  connect(threshold_, &QLineEdit::textEdited, this, edited(false));
  for (QCheckBox* box : {calcWidth_, delLine_, centerRecognise_, forceOrtho_, connect_})
    connect(box, &QCheckBox::toggled, this, edited(true));
  connect(refine_, &QCheckBox::toggled, this, edited(false));
  for (QLineEdit* edit : {delLineLength_, conDis_}) connect(edit, &QLineEdit::textEdited, this, edited(true));
  connect(centerMaxDis_, &QComboBox::editTextChanged, this, edited(true));
  for (QComboBox* box : {widthSeries_, angleSeries_})
    connect(box, &QComboBox::currentIndexChanged, this, edited(true));
  for (QCheckBox* box : {outlineRecognise_, outlineFill_}) connect(box, &QCheckBox::toggled, this, edited(false));
  for (QComboBox* box : {outlineFillType_, fillPatternType_})
    connect(box, &QComboBox::currentIndexChanged, this, edited(false));
  for (QComboBox* box : {outlineMaxDis_, outlineFillSpace_, fillPatternSpace_})
    connect(box, &QComboBox::editTextChanged, this, edited(false));
  connect(methods_, &QTabWidget::currentChanged, this, edited(false));

  connect(chartType_, &QComboBox::activated, this, [this](int row) {
    if (row < 0) return;
    model_->chooseChartType(S(chartType_->itemText(row)));
    showModel();
    refresh();
  });
  connect(saveChart_, &QPushButton::clicked, this, &CParameterDlg::saveChartTypeAsked);
  connect(deleteChart_, &QPushButton::clicked, this, &CParameterDlg::deleteChartType);
  connect(resetChart_, &QPushButton::clicked, this, &CParameterDlg::resetChartType);
}

void CParameterDlg::fillLists() {
  const QSignalBlocker b1(chartType_), b2(widthSeries_), b3(angleSeries_);
  chartType_->clear();
  chartType_->addItems(Texts(model_->chartTypes()));
  widthSeries_->clear();
  widthSeries_->addItems(Texts(model_->widthSeriesNames()));
  angleSeries_->clear();
  angleSeries_->addItems(Texts(model_->angleSeriesNames()));
}

void CParameterDlg::showModel() {
  const settings::ParameterPages& p = model_->pages;
  {
    const QSignalBlocker block(methods_);
    methods_->setCurrentIndex(static_cast<int>(p.method) - 1);
  }
  ShowCheck(autoGray_, p.autoGray);
  ShowText(threshold_, p.threshold);
  ShowText(chartType_, p.chartType);
  ShowCheck(calcWidth_, p.calcWidth);
  {
    // A cleared width series shows an empty box.
    const QSignalBlocker block(widthSeries_);
    widthSeries_->setCurrentIndex(widthSeries_->findText(Q(p.widthSeries), Qt::MatchFixedString));
  }
  ShowCheck(delLine_, p.delLine);
  ShowText(delLineLength_, p.delLineLength);
  ShowCheck(centerRecognise_, p.centerRecognise);
  ShowText(centerMaxDis_, p.centerMaxDis);
  ShowCheck(forceOrtho_, p.forceOrtho);
  {
    const QSignalBlocker block(angleSeries_);
    angleSeries_->setCurrentIndex(angleSeries_->findText(Q(p.angleSeries), Qt::MatchFixedString));
  }
  ShowCheck(connect_, p.connect);
  ShowText(conDis_, p.conDis);
  ShowCheck(refine_, p.refine);
  ShowText(outlineMaxDis_, p.outlineMaxDis);
  ShowCheck(outlineRecognise_, p.outlineRecognise);
  ShowCheck(outlineFill_, p.outlineFill);
  ShowRow(outlineFillType_, p.outlineFillType);
  ShowText(outlineFillSpace_, p.outlineFillSpace);
  ShowRow(fillPatternType_, p.fillPatternType);
  ShowText(fillPatternSpace_, p.fillPatternSpace);
}

void CParameterDlg::readControls() {
  settings::ParameterPages& p = model_->pages;
  p.method = static_cast<TraceMethod>(methods_->currentIndex() + 1);
  p.autoGray = autoGray_->isChecked();
  p.threshold = S(threshold_->text());
  p.calcWidth = calcWidth_->isChecked();
  p.widthSeries = S(widthSeries_->currentText());
  p.delLine = delLine_->isChecked();
  p.delLineLength = S(delLineLength_->text());
  p.centerRecognise = centerRecognise_->isChecked();
  p.centerMaxDis = S(centerMaxDis_->currentText());
  p.forceOrtho = forceOrtho_->isChecked();
  p.angleSeries = S(angleSeries_->currentText());
  p.connect = connect_->isChecked();
  p.conDis = S(conDis_->text());
  p.refine = refine_->isChecked();
  p.outlineMaxDis = S(outlineMaxDis_->currentText());
  p.outlineRecognise = outlineRecognise_->isChecked();
  p.outlineFill = outlineFill_->isChecked();
  p.outlineFillType = outlineFillType_->currentIndex();
  p.outlineFillSpace = S(outlineFillSpace_->currentText());
  p.fillPatternType = fillPatternType_->currentIndex();
  p.fillPatternSpace = S(fillPatternSpace_->currentText());
}

void CParameterDlg::controlEdited(bool centreLine) {
  readControls();
  if (centreLine) {
    model_->centreLineEdited();
    ShowText(chartType_, model_->pages.chartType);
  }
  refresh();
}

void CParameterDlg::refresh() {
  using Control = ParameterDialog::Control;
  threshold_->setEnabled(model_->enabled(Control::Threshold));
  widthSeries_->setEnabled(model_->enabled(Control::WidthSeries));
  delLineLength_->setEnabled(model_->enabled(Control::DelLineLength));
  angleSeries_->setEnabled(model_->enabled(Control::AngleSeries));
  conDis_->setEnabled(model_->enabled(Control::ConDis));
  outlineFillType_->setEnabled(model_->enabled(Control::OutlineFillType));
  outlineFillSpace_->setEnabled(model_->enabled(Control::OutlineFillSpace));
  summary_->setPlainText(Q(model_->summary()));
  if (tracer_ && !tracer_->empty()) previewTimer_->start();
}

void CParameterDlg::startPreview() {
  if (!tracer_ || tracer_->empty()) return;
  const auto options = model_->previewOptions();
  if (!options) {
    // Nothing sensible to trace while a value is invalid; the old picture stays.
    tracer_->cancel();
    preview_->setText(settings::InvalidDataText().c_str());
    return;
  }
  if (tracer_->start(*options) != 0) preview_->setText(T("SetDlgPreviewRunning", "Tracing the preview..."));
}

void CParameterDlg::previewFinished(editor::PreviewResult result) {
  if (!tracer_ || result.generation != tracer_->generation()) return;  // a newer run is on its way
  ++previewsShown_;
  if (result.drawing && result.resultCode == 0) {
    preview_->setResult(std::move(result.drawing));
    preview_->setText({});
  } else {
    preview_->setResult(nullptr);
    preview_->setText(T("SetDlgPreviewFailed", "The preview could not be traced."));
  }
}

bool CParameterDlg::previewShown() const { return preview_->hasResult(); }

QString CParameterDlg::previewText() const { return preview_->text(); }

QWidget* CParameterDlg::previewArea() const { return preview_; }

void CParameterDlg::focusField(ParameterField field) {
  QWidget* target = nullptr;
  int page = -1;
  switch (field) {
    case ParameterField::None: return;
    case ParameterField::Threshold: target = threshold_; break;
    case ParameterField::DelLineLength: target = delLineLength_; page = 0; break;
    case ParameterField::CenterMaxDis: target = centerMaxDis_; page = 0; break;
    case ParameterField::ConDis: target = conDis_; page = 0; break;
    case ParameterField::OutlineMaxDis: target = outlineMaxDis_; page = 1; break;
    case ParameterField::OutlineFillSpace: target = outlineFillSpace_; page = 1; break;
    case ParameterField::FillPatternSpace: target = fillPatternSpace_; page = 2; break;
  }
  if (page >= 0) {
    const QSignalBlocker block(methods_);
    methods_->setCurrentIndex(page);
  }
  target->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(target)) edit->selectAll();
  if (auto* box = qobject_cast<QComboBox*>(target)) box->lineEdit()->selectAll();
}

settings::TraceOption CParameterDlg::option() const { return model_->record(); }

void CParameterDlg::accept() {
  readControls();
  if (!model_->accept()) {
    focusField(model_->focus());
    return;
  }
  QDialog::accept();
}

void CParameterDlg::saveChartTypeAsked() {
  QStringList names = Texts(model_->chartTypes());
  for (;;) {
    ChartTypeNameDlg ask(names, this);
    if (ask.exec() != QDialog::Accepted) return;
    if (saveChartTypeNamed(ask.name())) return;
    // No to the overwrite question: ask again.
  }
}

bool CParameterDlg::saveChartTypeNamed(const QString& name) {
  if (name.isEmpty()) return false;
  if (model_->saveNeedsOverwrite(S(name)) &&
      !platform::ShowMessage(settings::Text("SetDlgNewChartTypeError", "The chart type already exist.\nOverwrite it?"),
                             platform::MessageKind::Question))
    return false;
  readControls();
  const auto result = model_->saveChartType(S(name));
  fillLists();
  showModel();
  if (result == ParameterDialog::ChartResult::InvalidData) focusField(model_->focus());
  refresh();
  return true;
}

void CParameterDlg::deleteChartType() {
  if (model_->pages.chartType.empty()) return;
  if (!platform::ShowMessage(
          settings::Text("SetDlgDelChartType", "OK to delete the chart type and lose these values?"),
          platform::MessageKind::Question))
    return;
  model_->deleteChartType();
  fillLists();
  showModel();
  refresh();
}

void CParameterDlg::resetChartType() {
  readControls();
  if (model_->resetChartType() == ParameterDialog::ChartResult::Nothing) return;
  fillLists();
  showModel();
  refresh();
}

ParameterPreviewSource PreviewSourceOf(CChildFrame* frame) {
  if (!frame || !frame->document().hasRaster()) return {};
  DrawingView& view = frame->view();
  const ScreenMapping m = view.mapping();
  const model::RasterPlacement& at = frame->document().graph().rasterObject();
  // The view's box in the raster's own drawing units (corner at 0, 0).
  editor::WindowBox box{m.xMin - at.x0, m.xMin - at.x0 + view.width() * m.unitsPerPixel, m.yMin - at.y0,
                        m.yMin - at.y0 + view.height() * m.unitsPerPixel};
  return {&frame->document().raster(), box};
}

bool RunParameterDialog(platform::KeyValueStore& store, settings::TraceOption& current, ParameterPreviewSource preview,
                        QWidget* parent) {
  CParameterDlg dlg(store, current, false, preview, parent);
  if (dlg.exec() != QDialog::Accepted) return false;
  current.CopyFrom(dlg.option());
  // Stored now rather than only at exit, so a session that ends abnormally keeps them.
  settings::SaveOptions(store, current);
  return true;
}

}  // namespace quillon::ui
