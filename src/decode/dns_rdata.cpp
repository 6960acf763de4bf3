// The data of DNS records by type: addresses, names, SOA, MX, TXT and SRV
// here; OPT and the service bindings in their own units.

#include <algorithm>

#include "decode/dns_message.h"
#include "decode/text_format.h"

namespace qv::dns {

namespace {

constexpr FieldInfo kA{"dns.a", "Address", FieldType::Ipv4};
constexpr FieldInfo kAaaa{"dns.aaaa", "AAAA Address", FieldType::Ipv6};
constexpr FieldInfo kCname{"dns.cname", "CNAME", FieldType::String};
constexpr FieldInfo kNs{"dns.ns", "Name Server", FieldType::String};
constexpr FieldInfo kPtr{"dns.ptr.domain_name", "Domain Name", FieldType::String};
constexpr FieldInfo kMxPreference{"dns.mx.preference", "Preference", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kMxExchange{"dns.mx.mail_exchange", "Mail Exchange", FieldType::String};
constexpr FieldInfo kTxtLength{"dns.txt.length", "TXT Length", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kTxt{"dns.txt", "TXT", FieldType::String};
constexpr FieldInfo kSoaMname{"dns.soa.mname", "Primary name server", FieldType::String};
constexpr FieldInfo kSoaRname{"dns.soa.rname", "Responsible authority's mailbox", FieldType::String};
constexpr FieldInfo kSoaSerial{"dns.soa.serial_number", "Serial Number", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kSoaRefresh{"dns.soa.refresh_interval", "Refresh Interval", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kSoaRetry{"dns.soa.retry_interval", "Retry Interval", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kSoaExpire{"dns.soa.expire_limit", "Expire limit", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kSoaMinimum{"dns.soa.minimum_ttl", "Minimum TTL", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kSrvPriority{"dns.srv.priority", "Priority", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kSrvWeight{"dns.srv.weight", "Weight", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kSrvPort{"dns.srv.port", "Port", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kSrvTarget{"dns.srv.target", "Target", FieldType::String};
constexpr FieldInfo kData{"dns.data", "Data", FieldType::Bytes};

constexpr const FieldInfo* kFields[] = {
    &kA,         &kAaaa,       &kCname,      &kNs,          &kPtr,          &kMxPreference, &kMxExchange,
    &kTxtLength, &kTxt,        &kSoaMname,   &kSoaRname,    &kSoaSerial,    &kSoaRefresh,   &kSoaRetry,
    &kSoaExpire, &kSoaMinimum, &kSrvPriority, &kSrvWeight,  &kSrvPort,      &kSrvTarget,    &kData,
};
const FieldRegistration kRegistration(kFields);

enum RecordType : std::uint16_t {
  kTypeA = 1,
  kTypeNs = 2,
  kTypeCname = 5,
  kTypeSoa = 6,
  kTypePtr = 12,
  kTypeMx = 15,
  kTypeTxt = 16,
  kTypeAaaa = 28,
  kTypeSrv = 33,
  kTypeSvcb = 64,
  kTypeHttps = 65,
};

constexpr std::uint32_t kIpv4Length = 4;
constexpr std::uint32_t kIpv6Length = 16;

// Each of the functions below returns where the part of the data it decoded
// ends.

std::uint32_t AddIpv4(PacketDecoder& d, NodeId record, const RecordData& data) {
  if (data.declared != kIpv4Length || !data.Holds(data.start, kIpv4Length)) return data.start;
  std::string address;
  AppendIpv4(address, d.frame + data.start);
  d.AddAddress(record, kA, data.start, "Address: " + address);
  d.AppendText(record, ", addr " + address);
  return data.start + kIpv4Length;
}

std::uint32_t AddIpv6(PacketDecoder& d, NodeId record, const RecordData& data) {
  if (data.declared != kIpv6Length || !data.Holds(data.start, kIpv6Length)) return data.start;
  std::string address;
  AppendIpv6(address, d.frame + data.start);
  d.AddAddress(record, kAaaa, data.start, "AAAA Address: " + address);
  d.AppendText(record, ", addr " + address);
  return data.start + kIpv6Length;
}

// A name inside the data; `summary` goes before it on the record line
// (", cname "), null for nothing there.
Name AddDataName(PacketDecoder& d, const Message& m, NodeId record, const RecordData& data, std::uint32_t at,
                 const FieldInfo& f, const char* label, const char* summary) {
  Name name = ReadName(d, m, at, data.end);
  AddNameLine(d, record, f, label, name);
  if (summary != nullptr && name.end > name.start) d.AppendText(record, summary + name.Shown());
  return name;
}

std::uint32_t AddSoa(PacketDecoder& d, const Message& m, NodeId record, const RecordData& data) {
  if (data.start >= data.end) return data.start;
  const Name mname = AddDataName(d, m, record, data, data.start, kSoaMname, "Primary name server", ", mname ");
  if (!mname.ended || mname.end >= data.end) return mname.end;
  const Name rname = AddDataName(d, m, record, data, mname.end, kSoaRname, "Responsible authority's mailbox", nullptr);
  if (!rname.ended) return rname.end;
  std::uint32_t at = rname.end;
  struct Counter {
    const FieldInfo* field;
    bool duration;
  };
  static constexpr Counter kCounters[] = {
      {&kSoaSerial, false}, {&kSoaRefresh, true}, {&kSoaRetry, true}, {&kSoaExpire, true}, {&kSoaMinimum, true},
  };
  for (const Counter& c : kCounters) {
    if (!data.Holds(at, 4)) break;
    d.AddUint(record, *c.field, at, [&c](std::uint32_t v) {
      return std::string(c.field->name) + ": " + (c.duration ? SecondsText(v) : Format("%u", v));
    });
    at += 4;
  }
  return at;
}

std::uint32_t AddMx(PacketDecoder& d, const Message& m, NodeId record, const RecordData& data) {
  if (!data.Holds(data.start, 2)) return data.start;
  const std::uint32_t preference = *d.AddUint(record, kMxPreference, data.start, "Preference: %u");
  d.AppendText(record, Format(", preference %u", preference));
  if (data.start + 2 >= data.end) return data.start + 2;
  return AddDataName(d, m, record, data, data.start + 2, kMxExchange, "Mail Exchange", ", mx ").end;
}

// One or more strings, each after its length byte.
std::uint32_t AddTxt(PacketDecoder& d, NodeId record, const RecordData& data) {
  std::uint32_t at = data.start;
  while (at < data.end) {
    const std::uint32_t length = *d.AddUint(record, kTxtLength, at, "TXT Length: %u");
    const std::uint32_t available = std::min(length, data.end - at - 1);
    if (available != 0) {
      d.AddBytes(record, kTxt, at + 1, available, "TXT: " + EscapedText(d.frame + at + 1, available));
    }
    at += 1 + available;
    if (available < length) break;
  }
  return at;
}

std::uint32_t AddSrv(PacketDecoder& d, const Message& m, NodeId record, const RecordData& data) {
  if (!data.Holds(data.start, 6)) return data.start;
  const std::uint32_t priority = *d.AddUint(record, kSrvPriority, data.start, "Priority: %u");
  const std::uint32_t weight = *d.AddUint(record, kSrvWeight, data.start + 2, "Weight: %u");
  const std::uint32_t port = *d.AddUint(record, kSrvPort, data.start + 4, "Port: %u");
  d.AppendText(record, Format(", priority %u, weight %u, port %u", priority, weight, port));
  if (data.start + 6 >= data.end) return data.start + 6;
  return AddDataName(d, m, record, data, data.start + 6, kSrvTarget, "Target", ", target ").end;
}

}  // namespace

void AddRecordData(PacketDecoder& d, const Message& m, NodeId record, std::uint16_t type, const RecordData& data) {
  std::uint32_t decoded = data.start;
  if (data.start < data.end) {
    switch (type) {
      case kTypeA: decoded = AddIpv4(d, record, data); break;
      case kTypeAaaa: decoded = AddIpv6(d, record, data); break;
      case kTypeNs: decoded = AddDataName(d, m, record, data, data.start, kNs, "Name Server", ", ns ").end; break;
      case kTypeCname: decoded = AddDataName(d, m, record, data, data.start, kCname, "CNAME", ", cname ").end; break;
      case kTypePtr: decoded = AddDataName(d, m, record, data, data.start, kPtr, "Domain Name", ", ").end; break;
      case kTypeSoa: decoded = AddSoa(d, m, record, data); break;
      case kTypeMx: decoded = AddMx(d, m, record, data); break;
      case kTypeTxt: decoded = AddTxt(d, record, data); break;
      case kTypeSrv: decoded = AddSrv(d, m, record, data); break;
      case kTypeOpt: decoded = AddOptOptions(d, record, data); break;
      case kTypeSvcb:
      case kTypeHttps: decoded = AddServiceBinding(d, m, record, data); break;
      default: break;
    }
  }
  // What the type does not explain, or all of a type without a layout here.
  if (decoded < data.end) {
    d.AddBytes(record, kData, decoded, data.end - decoded, "Data (" + ByteCount(data.end - decoded) + ")");
  }
}

}  // namespace qv::dns
