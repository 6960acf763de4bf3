#include "decode/bpdu.h"

#include "decode/text_format.h"

namespace qv {

namespace {

// A configuration BPDU; whatever follows it is left unclaimed.
constexpr std::uint32_t kLength = 35;

// The two-byte numbers are shown least significant byte first.
void AddNumber16(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (const std::optional<std::uint16_t> v = d.U16Le(at)) {
    d.AddLine(layer, Format("%s: %u (0x%04x)", label, *v, *v), at, at + 2);
  }
}

void AddNumber8(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (const std::optional<std::uint8_t> v = d.U8(at)) {
    d.AddLine(layer, Format("%s: %u (0x%02x)", label, *v, *v), at, at + 1);
  }
}

// Root and bridge identifiers: priority and MAC address, byte by byte.
void AddIdentifier(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (const std::uint8_t* b = d.Bytes(at, 8)) {
    d.AddLine(layer,
              Format("%s: %02x.%02x.%02x.%02x.%02x.%02x.%02x.%02x", label, b[0], b[1], b[2], b[3], b[4], b[5],
                     b[6], b[7]),
              at, at + 8);
  }
}

}  // namespace

void DecodeBpdu(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Bpdu);
  if (d.IsTree()) {
    const NodeId layer = d.AddLayerLine("BPDU", h, h + kLength);
    AddNumber16(d, layer, "Protocol identifier", h);
    AddNumber8(d, layer, "Protocol version identifier", h + 2);
    AddNumber8(d, layer, "BPDU type", h + 3);
    AddNumber8(d, layer, "Flags", h + 4);
    AddIdentifier(d, layer, "Root identifier", h + 5);
    if (const std::uint8_t* cost = d.Bytes(h + 13, 4)) {
      d.AddLine(layer, Format("Root path cost: %02x%02x%02x%02x", cost[0], cost[1], cost[2], cost[3]), h + 13,
                h + 17);
    }
    AddIdentifier(d, layer, "Bridge identifier", h + 17);
    AddNumber16(d, layer, "Port identifier", h + 25);
    AddNumber16(d, layer, "Message age", h + 27);
    AddNumber16(d, layer, "Max age", h + 29);
    AddNumber16(d, layer, "Hello time", h + 31);
    AddNumber16(d, layer, "Forward delay", h + 33);
  }
  // The bytes after the BPDU are coloured as a layer of their own; no script
  // is offered them.
  d.offset = h + kLength;
  d.MarkUnsupported();
  d.offset = h;
}

}  // namespace qv
