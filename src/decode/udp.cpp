#include "decode/udp.h"

#include <algorithm>

#include "decode/dhcp.h"
#include "decode/dhcpv6.h"
#include "decode/dns.h"
#include "decode/http.h"
#include "decode/ntp.h"
#include "decode/quic.h"
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

// Payloads that an optional decoder takes by a well-known port.
struct UdpPortEntry {
  std::uint16_t port;
  OptionalDecoder optional;
  DecoderFn decoder;
  // A tunnel carries whole packets: theirs is the conversation that counts.
  bool tunnel = false;
  // Only the destination port says so (a tunnel's source port is chosen
  // by hashing the inner packet); the others match on either side.
  bool destinationOnly = false;
};

constexpr UdpPortEntry kUdpPorts[] = {
    {4789, OptionalDecoder::Vxlan, DecodeVxlan, true, true},
    {53, OptionalDecoder::Dns, DecodeDns},
    {5353, OptionalDecoder::Dns, DecodeMdns},
    {5355, OptionalDecoder::Dns, DecodeLlmnr},
    {67, OptionalDecoder::Dhcp, DecodeDhcp},
    {68, OptionalDecoder::Dhcp, DecodeDhcp},
    {546, OptionalDecoder::Dhcpv6, DecodeDhcpv6},
    {547, OptionalDecoder::Dhcpv6, DecodeDhcpv6},
    {123, OptionalDecoder::Ntp, DecodeNtp},
    {443, OptionalDecoder::Quic, DecodeQuic},
    {1900, OptionalDecoder::Http, DecodeSsdp},
};

// The entry of a decoder that is on for the datagram's destination port, or
// else for its source port; null when there is none.
const UdpPortEntry* FindPortEntry(const PacketDecoder& d, std::uint32_t h) {
  const std::optional<std::uint16_t> src = d.U16(h);
  const std::optional<std::uint16_t> dst = d.U16(h + 2);
  for (const bool destination : {true, false}) {
    const std::optional<std::uint16_t> port = destination ? dst : src;
    if (!port) continue;
    for (const UdpPortEntry& e : kUdpPorts) {
      if (e.port == *port && (destination || !e.destinationOnly) && d.IsOn(e.optional)) return &e;
    }
  }
  return nullptr;
}

}  // namespace

void ReportTransportPorts(PacketDecoder& d, std::uint32_t h, bool handOver) {
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
  d.sample->destinationPort = *dst;
  d.sample->sourcePort = *src;
  if (handOver) {
    d.HandOverSample();
  } else {
    d.sample.reset();
  }
}

void DecodeUdp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Udp);
  const UdpPortEntry* entry = FindPortEntry(d, h);
  // A tunnel's own datagram is not a conversation of its own: the packet
  // inside it hands over its own, so a frame still counts once.
  ReportTransportPorts(d, h, entry == nullptr || !entry->tunnel);

  if (d.IsTree()) {
    const NodeId layer = d.AddLayerLine(kUdp, "UDP", h, h + kHeaderLength);
    d.AddUint(layer, kSrcPort, h, "Source port: %u (0x%04x)");
    d.AddUint(layer, kDstPort, h + 2, "Destination port: %u (0x%04x)");
    d.AddUint(layer, kLength, h + 4, "Length: %u bytes");
    // Shown as carried; never verified.
    d.AddUint(layer, kChecksum, h + 6, "Checksum: %u (0x%04x)");
  }
  // The decoders read the datagram as its length says, never the padding
  // of a short frame after it.
  std::uint32_t end = d.TransportPayloadEnd();
  if (const std::optional<std::uint16_t> length = d.U16(h + 4); length && *length >= kHeaderLength) {
    end = std::min(end, h + *length);
  }
  if (entry != nullptr && h + kHeaderLength < end &&
      d.DispatchOptional(entry->optional, entry->decoder, kHeaderLength, "udp", end)) {
    return;
  }
  // QUIC runs on any port; its long header says so by a known version.
  if (entry == nullptr && h + kHeaderLength < end && d.IsOn(OptionalDecoder::Quic) &&
      LooksLikeQuic(d, h + kHeaderLength) &&
      d.DispatchOptional(OptionalDecoder::Quic, DecodeQuic, kHeaderLength, "udp", end)) {
    return;
  }
  // UDP names no inner protocol: the payload belongs to the scripts.
  d.FinishPayload(kHeaderLength, "udp");
}

}  // namespace qv
