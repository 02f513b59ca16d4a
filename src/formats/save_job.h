#pragma once
// Saving a drawing as a vector file: the save job opens the target, runs the
// format's writer (on a worker thread when started with Start), reports
// progress per entity and clears the drawing's modified flag on success.
//
// Nothing is lost on failure: the writer writes to a temporary file beside the
// target, which replaces the target only when the writer succeeded and every
// byte reached the disk. A failed save leaves the previous file untouched.
//
// Plugging in a writer: declare `bool SaveXxx(SaveContext& context);` in
// the format's header (src/formats/<format>/), and return it for its index
// from WriterForIndex in src/formats/format_table.cpp (one line).

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "formats/format_table.h"
#include "platform/key_value_store.h"
#include "platform/progress.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

// Destination size of the size-bound formats (SVG, SVGZ, PDF).
enum : int { kUnitInch = 0, kUnitCm = 1, kUnitMm = 2, kUnitPixel = 3 };

struct DestinationSize {
  double width = 640.0;
  double height = 480.0;
  int unit = kUnitPixel;
};

// Reads "SaveGraphicsWidth"/"SaveGraphicsHeight" (8-byte binary doubles; a
// value of another type or size, or not greater than 0, gives 640 and 480)
// and "SaveGraphicUnits" (missing gives 3, above 3 becomes 3) from the option
// key. Never fails.
DestinationSize LoadDestinationSize(const platform::KeyValueStore& store);
// Writes the three values; false when the store refused a write.
bool StoreDestinationSize(platform::KeyValueStore& store, const DestinationSize& size);
// The SVG unit suffix: "in", "cm", "mm", or "" for pixels and any other unit.
std::string_view UnitSuffix(int unit);

// Per-entity progress of one save. Calls the callback with 0 at Begin, with
// trunc(100 / total × n) after the n-th entity, and with 100 at End. Answers
// false from EntityWritten once cancellation was requested: the writer stops
// and fails.
class SaveProgress {
 public:
  SaveProgress(platform::ProgressCallback callback, std::string text, long total,
               const platform::CancelFlag* cancel = nullptr);
  void Begin();
  [[nodiscard]] bool EntityWritten();
  void End();
  long written() const { return written_; }
  long total() const { return total_; }

 private:
  platform::ProgressCallback callback_;
  std::string text_;
  long total_;
  long written_ = 0;
  const platform::CancelFlag* cancel_;
};

// What a writer gets. The writer writes the whole file to `file` (a binary
// stream: text formats write their own CR LF), walks the layers and entities
// in list order, calls progress.EntityWritten() after each entity and stops
// with false when that answers false. It answers false on any failure and may
// put a short reason into `error`. It never opens, closes, renames or removes
// files: the job owns the file. The drawing has at least one entity.
struct SaveContext {
  model::CGraph& drawing;
  std::FILE* file;
  std::string fileName;      // the final target path, for writers that name it inside the file
  bool saveWidth;
  DestinationSize destination;
  std::string unitSuffix;    // UnitSuffix(destination.unit), used by SVG
  SaveProgress& progress;
  std::string error;
};

class SaveJob {
 public:
  // Fills the drawing's extents cache (extents with margin, without raster),
  // which the writers read, and prepares the temporary file beside fileName.
  // An index outside 2..9 is format 1. The caller may then set the
  // destination size.
  SaveJob(model::CGraph& drawing, std::string fileName, bool saveWidth, int formatIndex,
          platform::ProgressCallback progress = {});
  ~SaveJob();  // waits for a started worker
  SaveJob(const SaveJob&) = delete;
  SaveJob& operator=(const SaveJob&) = delete;

  void SetDestination(const DestinationSize& size) { destination_ = size; }

  // Runs the writer on the calling thread and answers the result. The target
  // is replaced only on success; then the drawing's modified flag is cleared.
  bool Run();
  // Runs on a worker thread; Wait joins it and answers the result. The
  // drawing must not change until Wait returns.
  void Start();
  bool Wait();
  // Waits at most `timeout` for a started worker; true once it has ended
  // (Wait then returns at once). True when no worker was started.
  bool WaitFor(std::chrono::milliseconds timeout);
  // Asks a running writer to stop; it fails at the next entity.
  void Cancel() { cancel_.request(); }

  bool result() const { return result_; }
  // Why the save failed ("" after success), naming the file.
  const std::string& error() const { return error_; }
  const OutputFormat& format() const { return format_; }
  const std::string& fileName() const { return fileName_; }

 private:
  bool RunWriter();

  model::CGraph& drawing_;
  std::string fileName_;
  bool saveWidth_;
  const OutputFormat& format_;
  platform::ProgressCallback progress_;
  DestinationSize destination_;
  platform::CancelFlag cancel_;
  std::thread worker_;
  std::mutex doneMutex_;
  std::condition_variable doneSignal_;
  bool done_ = false;  // guarded by doneMutex_
  bool result_ = false;
  std::string error_;
};

}  // namespace quillon::formats
