#include "decode/ipx.h"

#include "decode/nbipx.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// The IPX header has no options: 30 bytes, every multi-byte field in network
// byte order.
constexpr std::uint32_t kHeaderLength = 30;
constexpr std::uint16_t kNetbiosSocket = 0x0455;
// NetBIOS name packets fill exactly 50 bytes after the IPX header; every
// other length on the NetBIOS socket is a connection-oriented message.
constexpr std::uint16_t kNbipxNamePacketLength = kHeaderLength + 50;

const char* PacketTypeSuffix(std::uint8_t type) {
  switch (type) {
    case 0: return " - Unknown";
    case 1: return " - RIP";
    case 2: return " - Echo packet";
    case 3: return " - Error packet";
    case 4: return " - PEP";
    case 5: return " - SPX";
    case 17: return " - NCP";
    default: return " - Experimental protocols";
  }
}

const char* SocketSuffix(std::uint16_t socket) {
  switch (socket) {
    case 0x0001: return " - RIP";
    case 0x0002: return " - Echo protocol packet";
    case 0x0003: return " - Error handling packet";
    case 0x0451: return " - NCP";
    case 0x0452: return " - SAP";
    case 0x0453: return " - RIP";
    case 0x0455: return " - NetBios";
    case 0x0456: return " - Diagnostic";
    case 0x0457: return " - Serialization";
    case 0x0BB9: return " - Dynamically Assigned";
    case 0x8060: return " - IPX";
    case 0x9091: return " - TCP over IPXF";
    case 0x9092: return " - UDP over IPXF";
    case 0x9093: return " - IPXF (IPX Fragmentation protocol)";
    default: return "";
  }
}

void AddNetworkLine(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (const std::uint8_t* n = d.Bytes(at, 4)) {
    d.AddLine(layer,
              Format("%s: %u.%u.%u.%u (0x %02x.%02x.%02x.%02x)", label, n[0], n[1], n[2], n[3], n[0], n[1], n[2],
                     n[3]),
              at, at + 4);
  }
}

void AddNodeLine(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (const std::uint8_t* n = d.Bytes(at, 6)) {
    d.AddLine(layer, Format("%s: %02x:%02x:%02x:%02x:%02x:%02x", label, n[0], n[1], n[2], n[3], n[4], n[5]), at,
              at + 6);
  }
}

void AddSocketLine(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (const std::optional<std::uint16_t> s = d.U16(at)) {
    d.AddLine(layer, Format("%s: %u (0x%04x)%s", label, *s, *s, SocketSuffix(*s)), at, at + 2);
  }
}

}  // namespace

void DecodeIpx(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Ipx);

  const std::optional<std::uint16_t> length = d.U16(h + 2);
  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine("IPX", h, h + kHeaderLength);
    if (const auto checksum = d.U16(h)) {
      d.AddLine(layer, Format("Checksum: %u (0x%04x)", *checksum, *checksum), h, h + 2);
    }
    if (length) d.AddLine(layer, Format("Length: %u (0x%04x)", *length, *length), h + 2, h + 4);
    if (const auto control = d.U8(h + 4)) {
      d.AddLine(layer, Format("Transport control: %u (0x%02x)", *control, *control), h + 4, h + 5);
    }
    if (const auto type = d.U8(h + 5)) {
      d.AddLine(layer, Format("Packet type: %u (0x%02x)%s", *type, *type, PacketTypeSuffix(*type)), h + 5, h + 6);
    }
    AddNetworkLine(d, layer, "Destination network", h + 6);
    AddNodeLine(d, layer, "Destination node", h + 10);
    AddSocketLine(d, layer, "Destination socket", h + 16);
    AddNetworkLine(d, layer, "Source network", h + 18);
    AddNodeLine(d, layer, "Source node", h + 22);
    AddSocketLine(d, layer, "Source socket", h + 28);
  }

  // Only the destination socket selects the payload's protocol. The length
  // field precedes the socket, so it is known whenever the socket is.
  if (d.U16(h + 16) == kNetbiosSocket) {
    d.Dispatch(length == kNbipxNamePacketLength ? DecodeNbipxName : DecodeNbipxConnection, h + kHeaderLength);
  }
  d.FinishLayer(layer, kHeaderLength, "ipx");
}

}  // namespace qv
