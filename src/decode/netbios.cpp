#include "decode/netbios.h"

#include "decode/netbios_name.h"
#include "decode/smb.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// The NetBIOS frame header (NBF) has two sizes: 14 bytes for session frames,
// which name the sessions by number, and 44 bytes for frames that carry the
// two 16-byte names. Its fields are least significant byte first.
constexpr std::uint16_t kShortHeader = 14;
constexpr std::uint16_t kLongHeader = 44;
constexpr std::uint32_t kNameLength = 16;

constexpr FieldInfo kProto{"netbios", "NetBIOS", FieldType::Protocol};
constexpr FieldInfo kLength{"netbios.hdr_len", "Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kDelimiter{"netbios.delimiter", "Delimiter", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kCommand{"netbios.command", "Command", FieldType::UInt8, FieldBase::Hex};
// The two data fields whose meaning depends on the command, shown as they are.
constexpr FieldInfo kData1{"netbios.data1", "DATA1 value", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kData2{"netbios.data2", "DATA2 value", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kXmitCorrelator{"netbios.xmit_corrl", "Transmit Correlator", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kRespCorrelator{"netbios.resp_corrl", "Response Correlator", FieldType::UInt16, FieldBase::Hex};
// Session frames: the receiver's session number first, then the sender's.
constexpr FieldInfo kRemoteSession{"netbios.remote_session", "Remote Session No.", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kLocalSession{"netbios.local_session", "Local Session No.", FieldType::UInt8, FieldBase::Hex};
// The 16 bytes of each name as they are, the last one naming the service.
constexpr FieldInfo kDstName{"netbios.dst_name", "Destination Name", FieldType::Bytes};
constexpr FieldInfo kSrcName{"netbios.src_name", "Source Name", FieldType::Bytes};
constexpr const FieldInfo* kFields[] = {&kProto, &kLength, &kDelimiter, &kCommand, &kData1, &kData2, &kXmitCorrelator,
                                        &kRespCorrelator, &kRemoteSession, &kLocalSession, &kDstName, &kSrcName};
const FieldRegistration kRegistration(kFields);

const char* CommandSuffix(std::uint32_t command) {
  switch (command) {
    case 0x00: return " - ADD_GROUP_QUERY";
    case 0x01: return " - ADD_NAME_QUERY";
    case 0x02: return " - NAME_IN_CONFLICT";
    case 0x03: return " - STATUS_QUERY";
    case 0x07: return " - TERMINATE_TRACE";
    case 0x08: return " - DATAGRAM";
    case 0x09: return " - DATAGRAM_BROADCAST";
    case 0x0D: return " - ADD_NAME_RESPONSE";
    case 0x0F: return " - STATUS_RESPONSE";
    case 0x13: return " - TERMINATE_LOCAL&REMOTE_TRACE";
    case 0x14: return " - DATA_ACK";
    case 0x15: return " - DATA_FIRST_MIDDLE";
    case 0x16: return " - DATA_ONLY_LAST";
    case 0x17: return " - SESSION_CONFIRM";
    case 0x18: return " - SESSION_END";
    case 0x19: return " - SESSION_INITIALISE";
    case 0x1A: return " - NO_RECEIVE";
    case 0x1B: return " - RECEIVE_OUTSTANDING";
    case 0x1C: return " - RECEIVE_CONTINUE";
    case 0x1F: return " - SESSION_ALIVE";
    default: return "";
  }
}

// Datagrams and session data frames carry an SMB message after the header.
bool CarriesSmb(std::uint8_t command) {
  return command == 0x08 || command == 0x09 || command == 0x15 || command == 0x16;
}

// The header's 16-bit fields are least significant byte first.
void AddWordLine(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* format, std::uint32_t at) {
  if (const auto v = d.U16Le(at)) d.AddFieldLine(layer, f, Format(format, *v, *v), at, at + FieldWidth(f), *v);
}

void AddNameLine(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* label, std::uint32_t at) {
  if (const std::uint8_t* name = d.Bytes(at, kNameLength)) {
    std::string text = label;
    AppendNetbiosName(text, name, kNameLength);
    d.AddBytes(layer, f, at, kNameLength, std::move(text));
  }
}

}  // namespace

void DecodeNetbios(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::NetBios);

  const std::optional<std::uint16_t> length = d.U16Le(h);
  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine("NetBIOS");
    d.SetField(layer, kProto);
    // A header of any other size is not understood: the line stays empty.
    if (!length || (*length != kShortHeader && *length != kLongHeader)) return;
    d.SetRange(layer, h, h + *length);
    AddWordLine(d, layer, kLength, "Length: %u (0x%02x)", h);
    AddWordLine(d, layer, kDelimiter, "Deliminator: %u (0x%04x)", h + 2);
  }
  if (!length) return;

  const std::optional<std::uint8_t> command = d.U8(h + 4);
  if (command && CarriesSmb(*command)) d.Dispatch(DecodeSmb, h + *length);
  if (!d.IsTree()) return;

  d.AddUint(layer, kCommand, h + 4,
            [](std::uint32_t c) { return Format("Command: %u (0x%02x)%s", c, c, CommandSuffix(c)); });
  d.AddUint(layer, kData1, h + 5, "Data1: %u (0x%02x)");
  AddWordLine(d, layer, kData2, "Data2: %u (0x%04x)", h + 6);
  AddWordLine(d, layer, kXmitCorrelator, "Transmit Correlator: %u (0x%04x)", h + 8);
  AddWordLine(d, layer, kRespCorrelator, "Response Correlator: %u (0x%04x)", h + 10);
  if (*length == kShortHeader) {
    d.AddUint(layer, kRemoteSession, h + 12, "Destination number: %u (0x%02x)");
    d.AddUint(layer, kLocalSession, h + 13, "Source number: %u (0x%02x)");
  } else {
    AddNameLine(d, layer, kDstName, "Destination Name: ", h + 12);
    AddNameLine(d, layer, kSrcName, "Source Name: ", h + 28);
  }
  d.FinishLayer(layer, *length, "netbios");
}

}  // namespace qv
