#pragma once
// What `quillon trace` shows while it converts: a progress bar on stderr,
// the written files on stdout, one error line per failed input, and stage
// times on request.

#include <functional>
#include <string>
#include <string_view>

#include "batch/convert.h"
#include "batch/parallel_batch.h"
#include "platform/message_sink.h"

namespace quillon::cli {

struct TraceDisplay {
  bool bar = false;         // progress bar on stderr
  bool quiet = false;       // no "wrote" lines
  bool stageTimes = false;  // each stage's time and peak memory on stderr
};

// Converts one input on this thread. Prints "wrote TARGET (N entities)" per
// written file unless quiet, and one "quillon: ..." line when it fails, the
// reason taken from stepFailure (set by the job's raster steps), the raster
// loader's first error, the conversion's detail or its status, in that order.
// True when everything was converted.
bool TraceOne(const std::string& path, const std::string& shown, const std::string& target, batch::ConvertJob& job,
              const std::string& stepFailure, const TraceDisplay& display);

// Reports a task the conversion pool finished, as TraceOne does.
bool ReportTask(const batch::BatchTask& task, const std::string& shown, const std::string& stepFailure, bool quiet);

// The listener the raster steps of a conversion on this thread report their
// names to (for stage times); empty when nobody listens.
std::function<void(std::string_view)> CurrentStepListener();

// A message sink for conversions on several threads: it shows nothing, so
// concurrent loader complaints cannot interleave; each conversion's own
// detail says what failed.
class ConcurrentSink final : public platform::MessageSink {
 public:
  bool show(std::string_view, platform::MessageKind kind) override { return kind != platform::MessageKind::Question; }
};

}  // namespace quillon::cli
