#pragma once
// Compiling an expression without any adapter open: on a dead handle of the
// given link type. Serves the live preview on the Filters page and the list
// filter, which runs compiled programs over buffered frames.

#include <cstdint>
#include <string>

#include "capture/capture_filter.h"

namespace qv {

// The two mistakes users make most with the filter language.
inline constexpr const char* kFilterTrapsWarning =
    "On a network with VLAN tags, \"ip\" and \"port\" match only untagged frames unless the expression says "
    "\"vlan\" (or \"Match VLAN-tagged frames too\" is ticked); on the adapter \"any\", link-level terms such as \"ether host\" do not apply.";

// PCAP_NETMASK_UNKNOWN where the netmask is not known (as on "any").
FilterCompile CompileOffline(const std::string& expression, int linkType, std::uint32_t netmask);

}  // namespace qv
