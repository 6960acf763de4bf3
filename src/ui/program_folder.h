#pragma once
#include <QString>
#include <string>

namespace qv {

// Where the program keeps its own files (the help page, the sample capture,
// the example scripts), with a trailing "/": the folder named by
// QUORVANET_HOME when it is set (tests, read-only installations); for an
// installed program, the data folder share/quorvanet beside its bin/ folder;
// otherwise the folder of the running program (a build folder).
std::string ProgramFolder();

// The same choice for a given QUORVANET_HOME value (null or empty: unset)
// and folder of the executable.
std::string ResolveProgramFolder(const char* home, const QString& executableFolder);

}  // namespace qv
