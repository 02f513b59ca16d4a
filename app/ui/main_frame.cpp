#include "main_frame.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "batch_dlg.h"
#include "child_frame.h"
#include "drawing_view.h"
#include "edit_dialogs.h"
#include "editor/app_session.h"
#include "editor/option_dialog.h"
#include "icons.h"
#include "layers_dock.h"
#include "model/explode.h"
#include "model/graph.h"
#include "option_dlg.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "property_dock.h"
#include "raster/raster.h"
#include "raster/raster_file.h"
#include "raster_menu.h"
#ifndef QUILLON_UI_WITHOUT_SAVE
#include "save_vec_dlg.h"
#endif
#include "settings/current_options.h"
#include "parameter_dlg.h"
#include "trace_action.h"
#include "ui_text.h"

namespace quillon::ui {
namespace {

using editor::CommandId;

bool IsDxf(const QString& path) { return path.endsWith(QStringLiteral(".dxf"), Qt::CaseInsensitive); }

// The file dialog filter of the raster formats the reader accepts, in both
// cases since the dialog's matching is case-sensitive.
QString RasterFilter() {
  QStringList patterns;
  for (const std::string& extension : raster::RasterExtensions()) {
    const QString pattern = QStringLiteral("*") + QString::fromStdString(extension);
    patterns << pattern << pattern.toUpper();
  }
  return T("RasterFormatName", "Raster images") + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
         QStringLiteral(");;") + T("AllFormatName", "All files") + QStringLiteral(" (*)");
}

QString DxfFilter() {
  return T("DxfOpenFormatName", "AutoCAD DXF file") + QStringLiteral(" (*.dxf *.DXF);;") +
         T("AllFormatName", "All files") + QStringLiteral(" (*)");
}

}  // namespace

CMainFrame::CMainFrame(platform::KeyValueStore& store, QWidget* parent)
    : CMainFrame(nullptr, std::make_unique<editor::AppSession>(store), parent) {}

CMainFrame::CMainFrame(editor::AppSession& session, QWidget* parent) : CMainFrame(&session, nullptr, parent) {}

CMainFrame::CMainFrame(editor::AppSession* session, std::unique_ptr<editor::AppSession> own, QWidget* parent)
    : QMainWindow(parent),
      ownSession_(std::move(own)),
      session_(session != nullptr ? *session : *ownSession_),
      store_(session_.store()) {
  setObjectName(QStringLiteral("CMainFrame"));
  setWindowIcon(ApplicationIcon());
  setAcceptDrops(true);
  area_ = new QMdiArea(this);
  area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area_->setBackground(QColor(0x9A, 0x99, 0x96));
  area_->setDocumentMode(true);
  setCentralWidget(area_);

  askQuestion = [this](const QString& text) {
    const auto answer = QMessageBox::question(this, T("MainTitle", "Quillon"), text,
                                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                              QMessageBox::Yes);
    if (answer == QMessageBox::Yes) return editor::Answer::Yes;
    if (answer == QMessageBox::No) return editor::Answer::No;
    return editor::Answer::Cancel;
  };

  createActions();
  createMenus();
  createToolBars();
  createInputBar();
  createStatusBar();
  createDocks();
  AddBatchCommand(*this);
  rasterMenu_ = new RasterMenu(*this);
  connect(area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) { updateUi(); });
  resize(1280, 860);
  updateUi();
}

const settings::RecentLists& CMainFrame::recentLists() const { return session_.recent(); }

CMainFrame::~CMainFrame() {
  // Closing the sub-windows while the window is taken down must not reach
  // the actions, which may be gone already.
  tearingDown_ = true;
  area_->disconnect(this);
}

// ---- actions and menus ----------------------------------------------------------------

QAction* CMainFrame::addCommand(const CommandSpec& spec) {
  auto* act = new QAction(T(spec.textKey, spec.text), this);
  act->setObjectName(spec.name);
  if (!spec.hint.empty() || !spec.hintKey.empty()) {
    const QString hint = T(spec.hintKey, spec.hint);
    act->setStatusTip(hint);
    act->setToolTip(Plain(act->text()) + (hint.isEmpty() ? QString() : QStringLiteral(" — ") + hint));
  }
  if (!spec.icon.empty()) act->setIcon(CommandIcon(spec.icon));
  if (!spec.shortcuts.isEmpty()) act->setShortcuts(spec.shortcuts);
  act->setCheckable(spec.checkable);
  act->setProperty("needsDocument", spec.needsDocument);
  if (spec.run) connect(act, &QAction::triggered, this, [run = spec.run] { run(); });
  actions_.insert(spec.name, act);
  return act;
}

