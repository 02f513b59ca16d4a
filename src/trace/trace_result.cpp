#include "trace/trace_result.h"

#include <cstdio>

#include "settings/language_table.h"

namespace quillon::trace {

namespace {

struct StageDefault {
  std::string_view key;
  std::string_view text;
};

// Built-in texts of the tracer's stages and of the post-processing stages
// that report through the same sink.
constexpr StageDefault kStageDefaults[] = {
    {"ProcessThinFirstStep", "Thin first step"},
    {"ProcessThinSecondStep", "Thin second step"},
    {"ProcessTraceCenterInit", "Trace center initialize"},
    {"ProcessTraceCenterLine", "Trace center line"},
    {"ProcessTraceOutline", "Trace outline"},
    {"ProcessAnalyseOutline", "Analyse Outline"},
    {"ProcessGeneratePolyline", "Generate polyline"},
    {"ProcessFillHorLine", "Fill horizontal line"},
    {"ProcessFillVerLine", "Fill vertical line"},
    {"ProcessCalcLineWidth", "Calculate line width"},
    {"ProcessConnectLine", "Connect line"},
    {"ProcessRecCircle", "Recognize circle"},
    {"ProcessStraightenLine", "Straighten line"},
    {"ProcessAdjustAngle", "Adjust angle"},
    {"ProcessRoundWidth", "Round width"},
};

std::string AppendPart(const std::string& text, int64_t value, std::string_view wordKey,
                       std::string_view wordDefault) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, " %lld ", static_cast<long long>(value));
  return text + buffer + settings::Text(wordKey, wordDefault);
}

}  // namespace

std::string StageText(std::string_view key) {
  for (const StageDefault& entry : kStageDefaults) {
    if (entry.key == key) return settings::Text(entry.key, entry.text);
  }
  return settings::Text(key, key);
}

std::string ElapsedTimeText(int64_t elapsedMilliseconds) {
  const int64_t seconds = elapsedMilliseconds < 0 ? 0 : elapsedMilliseconds / 1000;
  const int64_t hours = seconds / 3600;
  const int64_t minutes = (seconds % 3600) / 60;
  std::string text;
  if (hours > 0) text = AppendPart(text, hours, "HourName", "hours");
  if (minutes > 0 || hours > 0) text = AppendPart(text, minutes, "MinuteName", "minutes");
  return AppendPart(text, seconds % 60, "SecondName", "seconds");
}

std::string TraceResultMessage(int code, int64_t elapsedMilliseconds) {
  switch (code) {
    case kTraceFinished:
      return settings::Text("MainTraceFinish", "Trace && process finished!") + "\r\n" +
             settings::Text("MainTraceTime", "Elapsed time :") + " " + ElapsedTimeText(elapsedMilliseconds);
    case kTraceNoMemory:
      return settings::Text("MainTraceNoMemory", "No enough memory!");
    case kTraceFillFailed:
      return settings::Text("MainTraceFillFail", "Fill pattern failed!");
    case kTraceUserStop:
      return settings::Text("MainTraceUserBreak", "User stop");
    default:
      return settings::Text("MainTraceUnknownError",
                            "Quillon occurs a unknown error!\nPlease notify the Marrowby Software!");
  }
}

}  // namespace quillon::trace
