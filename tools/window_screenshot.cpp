// Opens the main window on a capture file, selects a packet and writes a
// picture of the window: window_screenshot CAPTURE OUT.png [ROW]
// Runs on any Qt platform (offscreen too).

#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>

#include "ui/main_window.h"
#include "ui/packets_page.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    qWarning("usage: window_screenshot CAPTURE OUT.png [ROW]");
    return 2;
  }
  QTemporaryDir dir;
  qv::QtSettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
  qv::QtUserPrompt prompt;
  prompt.SetSilent(true);
  qv::CMainFrame window(store, prompt, dir.path().toStdString() + "/");
  window.resize(1280, 800);
  window.show();
  window.OpenCaptureFile(QString::fromLocal8Bit(argv[1]));
  QElapsedTimer waited;
  waited.start();
  while ((window.Doc().IsReadingFile() || window.Model().rowCount() < static_cast<int>(window.Doc().PacketCount())) &&
         waited.elapsed() < 10000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(10);
    window.Poll();
  }
  const int row = argc > 3 ? std::atoi(argv[3]) : 0;
  QTableView* view = window.Packets().View();
  view->selectRow(row);
  for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
  const bool ok = window.grab().save(QString::fromLocal8Bit(argv[2]));
  return ok ? 0 : 1;
}
