#pragma once
// The statistics at the end of a command-line run: the four layer lists,
// then the conversation table in the layout of the exported file (with the
// lines that say which names came from the traffic).

#include <cstdio>

#include "stats/session_statistics.h"

namespace qv {

void PrintStatistics(SessionStatistics& statistics, std::FILE* out);

}  // namespace qv
