#pragma once
// The option dialog (COptionDlg) and its pages: width series (CWidthPage),
// angle series (CAnglePage), raster threshold (CRasterThreshPage), drawing
// (undo depths, object snap defaults, display colours) and language. The
// rules live in the editor's OptionDialog model; the pages show it and hand
// the user's edits back to it.

#include <QDialog>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "editor/option_dialog.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::ui {

class CMainFrame;

// The name dialog of "Save as": the listed names and a field; OK only while
// the field is not empty, and the overwrite question for a listed name (No
// keeps the dialog open).
class SeriesNameDlg : public QDialog {
  Q_OBJECT
 public:
  SeriesNameDlg(const QString& title, const std::vector<std::string>& listed, std::string_view questionKey,
                std::string_view question, QWidget* parent = nullptr);
  void accept() override;
  std::string name() const;
  QLineEdit* nameEdit() const { return edit_; }

 private:
  std::vector<std::string> listed_;
  std::string_view questionKey_;
  std::string_view question_;
  QLineEdit* edit_ = nullptr;
};

// Asks for a series name; tests replace it. Answers the name, or nothing when cancelled.
using AskSeriesName = std::function<std::optional<std::string>(const QString& title,
                                                               const std::vector<std::string>& listed)>;

class CWidthPage : public QWidget {
  Q_OBJECT
 public:
  CWidthPage(editor::WidthSeriesPage& model, QWidget* parent = nullptr);
  // Hands the widgets' unit and mode to the model.
  void commit();
  void showModel();
  AskSeriesName askName;

  QComboBox* seriesBox() const { return series_; }
  QComboBox* unitBox() const { return unit_; }
  QComboBox* moreWidthBox() const { return moreWidth_; }
  QListWidget* widthList() const { return list_; }
  QLineEdit* itemEdit() const { return item_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* updateButton() const { return update_; }
  QPushButton* removeButton() const { return remove_; }
  QPushButton* saveAsButton() const { return saveAs_; }
  QPushButton* deleteButton() const { return delete_; }

 private:
  void addItem();
  void updateItem();
  void removeItem();
  void saveAs();
  void deleteSeries();
  void rowChosen(int row);

  editor::WidthSeriesPage& model_;
  QComboBox* series_ = nullptr;
  QComboBox* unit_ = nullptr;
  QComboBox* moreWidth_ = nullptr;
  QListWidget* list_ = nullptr;
  QLineEdit* item_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* update_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* saveAs_ = nullptr;
  QPushButton* delete_ = nullptr;
};

// Draws each entry as three rays from one centre: main solid, max red, min
// green; the chosen entry dotted.
class AngleDiagram : public QWidget {
  Q_OBJECT
 public:
  explicit AngleDiagram(QWidget* parent = nullptr);
  void setEntries(std::vector<settings::AngleEntry> entries, int chosen);
  QSize sizeHint() const override { return {220, 130}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<settings::AngleEntry> entries_;
  int chosen_ = -1;
};

class CAnglePage : public QWidget {
  Q_OBJECT
 public:
  CAnglePage(editor::AngleSeriesPage& model, QWidget* parent = nullptr);
  void showModel();
  AskSeriesName askName;

  QComboBox* seriesBox() const { return series_; }
  QListWidget* entryList() const { return list_; }
  QLineEdit* mainEdit() const { return main_; }
  QLineEdit* maxEdit() const { return max_; }
  QLineEdit* minEdit() const { return min_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* updateButton() const { return update_; }
  QPushButton* removeButton() const { return remove_; }
  QPushButton* saveAsButton() const { return saveAs_; }
  QPushButton* deleteButton() const { return delete_; }
  AngleDiagram* diagram() const { return diagram_; }

 private:
  void takeFields();
  void focusField();
  void showFields();

  editor::AngleSeriesPage& model_;
  QComboBox* series_ = nullptr;
  QListWidget* list_ = nullptr;
  QLineEdit* main_ = nullptr;
  QLineEdit* max_ = nullptr;
  QLineEdit* min_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* update_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* saveAs_ = nullptr;
  QPushButton* delete_ = nullptr;
  AngleDiagram* diagram_ = nullptr;
};

class CRasterThreshPage : public QWidget {
  Q_OBJECT
 public:
  CRasterThreshPage(editor::RasterThreshPage& model, QWidget* parent = nullptr);
  void commit();
  QCheckBox* autoBox() const { return auto_; }
  QLineEdit* grayEdit() const { return gray_; }

