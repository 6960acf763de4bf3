#include "capture/adapters.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <arpa/inet.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <pcap/pcap.h>

#include <cstring>

namespace qv {

namespace {

std::string AddressText(const sockaddr* address) {
  if (address == nullptr) return {};
  char text[INET6_ADDRSTRLEN] = {};
  if (address->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) return text;
  } else if (address->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
    if (inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text) != nullptr) return text;
  }
  return {};
}

}  // namespace

// The link type a capture on the adapter would carry, found without opening
// it (opening some pseudo-devices has effects of its own, and needs rights):
// libpcap's pseudo-devices by their names, kernel interfaces by their
// hardware type, mapped as libpcap maps them.
int GuessAdapterLinkType(const std::string& name) {
  struct Prefix {
    const char* prefix;
    int linkType;
  };
  static constexpr Prefix kPseudoDevices[] = {
      {"any", 113},   {"nflog", 239},        {"nfqueue", 228},
      {"dbus-", 231}, {"bluetooth-monitor", 254}, {"bluetooth", 201}, {"usbmon", 220},
  };
  for (const Prefix& p : kPseudoDevices) {
    if (name.rfind(p.prefix, 0) == 0) return p.linkType;
  }
  int linkType = -1;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return linkType;
  for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_PACKET || i->ifa_name == nullptr) continue;
    if (name != i->ifa_name) continue;
    switch (reinterpret_cast<const sockaddr_ll*>(i->ifa_addr)->sll_hatype) {
      case ARPHRD_ETHER:
      case ARPHRD_LOOPBACK:
        linkType = 1;
        break;
      case ARPHRD_NONE:  // tun devices
        linkType = 12;
        break;
      case ARPHRD_IEEE80211_RADIOTAP:
        linkType = 127;
        break;
      default:
        linkType = 113;  // libpcap falls back to cooked headers
        break;
    }
    break;
  }
  freeifaddrs(list);
  return linkType;
}

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
    Adapter a{d->name != nullptr ? d->name : "", d->description != nullptr ? d->description : ""};
    a.flags = d->flags;
    for (pcap_addr_t* address = d->addresses; address != nullptr; address = address->next) {
      if (std::string text = AddressText(address->addr); !text.empty()) a.addresses.push_back(std::move(text));
    }
    a.linkType = GuessAdapterLinkType(a.name);
    out.adapters.push_back(std::move(a));
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
