#include "decode/smb.h"

#include "decode/text_format.h"

namespace qv {

namespace {

// Fixed part of the SMB header, up to and including the word count.
constexpr std::uint32_t kWordCountAt = 32;
constexpr std::uint32_t kWordsAt = kWordCountAt + 1;

// The header's 16-bit fields are stored least significant byte first.
constexpr FieldInfo kProto{"smb", "SMB (Server Message Block Protocol)", FieldType::Protocol};
// The signature 0xFF "SMB", as its first byte and the three letters.
constexpr FieldInfo kDelimiter{"smb.delimiter", "Delimiter", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kId{"smb.id", "ID", FieldType::UInt24, FieldBase::Hex};
constexpr FieldInfo kCommand{"smb.cmd", "SMB Command", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kErrorClass{"smb.error_class", "Error Class", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kReserved{"smb.reserved", "Reserved", FieldType::Bytes};
constexpr FieldInfo kErrorCode{"smb.error_code", "Error Code", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kFlags{"smb.flags", "Flags", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kFlags2{"smb.flags2", "Flags2", FieldType::UInt16, FieldBase::Hex};
// The 12 bytes between Flags2 and the tree ID (later dialects put the high
// process ID and the signature there).
constexpr FieldInfo kHeaderReserved{"smb.header_reserved", "Reserved", FieldType::Bytes};
constexpr FieldInfo kTreeId{"smb.tid", "Tree ID", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kProcessId{"smb.pid", "Process ID", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kUserId{"smb.uid", "User ID", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kMultiplexId{"smb.mid", "Multiplex ID", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kWordCount{"smb.wct", "Word Count (WCT)", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kWords{"smb.word_parameters", "Word parameters", FieldType::Bytes};
constexpr FieldInfo kByteCount{"smb.bcc", "Byte Count (BCC)", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kBuffer{"smb.byte_parameters", "Byte parameters", FieldType::Bytes};
constexpr const FieldInfo* kFields[] = {&kProto, &kDelimiter, &kId, &kCommand, &kErrorClass, &kReserved, &kErrorCode,
                                        &kFlags, &kFlags2, &kHeaderReserved, &kTreeId, &kProcessId, &kUserId,
                                        &kMultiplexId, &kWordCount, &kWords, &kByteCount, &kBuffer};
const FieldRegistration kRegistration(kFields);

// Command names of the core and LAN Manager dialects, by command byte.
const char* CommandSuffix(std::uint32_t command) {
  switch (command) {
    case 0x00: return " - SMBmkdir";
    case 0x01: return " - SMBrmdir";
    case 0x02: return " - SMBopen";
    case 0x03: return " - SMBcreate";
    case 0x04: return " - SMBclose";
    case 0x05: return " - SMBflush";
    case 0x06: return " - SMBunlink";
    case 0x07: return " - SMBmv";
    case 0x08: return " - SMBgetatr";
    case 0x09: return " - SMBsetatr";
    case 0x0A: return " - SMBread";
    case 0x0B: return " - SMBwrite";
    case 0x0C: return " - SMBlock";
    case 0x0D: return " - SMBunlock";
    case 0x0F: return " - SMBmknew";
    case 0x10: return " - SMBchkpth";
    case 0x11: return " - SMBexit";
    case 0x12: return " - SMBlseek";
    case 0x13: return " - SMBlockreadr";
    case 0x14: return " - SMBwriteunlock";
    case 0x1A: return " - SMBreadBraw";
    case 0x1B: return " - SMBreadBmpx";
    case 0x1C: return " - SMBreadBs";
    case 0x1D: return " - SMBwriteBraw";
    case 0x1E: return " - SMBwriteBmpx";
    case 0x1F: return " - SMBwriteBs";
    case 0x20: return " - SMBwriteC";
    case 0x22: return " - SMBsetattrE";
    case 0x23: return " - SMBgetattrE";
    case 0x24: return " - SMBlockingX";
    case 0x25: return " - SMBtrans";
    case 0x26: return " - SMBtranss";
    case 0x27: return " - SMBioctl";
    case 0x28: return " - SMBioctls";
    case 0x29: return " - SMBcopy";
    case 0x2A: return " - SMBmove";
    case 0x2B: return " - SMBecho";
    case 0x2C: return " - SMBwriteclose";
    case 0x2D: return " - SMBopenX";
    case 0x2E: return " - SMBreadX";
    case 0x2F: return " - SMBwriteX";
    case 0x70: return " - SMBtcon";
    case 0x71: return " - SMBtdis";
    case 0x72: return " - SMBnegprot";
    case 0x73: return " - SMBsesssetup";
    case 0x75: return " - SMBtconX";
    case 0x80: return " - SMBbskattr";
    case 0x81: return " - SMBsearch";
    case 0x82: return " - SMBffirst";
    case 0x83: return " - SMBfunique";
    case 0x84: return " - SMBfclose";
    case 0xC0: return " - SMBsplopen";
    case 0xC1: return " - SMBsplwr";
    case 0xC2: return " - SMBsplclose";
    case 0xC3: return " - SMBsplretq";
    case 0xD0: return " - SMBsends";
    case 0xD1: return " - SMBsendb";
    case 0xD2: return " - SMBfwdname";
    case 0xD3: return " - SMBcancelf";
    case 0xD4: return " - SMBgetmac";
    case 0xD5: return " - SMBsendstrt";
    case 0xD6: return " - SMBsendend";
    case 0xD7: return " - SMBsendtxt";
    case 0xFE: return " - SMBinvalid";
    default: return "";
  }
}

std::optional<std::uint16_t> AddWordLine(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* format,
                                         std::uint32_t at) {
  const std::optional<std::uint16_t> v = d.U16Le(at);
  if (v) d.AddFieldLine(layer, f, Format(format, *v, *v), at, at + FieldWidth(f), *v);
  return v;
}

// A line that names bytes without showing them.
void AddBlockLine(PacketDecoder& d, NodeId layer, const FieldInfo& f, const char* text, std::uint32_t at,
                  std::uint32_t count) {
  if (d.Has(at, count)) d.AddFieldLine(layer, f, text, at, at + count);
}

}  // namespace

void DecodeSmb(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Smb);
  if (!d.IsTree()) return;

  const NodeId layer = d.AddLayerLine("SMB");
  d.SetField(layer, kProto);
  d.AddUint(layer, kDelimiter, h, "Deliminator: %u (0x%02x)");
  d.AddUint(layer, kId, h + 1, "ID: 0x%06x");
  d.AddUint(layer, kCommand, h + 4,
            [](std::uint32_t c) { return Format("Command: %u (0x%02x)%s", c, c, CommandSuffix(c)); });
  d.AddUint(layer, kErrorClass, h + 5, "Error Class: %u (0x%02x)");
  AddBlockLine(d, layer, kReserved, "Reserved", h + 6, 1);
  AddWordLine(d, layer, kErrorCode, "Error Code: %u (0x%04x)", h + 7);
  d.AddUint(layer, kFlags, h + 9, "Flags: %u (0x%02x)");
  AddWordLine(d, layer, kFlags2, "Flags2: %u (0x%04x)", h + 10);
  AddBlockLine(d, layer, kHeaderReserved, "Reserved", h + 12, 12);
  AddWordLine(d, layer, kTreeId, "Tree ID: %u (0x%04x)", h + 24);
  AddWordLine(d, layer, kProcessId, "Process ID: %u (0x%04x)", h + 26);
  AddWordLine(d, layer, kUserId, "Unauthenticated User ID: %u (0x%04x)", h + 28);
  AddWordLine(d, layer, kMultiplexId, "Multiplex ID: %u (0x%04x)", h + 30);

  // The message ends after the parameter words and the data bytes; while
  // their counts are not captured, the layer runs to the end of the capture.
  std::uint32_t end = d.capturedLength;
  if (const auto wordCount = d.AddUint(layer, kWordCount, h + kWordCountAt, "16-bit field count: %u (0x%02x)")) {
    const std::uint32_t words = 2u * *wordCount;
    AddBlockLine(d, layer, kWords, "Parameter Words", h + kWordsAt, words);
    const std::uint32_t byteCountAt = h + kWordsAt + words;
    if (const auto byteCount = AddWordLine(d, layer, kByteCount, "8-bit field count: %u (0x%04x)", byteCountAt)) {
      AddBlockLine(d, layer, kBuffer, "Buffer", byteCountAt + 2, *byteCount);
      end = byteCountAt + 2 + *byteCount;
    }
  }
  d.SetRange(layer, h, end);
}

}  // namespace qv
