#pragma once
// One document: a raster (or a drawing opened from DXF) with its drawing,
// both undo lists and the drawing aids. A document window owns one and it
// lives as long as the window.
//
// The drawing (model::CGraph) holds the raster, the layers, the drawing aids
// and the vector undo list; the document adds the raster undo list, where
// the document came from, and the settings read from the option store.
// Everything else a document window does (raster commands, trace, save) is
// built on these as free functions or further members, so this class stays
// small.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/dxf_reader/dxf_reader.h"
#include "model/graph.h"
#include "raster/raster_undo.h"

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::editor {

// What a new document takes from the option store ("Option" key).
struct DocumentSettings {
  int vectorUndoSteps = 32;  // "VectorUndoSteps", 1..100
  int rasterUndoSteps = 5;   // "RasterUndoSteps", 1..10
  bool osnapOn = true;       // "b_Osnap"
  int32_t osnapModes = 5;    // "OsnapPoint": end point and centre
};

// The stored values; a missing or out-of-range value keeps its default.
DocumentSettings LoadDocumentSettings(const platform::KeyValueStore& store);

// A colour as red, green, blue.
struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

class Document {
 public:
  // An empty document (no raster, no layers) with the settings applied.
  explicit Document(const DocumentSettings& settings = {});
  // A raster document: the raster moves into the drawing.
  Document(raster::CRaster raster, std::string fileName, int pageIndex, const DocumentSettings& settings = {});
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  model::CGraph& graph() { return graph_; }
  const model::CGraph& graph() const { return graph_; }
  raster::CRaster& raster() { return graph_.raster(); }
  const raster::CRaster& raster() const { return graph_.raster(); }
  bool hasRaster() const { return !graph_.raster().empty(); }
  // The vector undo list lives in the drawing.
  model::VectorUndoList& vectorUndo() { return graph_.undo; }
  raster::RasterUndoList& rasterUndo() { return rasterUndo_; }

  // Undo depths and drawing-aid defaults. The aids are set as for a new
  // drawing (grid and ortho off, spacing 25, angle 0) with the stored object
  // snap switch and modes.
  void applySettings(const DocumentSettings& settings);

  // The file the document was opened from (a page name "dir/name_INDEX.ext"
  // for a page of a multi-page raster), "" for a new document.
  const std::string& fileName() const { return fileName_; }
  void setFileName(std::string name) { fileName_ = std::move(name); }
  // Page of a multi-page raster file, -1 for a single image or a DXF.
  int pageIndex() const { return pageIndex_; }
  // True when the drawing was read from a DXF file (Open Vector).
  bool fromDxf() const { return fromDxf_; }
  void setFromDxf(bool value) { fromDxf_ = value; }

  // The drawing's modified flag (set by every vector change).
  bool modified() const { return graph_.modified(); }
  void setModified(bool flag) { graph_.markModified(flag); }

  // The colour the Fill commands paint with (Raster > Fill > Color...).
  Rgb fillColour{};

 private:
  model::CGraph graph_;
  raster::RasterUndoList rasterUndo_;
  std::string fileName_;
  int pageIndex_ = -1;
  bool fromDxf_ = false;
};

// Opens a raster file: one document per readable page of a multi-page file,
// else one document. Empty (after a message) when nothing could be read.
std::vector<std::unique_ptr<Document>> OpenRasterDocuments(const std::string& path,
                                                           const DocumentSettings& settings = {});

// Open Vector: reads a DXF file (ASCII or binary) into a new document (no
// raster, not modified). Null when the file cannot be opened (the reader
// shows why). A file that ends early still gives a document with what was
// read, after a warning that names the reason. report (may be null) receives
// what the read did per entity type, for the window to show
// (formats::DescribeDxfRead).
std::unique_ptr<Document> OpenVectorDocument(const std::string& path, const DocumentSettings& settings = {},
                                             formats::DxfReadReport* report = nullptr);

// ---- closing ---------------------------------------------------------------------

enum class Answer { Yes, No, Cancel };
// Asks the user the question; Cancel when the dialog offers it and it is chosen.
using QuestionCallback = std::function<Answer(std::string_view text)>;
// Saves the document's drawing (the save-vector command); true on success.
using SaveCallback = std::function<bool(Document&)>;

// The close rule, for closing a window and, window by window, the
// application: when the drawing is modified and its current layer holds an
// entity, asks "Save changes to vector file?" (key
// "MainSaveChangeToFileMsg"). Answers whether the document may close: Yes
// when there was no question or No was answered; on Yes the save runs and
// the document may close when afterwards it is no longer modified or its
// current layer is empty (a cancelled or failed save keeps it open, which
// also stops an application close); Cancel keeps it open. An empty ask uses
// the message sink's Yes/No question; an empty save saves nothing.
bool ConfirmClose(Document& document, const QuestionCallback& ask, const SaveCallback& save);

}  // namespace quillon::editor
