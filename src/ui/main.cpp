// quorvanet: the desktop sniffer's window. An argument names a capture file
// to open at start.

#include <QApplication>

#include "ui/main_window.h"
#include "ui/program_folder.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Brenmoor Software"));
  QApplication::setApplicationName(QStringLiteral("Quorvanet"));
  QApplication::setApplicationVersion(QStringLiteral(QUORVANET_VERSION));

  qv::QtSettingsStore store;
  qv::QtUserPrompt prompt;
  qv::CMainFrame window(store, prompt, qv::ProgramFolder(), nullptr, nullptr, std::make_shared<qv::SystemResolver>());
  window.show();
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) window.OpenCaptureFile(args.at(1));
  return QApplication::exec();
}
