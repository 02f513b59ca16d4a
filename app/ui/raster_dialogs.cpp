#include "raster_dialogs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "drawing_view.h"
#include "edit_dialogs.h"
#include "model/graph.h"
#include "platform/message_sink.h"
#include "raster/median_filter.h"
#include "raster/smart_threshold.h"
#include "raster_image.h"
#include "editor/document.h"
#include "raster/brightness_contrast.h"
#include "raster/resample.h"
#include "ui_text.h"

namespace quillon::ui {
namespace {

// A slider and a spin box that move together over [min, max].
std::pair<QSlider*, QSpinBox*> LinkedSlider(QWidget* parent, int min, int max, int value, QHBoxLayout* row) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  auto* box = new QSpinBox(parent);
  slider->setRange(min, max);
  box->setRange(min, max);
  slider->setValue(value);
  box->setValue(value);
  slider->setMinimumWidth(200);
  QObject::connect(slider, &QSlider::valueChanged, box, &QSpinBox::setValue);
  QObject::connect(box, &QSpinBox::valueChanged, slider, &QSlider::setValue);
  row->addWidget(slider, 1);
  row->addWidget(box);
  return {slider, box};
}

QIcon Swatch(const std::optional<settings::Rgb>& colour) {
  QPixmap pixmap(28, 16);
  pixmap.fill(colour ? QColor(colour->r, colour->g, colour->b) : QColor(Qt::transparent));
  return QIcon(pixmap);
}

}  // namespace

// ---- Preview -------------------------------------------------------------------------------

raster::CRaster CropShownRaster(DrawingView& view) {
  raster::CRaster crop;
  const model::CGraph& graph = view.document().graph();
  const raster::CRaster& image = graph.raster();
  if (image.empty()) return crop;
  // Raster pixel (c, r) lies at drawing (x0 + c, y0 + H - 1 - r).
  const ScreenMapping m = view.mapping();
  const QPointF centre = m.toDrawing(QPointF(view.width() / 2.0, view.height() / 2.0));
  const int column = static_cast<int>(std::lround(centre.x() - graph.rasterObject().x0));
  const int row = static_cast<int>(std::lround(graph.rasterObject().y0 + image.height() - 1 - centre.y()));
  constexpr int kWidth = 320, kHeight = 240;
  const int left = std::clamp(column - kWidth / 2, 0, std::max(0, image.width() - kWidth));
  const int top = std::clamp(row - kHeight / 2, 0, std::max(0, image.height() - kHeight));
  if (crop.cloneFrom(image) && !crop.crop(left, top, left + kWidth, top + kHeight)) crop.release();
  return crop;
}

RasterPreview::RasterPreview(QWidget* parent) : QLabel(parent), timer_(new QTimer(this)) {
  setObjectName(QStringLiteral("preview"));
  setAlignment(Qt::AlignCenter);
  setFrameShape(QFrame::StyledPanel);
  setMinimumSize(240, 180);
  hide();
  timer_->setSingleShot(true);
  timer_->setInterval(120);
  connect(timer_, &QTimer::timeout, this, &RasterPreview::redraw);
}

void RasterPreview::setSource(raster::CRaster source) {
  source.moveTo(source_);
  setVisible(!source_.empty());
  redraw();
}

void RasterPreview::setOperation(std::function<bool(raster::CRaster&)> operation) {
  operation_ = std::move(operation);
  refresh();
}

void RasterPreview::refresh() {
  if (!source_.empty()) timer_->start();
}

void RasterPreview::redraw() {
  if (source_.empty() || !result_.cloneFrom(source_)) return;
  if (operation_) operation_(result_);
  const QImage image = RasterImage::convertRect(result_, 0, 0, result_.width(), result_.height());
  setPixmap(QPixmap::fromImage(image).scaled(size() - QSize(4, 4), Qt::KeepAspectRatio, Qt::FastTransformation));
}

// ---- Threshold -----------------------------------------------------------------------