void CMainFrame::createActions() {
  const auto command = [this](CommandId id) { return [this, id] { startCommand(id); }; };
  const QList<CommandSpec> specs = {
      // File
      {"file.open", "MainActOpenFileCap", "&Open Raster...", "MainActOpenFileHint", "Open raster file", "open",
       {QKeySequence::Open}, [this] { fileOpenRaster(); }, false, false},
      {"file.openvector", "MainActOpenVectorCap", "Open &Vector...", "MainActOpenVectorHint", "Open a DXF file",
       "openvector", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}, [this] { fileOpenVector(); }, false, false},
      {"file.savevector", "MainActSaveVectorCap", "&Save Vector...", "MainActSaveVectorHint",
       "Save the vectors in one of nine formats", "save", {QKeySequence::Save}, [this] { fileSaveVector(); }},
      {"file.saveraster", "MainActSaveRasterCap", "Save &Raster as BMP...", "MainActSaveRasterHint",
       "Save the raster image as a BMP file", "saveraster", {}, [this] { fileSaveRaster(); }},
      {"file.close", "MainActCloseCap", "&Close", "MainActCloseHint", "Close the document window", "",
       {QKeySequence::Close}, [this] { area_->closeActiveSubWindow(); }},
      {"file.exit", "MainActExitCap", "E&xit", "MainActExitHint", "Quit the application", "",
       {QKeySequence::Quit}, [this] { close(); }, false, false},
      // Edit
      {"edit.undo", "EditMenuUndoCap", "&Undo", "EditMenuUndoStepHint", "Undo the last vector change", "undo",
       {QKeySequence::Undo}, [this] { editUndo(); }},
      {"edit.redo", "EditMenuRedoCap", "&Redo", "EditMenuRedoStepHint", "Redo the vector change undone last", "redo",
       {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}, [this] { editRedo(); }},
      {"edit.select", "MainActSelectCap", "Select &Vectors", "MainActSelectHint", "Select vectors by a box",
       "select", {}, command(CommandId::SelectVector)},
      {"edit.selectall", "MainActSelectAllCap", "Select &All", "MainActSelectAllHint",
       "Select every vector of the visible layers", "selectall", {QKeySequence::SelectAll},
       [this] { editSelectAll(); }},
      {"edit.delete", "MainActDeleteCap", "&Delete", "MainActDeleteHint", "Delete the selected vectors", "delete",
       {QKeySequence::Delete}, [this] { editDelete(); }},
      {"edit.explode", "MainActExplodeCap", "E&xplode...", "MainActExplodeHint",
       "Explode polyline into 1-seg polyline and arc", "explode", {}, [this] { editExplode(); }},
      {"edit.separate", "MainActSepLayersCap", "Separate &Layers by Width...", "MainActSepLayersHint",
       "Separate vector into multi Layers according to width.", "separate", {}, [this] { editSeparate(); }},
      // View
      {"view.zoomin", "MainActZoomInCap", "Zoom &In", "MainActZoomInHint", "Click to zoom in at a point",
       "zoomin", {QKeySequence::ZoomIn}, command(CommandId::ZoomIn)},
      {"view.zoomout", "MainActZoomOutCap", "Zoom &Out", "MainActZoomOutHint", "Click to zoom out at a point",
       "zoomout", {QKeySequence::ZoomOut}, command(CommandId::ZoomOut)},
      {"view.zoomwindow", "MainActZoomWinCap", "Zoom &Window", "MainActZoomWinHint", "Zoom to a box",
       "zoomwindow", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W)}, command(CommandId::ZoomWindow)},
      {"view.zoomprevious", "MainActZoomPrevCap", "Zoom &Previous", "MainActZoomPrevHint",
       "Back to the previous view", "zoomprevious", {QKeySequence(Qt::CTRL | Qt::Key_Backspace)},
       [this] { viewZoomPrevious(); }},
      {"view.zoomfit", "MainActZoomFitCap", "Zoom &Fit", "MainActZoomFitHint", "Show the whole drawing",
       "zoomfit", {QKeySequence(Qt::CTRL | Qt::Key_0), QKeySequence(Qt::Key_Home)}, [this] { viewZoomFit(); }},
      {"view.actualsize", "MainActActualSizeCap", "&Actual Size", "MainActActualSizeHint",
       "One raster pixel per screen pixel", "actualsize", {QKeySequence(Qt::CTRL | Qt::Key_1)},
       [this] { viewActualSize(); }},
      {"view.pan", "MainActPanCap", "&Pan", "MainActPanHint", "Drag the view (the middle button pans anytime)",
       "pan", {}, command(CommandId::Pan)},
      {"view.redraw", "MainActRedrawCap", "&Redraw", "MainActRedrawHint", "Repaint the view", "redraw",
       {QKeySequence::Refresh}, [this] { viewRedraw(); }},
      {"view.showraster", "MainActShowRasterCap", "Show &Raster", "MainActShowRasterHint",
       "Show or hide the raster image", "", {}, [this] { toggleDisplay("view.showraster"); }, true},
      {"view.showvectors", "MainActShowVectorCap", "Show &Vectors", "MainActShowVectorHint",
       "Show or hide the vectors", "", {}, [this] { toggleDisplay("view.showvectors"); }, true},
      {"view.showwidth", "MainActShowWidthCap", "Show Wi&dth", "MainActShowWidthHint",
       "Draw the vectors with their widths", "", {}, [this] { toggleDisplay("view.showwidth"); }, true},
      // Draw
      {"draw.line", "MainActLineCap", "&Line", "MainActLineHint", "Draw lines", "line", {}, command(CommandId::Line)},
      {"draw.polyline", "MainActPLineCap", "&Poly lines", "MainActPLineHint", "Draw a polyline", "polyline", {},
       command(CommandId::PolyLine)},
      {"draw.arc3p", "MainAct3PArcCap", "&Arc(Start,Mid,End)", "MainAct3PArcHint", "Draw an arc by 3 points",
       "arc3p", {}, command(CommandId::Arc3P)},
      {"draw.circlecr", "MainActCCircleCap", "&Circle(Center, Radius)", "MainActCCircleHint",
       "Draw a circle by center and radius", "circlecr", {}, command(CommandId::CircleCenterRadius)},
      {"draw.arccse", "MainActCArcCap", "A&rc(Center, 2 points)", "MainActCArcHint",
       "Draw an arc by center, start and end point", "arccse", {}, command(CommandId::ArcCenterStartEnd)},
      {"draw.circle3p", "MainAct3PCircleCap", "C&ircle(3 points)", "MainAct3PCircleHint",
       "Draw a circle by 3 points", "circle3p", {}, command(CommandId::Circle3P)},
      {"draw.solid", "MainActSolidCap", "&Solid Triangle", "MainActSolidHint", "Draw a filled triangle", "solid",
       {}, command(CommandId::SolidTriangle)},
      // Tools
      {"tools.distance", "MainActDistanceCap", "&Distance", "MainActDistanceHint", "Measure distance & angle",
       "distance", {}, command(CommandId::Distance)},
      {"tools.osnap", "MainActOsnapCap", "&Object Snap", "MainActOsnapHint", "Snap picks to points of the vectors",
       "osnap", {QKeySequence(Qt::Key_F3)}, [this] { toggleAid("tools.osnap"); }, true},
      {"tools.grid", "MainActGridCap", "&Grid", "MainActGridHint", "Show the grid and snap to it", "grid",
       {QKeySequence(Qt::Key_F7)}, [this] { toggleAid("tools.grid"); }, true},
      {"tools.ortho", "MainActOrthoCap", "O&rtho", "MainActOrthoHint", "Keep lines horizontal or vertical", "ortho",
       {QKeySequence(Qt::Key_F8)}, [this] { toggleAid("tools.ortho"); }, true},
      {"tools.aids", "MainActDrawingAidsCap", "Drawing &Aids...", "MainActDrawingAidsHint",
       "Object snap modes, grid spacing, snap angle and ortho", "", {}, [this] { drawingAidsDialog(); }},
      {"tools.options", "MainActOptionCap", "&Options...", "MainActOptionHint",
       "Width and angle series, threshold, undo steps, object snap, colours and language", "", {},
       [this] { OptionsCommand(*this); }, false, false},
      // Raster
      {"raster.undo", "RasterMenuUndoCap", "&Undo Raster", "RasterMenuUndoHint", "Undo the last raster change", "",
       {}, [this] { rasterUndo(false); }},
      {"raster.redo", "RasterMenuRedoCap", "&Redo Raster", "RasterMenuRedoHint", "Redo the raster change undone last",
       "", {}, [this] { rasterUndo(true); }},
      {"raster.rotate", "MainActRotateRasCap", "R&otate", "MainActRotateRasHint",
       "Rotate the raster by two points or an angle", "rotate", {}, command(CommandId::RotateRaster)},
      {"raster.rotatehor", "MainActRotateRasToHorCap", "Rotate to &Horizontal", "MainActRotateRasToHorHint",
       "Rotate the raster so that a line becomes horizontal", "", {}, command(CommandId::RotateRasterToHorizontal)},
      {"raster.crop", "MainActCropRasterCap", "&Crop", "MainActCropRasterHint", "Crop the raster to a box", "crop",
       {}, command(CommandId::CropRaster)},
      {"raster.erasepoint", "MainActErasePointCap", "Erase by &Point", "MainActErasePointHint",
       "Erase the raster along the dragged mouse", "erase", {}, command(CommandId::ErasePoint)},
      {"raster.erasewindow", "MainActEraseRectCap", "Erase by &Window", "MainActEraseRectHint",
       "Erase the raster in a box", "", {}, command(CommandId::EraseRect)},
      {"raster.erasepolygon", "MainActErasePolygonCap", "Erase by P&olygon", "MainActErasePolygonHint",
       "Erase the raster in a polygon", "", {}, command(CommandId::ErasePolygon)},
      {"raster.fillrect", "MainActFillRectCap", "Fill by &Rectangle", "MainActFillRectHint",
       "Fill a box of the raster", "fill", {}, command(CommandId::FillRect)},
      {"raster.fillpolygon", "MainActFillPolygonCap", "Fill by Po&lygon", "MainActFillPolygonHint",
       "Fill a polygon of the raster", "", {}, command(CommandId::FillPolygon)},
      // Vector
      {"trace.parameter", "MainActParameterCap", "Set &Parameter...", "MainActParameterHint", "Set trace parameter",
       "parameter", {}, [this] {
         RunParameterDialog(session_.store(), session_.options(), PreviewSourceOf(activeChild()), this);
       }, false, false},
      {"trace.run", "MainActTraceCap", "&Trace...", "MainActTraceHint", "Convert raster into vector", "trace",
       {QKeySequence(Qt::CTRL | Qt::Key_T)}, [this] { traceActive(); }},
      // Window
      {"window.cascade", "WindowMenuCascadeCap", "&Cascade", "WindowMenuCascadeHint", "Cascade", "", {},
       [this] { area_->cascadeSubWindows(); }},
      {"window.tile", "WindowMenuTileCap", "&Tile", "WindowMenuTileHint", "Tile", "", {},
       [this] { area_->tileSubWindows(); }},
      {"window.next", "WindowMenuNextCap", "&Next", "WindowMenuNextHint", "Activate the next window", "",
       {QKeySequence::NextChild}, [this] { area_->activateNextSubWindow(); }},
      {"window.previous", "WindowMenuPrevCap", "&Previous", "WindowMenuPrevHint", "Activate the previous window",
       "", {QKeySequence::PreviousChild}, [this] { area_->activatePreviousSubWindow(); }},
      {"window.closeall", "WindowMenuCloseAllCap", "Close &All", "WindowMenuCloseAllHint",
       "Close every document window", "", {}, [this] { area_->closeAllSubWindows(); }},
      // Help
      {"help.contents", "MainActHelpCap", "&Help", "MainActHelpHint", "Open the user manual", "help",
       {QKeySequence::HelpContents}, [this] { helpContents(); }, false, false},
      {"help.about", "MainActAboutCap", "&About Quillon", "MainActAboutHint", "Program information", "", {},
       [this] { helpAbout(); }, false, false},
  };
  for (const CommandSpec& spec : specs) addCommand(spec);

  for (const editor::OsnapModeLabel& mode : editor::kOsnapModeLabels) {
    auto* act = new QAction(T(mode.key, mode.text), this);
    act->setCheckable(true);
    act->setData(static_cast<int>(mode.bit));
    act->setProperty("needsDocument", true);
    osnapModeActions_ << act;
    connect(act, &QAction::triggered, this, [this, act] { osnapModeToggled(act); });
  }
}

