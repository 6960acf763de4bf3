#include "capture/adapter_overview.h"

#include <pcap/pcap.h>

namespace qv {

namespace {

struct NonNetworkLinkType {
  int linkType;
  const char* what;
};
// Link types that libpcap offers for devices that are not network adapters.
constexpr NonNetworkLinkType kNonNetwork[] = {
    {231, "D-Bus messages"},
    {239, "netfilter log messages"},
    {254, "Bluetooth monitor events"},
    {201, "Bluetooth HCI packets"},
    {187, "Bluetooth HCI packets"},
    {189, "USB packets"},
    {220, "USB packets"},
    {253, "netlink messages"},
};

}  // namespace

std::string NonNetworkReason(const Adapter& adapter) {
  // The netfilter queue hands over IPv4 packets, but only those that firewall
  // rules send to it, and holds each one until it is given a verdict.
  if (adapter.name.rfind("nfqueue", 0) == 0) return "no network frames: packets queued by firewall rules";
  for (const NonNetworkLinkType& n : kNonNetwork) {
    if (n.linkType == adapter.linkType) return std::string("no network frames: ") + n.what;
  }
  return {};
}

std::string AdapterDetails(const Adapter& adapter) {
  if (std::string reason = NonNetworkReason(adapter); !reason.empty()) return reason;
  std::vector<std::string> parts;
  if (adapter.name == "any") parts.emplace_back("all interfaces (cooked headers)");
  parts.insert(parts.end(), adapter.addresses.begin(), adapter.addresses.end());
  if (adapter.flags & PCAP_IF_UP) parts.emplace_back("up");
  if (adapter.flags & PCAP_IF_RUNNING) parts.emplace_back("running");
  if (adapter.flags & PCAP_IF_LOOPBACK) parts.emplace_back("loopback");
  if (adapter.flags & PCAP_IF_WIRELESS) parts.emplace_back("wireless");
  std::string out;
  for (const std::string& p : parts) {
    if (!out.empty()) out += ", ";
    out += p;
  }
  return out;
}

std::vector<std::size_t> AdapterDisplayOrder(const std::vector<Adapter>& adapters) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    if (NonNetworkReason(adapters[i]).empty()) order.push_back(i);
  }
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    if (!NonNetworkReason(adapters[i]).empty()) order.push_back(i);
  }
  return order;
}

std::optional<std::size_t> PreselectedAdapter(const std::vector<Adapter>& adapters) {
  constexpr std::uint32_t kUpAndRunning = PCAP_IF_UP | PCAP_IF_RUNNING;
  for (const std::size_t i : AdapterDisplayOrder(adapters)) {
    const Adapter& a = adapters[i];
    if ((a.flags & kUpAndRunning) == kUpAndRunning && !(a.flags & PCAP_IF_LOOPBACK) && !a.addresses.empty() &&
        NonNetworkReason(a).empty()) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace qv
