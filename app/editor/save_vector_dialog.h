#pragma once
// The save-vector command and the model of its dialog (CSaveVecDlg): the
// format list, the file name that follows the chosen format, the destination
// size fields and the save-width check box with the rules that enable them,
// the checks on OK, and the save itself on a worker thread.

#include <functional>
#include <string>

#include "editor/document.h"
#include "formats/save_job.h"
#include "platform/progress.h"

namespace quillon::model {
class CGraph;
}
namespace quillon::platform {
class KeyValueStore;
}
namespace quillon::settings {
class TraceOption;
}

namespace quillon::editor {

// "dir/name.ext" with the extension replaced (or added): folder and base
// name are kept, the extension is what follows the last "." of the name.
std::string ReplaceExtension(const std::string& path, std::string_view extension);

class SaveVectorDialog {
 public:
  // The controls the dialog moves the focus to after a refused OK.
  enum class Field { None, Width, Height, FileName };

  // The dialog as it opens: the format index (outside 2..9 means 1), the
  // document's name with the format's extension ("" when the document has
  // none), the stored destination size shown with three decimals in the
  // user's decimal separator, and the save-width box as the view's "Show
  // Width" toggle.
  SaveVectorDialog(int formatIndex, const std::string& documentName, const formats::DestinationSize& size,
                   bool saveWidth);

  // The type list: every format's text followed by its filter, in index order.
  static std::string FilterString();

  int formatIndex() const { return formatIndex_; }
  // Choosing a type: the file name's extension becomes the format's, and
  // the controls are enabled for it.
  void selectFormat(int formatIndex);
  // The size group serves SVG, PDF and compressed SVG only.
  bool sizeGroupEnabled() const;
  // HP-GL and CGM carry no widths.
  bool saveWidthEnabled() const;

  // The fields as the user edits them.
  std::string fileName;
  std::string widthText;
  std::string heightText;
  int unit = formats::kUnitPixel;  // 0 Inch, 1 cm, 2 mm, 3 Pixel
  bool saveWidth = true;

  // OK: the width and then the height must be numbers greater than 0
  // ("Invalid data !"), the file name must have a base name ("Invalid file
  // name!"). The first failing check shows its message, moves the focus and
  // answers false; the dialog stays open.
  bool accept();
  // The control to focus after a refused accept().
  Field focus() const { return focus_; }

  // After a successful accept(): the file name with the format's extension
  // and the destination size.
  std::string targetFileName() const;
  formats::DestinationSize destination() const { return accepted_; }

 private:
  int formatIndex_;
  Field focus_ = Field::None;
  formats::DestinationSize accepted_;
};

enum class SaveVectorResult {
  Saved,      // the file was written; the drawing is no longer modified
  Cancelled,  // the dialog was closed without saving
  Failed,     // the writer failed; its format's message was shown
};

// What the save-vector command needs from the window around it.
struct SaveVectorHooks {
  // Shows the dialog until the user accepts (accept() answered true) or
  // cancels (answer false). Required.
  std::function<bool(SaveVectorDialog&)> showDialog;
  // Called about every 50 ms while the worker writes, to repaint; may be empty.
  std::function<void()> pump;
  // Per-entity progress of the writer, on the worker thread; may be empty.
  platform::ProgressCallback progress;
};

// The save-vector command: opens the dialog with the stored destination
// size and i_VectorFileFormat, makes the chosen type the current format
// index, writes the file on a worker thread, and stores the destination size
// only after a successful save. savedFile (when given) receives the name
// written.
SaveVectorResult SaveVectorCommand(model::CGraph& drawing, platform::KeyValueStore& store,
                                   settings::TraceOption& options, const std::string& documentName, bool showWidth,
                                   const SaveVectorHooks& hooks, std::string* savedFile = nullptr);

// The save-vector command on a document (its drawing and file name).
SaveVectorResult SaveDocument(Document& document, platform::KeyValueStore& store, settings::TraceOption& options,
                              bool showWidth, const SaveVectorHooks& hooks, std::string* savedFile = nullptr);

// The save of the close rule (ConfirmClose): the save-vector command on the
// document being closed. The store and options must outlive the callback.
SaveCallback SaveVectorCallback(platform::KeyValueStore& store, settings::TraceOption& options, bool showWidth,
                                const SaveVectorHooks& hooks);

}  // namespace quillon::editor
