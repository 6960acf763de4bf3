#pragma once
// A live source on an adapter of another host: OpenSSH's ssh client runs the
// host's dumpcap (or tcpdump) writing to its standard output, and the stream
// is read as any other (stream_source.h). Authentication is the user's keys
// and agent: ssh runs in batch mode and never asks for a password.

#include <memory>

#include "capture/sources/live_source.h"
#include "capture/sources/source_address.h"

namespace qv {

std::unique_ptr<LiveSource> MakeRemoteSource(const RemoteTarget& target, const RemoteOptions& options);

}  // namespace qv