void CMainFrame::createMenus() {
  const auto add = [this](const QString& name, std::string_view key, std::string_view text,
                          const QStringList& items) {
    QMenu* m = menuBar()->addMenu(T(key, text));
    m->setObjectName(name);
    menus_.insert(name, m);
    for (const QString& item : items) {
      if (item == QLatin1String("-")) m->addSeparator();
      else if (item.startsWith(QLatin1Char('>'))) m->addMenu(menus_.value(item.mid(1)));
      else m->addAction(actions_.value(item));
    }
    return m;
  };
  const auto submenu = [this](const QString& name, std::string_view key, std::string_view text) {
    auto* m = new QMenu(T(key, text), this);
    m->setObjectName(name);
    menus_.insert(name, m);
    return m;
  };
  submenu("file.recentraster", "FileMenuRecentRasterCap", "Recent &Raster Files");
  submenu("file.recentvector", "FileMenuRecentVectorCap", "Recent V&ector Files");
  submenu("edit.undohistory", "EditMenuUndoHistoryCap", "Undo &History");
  submenu("edit.redohistory", "EditMenuRedoHistoryCap", "Redo Histor&y");
  QMenu* osnap = submenu("tools.osnapmodes", "ToolsMenuOsnapModesCap", "Object Snap &Modes");
  osnap->addActions(osnapModeActions_);
  QMenu* erase = submenu("raster.erase", "RasterMenuEraseCap", "&Erase");
  erase->addActions({action("raster.erasepoint"), action("raster.erasewindow"), action("raster.erasepolygon")});
  QMenu* fill = submenu("raster.fill", "RasterMenuFillCap", "&Fill");
  fill->addActions({action("raster.fillrect"), action("raster.fillpolygon")});

  add("file", "MainMenuFile", "&File",
      {"file.open", "file.openvector", ">file.recentraster", ">file.recentvector", "-", "file.savevector",
       "file.saveraster", "-", "file.close", "-", "file.exit"});
  add("edit", "MainMenuEdit", "&Edit",
      {"edit.undo", "edit.redo", ">edit.undohistory", ">edit.redohistory", "-", "edit.select", "edit.selectall",
       "edit.delete", "-", "edit.explode", "edit.separate"});
  QMenu* view = add("view", "MainMenuView", "&View",
                    {"view.zoomin", "view.zoomout", "view.zoomwindow", "view.zoomprevious", "view.zoomfit",
                     "view.actualsize", "view.pan", "view.redraw", "-", "view.showraster", "view.showvectors",
                     "view.showwidth", "-"});
  menus_.insert("view.panels", view);
  add("draw", "MainMenuDraw", "&Draw",
      {"draw.line", "draw.polyline", "-", "draw.arc3p", "draw.arccse", "-", "draw.circlecr", "draw.circle3p", "-",
       "draw.solid"});
  add("tools", "MainMenuTools", "&Tools",
      {"tools.distance", "-", "tools.osnap", ">tools.osnapmodes", "tools.grid", "tools.ortho", "-", "tools.aids",
       "tools.options"});
  add("raster", "MainMenuRaster", "&Raster",
      {"raster.undo", "raster.redo", "-", "raster.rotate", "raster.rotatehor", "raster.crop", "-", ">raster.erase",
       ">raster.fill"});
  add("vector", "MainMenuVector", "&Vector", {"trace.parameter", "trace.run"});
  QMenu* window = add("window", "MainMenuWindow", "&Window",
                      {"window.cascade", "window.tile", "window.next", "window.previous", "-", "window.closeall"});
  connect(window, &QMenu::aboutToShow, this, [this] { rebuildWindowMenu(); });
  add("help", "MainMenuHelp", "&Help", {"help.contents", "-", "help.about"});
  rebuildRecentMenus();
}

