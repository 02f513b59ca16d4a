#pragma once
// The model of the Set Parameter dialog (CParameterDlg): the controls'
// contents, which control each switch enables, the chart type box with its
// Save, Delete and Reset commands, the summary of the values as they stand,
// the commit on OK, and the preview that traces the visible part of the
// raster with the dialog's values on a worker thread.
//
// The dialog edits its own copy of the record; the caller takes option()
// after OK. The rules of the commit and of the chart types live in
// settings (CommitParameterPages, LoadChartType, ResetChartType, ...); this
// model wires them to the controls.

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "editor/view_window.h"
#include "raster/raster.h"
#include "settings/trace_option.h"

namespace quillon::model {
class CGraph;
}
namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::editor {

class ParameterDialog {
 public:
  // The controls a switch can enable or disable.
  enum class Control {
    Threshold,         // off while "Auto" is checked
    WidthSeries,       // on with "Calculate width"
    DelLineLength,     // on with "Delete mix-up line"
    AngleSeries,       // on with "Adjust angle"
    ConDis,            // on with "Connect adjacent line"
    OutlineFillType,   // on with the outline's "Fill"
    OutlineFillSpace,  // on with "Fill" and a type other than solid
  };

  // What a chart type command did.
  enum class ChartResult {
    Done,
    Nothing,      // nothing to do (no name, or not a built-in name for Reset)
    InvalidData,  // Save: a value did not commit ("Invalid data !" shown)
    StoreFailed,  // the store refused (its message was shown)
  };

  ParameterDialog(platform::KeyValueStore& store, const settings::TraceOption& record, bool batchMode);

  // What the controls hold. The window writes the user's edits here and calls
  // centreLineEdited() after a hand edit of a centre-line control.
  settings::ParameterPages pages;

  bool batchMode() const { return batchMode_; }
  // The record as last committed (the record the dialog was opened with
  // until the first commit or chart type command).
  const settings::TraceOption& record() const { return record_; }

  bool enabled(Control control) const;

  // A centre-line control was changed by hand: while the centre-line page is
  // shown the chart type box becomes "Unnamed".
  void centreLineEdited();

  // ---- lists of the combo boxes ----
  // The chart type box: stored names, then the built-in ones not listed.
  const std::vector<std::string>& chartTypes() const { return chartTypes_; }
  std::vector<std::string> widthSeriesNames() const;
  std::vector<std::string> angleSeriesNames() const;
  static std::vector<std::string> fillTypeNames(bool withSolid);

  // ---- chart types ----
  // Choosing a name in the box: the chart type's values are loaded and shown
  // (centre-line controls only); a name that is neither stored nor built in
  // gives pre_Default values and the box shows "Unnamed". Answers found.
  bool chooseChartType(const std::string& name);
  // The name dialog's question: true when the name equals a listed one
  // (ignoring case), so the user must confirm the overwrite.
  bool saveNeedsOverwrite(const std::string& name) const;
  // Save under a name: the name joins the box (unless listed), the box
  // shows it, the values are committed and stored as that chart type. A
  // value that does not commit shows "Invalid data !" and stores nothing.
  ChartResult saveChartType(const std::string& name);
  // Delete the box's chart type (the caller asked the question): removed
  // from the store and, unless built in, from the box; the box shows
  // "Unnamed".
  ChartResult deleteChartType();
  // Reset the box's chart type: a built-in name returns its values
  // (pre_Default: the whole record) and stores them under its name; every
  // control shows the record again. Other names: Nothing.
  ChartResult resetChartType();

  // ---- commit ----
  // OK: commits every page into the record. A refused value shows "Invalid
  // data !" and answers false; focus() names its control.
  bool accept();
  settings::ParameterField focus() const { return focus_; }

  // The summary of the controls' values as they stand (the values that
  // would commit; invalid texts keep the record's value).
  std::string summary() const;

  // The preview's record: a copy of the record with the pages committed, or
  // nothing while a value is invalid. The record itself is not touched.
  std::optional<settings::TraceOption> previewOptions() const;

 private:
  void showCentreLine();  // centre-line controls from the record

  platform::KeyValueStore& store_;
  settings::TraceOption record_;
  bool batchMode_;
  std::vector<std::string> chartTypes_;
  settings::ParameterField focus_ = settings::ParameterField::None;
};

// ---- preview -----------------------------------------------------------------

// The raster rectangle [left, right) x [top, bottom), rows counted downwards,
// under a drawing box (one unit per pixel, y up), clipped to the raster.
// Empty (right <= left or bottom <= top) when nothing of the raster shows.
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  bool operator==(const PixelRect&) const = default;
};
PixelRect VisiblePixels(int rasterWidth, int rasterHeight, const WindowBox& visible);

// A finished preview trace: the traced drawing over the 1-bit copy of the
// visible part, in that part's own coordinates.
struct PreviewResult {
  int generation = 0;
  int resultCode = -1;  // the trace result: 0 finished, 10 stopped, ...
  std::shared_ptr<model::CGraph> drawing;
};

// Traces the visible part of a raster with the dialog's values on worker
// threads. Each start() cancels the run before it (a run that is cancelled
// still ends, but its result carries a stale generation), so the window
// shows only the newest. The copy of the visible part is made once.
class ParameterPreview {
 public:
  // done() is called on the worker thread when a run ends; it must hand the
  // result to the window's thread itself.
  using Done = std::function<void(PreviewResult)>;

  // Copies the visible part of the raster (any depth). automaticThreshold is
  // the whole raster's suggested threshold, which the Trace command uses.
  ParameterPreview(const raster::CRaster& source, const PixelRect& part, int automaticThreshold, Done done);
  // Cancels every run and waits for them.
  ~ParameterPreview();
  ParameterPreview(const ParameterPreview&) = delete;
  ParameterPreview& operator=(const ParameterPreview&) = delete;

  bool empty() const { return part_.empty(); }
  const PixelRect& part() const { return part_; }
  // Starts a run with the options; answers its generation (0 when nothing
  // was started: no visible part, or the thread could not be made).
  int start(const settings::TraceOption& options);
  // Cancels the running trace, if any.
  void cancel();
  // The generation of the newest run.
  int generation() const { return generation_.load(); }
  // Waits for every run to end (tests).
  void wait();

 private:
  struct Run;
  void reap(bool all);

  raster::CRaster copy_;
  PixelRect part_;
  int automaticThreshold_;
  Done done_;
  std::atomic<int> generation_{0};
  std::list<std::unique_ptr<Run>> runs_;
};

// The 1-bit raster a preview (or the Trace command) traces: the copy made
// 1-bit with the automatic threshold when b_AutoGray is on, else i_Gray. False
// when it cannot be converted.
bool PreviewBitmap(const raster::CRaster& part, const settings::TraceOption& options, int automaticThreshold,
                   raster::CRaster& out);

}  // namespace quillon::editor
