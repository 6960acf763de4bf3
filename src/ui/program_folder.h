#pragma once
#include <string>

namespace qv {

// The folder of the running program with a trailing "/", or the folder named
// by QUORVANET_HOME (tests, read-only installations).
std::string ProgramFolder();

}  // namespace qv
