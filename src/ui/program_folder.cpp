#include "ui/program_folder.h"

#include <QCoreApplication>

#include <cstdlib>

namespace qv {

std::string ProgramFolder() {
  std::string folder;
  if (const char* home = std::getenv("QUORVANET_HOME"); home != nullptr && *home != '\0') {
    folder = home;
  } else {
    folder = QCoreApplication::applicationDirPath().toStdString();
  }
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace qv