ThresholdDlg::ThresholdDlg(const editor::ThresholdDialogModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(T("RasterThresholdCap", "Threshold"));
  auto* layout = new QVBoxLayout(this);
  fixed_ = new QRadioButton(T("RasterThresholdFixed", "&Fixed threshold:"), this);
  auto* row = new QHBoxLayout;
  std::tie(slider_, level_) = LinkedSlider(this, 0, 255, model.level, row);
  // Language texts cannot carry placeholders, so the value is appended.
  automatic_ = new QRadioButton(T("RasterThresholdAuto", "&Automatic threshold") + QStringLiteral(" (") +
                                    T("RasterThresholdSuggested", "suggested") + QStringLiteral(": ") +
                                    QString::number(model.suggested) + QLatin1Char(')'),
                                this);
  (model.automatic ? automatic_ : fixed_)->setChecked(true);
  layout->addWidget(fixed_);
  layout->addLayout(row);
  layout->addWidget(automatic_);
  layout->addWidget(new QLabel(T("RasterThresholdNote", "Pixels as dark as the threshold or darker become ink."), this));
  layout->addWidget(OkCancel(this));
  const auto enable = [this] {
    level_->setEnabled(fixed_->isChecked());
    slider_->setEnabled(fixed_->isChecked());
  };
  connect(fixed_, &QRadioButton::toggled, this, enable);
  enable();
}

editor::ThresholdDialogModel ThresholdDlg::model() const {
  editor::ThresholdDialogModel m = model_;
  m.level = level_->value();
  m.automatic = automatic_->isChecked();
  return m;
}

void ThresholdDlg::setLevel(int level) { level_->setValue(level); }
void ThresholdDlg::setAutomatic(bool automatic) { (automatic ? automatic_ : fixed_)->setChecked(true); }

// ---- Dynamic threshold -------------------------------------------------------------------

DynamicThresholdDlg::DynamicThresholdDlg(QWidget* parent) : PreviewDialog(parent) {
  preview_ = new RasterPreview(this);
  setWindowTitle(T("RasterSmartThreshold", "Dynamic Threshold"));
  auto* form = new QFormLayout(this);
  auto* box = new QSpinBox(this);
  box->setRange(raster::kSmartBoxMin, raster::kSmartBoxMax);
  box->setValue(model_.boxSize);
  box->setSuffix(T("RasterPixelsSuffix", " pixels"));
  form->addRow(T("RasterSmartBoxSize", "&Box size:"), box);
  auto* row = new QHBoxLayout;
  auto* slider = new QSlider(Qt::Horizontal, this);
  slider->setRange(editor::DynamicThresholdModel::kSliderMin, editor::DynamicThresholdModel::kSliderMax);
  slider->setValue(model_.sliderPosition);
  slider->setMinimumWidth(220);
  auto* ratio = new QDoubleSpinBox(this);
  ratio->setRange(raster::kSmartRatioMin, raster::kSmartRatioMax);
  ratio->setSingleStep(0.01);
  ratio->setDecimals(2);
  ratio->setValue(model_.ratio());
  row->addWidget(slider, 1);
  row->addWidget(ratio);
  form->addRow(Plain(T("RasterSmartContrast", "&Contrast ratio:")), row);
  form->addRow(new QLabel(T("RasterSmartNote", "A pixel becomes ink when it is darker than the ratio times the mean "
                                               "brightness of its box."),
                          this));
  form->addRow(preview_);
  form->addRow(OkCancel(this));
  preview_->setOperation([this](raster::CRaster& r) { return raster::SmartThreshold(r, model_.boxSize, model_.ratio()); });
  connect(box, &QSpinBox::valueChanged, this, [this](int v) {
    model_.setBoxSize(v);
    preview_->refresh();
  });
  connect(slider, &QSlider::valueChanged, this, [this, ratio](int v) {
    model_.sliderPosition = v;
    const QSignalBlocker block(ratio);
    ratio->setValue(model_.ratio());
    preview_->refresh();
  });
  connect(ratio, &QDoubleSpinBox::valueChanged, this, [this, slider](double v) {
    model_.setRatio(v);
    const QSignalBlocker block(slider);
    slider->setValue(model_.sliderPosition);
    preview_->refresh();
  });
}

// ---- Fill holes ---------------------------------------------------------------------------

FillHolesDlg::FillHolesDlg(QWidget* parent) : PreviewDialog(parent) {
  preview_ = new RasterPreview(this);
  setWindowTitle(Plain(T("RasterFillHolesCap", "Fill Holes...")).remove(QStringLiteral("...")));
  auto* form = new QFormLayout(this);
  size_ = new QSpinBox(this);
  // Values the filter does not take can be typed and are answered on OK.
  size_->setRange(0, 99);
  size_->setValue(holeSize_);
  size_->setSuffix(T("RasterPixelsSuffix", " pixels"));
  form->addRow(T("RasterHoleSize", "&Hole size:"), size_);
  form->addRow(new QLabel(T("RasterHoleNote", "Closes gaps and holes up to about twice this size (1 to 10)."), this));
  form->addRow(preview_);
  form->addRow(OkCancel(this));
  preview_->setOperation([this](raster::CRaster& r) {
    return size_->value() >= 1 && raster::SmoothFilter(r, std::min(size_->value(), raster::kHoleSizeMax));
  });
  connect(size_, &QSpinBox::valueChanged, preview_, &RasterPreview::refresh);
}

