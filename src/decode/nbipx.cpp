#include "decode/nbipx.h"

#include "decode/netbios_name.h"
#include "decode/smb.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kConnectionHeaderLength = 18;
constexpr std::uint32_t kNamePacketLength = 50;
constexpr std::uint32_t kNetworkCount = 8;
constexpr std::uint32_t kNameLength = 16;

constexpr FieldInfo kProto{"nbipx", "NetBIOS over IPX", FieldType::Protocol};
constexpr FieldInfo kConnControl{"nmpi.conn_control", "Connection control", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kPacketType{"nmpi.packettype", "Packet Type", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kSrcConnId{"nmpi.session.src_conn_id", "Source connection ID", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kDstConnId{"nmpi.session.dest_conn_id", "Destination connection ID", FieldType::UInt16,
                               FieldBase::Hex};
constexpr FieldInfo kSendSeq{"nmpi.session.send_seq_number", "Send sequence number", FieldType::UInt16,
                             FieldBase::Dec};
constexpr FieldInfo kTotalLength{"nmpi.session.total_data_length", "Total data length", FieldType::UInt16,
                                 FieldBase::Dec};
constexpr FieldInfo kOffset{"nmpi.session.offset", "Offset", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kDataLength{"nmpi.session.data_length", "Data length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kRecvSeq{"nmpi.session.recv_seq_number", "Receive sequence number", FieldType::UInt16,
                             FieldBase::Dec};
constexpr FieldInfo kBytesReceived{"nmpi.session.bytes_received", "Bytes received", FieldType::UInt16,
                                   FieldBase::Dec};
constexpr FieldInfo kNetwork{"nmpi.ipx_network", "IPX Network", FieldType::UInt32, FieldBase::Hex};
constexpr FieldInfo kNameFlags{"nmpi.name_flags", "Name type flag", FieldType::UInt8, FieldBase::Hex};
// The 16 bytes of the name as they are, its last byte naming the service.
constexpr FieldInfo kName{"nmpi.name", "Name", FieldType::Bytes};
// The protocol whose name the session and name fields carry, as the peers
// name them; it has no line of its own.
constexpr FieldInfo kNmpi{"nmpi", "Name Management Protocol over IPX", FieldType::Protocol};
constexpr const FieldInfo* kFields[] = {&kProto, &kNmpi, &kConnControl, &kPacketType, &kSrcConnId, &kDstConnId, &kSendSeq,
                                        &kTotalLength, &kOffset, &kDataLength, &kRecvSeq, &kBytesReceived, &kNetwork,
                                        &kNameFlags, &kName};
const FieldRegistration kRegistration(kFields);

// The connection header's 16-bit fields, least significant byte first.
struct WordField {
  std::uint32_t at;
  const FieldInfo& field;
  const char* format;
};

constexpr WordField kConnectionWords[] = {
    {2, kSrcConnId, "Source connection id: %u (0x%04x)"},
    {4, kDstConnId, "Destination connection id: %u (0x%04x)"},
    {6, kSendSeq, "Send sequence number: %u (0x%04x)"},
    {8, kTotalLength, "Total data length: %u (0x%02x)"},
    {10, kOffset, "Offset: %u (0x%04x)"},
    {12, kDataLength, "Data length: %u (0x%04x)"},
    {14, kRecvSeq, "Recieve sequence number: %u (0x%04x)"},
    {16, kBytesReceived, "Bytes recieved: %u (0x%04x)"},
};

// An SMB message starts with 0xFF "SMB".
bool CarriesSmb(const PacketDecoder& d, std::uint32_t at) {
  // The signature is taken only when at least one byte follows it.
  if (!d.Has(at, 5)) return false;
  const std::uint8_t* b = d.Bytes(at, 4);
  return b[0] == 0xFF && b[1] == 'S' && b[2] == 'M' && b[3] == 'B';
}

}  // namespace

void DecodeNbipxConnection(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Nbipx);

  if (d.IsTree()) {
    const NodeId layer = d.AddLayerLine(kProto, "NBIPX", h, h + kConnectionHeaderLength);
    d.AddUint(layer, kConnControl, h, "Connection control flag: 0x%02x");
    d.AddUint(layer, kPacketType, h + 1, "Data stream type: 0x%02x");
    for (const WordField& f : kConnectionWords) {
      const std::uint32_t at = h + f.at;
      const std::optional<std::uint16_t> v = d.U16Le(at);
      if (!v) break;  // the rest of the header was not captured either
      d.AddFieldLine(layer, f.field, Format(f.format, *v, *v), at, at + FieldWidth(f.field), *v);
    }
  }

  if (CarriesSmb(d, h + kConnectionHeaderLength)) {
    d.Dispatch(DecodeSmb, h + kConnectionHeaderLength);
  } else {
    d.FinishPayload(kConnectionHeaderLength, "nbipx");
  }
}

void DecodeNbipxName(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Nbipx);
  if (!d.IsTree()) return;

  const NodeId layer = d.AddLayerLine(kProto, "NBIPX", h, h + kNamePacketLength);
  if (d.Has(h, 4 * kNetworkCount)) {
    const NodeId networks = d.AddLine(layer, "Networks", h, h + 4 * kNetworkCount);
    for (std::uint32_t i = 1; i <= kNetworkCount; ++i) {
      d.AddUint(networks, kNetwork, h + 4 * (i - 1), [i](std::uint32_t n) {
        return Format("Network %u: %u.%u.%u.%u", i, n >> 24, n >> 16 & 0xFF, n >> 8 & 0xFF, n & 0xFF);
      });
    }
  }
  d.AddUint(layer, kNameFlags, h + 32, "Name type: 0x%02X");
  d.AddUint(layer, kPacketType, h + 33, "DS type 2: 0x%02X");
  if (const std::uint8_t* name = d.Bytes(h + 34, kNameLength)) {
    std::string text = "Name: ";
    AppendNetbiosName(text, name, kNameLength);
    d.AddBytes(layer, kName, h + 34, kNameLength, std::move(text));
  }
  d.FinishLayer(layer, kNamePacketLength, "nbipx");
}

}  // namespace qv
