#include "decode/bsd_loopback.h"

#include "decode/ipv4.h"
#include "decode/ipv6.h"
#include "decode/ipx.h"
#include "decode/link_types.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kHeaderLength = 4;

constexpr FieldInfo kProto{"null", "Null/Loopback", FieldType::Protocol};
constexpr FieldInfo kFamily{"null.family", "Family", FieldType::UInt32, FieldBase::Dec};
constexpr const FieldInfo* kFields[] = {&kProto, &kFamily};
const FieldRegistration kRegistration(kFields);

struct FamilyEntry {
  std::uint32_t family;
  const char* suffix;
  DecoderFn decoder;
};
// The BSDs agree on IPv4 and IPX but number IPv6 each their own way.
constexpr FamilyEntry kFamilies[] = {
    {2, " - IPv4", DecodeIpv4},
    {23, " - IPX", DecodeIpx},
    {24, " - IPv6 (NetBSD, OpenBSD)", DecodeIpv6},
    {28, " - IPv6 (FreeBSD)", DecodeIpv6},
    {30, " - IPv6 (macOS)", DecodeIpv6},
};

const FamilyEntry* FindFamily(std::uint32_t family) {
  for (const FamilyEntry& f : kFamilies) {
    if (f.family == family) return &f;
  }
  return nullptr;
}

void DecodeLoopback(PacketDecoder& d, bool networkOrder) {
  d.offset = 0;
  d.parentItem = kRootNode;
  const NodeId layer = d.AddLayerLine(kProto, "BSD loopback", 0, kHeaderLength);
  d.ReportProtocol(Protocol::Loopback);

  // The record does not say in which byte order its file was written; every
  // address family is below 65536, so the order that gives such a value is it.
  std::optional<std::uint32_t> family = networkOrder ? d.U32(0) : d.U32Le(0);
  if (family && !networkOrder && *family > 0xFFFF) family = d.U32(0);
  if (!family) return;
  const FamilyEntry* entry = FindFamily(*family);
  if (d.IsTree()) {
    // The field's value is the family in the byte order found above.
    d.AddFieldLine(layer, kFamily,
                   Format("Address family: %u (0x%08x)%s", *family, *family, entry != nullptr ? entry->suffix : ""),
                   0, kHeaderLength, *family);
  }
  DispatchPayload(d, entry != nullptr ? entry->decoder : nullptr, kHeaderLength);
  FinishLinkLayer(d, layer, kHeaderLength);
}

}  // namespace

void DecodeNullLoopback(PacketDecoder& d) { DecodeLoopback(d, false); }
void DecodeLoopLoopback(PacketDecoder& d) { DecodeLoopback(d, true); }

}  // namespace qv
