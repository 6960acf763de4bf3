#include "decode/link_types.h"

#include <pcap/pcap.h>

#include "decode/bsd_loopback.h"
#include "decode/ethernet.h"
#include "decode/linux_cooked.h"
#include "decode/other_link_type.h"
#include "decode/raw_ip.h"

namespace qv {

DecoderFn LinkLayerDecoder(int linkType) {
  switch (linkType) {
    case kLinkTypeEthernet:
      return DecodeEthernet;
    case kLinkTypeLinuxSll:
      return DecodeLinuxCooked;
    case kLinkTypeLinuxSll2:
      return DecodeLinuxCookedV2;
    case kLinkTypeRaw:
    case kLinkTypeRawBsdOs:
    case kLinkTypeRawBsd:
      return DecodeRawIp;
    case kLinkTypeIpv4:
      return DecodeRawIpv4;
    case kLinkTypeNull:
      return DecodeNullLoopback;
    case kLinkTypeLoop:
      return DecodeLoopLoopback;
    default:
      return DecodeOtherLinkType;
  }
}

std::string LinkTypeDescription(int linkType) {
  const char* description = pcap_datalink_val_to_description(linkType);
  return description != nullptr ? description : "unknown";
}

void DispatchPayload(PacketDecoder& d, DecoderFn next, std::uint32_t headerLength) {
  if (next != nullptr) {
    d.Dispatch(next, headerLength);
    return;
  }
  const std::uint32_t saved = d.offset;
  d.offset = headerLength;
  d.MarkUnsupported();
  d.offset = saved;
}

void FinishLinkLayer(PacketDecoder& d, NodeId layerLine, std::uint32_t headerLength) {
  if (!d.IsTree() || layerLine == kNoNode) return;
  if ((*d.Tree())[layerLine].nextSibling != kNoNode) return;
  d.offset += headerLength;
  d.MarkUnsupported();
}

}  // namespace qv
