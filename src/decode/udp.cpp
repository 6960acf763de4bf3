#include "decode/udp.h"

#include "decode/text_format.h"
#include "decode/vxlan.h"

namespace qv {

namespace {

constexpr std::uint32_t kHeaderLength = 8;

// Payloads that an optional decoder takes by their destination port.
struct UdpPortEntry {
  std::uint16_t port;
  OptionalDecoder optional;
  DecoderFn decoder;
};

constexpr UdpPortEntry kUdpPorts[] = {
    {4789, OptionalDecoder::Vxlan, DecodeVxlan},
};

// True when an optional decoder took (or a script first claimed) the payload.
bool DispatchByPort(PacketDecoder& d, std::uint32_t h) {
  const std::optional<std::uint16_t> dst = d.U16(h + 2);
  if (!dst) return false;
  for (const UdpPortEntry& e : kUdpPorts) {
    if (e.port == *dst && d.DispatchOptional(e.optional, e.decoder, kHeaderLength, "udp")) return true;
  }
  return false;
}

}  // namespace

void ReportTransportPorts(PacketDecoder& d, std::uint32_t h) {
  const std::optional<std::uint16_t> src = d.U16(h);
  const std::optional<std::uint16_t> dst = d.U16(h + 2);
  if (PacketSummary* row = d.summary) {
    if (src) {
      row->srcPort = *src;
      row->hasSrcPort = true;
    }
    if (dst) {
      row->dstPort = *dst;
      row->hasDstPort = true;
    }
  }
  if (!d.IsSummary() || !d.sample) return;
  if (!src || !dst) {
    // A conversation needs both ends; a half-captured header counts nowhere.
    d.sample.reset();
    return;
  }
  d.sample->destinationPort.clear();
  AppendDecimal(d.sample->destinationPort, *dst);
  d.sample->sourcePort.clear();
  AppendDecimal(d.sample->sourcePort, *src);
  d.HandOverSample();
}

void DecodeUdp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Udp);
  ReportTransportPorts(d, h);

  if (d.IsTree()) {
    const NodeId layer = d.AddLayerLine("UDP", h, h + kHeaderLength);
    if (const auto v = d.U16(h)) {
      d.AddLine(layer, Format("Source port: %u (0x%04x)", *v, *v), h, h + 2);
    }
    if (const auto v = d.U16(h + 2)) {
      d.AddLine(layer, Format("Destination port: %u (0x%04x)", *v, *v), h + 2, h + 4);
    }
    if (const auto v = d.U16(h + 4)) {
      d.AddLine(layer, Format("Length: %u bytes", *v), h + 4, h + 6);
    }
    // Shown as carried; never verified.
    if (const auto v = d.U16(h + 6)) {
      d.AddLine(layer, Format("Checksum: %u (0x%04x)", *v, *v), h + 6, h + 8);
    }
  }
  if (DispatchByPort(d, h)) return;
  // UDP names no inner protocol: the payload belongs to the scripts.
  d.FinishPayload(kHeaderLength, "udp");
}

}  // namespace qv
