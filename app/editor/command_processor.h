#pragma once
// The command processor of a drawing view: runs one interactive command at a
// time, turns clicks and typed text into events for it, and resolves picked
// points through object snap, ortho and grid snap before the command sees
// them. Every drawing, measuring, zooming and raster-editing tool of a
// document window is such a command.
//
// The processor keeps no toolkit type. The view feeds it mouse positions in
// client pixels and the input box's text; it answers with state the view
// shows (command name, prompt, input mode, rubber band, preview entity) and
// calls EditorServices for message boxes, repaints and status texts.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/view_window.h"
#include "model/geometry.h"
#include "platform/message_sink.h"
#include "settings/number_text.h"

namespace quillon::model {
class CEntity;
}

namespace quillon::editor {

class Document;

// What the input box accepts for the current prompt.
enum class InputMode : int {
  None = 0,           // input box disabled, caret hidden
  Point = 1,          // a point
  Number = 2,         // a number
  PointOrNumber = 3,  // a point or a number
  Integer = 4,        // a whole number
};

// The events a running command receives.
enum class EventCode : int {
  Cancel = 0,          // cancel the step: rubber band erased, base point forgotten
  Start = 1,           // (re)start: the command's name and first prompt
  Number = 3,          // a number was typed
  Integer = 4,         // a whole number was typed
  RelativePoint = 5,   // a relative point was typed (drawing units, still relative)
  PickPoint = 6,       // the mouse picked a point
  AbsolutePoint = 7,   // an absolute point was typed (drawing units)
  Enter = 9,           // Enter with an empty input box, or the context-menu item "&Enter"
  HideRubberBand = 10, // the cursor left the view
  ShowRubberBand = 11, // redraw the rubber band at the cursor and re-issue the prompt
  Close = 16,          // the context-menu item "&Close" (closes a polyline)
};

// The commands of the view, each started from its menu item (the grip move
// by clicking a grip).
enum class CommandId : int {
  None = 0,
  MoveGripPoint,
  ZoomOut,
  ZoomIn,
  ZoomWindow,
  Pan,
  SelectVector,
  Distance,
  RotateRaster,
  RotateRasterToHorizontal,
  CropRaster,
  ErasePoint,
  EraseRect,
  FillRect,
  ErasePolygon,
  FillPolygon,
  Line,
  PolyLine,
  Arc3P,
  CircleCenterRadius,
  ArcCenterStartEnd,
  Circle3P,
  SolidTriangle,
};

// The command's name as the status bar shows it after "Command : "
// (language key "CmdName…" with its English default); "No command" for None.
std::string CommandName(CommandId id);

// ---- typed input ------------------------------------------------------------------

// What a line of the input box means.
struct TypedInput {
  enum class Kind { Invalid, Enter, Number, Integer, RelativePoint, AbsolutePoint };
  Kind kind = Kind::Invalid;
  double x = 0.0;  // points: as typed, in the display unit
  double y = 0.0;
  double number = 0.0;
  int integer = 0;
};

// Parses the input box text (trimmed at both ends) for the input mode with
// the user's separators: "" is Enter; without the list separator and "<" a
// number (modes 2, 3) or a whole number (mode 4); otherwise, in modes 1 and
// 3 only, "x S y" or "d<a" (a in degrees counter-clockwise from +x), a
// leading "@" making it relative. Anything else is Invalid.
TypedInput ParseTypedInput(std::string_view text, InputMode mode, const settings::Separators& separators);

// ---- what the processor needs from its surroundings --------------------------------

class EditorServices {
 public:
  virtual ~EditorServices() = default;
  // A modal message box. The default sends it through platform::ShowMessage.
  virtual void message(std::string_view text, platform::MessageKind kind);
  // The drawing or the view window changed: repaint the view.
  virtual void repaint() {}
  // The command name, prompt, input mode or rubber band changed: the view
  // reads them from the processor.
  virtual void stateChanged() {}
  // A transient status-bar text ("Undo: …", progress of a raster edit).
  virtual void statusText(std::string_view /*text*/) {}
};

// The rubber band and markers the view draws over the drawing, in drawing
// coordinates. The view draws it in XOR style; it never touches the drawing.
struct RubberBand {
  enum class Kind {
    None,     // nothing
    Segment,  // points[0] (base) to points[1] (cursor)
    Box,      // the rectangle of points[0] and points[1]
    Polygon,  // the open chain of points; the last is the cursor
    Brush,    // a square of half-size brushHalfSize about points[0]
  };
  Kind kind = Kind::None;
  std::vector<model::Point3> points;
  double brushHalfSize = 0.0;
};

// A picked point after resolution.
struct ResolvedPoint {
  model::Point3 point;
  // How it was found: the object snap mode code (1, 2, 4, 16, 32, 128, 256,
  // 512), 8 for a grid point, -1 for ortho, 0 for the raw cursor.
  int snap = 0;
};

class CommandProcessor {
 public:
  // Object snap aperture: the cursor pixel ± this many pixels.
  static constexpr int kSnapAperture = 4;
  // The eraser reaches this many drawing units on each side of the cursor.
  static constexpr double kDefaultEraserSize = 8.0;

