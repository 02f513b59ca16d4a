#pragma once
// What the application does at start and at exit, apart from its windows:
// the user's separators, the language table, the current trace parameters
// from the settings store, the settings version check, the two recent-file
// lists, and which command-line arguments are opened as raster documents.
//
// The application's main calls, in this order:
//
//   AppSession session(store);
//   session.start();                      // before the main window exists
//   ... create the main window ...
//   for (auto& document : session.openStartupDocuments(arguments)) show it
//   ... run ...
//   session.stop();                       // after every window agreed to close

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/document.h"
#include "settings/option_store.h"

namespace quillon::platform {
class KeyValueStore;
}
namespace quillon::settings {
class TraceOption;
}

namespace quillon::editor {

class AppSession {
 public:
  // The store must outlive the session. The record is the process-wide
  // current TraceOption unless another is given (tests).
  explicit AppSession(platform::KeyValueStore& store);
  AppSession(platform::KeyValueStore& store, settings::TraceOption& record);

  // Seeds the random generator, reads the user's decimal and list
  // separators, loads the chosen language file from the first of the
  // directories that holds it, gives the trace parameters their defaults
  // and fills them from the store, checks the settings version (resetting
  // the display colours of settings older than 300, with its message),
  // loads the raster and vector recent-file lists and makes the stored
  // conversion memory budget the process's default one.
  void start(const std::vector<std::string>& languageDirectories);
  void start();  // with the program's data directories

  // The command-line arguments that name an existing file (not a
  // directory), in their order: each is opened as a raster document.
  static std::vector<std::string> startupFiles(const std::vector<std::string>& arguments);
  // A dropped file is opened as a raster when its extension, ignoring case,
  // is one of .bmp .jpg .jpeg .tga .tif .tiff .pcx.
  static bool acceptsDroppedFile(std::string_view path);
  // A recent entry is opened only while the file still exists.
  static bool recentEntryOpenable(const std::string& path);

  // Opens a raster file, one document per page, with the stored document
  // settings; a file that opened goes to the front of the raster list.
  // Empty (after the reader's message) when nothing could be read.
  std::vector<std::unique_ptr<Document>> openRaster(const std::string& path);
  // Open Vector: a DXF file into a new document; the file goes to the front
  // of the vector list. Null when it cannot be read.
  std::unique_ptr<Document> openVector(const std::string& path);
  // Every startup file (above) opened as raster documents, in order.
  std::vector<std::unique_ptr<Document>> openStartupDocuments(const std::vector<std::string>& arguments);

  // Moves (or adds) the path to the front of a list; true when it changed
  // (the raster list's menu is then rebuilt).
  bool addRecentRaster(std::string_view path);
  bool addRecentVector(std::string_view path);
  const settings::RecentLists& recent() const { return recent_; }

  settings::TraceOption& options() { return record_; }
  platform::KeyValueStore& store() { return store_; }

  // Saves the trace parameters and both recent-file lists. False (reported
  // once with "Write to registry failed!") when the store refused.
  bool stop();

 private:
  platform::KeyValueStore& store_;
  settings::TraceOption& record_;
  settings::RecentLists recent_;
};

}  // namespace quillon::editor
