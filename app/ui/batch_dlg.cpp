#include "batch_dlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "batch/convert.h"
#include "main_frame.h"
#include "parameter_dlg.h"
#include "platform/message_sink.h"
#include "platform/power_off.h"
#include "raster/raster_file.h"
#include "settings/current_options.h"
#include "ui_text.h"

namespace quillon::ui {

namespace {

// A filter of the file dialogs from a language text that names its patterns
// the Windows way, "Name(*.a;*.b)": Qt wants them space-separated, and its
// matching is case-sensitive, so the upper-case patterns are added.
QString DialogFilter(const QString& text) {
  const qsizetype open = text.lastIndexOf(QLatin1Char('('));
  if (open < 0 || !text.endsWith(QLatin1Char(')'))) return text + QStringLiteral(" (*)");
  QStringList patterns = text.mid(open + 1, text.size() - open - 2).split(QLatin1Char(';'), Qt::SkipEmptyParts);
  const QStringList lower = patterns;
  for (const QString& p : lower)
    if (p.toUpper() != p) patterns << p.toUpper();
  return text.left(open).trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString RasterFilters() {
  return QStringList{
      DialogFilter(T("AllFormatName", "All Raster format(*.bmp;*.jpg;*.jpeg;*.tif;*.tiff;*.tga;*.pcx)")),
      DialogFilter(T("BmpFormatName", "Windows bitmap(*.bmp)")),
      DialogFilter(T("JpgFormatName", "JPEG image(*.jpg;*.jpeg)")),
      DialogFilter(T("TiffFormatName", "TIFF image(*.tif;*.tiff)")),
      DialogFilter(T("TgaformatName", "Targa image(*.tga)")),
      DialogFilter(T("PcxFormatName", "PCX image(*.pcx)")),
      // Read as well, beside the classic formats the texts above name.
      DialogFilter(T("PngFormatName", "PNG image(*.png)")),
      DialogFilter(T("PnmFormatName", "Portable anymap(*.pnm;*.pbm;*.pgm;*.ppm)")),
      DialogFilter(T("GifFormatName", "GIF image(*.gif)")),
  }.join(QStringLiteral(";;"));
}

QString JobFilter() { return DialogFilter(T("BatchJobFileName", "Batch Project File(*.trj)")); }

}  // namespace

CBatchDlg::CBatchDlg(platform::KeyValueStore& store, settings::TraceOption& current, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(std::make_unique<editor::BatchWindow>(store, current)) {
  setObjectName(QStringLiteral("CBatchDlg"));
  setWindowTitle(T("BatchDlgCaption", "Batch Process"));
  setWindowModality(Qt::ApplicationModal);

  chooseFiles = [this] {
    return QFileDialog::getOpenFileNames(this, Plain(T("BatchAddFile", "Add files")), QString(), RasterFilters());
  };
  chooseJobToOpen = [this] {
    return QFileDialog::getOpenFileName(this, Plain(T("BatchOpenPrj", "Open job")), QString(), JobFilter());
  };
  chooseJobToSave = [this] {
    QString path = QFileDialog::getSaveFileName(this, Plain(T("BatchSavePrj", "Save job")), QString(), JobFilter());
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".trj");
    return path;
  };
  chooseTargetDir = [this] {
    return QFileDialog::getExistingDirectory(this, T("BatchSelTargetPathDlgTitle", "Select target directory"),
                                             targetDir_->text());
  };
  editParameters = [this, &store](const settings::TraceOption& record) -> std::optional<settings::TraceOption> {
    CParameterDlg dialog(store, record, true, {}, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.option();
  };
  powerOff = [] { return platform::PowerOff(); };
  quitApplication = [] { QCoreApplication::quit(); };
  model_->powerOff = [this] { return powerOff && powerOff(); };
  // The worker says there is news; the window collects it on its own thread.
  model_->notify = [guard = QPointer<CBatchDlg>(this)] {
    QMetaObject::invokeMethod(
        guard.data(), [guard] { if (guard) guard->pollRun(); }, Qt::QueuedConnection);
  };

  buildUi();
  refreshSettings();
  refreshRows();
  updateControls();
}

CBatchDlg::~CBatchDlg() = default;

void CBatchDlg::buildUi() {
  const auto button = [this](std::string_view key, std::string_view text) {
    auto* b = new QPushButton(T(key, text), this);
    b->setAutoDefault(false);
    return b;
  };
  add_ = button("BatchAddFile", "Add files");
  remove_ = button("BatchDelFile", "Remove files");
  parameter_ = button("BatchParam", "Parameter");
  open_ = new QToolButton(this);
  open_->setText(T("BatchOpenPrj", "Open job"));
  open_->setPopupMode(QToolButton::MenuButtonPopup);
  open_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  recent_ = new QMenu(open_);
  recent_->setObjectName(QStringLiteral("batch.recentjobs"));
  open_->setMenu(recent_);
  save_ = button("BatchSavePrj", "Save job");
  connect(add_, &QPushButton::clicked, this, [this] { addFiles(chooseFiles ? chooseFiles() : QStringList()); });
  connect(remove_, &QPushButton::clicked, this, [this] { removeSelected(); });
  connect(parameter_, &QPushButton::clicked, this, [this] { editSelected(); });
  connect(open_, &QToolButton::clicked, this, [this] {
    const QString path = chooseJobToOpen ? chooseJobToOpen() : QString();
    if (!path.isEmpty()) openJob(path);
  });
  connect(recent_, &QMenu::aboutToShow, this, [this] { rebuildRecentMenu(); });
  connect(save_, &QPushButton::clicked, this, [this] {
    const QString path = chooseJobToSave ? chooseJobToSave() : QString();
    if (!path.isEmpty()) saveJob(path);
  });
  auto* commands = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{add_, remove_, parameter_, open_, save_}) commands->addWidget(w);
  commands->addStretch(1);

  table_ = new QTableWidget(0, static_cast<int>(batch::kJobColumnCount), this);
  table_->setObjectName(QStringLiteral("batch.jobs"));
  QStringList headings;
  for (size_t c = 0; c < batch::kJobColumnCount; ++c) headings << Q(batch::ColumnHeading(c));
  table_->setHorizontalHeaderLabels(headings);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setHighlightSections(false);
  // Stored widths, or (until the user has any) widths that fit the first rows.
  for (size_t c = 0; c < batch::kJobColumnCount; ++c) {
    const uint32_t width = model_->list().columnWidths[c];
    if (width > 0) table_->setColumnWidth(static_cast<int>(c), static_cast<int>(std::min<uint32_t>(width, 2000)));
    else fitColumns_ = true;
  }
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { updateControls(); });
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { editSelected(); });

