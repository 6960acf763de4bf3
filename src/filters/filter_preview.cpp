#include "filters/filter_preview.h"

#include "capture/pcap_handle.h"

namespace qv {

FilterCompile CompileOffline(const std::string& expression, int linkType, std::uint32_t netmask) {
  PcapHandle dead(pcap_open_dead(linkType, 65536));
  if (!dead) {
    FilterCompile out;
    out.error = "the capture library cannot compile for this link type";
    return out;
  }
  // The program no longer needs the handle once compiled.
  return CompileFilter(dead.get(), expression, true, netmask);
}

}  // namespace qv
