#include "decode/raw_ip.h"

#include "decode/ipv4.h"
#include "decode/ipv6.h"
#include "decode/link_types.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr FieldInfo kProto{"raw", "Raw packet data", FieldType::Protocol};
// The version nibble of the IP header, as the link layer reads it.
constexpr FieldInfo kVersion{"raw.version", "IP version", FieldType::UInt8, FieldBase::Dec, 0xF0};
constexpr const FieldInfo* kFields[] = {&kProto, &kVersion};
const FieldRegistration kRegistration(kFields);

// The network decoder that the version nibble chooses, and how its line names it.
struct NetworkChoice {
  DecoderFn decoder;
  const char* suffix;
};

NetworkChoice ChooseNetwork(bool ipv4Only, std::uint32_t version) {
  if (ipv4Only || version == 4) return {DecodeIpv4, " - IPv4"};
  if (version == 6) return {DecodeIpv6, " - IPv6"};
  return {nullptr, ""};
}

// The link layer has no bytes of its own: its line carries no range, and the
// version line points at the nibble that chose the network decoder.
void DecodeRaw(PacketDecoder& d, bool ipv4Only) {
  d.offset = 0;
  d.parentItem = kRootNode;
  const NodeId layer = d.AddLayerLine("Raw IP");
  d.SetField(layer, kProto);
  d.ReportProtocol(Protocol::RawIp);

  const FieldRead<std::uint32_t> version = d.AddUint(layer, kVersion, 0, [ipv4Only](std::uint32_t v) {
    return Format("IP version: %u%s", v, ChooseNetwork(ipv4Only, v).suffix);
  });
  if (!version) return;
  if (const DecoderFn next = ChooseNetwork(ipv4Only, *version).decoder) d.Dispatch(next, 0);
  FinishLinkLayer(d, layer, 0);
}

}  // namespace

void DecodeRawIp(PacketDecoder& d) { DecodeRaw(d, false); }
void DecodeRawIpv4(PacketDecoder& d) { DecodeRaw(d, true); }

}  // namespace qv
