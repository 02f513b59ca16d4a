#pragma once
// The main window: the document area with one CChildFrame per document, the
// menus and toolbars, the input box with its prompt, the status bar with the
// drawing-aid toggles, and the layers and properties docks.
//
// Every command is a named QAction made in createActions(); the menus and
// toolbars are laid out from those names in createMenus() and
// createToolBars(). A window built on this one adds its commands with
// addCommand() and puts them into menu(...) or a toolbar of its own.

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

#include "editor/command_processor.h"
#include "editor/document.h"
#include "settings/option_store.h"

class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class QToolButton;

namespace quillon::platform {
class KeyValueStore;
}
namespace quillon::editor {
class AppSession;
class SaveVectorDialog;
}

namespace quillon::ui {

class CChildFrame;
class DrawingView;
class LayersDock;
class PropertyDock;
class RasterMenu;

// What a command action is made from.
struct CommandSpec {
  QString name;                 // "file.open", "draw.line", …
  std::string_view textKey;     // menu text: language key and English default
  std::string_view text;
  std::string_view hintKey;     // status-bar hint and tooltip
  std::string_view hint;
  std::string_view icon;        // a CommandIcon name, or empty
  QList<QKeySequence> shortcuts;
  std::function<void()> run;
  bool checkable = false;
  // Enabled only while a document window is active.
  bool needsDocument = true;
};

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // The session holds the settings store and the recent-file lists (read by
  // its start(), written by its stop()); it must outlive the window. Every
  // document the window opens goes through the session.
  explicit CMainFrame(editor::AppSession& session, QWidget* parent = nullptr);
  // A window with a session of its own over the store, never started (tests).
  explicit CMainFrame(platform::KeyValueStore& store, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // ---- documents ----
  // Opens a raster file: one window per readable page. False (after the
  // reader's message) when nothing could be read.
  bool openRaster(const QString& path);
  // Open Vector: a DXF file into a new window.
  bool openVector(const QString& path);
  // Opens each existing file: DXF files as drawings, everything else as
  // raster (the command line, drag and drop).
  void openFiles(const QStringList& paths);
  CChildFrame* addDocument(std::unique_ptr<editor::Document> document);
  CChildFrame* activeChild() const;
  DrawingView* activeView() const;
  QList<CChildFrame*> children() const;
  QMdiArea* documentArea() const { return area_; }

  // ---- commands ----
  QAction* action(const QString& name) const { return actions_.value(name); }
  QMenu* menu(const QString& name) const { return menus_.value(name); }
  QAction* addCommand(const CommandSpec& spec);
  // Starts an interactive command in the active view.
  void startCommand(editor::CommandId id);
  // The save-vector command for a window: the save dialog, then the save.
  // True when the drawing was saved.
  bool saveVector(CChildFrame& frame);
  // The close question; tests replace it. Default: a Yes/No/Cancel box.
  std::function<editor::Answer(const QString& text)> askQuestion;
  // Answers the save dialog instead of showing it (tests): fills the
  // dialog's model and answers whether it was accepted. Empty: the dialog.
  std::function<bool(editor::SaveVectorDialog& dialog)> saveDialog;
  // The manual Help opens, looked up in the data directories.
  std::string manualFile = "manual/index.html";

  // ---- parts ----
  QLineEdit* inputBox() const { return input_; }
  QLabel* promptLabel() const { return prompt_; }
  LayersDock* layersDock() const { return layers_; }
  PropertyDock* propertyDock() const { return properties_; }
  const settings::RecentLists& recentLists() const;
  platform::KeyValueStore& store() { return store_; }

 public slots:
  // Refreshes everything that depends on the active document: action
  // states, undo texts, prompt, status bar, docks, title.
  void updateUi();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createActions();
  void createMenus();
  void createToolBars();
  void createStatusBar();
  void createInputBar();
  void createDocks();
  void rebuildRecentMenus();
  void rebuildHistoryMenus();
  void rebuildWindowMenu();
  void updateTitle();
  void updateCommandState();
  void connectView(CChildFrame* frame);
  CMainFrame(editor::AppSession* session, std::unique_ptr<editor::AppSession> own, QWidget* parent);
  bool confirmClose(CChildFrame& frame);
  void submitInput();

  // File
  void fileOpenRaster();
  void fileOpenVector();
  void fileSaveVector();
  void fileSaveRaster();
  void helpContents();
  void helpAbout();
  // Edit
  void editUndo();
  void editRedo();
  void editDelete();
  void editSelectAll();
  void editExplode();
  void editSeparate();
  // View
  void viewZoomPrevious();
  void viewZoomFit();
  void viewActualSize();
  void viewRedraw();
  void toggleDisplay(const QString& name);
  // Drawing aids
  void toggleAid(const QString& name);
  void drawingAidsDialog();
  void osnapModeToggled(QAction* action);
  void saveOsnapSettings();
  void rasterUndo(bool redo);
  // Vector
  void traceActive();

  std::unique_ptr<editor::AppSession> ownSession_;
  editor::AppSession& session_;
  platform::KeyValueStore& store_;
  QMdiArea* area_ = nullptr;
  QHash<QString, QAction*> actions_;
  QHash<QString, QMenu*> menus_;
  QList<QAction*> osnapModeActions_;
  QLineEdit* input_ = nullptr;
  QLabel* prompt_ = nullptr;
  QLabel* commandLabel_ = nullptr;
  QLabel* positionLabel_ = nullptr;
  QList<QToolButton*> aidButtons_;
  LayersDock* layers_ = nullptr;
  PropertyDock* properties_ = nullptr;
  RasterMenu* rasterMenu_ = nullptr;
  QPointer<CChildFrame> lastActive_;
  bool tearingDown_ = false;
};

}  // namespace quillon::ui
