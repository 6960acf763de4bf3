#include "capture/adapters.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pcap/pcap.h>

#include <cstring>

namespace qv {

AdapterList EnumerateAdapters() {
  AdapterList out;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_if_t* all = nullptr;
  if (pcap_findalldevs(&all, errbuf) != 0) {
    out.failed = true;
    out.error = errbuf;
    return out;
  }
  for (pcap_if_t* d = all; d != nullptr; d = d->next) {
    out.adapters.push_back({d->name != nullptr ? d->name : "", d->description != nullptr ? d->description : ""});
  }
  pcap_freealldevs(all);
  return out;
}

std::array<std::uint8_t, 6> FindAdapterAddress(const std::string& adapterName) {
  std::array<std::uint8_t, 6> address{};
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return address;
  // Linux names adapters uniquely and gives them no description, so the
  // interface is matched by its exact name.
  for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_PACKET || i->ifa_name == nullptr) continue;
    if (adapterName != i->ifa_name) continue;
    const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
    if (ll->sll_halen == 6) std::memcpy(address.data(), ll->sll_addr, 6);
    break;
  }
  freeifaddrs(list);
  return address;
}

}  // namespace qv
