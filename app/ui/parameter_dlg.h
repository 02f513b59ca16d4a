#pragma once
// The Set Parameter dialog: the trace method pages (centre line, outline,
// fill pattern) with the threshold, the chart types of the centre-line page,
// the summary of the values as they stand and a preview that traces the
// visible part of the raster with them. The rules live in the editor's
// dialog model (editor/parameter_dialog.h); this window shows it.
//
// Use:
//   CParameterDlg dlg(store, record, false, PreviewSourceOf(frame), this);   // batch: true, {}
//   if (dlg.exec() == QDialog::Accepted) record.CopyFrom(dlg.option());
//
// OK commits the pages; a value that does not parse or lies out of range is
// refused with "Invalid data !", its control takes the focus and the dialog
// stays open. The dialog never writes the record it was given; chart types
// saved, deleted or reset from it are stored at once.

#include <QDialog>
#include <memory>

#include "editor/parameter_dialog.h"
#include "editor/view_window.h"
#include "settings/trace_option.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace quillon::platform {
class KeyValueStore;
}
namespace quillon::raster {
class CRaster;
}

namespace quillon::ui {

// What the preview traces: the document's raster and the drawing rectangle
// its view shows (drawing units, y up). The raster is used only while the
// dialog is built (the visible part is copied then, and the raster's
// suggested threshold cached). A null raster (batch mode, a drawing without
// raster) shows no preview.
struct ParameterPreviewSource {
  raster::CRaster* raster = nullptr;
  editor::WindowBox visible;
};

class PreviewPane;

class CParameterDlg : public QDialog {
  Q_OBJECT

 public:
  // Edits a copy of `option`. Chart types and series are read from (and
  // chart types written to) `store`. In batch mode the preview area shows
  // "Batch process mode." and nothing is traced.
  CParameterDlg(platform::KeyValueStore& store, const settings::TraceOption& option, bool batchMode,
                ParameterPreviewSource preview = {}, QWidget* parent = nullptr);
  ~CParameterDlg() override;

  // The edited record: after OK the committed values; before, the values as
  // last committed (the record the dialog was opened with until then).
  settings::TraceOption option() const;

  // OK: commits every page; refused (message shown, focus moved, dialog
  // open) when a value is invalid.
  void accept() override;

  // The chart type Save command after its name dialog: asks before
  // overwriting a listed name (false when the answer is No, so the name
  // dialog opens again), then stores the values under the name.
  bool saveChartTypeNamed(const QString& name);
  // Delete (after its question) and Reset of the chart type box.
  void deleteChartType();
  void resetChartType();

  // The dialog model (tests drive and inspect it).
  editor::ParameterDialog& model() { return *model_; }
  // Whether the preview area shows a traced picture; how many finished
  // previews were shown (tests).
  bool previewShown() const;
  // The text the preview area shows instead of a picture ("Batch process
  // mode." in batch mode).
  QString previewText() const;
  int previewsShown() const { return previewsShown_; }

  QTabWidget* methods() const { return methods_; }
  QCheckBox* autoGrayBox() const { return autoGray_; }
  QLineEdit* thresholdEdit() const { return threshold_; }
  QComboBox* chartTypeBox() const { return chartType_; }
  QCheckBox* calcWidthBox() const { return calcWidth_; }
  QComboBox* widthSeriesBox() const { return widthSeries_; }
  QCheckBox* delLineBox() const { return delLine_; }
  QLineEdit* delLineLengthEdit() const { return delLineLength_; }
  QCheckBox* centerRecogniseBox() const { return centerRecognise_; }
  QComboBox* centerMaxDisBox() const { return centerMaxDis_; }
  QCheckBox* forceOrthoBox() const { return forceOrtho_; }
  QComboBox* angleSeriesBox() const { return angleSeries_; }
  QCheckBox* connectBox() const { return connect_; }
  QLineEdit* conDisEdit() const { return conDis_; }
  QCheckBox* refineBox() const { return refine_; }
  QComboBox* outlineMaxDisBox() const { return outlineMaxDis_; }
  QCheckBox* outlineRecogniseBox() const { return outlineRecognise_; }
  QCheckBox* outlineFillBox() const { return outlineFill_; }
  QComboBox* outlineFillTypeBox() const { return outlineFillType_; }
  QComboBox* outlineFillSpaceBox() const { return outlineFillSpace_; }
  QComboBox* fillPatternTypeBox() const { return fillPatternType_; }
  QComboBox* fillPatternSpaceBox() const { return fillPatternSpace_; }
  QPlainTextEdit* summaryText() const { return summary_; }
  QWidget* previewArea() const;

