#include "editor/app_session.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/key_value_store.h"
#include "platform/paths.h"
#include "raster/raster_file.h"
#include "settings/current_options.h"
#include "settings/language_table.h"
#include "settings/memory_budget.h"
#include "settings/number_text.h"
#include "settings/trace_option.h"

namespace quillon::editor {

namespace fs = std::filesystem;

AppSession::AppSession(platform::KeyValueStore& store) : AppSession(store, settings::CurrentTraceOption()) {}

AppSession::AppSession(platform::KeyValueStore& store, settings::TraceOption& record)
    : store_(store), record_(record) {}

void AppSession::start(const std::vector<std::string>& languageDirectories) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  settings::SetLocaleSeparators(settings::ReadUserSeparators());
  settings::LoadStartupLanguage(store_, settings::Language(), languageDirectories);
  record_.SetDefaults();
  recent_ = settings::LoadStartupSettings(store_, record_);
  settings::ApplyStoredMemoryBudget(store_);
}

void AppSession::start() { start(platform::DataDirectories()); }

std::vector<std::string> AppSession::startupFiles(const std::vector<std::string>& arguments) {
  std::vector<std::string> files;
  for (const std::string& argument : arguments) {
    if (recentEntryOpenable(argument)) files.push_back(argument);
  }
  return files;
}

bool AppSession::acceptsDroppedFile(std::string_view path) {
  return raster::IsRasterExtension(fs::path(path).extension().string());
}

bool AppSession::recentEntryOpenable(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::is_regular_file(path, error);
}

std::vector<std::unique_ptr<Document>> AppSession::openRaster(const std::string& path) {
  std::vector<std::unique_ptr<Document>> documents = OpenRasterDocuments(path, LoadDocumentSettings(store_));
  if (!documents.empty()) addRecentRaster(path);
  return documents;
}

std::unique_ptr<Document> AppSession::openVector(const std::string& path) {
  std::unique_ptr<Document> document = OpenVectorDocument(path, LoadDocumentSettings(store_));
  if (document) addRecentVector(path);
  return document;
}

std::vector<std::unique_ptr<Document>> AppSession::openStartupDocuments(const std::vector<std::string>& arguments) {
  std::vector<std::unique_ptr<Document>> documents;
  for (const std::string& path : startupFiles(arguments)) {
    for (auto& document : openRaster(path)) documents.push_back(std::move(document));
  }
  return documents;
}

bool AppSession::addRecentRaster(std::string_view path) { return settings::AddRecent(recent_.rasterFiles, path); }

bool AppSession::addRecentVector(std::string_view path) { return settings::AddRecent(recent_.vectorFiles, path); }

bool AppSession::stop() { return settings::SaveExitSettings(store_, record_, recent_); }

}  // namespace quillon::editor
