#include "decode/smb.h"

#include "decode/text_format.h"

namespace qv {

namespace {

// Fixed part of the SMB header, up to and including the word count.
constexpr std::uint32_t kWordCountAt = 32;
constexpr std::uint32_t kWordsAt = kWordCountAt + 1;

// Command names of the core and LAN Manager dialects, by command byte.
const char* CommandSuffix(std::uint8_t command) {
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

void AddByteLine(PacketDecoder& d, NodeId layer, const char* format, std::uint32_t at) {
  if (const auto v = d.U8(at)) d.AddLine(layer, Format(format, *v, *v), at, at + 1);
}

void AddWordLine(PacketDecoder& d, NodeId layer, const char* format, std::uint32_t at) {
  if (const auto v = d.U16Le(at)) d.AddLine(layer, Format(format, *v, *v), at, at + 2);
}

// A line that names bytes without showing them.
void AddBlockLine(PacketDecoder& d, NodeId layer, const char* text, std::uint32_t at, std::uint32_t count) {
  if (d.Has(at, count)) d.AddLine(layer, text, at, at + count);
}

}  // namespace

void DecodeSmb(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Smb);
  if (!d.IsTree()) return;

  const NodeId layer = d.AddLayerLine("SMB");
  AddByteLine(d, layer, "Deliminator: %u (0x%02x)", h);
  if (const std::uint8_t* id = d.Bytes(h + 1, 3)) {
    d.AddLine(layer, Format("ID: 0x%02x%02x%02x", id[0], id[1], id[2]), h + 1, h + 4);
  }
  if (const auto command = d.U8(h + 4)) {
    d.AddLine(layer, Format("Command: %u (0x%02x)%s", *command, *command, CommandSuffix(*command)), h + 4, h + 5);
  }
  AddByteLine(d, layer, "Error Class: %u (0x%02x)", h + 5);
  AddBlockLine(d, layer, "Reserved", h + 6, 1);
  AddWordLine(d, layer, "Error Code: %u (0x%04x)", h + 7);
  AddByteLine(d, layer, "Flags: %u (0x%02x)", h + 9);
  AddWordLine(d, layer, "Flags2: %u (0x%04x)", h + 10);
  AddBlockLine(d, layer, "Reserved", h + 12, 12);
  AddWordLine(d, layer, "Tree ID: %u (0x%04x)", h + 24);
  AddWordLine(d, layer, "Process ID: %u (0x%04x)", h + 26);
  AddWordLine(d, layer, "Unauthenticated User ID: %u (0x%04x)", h + 28);
  AddWordLine(d, layer, "Multiplex ID: %u (0x%04x)", h + 30);

  // The message ends after the parameter words and the data bytes; while
  // their counts are not captured, the layer runs to the end of the capture.
  std::uint32_t end = d.capturedLength;
  if (const auto wordCount = d.U8(h + kWordCountAt)) {
    AddByteLine(d, layer, "16-bit field count: %u (0x%02x)", h + kWordCountAt);
    const std::uint32_t words = 2u * *wordCount;
    AddBlockLine(d, layer, "Parameter Words", h + kWordsAt, words);
    const std::uint32_t byteCountAt = h + kWordsAt + words;
    if (const auto byteCount = d.U16Le(byteCountAt)) {
      d.AddLine(layer, Format("8-bit field count: %u (0x%04x)", *byteCount, *byteCount), byteCountAt,
                byteCountAt + 2);
      AddBlockLine(d, layer, "Buffer", byteCountAt + 2, *byteCount);
      end = byteCountAt + 2 + *byteCount;
    }
  }
  d.SetRange(layer, h, end);
}

}  // namespace qv