  // The document, view window and services must outlive the processor.
  CommandProcessor(Document& document, ViewWindow& view, EditorServices& services);
  ~CommandProcessor();
  CommandProcessor(const CommandProcessor&) = delete;
  CommandProcessor& operator=(const CommandProcessor&) = delete;

  // --- dispatch -------------------------------------------------------------------
  // Starting a command ends the running one (event 0), sets the command's
  // snap, osnap and ortho switches, then sends event 1.
  void startCommand(CommandId id);
  // Sends an event without data (0, 1, 9, 10, 11, 16) to the running command.
  void sendEvent(EventCode code);
  // Escape: event 0, then no command runs. Without a running command it
  // clears the selection instead.
  void cancelCommand();
  CommandId currentCommand() const { return current_; }

  // --- keyboard focus ----------------------------------------------------------
  // Events are processed only while the view (or the input box serving it)
  // has the keyboard focus; events arriving otherwise are ignored. Starts focused.
  void setFocused(bool focused) { focused_ = focused; }
  bool focused() const { return focused_; }

  // --- typed input -----------------------------------------------------------------
  // Enter in the input box. Parses the text for the current input mode and
  // sends the event. Invalid text shows "Invalid data !" and answers false:
  // the input box keeps the text. True when the text was taken (clear the box).
  bool submitInput(std::string_view text);
  // Enter while the input box is hidden (only Enter counts there): event 9.
  void enterKey() { sendEvent(EventCode::Enter); }

  // --- mouse ------------------------------------------------------------------------
  // Left button pressed at a client pixel: the pick of the running command
  // (event 6); without a command a grip under the cursor starts Move Grip
  // Point, otherwise the pick starts a selection box.
  void mousePress(ScreenPoint pixel);
  // Cursor moved (button pressed or not): rubber band, grip previews and
  // the erase and pan drags follow it.
  void mouseMove(ScreenPoint pixel, bool buttonDown);
  // Left button released: ends an erase or pan drag.
  void mouseRelease(ScreenPoint pixel);
  // Cursor left / entered the view (events 10 and 11).
  void mouseLeave() { sendEvent(EventCode::HideRubberBand); }
  void mouseEnter() { sendEvent(EventCode::ShowRubberBand); }

  // Resolves a cursor pixel for the running command: object snap in the
  // aperture, else ortho, else grid snap, else the raw cursor.
  ResolvedPoint resolvePoint(ScreenPoint pixel) const;

  // --- view commands that are not interactive ------------------------------------
  // Each hides the rubber band first and shows it again afterwards.
  void zoomPrevious();
  void zoomFit();
  void actualSize();
  void redraw();
  // Mouse wheel at the pixel; factor > 1 zooms in.
  void wheelZoom(ScreenPoint pixel, double factor);

