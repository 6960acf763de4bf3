#pragma once
// What the adapter list shows a user who chooses where to capture: which
// adapters carry network frames, their addresses and state, the order in
// which they are listed and the one offered first. Shared by the adapter
// dialog, the Options dialog and quorvanet-cli -D.

#include <optional>
#include <string>
#include <vector>

#include "capture/adapters.h"

namespace qv {

// Why an adapter carries no network frames ("no network frames: D-Bus
// messages"), judged by its link type; empty for a network adapter.
std::string NonNetworkReason(const Adapter& adapter);

// The third column: for "any" "all interfaces (cooked headers)", then the
// addresses and the words "up", "running", "loopback", "wireless" for its
// flags, joined by ", "; for an adapter without network frames its reason.
std::string AdapterDetails(const Adapter& adapter);

// The adapters' indexes in listing order: the network adapters in the
// library's order, then those without network frames.
std::vector<std::size_t> AdapterDisplayOrder(const std::vector<Adapter>& adapters);

// The adapter to offer first when none is remembered: the first in listing
// order that is up and running, is not a loopback and has an address.
std::optional<std::size_t> PreselectedAdapter(const std::vector<Adapter>& adapters);

}  // namespace qv
