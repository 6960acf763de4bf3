#include "capture_helper/adapter_list.h"

#include <netinet/in.h>
#include <pcap/pcap.h>
#include <sys/socket.h>

#include <cstring>
#include <string_view>

namespace qv::helper {
namespace {

// libpcap's pseudo-devices whose opening does more than read the link type
// (a bus connection, a netlink group, a USB monitor): asked about never.
bool PseudoDevice(std::string_view name) {
  for (std::string_view prefix : {"dbus-", "bluetooth", "usbmon", "nflog", "nfqueue"}) {
    if (name.substr(0, prefix.size()) == prefix) return true;
  }
  return false;
}

// A netmask's prefix length: the count of its leading one bits.
std::uint8_t PrefixLength(const std::uint8_t* mask, std::size_t bytes) {
  std::uint8_t n = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      if (!(mask[i] & (1u << bit))) return n;
      ++n;
    }
  }
  return n;
}

std::vector<control::AdapterAddress> Addresses(const pcap_addr* list) {
  std::vector<control::AdapterAddress> out;
  for (const pcap_addr* a = list; a; a = a->next) {
    if (!a->addr) continue;
    control::AdapterAddress address;
    if (a->addr->sa_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(a->addr);
      address.family = AF_INET;
      std::memcpy(address.address.data(), &in->sin_addr, 4);
      address.prefixLength = 32;
      if (a->netmask && a->netmask->sa_family == AF_INET) {
        const auto* mask = reinterpret_cast<const sockaddr_in*>(a->netmask);
        address.prefixLength = PrefixLength(reinterpret_cast<const std::uint8_t*>(&mask->sin_addr), 4);
      }
    } else if (a->addr->sa_family == AF_INET6) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->addr);
      address.family = AF_INET6;
      std::memcpy(address.address.data(), &in6->sin6_addr, 16);
      address.prefixLength = 128;
      if (a->netmask && a->netmask->sa_family == AF_INET6) {
        const auto* mask = reinterpret_cast<const sockaddr_in6*>(a->netmask);
        address.prefixLength = PrefixLength(reinterpret_cast<const std::uint8_t*>(&mask->sin6_addr), 16);
      }
    } else {
      continue;
    }
    out.push_back(address);
  }
  return out;
}

std::vector<std::uint32_t> LinkTypes(const char* name) {
  std::vector<std::uint32_t> out;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_create(name, errbuf);
  if (!handle) return out;
  // Small: the ring is made and dropped only to ask.
  pcap_set_snaplen(handle, 64);
  pcap_set_buffer_size(handle, 65536);
  pcap_set_timeout(handle, 1);
  if (pcap_activate(handle) >= 0) {
    int* list = nullptr;
    const int count = pcap_list_datalinks(handle, &list);
    for (int i = 0; i < count && i < 256; ++i) out.push_back(static_cast<std::uint32_t>(list[i]));
    if (list) pcap_free_datalinks(list);
  }
  pcap_close(handle);
  return out;
}

}  // namespace

AdapterListing ListAdapters(bool openToAsk) {
  AdapterListing out;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_if_t* all = nullptr;
  if (pcap_findalldevs(&all, errbuf) != 0) {
    out.error = errbuf[0] ? errbuf : "libpcap could not list the adapters";
    return out;
  }
  for (const pcap_if_t* d = all; d; d = d->next) {
    if (!d->name || !d->name[0]) continue;
    control::AdapterEntry entry;
    entry.name = d->name;
    entry.description = d->description ? d->description : "";
    entry.flags = d->flags;
    if (openToAsk && !PseudoDevice(entry.name)) entry.linkTypes = LinkTypes(d->name);
    entry.addresses = Addresses(d->addresses);
    out.adapters.adapters.push_back(std::move(entry));
  }
  pcap_freealldevs(all);
  return out;
}

std::string CheckAdapterListed(const std::string& name) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_if_t* all = nullptr;
  if (pcap_findalldevs(&all, errbuf) != 0) {
    return std::string("Cannot list the adapters: ") + (errbuf[0] ? errbuf : "libpcap gave no reason");
  }
  bool found = false;
  for (const pcap_if_t* d = all; d && !found; d = d->next) found = d->name && name == d->name;
  pcap_freealldevs(all);
  if (found) return {};
  return "There is no adapter named \"" + name.substr(0, 80) + "\"";
}

}  // namespace qv::helper
