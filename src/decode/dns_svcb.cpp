// Service binding records (SVCB, and HTTPS for web origins): a priority, a
// target name and service parameters, each a key with its value.

#include <algorithm>

#include "decode/dns_message.h"
#include "decode/text_format.h"

namespace qv::dns {

namespace {

constexpr FieldInfo kPriority{"dns.svcb.svcpriority", "SvcPriority", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kTarget{"dns.svcb.targetname", "TargetName", FieldType::String};
constexpr FieldInfo kParam{"dns.svcb.svcparam", "SvcParam", FieldType::None};
constexpr FieldInfo kKey{"dns.svcb.svcparam.key", "SvcParamKey", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kValueLength{"dns.svcb.svcparam.value.length", "SvcParamValue length", FieldType::UInt16,
                                 FieldBase::Dec};
constexpr FieldInfo kValue{"dns.svcb.svcparam.value", "SvcParamValue", FieldType::Bytes};
constexpr FieldInfo kMandatory{"dns.svcb.svcparam.mandatory.key", "Mandatory key", FieldType::UInt16,
                               FieldBase::Dec};
constexpr FieldInfo kAlpnLength{"dns.svcb.svcparam.alpn.length", "ALPN length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kAlpn{"dns.svcb.svcparam.alpn", "ALPN", FieldType::String};
constexpr FieldInfo kPort{"dns.svcb.svcparam.port", "Port", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kIpv4Hint{"dns.svcb.svcparam.ipv4hint.ip", "IP", FieldType::Ipv4};
constexpr FieldInfo kEch{"dns.svcb.svcparam.echconfig", "ECHConfig", FieldType::Bytes};
constexpr FieldInfo kIpv6Hint{"dns.svcb.svcparam.ipv6hint.ip", "IP", FieldType::Ipv6};

constexpr const FieldInfo* kFields[] = {
    &kPriority, &kTarget, &kParam, &kKey,  &kValueLength, &kValue,    &kMandatory,
    &kAlpnLength, &kAlpn, &kPort,  &kIpv4Hint, &kEch,      &kIpv6Hint,
};
const FieldRegistration kRegistration(kFields);

enum Key : std::uint16_t {
  kKeyMandatory = 0,
  kKeyAlpn = 1,
  kKeyNoDefaultAlpn = 2,
  kKeyPort = 3,
  kKeyIpv4Hint = 4,
  kKeyEch = 5,
  kKeyIpv6Hint = 6,
};

constexpr std::uint32_t kParamHeaderLength = 4;

// The key as the presentation form writes it: "alpn", "key65000".
std::string KeyName(std::uint32_t key) {
  switch (key) {
    case kKeyMandatory: return "mandatory";
    case kKeyAlpn: return "alpn";
    case kKeyNoDefaultAlpn: return "no-default-alpn";
    case kKeyPort: return "port";
    case kKeyIpv4Hint: return "ipv4hint";
    case kKeyEch: return "ech";
    case kKeyIpv6Hint: return "ipv6hint";
    default: return Format("key%u", key);
  }
}

std::string Base64(const std::uint8_t* bytes, std::uint32_t count) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::uint32_t i = 0; i < count; i += 3) {
    const std::uint32_t left = count - i;
    const std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16 |
                                (left > 1 ? static_cast<std::uint32_t>(bytes[i + 1]) << 8 : 0u) |
                                (left > 2 ? bytes[i + 2] : 0u);
    out += kAlphabet[group >> 18 & 0x3F];
    out += kAlphabet[group >> 12 & 0x3F];
    out += left > 1 ? kAlphabet[group >> 6 & 0x3F] : '=';
    out += left > 2 ? kAlphabet[group & 0x3F] : '=';
  }
  return out;
}

void AppendListItem(std::string& list, const std::string& item) {
  if (!list.empty()) list += ',';
  list += item;
}

// The value of one parameter over [at, end) under `param`; returns its
// presentation form for the parameter's line.
std::string AddValue(PacketDecoder& d, NodeId param, std::uint16_t key, std::uint32_t at, std::uint32_t end) {
  std::string shown;
  switch (key) {
    case kKeyMandatory:
      for (; at + 2 <= end; at += 2) {
        const std::uint32_t k = *d.AddUint(param, kMandatory, at, [](std::uint32_t v) {
          return "Mandatory key: " + KeyName(v) + Format(" (%u)", v);
        });
        AppendListItem(shown, KeyName(k));
      }
      break;
    case kKeyAlpn:
      // Protocol identifiers, each after its length byte.
      while (at < end) {
        const std::uint32_t length = *d.AddUint(param, kAlpnLength, at, "ALPN length: %u");
        const std::uint32_t available = std::min(length, end - at - 1);
        if (available != 0) {
          const std::string id = EscapedText(d.frame + at + 1, available);
          d.AddBytes(param, kAlpn, at + 1, available, "ALPN: " + id);
          AppendListItem(shown, id);
        }
        at += 1 + available;
        if (available < length) break;
      }
      break;
    case kKeyNoDefaultAlpn: break;
    case kKeyPort:
      if (at + 2 <= end) shown = Format("%u", *d.AddUint(param, kPort, at, "Port: %u"));
      break;
    case kKeyIpv4Hint:
      for (; at + 4 <= end; at += 4) {
        std::string address;
        AppendIpv4(address, d.frame + at);
        d.AddAddress(param, kIpv4Hint, at, "IP: " + address);
        AppendListItem(shown, address);
      }
      break;
    case kKeyIpv6Hint:
      for (; at + 16 <= end; at += 16) {
        std::string address;
        AppendIpv6(address, d.frame + at);
        d.AddAddress(param, kIpv6Hint, at, "IP: " + address);
        AppendListItem(shown, address);
      }
      break;
    case kKeyEch:
      if (end > at) {
        shown = Base64(d.frame + at, end - at);
        d.AddBytes(param, kEch, at, end - at, "ECHConfig: " + shown);
      }
      break;
    default:
      if (end > at) {
        shown = EscapedText(d.frame + at, end - at);
        d.AddBytes(param, kValue, at, end - at, "SvcParamValue: " + HexText(d.frame + at, end - at));
      }
      break;
  }
  return shown;
}

}  // namespace

std::uint32_t AddServiceBinding(PacketDecoder& d, const Message& m, NodeId record, const RecordData& data) {
  if (!data.Holds(data.start, 2)) return data.start;
  d.AddUint(record, kPriority, data.start, "SvcPriority: %u");
  if (data.start + 2 >= data.end) return data.start + 2;
  const Name target = ReadName(d, m, data.start + 2, data.end);
  AddNameLine(d, record, kTarget, "TargetName", target);
  if (!target.ended) return target.end;
  std::uint32_t p = target.end;
  while (data.Holds(p, kParamHeaderLength)) {
    const std::uint16_t key = *d.U16(p);
    const std::uint32_t length = *d.U16(p + 2);
    const std::uint32_t start = p + kParamHeaderLength;
    const std::uint32_t end = std::min(start + length, data.end);
    const NodeId param = d.AddFieldLine(record, kParam, std::string(), p, end);
    d.AddUint(param, kKey, p, [](std::uint32_t v) {
      return "SvcParamKey: " + (v <= kKeyIpv6Hint ? KeyName(v) : std::string("Unknown")) + Format(" (%u)", v);
    });
    d.AddUint(param, kValueLength, p + 2, "SvcParamValue length: %u");
    const std::string value = AddValue(d, param, key, start, end);
    d.AppendText(param, "SvcParam: " + KeyName(key) + (value.empty() ? std::string() : "=" + value));
    if (end - start < length) return end;
    p = end;
  }
  return p;
}

}  // namespace qv::dns
