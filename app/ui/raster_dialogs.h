#pragma once
// The dialogs of the Raster menu. Each shows an editor model (or the raster
// library's settings) and keeps no rules of its own; the menu runs the
// chosen operation once the dialog is accepted.

#include <QDialog>
#include <QLabel>
#include <array>
#include <functional>
#include <optional>

#include "editor/raster_dialogs.h"
#include "raster/colour_replace.h"
#include "raster/template_filter.h"
#include "raster/template_library.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::ui {

class DrawingView;

// The part of the raster the view shows (its centre, at most 320 x 240
// pixels), copied for a dialog's preview; empty when nothing is shown.
raster::CRaster CropShownRaster(DrawingView& view);

// A dialog's preview: the operation applied to a copy of the shown part of
// the raster, redrawn a moment after the dialog's values change. Hidden
// until it has a source.
class RasterPreview : public QLabel {
  Q_OBJECT
 public:
  explicit RasterPreview(QWidget* parent = nullptr);
  void setSource(raster::CRaster source);
  // The operation on the copy; false leaves the copy as it was shown.
  void setOperation(std::function<bool(raster::CRaster&)> operation);
  // Asks for a redraw (the dialog's values changed).
  void refresh();
  bool hasSource() const { return !source_.empty(); }
  // The copy the preview shows after the operation (tests).
  const raster::CRaster& result() const { return result_; }

 private:
  void redraw();
  raster::CRaster source_;
  raster::CRaster result_;
  std::function<bool(raster::CRaster&)> operation_;
  class QTimer* timer_;
};

// A dialog that shows a preview of its operation.
class PreviewDialog : public QDialog {
  Q_OBJECT
 public:
  using QDialog::QDialog;
  RasterPreview* preview() const { return preview_; }

 protected:
  RasterPreview* preview_ = nullptr;
};

// "Threshold": a fixed level 0..255 or the automatic one, with the
// suggested level shown beside it.
class ThresholdDlg : public QDialog {
  Q_OBJECT
 public:
  ThresholdDlg(const editor::ThresholdDialogModel& model, QWidget* parent = nullptr);
  editor::ThresholdDialogModel model() const;
  void setLevel(int level);
  void setAutomatic(bool automatic);

 private:
  editor::ThresholdDialogModel model_;
  QRadioButton* fixed_;
  QRadioButton* automatic_;
  QSpinBox* level_;
  QSlider* slider_;
};

// "Dynamic Threshold": box size and contrast ratio.
class DynamicThresholdDlg : public PreviewDialog {
  Q_OBJECT
 public:
  explicit DynamicThresholdDlg(QWidget* parent = nullptr);
  const editor::DynamicThresholdModel& model() const { return model_; }

 private:
  editor::DynamicThresholdModel model_;
};

// "Fill Holes": the hole size; 0 is refused and the dialog stays open.
class FillHolesDlg : public PreviewDialog {
  Q_OBJECT
 public:
  explicit FillHolesDlg(QWidget* parent = nullptr);
  int holeSize() const { return holeSize_; }
  void setTyped(int value);
  void accept() override;

 private:
  QSpinBox* size_;
  int holeSize_ = 2;
};

// "Resample": pixel size, print size, resolution and its unit, the filter.
class ResampleDlg : public QDialog {
  Q_OBJECT
 public:
  ResampleDlg(const editor::ResampleDialogModel& model, QWidget* parent = nullptr);
  editor::ResampleDialogModel& model() { return model_; }
  // Shows the model's values (after a change made to the model directly).
  void refresh();
  void accept() override;

 private:
  editor::ResampleDialogModel model_;
  QSpinBox* width_;
  QSpinBox* height_;
  QDoubleSpinBox* printWidth_;
  QDoubleSpinBox* printHeight_;
  QDoubleSpinBox* resolution_;
  QComboBox* unit_;
  QCheckBox* keep_;
  QComboBox* filter_;
  bool refreshing_ = false;
};

// "Median Filter": the 3 x 3 or 5 x 5 template.
class MedianDlg : public PreviewDialog {
  Q_OBJECT
 public:
  explicit MedianDlg(QWidget* parent = nullptr);
  int windowSize() const;
  void setWindowSize(int size);

 private:
  QListWidget* list_;
};

// "Select template": the stored template library with Add, Modify and
// Delete; Apply filters the raster with the template the fields describe.
class TemplateDlg : public PreviewDialog {
  Q_OBJECT
 public:
  TemplateDlg(platform::KeyValueStore& store, QWidget* parent = nullptr);
  raster::TemplateLibrary& library() { return library_; }
  // The template to apply (set by Apply).
  const std::optional<raster::KernelTemplate>& chosen() const { return chosen_; }
  void select(int position);
  void showTemplate(const raster::KernelTemplate& kernel);
  raster::TemplateFields fields() const;
  // The buttons' actions.
  void apply();
  void add();
  void modify();
  void remove();

 private:
  void refreshList();
  void sizeChanged();

  raster::TemplateLibrary library_;
  std::optional<raster::KernelTemplate> chosen_;
  QListWidget* list_;
  QLineEdit* name_;
  QComboBox* size_;
  QLineEdit* centreX_;
  QLineEdit* centreY_;
  QLineEdit* factor_;
  std::array<QLineEdit*, 25> grid_{};
};

// "Color replace": the colour to replace, the new colour and the bound.
class ColorReplaceDlg : public PreviewDialog {
  Q_OBJECT
 public:
  explicit ColorReplaceDlg(QWidget* parent = nullptr);
  const raster::ColorReplaceSettings& settings() const { return settings_; }
  void setSource(settings::Rgb colour);
  void setReplacement(settings::Rgb colour);
  void setBound(int bound);

 private:
  void refresh();
  raster::ColorReplaceSettings settings_;
  QPushButton* source_;
  QPushButton* replacement_;
  QSpinBox* bound_;
  QPushButton* ok_;
};

// "Brightness & Contrast" with a live preview on the view while it is open.
class BrightnessContrastDlg : public QDialog {
  Q_OBJECT
 public:
  BrightnessContrastDlg(DrawingView& view, QWidget* parent = nullptr);
  ~BrightnessContrastDlg() override;
  const editor::BrightnessContrastModel& model() const { return model_; }
  void setBrightness(int value);
  void setContrast(int value);

 private:
  void preview();
  DrawingView& view_;
  editor::BrightnessContrastModel model_;
  QSlider* brightness_;
  QSlider* contrast_;
  QSpinBox* brightnessBox_;
  QSpinBox* contrastBox_;
};

}  // namespace quillon::ui
