#pragma once
// The batch window: the job list with each row's file and parameters, the
// commands that edit it, job files with the recent ones, the target folder,
// type and options, and Run/Stop with the progress bar and the log as the
// run writes it. The rules and the run live in editor::BatchWindow; this
// window shows them and turns clicks into its calls. The run converts on a
// worker thread, so the window keeps answering (Stop included) while it works.
//
// The window is application-modal: the parameter editing of the list works
// on the current trace record, which closing the window gives back.

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "editor/batch_window.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QToolButton;

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::ui {

class CMainFrame;

class CBatchDlg : public QWidget {
  Q_OBJECT

 public:
  // The store and the current record must outlive the window.
  CBatchDlg(platform::KeyValueStore& store, settings::TraceOption& current, QWidget* parent = nullptr);
  ~CBatchDlg() override;

  editor::BatchWindow& model() { return *model_; }

  // What the buttons ask the user; tests replace them. Empty answers cancel.
  std::function<QStringList()> chooseFiles;
  std::function<QString()> chooseJobToOpen;
  std::function<QString()> chooseJobToSave;
  std::function<QString()> chooseTargetDir;
  // The parameter dialog in batch mode, opened with the first selected
  // row's parameters; nothing when it was cancelled.
  std::function<std::optional<settings::TraceOption>(const settings::TraceOption&)> editParameters;
  // Turns the machine off (default: platform::PowerOff); when it does, the
  // window closes and quitApplication ends the program.
  std::function<bool()> powerOff;
  std::function<void()> quitApplication;

  // The commands, with their answers given.
  void addFiles(const QStringList& paths);
  void removeSelected();
  void editSelected();
  bool openJob(const QString& path);
  bool saveJob(const QString& path);
  void runOrStop();

  // The selected rows, in list order.
  std::vector<size_t> selectedRows() const;

  // ---- parts, for tests and the manual's pictures ----
  QTableWidget* table() const { return table_; }
  QPlainTextEdit* logView() const { return log_; }
  QPushButton* runButton() const { return run_; }
  QProgressBar* progressBar() const { return progress_; }
  QCheckBox* overwriteBox() const { return overwrite_; }
  QCheckBox* powerOffBox() const { return powerOffBox_; }
  QLineEdit* targetDirEdit() const { return targetDir_; }
  QComboBox* targetTypeBox() const { return targetType_; }
  QSpinBox* jobsBox() const { return jobs_; }
  QMenu* recentMenu() const { return recent_; }

 signals:
  // A run has ended (after its closing message).
  void runEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildUi();
  void refreshRows();
  void refreshSettings();
  void updateControls();
  void rebuildRecentMenu();
  void pollRun();
  void browseTargetDir();

  std::unique_ptr<editor::BatchWindow> model_;
  QTableWidget* table_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* parameter_ = nullptr;
  QToolButton* open_ = nullptr;
  QMenu* recent_ = nullptr;
  QPushButton* save_ = nullptr;
  QLineEdit* targetDir_ = nullptr;
  QToolButton* browse_ = nullptr;
  QComboBox* targetType_ = nullptr;
  QCheckBox* overwrite_ = nullptr;
  QCheckBox* powerOffBox_ = nullptr;
  QSpinBox* jobs_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* close_ = nullptr;
  bool closeWhenIdle_ = false;
  bool fitColumns_ = false;  // no stored widths: fit the first rows shown
  bool closed_ = false;
};

// The batch window of the main window, made on first use and raised after.
CBatchDlg* ShowBatchWindow(CMainFrame& frame);
// Adds the "Batch" command to the main window's File menu.
void AddBatchCommand(CMainFrame& frame);

}  // namespace quillon::ui
