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

constexpr FieldInfo kProto{"ipx", "Internetwork Packet eXchange", FieldType::Protocol};
constexpr FieldInfo kChecksum{"ipx.checksum", "Checksum", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kLength{"ipx.len", "Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kHops{"ipx.hops", "Transport Control (Hops)", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kPacketType{"ipx.packet_type", "Packet Type", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kDstNet{"ipx.dst.net", "Destination Network", FieldType::UInt32, FieldBase::Hex};
constexpr FieldInfo kDstNode{"ipx.dst.node", "Destination Node", FieldType::Mac};
constexpr FieldInfo kDstSocket{"ipx.dst.socket", "Destination Socket", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kSrcNet{"ipx.src.net", "Source Network", FieldType::UInt32, FieldBase::Hex};
constexpr FieldInfo kSrcNode{"ipx.src.node", "Source Node", FieldType::Mac};
constexpr FieldInfo kSrcSocket{"ipx.src.socket", "Source Socket", FieldType::UInt16, FieldBase::Hex};
constexpr const FieldInfo* kFields[] = {&kProto, &kChecksum, &kLength, &kHops, &kPacketType, &kDstNet, &kDstNode,
                                        &kDstSocket, &kSrcNet, &kSrcNode, &kSrcSocket};
const FieldRegistration kRegistration(kFields);

const char* PacketTypeSuffix(std::uint32_t type) {
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

const char* SocketSuffix(std::uint32_t socket) {
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

// A network number, shown byte by byte in decimal and in hexadecimal.
void AddNetworkLine(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  d.AddUint(layer, f, at, [label](std::uint32_t n) {
    const unsigned b0 = n >> 24, b1 = n >> 16 & 0xFF, b2 = n >> 8 & 0xFF, b3 = n & 0xFF;
    return Format("%s: %u.%u.%u.%u (0x %02x.%02x.%02x.%02x)", label, b0, b1, b2, b3, b0, b1, b2, b3);
  });
}

void AddNodeLine(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  if (const std::uint8_t* n = d.Bytes(at, FieldWidth(f))) {
    d.AddAddress(layer, f, at, Format("%s: %02x:%02x:%02x:%02x:%02x:%02x", label, n[0], n[1], n[2], n[3], n[4], n[5]));
  }
}

void AddSocketLine(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  d.AddUint(layer, f, at,
            [label](std::uint32_t s) { return Format("%s: %u (0x%04x)%s", label, s, s, SocketSuffix(s)); });
}

}  // namespace

void DecodeIpx(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Ipx);

  const std::optional<std::uint16_t> length = d.U16(h + 2);
  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine(kProto, "IPX", h, h + kHeaderLength);
    d.AddUint(layer, kChecksum, h, "Checksum: %u (0x%04x)");
    d.AddUint(layer, kLength, h + 2, "Length: %u (0x%04x)");
    d.AddUint(layer, kHops, h + 4, "Transport control: %u (0x%02x)");
    d.AddUint(layer, kPacketType, h + 5,
              [](std::uint32_t t) { return Format("Packet type: %u (0x%02x)%s", t, t, PacketTypeSuffix(t)); });
    AddNetworkLine(d, layer, kDstNet, "Destination network", h + 6);
    AddNodeLine(d, layer, kDstNode, "Destination node", h + 10);
    AddSocketLine(d, layer, kDstSocket, "Destination socket", h + 16);
    AddNetworkLine(d, layer, kSrcNet, "Source network", h + 18);
    AddNodeLine(d, layer, kSrcNode, "Source node", h + 22);
    AddSocketLine(d, layer, kSrcSocket, "Source socket", h + 28);
  }

  // Only the destination socket selects the payload's protocol. The length
  // field precedes the socket, so it is known whenever the socket is.
  if (d.U16(h + 16) == kNetbiosSocket) {
    d.Dispatch(length == kNbipxNamePacketLength ? DecodeNbipxName : DecodeNbipxConnection, h + kHeaderLength);
  }
  d.FinishLayer(layer, kHeaderLength, "ipx");
}

}  // namespace qv
