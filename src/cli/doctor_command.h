#pragma once
// quorvanet-cli --doctor: prints the capture-rights check.

#include <cstdio>

namespace qv {

// Writes the report to `out`; the exit status: 0 when at least one adapter
// can be opened for capturing, 1 otherwise.
int RunDoctorCommand(std::FILE* out);

}  // namespace qv
