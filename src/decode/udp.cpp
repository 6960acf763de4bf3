#include "decode/udp.h"

#include "decode/text_format.h"
#include "decode/vxlan.h"

namespace qv {

namespace {

constexpr std::uint32_t kHeaderLength = 8;

constexpr FieldInfo kUdp{"udp", "User Datagram Protocol", FieldType::Protocol};
constexpr FieldInfo kSrcPort{"udp.srcport", "Source Port", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kDstPort{"udp.dstport", "Destination Port", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kLength{"udp.length", "Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kChecksum{"udp.checksum", "Checksum", FieldType::UInt16, FieldBase::Hex};
constexpr const FieldInfo* kFields[] = {&kUdp, &kSrcPort, &kDstPort, &kLength, &kChecksum};
const FieldRegistration kRegistration(kFields);

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
    const NodeId layer = d.AddLayerLine(kUdp, "UDP", h, h + kHeaderLength);
    d.AddUint(layer, kSrcPort, h, "Source port: %u (0x%04x)");
    d.AddUint(layer, kDstPort, h + 2, "Destination port: %u (0x%04x)");
    d.AddUint(layer, kLength, h + 4, "Length: %u bytes");
    // Shown as carried; never verified.
    d.AddUint(layer, kChecksum, h + 6, "Checksum: %u (0x%04x)");
  }
  if (DispatchByPort(d, h)) return;
  // UDP names no inner protocol: the payload belongs to the scripts.
  d.FinishPayload(kHeaderLength, "udp");
}

}  // namespace qv
