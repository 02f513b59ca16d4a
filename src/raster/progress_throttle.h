#pragma once
// Progress and cancellation of the raster filters: a text and a percent,
// passed on only when the percent changed (the filters would otherwise call
// back once per row, tens of thousands of times on a sheet), and the cancel
// flag polled once per row.
// Internal to src/raster.

#include <cstdint>
#include <string>

#include "platform/progress.h"

namespace quillon::raster::detail {

class RowProgress {
 public:
  RowProgress(const platform::ProgressCallback& callback, std::string text,
              const platform::CancelFlag* cancel = nullptr)
      : callback_(callback), text_(std::move(text)), cancel_(cancel) {}

  // A new text; the next report goes out whatever its percent.
  void setText(std::string text) {
    text_ = std::move(text);
    last_ = -1;
  }
  // Reports the percent when it differs from the last one (or always).
  void report(int percent, bool always = false) {
    if (!always && percent == last_) return;
    last_ = percent;
    platform::Report(callback_, text_, percent);
  }
  // Reports done * 100 / total (total > 0).
  void step(int64_t done, int64_t total) { report(static_cast<int>(done * 100 / total)); }

  // True when a cancel flag was given (the operation must then be able to
  // undo its partial work) / when it has been raised.
  bool cancellable() const { return cancel_ != nullptr; }
  bool cancelled() const { return cancel_ != nullptr && cancel_->requested(); }

 private:
  const platform::ProgressCallback& callback_;
  std::string text_;
  const platform::CancelFlag* cancel_;
  int last_ = -1;
};

}  // namespace quillon::raster::detail
