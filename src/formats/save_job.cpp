#include "formats/save_job.h"

#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "model/graph.h"
#include "platform/atomic_file.h"

namespace quillon::formats {

namespace {

constexpr const char* kOptionKey = "Software\\Marrowby\\Quillon\\Option";

std::optional<double> ReadPositiveDouble(const platform::KeyValueStore& store, std::string_view name) {
  auto bytes = store.readBinary(kOptionKey, name);
  if (!bytes || bytes->size() != sizeof(double)) return std::nullopt;
  double value = 0.0;
  std::memcpy(&value, bytes->data(), sizeof value);  // little-endian IEEE-754, as stored
  if (!(value > 0.0) || !std::isfinite(value)) return std::nullopt;
  return value;
}

platform::BinaryValue DoubleBytes(double value) {
  platform::BinaryValue bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

// Packs the text as one gzip member (RFC 1952) at zlib's default level: a
// .svgz is gzip everywhere, and browsers, rsvg and Inkscape refuse a bare
// zlib stream.
bool Compress(const std::string& text, std::vector<uint8_t>& out) {
  constexpr int kGzipWindow = 15 + 16;  // 32 KiB window, gzip wrapper
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&z, static_cast<uLong>(text.size())) + 32);  // the bound leaves out gzip's header
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return status == Z_STREAM_END;
}

// A memory stream for writers whose output is transformed before it reaches
// the file (the compressed SVG).
class MemoryStream {
 public:
  MemoryStream() : file_(open_memstream(&data_, &size_)) {}
  ~MemoryStream() {
    if (file_) std::fclose(file_);
    std::free(data_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  std::FILE* file() const { return file_; }
  // Closes the stream and answers its bytes; false when a write had failed.
  bool Finish(std::string& text) {
    if (!file_) return false;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok) text.assign(data_ ? data_ : "", size_);
    return ok;
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

// Sets the drawing's unit for the duration of a write.
class UnitOverride {
 public:
  UnitOverride(model::CGraph& drawing, bool active, int unit) : drawing_(drawing), saved_(drawing.unit), active_(active) {
    if (active_) drawing_.unit = static_cast<model::Unit>(unit);
  }
  ~UnitOverride() {
    if (active_) drawing_.unit = saved_;
  }
  UnitOverride(const UnitOverride&) = delete;
  UnitOverride& operator=(const UnitOverride&) = delete;

 private:
  model::CGraph& drawing_;
  model::Unit saved_;
  bool active_;
};

}  // namespace

DestinationSize LoadDestinationSize(const platform::KeyValueStore& store) {
  DestinationSize size;
  if (auto w = ReadPositiveDouble(store, "SaveGraphicsWidth")) size.width = *w;
  if (auto h = ReadPositiveDouble(store, "SaveGraphicsHeight")) size.height = *h;
  if (auto unit = store.readDword(kOptionKey, "SaveGraphicUnits")) {
    size.unit = *unit > kUnitPixel ? kUnitPixel : static_cast<int>(*unit);
  }
  return size;
}

bool StoreDestinationSize(platform::KeyValueStore& store, const DestinationSize& size) {
  int unit = size.unit < kUnitInch || size.unit > kUnitPixel ? kUnitPixel : size.unit;
  return store.createKey(kOptionKey) && store.writeBinary(kOptionKey, "SaveGraphicsWidth", DoubleBytes(size.width)) &&
         store.writeBinary(kOptionKey, "SaveGraphicsHeight", DoubleBytes(size.height)) &&
         store.writeDword(kOptionKey, "SaveGraphicUnits", static_cast<uint32_t>(unit));
}

std::string_view UnitSuffix(int unit) {
  switch (unit) {
    case kUnitInch: return "in";
    case kUnitCm: return "cm";
    case kUnitMm: return "mm";
    default: return "";
  }
}

// --- progress ------------------------------------------------------------------------

SaveProgress::SaveProgress(platform::ProgressCallback callback, std::string text, long total,
                           const platform::CancelFlag* cancel)
    : callback_(std::move(callback)), text_(std::move(text)), total_(total), cancel_(cancel) {}

void SaveProgress::Begin() { platform::Report(callback_, text_, 0); }

bool SaveProgress::EntityWritten() {
  ++written_;
  if (callback_ && total_ > 0) {
    // (100 / total) × n, truncated: 3 entities give 33, 66, 100.
    double percent = 100.0 / static_cast<double>(total_) * static_cast<double>(written_);
    callback_(text_, percent >= 100.0 ? 100 : static_cast<int>(percent));
  }
  return !(cancel_ && cancel_->requested());
}

void SaveProgress::End() { platform::Report(callback_, text_, 100); }

// --- job -------------------------------------------------------------------------------

SaveJob::SaveJob(model::CGraph& drawing, std::string fileName, bool saveWidth, int formatIndex,
                 platform::ProgressCallback progress)
    : drawing_(drawing),
      fileName_(std::move(fileName)),
      saveWidth_(saveWidth),
      format_(FormatForIndex(formatIndex)),
      progress_(std::move(progress)) {
  model::Box box;
  (void)drawing_.getDrawingExtents(box, true, false);  // fills the cache the writers read
}

SaveJob::~SaveJob() {
  if (worker_.joinable()) worker_.join();
}

void SaveJob::Start() {
  if (worker_.joinable()) return;
  {
    std::lock_guard lock(doneMutex_);
    done_ = false;
  }
  worker_ = std::thread([this] {
    bool ok = RunWriter();
    std::lock_guard lock(doneMutex_);
    result_ = ok;
    done_ = true;
    doneSignal_.notify_all();
  });
}

bool SaveJob::WaitFor(std::chrono::milliseconds timeout) {
  if (!worker_.joinable()) return true;
  std::unique_lock lock(doneMutex_);
  return doneSignal_.wait_for(lock, timeout, [this] { return done_; });
}

bool SaveJob::Wait() {
  if (worker_.joinable()) worker_.join();
  return result_;
}

bool SaveJob::Run() {
  result_ = RunWriter();
  return result_;
}

bool SaveJob::RunWriter() {
  error_.clear();
  auto fail = [this](const std::string& reason) {
    error_ = "Cannot save " + fileName_ + ": " + reason;
    return false;
  };
  WriterFunction writer = WriterForIndex(format_.index);
  if (!writer) return fail(std::string(format_.cliName) + " output is not available yet");
  const long total = static_cast<long>(drawing_.totalCount());
  if (total == 0) return fail("the drawing has no vectors");

  platform::AtomicFile target(fileName_);
  if (!target.open()) return fail(target.error());

  SaveProgress progress(progress_, FormatProgressText(format_), total, &cancel_);
  MemoryStream memory;  // only used for compressed output
  if (format_.compressed && !memory.file()) return fail("out of memory");
  SaveContext context{drawing_,
                      format_.compressed ? memory.file() : target.stream(),
                      fileName_,
                      saveWidth_,
                      destination_,
                      std::string(UnitSuffix(destination_.unit)),
                      progress,
                      {}};
  progress.Begin();
  bool ok;
  {
    UnitOverride unit(drawing_, format_.drawingUnitIsDestination, destination_.unit);
    ok = writer(context);
  }
  if (!ok) {
    if (cancel_.requested()) return fail("cancelled");
    return fail(context.error.empty() ? "the writer failed" : context.error);
  }
  if (format_.compressed) {
    std::string text;
    std::vector<uint8_t> packed;
    if (!memory.Finish(text)) return fail("the text could not be kept in memory");
    if (!Compress(text, packed)) return fail("compression failed");
    if (!target.write(packed.data(), packed.size())) return fail(target.error());
  }
  if (!target.commit()) return fail(target.error());
  progress.End();
  drawing_.markModified(false);
  return true;
}

}  // namespace quillon::formats
