#include "decode/dhcp.h"

#include "decode/app_field_lines.h"
#include "decode/dhcp_names.h"
#include "decode/text_format.h"

namespace qv {

namespace {

using appfield::AddComputedField;
using appfield::AddFlag;
using appfield::Area;
using appfield::AreaOf;
using appfield::BitPattern;
using appfield::HexText;
using appfield::PrintableText;
using dhcpnames::DuidTypeName;
using dhcpnames::HardwareTypeName;

// --- the fields ---

constexpr FieldInfo kProto{"dhcp", "Dynamic Host Configuration Protocol", FieldType::Protocol};
constexpr FieldInfo kOp{"dhcp.type", "Message type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kHwType{"dhcp.hw.type", "Hardware type", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kHwLen{"dhcp.hw.len", "Hardware address length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kHops{"dhcp.hops", "Hops", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kId{"dhcp.id", "Transaction ID", FieldType::UInt32, FieldBase::Hex};
constexpr FieldInfo kSecs{"dhcp.secs", "Seconds elapsed", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kFlags{"dhcp.flags", "Bootp flags", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kFlagBc{"dhcp.flags.bc", "Broadcast flag", FieldType::Boolean, FieldBase::None, 0x8000, 2};
constexpr FieldInfo kFlagReserved{"dhcp.flags.reserved", "Reserved flags", FieldType::UInt16, FieldBase::Hex, 0x7fff};
constexpr FieldInfo kClientIp{"dhcp.ip.client", "Client IP address", FieldType::Ipv4};
constexpr FieldInfo kYourIp{"dhcp.ip.your", "Your (client) IP address", FieldType::Ipv4};
constexpr FieldInfo kServerIp{"dhcp.ip.server", "Next server IP address", FieldType::Ipv4};
constexpr FieldInfo kRelayIp{"dhcp.ip.relay", "Relay agent IP address", FieldType::Ipv4};
constexpr FieldInfo kHwAddr{"dhcp.hw.addr", "Client hardware address", FieldType::Bytes};
constexpr FieldInfo kHwPadding{"dhcp.hw.addr_padding", "Client hardware address padding", FieldType::Bytes};
constexpr FieldInfo kHwMac{"dhcp.hw.mac_addr", "Client MAC address", FieldType::Mac};
constexpr FieldInfo kServerName{"dhcp.server", "Server host name", FieldType::String};
constexpr FieldInfo kFileName{"dhcp.file", "Boot file name", FieldType::String};
constexpr FieldInfo kServerOverloaded{"dhcp.server_name_overloaded_by_dhcp", "Server name option overloaded by DHCP",
                                      FieldType::None};
constexpr FieldInfo kFileOverloaded{"dhcp.boot_filename_overloaded_by_dhcp", "Boot file name option overloaded by DHCP",
                                    FieldType::None};
constexpr FieldInfo kCookie{"dhcp.cookie", "Magic cookie", FieldType::Ipv4};
constexpr FieldInfo kVendorArea{"dhcp.vendor_specific_options", "Bootp vendor specific options", FieldType::Bytes};

// Every option line, and its parts.
constexpr FieldInfo kOptionType{"dhcp.option.type", "Option", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kOptionLength{"dhcp.option.length", "Length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kOptionValue{"dhcp.option.value", "Value", FieldType::Bytes};
constexpr FieldInfo kPadding{"dhcp.option.padding", "Padding", FieldType::Bytes};
constexpr FieldInfo kEnd{"dhcp.option.end", "Option End", FieldType::UInt8, FieldBase::Dec};

// Options with a value of their own.
constexpr FieldInfo kSubnetMask{"dhcp.option.subnet_mask", "Subnet Mask", FieldType::Ipv4};
constexpr FieldInfo kTimeOffset{"dhcp.option.time_offset", "Time Offset", FieldType::Int32, FieldBase::Dec};
constexpr FieldInfo kRouter{"dhcp.option.router", "Router", FieldType::Ipv4};
constexpr FieldInfo kTimeServer{"dhcp.option.time_server", "Time Server", FieldType::Ipv4};
constexpr FieldInfo kNameServer{"dhcp.option.name_server", "Name Server", FieldType::Ipv4};
constexpr FieldInfo kDnsServer{"dhcp.option.domain_name_server", "Domain Name Server", FieldType::Ipv4};
constexpr FieldInfo kLogServer{"dhcp.option.log_server", "Log Server", FieldType::Ipv4};
constexpr FieldInfo kHostName{"dhcp.option.hostname", "Host Name", FieldType::String};
constexpr FieldInfo kBootFileSize{"dhcp.option.boot_file_size", "Boot File Size", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kDomainName{"dhcp.option.domain_name", "Domain Name", FieldType::String};
constexpr FieldInfo kRootPath{"dhcp.option.root_path", "Root Path", FieldType::String};
constexpr FieldInfo kIpForwarding{"dhcp.option.ip_forwarding", "IP Forwarding", FieldType::Boolean};
constexpr FieldInfo kMaxReassembly{"dhcp.option.max_datagram_reassembly_size", "Maximum Datagram Reassembly Size",
                                   FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kDefaultTtl{"dhcp.option.default_ip_ttl", "Default IP Time-to-Live", FieldType::UInt8,
                                FieldBase::Dec};
constexpr FieldInfo kInterfaceMtu{"dhcp.option.interface_mtu", "Interface MTU", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kBroadcast{"dhcp.option.broadcast_address", "Broadcast Address", FieldType::Ipv4};
constexpr FieldInfo kRouterDiscovery{"dhcp.option.perform_router_discover", "Perform Router Discover",
                                     FieldType::Boolean};
constexpr FieldInfo kArpTimeout{"dhcp.option.arp_cache_timeout", "ARP Cache Timeout", FieldType::UInt32,
                                FieldBase::Dec};
constexpr FieldInfo kNisDomain{"dhcp.option.nis_domain", "Network Information Service Domain", FieldType::String};
constexpr FieldInfo kNisServer{"dhcp.option.nis_server", "Network Information Service Server", FieldType::Ipv4};
constexpr FieldInfo kNtpServer{"dhcp.option.ntp_server", "Network Time Protocol Server", FieldType::Ipv4};
constexpr FieldInfo kNetbiosNameServer{"dhcp.option.netbios_over_tcpip_name_server", "NetBIOS over TCP/IP Name Server",
                                       FieldType::Ipv4};
constexpr FieldInfo kNetbiosNodeType{"dhcp.option.netbios_over_tcpip_node_type", "NetBIOS over TCP/IP Node Type",
                                     FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kNetbiosScope{"dhcp.option.netbios_over_tcpip_scope", "NetBIOS over TCP/IP Scope",
                                  FieldType::String};
constexpr FieldInfo kRequestedIp{"dhcp.option.requested_ip_address", "Requested IP Address", FieldType::Ipv4};
constexpr FieldInfo kLeaseTime{"dhcp.option.ip_address_lease_time", "IP Address Lease Time", FieldType::UInt32,
                               FieldBase::Dec};
constexpr FieldInfo kOverload{"dhcp.option.option_overload", "Option Overload", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kMessageType{"dhcp.option.dhcp", "DHCP", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kServerId{"dhcp.option.dhcp_server_id", "DHCP Server Identifier", FieldType::Ipv4};
constexpr FieldInfo kRequestItem{"dhcp.option.request_list_item", "Parameter Request List Item", FieldType::UInt8,
                                 FieldBase::Dec};
constexpr FieldInfo kMessage{"dhcp.option.message", "Message", FieldType::String};
constexpr FieldInfo kMaxMessageSize{"dhcp.option.dhcp_max_message_size", "Maximum DHCP Message Size",
                                    FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kRenewalTime{"dhcp.option.renewal_time_value", "Renewal Time Value", FieldType::UInt32,
                                 FieldBase::Dec};
constexpr FieldInfo kRebindingTime{"dhcp.option.rebinding_time_value", "Rebinding Time Value", FieldType::UInt32,
                                   FieldBase::Dec};
constexpr FieldInfo kVendorClass{"dhcp.option.vendor_class_id", "Vendor class identifier", FieldType::String};
constexpr FieldInfo kTftpServerName{"dhcp.option.tftp_server_name", "TFTP Server Name", FieldType::String};
constexpr FieldInfo kBootfileName{"dhcp.option.bootfile_name", "Bootfile name", FieldType::String};
constexpr FieldInfo kLastTransaction{"dhcp.option.client_last_transaction_time", "Client last transaction time",
                                     FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kAssociatedIp{"dhcp.option.associated_ip_option", "Associated IP option", FieldType::Ipv4};
constexpr FieldInfo kArchitecture{"dhcp.option.client_system_architecture", "Client System Architecture",
                                  FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kAutoConfiguration{"dhcp.option.dhcp_auto_configuration", "DHCP Auto-Configuration",
                                       FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kSubnetSelection{"dhcp.option.subnet_selection_option", "Subnet Selection Option",
                                     FieldType::Ipv4};
constexpr FieldInfo kTftpServerAddress{"dhcp.option.tftp_server_address", "TFTP Server Address", FieldType::Ipv4};
constexpr FieldInfo kProxyAutodiscovery{"dhcp.option.private_proxy_autodiscovery", "Private/Proxy autodiscovery",
                                        FieldType::String};

// Client identifier (61).
constexpr FieldInfo kClientIdType{"dhcp.client_id.type", "Type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kClientId{"dhcp.client_id", "Identifier", FieldType::Bytes};
constexpr FieldInfo kClientIdText{"dhcp.client_id.undef", "Client Identifier", FieldType::String};
constexpr FieldInfo kClientIdIaid{"dhcp.client_id.iaid", "IAID", FieldType::String};
constexpr FieldInfo kClientIdDuidType{"dhcp.client_id.duid_type", "DUID Type", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kClientIdLltHwType{"dhcp.client_id.duid_llt_hw_type", "Hardware type", FieldType::UInt16,
                                       FieldBase::Dec};
constexpr FieldInfo kClientIdLlHwType{"dhcp.client_id.duid_ll_hw_type", "Hardware type", FieldType::UInt16,
                                      FieldBase::Dec};
constexpr FieldInfo kClientIdTime{"dhcp.client_id.time", "Time", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kClientIdLinkAddr{"dhcp.client_id.link_layer_address", "Link layer address", FieldType::String};
constexpr FieldInfo kClientIdEnterprise{"dhcp.client_id.enterprise_num", "Enterprise-number", FieldType::UInt32,
                                        FieldBase::Dec};

// Client FQDN (81).
constexpr FieldInfo kFqdnFlags{"dhcp.fqdn.flags", "Flags", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kFqdnMbz{"dhcp.fqdn.mbz", "Reserved flags", FieldType::UInt8, FieldBase::Hex, 0xf0};
constexpr FieldInfo kFqdnN{"dhcp.fqdn.n", "Server DDNS", FieldType::Boolean, FieldBase::None, 0x08};
constexpr FieldInfo kFqdnE{"dhcp.fqdn.e", "Encoding", FieldType::Boolean, FieldBase::None, 0x04};
constexpr FieldInfo kFqdnO{"dhcp.fqdn.o", "Server overrides", FieldType::Boolean, FieldBase::None, 0x02};
constexpr FieldInfo kFqdnS{"dhcp.fqdn.s", "Server", FieldType::Boolean, FieldBase::None, 0x01};
constexpr FieldInfo kFqdnRcode1{"dhcp.fqdn.rcode1", "A-RR result", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kFqdnRcode2{"dhcp.fqdn.rcode2", "PTR-RR result", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kFqdnName{"dhcp.fqdn.name", "Client name", FieldType::String};

constexpr const FieldInfo* kFields[] = {
    &kProto, &kOp, &kHwType, &kHwLen, &kHops, &kId, &kSecs, &kFlags, &kFlagBc, &kFlagReserved, &kClientIp, &kYourIp,
    &kServerIp, &kRelayIp, &kHwAddr, &kHwPadding, &kHwMac, &kServerName, &kFileName, &kServerOverloaded,
    &kFileOverloaded, &kCookie, &kVendorArea,
    &kOptionType, &kOptionLength, &kOptionValue, &kPadding, &kEnd,
    &kSubnetMask, &kTimeOffset, &kRouter, &kTimeServer, &kNameServer, &kDnsServer, &kLogServer, &kHostName,
    &kBootFileSize, &kDomainName, &kRootPath, &kIpForwarding, &kMaxReassembly, &kDefaultTtl, &kInterfaceMtu,
    &kBroadcast, &kRouterDiscovery, &kArpTimeout, &kNisDomain, &kNisServer, &kNtpServer, &kNetbiosNameServer,
    &kNetbiosNodeType, &kNetbiosScope, &kRequestedIp, &kLeaseTime, &kOverload, &kMessageType, &kServerId,
    &kRequestItem, &kMessage, &kMaxMessageSize, &kRenewalTime, &kRebindingTime, &kVendorClass, &kTftpServerName,
    &kBootfileName, &kLastTransaction, &kAssociatedIp, &kArchitecture, &kAutoConfiguration, &kSubnetSelection,
    &kTftpServerAddress, &kProxyAutodiscovery,
    &kClientIdType, &kClientId, &kClientIdText, &kClientIdIaid, &kClientIdDuidType, &kClientIdLltHwType,
    &kClientIdLlHwType, &kClientIdTime, &kClientIdLinkAddr, &kClientIdEnterprise,
    &kFqdnFlags, &kFqdnMbz, &kFqdnN, &kFqdnE, &kFqdnO, &kFqdnS, &kFqdnRcode1, &kFqdnRcode2, &kFqdnName,
};
const FieldRegistration kRegistration(kFields);

// --- the layout ---

// op, htype, hlen, hops, xid, secs, flags, four addresses, chaddr, sname, file.
constexpr std::uint32_t kChaddr = 28;
constexpr std::uint32_t kChaddrLength = 16;
constexpr std::uint32_t kSname = 44;
constexpr std::uint32_t kSnameLength = 64;
constexpr std::uint32_t kFile = 108;
constexpr std::uint32_t kFileLength = 128;
constexpr std::uint32_t kCookieAt = 236;
constexpr std::uint32_t kOptionsAt = 240;
constexpr std::uint32_t kMagicCookie = 0x63825363;

enum OptionCode : std::uint8_t {
  kPad = 0,
  kOptionSubnetMask = 1,
  kOptionRequestedIp = 50,
  kOptionOverload = 52,
  kOptionMessageType = 53,
  kOptionServerId = 54,
  kOptionEnd = 255,
};

// Option overload bits: the boot file name field, the server host name field.
constexpr std::uint8_t kOverloadFile = 1;
constexpr std::uint8_t kOverloadSname = 2;

// How an option's value is shown.
enum class Kind : std::uint8_t {
  Address,      // one IPv4 address
  AddressList,  // IPv4 addresses, one line each
  Text,         // characters, up to a NUL
  Duration,     // seconds, in words
  Number,       // an unsigned number as wide as its field
  Signed,       // a signed 32-bit number of seconds
  Flag,         // one byte, 0 or 1
  MessageType,
  RequestList,
  ClientId,
  Fqdn,
  Overload,
};

struct OptionLayout {
  std::uint8_t code;
  Kind kind;
  const FieldInfo* field;
};

constexpr OptionLayout kLayouts[] = {
    {1, Kind::Address, &kSubnetMask},
    {2, Kind::Signed, &kTimeOffset},
    {3, Kind::AddressList, &kRouter},
    {4, Kind::AddressList, &kTimeServer},
    {5, Kind::AddressList, &kNameServer},
    {6, Kind::AddressList, &kDnsServer},
    {7, Kind::AddressList, &kLogServer},
    {12, Kind::Text, &kHostName},
    {13, Kind::Number, &kBootFileSize},
    {15, Kind::Text, &kDomainName},
    {17, Kind::Text, &kRootPath},
    {19, Kind::Flag, &kIpForwarding},
    {22, Kind::Number, &kMaxReassembly},
    {23, Kind::Number, &kDefaultTtl},
    {26, Kind::Number, &kInterfaceMtu},
    {28, Kind::Address, &kBroadcast},
    {31, Kind::Flag, &kRouterDiscovery},
    {35, Kind::Duration, &kArpTimeout},
    {40, Kind::Text, &kNisDomain},
    {41, Kind::AddressList, &kNisServer},
    {42, Kind::AddressList, &kNtpServer},
    {44, Kind::AddressList, &kNetbiosNameServer},
    {46, Kind::Number, &kNetbiosNodeType},
    {47, Kind::Text, &kNetbiosScope},
    {50, Kind::Address, &kRequestedIp},
    {51, Kind::Duration, &kLeaseTime},
    {52, Kind::Overload, &kOverload},
    {53, Kind::MessageType, &kMessageType},
    {54, Kind::Address, &kServerId},
    {55, Kind::RequestList, &kRequestItem},
    {56, Kind::Text, &kMessage},
    {57, Kind::Number, &kMaxMessageSize},
    {58, Kind::Duration, &kRenewalTime},
    {59, Kind::Duration, &kRebindingTime},
    {60, Kind::Text, &kVendorClass},
    {61, Kind::ClientId, nullptr},
    {66, Kind::Text, &kTftpServerName},
    {67, Kind::Text, &kBootfileName},
    {81, Kind::Fqdn, nullptr},
    {91, Kind::Duration, &kLastTransaction},
    {92, Kind::AddressList, &kAssociatedIp},
    {93, Kind::Number, &kArchitecture},
    {116, Kind::Number, &kAutoConfiguration},
    {118, Kind::Address, &kSubnetSelection},
    {150, Kind::AddressList, &kTftpServerAddress},
    {252, Kind::Text, &kProxyAutodiscovery},
};

const OptionLayout* FindLayout(std::uint8_t code) {
  for (const OptionLayout& l : kLayouts) {
    if (l.code == code) return &l;
  }
  return nullptr;
}

// --- names ---

const char* OpName(std::uint32_t op) {
  switch (op) {
    case 1: return "Boot Request";
    case 2: return "Boot Reply";
    default: return "Unknown";
  }
}

const char* MessageTypeName(std::uint32_t type) {
  switch (type) {
    case 1: return "Discover";
    case 2: return "Offer";
    case 3: return "Request";
    case 4: return "Decline";
    case 5: return "ACK";
    case 6: return "NAK";
    case 7: return "Release";
    case 8: return "Inform";
    case 9: return "Force Renew";
    case 10: return "Lease query";
    case 11: return "Lease Unassigned";
    case 12: return "Lease Unknown";
    case 13: return "Lease Active";
    case 14: return "Bulk Lease Query";
    case 15: return "Lease Query Done";
    case 16: return "Active LeaseQuery";
    case 17: return "Lease Query Status";
    case 18: return "TLS";
    default: return "Unknown";
  }
}

const char* OverloadName(std::uint32_t value) {
  switch (value) {
    case 1: return "Boot file name holds options";
    case 2: return "Server host name holds options";
    case 3: return "Boot file and server host names hold options";
    default: return "Unknown";
  }
}

// "Value: 010203", or its size alone when it is long.
std::string BytesText(const char* label, const std::uint8_t* bytes, std::uint32_t count) {
  if (count <= 32) return std::string(label) + ": " + HexText(bytes, count);
  return appfield::SizedLabel(label, count);
}

// --- what the header needs to know of the options before it is shown ---

struct Preview {
  std::optional<std::uint8_t> messageType;
  std::uint8_t overload = 0;
};

// The main options area, walked for the message type and the overload
// option: they name the layer and change what the header's name fields hold.
Preview PreviewOptions(const PacketDecoder& d, std::uint32_t start) {
  Preview preview;
  std::uint32_t p = start;
  while (p < d.capturedLength) {
    const std::uint8_t code = d.frame[p];
    if (code == kPad) {
      ++p;
      continue;
    }
    if (code == kOptionEnd || !d.Has(p, 2)) break;
    const std::uint8_t length = d.frame[p + 1];
    if (length >= 1 && d.Has(p + 2, 1)) {
      if (code == kOptionMessageType && !preview.messageType) preview.messageType = d.frame[p + 2];
      if (code == kOptionOverload) preview.overload = d.frame[p + 2];
    }
    p += 2u + length;
  }
  return preview;
}

// --- the header ---

void AddAddress(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at) {
  const std::uint8_t* a = d.Bytes(at, 4);
  if (a == nullptr) return;
  std::string text(f.name);
  text += ": ";
  AppendIpv4(text, a);
  d.AddAddress(parent, f, at, std::move(text));
}

// chaddr: a MAC address when the header says Ethernet, else as many bytes as
// the length says (at most the field); the rest is padding.
void AddHardwareAddress(PacketDecoder& d, NodeId layer, std::uint32_t h, std::optional<std::uint32_t> htype,
                        std::optional<std::uint32_t> hlen) {
  const std::uint32_t at = h + kChaddr;
  if (!d.Has(at, kChaddrLength)) return;
  std::uint32_t used = hlen ? std::min(*hlen, kChaddrLength) : 0;
  if (htype == 1u && used == 6) {
    d.AddAddress(layer, kHwMac, at, "Client MAC address: " + appfield::ColonHex(d.frame + at, 6));
  } else if (used != 0) {
    d.AddBytes(layer, kHwAddr, at, used, "Client hardware address: " + HexText(d.frame + at, used));
  }
  if (used < kChaddrLength) {
    const std::uint32_t rest = kChaddrLength - used;
    d.AddBytes(layer, kHwPadding, at + used, rest,
               "Client hardware address padding: " + HexText(d.frame + at + used, rest));
  }
}

// The server host name or boot file name field: a string up to its NUL, or,
// overloaded, a field that holds options (decoded after the main ones).
void AddNameField(PacketDecoder& d, NodeId layer, std::uint32_t at, std::uint32_t length, bool overloaded,
                  const FieldInfo& f, const FieldInfo& overloadedField) {
  const std::uint8_t* bytes = d.Bytes(at, length);
  if (bytes == nullptr) return;
  if (overloaded) {
    d.AddFieldLine(layer, overloadedField, std::string(overloadedField.name), at, at + length);
    return;
  }
  const std::uint32_t n = appfield::LengthUntilNul(bytes, length);
  std::string text(f.name);
  text += n == 0 ? " not given" : ": " + PrintableText(bytes, n, true);
  AddComputedField(d, layer, f, std::move(text), at, at + length, std::string(bytes, bytes + n));
}

void AddHeader(PacketDecoder& d, NodeId layer, std::uint32_t h, std::uint8_t overload) {
  d.AddUint(layer, kOp, h, [](std::uint32_t v) { return Format("Message type: %s (%u)", OpName(v), v); });
  const FieldRead<std::uint32_t> htype = d.AddUint(layer, kHwType, h + 1, [](std::uint32_t v) {
    return Format("Hardware type: %s (0x%02x)", HardwareTypeName(v), v);
  });
  const FieldRead<std::uint32_t> hlen = d.AddUint(layer, kHwLen, h + 2, "Hardware address length: %u");
  d.AddUint(layer, kHops, h + 3, "Hops: %u");
  d.AddUint(layer, kId, h + 4, "Transaction ID: 0x%08x");
  d.AddUint(layer, kSecs, h + 8, "Seconds elapsed: %u");
  const NodeId flags = d.AddUint(layer, kFlags, h + 10, [](std::uint32_t v) {
    return Format("Bootp flags: 0x%04x (%s)", v, (v & 0x8000) != 0 ? "Broadcast" : "Unicast");
  }).line;
  AddFlag(d, flags, kFlagBc, h + 10, "Broadcast", "Unicast");
  d.AddUint(flags, kFlagReserved, h + 10, [](std::uint32_t v) {
    return BitPattern(kFlagReserved, v) + Format(" = Reserved flags: 0x%04x", v);
  });
  AddAddress(d, layer, kClientIp, h + 12);
  AddAddress(d, layer, kYourIp, h + 16);
  AddAddress(d, layer, kServerIp, h + 20);
  AddAddress(d, layer, kRelayIp, h + 24);
  AddHardwareAddress(d, layer, h, htype.value, hlen.value);
  AddNameField(d, layer, h + kSname, kSnameLength, (overload & kOverloadSname) != 0, kServerName, kServerOverloaded);
  AddNameField(d, layer, h + kFile, kFileLength, (overload & kOverloadFile) != 0, kFileName, kFileOverloaded);
}

// --- option values; `v` is the value, cut where the option is cut ---

void AddAddressList(PacketDecoder& d, NodeId option, const FieldInfo& f, const Area& v) {
  for (std::uint32_t at = v.start; v.Holds(at, 4); at += 4) AddAddress(d, option, f, at);
}

void AddText(PacketDecoder& d, NodeId option, const FieldInfo& f, const Area& v) {
  const std::uint8_t* bytes = d.frame + v.start;
  const std::uint32_t n = appfield::LengthUntilNul(bytes, v.Size());
  AddComputedField(d, option, f, std::string(f.name) + ": " + PrintableText(bytes, n, true), v.start, v.end,
                   std::string(bytes, bytes + n));
}

void AddRequestList(PacketDecoder& d, NodeId option, const Area& v) {
  for (std::uint32_t at = v.start; at < v.end; ++at) {
    d.AddUint(option, kRequestItem, at, [](std::uint32_t code) {
      return Format("Parameter Request List Item: (%u) %s", code, dhcpnames::OptionName(code));
    });
  }
}

// A DUID after the IAID of a client identifier of type 255.
void AddClientDuid(PacketDecoder& d, NodeId option, const Area& v, std::uint32_t p) {
  const FieldRead<std::uint32_t> type = d.AddUint(
      option, kClientIdDuidType, p, [](std::uint32_t t) { return Format("DUID Type: %s (%u)", DuidTypeName(t), t); });
  if (!type || !v.Holds(p, 2)) return;
  std::uint32_t at = p + 2;
  if ((*type == 1 || *type == 3) && v.Holds(at, 2)) {
    const FieldInfo& hw = *type == 1 ? kClientIdLltHwType : kClientIdLlHwType;
    d.AddUint(option, hw, at, [](std::uint32_t t) { return Format("Hardware type: %s (%u)", HardwareTypeName(t), t); });
    at += 2;
    if (*type == 1 && v.Holds(at, 4)) {
      d.AddUint(option, kClientIdTime, at, "Time: %u");
      at += 4;
    }
    if (at < v.end) {
      const std::string address = appfield::ColonHex(d.frame + at, v.end - at);
      AddComputedField(d, option, kClientIdLinkAddr, "Link layer address: " + address, at, v.end, address);
    }
    return;
  }
  if (*type == 2 && v.Holds(at, 4)) {
    d.AddUint(option, kClientIdEnterprise, at, "Enterprise-number: %u");
    at += 4;
  }
  if (at < v.end) d.AddBytes(option, kClientId, at, v.end - at, BytesText("Identifier", d.frame + at, v.end - at));
}

void AddClientId(PacketDecoder& d, NodeId option, const Area& v, std::uint32_t declared) {
  if (v.Size() == 0) return;
  const std::uint8_t type = d.frame[v.start];
  const std::uint32_t at = v.start + 1;
  if (type == 1 && declared == 7) {
    d.AddUint(option, kHwType, v.start,
              [](std::uint32_t t) { return Format("Hardware type: %s (0x%02x)", HardwareTypeName(t), t); });
    if (v.Holds(at, 6)) d.AddAddress(option, kHwMac, at, "Client MAC address: " + appfield::ColonHex(d.frame + at, 6));
    return;
  }
  d.AddUint(option, kClientIdType, v.start, "Type: %u");
  if (type == 0 && at < v.end) {
    AddText(d, option, kClientIdText, {at, v.end});
  } else if (type == 255 && v.Holds(at, 4)) {
    const std::string iaid = HexText(d.frame + at, 4);
    AddComputedField(d, option, kClientIdIaid, "IAID: " + iaid, at, at + 4, iaid);
    AddClientDuid(d, option, v, at + 4);
  } else if (at < v.end) {
    d.AddBytes(option, kClientId, at, v.end - at, BytesText("Identifier", d.frame + at, v.end - at));
  }
}

// Client FQDN: flags, the two update results, the name (wire form when the
// E flag is set, else ASCII).
void AddFqdn(PacketDecoder& d, NodeId option, const Area& v) {
  if (!v.Holds(v.start, 1)) return;
  const NodeId flags = d.AddUint(option, kFqdnFlags, v.start, [](std::uint32_t f) {
    std::string text = Format("Flags: 0x%02x", f);
    if ((f & 0x08) != 0) text += ", Server DDNS";
    if ((f & 0x04) != 0) text += ", Encoding";
    if ((f & 0x02) != 0) text += ", Server overrides";
    if ((f & 0x01) != 0) text += ", Server";
    return text;
  }).line;
  d.AddUint(flags, kFqdnMbz, v.start,
            [](std::uint32_t f) { return BitPattern(kFqdnMbz, f) + Format(" = Reserved flags: 0x%x", f); });
  AddFlag(d, flags, kFqdnN, v.start, "No server updates", "Some server updates");
  const FieldRead<std::uint32_t> encoding = AddFlag(d, flags, kFqdnE, v.start, "Binary encoding", "ASCII encoding");
  AddFlag(d, flags, kFqdnO, v.start, "Override", "No override");
  AddFlag(d, flags, kFqdnS, v.start, "Server", "Client");
  if (v.Holds(v.start + 1, 1)) d.AddUint(option, kFqdnRcode1, v.start + 1, "A-RR result: %u");
  if (v.Holds(v.start + 2, 1)) d.AddUint(option, kFqdnRcode2, v.start + 2, "PTR-RR result: %u");
  const std::uint32_t at = v.start + 3;
  if (at >= v.end) return;
  if (encoding.value == 1u) {
    const appfield::WireName name = appfield::ReadWireName(d, at, v.end);
    AddComputedField(d, option, kFqdnName, "Client name: " + name.text, at, name.next, name.text);
  } else {
    AddText(d, option, kFqdnName, {at, v.end});
  }
}

// A value whose length fits its layout is shown by it; anything else (a
// wrong length, a value cut short) as bytes.
void AddValue(PacketDecoder& d, NodeId option, std::uint8_t code, const Area& v, std::uint32_t declared) {
  const OptionLayout* layout = FindLayout(code);
  const std::uint32_t width = layout != nullptr && layout->field != nullptr ? FieldWidth(*layout->field) : 0;
  const bool whole = v.Size() == declared;
  if (layout != nullptr) {
    // The client identifier and FQDN layouts name their fields themselves.
    const FieldInfo& f = layout->field != nullptr ? *layout->field : kOptionValue;
    switch (layout->kind) {
      case Kind::Address:
      case Kind::Number:
      case Kind::Signed:
      case Kind::Duration:
      case Kind::MessageType:
      case Kind::Overload:
        if (declared != width || !whole) break;
        if (layout->kind == Kind::Address) {
          AddAddress(d, option, f, v.start);
        } else if (layout->kind == Kind::Number) {
          d.AddUint(option, f, v.start, [&f](std::uint32_t n) { return std::string(f.name) + Format(": %u", n); });
        } else if (layout->kind == Kind::Signed) {
          d.AddUint(option, f, v.start, [&f](std::uint32_t n) {
            return std::string(f.name) + Format(": %d seconds", static_cast<std::int32_t>(n));
          });
        } else if (layout->kind == Kind::Duration) {
          d.AddUint(option, f, v.start,
                    [&f](std::uint32_t n) { return std::string(f.name) + ": " + appfield::DurationText(n); });
        } else if (layout->kind == Kind::MessageType) {
          d.AddUint(option, f, v.start, [](std::uint32_t n) { return Format("DHCP: %s (%u)", MessageTypeName(n), n); });
        } else {
          d.AddUint(option, f, v.start,
                    [](std::uint32_t n) { return Format("Option Overload: %s (%u)", OverloadName(n), n); });
        }
        return;
      case Kind::Flag:
        if (declared != 1 || !whole) break;
        d.AddUint(option, f, v.start,
                  [&f](std::uint32_t n) { return std::string(f.name) + (n != 0 ? ": Enabled" : ": Disabled"); });
        return;
      case Kind::AddressList:
        if (declared == 0 || declared % 4 != 0) break;
        AddAddressList(d, option, f, v);
        return;
      case Kind::Text:
        if (v.Size() != 0) AddText(d, option, f, v);
        return;
      case Kind::RequestList: AddRequestList(d, option, v); return;
      case Kind::ClientId: AddClientId(d, option, v, declared); return;
      case Kind::Fqdn: AddFqdn(d, option, v); return;
    }
  }
  if (v.Size() != 0) {
    d.AddBytes(option, kOptionValue, v.start, v.Size(), BytesText("Value", d.frame + v.start, v.Size()));
  }
}

// "Option: (54) DHCP Server Identifier (192.168.0.1)": the value joins the
// title for the message type and the single addresses that identify a lease.
std::string OptionTitle(const PacketDecoder& d, std::uint8_t code, const Area& v, std::uint32_t declared) {
  std::string text = Format("Option: (%u) %s", code, dhcpnames::OptionName(code));
  const bool whole = v.Size() == declared;
  if (code == kOptionMessageType && declared == 1 && whole) {
    text += Format(" (%s)", MessageTypeName(d.frame[v.start]));
  } else if ((code == kOptionSubnetMask || code == kOptionRequestedIp || code == kOptionServerId) && declared == 4 &&
             whole) {
    text += " (";
    AppendIpv4(text, d.frame + v.start);
    text += ')';
  }
  return text;
}

// --- the option walk ---

// Walks the options of [start, end), `end` at most the captured end: pads
// (a run of them is one line), options by code and length, the end option.
// An option whose length runs past `end` is cut there and ends the walk.
// Returns where the end option left off (the padding after it), or `end`.
std::uint32_t AddOptions(PacketDecoder& d, NodeId parent, std::uint32_t start, std::uint32_t end) {
  std::uint32_t p = start;
  while (p < end) {
    const std::uint8_t code = d.frame[p];
    if (code == kPad) {
      std::uint32_t q = p;
      while (q < end && d.frame[q] == kPad) ++q;
      const NodeId option = d.AddFieldLine(parent, kOptionType, "Option: (0) Padding", p, q, kPad);
      d.AddBytes(option, kPadding, p, q - p, appfield::SizedLabel("Padding", q - p));
      p = q;
      continue;
    }
    if (code == kOptionEnd) {
      const NodeId option = d.AddFieldLine(parent, kOptionType, "Option: (255) End", p, p + 1, kOptionEnd);
      d.AddUint(option, kEnd, p, "Option End: %u");
      return p + 1;
    }
    if (p + 1 >= end) {
      // The code is the last byte there is: no length, no value.
      d.AddFieldLine(parent, kOptionType, Format("Option: (%u) %s", code, dhcpnames::OptionName(code)), p, p + 1, code);
      return end;
    }
    const std::uint32_t declared = d.frame[p + 1];
    const Area a = AreaOf(p, 2u + declared, end);
    const Area v{p + 2, a.end};
    const NodeId option = d.AddFieldLine(parent, kOptionType, OptionTitle(d, code, v, declared), a.start, a.end, code);
    const NodeId length = d.AddUint(option, kOptionLength, p + 1, "Length: %u").line;
    if (v.Size() < declared) d.AppendText(length, Format(" (only %u bytes follow)", v.Size()));
    AddValue(d, option, code, v, declared);
    if (v.Size() < declared) return end;
    p = a.end;
  }
  return end;
}

// Bytes after an end option.
void AddPadding(PacketDecoder& d, NodeId parent, std::uint32_t start, std::uint32_t end) {
  if (start < end) d.AddBytes(parent, kPadding, start, end - start, appfield::SizedLabel("Padding", end - start));
}

// An overloaded name field decoded as options, after the main options.
void AddOverloadedField(PacketDecoder& d, NodeId layer, std::uint32_t at, std::uint32_t length, const char* title) {
  if (!d.Has(at, length)) return;
  const NodeId group = d.AddLine(layer, title, at, at + length);
  AddPadding(d, group, AddOptions(d, group, at, at + length), at + length);
}

std::string LayerTitle(const Preview& preview) {
  if (!preview.messageType) return "DHCP";
  return Format("DHCP (%s)", MessageTypeName(*preview.messageType));
}

void DescribeMessage(PacketDecoder& d, std::uint32_t h) {
  const std::optional<std::uint32_t> cookie = d.U32(h + kCookieAt);
  const bool dhcp = cookie == kMagicCookie;
  const Preview preview = dhcp ? PreviewOptions(d, h + kOptionsAt) : Preview{};
  const NodeId layer = d.AddLayerLine(kProto, LayerTitle(preview), h, d.capturedLength);
  AddHeader(d, layer, h, preview.overload);
  if (!cookie) return;
  if (!dhcp) {
    // BOOTP without the DHCP cookie: the vendor area as it is.
    const std::uint32_t rest = d.Available(h + kCookieAt);
    d.AddBytes(layer, kVendorArea, h + kCookieAt, rest, appfield::SizedLabel("Bootp vendor specific options", rest));
    return;
  }
  d.AddAddress(layer, kCookie, h + kCookieAt, "Magic cookie: DHCP");
  AddPadding(d, layer, AddOptions(d, layer, h + kOptionsAt, d.capturedLength), d.capturedLength);
  // The fields the overload option gave to options are read after the main
  // options: the boot file name first, then the server host name.
  if ((preview.overload & kOverloadFile) != 0) {
    AddOverloadedField(d, layer, h + kFile, kFileLength, "Boot file name option overload");
  }
  if ((preview.overload & kOverloadSname) != 0) {
    AddOverloadedField(d, layer, h + kSname, kSnameLength, "Server host name option overload");
  }
}

}  // namespace

void DecodeDhcp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Dhcp);
  // The row and the statistics only learn that DHCP was here.
  if (!d.IsTree()) return;
  DescribeMessage(d, h);
}

}  // namespace qv
