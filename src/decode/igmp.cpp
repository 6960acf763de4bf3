#include "decode/igmp.h"

#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint8_t kMembershipQuery = 0x11;
constexpr std::uint8_t kV1Report = 0x12;
constexpr std::uint8_t kV2Report = 0x16;
constexpr std::uint8_t kLeaveGroup = 0x17;

// Max response code and QQIC (RFC 3376, 4.1.1 and 4.1.7): below 128 the
// code is the value; above, a floating-point form with a 4-bit mantissa
// (bits 0-3) and a 3-bit exponent (bits 4-6).
double TimeCodeValue(std::uint8_t code) {
  if (code < 128) return code;
  const unsigned mantissa = code & 0x0Fu;
  const unsigned exponent = (code >> 4) & 0x07u;
  return static_cast<double>((mantissa | 0x10u) << (exponent + 3));
}

void AddAddress(PacketDecoder& d, NodeId parent, const char* label, std::uint32_t at) {
  if (const std::uint8_t* a = d.Bytes(at, 4)) {
    d.AddLine(parent, Format("%s:  %u.%u.%u.%u", label, a[0], a[1], a[2], a[3]), at, at + 4);
  }
}

void AddChecksum(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  if (auto v = d.U16(h + 2)) d.AddLine(layer, Format("Checksum:  %u (0x%04x)", *v, *v), h + 2, h + 4);
}

// Version 1 and 2 reports and leave messages: 8 bytes. Returns the end.
std::uint32_t DescribeV2Message(PacketDecoder& d, std::uint32_t h, std::uint8_t type) {
  const NodeId layer = d.AddLayerLine("IGMP", h, h + 8);
  const char* name = type == kV1Report   ? " - Version 1 Membership Report"
                     : type == kV2Report ? " - Version 2 Membership Report"
                                         : " - Leave Group";
  d.AddLine(layer, Format("Type: 0x%02x%s", type, name), h, h + 1);
  if (auto v = d.U8(h + 1)) d.AddLine(layer, Format("Max response time:  %u (0x%02x)", *v, *v), h + 1, h + 2);
  AddChecksum(d, layer, h);
  AddAddress(d, layer, "Group address", h + 4);
  return h + 8;
}

// A membership query, read in the version 3 layout whatever its length (the
// older 8-byte queries show whatever follows them). Returns the end.
std::uint32_t DescribeQuery(PacketDecoder& d, std::uint32_t h, std::uint8_t type) {
  const NodeId layer = d.AddLayerLine("IGMP", h, h + 12);
  d.AddLine(layer, Format("Type: 0x%02x - Membership Query Message", type), h, h + 1);
  if (auto v = d.U8(h + 1)) {
    d.AddLine(layer, Format("Max response code:  0x%02x - Max response time: %f", *v, TimeCodeValue(*v)), h + 1,
              h + 2);
  }
  AddChecksum(d, layer, h);
  AddAddress(d, layer, "Group address", h + 4);
  if (auto v = d.U8(h + 8)) {
    d.AddLine(layer,
              (*v & 0x08) != 0 ? "S Flag (Suppress Router-Side Processing): ----1---"
                               : "S Flag (Suppress Router-Side Processing): ----0---",
              h + 8, h + 9);
    d.AddLine(layer, Format("QRV (Querier's Robustness Variable): 0x%02x", *v & 0x07), h + 8, h + 9);
  }
  if (auto v = d.U8(h + 9)) {
    d.AddLine(layer,
              Format("QQIC (Querier's Query Interval Code):  0x%02x - Querier's Query Interval: %f", *v,
                     TimeCodeValue(*v)),
              h + 9, h + 10);
  }
  const std::optional<std::uint16_t> sources = d.U16(h + 10);
  if (!sources) return h + 12;
  d.AddLine(layer, Format("Number of Sources: %u (0x%04x)", *sources, *sources), h + 10, h + 12);
  for (std::uint32_t i = 0; i < *sources; ++i) {
    const std::uint32_t at = h + 12 + 4 * i;
    if (!d.Has(at, 4)) break;
    AddAddress(d, layer, "Group address", at);
  }
  const std::uint32_t end = h + 12 + 4u * *sources;
  d.SetRange(layer, h, end);
  return end;
}

// One group record of a version 3 report at r. Returns its end, or nothing
// when its length fields were not captured.
std::optional<std::uint32_t> DescribeGroupRecord(PacketDecoder& d, NodeId layer, std::uint32_t r, std::uint32_t k) {
  const NodeId group = d.AddLine(layer, Format("Group %d", static_cast<int>(k)));
  if (auto v = d.U8(r)) d.AddLine(group, Format("Record Type: 0x%02x", *v), r, r + 1);
  const std::optional<std::uint8_t> aux = d.U8(r + 1);
  if (aux) d.AddLine(group, Format("Auxiliary Data Length: %u (0x%02x)", *aux, *aux), r + 1, r + 2);
  const std::optional<std::uint16_t> sources = d.U16(r + 2);
  if (sources) d.AddLine(group, Format("Number of Sources %u (0x%04x)", *sources, *sources), r + 2, r + 4);
  AddAddress(d, group, "Multicast address", r + 4);
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
      d.AddLine(group, Format("Source address %d:  %u.%u.%u.%u", static_cast<int>(j), a[0], a[1], a[2], a[3]), at,
                at + 4);
    }
  }
  if (*aux > 0 && d.Has(sourcesEnd, 4u * *aux)) d.AddLine(group, "Auxiliary Data", sourcesEnd, end);
  return end;
}

// A version 3 membership report (and any other type not named above).
// Returns the end of the last record.
std::uint32_t DescribeV3Report(PacketDecoder& d, std::uint32_t h, std::uint8_t type) {
  const NodeId layer = d.AddLayerLine("IGMP", h, h + 8);
  d.AddLine(layer, Format("Type: 0x%02x - Version 3 Membership Report Message", type), h, h + 1);
  AddChecksum(d, layer, h);
  const std::optional<std::uint16_t> records = d.U16(h + 6);
  if (!records) return h + 8;
  d.AddLine(layer, Format("Number of group records:  %u (0x%04x)", *records, *records), h + 6, h + 8);

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
    case 0: d.AddLayerLine("IGMP"); break;
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