 private:
  editor::RasterThreshPage& model_;
  QCheckBox* auto_ = nullptr;
  QLineEdit* gray_ = nullptr;
};

class CDrawingPage : public QWidget {
  Q_OBJECT
 public:
  CDrawingPage(editor::DrawingPage& model, QWidget* parent = nullptr);
  void commit();
  QSpinBox* vectorUndoBox() const { return vectorUndo_; }
  QSpinBox* rasterUndoBox() const { return rasterUndo_; }
  QSpinBox* gripBox() const { return grip_; }
  QCheckBox* osnapOnBox() const { return osnapOn_; }
  const QList<QCheckBox*>& osnapModeBoxes() const { return modes_; }
  QToolButton* colorButton(settings::DisplayColor which) const { return colors_[static_cast<size_t>(which)]; }
  // Picks a colour index (-1: cancelled); tests replace it.
  std::function<int(settings::ColorIndex current)> pickColor;

 private:
  void showColor(size_t which);

  editor::DrawingPage& model_;
  QSpinBox* vectorUndo_ = nullptr;
  QSpinBox* rasterUndo_ = nullptr;
  QCheckBox* osnapOn_ = nullptr;
  QList<QCheckBox*> modes_;
  std::array<QToolButton*, settings::kDisplayColorCount> colors_{};
  QSpinBox* grip_ = nullptr;
  QComboBox* gridPoint_ = nullptr;
};

class CLanguagePage : public QWidget {
  Q_OBJECT
 public:
  CLanguagePage(editor::LanguagePage& model, QWidget* parent = nullptr);
  QListWidget* languageList() const { return list_; }

 private:
  editor::LanguagePage& model_;
  QListWidget* list_ = nullptr;
  QLabel* current_ = nullptr;
};

class COptionDlg : public QDialog {
  Q_OBJECT
 public:
  COptionDlg(editor::OptionDialog& model, QWidget* parent = nullptr);
  void accept() override;

  QTabWidget* tabs() const { return tabs_; }
  CWidthPage* widthPage() const { return width_; }
  CAnglePage* anglePage() const { return angle_; }
  CRasterThreshPage* threshPage() const { return thresh_; }
  CDrawingPage* drawingPage() const { return drawing_; }
  CLanguagePage* languagePage() const { return language_; }

 private:
  editor::OptionDialog& model_;
  QTabWidget* tabs_ = nullptr;
  CWidthPage* width_ = nullptr;
  CAnglePage* angle_ = nullptr;
  CRasterThreshPage* thresh_ = nullptr;
  CDrawingPage* drawing_ = nullptr;
  CLanguagePage* language_ = nullptr;
};

// The Options command: the dialog over the store and the current trace
// parameters, with the threshold the active raster suggests (none without a
// grey or colour raster). `show` replaces the modal run (tests); answers
// whether the dialog was accepted. The caller repaints its views.
bool RunOptionDialog(platform::KeyValueStore& store, QWidget* parent, std::optional<int> suggestedThreshold = {},
                     const std::function<bool(COptionDlg&)>& show = {});

// Tools > Options of the main window: the dialog with the active raster's
// suggested threshold; after OK every document window is repainted.
void OptionsCommand(CMainFrame& frame, const std::function<bool(COptionDlg&)>& show = {});

}  // namespace quillon::ui
