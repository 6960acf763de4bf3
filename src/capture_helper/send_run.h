#pragma once
// The send mode: opens the adapter with cap_net_raw, reads its MTU, drops
// every capability, closes itself in the system-call allow-list, then sends
// the bursts the parent asks for (SendFrames) with pcap_inject, one frame
// then one gap, until Stop.

#include "capture_helper/arguments.h"

namespace qv::helper {

int RunSend(const Arguments& arguments, int controlFd);

// The bytes of link-layer header the MTU does not count, by link type.
int LinkHeaderBytes(int linkType);

}  // namespace qv::helper
