#pragma once
// What the helper may do here, for the program's doctor: whether it holds
// cap_net_raw, whether a packet socket opens, whether seccomp is there.

#include "capture_helper/control_protocol.h"

namespace qv::helper {

control::Rights ReportRights();

}  // namespace qv::helper
