#pragma once
// The network adapters the capture library can open, and the hardware
// address of one of them.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {


struct Adapter {
  std::string name;
  std::string description;
  std::vector<std::string> addresses;  // its IPv4 and IPv6 addresses, as text
  std::uint32_t flags = 0;             // the capture library's PCAP_IF_* flags
  int linkType = -1;                   // what a capture on it carries; -1 not known
};

struct AdapterList {
  std::vector<Adapter> adapters;
  std::string error;  // the library's text when listing failed
  bool failed = false;
};

// Lists the adapters through pcap_findalldevs (and releases its list), with
// their addresses, flags and link types.
AdapterList EnumerateAdapters();

// The link type a capture on the adapter would carry, found without opening
// it (opening needs rights, and some pseudo-devices have effects of their
// own); -1 when not known.
int GuessAdapterLinkType(const std::string& name);

// The hardware address of the interface with this name, all zero when the
// system knows none.
std::array<std::uint8_t, 6> FindAdapterAddress(const std::string& adapterName);

}  // namespace qv