void CMainFrame::createToolBars() {
  const auto bar = [this](const QString& name, std::string_view key, std::string_view text,
                          const QStringList& items) {
    QToolBar* tb = addToolBar(T(key, text));
    tb->setObjectName(name);
    tb->setIconSize(QSize(22, 22));
    for (const QString& item : items) {
      if (item == QLatin1String("-")) tb->addSeparator();
      else tb->addAction(actions_.value(item));
    }
    menus_.value("view.panels")->addAction(tb->toggleViewAction());
    return tb;
  };
  bar("toolbar.file", "ToolBarFile", "File", {"file.open", "file.openvector", "file.savevector"});
  bar("toolbar.edit", "ToolBarEdit", "Edit", {"edit.undo", "edit.redo", "-", "edit.select", "edit.delete"});
  bar("toolbar.view", "ToolBarView", "View",
      {"view.zoomin", "view.zoomout", "view.zoomwindow", "view.zoomprevious", "view.zoomfit", "view.actualsize",
       "view.pan"});
  bar("toolbar.draw", "ToolBarDraw", "Draw",
      {"draw.line", "draw.polyline", "draw.arc3p", "draw.arccse", "draw.circlecr", "draw.circle3p", "draw.solid"});
  bar("toolbar.tools", "ToolBarTools", "Tools", {"tools.distance", "edit.explode", "edit.separate"});
  bar("toolbar.vector", "ToolBarVector", "Vector", {"trace.parameter", "trace.run"});
}

