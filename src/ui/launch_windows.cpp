#include "ui/launch_windows.h"

#include <QUrl>

#include "ui/main_window.h"

namespace qv {

QStringList CaptureFileArguments(const QStringList& arguments) {
  QStringList files;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments.at(i);
    if (a.isEmpty()) continue;
    files << (a.startsWith(QStringLiteral("file:")) ? QUrl(a).toLocalFile() : a);
  }
  return files;
}

std::vector<std::unique_ptr<CMainFrame>> OpenLaunchWindows(const QStringList& files, SettingsStore& store,
                                                           QtUserPrompt& prompt, const std::string& programFolder,
                                                           std::shared_ptr<HostResolver> resolver) {
  std::vector<std::unique_ptr<CMainFrame>> windows;
  const qsizetype count = files.isEmpty() ? 1 : files.size();
  for (qsizetype i = 0; i < count; ++i) {
    windows.push_back(std::make_unique<CMainFrame>(store, prompt, programFolder, nullptr, nullptr, resolver));
    windows.back()->show();
    if (!files.isEmpty()) windows.back()->OpenCaptureFile(files.at(i));
  }
  return windows;
}

}  // namespace qv
