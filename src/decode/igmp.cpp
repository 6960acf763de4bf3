#include "decode/igmp.h"

#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint8_t kMembershipQuery = 0x11;
constexpr std::uint8_t kV1Report = 0x12;
constexpr std::uint8_t kV2Report = 0x16;
constexpr std::uint8_t kLeaveGroup = 0x17;

constexpr FieldInfo kIgmp{"igmp", "Internet Group Management Protocol", FieldType::Protocol};
constexpr FieldInfo kType{"igmp.type", "Type", FieldType::UInt8, FieldBase::Hex};
// In tenths of a second, as version 2 carries it.
constexpr FieldInfo kMaxResponse{"igmp.max_resp", "Max Resp Time", FieldType::UInt8, FieldBase::Dec};
// A query's code as carried (its line shows the time decoded from it), where
// filters elsewhere know the decoded time under the name above.
constexpr FieldInfo kMaxResponseCode{"igmp.max_resp_code", "Max Resp Code", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kChecksum{"igmp.checksum", "Checksum", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kGroup{"igmp.maddr", "Multicast Address", FieldType::Ipv4};
constexpr FieldInfo kSuppress{"igmp.s", "S", FieldType::Boolean, FieldBase::None, 0x08};
constexpr FieldInfo kRobustness{"igmp.qrv", "QRV", FieldType::UInt8, FieldBase::Dec, 0x07};
constexpr FieldInfo kQueryInterval{"igmp.qqic", "QQIC", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kSourceCount{"igmp.num_src", "Num Src", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kSource{"igmp.saddr", "Source Address", FieldType::Ipv4};
constexpr FieldInfo kRecordCount{"igmp.num_grp_recs", "Num Group Records", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kRecordType{"igmp.record_type", "Record Type", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kAuxLength{"igmp.aux_data_len", "Aux Data Len", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kAuxData{"igmp.aux_data", "Aux Data", FieldType::Bytes};
constexpr const FieldInfo* kFields[] = {
    &kIgmp, &kType, &kMaxResponse, &kMaxResponseCode, &kChecksum, &kGroup, &kSuppress, &kRobustness,
    &kQueryInterval, &kSourceCount, &kSource, &kRecordCount, &kRecordType, &kAuxLength, &kAuxData};
const FieldRegistration kRegistration(kFields);

// Max response code and QQIC (RFC 3376, 4.1.1 and 4.1.7): below 128 the
// code is the value; above, a floating-point form with a 4-bit mantissa
// (bits 0-3) and a 3-bit exponent (bits 4-6).
double TimeCodeValue(std::uint8_t code) {
  if (code < 128) return code;
  const unsigned mantissa = code & 0x0Fu;
  const unsigned exponent = (code >> 4) & 0x07u;
  return static_cast<double>((mantissa | 0x10u) << (exponent + 3));
}

void AddAddressLine(PacketDecoder& d, NodeId parent, const FieldInfo& f, const char* label, std::uint32_t at) {
  if (const std::uint8_t* a = d.Bytes(at, 4)) {
    d.AddAddress(parent, f, at, Format("%s:  %u.%u.%u.%u", label, a[0], a[1], a[2], a[3]));
  }
}

void AddChecksum(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  d.AddUint(layer, kChecksum, h + 2, "Checksum:  %u (0x%04x)");
}

// Version 1 and 2 reports and leave messages: 8 bytes. Returns the end.
std::uint32_t DescribeV2Message(PacketDecoder& d, std::uint32_t h, std::uint8_t type) {
  const NodeId layer = d.AddLayerLine(kIgmp, "IGMP", h, h + 8);
  const char* name = type == kV1Report   ? " - Version 1 Membership Report"
                     : type == kV2Report ? " - Version 2 Membership Report"
                                         : " - Leave Group";
  d.AddFieldLine(layer, kType, Format("Type: 0x%02x%s", type, name), h, h + 1, type);
  d.AddUint(layer, kMaxResponse, h + 1, "Max response time:  %u (0x%02x)");
  AddChecksum(d, layer, h);
  AddAddressLine(d, layer, kGroup, "Group address", h + 4);
  return h + 8;
}

// A membership query, read in the version 3 layout whatever its length (the
// older 8-byte queries show whatever follows them). Returns the end.
std::uint32_t DescribeQuery(PacketDecoder& d, std::uint32_t h, std::uint8_t type) {
  const NodeId layer = d.AddLayerLine(kIgmp, "IGMP", h, h + 12);
  d.AddFieldLine(layer, kType, Format("Type: 0x%02x - Membership Query Message", type), h, h + 1, type);
  d.AddUint(layer, kMaxResponseCode, h + 1, [](std::uint32_t code) {
    return Format("Max response code:  0x%02x - Max response time: %f", code,
                  TimeCodeValue(static_cast<std::uint8_t>(code)));
  });
  AddChecksum(d, layer, h);
  AddAddressLine(d, layer, kGroup, "Group address", h + 4);
  d.AddUint(layer, kSuppress, h + 8, [](std::uint32_t on) {
    return on ? "S Flag (Suppress Router-Side Processing): ----1---"
              : "S Flag (Suppress Router-Side Processing): ----0---";
  });
  d.AddUint(layer, kRobustness, h + 8, "QRV (Querier's Robustness Variable): 0x%02x");
  d.AddUint(layer, kQueryInterval, h + 9, [](std::uint32_t code) {
    return Format("QQIC (Querier's Query Interval Code):  0x%02x - Querier's Query Interval: %f", code,
                  TimeCodeValue(static_cast<std::uint8_t>(code)));
  });
  const FieldRead<std::uint32_t> sources = d.AddUint(layer, kSourceCount, h + 10, "Number of Sources: %u (0x%04x)");
  if (!sources) return h + 12;
  // The sources are shown under the group address's label.
  for (std::uint32_t i = 0; i < *sources; ++i) {
    const std::uint32_t at = h + 12 + 4 * i;
    if (!d.Has(at, 4)) break;
    AddAddressLine(d, layer, kSource, "Group address", at);
  }
  const std::uint32_t end = h + 12 + 4u * *sources;
  d.SetRange(layer, h, end);
  return end;
}

// One group record of a version 3 report at r. Returns its end, or nothing
// when its length fields were not captured.
std::optional<std::uint32_t> DescribeGroupRecord(PacketDecoder& d, NodeId layer, std::uint32_t r, std::uint32_t k) {
  const NodeId group = d.AddLine(layer, Format("Group %d", static_cast<int>(k)));
  d.AddUint(group, kRecordType, r, "Record Type: 0x%02x");
  const FieldRead<std::uint32_t> aux = d.AddUint(group, kAuxLength, r + 1, "Auxiliary Data Length: %u (0x%02x)");
  const FieldRead<std::uint32_t> sources = d.AddUint(group, kSourceCount, r + 2, "Number of Sources %u (0x%04x)");
  AddAddressLine(d, group, kGroup, "Multicast address", r + 4);
  if (!aux || !sources) {
    d.SetRange(group, r, d.capturedLength);
    return std::nullopt;
  }

  const std::uint32_t sourcesEnd = r + 8 + 4u * *sources;
  const std::uint32_t end = sourcesEnd + 4u * *aux;
  d.SetRange(group, r, end);
  if (*sources > 0 && r + 8 < d.capturedLength) {
    d.AddLine(group, "Source addresses:", r + 8, sourcesEnd);
    for (std::uint32_t j = 1; j <= *sources; ++j) {
      const std::uint32_t at = r + 8 + 4 * (j - 1);
      const std::uint8_t* a = d.Bytes(at, 4);
      if (a == nullptr) break;
      d.AddAddress(group, kSource, at,
                   Format("Source address %d:  %u.%u.%u.%u", static_cast<int>(j), a[0], a[1], a[2], a[3]));
    }
  }
  if (*aux > 0 && d.Has(sourcesEnd, 4u * *aux)) d.AddBytes(group, kAuxData, sourcesEnd, 4u * *aux, "Auxiliary Data");
  return end;
}

// A version 3 membership report (and any other type not named above).
// Returns the end of the last record.
std::uint32_t DescribeV3Report(PacketDecoder& d, std::uint32_t h, std::uint8_t type) {
  const NodeId layer = d.AddLayerLine(kIgmp, "IGMP", h, h + 8);
  d.AddFieldLine(layer, kType, Format("Type: 0x%02x - Version 3 Membership Report Message", type), h, h + 1, type);
  AddChecksum(d, layer, h);
  const FieldRead<std::uint32_t> records =
      d.AddUint(layer, kRecordCount, h + 6, "Number of group records:  %u (0x%04x)");
  if (!records) return h + 8;

  // Each record is at least 8 bytes long, so however large the count, the
  // walk leaves the captured data after a bounded number of steps.
  std::uint32_t r = h + 8;
  for (std::uint32_t k = 1; k <= *records && r < d.capturedLength; ++k) {
    const std::optional<std::uint32_t> end = DescribeGroupRecord(d, layer, r, k);
    if (!end) {
      r = d.capturedLength;
      break;
    }
    r = *end;
  }
  d.SetRange(layer, h, r);
  return r;
}

}  // namespace

void DecodeIgmp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Igmp);
  if (!d.IsTree()) return;

  const std::uint8_t type = d.U8(h).value_or(0);
  std::uint32_t end = h;
  switch (type) {
    case 0: d.SetField(d.AddLayerLine("IGMP"), kIgmp); break;
    case kV1Report:
    case kV2Report:
    case kLeaveGroup: end = DescribeV2Message(d, h, type); break;
    case kMembershipQuery: end = DescribeQuery(d, h, type); break;
    default: end = DescribeV3Report(d, h, type); break;
  }

  // Nothing rides on IGMP: the rest of the datagram is unclaimed.
  d.offset = end;
  d.MarkUnsupported();
  d.offset = h;
}

}  // namespace qv