void CMainFrame::createInputBar() {
  auto* bar = new QToolBar(T("InputBarCap", "Command Line"), this);
  bar->setObjectName(QStringLiteral("toolbar.input"));
  bar->setMovable(false);
  auto* box = new QWidget(bar);
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(6, 2, 6, 2);
  prompt_ = new QLabel(box);
  prompt_->setObjectName(QStringLiteral("prompt"));
  prompt_->setMinimumWidth(220);
  QFont bold = prompt_->font();
  bold.setBold(true);
  prompt_->setFont(bold);
  input_ = new QLineEdit(box);
  input_->setObjectName(QStringLiteral("input"));
  input_->setClearButtonEnabled(true);
  layout->addWidget(prompt_);
  layout->addWidget(input_, 1);
  bar->addWidget(box);
  addToolBar(Qt::BottomToolBarArea, bar);
  menus_.value("view.panels")->addAction(bar->toggleViewAction());
  connect(input_, &QLineEdit::returnPressed, this, [this] { submitInput(); });
}

void CMainFrame::createStatusBar() {
  commandLabel_ = new QLabel(this);
  commandLabel_->setObjectName(QStringLiteral("command"));
  positionLabel_ = new QLabel(this);
  positionLabel_->setObjectName(QStringLiteral("position"));
  positionLabel_->setMinimumWidth(230);
  statusBar()->addPermanentWidget(commandLabel_);
  statusBar()->addPermanentWidget(positionLabel_);
  for (const char* name : {"tools.osnap", "tools.grid", "tools.ortho"}) {
    auto* button = new QToolButton(this);
    button->setDefaultAction(action(name));
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    aidButtons_ << button;
    statusBar()->addPermanentWidget(button);
  }
  // Short upper-case names, the way drawing programs label these switches.
  aidButtons_[0]->setText(T("StatusOsnap", "OSNAP"));
  aidButtons_[1]->setText(T("StatusGrid", "GRID"));
  aidButtons_[2]->setText(T("StatusOrtho", "ORTHO"));
  statusBar()->showMessage(T("StatusReady", "Ready"));
}

void CMainFrame::createDocks() {
  layers_ = new LayersDock(this);
  properties_ = new PropertyDock(this);
  addDockWidget(Qt::RightDockWidgetArea, layers_);
  addDockWidget(Qt::RightDockWidgetArea, properties_);
  menus_.value("view.panels")->addAction(layers_->toggleViewAction());
  menus_.value("view.panels")->addAction(properties_->toggleViewAction());
  const auto changed = [this] {
    if (DrawingView* view = activeView()) view->drawingChanged();
    updateUi();
  };
  connect(layers_, &LayersDock::drawingChanged, this, changed);
  connect(properties_, &PropertyDock::drawingChanged, this, changed);
}

// ---- documents --------------------------------------------------------------------------

CChildFrame* CMainFrame::addDocument(std::unique_ptr<editor::Document> document) {
  const bool maximise = area_->subWindowList().isEmpty() ||
                        (area_->activeSubWindow() && area_->activeSubWindow()->isMaximized());
  auto* frame = new CChildFrame(std::move(document));
  area_->addSubWindow(frame);
  frame->setCloseGuard([this](CChildFrame& f) { return confirmClose(f); });
  connectView(frame);
  if (maximise) frame->showMaximized(); else frame->show();
  area_->setActiveSubWindow(frame);
  frame->view().setFocus();
  updateUi();
  return frame;
}

void CMainFrame::connectView(CChildFrame* frame) {
  DrawingView* view = &frame->view();
  view->setContextActions(
      {action("trace.run"), action("view.zoomfit"), action("view.zoomprevious"), action("edit.delete")});
  connect(view, &DrawingView::commandStateChanged, this, [this, frame] {
    if (frame == activeChild()) updateUi();
  });
  connect(view, &DrawingView::selectionMayHaveChanged, this, [this, frame] {
    if (!tearingDown_ && frame == activeChild()) properties_->refresh();
  });
  connect(view, &DrawingView::cursorMoved, this, [this](const QString& position, const QString& relative) {
    positionLabel_->setText(position);
    if (input_->isEnabled() && !input_->hasFocus()) input_->setPlaceholderText(relative);
  });
  connect(view, &DrawingView::statusMessage, this, [this](const QString& text) {
    statusBar()->showMessage(text, 5000);
  });
  connect(view, &DrawingView::typedText, this, [this](const QString& text) {
    if (!input_->isEnabled()) return;
    input_->setFocus();
    input_->insert(text);
  });
  connect(view, &DrawingView::enterPressed, this, [this] { submitInput(); });
  connect(frame, &CChildFrame::closing, this, [this] {
    if (tearingDown_) return;
    layers_->setDocument(nullptr);
    properties_->setDocument(nullptr);
  });
  connect(frame, &QObject::destroyed, this, [this] { updateUi(); });
}

CChildFrame* CMainFrame::activeChild() const {
  return qobject_cast<CChildFrame*>(area_->activeSubWindow());
}

DrawingView* CMainFrame::activeView() const {
  CChildFrame* frame = activeChild();
  return frame != nullptr ? &frame->view() : nullptr;
}

QList<CChildFrame*> CMainFrame::children() const {
  QList<CChildFrame*> list;
  for (QMdiSubWindow* w : area_->subWindowList())
    if (auto* frame = qobject_cast<CChildFrame*>(w)) list << frame;
  return list;
}

bool CMainFrame::openRaster(const QString& path) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto documents = session_.openRaster(PathOf(QFileInfo(path).absoluteFilePath()));
  QApplication::restoreOverrideCursor();
  if (documents.empty()) return false;
  for (auto& document : documents) addDocument(std::move(document));
  rebuildRecentMenus();
  return true;
}

bool CMainFrame::openVector(const QString& path) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto document = session_.openVector(PathOf(QFileInfo(path).absoluteFilePath()));
  QApplication::restoreOverrideCursor();
  if (!document) return false;
  addDocument(std::move(document));
  rebuildRecentMenus();
  return true;
}