  // Target and options.
  targetDir_ = new QLineEdit(this);
  targetDir_->setObjectName(QStringLiteral("batch.targetdir"));
  targetDir_->setPlaceholderText(T("BatchTargetDirBeside", "(beside each source file)"));
  connect(targetDir_, &QLineEdit::textEdited, this, [this](const QString& text) { model_->setTargetDir(PathOf(text)); });
  browse_ = new QToolButton(this);
  browse_->setText(QStringLiteral("..."));
  browse_->setToolTip(T("BatchSelTargetPathDlgTitle", "Select target directory"));
  connect(browse_, &QToolButton::clicked, this, [this] { browseTargetDir(); });
  targetType_ = new QComboBox(this);
  for (int i = 0; i < batch::kTargetTypeCount; ++i) targetType_->addItem(Q(batch::TargetTypeName(i)));
  connect(targetType_, &QComboBox::activated, this, [this](int index) { model_->setTargetType(index); });
  overwrite_ = new QCheckBox(T("BatchOverwrite", "Overwrite target file"), this);
  connect(overwrite_, &QCheckBox::clicked, this, [this](bool on) { model_->setOverwrite(on); });
  powerOffBox_ = new QCheckBox(T("BatchPowerOff", "Power off after finished"), this);
  connect(powerOffBox_, &QCheckBox::clicked, this, [this](bool on) {
    const bool armed = model_->setPowerOff(on);
    QSignalBlocker block(powerOffBox_);
    powerOffBox_->setChecked(armed);
  });
  jobs_ = new QSpinBox(this);
  jobs_->setRange(0, 64);
  jobs_->setSpecialValueText(T("BatchJobsAllCores", "All cores"));
  jobs_->setToolTip(T("BatchJobsHint", "How many files are converted at once, each on a core of its own"));
  connect(jobs_, &QSpinBox::valueChanged, this, [this](int value) { model_->setJobs(value); });