 private:
  void buildControls();
  void fillLists();
  // Model → controls (signals blocked), controls → model.
  void showModel();
  void readControls();
  void controlEdited(bool centreLine);
  // Enabled states, summary, and a new preview after a pause.
  void refresh();
  void startPreview();
  void previewFinished(editor::PreviewResult result);
  void focusField(settings::ParameterField field);
  void saveChartTypeAsked();

  std::unique_ptr<editor::ParameterDialog> model_;
  std::unique_ptr<editor::ParameterPreview> tracer_;
  PreviewPane* preview_ = nullptr;
  QTimer* previewTimer_ = nullptr;
  int previewsShown_ = 0;
  bool batchMode_ = false;

  QGroupBox* thresholdGroup_ = nullptr;
  QCheckBox* autoGray_ = nullptr;
  QLineEdit* threshold_ = nullptr;
  QTabWidget* methods_ = nullptr;
  QComboBox* chartType_ = nullptr;
  QPushButton* saveChart_ = nullptr;
  QPushButton* deleteChart_ = nullptr;
  QPushButton* resetChart_ = nullptr;
  QCheckBox* calcWidth_ = nullptr;
  QComboBox* widthSeries_ = nullptr;
  QCheckBox* delLine_ = nullptr;
  QLineEdit* delLineLength_ = nullptr;
  QCheckBox* centerRecognise_ = nullptr;
  QComboBox* centerMaxDis_ = nullptr;
  QCheckBox* forceOrtho_ = nullptr;
  QComboBox* angleSeries_ = nullptr;
  QCheckBox* connect_ = nullptr;
  QLineEdit* conDis_ = nullptr;
  QCheckBox* refine_ = nullptr;
  QComboBox* outlineMaxDis_ = nullptr;
  QCheckBox* outlineRecognise_ = nullptr;
  QCheckBox* outlineFill_ = nullptr;
  QComboBox* outlineFillType_ = nullptr;
  QComboBox* outlineFillSpace_ = nullptr;
  QComboBox* fillPatternType_ = nullptr;
  QComboBox* fillPatternSpace_ = nullptr;
  QPlainTextEdit* summary_ = nullptr;
};

// The name dialog of the chart type Save command: the listed names and an
// edit field; OK is enabled only while the name is not empty.
class ChartTypeNameDlg : public QDialog {
  Q_OBJECT

 public:
  ChartTypeNameDlg(const QStringList& names, QWidget* parent = nullptr);
  QString name() const;
  QLineEdit* nameEdit() const { return edit_; }
  QPushButton* okButton() const { return ok_; }

 private:
  QListWidget* list_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QPushButton* ok_ = nullptr;
};

class CChildFrame;

// The preview source of a document window: its raster and the part its view
// shows. Empty (no preview) for no window or a window without raster.
ParameterPreviewSource PreviewSourceOf(CChildFrame* frame);

// The Set Parameter command: opens the dialog on the current record with
// the preview of the given raster and, on OK, makes the edited values the
// current record and stores them (they persist across restarts). Answers
// whether OK was chosen.
bool RunParameterDialog(platform::KeyValueStore& store, settings::TraceOption& current, ParameterPreviewSource preview,
                        QWidget* parent);

}  // namespace quillon::ui