void CMainFrame::openFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    if (!QFileInfo(path).isFile()) continue;
    if (IsDxf(path)) openVector(path); else openRaster(path);
  }
}

bool CMainFrame::confirmClose(CChildFrame& frame) {
  frame.view().processor().cancelCommand();
  return editor::ConfirmClose(
      frame.document(), [this](std::string_view text) { return askQuestion(Q(std::string(text))); },
      [this, &frame](editor::Document&) { return saveVector(frame); });
}

bool CMainFrame::saveVector(CChildFrame& frame) {
  std::string file;
#ifdef QUILLON_UI_WITHOUT_SAVE
  const bool saved = false;
#else
  const bool saved = RunSaveVector(frame.document(), store_, frame.view().showWidth(), this, saveDialog, &file);
#endif
  if (saved) {
    session_.addRecentVector(file);
    rebuildRecentMenus();
    statusBar()->showMessage(QPath(file), 5000);
    frame.updateTitle();
    updateUi();
  }
  return saved;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // Each window asks in turn; a Cancel (or a failed save) stops the exit.
  for (CChildFrame* frame : children()) {
    area_->setActiveSubWindow(frame);
    if (!frame->close()) {
      event->ignore();
      return;
    }
  }
  event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  openFiles(paths);
  event->acceptProposedAction();
}

// ---- the active document ---------------------------------------------------------------

void CMainFrame::startCommand(editor::CommandId id) {
  DrawingView* view = activeView();
  if (view == nullptr) return;
  view->processor().startCommand(id);
  view->setFocus();
  updateUi();
}

void CMainFrame::submitInput() {
  DrawingView* view = activeView();
  if (view == nullptr) return;
  const QString text = input_->text().trimmed();
  if (!input_->isEnabled() || text.isEmpty()) {
    view->processor().enterKey();
  } else if (view->processor().submitInput(S(text))) {
    input_->clear();
  }
  view->update();
  updateUi();
}

void CMainFrame::updateCommandState() {
  DrawingView* view = activeView();
  if (view == nullptr) {
    commandLabel_->setText(T("CmdNameNone", "No command"));
    prompt_->setText(QString());
    input_->setEnabled(false);
    return;
  }
  const editor::CommandProcessor& processor = view->processor();
  commandLabel_->setText(Q(processor.commandText()));
  const QString prompt = Q(processor.prompt());
  prompt_->setText(prompt.isEmpty() ? QString() : prompt + QStringLiteral(":"));
  const bool accepts = processor.inputMode() != editor::InputMode::None;
  input_->setEnabled(accepts);
  if (!accepts) input_->clear();
  input_->setPlaceholderText(QString());
}

void CMainFrame::updateUi() {
  if (tearingDown_) return;
  CChildFrame* frame = activeChild();
  const bool hasDocument = frame != nullptr;
  for (QAction* act : std::as_const(actions_))
    if (act->property("needsDocument").toBool()) act->setEnabled(hasDocument);
  for (QAction* act : std::as_const(osnapModeActions_)) act->setEnabled(hasDocument);
  if (frame != lastActive_) {
    if (lastActive_) lastActive_->view().processor().setFocused(false);
    lastActive_ = frame;
    if (frame) frame->view().processor().setFocused(true);
    layers_->setDocument(frame);
    properties_->setDocument(frame);
  } else {
    layers_->refreshIfIdle();
  }
  if (hasDocument) {
    editor::Document& document = frame->document();
    model::CGraph& graph = document.graph();
    const model::VectorUndoList& undo = graph.undo;
    const std::size_t applied = undo.appliedCount();
    action("edit.undo")->setEnabled(undo.canUndo());
    action("edit.undo")->setText(undo.canUndo() ? T("EditMenuUndoCap", "&Undo") + QLatin1Char(' ') +
                                                      Q(undo.step(applied - 1).name())
                                                : T("EditMenuUndoCap", "&Undo"));
    action("edit.redo")->setEnabled(undo.canRedo());
    action("edit.redo")->setText(undo.canRedo() ? T("EditMenuRedoCap", "&Redo") + QLatin1Char(' ') +
                                                      Q(undo.step(applied).name())
                                                : T("EditMenuRedoCap", "&Redo"));
    action("raster.undo")->setEnabled(document.rasterUndo().canUndo());
    action("raster.redo")->setEnabled(document.rasterUndo().canRedo());
    const bool selected = !graph.selection().empty();
    action("edit.delete")->setEnabled(selected);
    action("file.saveraster")->setEnabled(document.hasRaster());
    for (const char* name : {"raster.rotate", "raster.rotatehor", "raster.crop", "raster.erasepoint",
                             "raster.erasewindow", "raster.erasepolygon", "raster.fillrect", "raster.fillpolygon",
                             "trace.run"})
      action(name)->setEnabled(document.hasRaster());
    action("view.showraster")->setChecked(graph.showRaster);
    action("view.showvectors")->setChecked(graph.showVectors);
    action("view.showwidth")->setChecked(frame->view().showWidth());
    action("tools.osnap")->setChecked(graph.aids.osnapOn != 0);
    action("tools.grid")->setChecked(graph.aids.gridOn != 0);
    action("tools.ortho")->setChecked(graph.aids.orthoOn != 0);
    for (QAction* act : std::as_const(osnapModeActions_))
      act->setChecked((graph.aids.osnapModes & act->data().toInt()) != 0);
    // The running command's menu item shows as checked.
    frame->updateTitle();
  } else {
    for (const char* name : {"edit.undo", "edit.redo"}) action(name)->setText(T(name == std::string_view("edit.undo") ? "EditMenuUndoCap" : "EditMenuRedoCap", name == std::string_view("edit.undo") ? "&Undo" : "&Redo"));
    for (const char* name : {"view.showraster", "view.showvectors", "view.showwidth", "tools.osnap", "tools.grid",
                             "tools.ortho"})
      action(name)->setChecked(false);
  }
  rebuildHistoryMenus();
  if (rasterMenu_ != nullptr) rasterMenu_->updateState();
  updateCommandState();
  updateTitle();
}

