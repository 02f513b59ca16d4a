#pragma once
// A document window: one document (a raster page or a DXF drawing) with its
// drawing view, as a sub-window of the main window's document area.

#include <QMdiSubWindow>
#include <functional>
#include <memory>

namespace quillon::editor {
class Document;
}

namespace quillon::ui {

class DrawingView;

class CChildFrame : public QMdiSubWindow {
  Q_OBJECT

 public:
  explicit CChildFrame(std::unique_ptr<editor::Document> document, QWidget* parent = nullptr);
  ~CChildFrame() override;

  editor::Document& document() { return *document_; }
  DrawingView& view() { return *view_; }

  // The title: the file's name (a page of a multi-page file carries its
  // page name), "No Raster file" for a window without raster or drawing
  // file, with a "*" while the drawing has unsaved changes.
  static QString TitleOf(const editor::Document& document);
  void updateTitle();

  // Decides whether the window may close (the unsaved-changes question);
  // without one it always may.
  void setCloseGuard(std::function<bool(CChildFrame&)> guard) { closeGuard_ = std::move(guard); }

 signals:
  void closing(CChildFrame* frame);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<editor::Document> document_;
  DrawingView* view_ = nullptr;
  std::function<bool(CChildFrame&)> closeGuard_;
};

}  // namespace quillon::ui
