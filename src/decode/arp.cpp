#include "decode/arp.h"

#include "decode/text_format.h"

namespace qv {

namespace {

// ARP and RARP share one body: Ethernet hardware addresses and IPv4 protocol
// addresses, 28 bytes. The two length bytes are shown but the layout is read
// as fixed whatever they say.
constexpr std::uint32_t kBodyLength = 28;

const char* OperationSuffix(std::uint16_t operation) {
  switch (operation) {
    case 1: return " (ARP request)";
    case 2: return " (ARP response)";
    case 3: return " (RARP request)";
    case 4: return " (RARP response)";
    case 5: return " (Dynamic RARP request)";
    case 6: return " (Dynamic RARP reply)";
    case 7: return " (Dynamic RARP error)";
    case 8: return " (InARP request)";
    case 9: return " (InARP reply)";
    default: return "";
  }
}

void AddMacLine(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (const std::uint8_t* m = d.Bytes(at, 6)) {
    d.AddLine(layer, Format("%s: %02x:%02x:%02x:%02x:%02x:%02x", label, m[0], m[1], m[2], m[3], m[4], m[5]), at,
              at + 6);
  }
}

void AddIpLine(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (const std::uint8_t* a = d.Bytes(at, 4)) {
    d.AddLine(layer,
              Format("%s: %u.%u.%u.%u (0x %02x.%02x.%02x.%02x)", label, a[0], a[1], a[2], a[3], a[0], a[1], a[2],
                     a[3]),
              at, at + 4);
  }
}

void DecodeAddressResolution(PacketDecoder& d, Protocol protocol) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(protocol);

  if (d.IsTree()) {
    const NodeId layer = d.AddLayerLine(std::string(InfoOf(protocol).name), h, h + kBodyLength);
    if (auto v = d.U16(h)) d.AddLine(layer, Format("Hardware type: %d (0x%04x)", *v, *v), h, h + 2);
    if (auto v = d.U16(h + 2)) d.AddLine(layer, Format("Protocol type: %d (0x%04x)", *v, *v), h + 2, h + 4);
    if (auto v = d.U8(h + 4)) d.AddLine(layer, Format("Hardware length: %d (0x%02x)", *v, *v), h + 4, h + 5);
    if (auto v = d.U8(h + 5)) d.AddLine(layer, Format("Protocol length: %d (0x%02x)", *v, *v), h + 5, h + 6);
    if (auto v = d.U16(h + 6)) {
      d.AddLine(layer, Format("Operation: %d (0x%04x)%s", *v, *v, OperationSuffix(*v)), h + 6, h + 8);
    }
    AddMacLine(d, layer, "Source MAC", h + 8);
    AddIpLine(d, layer, "Source IP", h + 14);
    AddMacLine(d, layer, "Destination MAC", h + 18);
    AddIpLine(d, layer, "Destination IP", h + 24);
  }

  // No inner protocol and no scripts: what follows the body (Ethernet
  // padding, usually) is a layer of its own.
  d.offset = h + kBodyLength;
  d.MarkUnsupported();
  d.offset = h;
}

}  // namespace

void DecodeArp(PacketDecoder& d) { DecodeAddressResolution(d, Protocol::Arp); }

void DecodeRarp(PacketDecoder& d) { DecodeAddressResolution(d, Protocol::Rarp); }

}  // namespace qv
