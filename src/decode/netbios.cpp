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

const char* CommandSuffix(std::uint8_t command) {
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

void AddByteLine(PacketDecoder& d, NodeId layer, const char* format, std::uint32_t at) {
  if (const auto v = d.U8(at)) d.AddLine(layer, Format(format, *v, *v), at, at + 1);
}

void AddWordLine(PacketDecoder& d, NodeId layer, const char* format, std::uint32_t at) {
  if (const auto v = d.U16Le(at)) d.AddLine(layer, Format(format, *v, *v), at, at + 2);
}

void AddNameLine(PacketDecoder& d, NodeId layer, const char* label, std::uint32_t at) {
  if (const std::uint8_t* name = d.Bytes(at, kNameLength)) {
    std::string text = label;
    AppendNetbiosName(text, name, kNameLength);
    d.AddLine(layer, std::move(text), at, at + kNameLength);
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
    // A header of any other size is not understood: the line stays empty.
    if (!length || (*length != kShortHeader && *length != kLongHeader)) return;
    d.SetRange(layer, h, h + *length);
    d.AddLine(layer, Format("Length: %u (0x%02x)", *length, *length), h, h + 2);
    AddWordLine(d, layer, "Deliminator: %u (0x%04x)", h + 2);
  }
  if (!length) return;

  const std::optional<std::uint8_t> command = d.U8(h + 4);
  if (command && CarriesSmb(*command)) d.Dispatch(DecodeSmb, h + *length);
  if (!d.IsTree()) return;

  if (command) {
    d.AddLine(layer, Format("Command: %u (0x%02x)%s", *command, *command, CommandSuffix(*command)), h + 4, h + 5);
  }
  AddByteLine(d, layer, "Data1: %u (0x%02x)", h + 5);
  AddWordLine(d, layer, "Data2: %u (0x%04x)", h + 6);
  AddWordLine(d, layer, "Transmit Correlator: %u (0x%04x)", h + 8);
  AddWordLine(d, layer, "Response Correlator: %u (0x%04x)", h + 10);
  if (*length == kShortHeader) {
    AddByteLine(d, layer, "Destination number: %u (0x%02x)", h + 12);
    AddByteLine(d, layer, "Source number: %u (0x%02x)", h + 13);
  } else {
    AddNameLine(d, layer, "Destination Name: ", h + 12);
    AddNameLine(d, layer, "Source Name: ", h + 28);
  }
  d.FinishLayer(layer, *length, "netbios");
}

}  // namespace qv
