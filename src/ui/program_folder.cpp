#include "ui/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdlib>

namespace qv {

namespace {
// From bin/ to the installed data folder, as the install rules lay it out.
const char* const kInstalledDataFolder = "../share/quorvanet";
}  // namespace

std::string ResolveProgramFolder(const char* home, const QString& executableFolder) {
  std::string folder;
  if (home != nullptr && *home != '\0') {
    folder = home;
  } else {
    const QFileInfo data(QDir(executableFolder).filePath(QString::fromLatin1(kInstalledDataFolder)));
    folder = (data.isDir() ? QDir::cleanPath(data.absoluteFilePath()) : executableFolder).toStdString();
  }
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string ProgramFolder() {
  return ResolveProgramFolder(std::getenv("QUORVANET_HOME"), QCoreApplication::applicationDirPath());
}

}  // namespace qv