  auto* settingsGrid = new QGridLayout;
  auto* dirLabel = new QLabel(T("BatchTargetDir", "Target directory"), this);
  dirLabel->setBuddy(targetDir_);
  settingsGrid->addWidget(dirLabel, 0, 0);
  auto* dirRow = new QHBoxLayout;
  dirRow->addWidget(targetDir_, 1);
  dirRow->addWidget(browse_);
  settingsGrid->addLayout(dirRow, 0, 1, 1, 3);
  auto* typeLabel = new QLabel(T("BatchFileType", "Target file type"), this);
  typeLabel->setBuddy(targetType_);
  settingsGrid->addWidget(typeLabel, 1, 0);
  settingsGrid->addWidget(targetType_, 1, 1);
  auto* jobsLabel = new QLabel(T("BatchJobsAtOnce", "Files at once"), this);
  jobsLabel->setBuddy(jobs_);
  settingsGrid->addWidget(jobsLabel, 1, 2, Qt::AlignRight);
  settingsGrid->addWidget(jobs_, 1, 3);
  auto* boxes = new QHBoxLayout;
  boxes->addWidget(overwrite_);
  boxes->addWidget(powerOffBox_);
  boxes->addStretch(1);
  settingsGrid->addLayout(boxes, 2, 1, 1, 3);
  settingsGrid->setColumnStretch(1, 1);

  progress_ = new QProgressBar(this);
  progress_->setVisible(false);

  log_ = new QPlainTextEdit(this);
  log_->setObjectName(QStringLiteral("batch.log"));
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  log_->setPlaceholderText(T("BatchLogPlaceholder", "The log of the run appears here as it is written."));

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(table_);
  splitter->addWidget(log_);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  splitter->setChildrenCollapsible(false);

  run_ = button("BatchRun", "Run");
  run_->setDefault(true);
  connect(run_, &QPushButton::clicked, this, [this] { runOrStop(); });
  close_ = button("ButtonClose", "&Close");
  connect(close_, &QPushButton::clicked, this, [this] { close(); });
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(progress_, 1);
  bottom->addStretch(0);
  bottom->addWidget(run_);
  bottom->addWidget(close_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(commands);
  layout->addWidget(splitter, 1);
  layout->addLayout(settingsGrid);
  layout->addLayout(bottom);
  resize(980, 640);
}

void CBatchDlg::refreshRows() {
  const batch::BatchJobList& list = model_->list();
  table_->setRowCount(static_cast<int>(list.size()));
  for (size_t r = 0; r < list.size(); ++r) {
    for (size_t c = 0; c < batch::kJobColumnCount; ++c) {
      const QString text = QPath(list.row(r).cells[c]);
      QTableWidgetItem* item = table_->item(static_cast<int>(r), static_cast<int>(c));
      if (!item) {
        item = new QTableWidgetItem;
        table_->setItem(static_cast<int>(r), static_cast<int>(c), item);
      }
      item->setText(text);
      if (c == batch::kColumnSource) {
        item->setIcon(QIcon());
        item->setToolTip(QPath(list.row(r).Path()));
      }
    }
  }
  if (fitColumns_ && list.size() > 0) {
    fitColumns_ = false;
    table_->resizeColumnsToContents();
    const int limit = 40 * table_->fontMetrics().averageCharWidth();
    for (int c = 0; c < table_->columnCount(); ++c)
      table_->setColumnWidth(c, std::min(table_->columnWidth(c) + 8, limit));
    // Room for the mark a run puts before the name.
    table_->setColumnWidth(batch::kColumnSource,
                           table_->columnWidth(batch::kColumnSource) + table_->iconSize().width() + 8);
  }
  updateControls();
}

void CBatchDlg::refreshSettings() {
  const batch::BatchJobList& list = model_->list();
  const QSignalBlocker b1(targetDir_), b2(targetType_), b3(overwrite_), b4(powerOffBox_), b5(jobs_);
  targetDir_->setText(QPath(list.targetDir));
  targetType_->setCurrentIndex(batch::ClampTargetType(list.targetType));
  overwrite_->setChecked(list.overwrite);
  powerOffBox_->setChecked(list.powerOffShown && list.powerOff);
  powerOffBox_->setVisible(list.powerOffShown);
  jobs_->setValue(model_->jobs());
}

std::vector<size_t> CBatchDlg::selectedRows() const {
  std::set<size_t> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) rows.insert(static_cast<size_t>(index.row()));
  return {rows.begin(), rows.end()};
}

