#pragma once
// The trace parameters: one plain record with value semantics that carries
// everything a trace run needs (method, threshold, the centre-line
// post-processing switches with their tolerances and series, the outline and
// fill-pattern settings, the chart type the centre-line values came from),
// plus the display options stored beside them.
//
// The record has two text forms: a human summary (batch log) and the
// key=value job text (one section of a batch job file), which reads back.
// Both always use '.' as decimal point.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "settings/angle_series.h"
#include "settings/color.h"
#include "settings/width_series.h"

namespace quillon::platform {
class KeyValueStore;
class ProfileFile;
}  // namespace quillon::platform

namespace quillon::settings {

enum class TraceMethod : int32_t { CenterLine = 1, Outline = 2, FillPattern = 3 };

enum class FillType : int32_t { Horizontal = 0, Vertical = 1, Cross = 2, Solid = 3 };

// Display name of a fill type through the language table.
std::string FillTypeName(FillType type);

// The translated "Unnamed": the chart type name of values that match none.
std::string UnnamedChartTypeName();

// The three chart types that exist without being stored.
inline constexpr const char* kPresetDefault = "pre_Default";
inline constexpr const char* kPresetEngineering = "pre_Engineering";
inline constexpr const char* kPresetTopography = "pre_Topography";
// The canonical preset name when name is one of the three (ignoring case), else "".
std::string_view PresetName(std::string_view name);

struct OutlineOption {
  double d_MaxDis = 1.5;  // straighten tolerance, 0 or more
  bool b_RecogniseCirArc = true;
  bool b_Fill = false;
  FillType i_FillType = FillType::Solid;
  double d_FillSpace = 1.0;  // greater than 0
  bool operator==(const OutlineOption&) const = default;
};

struct FillPatternOption {
  FillType i_FillType = FillType::Horizontal;  // no solid
  double d_FillSpace = 1.0;                    // greater than 0
  bool operator==(const FillPatternOption&) const = default;
};

// The display colours of the record, in their stored order.
enum class DisplayColor { Normal, Select, BackGround, OsnapBox, GripBox, SelGripBox };
inline constexpr size_t kDisplayColorCount = 6;

class TraceOption {
 public:
  TraceOption();  // SetDefaults()

  // pre_Default, then every other field to its initial default (outline,
  // fill pattern, method, threshold, display options).
  void SetDefaults();
  // Applies "pre_Default", "pre_Engineering" or "pre_Topography" (ignoring
  // case): ModalName becomes the preset's name and only the preset's fields
  // change. False, record unchanged, for any other name.
  bool ApplyPreset(std::string_view name);
  // Copies every field, both series included; the resolved colours are
  // recomputed from the copied indices.
  void CopyFrom(const TraceOption& other);
  // Centre d_MaxDis for the centre-line method, Outline d_MaxDis for the
  // outline method, otherwise 1.0.
  double StraightenTolerance() const;

  // The human summary, lines ending in lineEnd.
  std::string SummaryText(std::string_view lineEnd = "\n") const;
  // The key=value lines of one job section, each ending in lineEnd.
  std::string JobText(std::string_view lineEnd = "\n") const;
  // Checked writes of the two texts; false when the stream reports an error.
  bool WriteSummaryText(std::FILE* file, std::string_view lineEnd = "\n") const;
  bool WriteJobText(std::FILE* file, std::string_view lineEnd = "\n") const;

  // Reads one job section back into this record: keys that are missing keep
  // (or restore) their documented defaults, unparsable numbers take their
  // defaults and out-of-range types are clamped; nothing is reported. Chart
  // types and series are looked up in the store.
  void ReadJobSection(const platform::ProfileFile& file, std::string_view section,
                      const platform::KeyValueStore& store);
  // The same from a job file; false (record unchanged) when the file cannot be read.
  bool ReadJobSection(const std::string& jobFile, std::string_view section, const platform::KeyValueStore& store);

  // ---- display options ----
  ColorIndex colorIndex(DisplayColor which) const { return colorIndex_[static_cast<size_t>(which)]; }
  // The colour resolved from the index (the background under the background
  // rule, the others against the current background).
  Rgb color(DisplayColor which) const { return colorRgb_[static_cast<size_t>(which)]; }
  // Sets an index and re-resolves the colours (all of them when the
  // background changes, since index 7 depends on it).
  void setColorIndex(DisplayColor which, ColorIndex index);

