#include "decode/dhcpv6.h"

#include "decode/app_field_lines.h"
#include "decode/dhcp_names.h"
#include "decode/text_format.h"

namespace qv {

namespace {

using appfield::AddComputedField;
using appfield::Area;
using appfield::AreaOf;
using appfield::HexText;

// --- the fields ---

constexpr FieldInfo kProto{"dhcpv6", "DHCPv6", FieldType::Protocol};
constexpr FieldInfo kMsgType{"dhcpv6.msgtype", "Message type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kHopCount{"dhcpv6.hopcount", "Hopcount", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kXid{"dhcpv6.xid", "Transaction ID", FieldType::UInt24, FieldBase::Hex};
constexpr FieldInfo kLinkAddr{"dhcpv6.linkaddr", "Link address", FieldType::Ipv6};
constexpr FieldInfo kPeerAddr{"dhcpv6.peeraddr", "Peer address", FieldType::Ipv6};
constexpr FieldInfo kOptionType{"dhcpv6.option.type", "Option", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kOptionLength{"dhcpv6.option.length", "Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kOptionValue{"dhcpv6.option.value", "Value", FieldType::Bytes};

// DHCP unique identifiers.
constexpr FieldInfo kDuid{"dhcpv6.duid.bytes", "DUID", FieldType::Bytes};
constexpr FieldInfo kDuidType{"dhcpv6.duid.type", "DUID Type", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kLltHwType{"dhcpv6.duidllt.hwtype", "Hardware type", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kLltTime{"dhcpv6.duidllt.time", "DUID Time", FieldType::AbsoluteTime};
constexpr FieldInfo kLltLinkAddr{"dhcpv6.duidllt.link_layer_addr", "Link-layer address", FieldType::String};
constexpr FieldInfo kEnEnterprise{"dhcpv6.duiden.enterprise", "Enterprise ID", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kEnIdentifier{"dhcpv6.duiden.identifier", "Identifier", FieldType::Bytes};
constexpr FieldInfo kLlHwType{"dhcpv6.duidll.hwtype", "Hardware type", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kLlLinkAddr{"dhcpv6.duidll.link_layer_addr", "Link-layer address", FieldType::String};
constexpr FieldInfo kUuid{"dhcpv6.duiduuid.bytes", "UUID", FieldType::Bytes};

// Identity associations and what they hold.
constexpr FieldInfo kIaid{"dhcpv6.iaid", "IAID", FieldType::String};
constexpr FieldInfo kT1{"dhcpv6.iaid.t1", "T1", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kT2{"dhcpv6.iaid.t2", "T2", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kIata{"dhcpv6.iata", "IATA", FieldType::String};
constexpr FieldInfo kIaAddress{"dhcpv6.iaaddr.ip", "IPv6 address", FieldType::Ipv6};
constexpr FieldInfo kIaAddressPreferred{"dhcpv6.iaaddr.pref_lifetime", "Preferred lifetime", FieldType::UInt32,
                                        FieldBase::Dec};
constexpr FieldInfo kIaAddressValid{"dhcpv6.iaaddr.valid_lifetime", "Valid lifetime", FieldType::UInt32,
                                    FieldBase::Dec};
constexpr FieldInfo kIaPrefixPreferred{"dhcpv6.iaprefix.pref_lifetime", "Preferred lifetime", FieldType::UInt32,
                                       FieldBase::Dec};
constexpr FieldInfo kIaPrefixValid{"dhcpv6.iaprefix.valid_lifetime", "Valid lifetime", FieldType::UInt32,
                                   FieldBase::Dec};
constexpr FieldInfo kIaPrefixLength{"dhcpv6.iaprefix.pref_len", "Prefix length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kIaPrefix{"dhcpv6.iaprefix.pref_addr", "Prefix address", FieldType::Ipv6};

// The other options.
constexpr FieldInfo kRequestedOption{"dhcpv6.requested_option_code", "Requested Option code", FieldType::UInt16,
                                     FieldBase::Dec};
constexpr FieldInfo kPreference{"dhcpv6.option_preference", "Pref-value", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kElapsed{"dhcpv6.elapsed_time", "Elapsed time", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kUnicast{"dhcpv6.unicast", "IPv6 address", FieldType::Ipv6};
constexpr FieldInfo kStatusCode{"dhcpv6.status_code", "Status Code", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kStatusMessage{"dhcpv6.status_msg", "Status Message", FieldType::String};
constexpr FieldInfo kInterfaceId{"dhcpv6.interface_id", "Interface-ID", FieldType::Bytes};
constexpr FieldInfo kReconfigureMessage{"dhcpv6.reconf_msg", "Reconfigure message type", FieldType::UInt8,
                                        FieldBase::Dec};
constexpr FieldInfo kSipDomain{"dhcpv6.sip_server_domain_search_fqdn", "SIP Server Domain Search FQDN",
                               FieldType::String};
constexpr FieldInfo kSipServer{"dhcpv6.sip_server_a", "SIP server address", FieldType::Ipv6};
constexpr FieldInfo kDnsServer{"dhcpv6.dns_server", "DNS server address", FieldType::Ipv6};
constexpr FieldInfo kSearchListEntry{"dhcpv6.search_list_entry", "List entry", FieldType::String};
constexpr FieldInfo kNisServer{"dhcpv6.nis_server", "NIS server address", FieldType::Ipv6};
constexpr FieldInfo kNispServer{"dhcpv6.nisp_server", "NISP server address", FieldType::Ipv6};
constexpr FieldInfo kNisDomain{"dhcpv6.nis_fqdn", "NIS FQDN", FieldType::String};
constexpr FieldInfo kNispDomain{"dhcpv6.nisp_fqdn", "NISP FQDN", FieldType::String};
constexpr FieldInfo kSntpServer{"dhcpv6.sntp_server", "SNTP server address", FieldType::Ipv6};
constexpr FieldInfo kLifetime{"dhcpv6.lifetime", "Lifetime", FieldType::UInt32, FieldBase::Dec};

constexpr const FieldInfo* kFields[] = {
    &kProto, &kMsgType, &kHopCount, &kXid, &kLinkAddr, &kPeerAddr, &kOptionType, &kOptionLength, &kOptionValue,
    &kDuid, &kDuidType, &kLltHwType, &kLltTime, &kLltLinkAddr, &kEnEnterprise, &kEnIdentifier, &kLlHwType,
    &kLlLinkAddr, &kUuid,
    &kIaid, &kT1, &kT2, &kIata, &kIaAddress, &kIaAddressPreferred, &kIaAddressValid, &kIaPrefixPreferred,
    &kIaPrefixValid, &kIaPrefixLength, &kIaPrefix,
    &kRequestedOption, &kPreference, &kElapsed, &kUnicast, &kStatusCode, &kStatusMessage, &kInterfaceId,
    &kReconfigureMessage, &kSipDomain, &kSipServer, &kDnsServer, &kSearchListEntry, &kNisServer, &kNispServer,
    &kNisDomain, &kNispDomain, &kSntpServer, &kLifetime,
};
const FieldRegistration kRegistration(kFields);

// --- the layout ---

constexpr std::uint32_t kHeaderLength = 4;        // type and transaction id
constexpr std::uint32_t kRelayHeaderLength = 34;  // type, hop count, link and peer addresses
constexpr std::uint32_t kOptionHeaderLength = 4;  // code and length
constexpr std::uint32_t kAddressLength = 16;
// Option lists nest in options (an address in an identity association, a
// whole message in a relay message); a hostile chain of them is followed no
// deeper than this. A relay chain as deep as relays may forward (eight hops)
// with its identity associations fits well within it.
constexpr int kMaxNesting = 16;
// Seconds from 1970 to 2000, where DUID times count from.
constexpr std::uint64_t kDuidEpoch = 946684800;

enum MessageType : std::uint8_t { kRelayForward = 12, kRelayReply = 13 };

enum OptionCode : std::uint16_t {
  kClientId = 1,
  kServerId = 2,
  kIaNa = 3,
  kIaTa = 4,
  kIaAddr = 5,
  kOro = 6,
  kPreferenceOption = 7,
  kElapsedTime = 8,
  kRelayMessage = 9,
  kServerUnicast = 12,
  kStatus = 13,
  kInterfaceIdOption = 18,
  kReconfigureMessageOption = 19,
  kSipDomainList = 21,
  kSipServers = 22,
  kDnsServers = 23,
  kDomainList = 24,
  kIaPd = 25,
  kIaPrefixOption = 26,
  kNisServers = 27,
  kNispServers = 28,
  kNisDomainName = 29,
  kNispDomainName = 30,
  kSntpServers = 31,
  kInformationRefreshTime = 32,
};

const char* MessageTypeName(std::uint32_t type) {
  switch (type) {
    case 1: return "Solicit";
    case 2: return "Advertise";
    case 3: return "Request";
    case 4: return "Confirm";
    case 5: return "Renew";
    case 6: return "Rebind";
    case 7: return "Reply";
    case 8: return "Release";
    case 9: return "Decline";
    case 10: return "Reconfigure";
    case 11: return "Information-request";
    case 12: return "Relay-forw";
    case 13: return "Relay-reply";
    case 14: return "Leasequery";
    case 15: return "Leasequery-reply";
    case 16: return "Leasequery-done";
    case 17: return "Leasequery-data";
    case 18: return "Reconfigure-request";
    case 19: return "Reconfigure-reply";
    case 20: return "DHCPv4-query";
    case 21: return "DHCPv4-response";
    default: return "Unknown";
  }
}

const char* OptionName(std::uint32_t code) {
  switch (code) {
    case 1: return "Client Identifier";
    case 2: return "Server Identifier";
    case 3: return "Identity Association for Non-temporary Address";
    case 4: return "Identity Association for Temporary Address";
    case 5: return "IA Address";
    case 6: return "Option Request";
    case 7: return "Preference";
    case 8: return "Elapsed time";
    case 9: return "Relay Message";
    case 11: return "Authentication";
    case 12: return "Server unicast";
    case 13: return "Status code";
    case 14: return "Rapid Commit";
    case 15: return "User Class";
    case 16: return "Vendor Class";
    case 17: return "Vendor-specific Information";
    case 18: return "Interface-Id";
    case 19: return "Reconfigure Message";
    case 20: return "Reconfigure Accept";
    case 21: return "SIP Server Domain Name List";
    case 22: return "SIP Servers IPv6 Address List";
    case 23: return "DNS recursive name server";
    case 24: return "Domain Search List";
    case 25: return "Identity Association for Prefix Delegation";
    case 26: return "IA Prefix";
    case 27: return "Network Information Server";
    case 28: return "Network Information Server V2";
    case 29: return "Network Information Server Domain Name";
    case 30: return "Network Information Server V2 Domain Name";
    case 31: return "Simple Network Time Protocol Server";
    case 32: return "Lifetime";
    case 33: return "BCMCS Server Domain";
    case 34: return "BCMCS Servers IPv6 Address List";
    case 36: return "Geoconf Civic Address";
    case 37: return "Remote Identifier";
    case 38: return "Subscriber Identifier";
    case 39: return "Client Fully Qualified Domain Name";
    case 40: return "PANA Agents IPv6 Address List";
    case 41: return "Time Zone";
    case 42: return "Time Zone Database";
    case 43: return "Echo Request Option";
    case 44: return "Leasequery Query";
    case 45: return "Leasequery Client Data";
    case 46: return "Client Last Transaction Time";
    case 47: return "Leasequery Relay Data";
    case 48: return "Leasequery Client Link Address List";
    case 53: return "Relay-ID";
    case 56: return "NTP Server";
    case 59: return "Boot File URL";
    case 60: return "Boot File Parameters";
    case 61: return "Client System Architecture Type";
    case 62: return "Client Network Interface Identifier";
    case 64: return "Dual-Stack Lite AFTR Name";
    case 67: return "Prefix Exclude";
    case 79: return "Client Link-Layer Address";
    case 82: return "SOL_MAX_RT";
    case 83: return "INF_MAX_RT";
    case 103: return "Captive Portal";
    case 112: return "Manufacturer Usage Description";
    default: return "Unknown";
  }
}

const char* StatusCodeName(std::uint32_t code) {
  switch (code) {
    case 0: return "Success";
    case 1: return "UnspecFail";
    case 2: return "NoAddrAvail";
    case 3: return "NoBinding";
    case 4: return "NotOnLink";
    case 5: return "UseMulticast";
    case 6: return "NoPrefixAvail";
    case 7: return "UnknownQueryType";
    case 8: return "MalformedQuery";
    case 9: return "NotConfigured";
    case 10: return "NotAllowed";
    case 11: return "QueryTerminated";
    case 12: return "DataMissing";
    case 13: return "CatchUpComplete";
    case 14: return "NotSupported";
    case 15: return "TLSConnectionRefused";
    default: return "Unknown";
  }
}

// The options that are lists of addresses or of domain names, and their fields.
const FieldInfo* AddressListField(std::uint16_t code) {
  switch (code) {
    case kSipServers: return &kSipServer;
    case kDnsServers: return &kDnsServer;
    case kNisServers: return &kNisServer;
    case kNispServers: return &kNispServer;
    case kSntpServers: return &kSntpServer;
    default: return nullptr;
  }
}

const FieldInfo* DomainListField(std::uint16_t code) {
  switch (code) {
    case kSipDomainList: return &kSipDomain;
    case kDomainList: return &kSearchListEntry;
    case kNisDomainName: return &kNisDomain;
    case kNispDomainName: return &kNispDomain;
    default: return nullptr;
  }
}

bool IsRelay(std::uint8_t type) { return type == kRelayForward || type == kRelayReply; }

std::string BytesText(const char* label, const std::uint8_t* bytes, std::uint32_t count) {
  if (count <= 32) return std::string(label) + ": " + HexText(bytes, count);
  return appfield::SizedLabel(label, count);
}

// "7200", or "infinity" for the all-ones lifetime.
std::string Lifetime(const char* label, std::uint32_t seconds) {
  return seconds == 0xFFFFFFFFu ? std::string(label) + ": infinity" : Format("%s: %u", label, seconds);
}

// --- field lines ---

void AddIpv6(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at) {
  const std::uint8_t* a = d.Bytes(at, kAddressLength);
  if (a == nullptr) return;
  std::string text(f.name);
  text += ": ";
  AppendIpv6(text, a);
  d.AddAddress(parent, f, at, std::move(text));
}

void AddRestAsBytes(PacketDecoder& d, NodeId parent, const FieldInfo& f, const char* label, std::uint32_t at,
                    std::uint32_t end) {
  if (at < end) d.AddBytes(parent, f, at, end - at, BytesText(label, d.frame + at, end - at));
}

// A link-layer address in colon notation, whatever its length.
void AddLinkLayerAddress(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at, std::uint32_t end) {
  if (at >= end) return;
  const std::string address = appfield::ColonHex(d.frame + at, end - at);
  AddComputedField(d, parent, f, "Link-layer address: " + address, at, end, address);
}

// Seconds since 2000; the field's value is the time in nanoseconds since 1970.
void AddDuidTime(PacketDecoder& d, NodeId option, std::uint32_t at) {
  const std::uint64_t ns = (*d.U32(at) + kDuidEpoch) * 1000000000u;
  d.AddFieldLine(option, kLltTime, "DUID Time: " + FieldValueText(kLltTime, ns, {}), at, at + 4, ns);
}

void AddDuid(PacketDecoder& d, NodeId option, const Area& v) {
  if (v.Size() == 0) return;
  d.AddBytes(option, kDuid, v.start, v.Size(), BytesText("DUID", d.frame + v.start, v.Size()));
  if (!v.Holds(v.start, 2)) return;
  const std::uint32_t type = *d.AddUint(option, kDuidType, v.start, [](std::uint32_t t) {
    return Format("DUID Type: %s (%u)", dhcpnames::DuidTypeName(t), t);
  });
  const auto hardwareType = [](std::uint32_t t) {
    return Format("Hardware type: %s (%u)", dhcpnames::HardwareTypeName(t), t);
  };
  std::uint32_t at = v.start + 2;
  switch (type) {
    case 1:
      if (!v.Holds(at, 6)) break;
      d.AddUint(option, kLltHwType, at, hardwareType);
      AddDuidTime(d, option, at + 2);
      AddLinkLayerAddress(d, option, kLltLinkAddr, at + 6, v.end);
      return;
    case 2:
      if (!v.Holds(at, 4)) break;
      d.AddUint(option, kEnEnterprise, at, "Enterprise ID: %u");
      AddRestAsBytes(d, option, kEnIdentifier, "Identifier", at + 4, v.end);
      return;
    case 3:
      if (!v.Holds(at, 2)) break;
      d.AddUint(option, kLlHwType, at, hardwareType);
      AddLinkLayerAddress(d, option, kLlLinkAddr, at + 2, v.end);
      return;
    case 4: AddRestAsBytes(d, option, kUuid, "UUID", at, v.end); return;
    default: return;
  }
}

// --- messages and options ---

void AddOptions(PacketDecoder& d, NodeId parent, std::uint32_t start, std::uint32_t end, int nesting);
void AddMessage(PacketDecoder& d, NodeId parent, std::uint32_t start, std::uint32_t end, int nesting);

// The options inside an option, from `at` to the option's end.
void AddNestedOptions(PacketDecoder& d, NodeId option, std::uint32_t at, const Area& v, int nesting) {
  if (at >= v.end) return;
  if (nesting >= kMaxNesting) {
    d.AddBytes(option, kOptionValue, at, v.end - at, Format("Nested too deeply: %u bytes not decoded", v.end - at));
    return;
  }
  AddOptions(d, option, at, v.end, nesting + 1);
}

// IA_NA and IA_PD: IAID, T1, T2 and options; IA_TA: IAID and options.
void AddIdentityAssociation(PacketDecoder& d, NodeId option, std::uint16_t code, const Area& v, int nesting) {
  if (!v.Holds(v.start, 4)) return AddRestAsBytes(d, option, kOptionValue, "Value", v.start, v.end);
  const std::string iaid = HexText(d.frame + v.start, 4);
  if (code == kIaTa) {
    AddComputedField(d, option, kIata, "IATA: " + iaid, v.start, v.start + 4, iaid);
    return AddNestedOptions(d, option, v.start + 4, v, nesting);
  }
  AddComputedField(d, option, kIaid, "IAID: " + iaid, v.start, v.start + 4, iaid);
  if (!v.Holds(v.start + 4, 8)) return AddRestAsBytes(d, option, kOptionValue, "Value", v.start + 4, v.end);
  d.AddUint(option, kT1, v.start + 4, [](std::uint32_t t) { return Lifetime("T1", t); });
  d.AddUint(option, kT2, v.start + 8, [](std::uint32_t t) { return Lifetime("T2", t); });
  AddNestedOptions(d, option, v.start + 12, v, nesting);
}

void AddIaAddress(PacketDecoder& d, NodeId option, const Area& v, int nesting) {
  if (!v.Holds(v.start, 24)) return AddRestAsBytes(d, option, kOptionValue, "Value", v.start, v.end);
  AddIpv6(d, option, kIaAddress, v.start);
  d.AddUint(option, kIaAddressPreferred, v.start + 16,
            [](std::uint32_t t) { return Lifetime("Preferred lifetime", t); });
  d.AddUint(option, kIaAddressValid, v.start + 20, [](std::uint32_t t) { return Lifetime("Valid lifetime", t); });
  AddNestedOptions(d, option, v.start + 24, v, nesting);
}

void AddIaPrefix(PacketDecoder& d, NodeId option, const Area& v, int nesting) {
  if (!v.Holds(v.start, 25)) return AddRestAsBytes(d, option, kOptionValue, "Value", v.start, v.end);
  d.AddUint(option, kIaPrefixPreferred, v.start, [](std::uint32_t t) { return Lifetime("Preferred lifetime", t); });
  d.AddUint(option, kIaPrefixValid, v.start + 4, [](std::uint32_t t) { return Lifetime("Valid lifetime", t); });
  d.AddUint(option, kIaPrefixLength, v.start + 8, "Prefix length: %u");
  AddIpv6(d, option, kIaPrefix, v.start + 9);
  AddNestedOptions(d, option, v.start + 25, v, nesting);
}

void AddStatus(PacketDecoder& d, NodeId option, const Area& v) {
  if (!v.Holds(v.start, 2)) return AddRestAsBytes(d, option, kOptionValue, "Value", v.start, v.end);
  d.AddUint(option, kStatusCode, v.start,
            [](std::uint32_t c) { return Format("Status Code: %s (%u)", StatusCodeName(c), c); });
  const std::uint32_t at = v.start + 2;
  if (at < v.end) {
    d.AddBytes(option, kStatusMessage, at, v.end - at,
               "Status Message: " + appfield::PrintableText(d.frame + at, v.end - at, false));
  }
}

// Domain names in wire form, each with its root label; "example.com.".
void AddDomainList(PacketDecoder& d, NodeId option, const FieldInfo& f, const Area& v) {
  std::uint32_t at = v.start;
  while (at < v.end) {
    const appfield::WireName name = appfield::ReadWireName(d, at, v.end);
    const std::string value = name.text + '.';
    std::string text = std::string(f.name) + ": " + value;
    if (!name.complete) text += " (malformed)";
    AddComputedField(d, option, f, std::move(text), at, name.next, value);
    at = name.next;
  }
}

void AddValue(PacketDecoder& d, NodeId option, std::uint16_t code, const Area& v, int nesting) {
  if (const FieldInfo* f = AddressListField(code)) {
    for (std::uint32_t at = v.start; v.Holds(at, kAddressLength); at += kAddressLength) AddIpv6(d, option, *f, at);
    if (v.Size() % kAddressLength != 0) {
      AddRestAsBytes(d, option, kOptionValue, "Value", v.end - v.Size() % kAddressLength, v.end);
    }
    return;
  }
  if (const FieldInfo* f = DomainListField(code)) return AddDomainList(d, option, *f, v);
  switch (code) {
    case kClientId:
    case kServerId: return AddDuid(d, option, v);
    case kIaNa:
    case kIaTa:
    case kIaPd: return AddIdentityAssociation(d, option, code, v, nesting);
    case kIaAddr: return AddIaAddress(d, option, v, nesting);
    case kIaPrefixOption: return AddIaPrefix(d, option, v, nesting);
    case kOro:
      for (std::uint32_t at = v.start; v.Holds(at, 2); at += 2) {
        d.AddUint(option, kRequestedOption, at,
                  [](std::uint32_t c) { return Format("Requested Option code: %s (%u)", OptionName(c), c); });
      }
      return;
    case kPreferenceOption:
      if (v.Size() != 1) break;
      d.AddUint(option, kPreference, v.start, "Pref-value: %u");
      return;
    case kElapsedTime:
      if (v.Size() != 2) break;
      // In hundredths of a second.
      d.AddUint(option, kElapsed, v.start,
                [](std::uint32_t t) { return Format("Elapsed time: %u.%02u s (%u)", t / 100, t % 100, t); });
      return;
    case kRelayMessage:
      if (v.Size() == 0) return;
      if (nesting >= kMaxNesting) {
        d.AddBytes(option, kOptionValue, v.start, v.Size(),
                   Format("Nested too deeply: %u bytes not decoded", v.Size()));
        return;
      }
      return AddMessage(d, option, v.start, v.end, nesting + 1);
    case kServerUnicast:
      if (v.Size() != kAddressLength) break;
      AddIpv6(d, option, kUnicast, v.start);
      return;
    case kStatus: return AddStatus(d, option, v);
    case kInterfaceIdOption: return AddRestAsBytes(d, option, kInterfaceId, "Interface-ID", v.start, v.end);
    case kReconfigureMessageOption:
      if (v.Size() != 1) break;
      d.AddUint(option, kReconfigureMessage, v.start,
                [](std::uint32_t t) { return Format("Reconfigure message type: %s (%u)", MessageTypeName(t), t); });
      return;
    case kInformationRefreshTime:
      if (v.Size() != 4) break;
      d.AddUint(option, kLifetime, v.start, [](std::uint32_t t) { return Lifetime("Lifetime", t); });
      return;
    default: break;
  }
  AddRestAsBytes(d, option, kOptionValue, "Value", v.start, v.end);
}

// The options of [start, end), `end` at most the captured end. An option
// whose length runs past `end` is cut there and ends the walk.
void AddOptions(PacketDecoder& d, NodeId parent, std::uint32_t start, std::uint32_t end, int nesting) {
  std::uint32_t p = start;
  while (p < end) {
    const Area header = AreaOf(p, kOptionHeaderLength, end);
    const std::optional<std::uint16_t> code = header.Holds(p, 2) ? d.U16(p) : std::nullopt;
    const std::optional<std::uint16_t> length = header.Holds(p + 2, 2) ? d.U16(p + 2) : std::nullopt;
    const Area a = length ? AreaOf(p, kOptionHeaderLength + std::uint64_t{*length}, end) : header;
    if (!code) {
      d.AddBytes(parent, kOptionValue, p, end - p, Format("Option cut short: %u of its 4 header bytes", end - p));
      return;
    }
    const NodeId option = d.AddLine(parent, OptionName(*code), a.start, a.end);
    d.AddUint(option, kOptionType, p, [](std::uint32_t c) { return Format("Option: %s (%u)", OptionName(c), c); });
    if (!length) return;
    const Area v{p + kOptionHeaderLength, a.end};
    const NodeId lengthLine = d.AddUint(option, kOptionLength, p + 2, "Length: %u").line;
    if (v.Size() < *length) d.AppendText(lengthLine, Format(" (only %u bytes follow)", v.Size()));
    AddValue(d, option, *code, v, nesting);
    if (v.Size() < *length) return;
    p = a.end;
  }
}

std::string MessageTitle(const PacketDecoder& d, std::uint32_t start) {
  const std::optional<std::uint8_t> type = d.U8(start);
  return type ? Format("DHCPv6 (%s)", MessageTypeName(*type)) : std::string("DHCPv6");
}

// The message of [start, end): under `parent` (a relay message option), or
// as the layer line when `parent` is kNoNode.
void AddMessage(PacketDecoder& d, NodeId parent, std::uint32_t start, std::uint32_t end, int nesting) {
  const NodeId message = parent == kNoNode ? d.AddLayerLine(kProto, MessageTitle(d, start), start, end)
                                           : d.AddFieldLine(parent, kProto, MessageTitle(d, start), start, end);
  const FieldRead<std::uint32_t> type = d.AddUint(
      message, kMsgType, start, [](std::uint32_t t) { return Format("Message type: %s (%u)", MessageTypeName(t), t); });
  if (!type) return;
  if (IsRelay(static_cast<std::uint8_t>(*type))) {
    if (start + 1 < end) d.AddUint(message, kHopCount, start + 1, "Hopcount: %u");
    if (static_cast<std::uint64_t>(start) + 18 <= end) AddIpv6(d, message, kLinkAddr, start + 2);
    if (static_cast<std::uint64_t>(start) + kRelayHeaderLength <= end) AddIpv6(d, message, kPeerAddr, start + 18);
    if (static_cast<std::uint64_t>(start) + kRelayHeaderLength < end) {
      AddOptions(d, message, start + kRelayHeaderLength, end, nesting);
    }
    return;
  }
  if (static_cast<std::uint64_t>(start) + kHeaderLength <= end) {
    d.AddUint(message, kXid, start + 1, "Transaction ID: 0x%06x");
  }
  if (static_cast<std::uint64_t>(start) + kHeaderLength < end) {
    AddOptions(d, message, start + kHeaderLength, end, nesting);
  }
}

}  // namespace

void DecodeDhcpv6(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Dhcpv6);
  // The row and the statistics only learn that DHCPv6 was here.
  if (!d.IsTree()) return;
  AddMessage(d, kNoNode, h, d.capturedLength, 0);
}

}  // namespace qv
