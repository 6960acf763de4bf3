#include "decode/mpls.h"

#include "decode/bit_pattern.h"
#include "decode/ipv4.h"
#include "decode/ipv6.h"
#include "decode/text_format.h"
#include "decode/tunnelled_ethernet.h"

namespace qv {

namespace {

constexpr std::uint32_t kEntryLength = 4;
constexpr std::uint32_t kControlWordLength = 4;
constexpr std::uint32_t kBottomOfStack = 0x100;
// Labels that the layer line lists before it ends with "...".
constexpr std::uint32_t kLabelsNamed = 8;

constexpr FieldInfo kMpls{"mpls", "MultiProtocol Label Switching Header", FieldType::Protocol};
constexpr FieldInfo kLabel{"mpls.label", "MPLS Label", FieldType::UInt32, FieldBase::Dec, 0xFFFFF000};
constexpr FieldInfo kExp{"mpls.exp", "MPLS Experimental Bits", FieldType::UInt32, FieldBase::Dec, 0x00000E00};
constexpr FieldInfo kBottom{"mpls.bottom", "MPLS Bottom Of Label Stack", FieldType::UInt32, FieldBase::Dec,
                            kBottomOfStack};
constexpr FieldInfo kTtl{"mpls.ttl", "MPLS TTL", FieldType::UInt32, FieldBase::Dec, 0x000000FF};

// The control word of a pseudowire (RFC 4385): a zero nibble, flags,
// fragmentation bits, a length and a sequence number.
constexpr FieldInfo kControlWord{"pwmcw", "PW MPLS Control Word (generic/preferred)", FieldType::Protocol};
constexpr FieldInfo kCwFlags{"pwmcw.flags", "Flags", FieldType::UInt16, FieldBase::Hex, 0x0FC0};
constexpr FieldInfo kCwLength{"pwmcw.length", "Length", FieldType::UInt8, FieldBase::Dec, 0x3F};
constexpr FieldInfo kCwSequence{"pwmcw.sequence_number", "Sequence Number", FieldType::UInt16, FieldBase::Dec};

constexpr const FieldInfo* kFields[] = {&kMpls,        &kLabel,   &kExp,      &kBottom,    &kTtl,
                                        &kControlWord, &kCwFlags, &kCwLength, &kCwSequence};
const FieldRegistration kRegistration(kFields);

// Labels 0 to 15 are reserved; these have a meaning of their own.
const char* ReservedLabelName(std::uint32_t label) {
  switch (label) {
    case 0: return "IPv4 Explicit-Null";
    case 1: return "Router Alert";
    case 2: return "IPv6 Explicit-Null";
    case 3: return "Implicit-Null";
    case 7: return "Entropy Label Indicator";
    case 13: return "Generic Associated Channel Label (GAL)";
    case 14: return "OAM Alert";
    case 15: return "Extension";
    default: return nullptr;
  }
}

std::string LabelText(std::uint32_t label) {
  const char* reserved = ReservedLabelName(label);
  if (reserved != nullptr) return Format("MPLS Label: %s (%u)", reserved, label);
  return Format("MPLS Label: %u (0x%05x)", label, label);
}

void AddEntry(PacketDecoder& d, NodeId layer, std::uint32_t at, std::uint32_t entry) {
  const NodeId line = d.AddLine(
      layer,
      Format("Label: %u, Exp: %u, S: %u, TTL: %u", entry >> 12, (entry >> 9) & 7u, (entry >> 8) & 1u, entry & 0xFFu),
      at, at + kEntryLength);
  d.AddUint(line, kLabel, at, [](std::uint32_t v) { return BitLine(kLabel, v, LabelText(v)); });
  d.AddUint(line, kExp, at, [](std::uint32_t v) { return BitLine(kExp, v, Format("MPLS Experimental Bits: %u", v)); });
  d.AddUint(line, kBottom, at,
            [](std::uint32_t v) { return BitLine(kBottom, v, Format("MPLS Bottom Of Label Stack: %u", v)); });
  d.AddUint(line, kTtl, at, [](std::uint32_t v) { return BitLine(kTtl, v, Format("MPLS TTL: %u", v)); });
}

void AddControlWord(PacketDecoder& d, NodeId layer, std::uint32_t at) {
  const NodeId line = d.AddFieldLine(layer, kControlWord, "PW MPLS Control Word", at, at + kControlWordLength);
  d.AddUint(line, kCwFlags, at, [](std::uint32_t v) { return BitLine(kCwFlags, v, Format("Flags: 0x%02x", v)); });
  d.AddUint(line, kCwLength, at + 1, [](std::uint32_t v) { return BitLine(kCwLength, v, Format("Length: %u", v)); });
  d.AddUint(line, kCwSequence, at + 2, "Sequence Number: %u");
}

}  // namespace

void DecodeMpls(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Mpls);
  const NodeId layer = d.IsTree() ? d.AddLayerLine(kMpls, "MPLS label stack", h, h + kEntryLength) : kNoNode;

  // The stack ends at the entry with the bottom-of-stack bit, or, when none
  // has it, at the end of the captured bytes.
  std::uint32_t p = h;
  bool bottom = false;
  for (std::uint32_t index = 0; !bottom; ++index) {
    const std::optional<std::uint32_t> entry = d.U32(p);
    if (!entry) break;
    bottom = (*entry & kBottomOfStack) != 0;
    if (d.IsTree()) {
      // The layer line names the first labels; each entry has its own line.
      if (index < kLabelsNamed) d.AppendText(layer, Format("%s%u", index == 0 ? ": " : ", ", *entry >> 12));
      if (index == kLabelsNamed) d.AppendText(layer, ", ...");
      AddEntry(d, layer, p, *entry);
    }
    p += kEntryLength;
  }
  std::uint32_t headerLength = p - h;
  if (bottom) {
    // Nothing names the payload: the first nibble tells IPv4 and IPv6 from a
    // pseudowire's control word, which an Ethernet frame follows.
    const std::optional<std::uint8_t> first = d.U8(p);
    const unsigned nibble = first ? *first >> 4 : 0xFu;
    if (nibble == 4) {
      d.Dispatch(DecodeIpv4, p);
    } else if (nibble == 6) {
      d.Dispatch(DecodeIpv6, p);
    } else if (nibble == 0) {
      if (d.IsTree()) AddControlWord(d, layer, p);
      headerLength += kControlWordLength;
      d.Dispatch(DecodeTunnelledEthernet, p + kControlWordLength);
    }
  }
  d.SetRange(layer, h, h + headerLength);
  d.FinishLayer(layer, headerLength, "mpls");
}

}  // namespace qv