  bool operator==(const TraceOption&) const = default;

  // ---- centre line (the ten values of a chart type, and its name) ----
  std::string ModalName;
  bool b_CalcWidth = true;
  WidthSeries s_WidthSeries;
  bool b_DelLine = true;
  int32_t i_DelLine_Length = 10;  // greater than 0
  bool b_RecogniseCirArc = true;
  double d_MaxDis = 2.0;  // 0 or more
  bool b_ForceOrtho = true;
  AngleSeries s_AngleSeries;
  bool b_Connect = true;
  int32_t i_ConDis = 5;  // greater than 0
  // Centre line: refinements beyond the plain pipeline (free ends at their
  // cap centres, stems of T junctions reaching the other stroke, and the
  // like). Stored beside the centre-line values, not part of a chart type.
  bool b_Refine = false;

  OutlineOption Outline;
  FillPatternOption FillPattern;

  TraceMethod i_AutoTraceWhat = TraceMethod::CenterLine;
  uint8_t i_Gray = 128;
  bool b_AutoGray = true;
  // Largest step of the doubling search in the tracer's vectorising step;
  // never stored or edited.
  int32_t tracerStepLimit = 128;
  // Run every stage the long way, without the shortcuts that skip work whose
  // result is certain (paths that can only come to nothing, searches bounded
  // by the ends actually near). The output is the same either way; this only
  // serves to check the shortcuts. Never stored.
  bool plainPipeline = false;

  // ---- display options besides the colours ----
  int16_t i_GripBoxHalfWidth = 4;  // screen pixels
  int32_t GridPointType = 0;       // 0 to 2
  int32_t i_VectorFileFormat = 1;  // 1-based output format index
  bool batchActive = false;        // set while the batch window is open; never stored

 private:
  void resolveColors();

  std::array<ColorIndex, kDisplayColorCount> colorIndex_{5, 1, 7, 6, 214, 3};
  std::array<Rgb, kDisplayColorCount> colorRgb_{};
};

// ---- Set Parameter dialog, settings side ----------------------------------
// The dialog edits the current record directly and commits page by page;
// these are its rules without the widgets.

// The controls a failed commit puts the focus on.
enum class ParameterField { None, Threshold, DelLineLength, CenterMaxDis, ConDis, OutlineMaxDis, OutlineFillSpace,
                            FillPatternSpace };

// What the dialog's controls hold (texts as typed, list positions as chosen).
struct ParameterPages {
  // The method page that is shown.
  TraceMethod method = TraceMethod::CenterLine;
  bool autoGray = true;
  std::string threshold;

  std::string chartType;
  bool calcWidth = true;
  std::string widthSeries;
  bool delLine = true;
  std::string delLineLength;
  bool centerRecognise = true;
  std::string centerMaxDis;
  bool forceOrtho = true;
  std::string angleSeries;
  bool connect = true;
  std::string conDis;
  bool refine = false;

  std::string outlineMaxDis;
  bool outlineRecognise = true;
  bool outlineFill = false;
  int outlineFillType = 3;  // list position
  std::string outlineFillSpace;

  int fillPatternType = 0;  // list position
  std::string fillPatternSpace;
};

// The controls' contents for a record: tolerances and spacings with 4
// decimals and the locale decimal separator.
ParameterPages ShowParameterPages(const TraceOption& record);

// Commits the threshold page and then the page of the shown method, in the
// dialog's order. Returns the first field whose text does not parse or lies
// out of range (values taken before it stay in the record), or None. The
// caller shows InvalidDataText() and focuses the field. Series are loaded by
// name from the store; an angle series that does not load becomes "Default".
ParameterField CommitParameterPages(TraceOption& record, const ParameterPages& pages,
                                    const platform::KeyValueStore& store);

// "Invalid data !" through the language table.
std::string InvalidDataText();

// The suggestions of the straighten boxes (0.0 to 3.0 by 0.1, then 3.5 and
// 4.0) and of the fill-space boxes (0.2, 0.5, 1 to 10), with 1 decimal and
// the locale decimal separator.
std::vector<std::string> StraightenSuggestions();
std::vector<std::string> FillSpaceSuggestions();

}  // namespace quillon::settings
