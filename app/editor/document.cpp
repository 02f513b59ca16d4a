#include "editor/document.h"

#include <algorithm>

#include "formats/dxf_reader/dxf_reader.h"
#include "model/layer.h"
#include "platform/message_sink.h"
#include "raster/raster_file.h"
#include "settings/language_table.h"
#include "settings/option_store.h"

namespace quillon::editor {

DocumentSettings LoadDocumentSettings(const platform::KeyValueStore& store) {
  DocumentSettings s;
  const settings::UndoSteps steps = settings::LoadUndoSteps(store);
  s.vectorUndoSteps = steps.vectorSteps;
  s.rasterUndoSteps = steps.rasterSteps;
  const settings::OsnapSettings osnap = settings::LoadOsnapSettings(store);
  s.osnapOn = osnap.on;
  s.osnapModes = static_cast<int32_t>(osnap.mode);
  return s;
}

Document::Document(const DocumentSettings& settings) { applySettings(settings); }

Document::Document(raster::CRaster raster, std::string fileName, int pageIndex, const DocumentSettings& settings)
    : fileName_(std::move(fileName)), pageIndex_(pageIndex) {
  raster.moveTo(graph_.raster());
  applySettings(settings);
}

Document::~Document() = default;

void Document::applySettings(const DocumentSettings& settings) {
  // A value outside its range leaves the default in force.
  const int vectorSteps = settings.vectorUndoSteps >= 1 && settings.vectorUndoSteps <= model::VectorUndoList::kMaxDepth
                              ? settings.vectorUndoSteps
                              : model::VectorUndoList::kDefaultDepth;
  const int rasterSteps =
      settings.rasterUndoSteps >= raster::kRasterUndoStepsMin && settings.rasterUndoSteps <= raster::kRasterUndoStepsMax
          ? settings.rasterUndoSteps
          : raster::kRasterUndoStepsDefault;
  graph_.undo.setDepth(vectorSteps);
  rasterUndo_.setDepth(rasterSteps);
  model::DrawingAids aids;
  aids.osnapOn = settings.osnapOn ? 1 : 0;
  aids.osnapModes = settings.osnapModes;
  graph_.aids = aids;
}

std::vector<std::unique_ptr<Document>> OpenRasterDocuments(const std::string& path, const DocumentSettings& settings) {
  std::vector<std::unique_ptr<Document>> documents;
  std::vector<raster::RasterDocument> pages = raster::OpenRasterFile(path);
  const bool multiPage = pages.size() > 1;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    documents.push_back(std::make_unique<Document>(std::move(pages[i].raster), std::move(pages[i].name),
                                                   multiPage ? static_cast<int>(i) : -1, settings));
  }
  return documents;
}

std::unique_ptr<Document> OpenVectorDocument(const std::string& path, const DocumentSettings& settings,
                                             formats::DxfReadReport* readReport) {
  auto document = std::make_unique<Document>(settings);
  formats::DxfReadReport local;
  formats::DxfReadReport& report = readReport ? *readReport : local;
  const bool complete = formats::ReadDxfFile(path, document->graph(), {}, &report);
  if (!report.opened) return nullptr;
  if (!complete) {
    std::string text = settings::Text("DxfReadIncomplete", "The DXF file could not be read to its end:");
    if (!report.stopReason.empty()) text += " " + report.stopReason;
    platform::ShowMessage(text, platform::MessageKind::Warning);
  }
  document->setFileName(path);
  document->setFromDxf(true);
  document->setModified(false);
  return document;
}

namespace {

bool currentLayerHasEntities(const model::CGraph& graph) {
  const model::CLayer* layer = graph.currentLayer();
  return layer != nullptr && layer->first() != nullptr;
}

bool needsSaving(const Document& document) {
  return document.modified() && currentLayerHasEntities(document.graph());
}

}  // namespace

bool ConfirmClose(Document& document, const QuestionCallback& ask, const SaveCallback& save) {
  if (!needsSaving(document)) return true;
  const std::string question = settings::Text("MainSaveChangeToFileMsg", "Save changes to vector file?");
  Answer answer = Answer::No;
  if (ask) {
    answer = ask(question);
  } else {
    answer = platform::ShowMessage(question, platform::MessageKind::Question) ? Answer::Yes : Answer::No;
  }
  switch (answer) {
    case Answer::No:
      return true;
    case Answer::Cancel:
      return false;
    case Answer::Yes:
      if (save) save(document);
      return !needsSaving(document);
  }
  return false;
}

}  // namespace quillon::editor
