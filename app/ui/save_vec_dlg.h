#pragma once
// The save dialog: file name, the nine output types, the destination size
// of SVG, compressed SVG and PDF, and the save-width switch. The rules
// (which controls each type enables, the extension that follows the type,
// the checks on OK) live in the editor's dialog model; this window shows it.

#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace quillon::editor {
class Document;
class SaveVectorDialog;
}
namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::ui {

class CSaveVecDlg : public QDialog {
  Q_OBJECT

 public:
  CSaveVecDlg(editor::SaveVectorDialog& model, QWidget* parent = nullptr);

  void accept() override;

  QLineEdit* fileEdit() const { return file_; }
  QComboBox* typeBox() const { return type_; }
  QGroupBox* sizeGroup() const { return size_; }
  QLineEdit* widthEdit() const { return width_; }
  QLineEdit* heightEdit() const { return height_; }
  QComboBox* unitBox() const { return unit_; }
  QCheckBox* saveWidthBox() const { return saveWidth_; }

 private:
  void typeChanged(int row);
  void browse();
  void showModel();

  editor::SaveVectorDialog& model_;
  QLineEdit* file_ = nullptr;
  QComboBox* type_ = nullptr;
  QGroupBox* size_ = nullptr;
  QLineEdit* width_ = nullptr;
  QLineEdit* height_ = nullptr;
  QComboBox* unit_ = nullptr;
  QCheckBox* saveWidth_ = nullptr;
};

// The save-vector command of a document window: the dialog, then the save
// on a worker thread with a progress window. `dialog` replaces the modal
// dialog (tests fill the model and answer). Answers whether the file was
// written; savedFile receives its name.
bool RunSaveVector(editor::Document& document, platform::KeyValueStore& store, bool showWidth, QWidget* parent,
                   const std::function<bool(editor::SaveVectorDialog&)>& dialog = {},
                   std::string* savedFile = nullptr);

}  // namespace quillon::ui
