#pragma once
// The helper's capabilities: it starts with cap_net_raw (a file capability,
// or root's full set), keeps only that until the adapter is open, then drops
// every capability for good.

#include <string>

namespace qv::helper {

// Leaves CAP_NET_RAW in the permitted and effective sets (when the process
// had it) and nothing else; clears the inheritable and ambient sets. Empty on
// success, else why not.
std::string KeepOnlyNetRaw();

// Drops every capability: the bounding set where the process may (root),
// then permitted, effective, inheritable and ambient; checks that nothing is
// left. Empty on success, else why not.
std::string DropAllCapabilities();

}  // namespace qv::helper