void FillHolesDlg::setTyped(int value) { size_->setValue(value); }

void FillHolesDlg::accept() {
  const std::optional<int> size = editor::AcceptHoleSize(size_->value());
  if (!size) {
    size_->setFocus();
    size_->selectAll();
    return;
  }
  holeSize_ = *size;
  size_->setValue(*size);
  QDialog::accept();
}

// ---- Resample ------------------------------------------------------------------------------

ResampleDlg::ResampleDlg(const editor::ResampleDialogModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(T("RasResample", "Resample"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(T("RasResampleNow", "Now:") + QStringLiteral(" %1 x %2").arg(model.originalWidth()).arg(model.originalHeight()) +
                                   T("RasterPixelsSuffix", " pixels"),
                               this));
  auto* pixels = new QGroupBox(T("RasResamplePixels", "Pixel dimensions"), this);
  auto* pixelForm = new QFormLayout(pixels);
  width_ = new QSpinBox(pixels);
  height_ = new QSpinBox(pixels);
  for (QSpinBox* box : {width_, height_}) box->setRange(0, 200000);
  pixelForm->addRow(T("RasResampleWidth", "Pixel &Width:"), width_);
  pixelForm->addRow(T("RasResampleHeight", "Pixel &Height:"), height_);
  layout->addWidget(pixels);

  auto* print = new QGroupBox(T("RasResamplePrint", "Print size"), this);
  auto* printForm = new QFormLayout(print);
  printWidth_ = new QDoubleSpinBox(print);
  printHeight_ = new QDoubleSpinBox(print);
  for (QDoubleSpinBox* box : {printWidth_, printHeight_}) {
    box->setRange(0, 100000);
    box->setDecimals(3);
  }
  resolution_ = new QDoubleSpinBox(print);
  resolution_->setRange(0, 100000);
  resolution_->setDecimals(2);
  unit_ = new QComboBox(print);
  unit_->addItem(T("RasInfoResInch", "pixels/inch"));
  unit_->addItem(T("RasInfoResCm", "pixels/cm"));
  auto* resolutionRow = new QHBoxLayout;
  resolutionRow->addWidget(resolution_, 1);
  resolutionRow->addWidget(unit_);
  printForm->addRow(T("RasResamplePrintWidth", "W&idth:"), printWidth_);
  printForm->addRow(T("RasResamplePrintHeight", "H&eight:"), printHeight_);
  printForm->addRow(T("RasInfoRes", "Resolution"), resolutionRow);
  layout->addWidget(print);

  keep_ = new QCheckBox(T("RasResampleKeep", "&Keep proportions"), this);
  layout->addWidget(keep_);
  auto* filterForm = new QFormLayout;
  filter_ = new QComboBox(this);
  for (int i = 0; i < raster::kResampleFilterCount; ++i)
    filter_->addItem(Q(raster::ResampleFilterName(static_cast<raster::ResampleFilter>(i))));
  filterForm->addRow(T("RasResampleFilter", "&Filter:"), filter_);
  layout->addLayout(filterForm);
  layout->addWidget(OkCancel(this));

  const auto changed = [this](auto apply) {
    return [this, apply](auto value) {
      if (refreshing_) return;
      apply(value);
      refresh();
    };
  };
  connect(width_, &QSpinBox::valueChanged, this, changed([this](int v) { model_.setWidth(v); }));
  connect(height_, &QSpinBox::valueChanged, this, changed([this](int v) { model_.setHeight(v); }));
  connect(printWidth_, &QDoubleSpinBox::valueChanged, this, changed([this](double v) { model_.setPrintWidth(v); }));
  connect(printHeight_, &QDoubleSpinBox::valueChanged, this,
          changed([this](double v) { model_.setPrintHeight(v); }));
  connect(resolution_, &QDoubleSpinBox::valueChanged, this, changed([this](double v) { model_.setResolution(v); }));
  connect(unit_, &QComboBox::currentIndexChanged, this, changed([this](int i) {
            model_.setUnit(i == 0 ? editor::ResolutionUnit::PixelsPerInch : editor::ResolutionUnit::PixelsPerCm);
          }));
  connect(keep_, &QCheckBox::toggled, this, changed([this](bool on) { model_.setKeepRatio(on); }));
  connect(filter_, &QComboBox::currentIndexChanged, this, [this](int i) { model_.filter = i; });
  refresh();
}

void ResampleDlg::refresh() {
  refreshing_ = true;
  width_->setValue(model_.width());
  height_->setValue(model_.height());
  printWidth_->setValue(model_.printWidth());
  printHeight_->setValue(model_.printHeight());
  resolution_->setValue(model_.resolution());
  const bool inches = model_.unit() == editor::ResolutionUnit::PixelsPerInch;
  unit_->setCurrentIndex(inches ? 0 : 1);
  for (QDoubleSpinBox* box : {printWidth_, printHeight_})
    box->setSuffix(inches ? T("RasResampleInches", " in") : T("RasResampleCentimetres", " cm"));
  keep_->setChecked(model_.keepRatio());
  filter_->setCurrentIndex(model_.filter);
  refreshing_ = false;
}

void ResampleDlg::accept() {
  const std::string error = model_.error();
  if (!error.empty()) {
    platform::ShowMessage(error);
    return;
  }
  QDialog::accept();
}

// ---- Median ---------------------------------------------------------------------------------

MedianDlg::MedianDlg(QWidget* parent) : PreviewDialog(parent) {
  preview_ = new RasterPreview(this);
  setWindowTitle(T("MFilterMsg", "Median Filter"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(T("SelectMFilterTmp", "Median Filter templete:"), this));
  list_ = new QListWidget(this);
  for (const editor::MedianTemplate& t : editor::kMedianTemplates) list_->addItem(T(t.key, t.text));
  list_->setCurrentRow(0);
  list_->setMaximumHeight(list_->sizeHintForRow(0) * 3 + 8);
  layout->addWidget(list_);
  layout->addWidget(preview_);
  layout->addWidget(OkCancel(this));
  preview_->setOperation([this](raster::CRaster& r) { return raster::MedianFilter(r, {}, windowSize()); });
  connect(list_, &QListWidget::currentRowChanged, preview_, &RasterPreview::refresh);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

int MedianDlg::windowSize() const {
  const int row = std::max(0, list_->currentRow());
  return editor::kMedianTemplates[static_cast<size_t>(row)].windowSize;
}

void MedianDlg::setWindowSize(int size) { list_->setCurrentRow(size == 5 ? 1 : 0); }

// ---- Template ------------------------------------------------------------------------------

TemplateDlg::TemplateDlg(platform::KeyValueStore& store, QWidget* parent) : PreviewDialog(parent), library_(store) {
  preview_ = new RasterPreview(this);
  setWindowTitle(Q(raster::kSelectTempCaption.get()));
  auto* layout = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  list_ = new QListWidget(this);
  list_->setMinimumWidth(160);
  left->addWidget(list_, 1);
  left->addWidget(preview_);
  layout->addLayout(left);

  auto* right = new QVBoxLayout;
  auto* form = new QFormLayout;
  name_ = new QLineEdit(this);
  size_ = new QComboBox(this);
  for (const char* choice : raster::kTemplateSizeChoices) size_->addItem(QString::fromLatin1(choice));
  centreX_ = new QLineEdit(this);
  centreY_ = new QLineEdit(this);
  for (QLineEdit* edit : {centreX_, centreY_}) edit->setMaximumWidth(50);
  auto* centre = new QHBoxLayout;
  centre->addWidget(new QLabel(QStringLiteral("X"), this));
  centre->addWidget(centreX_);
  centre->addWidget(new QLabel(QStringLiteral("Y"), this));
  centre->addWidget(centreY_);
  centre->addStretch(1);
  factor_ = new QLineEdit(this);
  form->addRow(Q(raster::kTempNameLabel.get()), name_);
  form->addRow(T("TempSize", "Size"), size_);
  form->addRow(Q(raster::kCenterPosLabel.get()), centre);
  form->addRow(Q(raster::kTempParaLabel.get()), factor_);
  right->addLayout(form);
  auto* gridBox = new QGroupBox(T("TempCoefficients", "Coefficients"), this);
  auto* grid = new QGridLayout(gridBox);
  for (int i = 0; i < 25; ++i) {
    auto* edit = new QLineEdit(gridBox);
    edit->setObjectName(QStringLiteral("coefficient%1").arg(i));
    edit->setMaximumWidth(64);
    edit->setAlignment(Qt::AlignRight);
    grid->addWidget(edit, i / 5, i % 5);
    grid_[static_cast<size_t>(i)] = edit;
  }
  right->addWidget(gridBox);
  auto* buttons = new QHBoxLayout;
  const auto button = [&](std::string_view key, std::string_view text, void (TemplateDlg::*slot)()) {
    auto* b = new QPushButton(T(key, text), this);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    buttons->addWidget(b);
    return b;
  };
  button("TempApply", "A&pply", &TemplateDlg::apply)->setDefault(true);
  button("TempAdd", "&Add", &TemplateDlg::add);
  button("TempModify", "&Modify", &TemplateDlg::modify);
  button("TempDelete", "&Delete", &TemplateDlg::remove);
  auto* close = new QPushButton(T("ButtonCancel", "&Cancel"), this);
  close->setAutoDefault(false);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addWidget(close);
  right->addLayout(buttons);
  layout->addLayout(right, 1);

  connect(size_, &QComboBox::currentIndexChanged, this, [this] { sizeChanged(); });
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    library_.select(row);
    if (row >= 0 && row < static_cast<int>(library_.templates().size()))
      showTemplate(library_.templates()[static_cast<size_t>(row)]);
  });
  library_.load();
  refreshList();
  showTemplate(library_.templates().empty() ? raster::KernelTemplate::Fresh() : library_.templates().front());
  if (!library_.templates().empty()) select(0);
}

void TemplateDlg::refreshList() {
  const QSignalBlocker block(list_);
  list_->clear();
  for (const raster::KernelTemplate& t : library_.templates()) list_->addItem(Q(t.name));
  list_->setCurrentRow(library_.selection());
}

void TemplateDlg::select(int position) {
  library_.select(position);
  list_->setCurrentRow(library_.selection());
  if (library_.selection() >= 0) showTemplate(library_.templates()[static_cast<size_t>(library_.selection())]);
}

void TemplateDlg::showTemplate(const raster::KernelTemplate& kernel) {
  const raster::TemplateFields f = raster::FieldsOf(kernel);
  name_->setText(Q(f.name));
  {
    const QSignalBlocker block(size_);
    size_->setCurrentIndex(f.fiveByFive ? 1 : 0);
  }
  centreX_->setText(Q(f.centreX));
  centreY_->setText(Q(f.centreY));
  factor_->setText(Q(f.factor));
  for (size_t i = 0; i < grid_.size(); ++i) grid_[i]->setText(Q(f.grid[i]));
  sizeChanged();
  preview_->setOperation([kernel](raster::CRaster& r) { return raster::TemplateFilter(r, kernel); });
}

void TemplateDlg::sizeChanged() {
  const bool five = size_->currentIndex() == 1;
  for (int i = 0; i < 25; ++i) {
    const int row = i / 5, column = i % 5;
    const bool inner = row >= 1 && row <= 3 && column >= 1 && column <= 3;
    QLineEdit* edit = grid_[static_cast<size_t>(i)];
    edit->setEnabled(five || inner);
    // A 5 x 5 kernel made from a 3 x 3 one starts with zeros around it.
    if (five && edit->text().isEmpty()) edit->setText(QStringLiteral("0"));
  }
}

raster::TemplateFields TemplateDlg::fields() const {
  raster::TemplateFields f;
  f.name = S(name_->text().trimmed());
  f.fiveByFive = size_->currentIndex() == 1;
  f.centreX = S(centreX_->text());
  f.centreY = S(centreY_->text());
  f.factor = S(factor_->text());
  for (size_t i = 0; i < grid_.size(); ++i) f.grid[i] = S(grid_[i]->text());
  return f;
}

void TemplateDlg::apply() {
  std::optional<raster::KernelTemplate> kernel = raster::BuildTemplate(fields());
  if (!kernel) return;
  chosen_ = std::move(kernel);
  accept();
}

void TemplateDlg::add() {
  const std::optional<raster::KernelTemplate> kernel = raster::BuildTemplate(fields());
  if (!kernel) return;
  const bool duplicate = library_.find(kernel->name) >= 0;
  library_.add(*kernel);
  refreshList();
  if (duplicate) {
    name_->setFocus();
    name_->selectAll();
  }
}

void TemplateDlg::modify() {
  const std::optional<raster::KernelTemplate> kernel = raster::BuildTemplate(fields());
  if (!kernel) return;
  library_.modify(*kernel);
  refreshList();
}

void TemplateDlg::remove() {
  library_.remove();
  refreshList();
  if (library_.selection() >= 0) showTemplate(library_.templates()[static_cast<size_t>(library_.selection())]);
}

// ---- Colour replace -------------------------------------------------------------------------

ColorReplaceDlg::ColorReplaceDlg(QWidget* parent) : PreviewDialog(parent) {
  preview_ = new RasterPreview(this);
  setWindowTitle(T("RasterColorReplaceCap", "Color Replace"));
  auto* form = new QFormLayout(this);
  source_ = new QPushButton(T("RasterColorChoose", "Choose..."), this);
  replacement_ = new QPushButton(T("RasterColorChoose", "Choose..."), this);
  bound_ = new QSpinBox(this);
  bound_->setRange(raster::kColorReplaceBoundMin, raster::kColorReplaceBoundMax);
  bound_->setValue(settings_.bound);
  form->addRow(T("RasterColorSource", "&Replace color:"), source_);
  form->addRow(T("RasterColorNew", "&New color:"), replacement_);
  form->addRow(T("RasterColorBound", "&Tolerance:"), bound_);
  form->addRow(preview_);
  auto* buttons = OkCancel(this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  form->addRow(buttons);
  preview_->setOperation([this](raster::CRaster& r) { return raster::ColorReplace(r, settings_); });
  const auto pick = [this](std::optional<settings::Rgb>& slot) {
    const QColor initial = slot ? QColor(slot->r, slot->g, slot->b) : QColor(Qt::white);
    const QColor c = QColorDialog::getColor(initial, this);
    if (!c.isValid()) return;
    slot = settings::Rgb{static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                         static_cast<uint8_t>(c.blue())};
    refresh();
  };
  connect(source_, &QPushButton::clicked, this, [this, pick] { pick(settings_.source); });
  connect(replacement_, &QPushButton::clicked, this, [this, pick] { pick(settings_.replacement); });
  connect(bound_, &QSpinBox::valueChanged, this, [this](int v) {
    settings_.bound = v;
    preview_->refresh();
  });
  refresh();
}

void ColorReplaceDlg::setSource(settings::Rgb colour) {
  settings_.source = colour;
  refresh();
}
void ColorReplaceDlg::setReplacement(settings::Rgb colour) {
  settings_.replacement = colour;
  refresh();
}
void ColorReplaceDlg::setBound(int bound) { bound_->setValue(bound); }

void ColorReplaceDlg::refresh() {
  source_->setIcon(Swatch(settings_.source));
  replacement_->setIcon(Swatch(settings_.replacement));
  // The operation needs both colours.
  ok_->setEnabled(settings_.ready());
  preview_->refresh();
}

// ---- Brightness and contrast ------------------------------------------------------------------

BrightnessContrastDlg::BrightnessContrastDlg(DrawingView& view, QWidget* parent) : QDialog(parent), view_(view) {
  setWindowTitle(T("RasterBrightContrastCap", "Brightness & Contrast"));
  auto* form = new QFormLayout(this);
  auto* brightRow = new QHBoxLayout;
  std::tie(brightness_, brightnessBox_) =
      LinkedSlider(this, raster::kBrightnessMin, raster::kBrightnessMax, model_.brightness, brightRow);
  auto* contrastRow = new QHBoxLayout;
  std::tie(contrast_, contrastBox_) =
      LinkedSlider(this, raster::kContrastMin, raster::kContrastMax, model_.contrast, contrastRow);
  form->addRow(Plain(T("RasterBrightness", "&Brightness:")), brightRow);
  form->addRow(Plain(T("RasterContrast", "&Contrast:")), contrastRow);
  form->addRow(new QLabel(T("RasterBrightContrastNote", "The view shows the result while the dialog is open."), this));
  form->addRow(OkCancel(this));
  connect(brightnessBox_, &QSpinBox::valueChanged, this, [this](int v) {
    model_.setBrightness(v);
    preview();
  });
  connect(contrastBox_, &QSpinBox::valueChanged, this, [this](int v) {
    model_.setContrast(v);
    preview();
  });
}

BrightnessContrastDlg::~BrightnessContrastDlg() { view_.setRasterPreview(std::nullopt); }

void BrightnessContrastDlg::setBrightness(int value) { brightnessBox_->setValue(value); }
void BrightnessContrastDlg::setContrast(int value) { contrastBox_->setValue(value); }

void BrightnessContrastDlg::preview() {
  view_.setRasterPreview(model_.neutral() ? std::nullopt : std::optional(model_.previewTable()));
}

}  // namespace quillon::ui
