// quorvanet: the desktop sniffer's window. Each argument names a capture file
// to open at start, each in a window of its own.

#include <QApplication>
#include <QIcon>

#include "capture/cache_folder.h"
#include "capture/host_names.h"
#include "ui/launch_windows.h"
#include "ui/main_window.h"
#include "ui/program_folder.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Brenmoor Software"));
  QApplication::setApplicationName(QStringLiteral("Quorvanet"));
  QApplication::setApplicationVersion(QStringLiteral(QUORVANET_VERSION));
  // Ties the windows to the installed desktop entry (its name and icon).
  QGuiApplication::setDesktopFileName(QStringLiteral("com.brenmoor.Quorvanet"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("com.brenmoor.Quorvanet")));

  // Decompressed captures a crashed run left under a name.
  qv::RemoveStaleCacheFiles();
  qv::QtSettingsStore store;
  qv::QtUserPrompt prompt;
  const auto windows = qv::OpenLaunchWindows(qv::CaptureFileArguments(QApplication::arguments()), store, prompt,
                                             qv::ProgramFolder(), std::make_shared<qv::SystemResolver>());
  return QApplication::exec();
}
