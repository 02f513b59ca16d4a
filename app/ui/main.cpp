// quillon-app: the desktop application. Reads the settings, opens every
// command-line file as a document, runs the main window and writes the
// settings back at exit.

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include "child_frame.h"
#include "drawing_view.h"
#include "editor/app_session.h"
#include "editor/document.h"
#include "icons.h"
#include "main_frame.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "qt_message_sink.h"
#include "ui_text.h"

namespace {

// --screenshot FILE: once the documents are shown, the main window as the
// display shows it is written to FILE (PNG), with FILE.txt describing where
// the active view lies and how it maps the drawing, and the program ends.
// The end-to-end test and the manual's pictures use it.
void ScheduleScreenshot(quillon::ui::CMainFrame& frame, const QString& file, int delayMs) {
  QTimer::singleShot(delayMs, &frame, [&frame, file] {
    const QPixmap shot = frame.screen()->grabWindow(frame.winId());
    bool ok = shot.save(file, "PNG");
    if (quillon::ui::DrawingView* view = frame.activeView()) {
      QFile text(file + QStringLiteral(".txt"));
      ok = ok && text.open(QIODevice::WriteOnly | QIODevice::Truncate);
      const QPoint at = view->mapTo(&frame, QPoint(0, 0));
      const quillon::ui::ScreenMapping m = view->mapping();
      const auto& graph = view->document().graph();
      QTextStream(&text) << at.x() << ' ' << at.y() << ' ' << view->width() << ' ' << view->height() << ' '
                         << qSetRealNumberPrecision(17) << m.xMin << ' ' << m.yMin << ' ' << m.unitsPerPixel << ' '
                         << m.clientHeight << ' ' << graph.rasterObject().x0 << ' ' << graph.rasterObject().y0
                         << '\n';
    }
    for (quillon::ui::CChildFrame* child : frame.children()) child->setCloseGuard({});
    QApplication::exit(ok ? 0 : 1);
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setOrganizationName(QStringLiteral("Marrowby"));
  QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("quillon"));
  QApplication::setWindowIcon(quillon::ui::ApplicationIcon());

  using namespace quillon;
  platform::EnsureDirectory(platform::ConfigDirectory());
  platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
  ui::QtMessageSink sink;
  platform::ScopedMessageSink messages(sink);

  editor::AppSession session(store);
  session.start();

  ui::CMainFrame frame(session);
  sink.setParent(&frame);
  frame.show();
  QStringList arguments = QApplication::arguments().mid(1);
  QString screenshot;
  if (const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot")); at >= 0 && at + 1 < arguments.size()) {
    screenshot = arguments.at(at + 1);
    arguments.remove(at, 2);
  }
  frame.openFiles(arguments);
  if (!screenshot.isEmpty()) ScheduleScreenshot(frame, screenshot, 1500);
  const int status = QApplication::exec();
  if (!screenshot.isEmpty()) return status;

  session.stop();
  store.flush();
  return status;
}