void CBatchDlg::updateControls() {
  const size_t selected = table_->selectionModel() ? table_->selectionModel()->selectedRows().size() : 0;
  const bool idle = model_->idle();
  for (QWidget* w : std::initializer_list<QWidget*>{add_, open_, targetDir_, browse_, targetType_, overwrite_,
                                                    powerOffBox_, jobs_, close_})
    w->setEnabled(idle);
  remove_->setEnabled(model_->canRemove(selected));
  parameter_->setEnabled(model_->canEditParameters(selected));
  save_->setEnabled(model_->canSaveJob());
  run_->setEnabled(model_->runButtonEnabled());
  run_->setText(idle ? T("BatchRun", "Run") : T("BatchStop", "Stop"));
  // The list can still be scrolled and read while a run is active.
  table_->setSelectionMode(idle ? QAbstractItemView::ExtendedSelection : QAbstractItemView::NoSelection);
}

void CBatchDlg::rebuildRecentMenu() {
  recent_->clear();
  int n = 0;
  for (const std::string& path : model_->recentJobs()) {
    QAction* act = recent_->addAction(QStringLiteral("&%1 %2").arg(++n).arg(QPath(path)));
    act->setData(QPath(path));
    connect(act, &QAction::triggered, this, [this, path] { openJob(QPath(path)); });
  }
  if (n == 0) recent_->addAction(T("BatchNoRecentJob", "(no recent job files)"))->setEnabled(false);
}

// ---- commands ----

void CBatchDlg::addFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  std::vector<std::string> files;
  for (const QString& path : paths) files.push_back(PathOf(path));
  if (model_->addFiles(files)) refreshRows();
}

void CBatchDlg::removeSelected() {
  if (model_->removeRows(selectedRows())) {
    table_->clearSelection();
    refreshRows();
  }
}

void CBatchDlg::editSelected() {
  const std::vector<size_t> rows = selectedRows();
  const std::optional<settings::TraceOption> record = model_->parametersFor(rows);
  if (!record || !editParameters) return;
  const std::optional<settings::TraceOption> edited = editParameters(*record);
  if (edited && model_->applyParameters(rows, *edited)) refreshRows();
}

bool CBatchDlg::openJob(const QString& path) {
  if (!model_->openJob(PathOf(path))) return false;
  table_->clearSelection();
  refreshSettings();
  refreshRows();
  return true;
}

bool CBatchDlg::saveJob(const QString& path) { return model_->saveJob(PathOf(path)); }

void CBatchDlg::browseTargetDir() {
  const QString dir = chooseTargetDir ? chooseTargetDir() : QString();
  if (dir.isEmpty() || !model_->setTargetDir(PathOf(dir))) return;
  targetDir_->setText(dir);
}

