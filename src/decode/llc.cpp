#include "decode/llc.h"

#include "decode/bpdu.h"
#include "decode/ipv4.h"
#include "decode/ipx.h"
#include "decode/netbios.h"
#include "decode/snap.h"
#include "decode/text_format.h"
#include "decode/x25.h"
#include "decode/xns.h"

namespace qv {

namespace {

// The LLC line always covers DSAP, SSAP and the first control byte; the
// second control byte of the I and S formats is described by its own line.
constexpr std::uint32_t kLineLength = 3;

constexpr FieldInfo kLlc{"llc", "Logical-Link Control", FieldType::Protocol};
constexpr FieldInfo kDsap{"llc.dsap", "DSAP", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kSsap{"llc.ssap", "SSAP", FieldType::UInt8, FieldBase::Hex};
// The lines show the first control byte alone, where filters elsewhere know
// a control field of 16 bits: the U format's byte and the supervisory
// function (bits 2-3) have names of their own.
constexpr FieldInfo kControl{"llc.control_u", "Control (U format)", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kSupervisory{"llc.s_ftype", "Supervisory frame type", FieldType::UInt8, FieldBase::Hex, 0x0C};
// N(S) and N(R) as their byte holds them, the low bit cleared but not
// shifted out: twice the sequence number.
constexpr FieldInfo kSendSequence{"llc.control.n_s_bits", "N(S) bits", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kReceiveSequence{"llc.control.n_r_bits", "N(R) bits", FieldType::UInt8, FieldBase::Dec};
constexpr const FieldInfo* kFields[] = {
    &kLlc, &kDsap, &kSsap, &kControl, &kSupervisory, &kSendSequence, &kReceiveSequence};
const FieldRegistration kRegistration(kFields);

struct SapEntry {
  std::uint8_t sap;
  const char* name;    // " (IPv4)": shared by the DSAP and the SSAP line
  DecoderFn decoder;   // chosen by the DSAP alone
};

constexpr SapEntry kSaps[] = {
    {0x06, " (IPv4)", DecodeIpv4},         {0x42, " (BPDU)", DecodeBpdu},
    {0x7E, " (X.25 PLP)", DecodeX25},      {0x80, " (XNS)", DecodeXns},
    {0xAA, " (IEEE SNAP)", DecodeSnap},    {0xE0, " (Netware IPX)", DecodeIpx},
    {0xF0, " (NetBIOS)", DecodeNetbios},
};

const SapEntry* FindSap(std::uint8_t sap) {
  for (const auto& e : kSaps) {
    if (e.sap == sap) return &e;
  }
  return nullptr;
}

const char* SapName(std::uint8_t sap) {
  const SapEntry* e = FindSap(sap);
  return e != nullptr ? e->name : "";
}

// Unnumbered commands and responses, keyed by the control byte with the
// poll/final bit (0x10) cleared.
const char* UnnumberedName(std::uint8_t control) {
  switch (control & 0xEF) {
    case 0x03: return " - Unnumberd Information";
    case 0x0F: return " - Disconnected Mode";
    case 0x43: return " - Disconnect";
    case 0x63: return " - Unnumbered Acknowledgement";
    case 0x6F: return " - Set Asynch. Balanced Mode Extended";
    case 0x87: return " - Frame Reject";
    case 0xAF: return " - Exchange Identification";
    case 0xE3: return " - Test";
    default: return "";
  }
}

bool IsUnnumbered(std::uint8_t control) { return (control & 0x03) == 0x03; }

void AddReceiveSequence(PacketDecoder& d, NodeId layer, std::uint8_t second, std::uint32_t start) {
  const unsigned nr = second & 0xFEu;
  d.AddFieldLine(layer, kReceiveSequence, Format("Transmit receive sequence number %u (0x%02X)", nr, nr), start,
                 start + 1, nr);
}

void AddControlLines(PacketDecoder& d, NodeId layer, std::uint32_t h, std::uint8_t c) {
  const std::optional<std::uint8_t> second = d.U8(h + 3);
  if (IsUnnumbered(c)) {
    d.AddFieldLine(layer, kControl, Format("Control: 0x%02X%s", c, UnnumberedName(c)), h + 2, h + 3, c);
  } else if ((c & 0x01) == 0) {
    // Information format: N(S) in the first control byte, N(R) in the second,
    // both shown as the byte with its low bit cleared (not shifted).
    const unsigned ns = c & 0xFEu;
    d.AddFieldLine(layer, kSendSequence, Format("Transmit send sequence number %u (0x%02X)", ns, ns), h + 2, h + 3,
                   ns);
    if (second) AddReceiveSequence(d, layer, *second, h + 3);
  } else {
    // Supervisory format: the function is in bits 2-3 of the first byte.
    // The texts follow IEEE 802.2: 0x04 is Receive Not Ready, 0x08 Reject.
    const std::uint64_t function = MaskedValue(kSupervisory, c);
    switch (c & 0x0C) {
      case 0x00:
        d.AddFieldLine(layer, kSupervisory, "----00--:Receive Ready", h + 2, h + 3, function);
        break;
      case 0x04:
        d.AddFieldLine(layer, kSupervisory, "----10--:Receive Not Ready", h + 2, h + 3, function);
        break;
      case 0x08:
        d.AddFieldLine(layer, kSupervisory, "----01--:Reject", h + 2, h + 3, function);
        break;
      default:
        // Function 3 is not defined; the line shows the second byte's N(R)
        // over the first byte.
        if (second) AddReceiveSequence(d, layer, *second, h + 2);
        break;
    }
  }
}

}  // namespace

void DecodeLlc(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  const std::optional<std::uint8_t> dsap = d.U8(h);
  const std::optional<std::uint8_t> control = d.U8(h + 2);

  d.BeginLayer(Protocol::Llc);
  NodeId layer = kNoNode;
  if (d.IsTree()) {
    layer = d.AddLayerLine(kLlc, "LLC", h, h + kLineLength);
    d.AddUint(layer, kDsap, h, [](std::uint32_t sap) {
      return Format("DSAP: 0x%02x%s%s", sap, SapName(static_cast<std::uint8_t>(sap)),
                    (sap & 0x01) ? " - Group DSAP" : " - Individual DSAP");
    });
    d.AddUint(layer, kSsap, h + 1, [](std::uint32_t sap) {
      return Format("SSAP: 0x%02x%s%s", sap, SapName(static_cast<std::uint8_t>(sap)),
                    (sap & 0x01) ? " - Response" : " - Command");
    });
    if (control) AddControlLines(d, layer, h, *control);
  }

  // Without the control byte the header length, and so the payload start,
  // is unknown; nothing after it was captured anyway.
  if (dsap && control) {
    const SapEntry* e = FindSap(*dsap);
    if (e != nullptr) d.Dispatch(e->decoder, h + (IsUnnumbered(*control) ? 3 : 4));
  }
  d.FinishLayer(layer, kLineLength, "llc");
}

}  // namespace qv