  // --- state the view shows -------------------------------------------------------
  // "Command : NAME", or "No command".
  std::string commandText() const;
  const std::string& prompt() const { return prompt_; }
  InputMode inputMode() const { return inputMode_; }
  // The cursor position in the display unit: "X: %s Y: %s" (3 decimals,
  // the user's decimal separator) with " UNIT" when the unit has a name.
  std::string positionText(ScreenPoint pixel) const;
  // The cursor relative to the base point for the input box: "@dx,dy" or,
  // with polar display, "@d<a" (4 decimals, a in [0, 360)); "" when there
  // is no base point.
  std::string relativeText(ScreenPoint pixel) const;
  void setPolarDisplay(bool polar) { polar_ = polar; }
  bool polarDisplay() const { return polar_; }
  // Empty while hidden (the cursor left the view).
  const RubberBand& rubberBand() const;
  // The entity the running command would create at the cursor (arcs,
  // circles, solids), drawn like the rubber band; null when none.
  const model::CEntity* preview() const { return preview_.get(); }
  // The base point for relative input and ortho, when there is one.
  std::optional<model::Point3> basePoint() const;
  // How many points the running command has collected.
  int step() const { return step_; }
  bool allowSnap() const { return allowSnap_; }
  bool allowOsnap() const { return allowOsnap_; }
  bool allowOrtho() const { return allowOrtho_; }

  // --- tool settings ------------------------------------------------------------------
  // The half-size of the eraser square in drawing units (default 8).
  double eraserSize() const { return eraserSize_; }
  void setEraserSize(double size);

  Document& document() { return document_; }
  ViewWindow& view() { return view_; }
  EditorServices& services() { return services_; }

  // --- for the commands (command.h) --------------------------------------------------
  // Shows a prompt (language key, English default) with its input mode.
  void setPrompt(std::string_view key, std::string_view englishDefault, InputMode mode);
  void clearPrompt();
  void setBasePoint(const model::Point3& point);
  void clearBasePoint();
  void setRubberBand(RubberBand band);
  void clearRubberBand();
  void setPreview(std::unique_ptr<model::CEntity> entity);
  void setStep(int step) { step_ = step; }
  // Ends the running command once its handler has returned (a one-shot
  // command such as the grip move ends after its commit).
  void requestEnd() { endRequested_ = true; }
  // The last cursor pixel the processor saw.
  ScreenPoint cursor() const { return cursor_; }

  class Command;

 private:
  void endCommand();
  // Picks the grip under the pixel (within the grip box); false when none.
  bool pickGripAt(ScreenPoint pixel);
  void deliver(EventCode code, const model::Point3* point, double number, int integer);
  void refreshRubberBand();
  // The view commands hide the rubber band, change the view, repaint and show it again.
  template <typename Change>
  void withRubberBandHidden(Change change);

  Document& document_;
  ViewWindow& view_;
  EditorServices& services_;
  CommandId current_ = CommandId::None;
  std::unique_ptr<Command> command_;
  bool focused_ = true;
  bool endRequested_ = false;
  int depth_ = 0;  // nesting of deliver()
  bool allowSnap_ = false;
  bool allowOsnap_ = false;
  bool allowOrtho_ = false;
  int step_ = 0;
  int lastPointIndex_ = -1;  // -1: no base point
  model::Point3 storedPoints_[2]{};
  std::string prompt_;
  InputMode inputMode_ = InputMode::None;
  RubberBand rubberBand_;
  bool rubberBandHidden_ = false;
  std::unique_ptr<model::CEntity> preview_;
  ScreenPoint cursor_{};
  // Where the button went down on a grip: a release away from it ends the
  // grip move there (a drag); a release on the grip waits for a click.
  std::optional<ScreenPoint> gripPress_;
  bool polar_ = false;
  double eraserSize_ = kDefaultEraserSize;
};

}  // namespace quillon::editor
