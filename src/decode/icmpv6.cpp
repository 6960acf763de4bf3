#include "decode/icmpv6.h"

#include <algorithm>

#include "decode/ipv6.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// --- the fields ---

constexpr FieldInfo kProto{"icmpv6", "Internet Control Message Protocol v6", FieldType::Protocol};
constexpr FieldInfo kType{"icmpv6.type", "Type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kCode{"icmpv6.code", "Code", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kChecksum{"icmpv6.checksum", "Checksum", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kReserved{"icmpv6.reserved", "Reserved", FieldType::Bytes};
constexpr FieldInfo kData{"icmpv6.data", "Data", FieldType::Bytes};
constexpr FieldInfo kMtu{"icmpv6.mtu", "MTU", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kPointer{"icmpv6.pointer", "Pointer", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kEchoId{"icmpv6.echo.identifier", "Identifier", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kEchoSeq{"icmpv6.echo.sequence_number", "Sequence", FieldType::UInt16, FieldBase::Dec};

// Neighbour discovery.
constexpr FieldInfo kRaHopLimit{"icmpv6.nd.ra.cur_hop_limit", "Cur hop limit", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kRaFlags{"icmpv6.nd.ra.flag", "Flags", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kRaFlagM{"icmpv6.nd.ra.flag.m", "Managed address configuration", FieldType::Boolean,
                             FieldBase::None, 0x80};
constexpr FieldInfo kRaFlagO{"icmpv6.nd.ra.flag.o", "Other configuration", FieldType::Boolean, FieldBase::None, 0x40};
constexpr FieldInfo kRaFlagH{"icmpv6.nd.ra.flag.h", "Home agent", FieldType::Boolean, FieldBase::None, 0x20};
constexpr FieldInfo kRaFlagPrf{"icmpv6.nd.ra.flag.prf", "Default router preference", FieldType::UInt8, FieldBase::Dec,
                               0x18};
constexpr FieldInfo kRaFlagP{"icmpv6.nd.ra.flag.p", "Proxy", FieldType::Boolean, FieldBase::None, 0x04};
constexpr FieldInfo kRaFlagRsv{"icmpv6.nd.ra.flag.rsv", "Reserved", FieldType::UInt8, FieldBase::Dec, 0x03};
constexpr FieldInfo kRaLifetime{"icmpv6.nd.ra.router_lifetime", "Router lifetime (s)", FieldType::UInt16,
                                FieldBase::Dec};
constexpr FieldInfo kRaReachable{"icmpv6.nd.ra.reachable_time", "Reachable time (ms)", FieldType::UInt32,
                                 FieldBase::Dec};
constexpr FieldInfo kRaRetrans{"icmpv6.nd.ra.retrans_timer", "Retrans timer (ms)", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kNsTarget{"icmpv6.nd.ns.target_address", "Target Address", FieldType::Ipv6};
constexpr FieldInfo kNaFlags{"icmpv6.nd.na.flag", "Flags", FieldType::UInt32, FieldBase::Hex};
constexpr FieldInfo kNaFlagR{"icmpv6.nd.na.flag.r", "Router", FieldType::Boolean, FieldBase::None, 0x80000000u, 4};
constexpr FieldInfo kNaFlagS{"icmpv6.nd.na.flag.s", "Solicited", FieldType::Boolean, FieldBase::None, 0x40000000u, 4};
constexpr FieldInfo kNaFlagO{"icmpv6.nd.na.flag.o", "Override", FieldType::Boolean, FieldBase::None, 0x20000000u, 4};
constexpr FieldInfo kNaFlagRsv{"icmpv6.nd.na.flag.rsv", "Reserved", FieldType::UInt32, FieldBase::Dec, 0x1fffffffu};
constexpr FieldInfo kNaTarget{"icmpv6.nd.na.target_address", "Target Address", FieldType::Ipv6};
constexpr FieldInfo kRdTarget{"icmpv6.nd.rd.target_address", "Target Address", FieldType::Ipv6};
constexpr FieldInfo kRdDestination{"icmpv6.rd.na.destination_address", "Destination Address", FieldType::Ipv6};

// Neighbour discovery options.
constexpr FieldInfo kOpt{"icmpv6.opt", "ICMPv6 Option", FieldType::None};
constexpr FieldInfo kOptType{"icmpv6.opt.type", "Type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kOptLength{"icmpv6.opt.length", "Length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kOptReserved{"icmpv6.opt.reserved", "Reserved", FieldType::None};
// An Ethernet address, the usual case, is shown under the option's own name;
// an address of any other length as bytes.
constexpr FieldInfo kOptLinkAddr{"icmpv6.opt.linkaddr", "Link-layer address", FieldType::Bytes};
constexpr FieldInfo kOptSrcLinkAddr{"icmpv6.opt.src_linkaddr", "Source Link-layer address", FieldType::Mac};
constexpr FieldInfo kOptTargetLinkAddr{"icmpv6.opt.target_linkaddr", "Target Link-layer address", FieldType::Mac};
constexpr FieldInfo kPrefixLength{"icmpv6.opt.prefix.length", "Prefix Length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kPrefixFlags{"icmpv6.opt.prefix.flag", "Flag", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kPrefixFlagL{"icmpv6.opt.prefix.flag.l", "On-link flag (L)", FieldType::Boolean, FieldBase::None,
                                 0x80};
constexpr FieldInfo kPrefixFlagA{"icmpv6.opt.prefix.flag.a", "Autonomous address-configuration flag (A)",
                                 FieldType::Boolean, FieldBase::None, 0x40};
constexpr FieldInfo kPrefixFlagR{"icmpv6.opt.prefix.flag.r", "Router address flag (R)", FieldType::Boolean,
                                 FieldBase::None, 0x20};
constexpr FieldInfo kPrefixFlagRsv{"icmpv6.opt.prefix.flag.reserved", "Reserved", FieldType::UInt8, FieldBase::Dec,
                                   0x1f};
constexpr FieldInfo kPrefixValid{"icmpv6.opt.prefix.valid_lifetime", "Valid Lifetime", FieldType::UInt32,
                                 FieldBase::Dec};
constexpr FieldInfo kPrefixPreferred{"icmpv6.opt.prefix.preferred_lifetime", "Preferred Lifetime", FieldType::UInt32,
                                     FieldBase::Dec};
constexpr FieldInfo kPrefix{"icmpv6.opt.prefix", "Prefix", FieldType::Ipv6};
constexpr FieldInfo kRedirected{"icmpv6.opt.redirected_packet", "Redirected Packet", FieldType::None};
constexpr FieldInfo kOptMtu{"icmpv6.opt.mtu", "MTU", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kRdnssLifetime{"icmpv6.opt.rdnss.lifetime", "Lifetime", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kRdnss{"icmpv6.opt.rdnss", "Recursive DNS Servers", FieldType::Ipv6};

// Multicast listener discovery.
constexpr FieldInfo kMldMaxDelay{"icmpv6.mld.maximum_response_delay", "Maximum Response Delay [ms]", FieldType::UInt16,
                                 FieldBase::Dec};
constexpr FieldInfo kMldMaxCode{"icmpv6.mld.maximum_response_code", "Maximum Response Code", FieldType::UInt16,
                                FieldBase::Dec};
constexpr FieldInfo kMldAddress{"icmpv6.mld.multicast_address", "Multicast Address", FieldType::Ipv6};
constexpr FieldInfo kMldFlags{"icmpv6.mld.flag", "Flags", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kMldFlagRsv{"icmpv6.mld.flag.reserved", "Reserved", FieldType::UInt8, FieldBase::Dec, 0xf0};
constexpr FieldInfo kMldFlagS{"icmpv6.mld.flag.s", "Suppress router-side processing (S)", FieldType::Boolean,
                              FieldBase::None, 0x08};
constexpr FieldInfo kMldFlagQrv{"icmpv6.mld.flag.qrv", "Querier's robustness variable (QRV)", FieldType::UInt8,
                                FieldBase::Dec, 0x07};
constexpr FieldInfo kMldQqic{"icmpv6.mld.qqi", "QQIC (Querier's Query Interval Code)", FieldType::UInt8,
                             FieldBase::Dec};
constexpr FieldInfo kMldSources{"icmpv6.mld.nb_sources", "Number of Sources", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kMldSource{"icmpv6.mld.source_address", "Source Address", FieldType::Ipv6};
constexpr FieldInfo kMldrRecords{"icmpv6.mldr.nb_mcast_records", "Number of Multicast Address Records",
                                 FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kMar{"icmpv6.mldr.mar", "Multicast Address Record", FieldType::None};
constexpr FieldInfo kMarType{"icmpv6.mldr.mar.record_type", "Record Type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kMarAuxLength{"icmpv6.mldr.mar.aux_data_len", "Aux Data Len", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kMarSources{"icmpv6.mldr.mar.nb_sources", "Number of Sources", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kMarAddress{"icmpv6.mldr.mar.multicast_address", "Multicast Address", FieldType::Ipv6};
constexpr FieldInfo kMarSource{"icmpv6.mldr.mar.source_address", "Source Address", FieldType::Ipv6};
constexpr FieldInfo kMarAux{"icmpv6.mldr.mar.auxiliary_data", "Auxiliary Data", FieldType::Bytes};

constexpr const FieldInfo* kFields[] = {
    &kProto, &kType, &kCode, &kChecksum, &kReserved, &kData, &kMtu, &kPointer, &kEchoId, &kEchoSeq,
    &kRaHopLimit, &kRaFlags, &kRaFlagM, &kRaFlagO, &kRaFlagH, &kRaFlagPrf, &kRaFlagP, &kRaFlagRsv, &kRaLifetime,
    &kRaReachable, &kRaRetrans, &kNsTarget, &kNaFlags, &kNaFlagR, &kNaFlagS, &kNaFlagO, &kNaFlagRsv, &kNaTarget,
    &kRdTarget, &kRdDestination,
    &kOpt, &kOptType, &kOptLength, &kOptReserved, &kOptLinkAddr, &kOptSrcLinkAddr, &kOptTargetLinkAddr,
    &kPrefixLength, &kPrefixFlags, &kPrefixFlagL, &kPrefixFlagA, &kPrefixFlagR, &kPrefixFlagRsv, &kPrefixValid,
    &kPrefixPreferred, &kPrefix, &kRedirected, &kOptMtu, &kRdnssLifetime, &kRdnss,
    &kMldMaxDelay, &kMldMaxCode, &kMldAddress, &kMldFlags, &kMldFlagRsv, &kMldFlagS, &kMldFlagQrv, &kMldQqic,
    &kMldSources, &kMldSource, &kMldrRecords, &kMar, &kMarType, &kMarAuxLength, &kMarSources, &kMarAddress,
    &kMarSource, &kMarAux,
};
const FieldRegistration kRegistration(kFields);

// --- the messages ---

// Type, code, checksum and the four bytes whose meaning depends on the type.
constexpr std::uint32_t kHeaderLength = 8;
// A version 1 listener message; a query of at least 28 bytes is version 2.
constexpr std::uint32_t kMldv1Length = 24;
constexpr std::uint32_t kMldv2QueryLength = 28;
// Each multicast address record: type, aux data length, number of sources
// and the address, before its sources and auxiliary data.
constexpr std::uint32_t kRecordHeaderLength = 20;
constexpr std::uint32_t kIpv6AddressLength = 16;

enum MessageType : std::uint8_t {
  kDestinationUnreachable = 1,
  kPacketTooBig = 2,
  kTimeExceeded = 3,
  kParameterProblem = 4,
  kEchoRequest = 128,
  kEchoReply = 129,
  kListenerQuery = 130,
  kListenerReport = 131,
  kListenerDone = 132,
  kRouterSolicitation = 133,
  kRouterAdvertisement = 134,
  kNeighborSolicitation = 135,
  kNeighborAdvertisement = 136,
  kRedirect = 137,
  kListenerReportV2 = 143,
};

enum OptionType : std::uint8_t {
  kSourceLinkLayerAddress = 1,
  kTargetLinkLayerAddress = 2,
  kPrefixInformation = 3,
  kRedirectedHeader = 4,
  kMtuOption = 5,
  kRecursiveDnsServer = 25,
};

const char* TypeName(std::uint32_t type) {
  switch (type) {
    case 1: return "Destination Unreachable";
    case 2: return "Packet Too Big";
    case 3: return "Time Exceeded";
    case 4: return "Parameter Problem";
    case 100:
    case 101:
    case 200:
    case 201: return "Private experimentation";
    case 127:
    case 255: return "Reserved for expansion";
    case 128: return "Echo Request";
    case 129: return "Echo Reply";
    case 130: return "Multicast Listener Query";
    case 131: return "Multicast Listener Report";
    case 132: return "Multicast Listener Done";
    case 133: return "Router Solicitation";
    case 134: return "Router Advertisement";
    case 135: return "Neighbor Solicitation";
    case 136: return "Neighbor Advertisement";
    case 137: return "Redirect";
    case 138: return "Router Renumbering";
    case 139: return "Node Information Query";
    case 140: return "Node Information Response";
    case 141: return "Inverse Neighbor Discovery Solicitation";
    case 142: return "Inverse Neighbor Discovery Advertisement";
    case 143: return "Version 2 Multicast Listener Report";
    case 144: return "Home Agent Address Discovery Request";
    case 145: return "Home Agent Address Discovery Reply";
    case 146: return "Mobile Prefix Solicitation";
    case 147: return "Mobile Prefix Advertisement";
    case 148: return "Certification Path Solicitation";
    case 149: return "Certification Path Advertisement";
    case 151: return "Multicast Router Advertisement";
    case 152: return "Multicast Router Solicitation";
    case 153: return "Multicast Router Termination";
    case 155: return "RPL Control Message";
    default: return "Unknown";
  }
}

// Null when the code has no name for this type.
const char* CodeName(std::uint8_t type, std::uint32_t code) {
  switch (type) {
    case kDestinationUnreachable:
      switch (code) {
        case 0: return "No route to destination";
        case 1: return "Communication with destination administratively prohibited";
        case 2: return "Beyond scope of source address";
        case 3: return "Address unreachable";
        case 4: return "Port unreachable";
        case 5: return "Source address failed ingress/egress policy";
        case 6: return "Reject route to destination";
        case 7: return "Error in source routing header";
        default: return nullptr;
      }
    case kTimeExceeded:
      switch (code) {
        case 0: return "Hop limit exceeded in transit";
        case 1: return "Fragment reassembly time exceeded";
        default: return nullptr;
      }
    case kParameterProblem:
      switch (code) {
        case 0: return "Erroneous header field encountered";
        case 1: return "Unrecognized Next Header type encountered";
        case 2: return "Unrecognized IPv6 option encountered";
        case 3: return "IPv6 first fragment has incomplete IPv6 header chain";
        default: return nullptr;
      }
    default: return nullptr;
  }
}

const char* OptionName(std::uint32_t type) {
  switch (type) {
    case 1: return "Source Link-Layer Address";
    case 2: return "Target Link-Layer Address";
    case 3: return "Prefix Information";
    case 4: return "Redirected Header";
    case 5: return "MTU";
    case 7: return "Advertisement Interval";
    case 8: return "Home Agent Information";
    case 9: return "Source Address List";
    case 10: return "Target Address List";
    case 11: return "CGA";
    case 12: return "RSA Signature";
    case 13: return "Timestamp";
    case 14: return "Nonce";
    case 24: return "Route Information";
    case 25: return "Recursive DNS Server";
    case 31: return "DNS Search List";
    case 37: return "Captive-Portal";
    case 38: return "PREF64";
    default: return "Unknown";
  }
}

const char* RecordTypeName(std::uint32_t type) {
  switch (type) {
    case 1: return "Mode is include";
    case 2: return "Mode is exclude";
    case 3: return "Change to include mode";
    case 4: return "Change to exclude mode";
    case 5: return "Allow new sources";
    case 6: return "Block old sources";
    default: return "Unknown";
  }
}

const char* PreferenceName(std::uint32_t prf) {
  switch (prf) {
    case 0: return "Medium";
    case 1: return "High";
    case 3: return "Low";
    default: return "Reserved";
  }
}

// --- line texts ---

// The field's bits of its container, the others as dots: "...0 1...".
std::string BitPattern(const FieldInfo& f, std::uint32_t value) {
  const unsigned bits = FieldWidth(f) * 8;
  unsigned shift = 0;
  while (shift < 63 && ((f.mask >> shift) & 1) == 0) ++shift;
  const std::uint64_t placed = static_cast<std::uint64_t>(value) << shift;
  std::string out;
  for (unsigned i = bits; i-- > 0;) {
    const std::uint64_t bit = std::uint64_t{1} << i;
    out += (f.mask & bit) == 0 ? '.' : (placed & bit) != 0 ? '1' : '0';
    if (i % 4 == 0 && i != 0) out += ' ';
  }
  return out;
}

std::string Ipv6Text(const char* label, const std::uint8_t* a) {
  std::string out = label;
  out += ": ";
  AppendIpv6(out, a);
  return out;
}

std::string ColonHex(const std::uint8_t* bytes, std::uint32_t count) {
  std::string out;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (i != 0) out += ':';
    out += Format("%02x", bytes[i]);
  }
  return out;
}

// "600 s", or "infinity" for the all-ones lifetime.
std::string Lifetime(std::uint32_t seconds) {
  return seconds == 0xFFFFFFFFu ? std::string("infinity") : Format("%u s", seconds);
}

// --- field lines ---

// A one-bit flag: "..1. .... = Home agent: Set".
void AddFlag(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at) {
  d.AddUint(parent, f, at, [&f](std::uint32_t v) {
    return BitPattern(f, v) + " = " + std::string(f.name) + (v != 0 ? ": Set" : ": Not set");
  });
}

// A group of bits shown as its number: ".... .010 = QRV: 2".
void AddBits(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at) {
  d.AddUint(parent, f, at,
            [&f](std::uint32_t v) { return BitPattern(f, v) + " = " + std::string(f.name) + Format(": %u", v); });
}

void AddIpv6(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at, const char* label) {
  if (const std::uint8_t* a = d.Bytes(at, kIpv6AddressLength)) d.AddAddress(parent, f, at, Ipv6Text(label, a));
}

// Reserved or unused bytes, shown by name only; nothing unless all were captured.
void AddReserved(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at, std::uint32_t length,
                 const char* label) {
  if (d.Has(at, length)) d.AddFieldLine(parent, f, label, at, at + length);
}

// The bytes from `at` to the captured end as one data line.
void AddDataToEnd(PacketDecoder& d, NodeId parent, std::uint32_t at) {
  const std::uint32_t length = d.Available(at);
  if (length != 0) d.AddBytes(parent, kData, at, length, Format("Data (%u bytes)", length));
}

// Maximum response code of a version 2 query, in milliseconds: small codes
// are the delay itself, larger ones a mantissa and exponent.
std::uint32_t MaximumResponseDelay(std::uint32_t code) {
  if (code < 0x8000) return code;
  return ((code & 0x0FFFu) | 0x1000u) << (((code >> 12) & 0x7u) + 3);
}

// Querier's query interval code, in seconds, encoded the same way in a byte.
std::uint32_t QueryInterval(std::uint32_t code) {
  if (code < 0x80) return code;
  return ((code & 0x0Fu) | 0x10u) << (((code >> 4) & 0x7u) + 3);
}

// The bytes of one option or record: its declared length, cut at the
// captured end. Its fields are read only when they lie wholly inside it, so
// a short option never shows the bytes of the next one as its own.
struct Area {
  std::uint32_t start;
  std::uint32_t end;

  bool Holds(std::uint32_t at, std::uint32_t width) const {
    return at >= start && static_cast<std::uint64_t>(at) + width <= end;
  }
};

Area AreaOf(const PacketDecoder& d, std::uint32_t start, std::uint64_t length) {
  return {start, start + static_cast<std::uint32_t>(std::min<std::uint64_t>(length, d.Available(start)))};
}

// --- options ---

void AddLinkLayerAddress(PacketDecoder& d, NodeId option, const Area& a, std::uint8_t type, std::uint32_t declared) {
  const std::uint32_t at = a.start + 2;
  if (declared == 8) {
    const FieldInfo& f = type == kSourceLinkLayerAddress ? kOptSrcLinkAddr : kOptTargetLinkAddr;
    if (a.Holds(at, 6)) d.AddAddress(option, f, at, "Link-layer address: " + ColonHex(d.frame + at, 6));
    return;
  }
  // Addresses of other link layers fill the option up to its padding.
  if (a.end > at) {
    d.AddBytes(option, kOptLinkAddr, at, a.end - at, "Link-layer address: " + ColonHex(d.frame + at, a.end - at));
  }
}

void AddPrefixInformation(PacketDecoder& d, NodeId option, const Area& a) {
  const std::uint32_t p = a.start;
  if (a.Holds(p + 2, 1)) d.AddUint(option, kPrefixLength, p + 2, "Prefix length: %u");
  if (a.Holds(p + 3, 1)) {
    const NodeId flags = d.AddUint(option, kPrefixFlags, p + 3, "Flags: 0x%02x").line;
    AddFlag(d, flags, kPrefixFlagL, p + 3);
    AddFlag(d, flags, kPrefixFlagA, p + 3);
    AddFlag(d, flags, kPrefixFlagR, p + 3);
    AddBits(d, flags, kPrefixFlagRsv, p + 3);
  }
  if (a.Holds(p + 4, 4)) {
    d.AddUint(option, kPrefixValid, p + 4, [](std::uint32_t v) { return "Valid lifetime: " + Lifetime(v); });
  }
  if (a.Holds(p + 8, 4)) {
    d.AddUint(option, kPrefixPreferred, p + 8, [](std::uint32_t v) { return "Preferred lifetime: " + Lifetime(v); });
  }
  if (a.Holds(p + 12, 4)) AddReserved(d, option, kOptReserved, p + 12, 4, "Reserved");
  if (a.Holds(p + 16, kIpv6AddressLength)) AddIpv6(d, option, kPrefix, p + 16, "Prefix");
}

void AddMtuOption(PacketDecoder& d, NodeId option, const Area& a) {
  if (a.Holds(a.start + 2, 2)) AddReserved(d, option, kOptReserved, a.start + 2, 2, "Reserved");
  if (a.Holds(a.start + 4, 4)) d.AddUint(option, kOptMtu, a.start + 4, "MTU: %u");
}

void AddRecursiveDnsServers(PacketDecoder& d, NodeId option, const Area& a) {
  if (a.Holds(a.start + 2, 2)) AddReserved(d, option, kOptReserved, a.start + 2, 2, "Reserved");
  if (a.Holds(a.start + 4, 4)) {
    d.AddUint(option, kRdnssLifetime, a.start + 4, [](std::uint32_t v) { return "Lifetime: " + Lifetime(v); });
  }
  for (std::uint32_t at = a.start + 8; a.Holds(at, kIpv6AddressLength); at += kIpv6AddressLength) {
    AddIpv6(d, option, kRdnss, at, "Recursive DNS server");
  }
}

// The header and start of the packet that was redirected; returns where that
// packet starts, or 0 when no byte of it was captured.
std::uint32_t AddRedirectedHeader(PacketDecoder& d, NodeId option, const Area& a) {
  if (a.Holds(a.start + 2, 6)) AddReserved(d, option, kOptReserved, a.start + 2, 6, "Reserved");
  const std::uint32_t at = a.start + 8;
  if (a.end <= at) return 0;
  d.AddFieldLine(option, kRedirected, Format("Redirected packet (%u bytes)", a.end - at), at, a.end);
  return at;
}

std::string OptionLineText(const PacketDecoder& d, std::uint8_t type, const Area& a) {
  std::string text = "Option: ";
  text += OptionName(type);
  if ((type == kSourceLinkLayerAddress || type == kTargetLinkLayerAddress) && a.Holds(a.start + 2, 6) &&
      a.end - a.start == 8) {
    text += " (" + ColonHex(d.frame + a.start + 2, 6) + ")";
  } else if (type == kPrefixInformation && a.Holds(a.start + 16, kIpv6AddressLength)) {
    text += " (";
    AppendIpv6(text, d.frame + a.start + 16);
    text += Format("/%u)", d.frame[a.start + 2]);
  } else if (type == kMtuOption && a.Holds(a.start + 4, 4)) {
    text += Format(" (%u)", *d.U32(a.start + 4));
  }
  return text;
}

struct OptionWalk {
  std::uint32_t end;             // where the decoded options end
  bool malformed = false;        // an option of length 0 stopped the walk
  std::uint32_t redirected = 0;  // start of the packet in the last option, when that is a redirected header
};

// The options from `start` to the captured end, each a line with its type,
// length and contents. Each is a whole number of 8-byte units; a length of 0
// would never advance and ends the walk as malformed.
OptionWalk AddOptions(PacketDecoder& d, NodeId layer, std::uint32_t start) {
  OptionWalk walk{start};
  std::uint32_t p = start;
  while (d.Has(p, 1)) {
    const std::uint8_t type = *d.U8(p);
    const std::optional<std::uint8_t> units = d.U8(p + 1);
    const std::uint32_t declared = units ? *units * 8u : 0;
    const Area a = AreaOf(d, p, declared == 0 ? 2 : declared);
    const NodeId option = d.AddFieldLine(layer, kOpt, OptionLineText(d, type, a), a.start, a.end);
    d.AddUint(option, kOptType, p, [](std::uint32_t v) { return Format("Type: %u (%s)", v, OptionName(v)); });
    walk.redirected = 0;
    if (!units) {
      walk.end = a.end;
      return walk;
    }
    const NodeId length = d.AddUint(option, kOptLength, p + 1, "Length: %u").line;
    if (declared == 0) {
      d.AppendText(length, " (malformed: an option is never empty)");
      walk.end = a.end;
      walk.malformed = true;
      return walk;
    }
    d.AppendText(length, Format(" (%u bytes)", declared));
    switch (type) {
      case kSourceLinkLayerAddress:
      case kTargetLinkLayerAddress: AddLinkLayerAddress(d, option, a, type, declared); break;
      case kPrefixInformation: AddPrefixInformation(d, option, a); break;
      case kRedirectedHeader: walk.redirected = AddRedirectedHeader(d, option, a); break;
      case kMtuOption: AddMtuOption(d, option, a); break;
      case kRecursiveDnsServer: AddRecursiveDnsServers(d, option, a); break;
      default:
        if (a.end > p + 2) d.AddBytes(option, kData, p + 2, a.end - p - 2, Format("Data (%u bytes)", a.end - p - 2));
        break;
    }
    walk.end = a.end;
    if (declared > d.Available(p)) return walk;  // the rest of this option was not captured
    p += declared;
  }
  return walk;
}

// --- the message bodies; each returns where the part it decoded ends ---

std::uint32_t AddEcho(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  d.AddUint(layer, kEchoId, h + 4, "Identifier: 0x%04x");
  d.AddUint(layer, kEchoSeq, h + 6, "Sequence number: %u");
  AddDataToEnd(d, layer, h + kHeaderLength);
  return d.capturedLength;
}

// Destination unreachable, packet too big, time exceeded, parameter problem:
// the four bytes after the checksum; the invoking packet follows.
std::uint32_t AddErrorFields(PacketDecoder& d, NodeId layer, std::uint32_t h, std::uint8_t type) {
  if (type == kPacketTooBig) {
    d.AddUint(layer, kMtu, h + 4, "MTU: %u");
  } else if (type == kParameterProblem) {
    d.AddUint(layer, kPointer, h + 4, "Pointer: %u");
  } else {
    AddReserved(d, layer, kReserved, h + 4, 4, "Unused");
  }
  return h + kHeaderLength;
}

std::uint32_t AddRouterSolicitation(PacketDecoder& d, NodeId layer, std::uint32_t h, OptionWalk& walk) {
  AddReserved(d, layer, kReserved, h + 4, 4, "Reserved");
  walk = AddOptions(d, layer, h + kHeaderLength);
  return walk.end;
}

std::uint32_t AddRouterAdvertisement(PacketDecoder& d, NodeId layer, std::uint32_t h, OptionWalk& walk) {
  d.AddUint(layer, kRaHopLimit, h + 4, "Cur hop limit: %u");
  const FieldRead<std::uint32_t> flags = d.AddUint(layer, kRaFlags, h + 5, "Flags: 0x%02x");
  AddFlag(d, flags.line, kRaFlagM, h + 5);
  AddFlag(d, flags.line, kRaFlagO, h + 5);
  AddFlag(d, flags.line, kRaFlagH, h + 5);
  d.AddUint(flags.line, kRaFlagPrf, h + 5, [](std::uint32_t v) {
    return BitPattern(kRaFlagPrf, v) + " = Default router preference: " + PreferenceName(v) + Format(" (%u)", v);
  });
  AddFlag(d, flags.line, kRaFlagP, h + 5);
  AddBits(d, flags.line, kRaFlagRsv, h + 5);
  d.AddUint(layer, kRaLifetime, h + 6, "Router lifetime: %u s");
  d.AddUint(layer, kRaReachable, h + 8, "Reachable time: %u ms");
  d.AddUint(layer, kRaRetrans, h + 12, "Retrans timer: %u ms");
  walk = AddOptions(d, layer, h + 16);
  return walk.end;
}

std::uint32_t AddNeighborSolicitation(PacketDecoder& d, NodeId layer, std::uint32_t h, OptionWalk& walk) {
  AddReserved(d, layer, kReserved, h + 4, 4, "Reserved");
  AddIpv6(d, layer, kNsTarget, h + 8, "Target address");
  walk = AddOptions(d, layer, h + 24);
  return walk.end;
}

std::uint32_t AddNeighborAdvertisement(PacketDecoder& d, NodeId layer, std::uint32_t h, OptionWalk& walk) {
  const FieldRead<std::uint32_t> flags = d.AddUint(layer, kNaFlags, h + 4, "Flags: 0x%08x");
  AddFlag(d, flags.line, kNaFlagR, h + 4);
  AddFlag(d, flags.line, kNaFlagS, h + 4);
  AddFlag(d, flags.line, kNaFlagO, h + 4);
  AddBits(d, flags.line, kNaFlagRsv, h + 4);
  AddIpv6(d, layer, kNaTarget, h + 8, "Target address");
  walk = AddOptions(d, layer, h + 24);
  return walk.end;
}

std::uint32_t AddRedirect(PacketDecoder& d, NodeId layer, std::uint32_t h, OptionWalk& walk) {
  AddReserved(d, layer, kReserved, h + 4, 4, "Reserved");
  AddIpv6(d, layer, kRdTarget, h + 8, "Target address");
  AddIpv6(d, layer, kRdDestination, h + 24, "Destination address");
  walk = AddOptions(d, layer, h + 40);
  return walk.end;
}

// Query (short form), report and done of version 1.
std::uint32_t AddListenerV1(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  d.AddUint(layer, kMldMaxDelay, h + 4, "Maximum response delay: %u ms");
  AddReserved(d, layer, kReserved, h + 6, 2, "Reserved");
  AddIpv6(d, layer, kMldAddress, h + 8, "Multicast address");
  return h + kMldv1Length;
}

std::uint32_t AddListenerQueryV2(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  d.AddUint(layer, kMldMaxCode, h + 4,
            [](std::uint32_t v) { return Format("Maximum response code: %u (%u ms)", v, MaximumResponseDelay(v)); });
  AddReserved(d, layer, kReserved, h + 6, 2, "Reserved");
  AddIpv6(d, layer, kMldAddress, h + 8, "Multicast address");
  const NodeId flags = d.AddUint(layer, kMldFlags, h + 24, "Flags: 0x%02x").line;
  AddBits(d, flags, kMldFlagRsv, h + 24);
  AddFlag(d, flags, kMldFlagS, h + 24);
  AddBits(d, flags, kMldFlagQrv, h + 24);
  d.AddUint(layer, kMldQqic, h + 25, [](std::uint32_t v) {
    return Format("Querier's query interval code (QQIC): %u (%u s)", v, QueryInterval(v));
  });
  const FieldRead<std::uint32_t> count = d.AddUint(layer, kMldSources, h + 26, "Number of sources: %u");
  std::uint32_t at = h + kMldv2QueryLength;
  for (std::uint32_t i = 0; count && i < *count && d.Has(at, kIpv6AddressLength); ++i) {
    AddIpv6(d, layer, kMldSource, at, "Source address");
    at += kIpv6AddressLength;
  }
  return at;
}

// One multicast address record of a version 2 report; returns its declared size.
std::uint64_t AddAddressRecord(PacketDecoder& d, NodeId layer, std::uint32_t p) {
  const std::uint32_t sources = d.U16(p + 2).value_or(0);
  const std::uint32_t auxWords = d.U8(p + 1).value_or(0);
  const std::uint64_t size = kRecordHeaderLength + std::uint64_t{sources} * kIpv6AddressLength + auxWords * 4u;
  const Area a = AreaOf(d, p, size);
  std::string text = "Multicast address record";
  if (const std::uint8_t* address = d.Bytes(p + 4, kIpv6AddressLength)) {
    text += ": ";
    AppendIpv6(text, address);
  }
  const NodeId record = d.AddFieldLine(layer, kMar, std::move(text), a.start, a.end);
  d.AddUint(record, kMarType, p, [](std::uint32_t v) { return Format("Record type: %u (%s)", v, RecordTypeName(v)); });
  d.AddUint(record, kMarAuxLength, p + 1,
            [](std::uint32_t v) { return Format("Aux data length: %u (%u bytes)", v, v * 4); });
  d.AddUint(record, kMarSources, p + 2, "Number of sources: %u");
  AddIpv6(d, record, kMarAddress, p + 4, "Multicast address");
  std::uint32_t at = p + kRecordHeaderLength;
  for (std::uint32_t i = 0; i < sources && d.Has(at, kIpv6AddressLength); ++i) {
    AddIpv6(d, record, kMarSource, at, "Source address");
    at += kIpv6AddressLength;
  }
  if (auxWords != 0 && a.end > at) {
    d.AddBytes(record, kMarAux, at, a.end - at, Format("Auxiliary data (%u bytes)", a.end - at));
  }
  return size;
}

std::uint32_t AddListenerReportV2(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  AddReserved(d, layer, kReserved, h + 4, 2, "Reserved");
  const FieldRead<std::uint32_t> count =
      d.AddUint(layer, kMldrRecords, h + 6, "Number of multicast address records: %u");
  std::uint32_t p = h + kHeaderLength;
  for (std::uint32_t i = 0; count && i < *count && d.Has(p, 1); ++i) {
    const std::uint64_t size = AddAddressRecord(d, layer, p);
    if (size >= d.Available(p)) return d.capturedLength;
    p += static_cast<std::uint32_t>(size);
  }
  return p;
}

// --- the tail ---

// What the decoder left of the captured bytes from `at` on becomes a layer
// of its own: after a malformed option it is not offered to the scripts.
void MarkRestUnsupported(PacketDecoder& d, std::uint32_t at) {
  if (at >= d.capturedLength) return;
  const std::uint32_t saved = d.offset;
  d.offset = at;
  d.MarkUnsupported();
  d.offset = saved;
}

// The invoking packet of an error, or the redirected packet, decoded as an
// IPv6 datagram of its own. The flag is put back as it was, so an error
// quoted inside an error leaves the outer quote marked.
void DecodeQuoted(PacketDecoder& d, std::uint32_t at) {
  const std::uint32_t wasQuoted = d.flags & QuotedDatagram;
  d.flags |= QuotedDatagram;
  d.Dispatch(DecodeIpv6, at);
  d.flags = (d.flags & ~QuotedDatagram) | wasQuoted;
}

bool IsError(std::uint8_t type) {
  return type == kDestinationUnreachable || type == kPacketTooBig || type == kTimeExceeded || type == kParameterProblem;
}

void DescribeMessage(PacketDecoder& d, std::uint32_t h) {
  const std::uint8_t type = *d.U8(h);
  const NodeId layer = d.AddLayerLine(kProto, "ICMPv6", h, d.capturedLength);
  d.AddUint(layer, kType, h, [](std::uint32_t v) { return Format("Type: %u (%s)", v, TypeName(v)); });
  d.AddUint(layer, kCode, h + 1, [type](std::uint32_t v) {
    const char* name = CodeName(type, v);
    return name != nullptr ? Format("Code: %u (%s)", v, name) : Format("Code: %u", v);
  });
  // Shown as carried; not verified.
  d.AddUint(layer, kChecksum, h + 2, "Checksum: 0x%04x");

  OptionWalk walk{d.capturedLength};
  std::uint32_t end = d.capturedLength;
  bool fixedLength = false;  // bytes after `end` are more than the message has room for
  switch (type) {
    case kDestinationUnreachable:
    case kPacketTooBig:
    case kTimeExceeded:
    case kParameterProblem: end = AddErrorFields(d, layer, h, type); break;
    case kEchoRequest:
    case kEchoReply: end = AddEcho(d, layer, h); break;
    case kListenerQuery:
      fixedLength = true;
      end = d.Has(h, kMldv2QueryLength) ? AddListenerQueryV2(d, layer, h) : AddListenerV1(d, layer, h);
      break;
    case kListenerReport:
    case kListenerDone:
      fixedLength = true;
      end = AddListenerV1(d, layer, h);
      break;
    case kListenerReportV2:
      fixedLength = true;
      end = AddListenerReportV2(d, layer, h);
      break;
    case kRouterSolicitation: end = AddRouterSolicitation(d, layer, h, walk); break;
    case kRouterAdvertisement: end = AddRouterAdvertisement(d, layer, h, walk); break;
    case kNeighborSolicitation: end = AddNeighborSolicitation(d, layer, h, walk); break;
    case kNeighborAdvertisement: end = AddNeighborAdvertisement(d, layer, h, walk); break;
    case kRedirect: end = AddRedirect(d, layer, h, walk); break;
    default: AddDataToEnd(d, layer, h + 4); break;
  }
  d.SetRange(layer, h, end);

  if (IsError(type)) {
    DecodeQuoted(d, h + kHeaderLength);
  } else if (walk.malformed) {
    MarkRestUnsupported(d, end);
  } else if (walk.redirected != 0) {
    DecodeQuoted(d, walk.redirected);
  } else if (fixedLength && end < d.capturedLength) {
    // Bytes after a complete listener message: the scripts may know them.
    d.FinishPayload(end - h, "icmpv6");
  }
}

}  // namespace

void DecodeIcmpv6(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Icmpv6);
  // The row and the statistics only learn that ICMPv6 was here; the packet
  // quoted in an error message must not count as traffic of its own.
  if (!d.IsTree()) return;
  if (!d.Has(h, 1)) {
    d.AddLayerLine(kProto, "ICMPv6", h, h);
    return;
  }
  DescribeMessage(d, h);
}

}  // namespace qv
