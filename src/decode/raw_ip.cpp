#include "decode/raw_ip.h"

#include "decode/ipv4.h"
#include "decode/ipv6.h"
#include "decode/link_types.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// The link layer has no bytes of its own: its line carries no range, and the
// version line points at the nibble that chose the network decoder.
void DecodeRaw(PacketDecoder& d, bool ipv4Only) {
  d.offset = 0;
  d.parentItem = kRootNode;
  const NodeId layer = d.AddLayerLine("Raw IP");
  d.ReportProtocol(Protocol::RawIp);

  const std::optional<std::uint8_t> first = d.U8(0);
  if (!first) return;
  const unsigned version = *first >> 4;
  DecoderFn next = nullptr;
  const char* suffix = "";
  if (ipv4Only || version == 4) {
    next = DecodeIpv4;
    suffix = " - IPv4";
  } else if (version == 6) {
    next = DecodeIpv6;
    suffix = " - IPv6";
  }
  d.AddLine(layer, Format("IP version: %u%s", version, suffix), 0, 1);
  if (next != nullptr) d.Dispatch(next, 0);
  FinishLinkLayer(d, layer, 0);
}

}  // namespace

void DecodeRawIp(PacketDecoder& d) { DecodeRaw(d, false); }
void DecodeRawIpv4(PacketDecoder& d) { DecodeRaw(d, true); }

}  // namespace qv
