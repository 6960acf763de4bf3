#include "decode/ipv6.h"

#include <algorithm>

#include "decode/gre.h"
#include "decode/icmpv6.h"
#include "decode/ipv4.h"
#include "decode/ipv6_ext.h"
#include "decode/tcp.h"
#include "decode/text_format.h"
#include "decode/udp.h"

namespace qv {

namespace {

constexpr std::uint32_t kHeaderLength = 40;

constexpr FieldInfo kProto{"ipv6", "Internet Protocol Version 6", FieldType::Protocol};
constexpr FieldInfo kVersion{"ipv6.version", "Version", FieldType::UInt8, FieldBase::Dec, 0xF0};
constexpr FieldInfo kTrafficClass{"ipv6.tclass", "Traffic Class", FieldType::UInt32, FieldBase::Hex, 0x0FF00000};
constexpr FieldInfo kDscp{"ipv6.tclass.dscp", "Differentiated Services Codepoint", FieldType::UInt32, FieldBase::Dec,
                          0x0FC00000};
constexpr FieldInfo kEcn{"ipv6.tclass.ecn", "Explicit Congestion Notification", FieldType::UInt32, FieldBase::Dec,
                         0x00300000};
constexpr FieldInfo kFlowLabel{"ipv6.flow", "Flow Label", FieldType::UInt24, FieldBase::Hex, 0x0FFFFF};
constexpr FieldInfo kPayloadLength{"ipv6.plen", "Payload Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kNextHeader{"ipv6.nxt", "Next Header", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kHopLimit{"ipv6.hlim", "Hop Limit", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kSource{"ipv6.src", "Source Address", FieldType::Ipv6};
constexpr FieldInfo kDestination{"ipv6.dst", "Destination Address", FieldType::Ipv6};
// The bytes after the header chain that nothing decodes: a later fragment's
// share of its packet, or what follows "no next header".
constexpr FieldInfo kData{"ipv6.data", "Data", FieldType::Bytes};
constexpr const FieldInfo* kFields[] = {
    &kProto, &kVersion, &kTrafficClass, &kDscp, &kEcn, &kFlowLabel, &kPayloadLength, &kNextHeader,
    &kHopLimit, &kSource, &kDestination, &kData,
};
const FieldRegistration kRegistration(kFields);

struct UpperLayer {
  std::uint8_t nextHeader;
  DecoderFn decoder;
  // The optional decoder that knows this protocol; Count_ when it is always on.
  OptionalDecoder optional = OptionalDecoder::Count_;
};

constexpr UpperLayer kUpperLayers[] = {
    {4, DecodeIpv4},
    {6, DecodeTcp},
    {17, DecodeUdp},
    {41, DecodeIpv6},
    {47, DecodeGre, OptionalDecoder::Gre},
    {50, DecodeEsp},
    {58, DecodeIcmpv6, OptionalDecoder::Icmpv6},
};

const char* DscpName(std::uint32_t dscp) {
  switch (dscp) {
    case 0: return "CS0";
    case 1: return "LE";
    case 8: return "CS1";
    case 10: return "AF11";
    case 12: return "AF12";
    case 14: return "AF13";
    case 16: return "CS2";
    case 18: return "AF21";
    case 20: return "AF22";
    case 22: return "AF23";
    case 24: return "CS3";
    case 26: return "AF31";
    case 28: return "AF32";
    case 30: return "AF33";
    case 32: return "CS4";
    case 34: return "AF41";
    case 36: return "AF42";
    case 38: return "AF43";
    case 40: return "CS5";
    case 44: return "VOICE-ADMIT";
    case 46: return "EF";
    case 48: return "CS6";
    case 56: return "CS7";
    default: return nullptr;
  }
}

const char* const kEcnNames[4] = {"Not-ECT", "ECT(1)", "ECT(0)", "CE"};

std::string AddressText(const char* label, const std::uint8_t* address) {
  std::string text = label;
  text += ": ";
  AppendIpv6(text, address);
  return text;
}

// Like IPv4, each IPv6 header (a tunnel's inner one last) writes both
// address fields, so a row never mixes the addresses of two headers, and
// starts the conversation sample that TCP or UDP completes.
void ReportAddresses(PacketDecoder& d, std::uint32_t h, const std::uint8_t* src, const std::uint8_t* dst) {
  if (PacketSummary* row = d.summary) {
    row->ipv6 = true;
    row->hasSrcIp = src != nullptr;
    if (src != nullptr) std::copy(src, src + 16, row->srcIp.begin());
    row->hasDstIp = dst != nullptr;
    if (dst != nullptr) std::copy(dst, dst + 16, row->dstIp.begin());
  }
  d.ipSource = src;
  d.ipDestination = dst;
  d.ipIsV6 = true;
  const std::optional<std::uint16_t> payloadLength = d.U16(h + 4);
  // A payload length of 0 is a jumbogram's or an offload's: the end is not known.
  d.ipDatagramEnd = payloadLength && *payloadLength != 0 ? h + kHeaderLength + *payloadLength : 0;
  if (!d.IsSummary()) return;
  if (src == nullptr || dst == nullptr || !payloadLength) {
    d.sample.reset();
    return;
  }
  IpConversationSample& s = d.sample.emplace();
  s.ipv6 = true;
  std::copy(src, src + 16, s.source6.begin());
  std::copy(dst, dst + 16, s.destination6.begin());
  s.totalLength = std::uint64_t{*payloadLength} + kHeaderLength;
}

NodeId AddHeaderLines(PacketDecoder& d, std::uint32_t h, const std::uint8_t* src, const std::uint8_t* dst) {
  const NodeId layer = d.AddLayerLine(kProto, "IPv6", h, h + kHeaderLength);
  d.AddUint(layer, kVersion, h, "Version: %u");
  const FieldRead<std::uint32_t> trafficClass = d.AddUint(layer, kTrafficClass, h, "Traffic class: 0x%02x");
  d.AddUint(trafficClass.line, kDscp, h, [](std::uint32_t v) {
    const char* name = DscpName(v);
    return name != nullptr ? Format("DSCP: %u (%s)", v, name) : Format("DSCP: %u", v);
  });
  d.AddUint(trafficClass.line, kEcn, h, [](std::uint32_t v) { return Format("ECN: %u (%s)", v, kEcnNames[v & 3]); });
  d.AddUint(layer, kFlowLabel, h + 1, "Flow label: 0x%05x");
  d.AddUint(layer, kPayloadLength, h + 4, "Payload length: %u bytes");
  d.AddUint(layer, kNextHeader, h + 6, Ipv6NextHeaderText);
  d.AddUint(layer, kHopLimit, h + 7, "Hop limit: %u");
  if (src != nullptr) d.AddAddress(layer, kSource, h + 8, AddressText("Source address", src));
  if (dst != nullptr) d.AddAddress(layer, kDestination, h + 24, AddressText("Destination address", dst));
  return layer;
}

// The protocol after the chain goes to its decoder, when it has one that is
// on; stored scripts keep first claim on the payloads of optional decoders.
void DispatchUpperLayer(PacketDecoder& d, std::uint8_t nextHeader, std::uint32_t chainLength) {
  for (const UpperLayer& e : kUpperLayers) {
    if (e.nextHeader != nextHeader) continue;
    if (e.optional == OptionalDecoder::Count_) {
      d.Dispatch(e.decoder, d.offset + chainLength);
    } else {
      d.DispatchOptional(e.optional, e.decoder, chainLength, "ipv6");
    }
    return;
  }
}

// Tree mode: the captured bytes from `at` on as one data line of their own.
void AddData(PacketDecoder& d, std::uint32_t at) {
  const std::uint32_t length = d.Available(at);
  if (!d.IsTree() || length == 0) return;
  d.AddLayerStart(at);
  d.AddBytes(d.parentItem, kData, at, length, Format("Data (%u bytes)", length));
}

}  // namespace

void DecodeIpv6(PacketDecoder& d) {
  if (!d.IsOn(OptionalDecoder::Ipv6)) {
    // The classic decoders only recognise and count IPv6: one bare layer line
    // without a range, no row texts, no payload dispatch and no tail. The
    // Ethernet tail sees this line as a next sibling and leaves the payload
    // alone.
    d.BeginLayer(Protocol::Ipv6Recognised);
    d.AddLayerLine("IPv6");
    return;
  }

  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Ipv6);
  const std::uint8_t* src = d.Bytes(h + 8, 16);
  const std::uint8_t* dst = d.Bytes(h + 24, 16);
  // The header quoted in an ICMPv6 error is not traffic of its own.
  if ((d.flags & QuotedDatagram) == 0) ReportAddresses(d, h, src, dst);

  const NodeId layer = d.IsTree() ? AddHeaderLines(d, h, src, dst) : kNoNode;
  const std::optional<std::uint8_t> next = d.U8(h + 6);
  const Ipv6Chain chain =
      next ? WalkIpv6ExtensionHeaders(d, layer, h, *next) : Ipv6Chain{Ipv6ChainEnd::Stopped, 0, kHeaderLength};
  // The layer line covers the whole header chain.
  d.SetRange(layer, h, h + chain.length);

  switch (chain.end) {
    case Ipv6ChainEnd::Upper: DispatchUpperLayer(d, chain.next, chain.length); break;
    case Ipv6ChainEnd::Data: AddData(d, h + chain.length); break;
    case Ipv6ChainEnd::Stopped: break;
  }
  // The payload length bounds nothing: what was captured after the chain and
  // not decoded goes to the scripts, and unclaimed, is marked unsupported.
  d.FinishLayer(layer, chain.length, "ipv6");
}

}  // namespace qv