void CBatchDlg::runOrStop() {
  if (!model_->idle()) {
    model_->stop();
    run_->setEnabled(false);  // pressed once is enough; the run ends after its step
    return;
  }
  // A folder typed and not yet confirmed counts as well.
  model_->setTargetDir(PathOf(targetDir_->text().trimmed()));
  if (!model_->run()) return;
  log_->clear();
  refreshRows();  // clears the marks of the last run
  progress_->setRange(0, static_cast<int>(100 * model_->list().size()));
  progress_->setValue(0);
  progress_->setVisible(true);
  updateControls();
}

void CBatchDlg::pollRun() {
  const editor::BatchUpdate update = model_->poll();
  if (!update.log.empty()) {
    log_->moveCursor(QTextCursor::End);
    log_->insertPlainText(QPath(update.log).remove(QLatin1Char('\r')));
    log_->ensureCursorVisible();
  }
  for (const editor::BatchRowResult& row : update.rows) {
    QTableWidgetItem* item = table_->item(static_cast<int>(row.row), batch::kColumnSource);
    if (!item) continue;
    const bool ok = row.status == batch::kStatusConverted || row.status == batch::kStatusPagesConverted;
    item->setIcon(style()->standardIcon(ok ? QStyle::SP_DialogApplyButton : QStyle::SP_MessageBoxWarning));
    item->setToolTip(QPath(model_->list().row(row.row).Path()) + QLatin1Char('\n') +
                     (ok ? T("BatchRowConverted", "Converted") : Q(batch::StatusReasonText(row.status))));
  }
  if (update.maximum > 0) {
    progress_->setRange(0, static_cast<int>(update.maximum));
    progress_->setValue(static_cast<int>(std::min(update.position, update.maximum)));
  }
  if (!update.ended) return;
  progress_->setVisible(false);
  updateControls();
  if (update.poweringOff) {
    close();
    if (quitApplication) quitApplication();
    return;
  }
  if (!update.message.empty()) {
    platform::ShowMessage(update.message,
                          update.stopped ? platform::MessageKind::Warning : platform::MessageKind::Information);
  }
  emit runEnded();
  if (closeWhenIdle_) close();
}

void CBatchDlg::closeEvent(QCloseEvent* event) {
  if (!model_->idle()) {
    // Closing asks the run to stop; the window goes once it has.
    closeWhenIdle_ = true;
    model_->stop();
    updateControls();
    run_->setEnabled(false);
    event->ignore();
    return;
  }
  if (!closed_) {
    for (size_t c = 0; c < batch::kJobColumnCount; ++c)
      model_->setColumnWidth(c, static_cast<uint32_t>(std::max(0, table_->columnWidth(static_cast<int>(c)))));
    model_->close();
    closed_ = true;
  }
  event->accept();
}

void CBatchDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  if (event->key() == Qt::Key_Delete && table_->hasFocus()) {
    removeSelected();
    return;
  }
  QWidget::keyPressEvent(event);
}

CBatchDlg* ShowBatchWindow(CMainFrame& frame) {
  if (auto* open = frame.findChild<CBatchDlg*>(QString(), Qt::FindDirectChildrenOnly); open && open->isVisible()) {
    open->raise();
    open->activateWindow();
    return open;
  }
  auto* dialog = new CBatchDlg(frame.store(), settings::CurrentTraceOption(), &frame);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
  return dialog;
}

void AddBatchCommand(CMainFrame& frame) {
  CommandSpec spec;
  spec.name = QStringLiteral("file.batch");
  spec.textKey = "MainActBatchCap";
  spec.text = "&Batch Process...";
  spec.hintKey = "MainActBatchHint";
  spec.hint = "Batch raste files process";
  spec.icon = "";
  spec.run = [&frame] { ShowBatchWindow(frame); };
  spec.needsDocument = false;
  QAction* act = frame.addCommand(spec);
  QMenu* file = frame.menu(QStringLiteral("file"));
  if (!file) return;
  // After the open commands and their recent-file menus.
  QAction* before = nullptr;
  const QList<QAction*> items = file->actions();
  for (qsizetype i = 0; i < items.size(); ++i) {
    if (items[i]->isSeparator()) {
      before = items[i];
      break;
    }
  }
  file->insertAction(before, act);
}

}  // namespace quillon::ui
