#pragma once
// The adapters libpcap lists, with the link types each one offers when the
// helper may open it to ask.

#include <string>

#include "capture_helper/control_protocol.h"

namespace qv::helper {

struct AdapterListing {
  control::Adapters adapters;
  std::string error;  // libpcap's reason when it could not list at all
};

// openToAsk: open each kernel interface to read its link types (needs
// cap_net_raw; without it the lists stay empty).
AdapterListing ListAdapters(bool openToAsk);

// Empty when `name` is an adapter libpcap lists, else the message for the
// parent.
std::string CheckAdapterListed(const std::string& name);

}  // namespace qv::helper
