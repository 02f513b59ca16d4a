#include "editor/command_processor.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "editor/command.h"
#include "editor/document.h"
#include "model/entity.h"
#include "model/graph.h"
#include "settings/current_options.h"
#include "settings/language_table.h"

namespace quillon::editor {

namespace {

struct CommandInfo {
  CommandId id;
  const char* key;
  const char* name;
  bool snap;
  bool osnap;
  bool ortho;
};

// Name and the three drawing-aid switches of every command.
constexpr CommandInfo kCommands[] = {
    {CommandId::MoveGripPoint, "CmdNameMoveGripPoint", "Move Grip Point", true, true, true},
    {CommandId::ZoomOut, "CmdNameZoomOut", "Zoom out", true, false, false},
    {CommandId::ZoomIn, "CmdNameZoomIn", "Zoom in", true, false, false},
    {CommandId::ZoomWindow, "CmdNameZoomWin", "Zoom by window", true, false, false},
    {CommandId::Pan, "CmdNamePan", "Pan view", false, false, false},
    {CommandId::SelectVector, "CmdNameSelect", "Select vectors", false, false, false},
    {CommandId::Distance, "CmdNameDistance", "Measure distance & angle", true, true, true},
    {CommandId::RotateRaster, "CmdNameRotateRas", "Rotate raster", false, false, true},
    {CommandId::RotateRasterToHorizontal, "CmdNameRotateRasToHor", "Rotate rsater to horizon", false, false, true},
    {CommandId::CropRaster, "CmdNameCropRaster", "Crop raster", false, false, false},
    {CommandId::ErasePoint, "CmdNameErasePoint", "Erase by point", false, false, false},
    {CommandId::EraseRect, "CmdNameEraseRect", "Erase by rectangle", false, false, false},
    {CommandId::FillRect, "CmdNameFillRect", "Fill by rect", false, false, false},
    {CommandId::ErasePolygon, "CmdNameErasePolygon", "Erase by polygon", false, false, false},
    {CommandId::FillPolygon, "CmdNameFillPolygon", "Fill by polygon", false, false, false},
    {CommandId::Line, "CmdNameDrawLine", "Draw lines", true, true, true},
    {CommandId::PolyLine, "CmdNameDrawPLine", "Draw PolyLine", true, true, true},
    {CommandId::Arc3P, "CmdNameDraw3pArc", "Draw arc by 3 points", true, true, false},
    {CommandId::CircleCenterRadius, "CmdNameDrawCenCiecle", "Draw circle by center,radius", true, true, true},
    {CommandId::ArcCenterStartEnd, "CmdNameDrawCenArc", "Draw arc by center,start,end point", true, true, true},
    {CommandId::Circle3P, "CmdNameDraw3pCircle", "Draw circle by 3 points", true, true, false},
    {CommandId::SolidTriangle, "CmdNameDrawSolidTriangle", "Draw solid triangle", true, true, false},
};

const CommandInfo* findInfo(CommandId id) {
  for (const CommandInfo& info : kCommands) {
    if (info.id == id) return &info;
  }
  return nullptr;
}

std::string_view trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string CommandName(CommandId id) {
  if (const CommandInfo* info = findInfo(id)) return settings::Text(info->key, info->name);
  return settings::Text("CmdNameNone", "No command");
}

TypedInput ParseTypedInput(std::string_view text, InputMode mode, const settings::Separators& separators) {
  TypedInput result;
  text = trim(text);
  if (text.empty()) {
    result.kind = TypedInput::Kind::Enter;
    return result;
  }
  const std::size_t listAt = text.find(separators.list);
  const std::size_t angleAt = text.find('<');
  if (listAt == std::string_view::npos && angleAt == std::string_view::npos) {
    if (mode == InputMode::Number || mode == InputMode::PointOrNumber) {
      if (auto value = settings::ParseNumber(text, separators.decimal)) {
        result.kind = TypedInput::Kind::Number;
        result.number = *value;
      }
    } else if (mode == InputMode::Integer) {
      if (auto value = settings::ParseInteger(text)) {
        result.kind = TypedInput::Kind::Integer;
        result.integer = *value;
      }
    }
    return result;
  }
  if (mode != InputMode::Point && mode != InputMode::PointOrNumber) return result;
  bool relative = false;
  if (text.front() == '@') {
    relative = true;
    text.remove_prefix(1);
  }
  // The list separator splits x and y; without it the text is d<a.
  const bool cartesian = text.find(separators.list) != std::string_view::npos;
  const std::size_t split = cartesian ? text.find(separators.list) : text.find('<');
  if (split == std::string_view::npos) return result;
  const auto first = settings::ParseNumber(trim(text.substr(0, split)), separators.decimal);
  const auto second = settings::ParseNumber(trim(text.substr(split + 1)), separators.decimal);
  if (!first || !second) return result;
  if (cartesian) {
    result.x = *first;
    result.y = *second;
  } else {
    const double radians = *second * std::numbers::pi / 180.0;
    result.x = *first * std::cos(radians);
    result.y = *first * std::sin(radians);
  }
  result.kind = relative ? TypedInput::Kind::RelativePoint : TypedInput::Kind::AbsolutePoint;
  return result;
}

void EditorServices::message(std::string_view text, platform::MessageKind kind) { platform::ShowMessage(text, kind); }

void CommandProcessor::Command::track(const model::Point3& cursor) {
  if (auto base = p_.basePoint()) {
    p_.setRubberBand(RubberBand{RubberBand::Kind::Segment, {*base, cursor}, 0.0});
  } else {
    p_.clearRubberBand();
  }
}

CommandProcessor::CommandProcessor(Document& document, ViewWindow& view, EditorServices& services)
    : document_(document), view_(view), services_(services) {}

CommandProcessor::~CommandProcessor() = default;

// --- dispatch ------------------------------------------------------------------------

void CommandProcessor::startCommand(CommandId id) {
  if (!focused_) return;
  if (command_) deliver(EventCode::Cancel, nullptr, 0.0, 0);
  command_.reset();
  current_ = id;
  const CommandInfo* info = findInfo(id);
  allowSnap_ = info != nullptr && info->snap;
  allowOsnap_ = info != nullptr && info->osnap;
  allowOrtho_ = info != nullptr && info->ortho;
  command_ = MakeCommand(id, *this);
  if (!command_) {
    current_ = CommandId::None;
    clearPrompt();
    services_.stateChanged();
    return;
  }
  deliver(EventCode::Start, nullptr, 0.0, 0);
}

void CommandProcessor::cancelCommand() {
  if (!focused_) return;
  if (!command_) {
    if (!document_.graph().selection().empty()) {
      document_.graph().selectAll(false);
      services_.repaint();
    }
    return;
  }
  deliver(EventCode::Cancel, nullptr, 0.0, 0);
  endCommand();
}

void CommandProcessor::endCommand() {
  endRequested_ = false;
  command_.reset();
  clearRubberBand();
  clearBasePoint();
  preview_.reset();
  current_ = CommandId::None;
  allowSnap_ = allowOsnap_ = allowOrtho_ = false;
  clearPrompt();
  services_.stateChanged();
}

void CommandProcessor::sendEvent(EventCode code) {
  if (!focused_) return;
  deliver(code, nullptr, 0.0, 0);
}

void CommandProcessor::deliver(EventCode code, const model::Point3* point, double number, int integer) {
  // Handlers send events themselves (a restart after a commit); the command
  // may only go once the outermost handler has returned.
  ++depth_;
  switch (code) {
    case EventCode::Cancel:
      clearRubberBand();
      clearBasePoint();
      preview_.reset();
      if (command_) command_->cancel();
      break;
    case EventCode::Start:
      clearRubberBand();
      clearBasePoint();
      preview_.reset();
      step_ = 0;
      if (command_) command_->start();
      break;
    case EventCode::Number:
      if (command_) command_->number(number);
      break;
    case EventCode::Integer:
      if (command_) command_->integer(integer);
      break;
    case EventCode::RelativePoint:
    case EventCode::AbsolutePoint:
    case EventCode::PickPoint:
      if (command_ && point != nullptr) command_->point(*point);
      break;
    case EventCode::Enter:
      if (command_) command_->enter();
      break;
    case EventCode::HideRubberBand:
      rubberBandHidden_ = true;
      break;
    case EventCode::ShowRubberBand:
      rubberBandHidden_ = false;
      refreshRubberBand();
      break;
    case EventCode::Close:
      if (command_) command_->close();
      break;
  }
  --depth_;
  if (endRequested_ && depth_ == 0) endCommand();
  services_.stateChanged();
}

void CommandProcessor::refreshRubberBand() {
  if (command_ && !rubberBandHidden_) command_->track(resolvePoint(cursor_).point);
}

// --- typed input --------------------------------------------------------------------

bool CommandProcessor::submitInput(std::string_view text) {
  if (!focused_) return false;
  if (inputMode_ == InputMode::None) {
    // With the input box hidden only Enter is acted on.
    deliver(EventCode::Enter, nullptr, 0.0, 0);
    return true;
  }
  const TypedInput input = ParseTypedInput(text, inputMode_, settings::LocaleSeparators());
  switch (input.kind) {
    case TypedInput::Kind::Invalid:
      services_.message(settings::Text("InvalidDataMsg", "Invalid data !"), platform::MessageKind::Error);
      return false;
    case TypedInput::Kind::Enter:
      deliver(EventCode::Enter, nullptr, 0.0, 0);
      return true;
    case TypedInput::Kind::Number:
      deliver(EventCode::Number, nullptr, input.number, 0);
      return true;
    case TypedInput::Kind::Integer:
      deliver(EventCode::Integer, nullptr, 0.0, input.integer);
      return true;
    case TypedInput::Kind::RelativePoint:
    case TypedInput::Kind::AbsolutePoint: {
      model::Point3 p{input.x, input.y, 0.0};
      document_.graph().fromUnit(p.x, p.y);
      const bool relative = input.kind == TypedInput::Kind::RelativePoint;
      if (relative) {
        if (auto base = basePoint()) {
          p.x += base->x;
          p.y += base->y;
        }
      }
      deliver(relative ? EventCode::RelativePoint : EventCode::AbsolutePoint, &p, 0.0, 0);
      return true;
    }
  }
  return false;
}

// --- mouse ----------------------------------------------------------------------------

void CommandProcessor::mousePress(ScreenPoint pixel) {
  if (!focused_) return;
  cursor_ = pixel;
  gripPress_.reset();
  if (!command_) {
    if (pickGripAt(pixel)) {
      startCommand(CommandId::MoveGripPoint);
      if (currentCommand() == CommandId::MoveGripPoint) gripPress_ = pixel;
      return;
    }
    startCommand(CommandId::SelectVector);
    if (!command_) return;
  }
  if (command_->takesDrag()) {
    command_->press(pixel);
    services_.stateChanged();
    return;
  }
  const ResolvedPoint resolved = resolvePoint(pixel);
  deliver(EventCode::PickPoint, &resolved.point, 0.0, 0);
}

bool CommandProcessor::pickGripAt(ScreenPoint pixel) {
  model::CGraph& graph = document_.graph();
  const int half = std::max<int>(1, settings::CurrentTraceOption().i_GripBoxHalfWidth);
  for (const model::Grip& grip : graph.grips()) {
    const ScreenPoint at = view_.toPixel({grip.x, grip.y, 0.0});
    if (std::abs(at.x - pixel.x) > half || std::abs(at.y - pixel.y) > half) continue;
    const model::Point3 corner1 = view_.fromPixel({at.x - half, at.y + half});
    const model::Point3 corner2 = view_.fromPixel({at.x + half, at.y - half});
    const model::CEntity* owner = graph.gripOwners()[grip.owner].entity;
    const int index = grip.index;
    graph.pickGrips(corner1, corner2);
    graph.highlightGrip(owner, index);
    return true;
  }
  return false;
}

void CommandProcessor::mouseMove(ScreenPoint pixel, bool buttonDown) {
  cursor_ = pixel;
  if (!focused_ || !command_) return;
  if (command_->takesDrag()) {
    if (buttonDown) command_->drag(pixel);
    else command_->track(view_.fromPixel(pixel));
  } else {
    rubberBandHidden_ = false;
    refreshRubberBand();
  }
  services_.stateChanged();
}

void CommandProcessor::mouseRelease(ScreenPoint pixel) {
  cursor_ = pixel;
  const std::optional<ScreenPoint> gripPress = std::exchange(gripPress_, std::nullopt);
  if (!focused_ || !command_) return;
  if (gripPress && currentCommand() == CommandId::MoveGripPoint) {
    const int half = std::max<int>(1, settings::CurrentTraceOption().i_GripBoxHalfWidth);
    if (std::abs(pixel.x - gripPress->x) > half || std::abs(pixel.y - gripPress->y) > half) {
      const ResolvedPoint resolved = resolvePoint(pixel);
      deliver(EventCode::PickPoint, &resolved.point, 0.0, 0);
    }
    return;
  }
  if (command_->takesDrag()) {
    command_->release(pixel);
    services_.stateChanged();
  }
}

ResolvedPoint CommandProcessor::resolvePoint(ScreenPoint pixel) const {
  model::CGraph& graph = document_.graph();
  const model::DrawingAids& aids = graph.aids;
  const std::optional<model::Point3> base = basePoint();
  const model::Point3 raw = view_.fromPixel(pixel);

  if (aids.osnapOn != 0 && allowOsnap_ && aids.osnapModes != 0) {
    const model::Point3 corner1 = view_.fromPixel({pixel.x - kSnapAperture, pixel.y + kSnapAperture});
    const model::Point3 corner2 = view_.fromPixel({pixel.x + kSnapAperture, pixel.y - kSnapAperture});
    model::Point3 snapped;
    const int code = graph.objectSnap(base ? &*base : nullptr, corner1, corner2, snapped);
    if (code != 0) return {snapped, code};
  }

  const bool gridSnap = aids.gridOn != 0 && allowSnap_;
  if (aids.orthoOn != 0 && allowOrtho_ && base) {
    model::Point3 gridPoint = raw;
    if (gridSnap && graph.snapToGrid(gridPoint) != 0) {
      // The vector to the grid point, in grid axes, keeps only its larger
      // component (x when both are equal).
      const double c = std::cos(aids.gridAngle);
      const double s = std::sin(aids.gridAngle);
      const double vx = gridPoint.x - base->x;
      const double vy = gridPoint.y - base->y;
      double gx = vx * c + vy * s;
      double gy = -vx * s + vy * c;
      if (std::fabs(gx) >= std::fabs(gy)) gy = 0.0;
      else gx = 0.0;
      return {{base->x + gx * c - gy * s, base->y + gx * s + gy * c, 0.0}, -1};
    }
    // Compared in screen pixels; the kept coordinate is the base point's own,
    // so the segment is exactly horizontal or vertical.
    const ScreenPoint basePixel = view_.toPixel(*base);
    const int dx = pixel.x - basePixel.x;
    const int dy = pixel.y - basePixel.y;
    if (std::abs(dy) > std::abs(dx)) return {{base->x, raw.y, 0.0}, -1};
    return {{raw.x, base->y, 0.0}, -1};
  }

  if (gridSnap) {
    model::Point3 gridPoint = raw;
    if (const int code = graph.snapToGrid(gridPoint); code != 0) return {gridPoint, code};
  }
  return {raw, 0};
}

// --- view commands ------------------------------------------------------------------

template <typename Change>
void CommandProcessor::withRubberBandHidden(Change change) {
  sendEvent(EventCode::HideRubberBand);
  change();
  services_.repaint();
  sendEvent(EventCode::ShowRubberBand);
}

void CommandProcessor::zoomPrevious() {
  withRubberBandHidden([&] { view_.zoomPrevious(); });
}

void CommandProcessor::zoomFit() {
  withRubberBandHidden([&] { view_.zoomFit(document_.graph()); });
}

void CommandProcessor::actualSize() {
  withRubberBandHidden([&] { view_.actualSize(); });
}

void CommandProcessor::redraw() {
  withRubberBandHidden([] {});
}

void CommandProcessor::wheelZoom(ScreenPoint pixel, double factor) {
  withRubberBandHidden([&] { view_.zoomAt(pixel, factor); });
}

// --- status texts --------------------------------------------------------------------

std::string CommandProcessor::commandText() const {
  if (current_ == CommandId::None) return CommandName(CommandId::None);
  return settings::Text("CommandPrompt", "Command :") + " " + CommandName(current_);
}

std::string CommandProcessor::positionText(ScreenPoint pixel) const {
  model::Point3 p = view_.fromPixel(pixel);
  std::string unit;
  document_.graph().toUnit(p.x, p.y, &unit);
  std::string text = "X: " + settings::FormatNumber(p.x, 3) + " Y: " + settings::FormatNumber(p.y, 3);
  if (!unit.empty()) text += " " + unit;
  return text;
}

std::string CommandProcessor::relativeText(ScreenPoint pixel) const {
  const std::optional<model::Point3> base = basePoint();
  if (!base) return {};
  const model::Point3 cursor = resolvePoint(pixel).point;
  double dx = cursor.x - base->x;
  double dy = cursor.y - base->y;
  document_.graph().toUnit(dx, dy);
  // Always with a point, whatever the process locale: the text is meant to
  // be typed back only after the user edits it.
  if (!polar_) return "@" + settings::FormatFixed(dx, 4) + "," + settings::FormatFixed(dy, 4);
  double degrees = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
  if (degrees < 0.0) degrees += 360.0;
  return "@" + settings::FormatFixed(std::hypot(dx, dy), 4) + "<" + settings::FormatFixed(degrees, 4);
}

std::optional<model::Point3> CommandProcessor::basePoint() const {
  if (lastPointIndex_ < 0) return std::nullopt;
  return storedPoints_[lastPointIndex_];
}

void CommandProcessor::setEraserSize(double size) {
  if (size > 0.0 && std::isfinite(size)) eraserSize_ = size;
}

// --- for the commands ------------------------------------------------------------------

void CommandProcessor::setPrompt(std::string_view key, std::string_view englishDefault, InputMode mode) {
  prompt_ = settings::Text(key, englishDefault);
  inputMode_ = mode;
}

void CommandProcessor::clearPrompt() {
  prompt_.clear();
  inputMode_ = InputMode::None;
}

void CommandProcessor::setBasePoint(const model::Point3& point) {
  lastPointIndex_ = lastPointIndex_ == 0 ? 1 : 0;
  storedPoints_[lastPointIndex_] = point;
}

void CommandProcessor::clearBasePoint() { lastPointIndex_ = -1; }

const RubberBand& CommandProcessor::rubberBand() const {
  static const RubberBand kNone;
  return rubberBandHidden_ ? kNone : rubberBand_;
}

void CommandProcessor::setRubberBand(RubberBand band) { rubberBand_ = std::move(band); }

void CommandProcessor::clearRubberBand() { rubberBand_ = RubberBand{}; }

void CommandProcessor::setPreview(std::unique_ptr<model::CEntity> entity) { preview_ = std::move(entity); }

}  // namespace quillon::editor
