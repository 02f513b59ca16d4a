// Traces arbitrary small 1-bit images with arbitrary switches through the
// whole pipeline (thinning or outline or fill pattern, polylines, every
// post-processing stage) and writes the drawing as DXF: no crash, a known
// result code, and no number in the file that is not finite.
//
// Input: width byte (which also picks the refined steps), height byte, method
// byte, switch byte, then the packed rows (repeated when the input is shorter
// than the image).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/dxf/dxf_file.h"
#include "formats/dxf/dxf_writer.h"
#include "model/graph.h"
#include "platform/message_sink.h"
#include "platform/progress.h"
#include "settings/trace_option.h"
#include "trace/trace_result.h"
#include "trace/trace_worker.h"

using namespace quillon;

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

class QuietWindow final : public platform::ProgressSink {
 public:
  void stageBegin(std::string_view) override {}
  void progress(int) override {}
  void stageEnd() override {}
  void finished(int code) override {
    ++finishedCount;
    result = code;
  }
  int finishedCount = 0;
  int result = -1;
};

bool LooksNotFinite(const std::string& value) {
  return value.find("nan") != std::string::npos || value.find("inf") != std::string::npos ||
         value.find("NAN") != std::string::npos || value.find("INF") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::NullMessageSink quiet;
  static platform::ScopedMessageSink guard(quiet);
  if (size < 5) return 0;
  const int width = 1 + data[0] % 96;
  const int height = 1 + data[1] % 96;
  const uint8_t method = data[2];
  const uint8_t switches = data[3];
  const uint8_t* bits = data + 4;
  const size_t bitBytes = size - 4;

  model::CGraph drawing;
  raster::CRaster& image = drawing.raster();
  if (!image.create(width, height, 1)) return 0;
  size_t k = 0;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.row(y);
    for (int x = 0; x < image.usedRowBytes(); ++x) row[x] = bits[k++ % bitBytes];
  }

  settings::TraceOption options;
  options.i_AutoTraceWhat = static_cast<settings::TraceMethod>(1 + method % 3);
  options.b_CalcWidth = switches & 1;
  options.b_DelLine = switches & 2;
  options.b_RecogniseCirArc = switches & 4;
  options.b_ForceOrtho = switches & 8;
  options.b_Connect = switches & 16;
  options.i_ConDis = 1 + (method >> 2) % 12;
  options.d_MaxDis = ((method >> 4) % 4) * 1.0;
  options.Outline.b_RecogniseCirArc = switches & 32;
  options.Outline.b_Fill = switches & 64;
  options.Outline.i_FillType = static_cast<settings::FillType>((switches >> 6) % 4);
  options.FillPattern.i_FillType = static_cast<settings::FillType>((switches >> 5) % 3);
  options.FillPattern.d_FillSpace = options.Outline.d_FillSpace = 1 + (method >> 6);
  // Width bytes 96-191 also turn the refined centre-line steps on.
  options.b_Refine = (data[0] / 96) == 1;

  QuietWindow window;
  trace::TraceWorker worker(drawing, options, window);
  worker.setThinningThreads(1);
  worker.run();
  Check(window.finishedCount == 1);
  const int code = window.result;
  Check(code == trace::kTraceFinished || code == trace::kTraceNoMemory || code == trace::kTraceFillFailed ||
        code == trace::kTraceError);

  formats::DxfCollectingWriter dxf;
  if (formats::WriteDxf2000File(dxf, drawing, true)) {
    for (const std::string& line : dxf.lines()) Check(!LooksNotFinite(line));
  }
  return 0;
}
