#pragma once
// The capture mode: opens the adapter with cap_net_raw, drops every
// capability, sets the first filter, closes itself in the system-call
// allow-list, then reads frames into the pcapng file on fd 4 and tells the
// parent what is written, until Stop.

#include "capture_helper/arguments.h"

namespace qv::helper {

// The process's exit code. Messages go to controlFd; frames to outputFd.
int RunCapture(const Arguments& arguments, int controlFd, int outputFd);

}  // namespace qv::helper
