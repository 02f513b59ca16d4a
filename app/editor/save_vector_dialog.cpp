#include "editor/save_vector_dialog.h"

#include <chrono>

#include "formats/format_table.h"
#include "platform/message_sink.h"
#include "settings/language_table.h"
#include "settings/number_text.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"

namespace quillon::editor {

namespace {

// Where the name part of a path starts (after the last folder separator).
size_t NameStart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Where the extension starts in the name part, or the end of the path.
size_t ExtensionStart(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  return dot == std::string::npos || dot < NameStart(path) ? path.size() : dot;
}

constexpr auto kPumpInterval = std::chrono::milliseconds(50);

}  // namespace

std::string ReplaceExtension(const std::string& path, std::string_view extension) {
  return path.substr(0, ExtensionStart(path)) + std::string(extension);
}

SaveVectorDialog::SaveVectorDialog(int formatIndex, const std::string& documentName,
                                   const formats::DestinationSize& size, bool saveWidthFlag)
    : unit(size.unit), saveWidth(saveWidthFlag), formatIndex_(formats::FormatForIndex(formatIndex).index) {
  if (!documentName.empty()) fileName = ReplaceExtension(documentName, formats::FormatForIndex(formatIndex_).extension);
  widthText = settings::FormatNumber(size.width, 3);
  heightText = settings::FormatNumber(size.height, 3);
}

std::string SaveVectorDialog::FilterString() { return formats::FormatFilterString(); }

void SaveVectorDialog::selectFormat(int index) {
  formatIndex_ = formats::FormatForIndex(index).index;
  if (!fileName.empty()) fileName = ReplaceExtension(fileName, formats::FormatForIndex(formatIndex_).extension);
}

bool SaveVectorDialog::sizeGroupEnabled() const {
  return formats::FormatForIndex(formatIndex_).sizeBound;
}

bool SaveVectorDialog::saveWidthEnabled() const {
  return formatIndex_ != formats::kFormatHpgl && formatIndex_ != formats::kFormatCgm;
}

bool SaveVectorDialog::accept() {
  const auto refuse = [&](Field field, std::string_view key, std::string_view text) {
    focus_ = field;
    platform::ShowMessage(settings::Text(key, text));
    return false;
  };
  const std::optional<double> width = settings::ParseNumber(widthText);
  if (!width || *width <= 0.0) return refuse(Field::Width, "InvalidDataMsg", "Invalid data !");
  const std::optional<double> height = settings::ParseNumber(heightText);
  if (!height || *height <= 0.0) return refuse(Field::Height, "InvalidDataMsg", "Invalid data !");
  if (ExtensionStart(fileName) <= NameStart(fileName)) {
    return refuse(Field::FileName, "InvalidFileNameMsg", "Invalid file name!");
  }
  focus_ = Field::None;
  accepted_ = {*width, *height, unit < formats::kUnitInch || unit > formats::kUnitPixel ? formats::kUnitPixel : unit};
  return true;
}

std::string SaveVectorDialog::targetFileName() const {
  return ReplaceExtension(fileName, formats::FormatForIndex(formatIndex_).extension);
}

SaveVectorResult SaveVectorCommand(model::CGraph& drawing, platform::KeyValueStore& store,
                                   settings::TraceOption& options, const std::string& documentName, bool showWidth,
                                   const SaveVectorHooks& hooks, std::string* savedFile) {
  SaveVectorDialog dialog(options.i_VectorFileFormat, documentName, formats::LoadDestinationSize(store), showWidth);
  if (!hooks.showDialog || !hooks.showDialog(dialog)) return SaveVectorResult::Cancelled;
  options.i_VectorFileFormat = dialog.formatIndex();
  const std::string target = dialog.targetFileName();

  formats::SaveJob job(drawing, target, dialog.saveWidth, dialog.formatIndex(), hooks.progress);
  job.SetDestination(dialog.destination());
  job.Start();
  while (!job.WaitFor(kPumpInterval)) {
    if (hooks.pump) hooks.pump();
  }
  if (!job.Wait()) {
    // The format's own message first; the reason names the file and the cause.
    std::string message = formats::FormatFailureText(job.format());
    if (!job.error().empty()) message += "\n" + job.error();
    platform::ShowMessage(message);
    return SaveVectorResult::Failed;
  }
  if (!formats::StoreDestinationSize(store, dialog.destination()) || !store.flush()) {
    settings::ReportWriteFailure();
  }
  if (savedFile) *savedFile = target;
  return SaveVectorResult::Saved;
}

SaveVectorResult SaveDocument(Document& document, platform::KeyValueStore& store, settings::TraceOption& options,
                              bool showWidth, const SaveVectorHooks& hooks, std::string* savedFile) {
  return SaveVectorCommand(document.graph(), store, options, document.fileName(), showWidth, hooks, savedFile);
}

SaveCallback SaveVectorCallback(platform::KeyValueStore& store, settings::TraceOption& options, bool showWidth,
                                const SaveVectorHooks& hooks) {
  return [&store, &options, showWidth, hooks](Document& document) {
    return SaveDocument(document, store, options, showWidth, hooks) == SaveVectorResult::Saved;
  };
}

}  // namespace quillon::editor
