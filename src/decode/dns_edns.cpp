// The OPT pseudo-record of EDNS: the fields it keeps in the class and time to
// live of a record, and its options.

#include <algorithm>

#include "decode/dns_message.h"
#include "decode/text_format.h"

namespace qv::dns {

namespace {

constexpr FieldInfo kPayloadSize{"dns.rr.udp_payload_size", "UDP payload size", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kExtRcode{"dns.resp.ext_rcode", "Higher bits in extended RCODE", FieldType::UInt8,
                              FieldBase::Hex};
// The whole 12-bit code that the higher bits and the header's four make.
constexpr FieldInfo kExtendedRcode{"dns.resp.extended_rcode", "Extended RCODE", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kVersion{"dns.resp.edns0_version", "EDNS0 version", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kZ{"dns.resp.z", "Z", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kDo{"dns.resp.z.do", "DO bit", FieldType::Boolean, FieldBase::None, 0x8000, 2};
constexpr FieldInfo kZReserved{"dns.resp.z.reserved", "Reserved", FieldType::UInt16, FieldBase::Hex, 0x7FFF};
constexpr FieldInfo kOption{"dns.opt", "Option", FieldType::None};
constexpr FieldInfo kOptionCode{"dns.opt.code", "Option Code", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kOptionLength{"dns.opt.len", "Option Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kOptionData{"dns.opt.data", "Option Data", FieldType::Bytes};
constexpr FieldInfo kSubnetFamily{"dns.opt.client.family", "Family", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kSubnetSource{"dns.opt.client.netmask", "Source Netmask", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kSubnetScope{"dns.opt.client.scope", "Scope Netmask", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kSubnetAddress{"dns.opt.client.addr", "Client Subnet", FieldType::Bytes};
constexpr FieldInfo kSubnetIpv4{"dns.opt.client.addr4", "Client Subnet", FieldType::Ipv4};
constexpr FieldInfo kSubnetIpv6{"dns.opt.client.addr6", "Client Subnet", FieldType::Ipv6};
constexpr FieldInfo kCookieClient{"dns.opt.cookie.client", "Client Cookie", FieldType::Bytes};
constexpr FieldInfo kCookieServer{"dns.opt.cookie.server", "Server Cookie", FieldType::Bytes};

constexpr const FieldInfo* kFields[] = {
    &kPayloadSize, &kExtRcode,     &kExtendedRcode, &kVersion,      &kZ,            &kDo,
    &kZReserved,   &kOption,       &kOptionCode,    &kOptionLength, &kOptionData,   &kSubnetFamily,
    &kSubnetSource, &kSubnetScope, &kSubnetAddress, &kSubnetIpv4,   &kSubnetIpv6,   &kCookieClient,
    &kCookieServer,
};
const FieldRegistration kRegistration(kFields);

constexpr std::uint16_t kClientSubnet = 8;
constexpr std::uint16_t kCookie = 10;
constexpr std::uint32_t kClientCookieLength = 8;
constexpr std::uint32_t kOptionHeaderLength = 4;
constexpr std::uint32_t kSubnetHeaderLength = 4;  // family, source and scope prefix lengths

const char* OptionName(std::uint32_t code) {
  switch (code) {
    case 1: return "LLQ - Long-lived query";
    case 2: return "UL - Update lease";
    case 3: return "NSID - Name Server Identifier";
    case 4: return "Owner (reserved)";
    case 5: return "DAU - DNSSEC Algorithm Understood";
    case 6: return "DHU - DS Hash Understood";
    case 7: return "N3U - NSEC3 Hash Understood";
    case 8: return "CSUBNET - Client subnet";
    case 9: return "EDNS EXPIRE";
    case 10: return "COOKIE";
    case 11: return "EDNS TCP Keepalive";
    case 12: return "PADDING";
    case 13: return "CHAIN";
    case 14: return "EDNS Key Tag";
    case 15: return "Extended DNS Error";
    default: return "Unknown";
  }
}

// The names of the codes that only EDNS can carry (16 and up); below 16 they
// are the header's own.
const char* ExtendedRcodeName(std::uint32_t rcode) {
  switch (rcode) {
    case 0: return "No error";
    case 1: return "Format error";
    case 2: return "Server failure";
    case 3: return "No such name";
    case 4: return "Not implemented";
    case 5: return "Refused";
    case 6: return "Name exists";
    case 7: return "RRset exists";
    case 8: return "RRset does not exist";
    case 9: return "Not authoritative";
    case 10: return "Name out of zone";
    case 11: return "DSO-Type not implemented";
    case 16: return "BADVERS";
    case 17: return "BADKEY";
    case 18: return "BADTIME";
    case 19: return "BADMODE";
    case 20: return "BADNAME";
    case 21: return "BADALG";
    case 22: return "BADTRUNC";
    case 23: return "BADCOOKIE";
    default: return "Unknown";
  }
}

const char* FamilyName(std::uint32_t family) {
  switch (family) {
    case 1: return "IPv4";
    case 2: return "IPv6";
    default: return "Unknown";
  }
}

// Client subnet: the family, the two prefix lengths and as many bytes of
// the address as the source prefix needs; the address is shown filled up
// with zeros to its full length.
void AddClientSubnet(PacketDecoder& d, NodeId option, std::uint32_t at, std::uint32_t end) {
  if (at + 2 > end) return;
  const std::uint32_t family = *d.AddUint(option, kSubnetFamily, at, [](std::uint32_t v) {
    return Format("Family: %s (%u)", FamilyName(v), v);
  });
  if (at + 3 > end) return;
  d.AddUint(option, kSubnetSource, at + 2, "Source Netmask: %u");
  if (at + 4 > end) return;
  d.AddUint(option, kSubnetScope, at + 3, "Scope Netmask: %u");
  const std::uint32_t start = at + kSubnetHeaderLength;
  const std::uint32_t length = end > start ? end - start : 0;
  if (length == 0) return;
  const std::uint8_t* bytes = d.frame + start;
  const std::uint32_t full = family == 1 ? 4 : family == 2 ? 16 : 0;
  if (length > full) {
    d.AddBytes(option, kSubnetAddress, start, length, "Client Subnet: " + HexText(bytes, length));
    return;
  }
  std::string address(bytes, bytes + length);
  address.resize(full, '\0');
  const auto* filled = reinterpret_cast<const std::uint8_t*>(address.data());
  std::string text = "Client Subnet: ";
  if (family == 1) {
    AppendIpv4(text, filled);
  } else {
    AppendIpv6(text, filled);
  }
  AddValueLine(d, option, family == 1 ? kSubnetIpv4 : kSubnetIpv6, std::move(text), start, end, std::move(address));
}

// A cookie: the client's eight bytes, then the server's, when it sent one.
void AddCookie(PacketDecoder& d, NodeId option, std::uint32_t at, std::uint32_t end) {
  const std::uint32_t client = std::min(end - at, kClientCookieLength);
  d.AddBytes(option, kCookieClient, at, client, "Client Cookie: " + HexText(d.frame + at, client));
  if (end - at > kClientCookieLength) {
    const std::uint32_t server = end - at - kClientCookieLength;
    d.AddBytes(option, kCookieServer, at + kClientCookieLength, server,
               "Server Cookie: " + HexText(d.frame + at + kClientCookieLength, server));
  }
}

}  // namespace

void AddOptHeader(PacketDecoder& d, const Message& m, NodeId record, std::uint32_t at) {
  if (m.Holds(at, 2)) d.AddUint(record, kPayloadSize, at, "UDP payload size: %u");
  if (m.Holds(at + 2, 1)) {
    const std::uint32_t higher = *d.AddUint(record, kExtRcode, at + 2, "Higher bits in extended RCODE: 0x%02x");
    if (higher != 0) {
      const std::uint32_t rcode = higher << 4 | (m.flags & 0x000Fu);
      // Worked out from the header's four bits and these eight: a value of
      // no single range of bytes, so the line has none.
      d.AddFieldLine(record, kExtendedRcode, Format("Extended RCODE: %s (%u)", ExtendedRcodeName(rcode), rcode), 0,
                     0, rcode);
    }
  }
  if (m.Holds(at + 3, 1)) d.AddUint(record, kVersion, at + 3, "EDNS0 version: %u");
  if (!m.Holds(at + 4, 2)) return;
  const NodeId z = d.AddUint(record, kZ, at + 4, "Z: 0x%04x").line;
  d.AddUint(z, kDo, at + 4, [](std::uint32_t v) {
    return BitPattern16(0x8000, v) + " = DO bit: " +
           (v != 0 ? "Accepts DNSSEC security RRs" : "Cannot handle DNSSEC security RRs");
  });
  d.AddUint(z, kZReserved, at + 4,
            [](std::uint32_t v) { return BitPattern16(0x7FFF, v) + Format(" = Reserved: 0x%04x", v); });
}

std::uint32_t AddOptOptions(PacketDecoder& d, NodeId record, const RecordData& data) {
  std::uint32_t p = data.start;
  while (data.Holds(p, kOptionHeaderLength)) {
    const std::uint16_t code = *d.U16(p);
    const std::uint32_t length = *d.U16(p + 2);
    const std::uint32_t start = p + kOptionHeaderLength;
    const std::uint32_t end = std::min(start + length, data.end);
    const NodeId option = d.AddFieldLine(record, kOption, std::string("Option: ") + OptionName(code), p, end);
    d.AddUint(option, kOptionCode, p, [](std::uint32_t v) { return Format("Option Code: %s (%u)", OptionName(v), v); });
    d.AddUint(option, kOptionLength, p + 2, "Option Length: %u");
    if (end > start) {
      d.AddBytes(option, kOptionData, start, end - start, "Option Data: " + HexText(d.frame + start, end - start));
      if (code == kClientSubnet) AddClientSubnet(d, option, start, end);
      if (code == kCookie) AddCookie(d, option, start, end);
    }
    if (end - start < length) return end;
    p = end;
  }
  return p;
}

}  // namespace qv::dns
