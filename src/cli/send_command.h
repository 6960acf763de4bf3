#pragma once
// quorvanet-cli --send: a packet file's frame put on an adapter.

#include <signal.h>

#include "cli/cli_options.h"

namespace qv {

// Sends and prints how many frames went out; SIGINT or SIGTERM (blocked in
// `stopSignals` by the caller) stops the job. The exit status.
int RunSendCommand(const CliOptions& options, const sigset_t& stopSignals);

}  // namespace qv