void CMainFrame::updateTitle() {
  const QString app = T("MainTitle", "Quillon");
  CChildFrame* frame = activeChild();
  setWindowTitle(frame != nullptr ? CChildFrame::TitleOf(frame->document()) +
                                        (frame->document().modified() ? QStringLiteral("*") : QString()) +
                                        QStringLiteral(" — ") + app
                                  : app);
}

void CMainFrame::rebuildRecentMenus() {
  const auto fill = [this](QMenu* m, const settings::RecentFileList& list, bool vector, std::string_view hintKey,
                           std::string_view hint) {
    m->clear();
    int n = 0;
    for (const std::string& path : list) {
      if (path.empty()) break;
      ++n;
      QAction* act = m->addAction(QStringLiteral("&%1 %2").arg(n).arg(QPath(path)));
      act->setStatusTip(T(hintKey, hint));
      const QString file = QPath(path);
      connect(act, &QAction::triggered, this, [this, file, vector] {
        if (vector) openVector(file); else openRaster(file);
      });
    }
    m->setEnabled(n > 0);
  };
  fill(menus_.value("file.recentraster"), session_.recent().rasterFiles, false, "FileMenuReopenRasterHint",
       "Open this raster file");
  fill(menus_.value("file.recentvector"), session_.recent().vectorFiles, true, "FileMenuReopenVectorHint",
       "Open this vector file");
}

void CMainFrame::rebuildHistoryMenus() {
  QMenu* undoMenu = menus_.value("edit.undohistory");
  QMenu* redoMenu = menus_.value("edit.redohistory");
  undoMenu->clear();
  redoMenu->clear();
  CChildFrame* frame = activeChild();
  if (frame != nullptr) {
    const model::VectorUndoList& undo = frame->document().graph().undo;
    const auto fill = [this](QMenu* m, const std::vector<std::string>& items, bool redo) {
      int k = 0;
      for (const std::string& item : items) {
        QAction* act = m->addAction(Q(item));
        act->setStatusTip(redo ? T("EditMenuRedoHint", "Redo until this step") : T("EditMenuUndoHint", "Undo until this step"));
        connect(act, &QAction::triggered, this, [this, k, redo] {
          CChildFrame* f = activeChild();
          if (f == nullptr) return;
          model::CGraph& graph = f->document().graph();
          const std::string status = redo ? graph.undo.redoFromHistory(graph, k) : graph.undo.undoFromHistory(graph, k);
          statusBar()->showMessage(Q(status), 5000);
          f->view().drawingChanged();
          updateUi();
        });
        ++k;
      }
    };
    fill(undoMenu, undo.undoHistory(), false);
    fill(redoMenu, undo.redoHistory(), true);
  }
  undoMenu->setEnabled(!undoMenu->isEmpty());
  redoMenu->setEnabled(!redoMenu->isEmpty());
}

void CMainFrame::rebuildWindowMenu() {
  QMenu* m = menus_.value("window");
  for (QAction* act : m->actions())
    if (act->property("windowEntry").toBool()) m->removeAction(act), act->deleteLater();
  const QList<CChildFrame*> frames = children();
  if (!frames.isEmpty()) {
    QAction* separator = m->addSeparator();
    separator->setProperty("windowEntry", true);
  }
  int n = 0;
  for (CChildFrame* frame : frames) {
    QAction* act = m->addAction(QStringLiteral("&%1 %2").arg(++n).arg(CChildFrame::TitleOf(frame->document())));
    act->setProperty("windowEntry", true);
    act->setCheckable(true);
    act->setChecked(frame == activeChild());
    connect(act, &QAction::triggered, this, [this, frame] { area_->setActiveSubWindow(frame); });
  }
}

// ---- File -----------------------------------------------------------------------------------

void CMainFrame::fileOpenRaster() {
  const QStringList files = QFileDialog::getOpenFileNames(this, Plain(T("MainActOpenFileCap", "&Open Raster...")),
                                                          QString(), RasterFilter());
  for (const QString& file : files) openRaster(file);
}

void CMainFrame::fileOpenVector() {
  const QString file = QFileDialog::getOpenFileName(this, Plain(T("MainActOpenVectorCap", "Open &Vector...")),
                                                    QString(), DxfFilter());
  if (!file.isEmpty()) openVector(file);
}

void CMainFrame::fileSaveVector() {
  if (CChildFrame* frame = activeChild()) {
    frame->view().processor().cancelCommand();
    saveVector(*frame);
  }
}

void CMainFrame::fileSaveRaster() {
  CChildFrame* frame = activeChild();
  if (frame == nullptr || !frame->document().hasRaster()) return;
  QString suggestion = QPath(frame->document().fileName());
  if (!suggestion.isEmpty()) suggestion = QFileInfo(suggestion).path() + QLatin1Char('/') +
                                          QFileInfo(suggestion).completeBaseName() + QStringLiteral(".bmp");
  QString file = QFileDialog::getSaveFileName(this, Plain(T("MainActSaveRasterCap", "Save &Raster as BMP...")),
                                              suggestion, T("BmpFormatName", "Windows bitmap(*.bmp)") +
                                                              QStringLiteral(" (*.bmp *.BMP)"));
  if (file.isEmpty()) return;
  if (!file.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive)) file += QStringLiteral(".bmp");
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool saved = frame->document().raster().save(PathOf(file));
  QApplication::restoreOverrideCursor();
  if (saved) statusBar()->showMessage(file, 5000);
}

