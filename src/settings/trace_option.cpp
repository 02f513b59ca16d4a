#include "settings/trace_option.h"

#include <algorithm>
#include <cmath>

#include "platform/key_value_store.h"
#include "platform/profile_file.h"
#include "settings/language_table.h"
#include "settings/number_text.h"
#include "settings/option_store.h"

namespace quillon::settings {

namespace {

// Job files are read through 512-byte buffers: longer texts are cut.
constexpr size_t kJobStringLimit = 511;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string JobString(const platform::ProfileFile& file, std::string_view section, std::string_view key,
                      std::string_view def) {
  std::string s = file.getString(section, key, def);
  if (s.size() > kJobStringLimit) s.resize(kJobStringLimit);
  return s;
}

// Types are compared as unsigned, so a negative type is out of range too.
FillType ClampFillType(int value, FillType largest) {
  const auto limit = static_cast<unsigned>(largest);
  return static_cast<unsigned>(value) > limit ? largest : static_cast<FillType>(value);
}

// A spacing must be positive: anything else becomes 1.0.
double PositiveOrOne(const std::optional<double>& value) { return value && *value > 0 ? *value : 1.0; }

// A line of the summary: the translated text followed by its fixed tail.
void Line(std::string& out, std::string_view key, std::string_view def, std::string_view tail,
          std::string_view lineEnd) {
  out += Text(key, def);
  out += tail;
  out += lineEnd;
}

std::string FillTypeLine(FillType type) {
  switch (type) {
    case FillType::Horizontal:
      return Text("OptionFilltypeHorLine", "Fill type : Horizontal line");
    case FillType::Vertical:
      return Text("OptionFilltypeVerLine", "Fill type : Vertical line");
    case FillType::Cross:
      return Text("OptionFilltypeCrossLine", "Fill type : Cross line");
    case FillType::Solid:
      return Text("OptionFilltypeSolid", "Fill type : Solid");
  }
  return Text("OptionFilltypeSolid", "Fill type : Solid");
}

std::string RecogniseLine(bool recognise) {
  return recognise ? Text("OptionRecCircle", "Recognise circle and arc.")
                   : Text("OptionNotRecCircle", "Not recognise circle and arc.");
}

// A name is one line of the job text: a line break inside it would start
// another key when the file is read back.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

bool WriteAll(std::FILE* file, const std::string& text) {
  if (file == nullptr) return false;
  return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::ferror(file) == 0;
}

}  // namespace

std::string FillTypeName(FillType type) {
  switch (type) {
    case FillType::Horizontal:
      return Text("FillXStr", "Horizontal line");
    case FillType::Vertical:
      return Text("FillYStr", "Vertical line");
    case FillType::Cross:
      return Text("FillXYStr", "Cross line");
    case FillType::Solid:
      return Text("FillSolidStr", "Solid");
  }
  return Text("FillSolidStr", "Solid");
}

std::string UnnamedChartTypeName() { return Text("ChartTypeNunamed", "Unnamed"); }

std::string_view PresetName(std::string_view name) {
  for (const char* preset : {kPresetDefault, kPresetEngineering, kPresetTopography})
    if (platform::EqualsIgnoreCase(name, preset)) return preset;
  return {};
}

TraceOption::TraceOption() { SetDefaults(); }

void TraceOption::SetDefaults() {
  ApplyPreset(kPresetDefault);
  Outline = OutlineOption{};
  FillPattern = FillPatternOption{};
  i_AutoTraceWhat = TraceMethod::CenterLine;
  i_Gray = 128;
  b_AutoGray = true;
  tracerStepLimit = 128;
  plainPipeline = false;
  b_Refine = false;
  colorIndex_ = {5, 1, 7, 6, 214, 3};
  resolveColors();
  i_GripBoxHalfWidth = 4;
  GridPointType = 0;
  i_VectorFileFormat = 1;
  batchActive = false;
}

bool TraceOption::ApplyPreset(std::string_view name) {
  const std::string_view preset = PresetName(name);
  if (preset.empty()) return false;
  ModalName = std::string(preset);
  if (preset == kPresetDefault) {
    b_CalcWidth = true;
    b_DelLine = true;
    i_DelLine_Length = 10;
    d_MaxDis = 2.0;
    b_ForceOrtho = true;
    s_AngleSeries.LoadDefault();
    b_Connect = true;
    i_ConDis = 5;
    b_RecogniseCirArc = true;
  } else if (preset == kPresetEngineering) {
    b_CalcWidth = false;
    b_DelLine = true;
    i_DelLine_Length = 5;
    d_MaxDis = 2.0;
    b_ForceOrtho = true;
    s_AngleSeries.LoadDefault();
    b_Connect = true;
    i_ConDis = 9;
    b_RecogniseCirArc = true;
  } else {  // pre_Topography: length and angle series stay
    b_CalcWidth = false;
    b_DelLine = false;
    d_MaxDis = 1.0;
    b_ForceOrtho = false;
    b_Connect = true;
    i_ConDis = 5;
    b_RecogniseCirArc = false;
  }
  return true;
}

void TraceOption::CopyFrom(const TraceOption& other) {
  if (this != &other) *this = other;
  resolveColors();
}

double TraceOption::StraightenTolerance() const {
  switch (i_AutoTraceWhat) {
    case TraceMethod::CenterLine:
      return d_MaxDis;
    case TraceMethod::Outline:
      return Outline.d_MaxDis;
    case TraceMethod::FillPattern:
      break;
  }
  return 1.0;
}

void TraceOption::setColorIndex(DisplayColor which, ColorIndex index) {
  colorIndex_[static_cast<size_t>(which)] = index;
  resolveColors();
}

void TraceOption::resolveColors() {
  const size_t background = static_cast<size_t>(DisplayColor::BackGround);
  colorRgb_[background] = ResolveColor(colorIndex_[background], nullptr, true, kRgbWhite);
  for (size_t i = 0; i < kDisplayColorCount; ++i)
    if (i != background) colorRgb_[i] = ResolveColor(colorIndex_[i], nullptr, false, colorRgb_[background]);
}

std::string TraceOption::SummaryText(std::string_view lineEnd) const {
  std::string out;
  switch (i_AutoTraceWhat) {
    case TraceMethod::CenterLine:
      Line(out, "OptionMethodCenter", "Method=Center", "", lineEnd);
      Line(out, "OptionChartType", "Chart type", "= " + ModalName, lineEnd);
      Line(out, "OptionStraighten", "Straighten intension", "= " + FormatFixed(d_MaxDis, 3), lineEnd);
      out += RecogniseLine(b_RecogniseCirArc) + std::string(lineEnd);
      if (b_CalcWidth) {
        Line(out, "OptionCalcWidth", "Calculate width.", "", lineEnd);
        Line(out, "OptionWidthSeries", "Width series name", " = " + s_WidthSeries.name(), lineEnd);
      } else {
        Line(out, "OptionNotCalcWidth", "Not calculate width.", "", lineEnd);
      }
      if (b_Connect) {
        Line(out, "OptionConnectLine", "Connect adjacent line.", "", lineEnd);
        Line(out, "OptionConnectDistance", "Connect distance", " = " + std::to_string(i_ConDis), lineEnd);
      } else {
        Line(out, "OptionNotConnectLine", "Not connect adjacent line.", "", lineEnd);
      }
      if (b_ForceOrtho) {
        Line(out, "OptionAdjustAngle", "Adjust angle.", "", lineEnd);
        Line(out, "OptionAdjustAngleSeries", "Angle series", ": " + s_AngleSeries.name(), lineEnd);
      } else {
        Line(out, "OptionNotAdjustAngle", "Not adjust angle.", "", lineEnd);
      }
      if (b_DelLine) {
        Line(out, "OptionDeleteMixupLine", "Delete mix-up line.", "", lineEnd);
        Line(out, "OptionDelLength", "Length", " = " + std::to_string(i_DelLine_Length), lineEnd);
      } else {
        Line(out, "OptionNotDelMixupLine", "Not delete mix-up line.", "", lineEnd);
      }
      if (b_Refine) Line(out, "OptionRefine", "Refine centre lines.", "", lineEnd);
      break;
    case TraceMethod::Outline:
      Line(out, "OptionMethodOutline", "Method=Outline", "", lineEnd);
      out += RecogniseLine(Outline.b_RecogniseCirArc) + std::string(lineEnd);
      Line(out, "OptionStraighten", "Straighten intension", "= " + FormatFixed(Outline.d_MaxDis, 3), lineEnd);
      if (Outline.b_Fill) {
        out += FillTypeLine(Outline.i_FillType) + std::string(lineEnd);
        if (Outline.i_FillType != FillType::Solid)
          Line(out, "OptionFillSpace", "Fill space", " = " + FormatFixed(Outline.d_FillSpace, 3), lineEnd);
      }
      break;
    case TraceMethod::FillPattern:
      Line(out, "OptionMethodFill", "Method=Fill Pattern", "", lineEnd);
      out += FillTypeLine(FillPattern.i_FillType) + std::string(lineEnd);
      Line(out, "OptionFillSpace", "Fill space", " = " + FormatFixed(FillPattern.d_FillSpace, 3), lineEnd);
      break;
  }
  return out;
}

std::string TraceOption::JobText(std::string_view lineEnd) const {
  std::string out;
  auto line = [&](std::string_view key, const std::string& value) {
    out += key;
    out += '=';
    out += value;
    out += lineEnd;
  };
  auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
  line("AutoGray", flag(b_AutoGray));
  line("Gray", std::to_string(i_Gray));
  switch (i_AutoTraceWhat) {
    case TraceMethod::CenterLine:
      line("Method", "Center");
      line("Chart", OneLine(ModalName));
      line("Straighten", FormatFixed(d_MaxDis, 3));
      line("Circle", flag(b_RecogniseCirArc));
      line("Width", flag(b_CalcWidth));
      if (b_CalcWidth) line("WidthSeries", OneLine(s_WidthSeries.name()));
      line("Connect", flag(b_Connect));
      if (b_Connect) line("distance", std::to_string(i_ConDis));
      line("Force", flag(b_ForceOrtho));
      if (b_ForceOrtho) line("AngleSeries", OneLine(s_AngleSeries.name()));
      line("Delete", flag(b_DelLine));
      if (b_DelLine) line("Length", std::to_string(i_DelLine_Length));
      if (b_Refine) line("Refine", "1");
      break;
    case TraceMethod::Outline:
      line("Method", "Outline");
      line("Straighten", FormatFixed(Outline.d_MaxDis, 3));
      line("Circle", flag(Outline.b_RecogniseCirArc));
      line("Fill", flag(Outline.b_Fill));
      if (Outline.b_Fill) {
        line("Type", std::to_string(static_cast<int32_t>(Outline.i_FillType)));
        line("Space", FormatFixed(Outline.d_FillSpace, 3));
      }
      break;
    case TraceMethod::FillPattern:
      line("Method", "FillPattern");
      line("Type", std::to_string(static_cast<int32_t>(FillPattern.i_FillType)));
      line("Space", FormatFixed(FillPattern.d_FillSpace, 3));
      break;
  }
  return out;
}

bool TraceOption::WriteSummaryText(std::FILE* file, std::string_view lineEnd) const {
  return WriteAll(file, SummaryText(lineEnd));
}

bool TraceOption::WriteJobText(std::FILE* file, std::string_view lineEnd) const {
  return WriteAll(file, JobText(lineEnd));
}

void TraceOption::ReadJobSection(const platform::ProfileFile& file, std::string_view section,
                                 const platform::KeyValueStore& store) {
  auto getInt = [&](std::string_view key, int def) { return file.getInt(section, key, def); };
  auto getFlag = [&](std::string_view key, bool def) { return getInt(key, def ? 1 : 0) != 0; };

  b_AutoGray = getInt("AutoGray", 0) != 0;
  i_Gray = static_cast<uint8_t>(getInt("Gray", 128) & 0xFF);

  const std::string method = JobString(file, section, "Method", "Center");
  if (platform::EqualsIgnoreCase(method, "Outline")) {
    i_AutoTraceWhat = TraceMethod::Outline;
    // Negative tolerances mean nothing to the straighten step; 0 is the floor.
    Outline.d_MaxDis = std::max(0.0, ParseNumber(JobString(file, section, "Straighten", "1.0")).value_or(1.0));
    Outline.b_RecogniseCirArc = getFlag("Circle", true);
    Outline.b_Fill = getFlag("Fill", false);
    if (Outline.b_Fill) {
      Outline.i_FillType = ClampFillType(getInt("Type", 3), FillType::Solid);
      Outline.d_FillSpace = PositiveOrOne(ParseNumber(JobString(file, section, "Space", "1.0")));
    }
    return;
  }
  if (platform::EqualsIgnoreCase(method, "FillPattern")) {
    i_AutoTraceWhat = TraceMethod::FillPattern;
    FillPattern.i_FillType = ClampFillType(getInt("Type", 0), FillType::Cross);
    FillPattern.d_FillSpace = PositiveOrOne(ParseNumber(JobString(file, section, "Space", "1.0")));
    return;
  }

  i_AutoTraceWhat = TraceMethod::CenterLine;
  const std::string unnamed = UnnamedChartTypeName();
  const std::string chart = JobString(file, section, "Chart", unnamed);
  ModalName = chart;
  LoadChartType(store, *this, chart);
  i_AutoTraceWhat = TraceMethod::CenterLine;

  bool changed = false;
  if (auto v = ParseNumber(JobString(file, section, "Straighten", FormatFixed(d_MaxDis, 6)))) {
    const double tolerance = std::max(0.0, *v);
    if (std::fabs(tolerance - d_MaxDis) > 0.001) {
      d_MaxDis = tolerance;
      changed = true;
    }
  }
  auto overrideFlag = [&](bool& field, std::string_view key) {
    const bool value = getFlag(key, field);
    if (value != field) changed = true;
    field = value;
  };
  // Lengths and distances must be positive; other values keep what the chart type gave.
  auto overrideCount = [&](int32_t& field, std::string_view key) {
    const int value = getInt(key, field);
    if (value <= 0 || value == field) return;
    field = value;
    changed = true;
  };

  overrideFlag(b_CalcWidth, "Width");
  const std::string widthName(TrimBlanks(JobString(file, section, "WidthSeries", " ")));
  if (!widthName.empty())
    s_WidthSeries.Load(store, widthName);  // a failed load leaves the series empty
  else
    s_WidthSeries.Clear();

  overrideFlag(b_RecogniseCirArc, "Circle");
  overrideFlag(b_Connect, "Connect");
  if (b_Connect) overrideCount(i_ConDis, "distance");

  overrideFlag(b_ForceOrtho, "Force");
  if (b_ForceOrtho) {
    const std::string angleName(TrimBlanks(JobString(file, section, "AngleSeries", " ")));
    const std::string before = s_AngleSeries.name();
    if (angleName.empty() || !s_AngleSeries.Load(store, angleName)) {
      s_AngleSeries.LoadDefault();
      changed = true;
    } else if (!platform::EqualsIgnoreCase(before, s_AngleSeries.name())) {
      changed = true;
    }
  }

  overrideFlag(b_DelLine, "Delete");
  if (b_DelLine) overrideCount(i_DelLine_Length, "Length");
  // Not a chart type value, and a section without the key traces plainly.
  b_Refine = getFlag("Refine", false);

  if (changed) ModalName = unnamed;
}

bool TraceOption::ReadJobSection(const std::string& jobFile, std::string_view section,
                                 const platform::KeyValueStore& store) {
  platform::ProfileFile file;
  if (!file.load(jobFile)) return false;
  ReadJobSection(file, section, store);
  return true;
}

ParameterPages ShowParameterPages(const TraceOption& r) {
  ParameterPages p;
  p.method = r.i_AutoTraceWhat;
  p.autoGray = r.b_AutoGray;
  p.threshold = std::to_string(r.i_Gray);
  p.chartType = r.ModalName;
  p.calcWidth = r.b_CalcWidth;
  p.widthSeries = r.s_WidthSeries.name();
  p.delLine = r.b_DelLine;
  p.delLineLength = std::to_string(r.i_DelLine_Length);
  p.centerRecognise = r.b_RecogniseCirArc;
  p.centerMaxDis = FormatNumber(r.d_MaxDis, 4);
  p.forceOrtho = r.b_ForceOrtho;
  p.angleSeries = r.s_AngleSeries.name();
  p.connect = r.b_Connect;
  p.conDis = std::to_string(r.i_ConDis);
  p.refine = r.b_Refine;
  p.outlineMaxDis = FormatNumber(r.Outline.d_MaxDis, 4);
  p.outlineRecognise = r.Outline.b_RecogniseCirArc;
  p.outlineFill = r.Outline.b_Fill;
  p.outlineFillType = static_cast<int>(r.Outline.i_FillType);
  p.outlineFillSpace = FormatNumber(r.Outline.d_FillSpace, 4);
  p.fillPatternType = static_cast<int>(r.FillPattern.i_FillType);
  p.fillPatternSpace = FormatNumber(r.FillPattern.d_FillSpace, 4);
  return p;
}

ParameterField CommitParameterPages(TraceOption& r, const ParameterPages& p, const platform::KeyValueStore& store) {
  r.i_AutoTraceWhat = p.method;
  r.b_AutoGray = p.autoGray;
  if (!p.autoGray) {
    const auto gray = ParseInteger(p.threshold);
    if (!gray || *gray < 0 || *gray > 255) return ParameterField::Threshold;
    r.i_Gray = static_cast<uint8_t>(*gray);
  }
  auto positive = [](const std::optional<int>& v) { return v && *v > 0; };
  auto nonNegative = [](const std::optional<double>& v) { return v && *v >= 0; };
  auto spacing = [](const std::optional<double>& v) { return v && *v > 0; };
  switch (p.method) {
    case TraceMethod::CenterLine: {
      r.ModalName = p.chartType;
      r.b_CalcWidth = p.calcWidth;
      r.s_WidthSeries.Load(store, p.widthSeries);  // a name that does not load leaves no series
      r.b_DelLine = p.delLine;
      const auto length = ParseInteger(p.delLineLength);
      if (!positive(length)) return ParameterField::DelLineLength;
      r.i_DelLine_Length = *length;
      r.b_RecogniseCirArc = p.centerRecognise;
      const auto maxDis = ParseNumber(p.centerMaxDis);
      if (!nonNegative(maxDis)) return ParameterField::CenterMaxDis;
      r.d_MaxDis = *maxDis;
      r.b_ForceOrtho = p.forceOrtho;
      if (!r.s_AngleSeries.Load(store, p.angleSeries)) r.s_AngleSeries.LoadDefault();
      r.b_Connect = p.connect;
      const auto distance = ParseInteger(p.conDis);
      if (!positive(distance)) return ParameterField::ConDis;
      r.i_ConDis = *distance;
      r.b_Refine = p.refine;
      break;
    }
    case TraceMethod::Outline: {
      const auto maxDis = ParseNumber(p.outlineMaxDis);
      if (!nonNegative(maxDis)) return ParameterField::OutlineMaxDis;
      r.Outline.d_MaxDis = *maxDis;
      r.Outline.b_RecogniseCirArc = p.outlineRecognise;
      r.Outline.b_Fill = p.outlineFill;
      r.Outline.i_FillType = static_cast<FillType>(std::clamp(p.outlineFillType, 0, 3));
      const auto space = ParseNumber(p.outlineFillSpace);
      if (!spacing(space)) return ParameterField::OutlineFillSpace;
      r.Outline.d_FillSpace = *space;
      break;
    }
    case TraceMethod::FillPattern: {
      r.FillPattern.i_FillType = static_cast<FillType>(std::clamp(p.fillPatternType, 0, 2));
      const auto space = ParseNumber(p.fillPatternSpace);
      if (!spacing(space)) return ParameterField::FillPatternSpace;
      r.FillPattern.d_FillSpace = *space;
      break;
    }
  }
  return ParameterField::None;
}

std::string InvalidDataText() { return Text("InvalidDataMsg", "Invalid data !"); }

std::vector<std::string> StraightenSuggestions() {
  std::vector<std::string> out;
  for (int tenths = 0; tenths <= 30; ++tenths) out.push_back(FormatNumber(tenths / 10.0, 1));
  out.push_back(FormatNumber(3.5, 1));
  out.push_back(FormatNumber(4.0, 1));
  return out;
}

std::vector<std::string> FillSpaceSuggestions() {
  std::vector<std::string> out{FormatNumber(0.2, 1), FormatNumber(0.5, 1)};
  for (int v = 1; v <= 10; ++v) out.push_back(FormatNumber(v, 1));
  return out;
}

}  // namespace quillon::settings
