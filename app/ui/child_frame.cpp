#include "child_frame.h"

#include <QCloseEvent>
#include <QFileInfo>

#include "drawing_view.h"
#include "editor/document.h"
#include "icons.h"
#include "ui_text.h"

namespace quillon::ui {

CChildFrame::CChildFrame(std::unique_ptr<editor::Document> document, QWidget* parent)
    : QMdiSubWindow(parent), document_(std::move(document)) {
  setAttribute(Qt::WA_DeleteOnClose);
  view_ = new DrawingView(*document_, this);
  setWidget(view_);
  setWindowIcon(ApplicationIcon());
  updateTitle();
  connect(view_, &DrawingView::commandStateChanged, this, &CChildFrame::updateTitle);
}

CChildFrame::~CChildFrame() = default;

QString CChildFrame::TitleOf(const editor::Document& document) {
  if (document.fileName().empty()) return T("ChildNoRaster", "No Raster file");
  return QFileInfo(QPath(document.fileName())).fileName();
}

void CChildFrame::updateTitle() {
  setWindowTitle(TitleOf(*document_) + QStringLiteral("[*]"));
  setWindowModified(document_->modified());
}

void CChildFrame::closeEvent(QCloseEvent* event) {
  if (closeGuard_ && !closeGuard_(*this)) {
    event->ignore();
    return;
  }
  emit closing(this);
  QMdiSubWindow::closeEvent(event);
}

}  // namespace quillon::ui