void CMainFrame::helpContents() {
  const std::string path = platform::FindDataFile(manualFile);
  if (path.empty()) {
    const std::string expected = platform::ProgramDirectory() + manualFile;
    platform::ShowMessage(settings::Text("MainHelpFileNotFound", "File not found :") + expected,
                          platform::MessageKind::Error);
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(QPath(path)));
}

void CMainFrame::helpAbout() {
  QMessageBox::about(this, Plain(T("MainActAboutCap", "&About Quillon")),
                     QStringLiteral("<h3>Quillon %1</h3><p>%2</p>")
                         .arg(QApplication::applicationVersion(),
                              T("MainAboutText", "Converts scanned line art into layered vector drawings.")));
}

// ---- Edit ------------------------------------------------------------------------------------

void CMainFrame::editUndo() {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  frame->view().processor().cancelCommand();
  model::CGraph& graph = frame->document().graph();
  statusBar()->showMessage(Q(graph.undo.undo(graph)), 5000);
  frame->view().drawingChanged();
  updateUi();
}

void CMainFrame::editRedo() {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  frame->view().processor().cancelCommand();
  model::CGraph& graph = frame->document().graph();
  statusBar()->showMessage(Q(graph.undo.redo(graph)), 5000);
  frame->view().drawingChanged();
  updateUi();
}

void CMainFrame::editDelete() {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  if (frame->document().graph().deleteSelection()) frame->view().drawingChanged();
  updateUi();
}

void CMainFrame::editSelectAll() {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  frame->document().graph().selectAll(true);
  frame->view().drawingChanged();
  updateUi();
}

void CMainFrame::editExplode() {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  model::CGraph& graph = frame->document().graph();
  ExplodeDlg dialog(!graph.selection().empty(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  frame->view().processor().cancelCommand();
  const model::ExplodeCounts counts = model::explode(graph, dialog.all());
  frame->view().drawingChanged();
  updateUi();
  platform::ShowMessage(model::explodeMessage(counts), platform::MessageKind::Information);
}

void CMainFrame::editSeparate() {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  SeparateDlg dialog(store_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  frame->view().processor().cancelCommand();
  model::separateLayers(frame->document().graph(), dialog.series());
  frame->view().drawingChanged();
  updateUi();
}

// ---- View ------------------------------------------------------------------------------------

void CMainFrame::viewZoomPrevious() {
  if (DrawingView* view = activeView()) view->processor().zoomPrevious();
}
void CMainFrame::viewZoomFit() {
  if (DrawingView* view = activeView()) view->processor().zoomFit();
}
void CMainFrame::viewActualSize() {
  if (DrawingView* view = activeView()) view->processor().actualSize();
}
void CMainFrame::viewRedraw() {
  if (DrawingView* view = activeView()) {
    view->rasterChanged();
    view->processor().redraw();
  }
}

void CMainFrame::toggleDisplay(const QString& name) {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  model::CGraph& graph = frame->document().graph();
  const bool on = action(name)->isChecked();
  if (name == QLatin1String("view.showraster")) graph.showRaster = on;
  else if (name == QLatin1String("view.showvectors")) graph.showVectors = on;
  else frame->view().setShowWidth(on);
  frame->view().drawingChanged();
}

// ---- Drawing aids -----------------------------------------------------------------------------

void CMainFrame::toggleAid(const QString& name) {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  model::DrawingAids& aids = frame->document().graph().aids;
  const int on = action(name)->isChecked() ? 1 : 0;
  if (name == QLatin1String("tools.osnap")) {
    aids.osnapOn = on;
    saveOsnapSettings();
  } else if (name == QLatin1String("tools.grid")) {
    aids.gridOn = on;
  } else {
    aids.orthoOn = on;
  }
  frame->view().drawingChanged();
}

void CMainFrame::osnapModeToggled(QAction* act) {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  model::DrawingAids& aids = frame->document().graph().aids;
  const int bit = act->data().toInt();
  aids.osnapModes = act->isChecked() ? (aids.osnapModes | bit) : (aids.osnapModes & ~bit);
  saveOsnapSettings();
  frame->view().update();
}

void CMainFrame::saveOsnapSettings() {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  const model::DrawingAids& aids = frame->document().graph().aids;
  settings::OsnapSettings stored;
  stored.mode = static_cast<uint32_t>(aids.osnapModes);
  stored.on = aids.osnapOn != 0;
  settings::SaveOsnapSettings(store_, stored);
}

void CMainFrame::drawingAidsDialog() {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  DrawingAidsDlg dialog(frame->document().graph(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  saveOsnapSettings();
  frame->view().drawingChanged();
  updateUi();
}

void CMainFrame::traceActive() {
  if (CChildFrame* frame = activeChild()) RunTrace(*frame, this);
  updateUi();
}

void CMainFrame::rasterUndo(bool redo) {
  CChildFrame* frame = activeChild();
  if (frame == nullptr) return;
  frame->view().processor().cancelCommand();
  raster::RasterUndoList& undo = frame->document().rasterUndo();
  const size_t done = undo.doneCount();
  const bool can = redo ? done < undo.count() : done > 0;
  const QString name = can ? Q(undo.entry(redo ? done : done - 1).name()) : QString();
  if (redo ? undo.redo() : undo.undo()) {
    frame->view().rasterChanged();
    statusBar()->showMessage((redo ? T("RasterRedoStatus", "Redo: ") : T("RasterUndoStatus", "Undo: ")) + name, 5000);
  }
  updateUi();
}

}  // namespace quillon::ui
