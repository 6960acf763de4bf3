#include "decode/ipv6_ext.h"

#include <algorithm>

#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kFixedHeaderLength = 40;

constexpr std::uint8_t kHopByHop = 0;
constexpr std::uint8_t kRouting = 43;
constexpr std::uint8_t kFragment = 44;
constexpr std::uint8_t kAh = 51;
constexpr std::uint8_t kNoNextHeader = 59;
constexpr std::uint8_t kDestinationOptions = 60;

// --- fields ---

constexpr FieldInfo kHopProto{"ipv6.hopopts", "IPv6 Hop-by-Hop Option", FieldType::Protocol};
constexpr FieldInfo kHopNext{"ipv6.hopopts.nxt", "Next Header", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kHopLength{"ipv6.hopopts.len", "Length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kDstProto{"ipv6.dstopts", "Destination Options for IPv6", FieldType::Protocol};
constexpr FieldInfo kDstNext{"ipv6.dstopts.nxt", "Next Header", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kDstLength{"ipv6.dstopts.len", "Length", FieldType::UInt8, FieldBase::Dec};

constexpr FieldInfo kOption{"ipv6.opt", "IPv6 Option", FieldType::None};
constexpr FieldInfo kOptionType{"ipv6.opt.type", "Type", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kOptionAction{"ipv6.opt.type.action", "Action", FieldType::UInt8, FieldBase::Dec, 0xC0};
constexpr FieldInfo kOptionChange{"ipv6.opt.type.change", "May Change", FieldType::Boolean, FieldBase::None, 0x20, 1};
constexpr FieldInfo kOptionRest{"ipv6.opt.type.rest", "Low-Order Bits", FieldType::UInt8, FieldBase::Hex, 0x1F};
constexpr FieldInfo kOptionLength{"ipv6.opt.length", "Length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kOptionPad1{"ipv6.opt.pad1", "Pad1", FieldType::None};
constexpr FieldInfo kOptionPadN{"ipv6.opt.padn", "PadN", FieldType::Bytes};
constexpr FieldInfo kOptionTunnelLimit{"ipv6.opt.tel", "Tunnel Encapsulation Limit", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kOptionRouterAlert{"ipv6.opt.router_alert", "Router Alert", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kOptionJumbo{"ipv6.opt.jumbo", "Payload Length", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kOptionHomeAddress{"ipv6.opt.mipv6.home_address", "MIPv6 Home Address", FieldType::Ipv6};
constexpr FieldInfo kOptionUnknown{"ipv6.opt.unknown", "Unknown Option Payload", FieldType::Bytes};

constexpr FieldInfo kRoutingProto{"ipv6.routing", "Routing Header for IPv6", FieldType::Protocol};
constexpr FieldInfo kRoutingNext{"ipv6.routing.nxt", "Next Header", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kRoutingLength{"ipv6.routing.len", "Length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kRoutingType{"ipv6.routing.type", "Type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kRoutingSegmentsLeft{"ipv6.routing.segleft", "Segments Left", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kRoutingUnknown{"ipv6.routing.unknown_data", "Routing Data", FieldType::Bytes};
constexpr FieldInfo kSourceRouteReserved{"ipv6.routing.src.reserved", "Reserved", FieldType::Bytes};
constexpr FieldInfo kSourceRouteAddress{"ipv6.routing.src.addr", "Address", FieldType::Ipv6};
constexpr FieldInfo kMobileReserved{"ipv6.routing.mipv6.reserved", "Reserved", FieldType::Bytes};
constexpr FieldInfo kMobileHomeAddress{"ipv6.routing.mipv6.home_address", "Home Address", FieldType::Ipv6};
constexpr FieldInfo kSrhLastEntry{"ipv6.routing.srh.last_entry", "Last Entry", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kSrhFlags{"ipv6.routing.srh.flags", "Flags", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kSrhTag{"ipv6.routing.srh.tag", "Tag", FieldType::Bytes};
constexpr FieldInfo kSrhAddress{"ipv6.routing.srh.addr", "Address", FieldType::Ipv6};

constexpr FieldInfo kFragmentProto{"ipv6.fraghdr", "Fragment Header for IPv6", FieldType::Protocol};
constexpr FieldInfo kFragmentNext{"ipv6.fraghdr.nxt", "Next header", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kFragmentReservedOctet{"ipv6.fraghdr.reserved_octet", "Reserved octet", FieldType::UInt8,
                                           FieldBase::Hex};
constexpr FieldInfo kFragmentOffset{"ipv6.fraghdr.offset", "Offset", FieldType::UInt16, FieldBase::Dec, 0xFFF8};
constexpr FieldInfo kFragmentReservedBits{"ipv6.fraghdr.reserved_bits", "Reserved bits", FieldType::UInt16,
                                          FieldBase::Dec, 0x0006};
constexpr FieldInfo kFragmentMore{"ipv6.fraghdr.more", "More Fragments", FieldType::Boolean, FieldBase::None, 0x0001, 2};
constexpr FieldInfo kFragmentIdent{"ipv6.fraghdr.ident", "Identification", FieldType::UInt32, FieldBase::Hex};

constexpr FieldInfo kAhProto{"ah", "Authentication Header", FieldType::Protocol};
constexpr FieldInfo kAhNext{"ah.next_header", "Next header", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kAhLength{"ah.length", "Length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kAhReserved{"ah.reserved", "Reserved", FieldType::Bytes};
constexpr FieldInfo kAhSpi{"ah.spi", "AH SPI", FieldType::UInt32, FieldBase::Hex};
constexpr FieldInfo kAhSequence{"ah.sequence", "AH Sequence", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kAhIcv{"ah.icv", "AH ICV", FieldType::Bytes};

constexpr FieldInfo kEspProto{"esp", "Encapsulating Security Payload", FieldType::Protocol};
constexpr FieldInfo kEspSpi{"esp.spi", "ESP SPI", FieldType::UInt32, FieldBase::Hex};
constexpr FieldInfo kEspSequence{"esp.sequence", "ESP Sequence", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kEspData{"esp.encrypted_data", "ESP Encrypted Data", FieldType::Bytes};

constexpr const FieldInfo* kFields[] = {
    &kHopProto, &kHopNext, &kHopLength, &kDstProto, &kDstNext, &kDstLength,
    // options
    &kOption, &kOptionType, &kOptionAction, &kOptionChange, &kOptionRest, &kOptionLength, &kOptionPad1,
    &kOptionPadN, &kOptionTunnelLimit, &kOptionRouterAlert, &kOptionJumbo, &kOptionHomeAddress, &kOptionUnknown,
    // routing
    &kRoutingProto, &kRoutingNext, &kRoutingLength, &kRoutingType, &kRoutingSegmentsLeft, &kRoutingUnknown,
    &kSourceRouteReserved, &kSourceRouteAddress, &kMobileReserved, &kMobileHomeAddress, &kSrhLastEntry,
    &kSrhFlags, &kSrhTag, &kSrhAddress,
    // fragment
    &kFragmentProto, &kFragmentNext, &kFragmentReservedOctet, &kFragmentOffset, &kFragmentReservedBits,
    &kFragmentMore, &kFragmentIdent,
    // AH and ESP
    &kAhProto, &kAhNext, &kAhLength, &kAhReserved, &kAhSpi, &kAhSequence, &kAhIcv,
    &kEspProto, &kEspSpi, &kEspSequence, &kEspData,
};
const FieldRegistration kRegistration(kFields);

// --- names ---

struct NextHeaderName {
  std::uint8_t value;
  const char* name;
};

constexpr NextHeaderName kNextHeaderNames[] = {
    {0, "Hop-by-hop options"}, {1, "ICMP"}, {2, "IGMP"}, {4, "IPv4"}, {6, "TCP"}, {17, "UDP"},
    {41, "IPv6"}, {43, "Routing"}, {44, "Fragment"}, {47, "GRE"}, {50, "ESP"}, {51, "AH"},
    {58, "ICMPv6"}, {59, "No next header"}, {60, "Destination options"}, {103, "PIM"}, {112, "VRRP"},
    {132, "SCTP"}, {135, "Mobility"}, {136, "UDP-Lite"}, {139, "HIP"}, {140, "Shim6"}, {143, "Ethernet"},
    {253, "Experimental"}, {254, "Experimental"},
};

struct OptionName {
  std::uint8_t type;
  const char* name;
};

constexpr std::uint8_t kPad1 = 0x00;
constexpr std::uint8_t kPadN = 0x01;
constexpr std::uint8_t kTunnelLimit = 0x04;
constexpr std::uint8_t kRouterAlert = 0x05;
constexpr std::uint8_t kJumbo = 0xC2;
constexpr std::uint8_t kHomeAddress = 0xC9;

constexpr OptionName kOptionNames[] = {
    {kPad1, "Pad1"},
    {kPadN, "PadN"},
    {kTunnelLimit, "Tunnel encapsulation limit"},
    {kRouterAlert, "Router alert"},
    {0x26, "Quick-Start"},
    {0x63, "RPL"},
    {kJumbo, "Jumbo payload"},
    {kHomeAddress, "Home address"},
};

const char* OptionNameOf(std::uint8_t type) {
  for (const OptionName& o : kOptionNames) {
    if (o.type == type) return o.name;
  }
  return nullptr;
}

// What a node does with an option it does not know: the top two bits of its type.
const char* const kOptionActions[4] = {
    "skip and continue",
    "discard",
    "discard and send ICMP",
    "discard and send ICMP if not multicast",
};

const char* RouterAlertName(std::uint32_t value) {
  switch (value) {
    case 0: return "MLD";
    case 1: return "RSVP";
    case 2: return "Active Networks";
    default: return nullptr;
  }
}

const char* RoutingTypeName(std::uint32_t type) {
  switch (type) {
    case 0: return "source route";
    case 1: return "Nimrod";
    case 2: return "Mobile IPv6";
    case 3: return "RPL source route";
    case 4: return "segment routing";
    case 5: return "compact routing, 16-bit";
    case 6: return "compact routing, 32-bit";
    default: return nullptr;
  }
}

std::string WithName(std::string text, const char* name) {
  if (name != nullptr) {
    text += " (";
    text += name;
    text += ')';
  }
  return text;
}

// The captured bytes at `at` in hex digits, as "Reserved: 00000000" shows them.
std::string HexOf(const PacketDecoder& d, std::uint32_t at, std::uint32_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::uint32_t i = 0; i < count && d.Has(at + i, 1); ++i) {
    out += kDigits[d.frame[at + i] >> 4];
    out += kDigits[d.frame[at + i] & 0x0F];
  }
  return out;
}

std::string AddressText(const char* label, const std::uint8_t* address) {
  std::string text = label;
  text += ": ";
  AppendIpv6(text, address);
  return text;
}

// --- options (hop-by-hop and destination options) ---

void AddOptionType(PacketDecoder& d, NodeId option, std::uint32_t at, const char* name) {
  const FieldRead<std::uint32_t> type =
      d.AddUint(option, kOptionType, at, [name](std::uint32_t v) { return WithName(Format("Type: 0x%02x", v), name); });
  if (!type || *type == kPad1) return;
  d.AddUint(type.line, kOptionAction, at,
            [](std::uint32_t v) { return Format("Action: %u (%s)", v, kOptionActions[v & 3]); });
  d.AddUint(type.line, kOptionChange, at,
            [](std::uint32_t v) { return std::string(v != 0 ? "May change: yes" : "May change: no"); });
  d.AddUint(type.line, kOptionRest, at, "Low-order bits: 0x%02x");
}

// The data of the option of `type` from `at` to `end`; an option whose
// length does not fit its kind is shown as bytes.
void AddOptionData(PacketDecoder& d, NodeId option, std::uint8_t type, std::uint32_t at, std::uint32_t end) {
  const std::uint32_t length = end > at ? end - at : 0;
  switch (type) {
    case kPadN:
      d.AddBytes(option, kOptionPadN, at, length, Format("PadN: %u bytes", length));
      return;
    case kTunnelLimit:
      if (length != 1) break;
      d.AddUint(option, kOptionTunnelLimit, at, "Tunnel encapsulation limit: %u");
      return;
    case kRouterAlert:
      if (length != 2) break;
      d.AddUint(option, kOptionRouterAlert, at,
                [](std::uint32_t v) { return WithName(Format("Router alert: %u", v), RouterAlertName(v)); });
      return;
    case kJumbo:
      if (length != 4) break;
      d.AddUint(option, kOptionJumbo, at, "Jumbo payload length: %u bytes");
      return;
    case kHomeAddress:
      if (length != 16) break;
      if (const std::uint8_t* a = d.Bytes(at, 16)) {
        d.AddAddress(option, kOptionHomeAddress, at, AddressText("Home address", a));
      }
      return;
    default: break;
  }
  d.AddBytes(option, kOptionUnknown, at, length, Format("Data: %u bytes", length));
}

// One line per option from `at` to `end` (the end of the header). Every
// option moves the walk on by at least one byte; it ends at `end` and where
// the captured bytes end.
void AddOptions(PacketDecoder& d, NodeId header, std::uint32_t at, std::uint32_t end) {
  while (at < end) {
    const std::optional<std::uint8_t> type = d.U8(at);
    if (!type) return;
    const char* name = OptionNameOf(*type);
    if (*type == kPad1) {
      const NodeId option = d.AddFieldLine(header, kOptionPad1, "Pad1", at, at + 1);
      AddOptionType(d, option, at, name);
      ++at;
      continue;
    }
    const std::optional<std::uint8_t> length = d.U8(at + 1);
    const std::uint64_t claimedEnd = std::uint64_t{at} + 2 + (length ? *length : 0);
    const auto optionEnd = static_cast<std::uint32_t>(std::min<std::uint64_t>(claimedEnd, end));
    const NodeId option =
        d.AddFieldLine(header, kOption, name != nullptr ? name : Format("Option 0x%02x", *type), at, optionEnd);
    AddOptionType(d, option, at, name);
    if (!length) return;
    d.AddUint(option, kOptionLength, at + 1, "Length: %u");
    AddOptionData(d, option, *type, at + 2, optionEnd);
    if (claimedEnd >= end) return;
    at = static_cast<std::uint32_t>(claimedEnd);
  }
}

// --- the headers, in tree mode ---

struct OptionsHeader {
  const FieldInfo& proto;
  const FieldInfo& next;
  const FieldInfo& length;
  const char* text;
};

const OptionsHeader kHopByHopHeader{kHopProto, kHopNext, kHopLength, "Hop-by-hop options"};
const OptionsHeader kDestinationHeader{kDstProto, kDstNext, kDstLength, "Destination options"};

std::string LengthInWords(std::uint32_t v) { return Format("Length: %u (%u bytes)", v, (v + 1) * 8); }

void DescribeOptionsHeader(PacketDecoder& d, NodeId parent, const OptionsHeader& kind, std::uint32_t at,
                           std::uint32_t end) {
  const NodeId line = d.AddFieldLine(parent, kind.proto, kind.text, at, end);
  d.AddUint(line, kind.next, at, Ipv6NextHeaderText);
  d.AddUint(line, kind.length, at + 1, LengthInWords);
  AddOptions(d, line, at + 2, end);
}

// The addresses of a type 0 or segment routing header, from `at` to `end`,
// at most `count` of them; the first is numbered `first`.
void AddRouteAddresses(PacketDecoder& d, NodeId line, const FieldInfo& f, std::uint32_t at, std::uint32_t end,
                       std::uint32_t count, std::uint32_t first) {
  for (std::uint32_t i = 0; i < count && std::uint64_t{at} + 16 <= end; ++i, at += 16) {
    const std::uint8_t* a = d.Bytes(at, 16);
    if (a == nullptr) return;
    std::string text = Format("Address[%u]: ", first + i);
    AppendIpv6(text, a);
    d.AddAddress(line, f, at, std::move(text));
  }
}

void DescribeRouting(PacketDecoder& d, NodeId parent, std::uint32_t at, std::uint32_t end) {
  const std::optional<std::uint8_t> type = d.U8(at + 2);
  std::string title = "Routing header";
  if (type) {
    const char* name = RoutingTypeName(*type);
    title += name != nullptr ? Format(" (%s)", name) : Format(" (type %u)", *type);
  }
  const NodeId line = d.AddFieldLine(parent, kRoutingProto, std::move(title), at, end);
  d.AddUint(line, kRoutingNext, at, Ipv6NextHeaderText);
  d.AddUint(line, kRoutingLength, at + 1, LengthInWords);
  d.AddUint(line, kRoutingType, at + 2,
            [](std::uint32_t v) { return WithName(Format("Type: %u", v), RoutingTypeName(v)); });
  d.AddUint(line, kRoutingSegmentsLeft, at + 3, "Segments left: %u");
  if (!type) return;
  const std::uint32_t addresses = end > at + 8 ? (end - at - 8) / 16 : 0;
  switch (*type) {
    case 0:
      d.AddBytes(line, kSourceRouteReserved, at + 4, 4, "Reserved: " + HexOf(d, at + 4, 4));
      AddRouteAddresses(d, line, kSourceRouteAddress, at + 8, end, addresses, 1);
      return;
    case 2:
      d.AddBytes(line, kMobileReserved, at + 4, 4, "Reserved: " + HexOf(d, at + 4, 4));
      if (const std::uint8_t* a = d.Bytes(at + 8, 16); a != nullptr && std::uint64_t{at} + 24 <= end) {
        d.AddAddress(line, kMobileHomeAddress, at + 8, AddressText("Home address", a));
      }
      return;
    case 4: {
      const FieldRead<std::uint32_t> last = d.AddUint(line, kSrhLastEntry, at + 4, "Last entry: %u");
      d.AddUint(line, kSrhFlags, at + 5, "Flags: 0x%02x");
      d.AddBytes(line, kSrhTag, at + 6, 2, "Tag: 0x" + HexOf(d, at + 6, 2));
      // The segment list holds entries 0 to the last entry; TLVs may follow.
      if (last) AddRouteAddresses(d, line, kSrhAddress, at + 8, end, std::min(addresses, *last + 1), 0);
      return;
    }
    default:
      if (end > at + 4) {
        d.AddBytes(line, kRoutingUnknown, at + 4, end - at - 4, Format("Routing data: %u bytes", end - at - 4));
      }
      return;
  }
}

void DescribeFragment(PacketDecoder& d, NodeId parent, std::uint32_t at) {
  const NodeId line = d.AddFieldLine(parent, kFragmentProto, "Fragment header", at, at + 8);
  d.AddUint(line, kFragmentNext, at, Ipv6NextHeaderText);
  d.AddUint(line, kFragmentReservedOctet, at + 1, "Reserved octet: 0x%02x");
  d.AddUint(line, kFragmentOffset, at + 2, [](std::uint32_t v) { return Format("Offset: %u (%u bytes)", v, v * 8); });
  d.AddUint(line, kFragmentReservedBits, at + 2, "Reserved bits: %u");
  d.AddUint(line, kFragmentMore, at + 2,
            [](std::uint32_t v) { return std::string(v != 0 ? "More fragments: yes" : "More fragments: no"); });
  d.AddUint(line, kFragmentIdent, at + 4, "Identification: 0x%08x");
}

void DescribeAh(PacketDecoder& d, NodeId parent, std::uint32_t at, std::uint32_t end) {
  const NodeId line = d.AddFieldLine(parent, kAhProto, "Authentication header", at, end);
  d.AddUint(line, kAhNext, at, Ipv6NextHeaderText);
  d.AddUint(line, kAhLength, at + 1, [](std::uint32_t v) { return Format("Length: %u (%u bytes)", v, (v + 2) * 4); });
  d.AddBytes(line, kAhReserved, at + 2, 2, "Reserved: " + HexOf(d, at + 2, 2));
  d.AddUint(line, kAhSpi, at + 4, "SPI: 0x%08x");
  d.AddUint(line, kAhSequence, at + 8, "Sequence: %u");
  if (end > at + 12) d.AddBytes(line, kAhIcv, at + 12, end - at - 12, "ICV: " + HexOf(d, at + 12, end - at - 12));
}

// The length of the extension header `kind` at `at`; absent when its length
// byte was not captured. Never below 8, so the walk always moves on.
std::optional<std::uint32_t> HeaderLength(const PacketDecoder& d, std::uint8_t kind, std::uint32_t at) {
  if (kind == kFragment) return 8;
  const std::optional<std::uint8_t> length = d.U8(at + 1);
  if (!length) return std::nullopt;
  if (kind == kAh) return (std::uint32_t{*length} + 2) * 4;
  return (std::uint32_t{*length} + 1) * 8;
}

bool IsExtensionHeader(std::uint8_t value) {
  return value == kHopByHop || value == kRouting || value == kFragment || value == kAh ||
         value == kDestinationOptions || value == kNoNextHeader;
}

}  // namespace

const char* Ipv6NextHeaderName(std::uint8_t value) {
  for (const NextHeaderName& n : kNextHeaderNames) {
    if (n.value == value) return n.name;
  }
  return nullptr;
}

std::string Ipv6NextHeaderText(std::uint32_t value) {
  return WithName(Format("Next header: %u", value), Ipv6NextHeaderName(static_cast<std::uint8_t>(value)));
}

Ipv6Chain WalkIpv6ExtensionHeaders(PacketDecoder& d, NodeId ipv6Line, std::uint32_t h, std::uint8_t next) {
  std::uint32_t at = h + kFixedHeaderLength;
  for (int count = 0;; ++count) {
    if (!IsExtensionHeader(next)) return {Ipv6ChainEnd::Upper, next, at - h};
    if (next == kNoNextHeader) return {Ipv6ChainEnd::Data, next, at - h};
    if (count == kMaxExtensionHeaders) {
      if (d.IsTree()) {
        d.AddLine(ipv6Line, Format("Extension headers: more than %d, the rest is not decoded", kMaxExtensionHeaders));
      }
      return {Ipv6ChainEnd::Stopped, next, at - h};
    }
    const std::optional<std::uint32_t> length = HeaderLength(d, next, at);
    // A header whose length was not captured ends at the captured end.
    const std::uint32_t end = length ? at + *length : at + d.Available(at);
    if (next == kAh) {
      // AH is a protocol of its own: it joins the row's chain and the counters.
      const std::uint32_t saved = d.offset;
      d.offset = at;
      d.BeginLayer(Protocol::Ah);
      d.offset = saved;
    }
    if (d.IsTree()) {
      switch (next) {
        case kHopByHop: DescribeOptionsHeader(d, ipv6Line, kHopByHopHeader, at, end); break;
        case kDestinationOptions: DescribeOptionsHeader(d, ipv6Line, kDestinationHeader, at, end); break;
        case kRouting: DescribeRouting(d, ipv6Line, at, end); break;
        case kFragment: DescribeFragment(d, ipv6Line, at); break;
        case kAh: DescribeAh(d, ipv6Line, at, end); break;
        default: break;
      }
    }
    const std::optional<std::uint8_t> following = d.U8(at);
    if (!length || !following) return {Ipv6ChainEnd::Stopped, next, end - h};
    if (next == kFragment) {
      // A later fragment carries the middle of a packet: nothing in it can
      // be decoded on its own.
      const std::optional<std::uint16_t> offset = d.U16(at + 2);
      if (!offset) return {Ipv6ChainEnd::Stopped, next, end - h};
      if ((*offset & 0xFFF8) != 0) return {Ipv6ChainEnd::Data, *following, end - h};
    }
    next = *following;
    at = end;
  }
}

void DecodeEsp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Esp);
  if (!d.IsTree()) return;
  // Without the keys the rest is opaque: the payload, padding and ICV.
  const NodeId layer = d.AddLayerLine(kEspProto, "ESP", h, d.capturedLength);
  d.AddUint(layer, kEspSpi, h, "SPI: 0x%08x (%u)");
  d.AddUint(layer, kEspSequence, h + 4, "Sequence: %u");
  const std::uint32_t data = d.Available(h + 8);
  d.AddBytes(layer, kEspData, h + 8, data, Format("Encrypted data: %u bytes", data));
}

}  // namespace qv
