#include "decode/snap.h"

#include "decode/ipx.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kHeaderLength = 5;
constexpr std::uint16_t kEtherTypeIpx = 0x8137;

}  // namespace

// Only IPX is followed behind SNAP, whatever the organisation code; every
// other EtherType is left to the "snap" scripts.
void DecodeSnap(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  const std::optional<std::uint16_t> etherType = d.U16(h + 3);

  d.BeginLayer(Protocol::Snap);
  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine("IEEE SNAP", h, h + kHeaderLength);
    if (const std::uint8_t* org = d.Bytes(h, 3)) {
      d.AddLine(layer, Format("Organization code 0x%02x%02x%02x", org[0], org[1], org[2]), h, h + 3);
    }
    if (etherType) {
      d.AddLine(layer, Format("EtherType: 0x%04x%s", *etherType, *etherType == kEtherTypeIpx ? " - IPX" : ""),
                h + 3, h + 5);
    }
  }
  if (etherType == kEtherTypeIpx) d.Dispatch(DecodeIpx, h + kHeaderLength);
  d.FinishLayer(layer, kHeaderLength, "snap");
}

}  // namespace qv
