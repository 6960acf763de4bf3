#include "decode/quic.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decode/app_field_lines.h"
#include "decode/quic_fields.h"
#include "decode/quic_frames.h"
#include "decode/quic_initial_keys.h"
#include "decode/quic_initial_memory.h"
#include "decode/quic_varint.h"
#include "decode/text_format.h"

namespace qv {

namespace {

using namespace quicfield;
using appfield::AddFlag;
using appfield::BitPattern;
using appfield::HexText;
using appfield::SizedLabel;

constexpr const FieldInfo* kFields[] = {
    &kProto, &kHeaderForm, &kFixedBit, &kLongPacketType, &kLongPacketTypeV2, &kLongReserved, &kPacketNumberLength,
    &kVersion, &kDcil, &kDcid, &kScil, &kScid, &kTokenLength, &kToken, &kLength, &kPacketNumber, &kSupportedVersion,
    &kVnUnused, &kShort, &kSpinBit, &kPayload, &kProtectedPayload, &kRemainingPayload, &kRetryToken, &kRetryTag,
    &kDecryptionFailed, &kCoalescedPadding,
    &kFrame, &kFrameType, &kPaddingLength, &kAckLargest, &kAckDelay, &kAckRangeCount, &kAckFirstRange, &kAckGap,
    &kAckRange, &kAckEct0, &kAckEct1, &kAckEcnCe, &kCryptoOffset, &kCryptoLength, &kCryptoData, &kNewTokenLength,
    &kNewTokenToken, &kCloseErrorCode, &kCloseAppErrorCode, &kCloseFrameType, &kCloseReasonLength, &kCloseReason,
};
const FieldRegistration kRegistration(kFields);

constexpr std::uint32_t kMaxConnectionIdLength = 20;
constexpr std::uint32_t kRetryTagLength = 16;
constexpr std::uint16_t kHttpsPort = 443;
// Coalesced packets of one datagram; real senders put two or three.
constexpr int kMaxPacketsPerDatagram = 16;

enum class PacketType : std::uint8_t { Initial, ZeroRtt, Handshake, Retry };

// Version 2 numbers the long header types differently.
PacketType TypeOf(std::uint32_t version, std::uint32_t bits) {
  if (IsQuicV2(version)) {
    static constexpr PacketType kV2[] = {PacketType::Retry, PacketType::Initial, PacketType::ZeroRtt,
                                         PacketType::Handshake};
    return kV2[bits & 3];
  }
  return static_cast<PacketType>(bits & 3);
}

const char* TypeName(PacketType type) {
  switch (type) {
    case PacketType::Initial: return "Initial";
    case PacketType::ZeroRtt: return "0-RTT";
    case PacketType::Handshake: return "Handshake";
    case PacketType::Retry: return "Retry";
  }
  return "Unknown";
}

std::string VersionName(std::uint32_t version) {
  if (version == 0) return "Negotiation";
  if (version == 1) return "1";
  if (IsQuicV2(version)) return "2";
  if ((version >> 8) == 0xff0000) return Format("draft-%u", version & 0xff);
  return "Unknown";
}

// The connection ids of a long header.
struct LongHeader {
  std::uint32_t version = 0;
  std::uint32_t dcidAt = 0;
  std::uint32_t dcidLength = 0;
  std::uint32_t scidAt = 0;
  std::uint32_t scidLength = 0;
  std::uint32_t after = 0;  // first byte after the source id
};

// Reads the version and connection ids at `p`; absent when they are not
// all captured or a length exceeds 20.
std::optional<LongHeader> ReadLongHeader(const PacketDecoder& d, std::uint32_t p) {
  const std::optional<std::uint32_t> version = d.U32(p + 1);
  const std::optional<std::uint8_t> dcil = d.U8(p + 5);
  if (!version || !dcil || *dcil > kMaxConnectionIdLength) return std::nullopt;
  LongHeader h;
  h.version = *version;
  h.dcidAt = p + 6;
  h.dcidLength = *dcil;
  const std::optional<std::uint8_t> scil = d.U8(h.dcidAt + h.dcidLength);
  if (!scil || *scil > kMaxConnectionIdLength) return std::nullopt;
  h.scidAt = h.dcidAt + h.dcidLength + 1;
  h.scidLength = *scil;
  if (!d.Has(h.scidAt, h.scidLength)) return std::nullopt;
  h.after = h.scidAt + h.scidLength;
  return h;
}

std::span<const std::uint8_t> BytesAt(const PacketDecoder& d, std::uint32_t at, std::uint32_t length) {
  return {d.frame + at, length};
}

// Whether the datagram comes from the HTTPS port to another: a server's.
bool FromServerPort(const PacketDecoder& d, std::uint32_t h) {
  if (d.IsDetached() || h < 8) return false;
  const std::optional<std::uint16_t> source = d.U16(h - 8);
  const std::optional<std::uint16_t> destination = d.U16(h - 6);
  return source && destination && *source == kHttpsPort && *destination != kHttpsPort;
}

// A client that gives itself no connection id is found by its address and
// port instead: the key of the datagram's source (or destination) endpoint.
// Longer than any connection id, so the two never meet.
std::string EndpointKey(const PacketDecoder& d, std::uint32_t h, bool source) {
  const std::uint8_t* address = source ? d.ipSource : d.ipDestination;
  if (address == nullptr || d.IsDetached() || h < 8) return {};
  const std::uint8_t* port = d.Bytes(source ? h - 8 : h - 6, 2);
  if (port == nullptr) return {};
  std::string key = "client-address/";
  key.append(reinterpret_cast<const char*>(address), d.ipIsV6 ? 16 : 4);
  key.append(reinterpret_cast<const char*>(port), 2);
  return key;
}

std::span<const std::uint8_t> SpanOf(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// A variable-length integer field of the header at `at`.
std::optional<QuicVarint> AddVarint(PacketDecoder& d, NodeId layer, const FieldInfo& f, std::uint32_t at) {
  const std::optional<QuicVarint> v = ReadQuicVarint(d.frame, at, d.capturedLength);
  if (v && d.IsTree()) {
    d.AddFieldLine(layer, f, Format("%s: %llu", std::string(f.name).c_str(), static_cast<unsigned long long>(v->value)),
                   at, at + v->length, v->value);
  }
  return v;
}

void AddConnectionIds(PacketDecoder& d, NodeId layer, const LongHeader& h) {
  if (!d.IsTree()) return;
  d.AddUint(layer, kDcil, h.dcidAt - 1, "Destination Connection ID Length: %u");
  if (h.dcidLength != 0) {
    d.AddBytes(layer, kDcid, h.dcidAt, h.dcidLength,
               "Destination Connection ID: " + HexText(d.frame + h.dcidAt, h.dcidLength));
  }
  d.AddUint(layer, kScil, h.scidAt - 1, "Source Connection ID Length: %u");
  if (h.scidLength != 0) {
    d.AddBytes(layer, kScid, h.scidAt, h.scidLength,
               "Source Connection ID: " + HexText(d.frame + h.scidAt, h.scidLength));
  }
}

void AddVersion(PacketDecoder& d, NodeId layer, std::uint32_t at) {
  d.AddUint(layer, kVersion, at, [](std::uint32_t v) {
    return Format("Version: %s (0x%08x)", VersionName(v).c_str(), v);
  });
}

// Version negotiation: the versions the server supports, to the end of the datagram.
void AddVersionNegotiation(PacketDecoder& d, NodeId layer, std::uint32_t p, const LongHeader& h) {
  d.SetRange(layer, p, d.capturedLength);
  if (!d.IsTree()) return;
  d.AddUint(layer, kVnUnused, p, [](std::uint32_t v) { return BitPattern(kVnUnused, v) + Format(" = Unused: 0x%02x", v); });
  AddVersion(d, layer, p + 1);
  AddConnectionIds(d, layer, h);
  for (std::uint32_t at = h.after; d.Has(at, 4); at += 4) {
    d.AddUint(layer, kSupportedVersion, at, [](std::uint32_t v) {
      return Format("Supported Version: %s (0x%08x)", VersionName(v).c_str(), v);
    });
  }
  const std::uint32_t rest = d.Available(h.after) % 4;
  if (rest != 0) d.AddLine(layer, SizedLabel("Trailing bytes", rest), d.capturedLength - rest, d.capturedLength);
}

// Which keys opened an Initial, or why none did.
struct OpenAttempt {
  QuicOpenedPacket packet;
  std::string failure;  // empty when opened
};

OpenAttempt TryKeys(std::uint32_t version, std::span<const std::uint8_t> originalDcid, QuicSide side,
                    std::span<const std::uint8_t> packet, std::uint32_t pnOffset) {
  OpenAttempt attempt;
  const std::optional<QuicPacketKeys> keys = DeriveQuicInitialKeys(version, originalDcid, side);
  if (!keys) {
    attempt.failure = "no keys for this version";
    return attempt;
  }
  attempt.packet = QuicOpenLongPacket(*keys, packet, pnOffset);
  if (attempt.packet.status == QuicOpenStatus::TooShort) {
    attempt.failure = "too short for the header protection sample";
  } else if (attempt.packet.status == QuicOpenStatus::AuthenticationFailed) {
    attempt.failure = "the authentication tag does not match";
  }
  return attempt;
}

// Opens an Initial: as a client's first Initial (keys from its own
// destination id), or, when the memory knows the connection, with the keys
// of the client's original destination id on either side.
OpenAttempt OpenInitial(PacketDecoder& d, std::uint32_t datagram, const LongHeader& h,
                        std::span<const std::uint8_t> packet, std::uint32_t pnOffset) {
  QuicInitialMemory* memory = d.Context().quicInitials;
  const std::span<const std::uint8_t> dcid = BytesAt(d, h.dcidAt, h.dcidLength);
  // Where the peer's packets go: this packet's source id, or its sender's
  // address when it has none.
  const std::string sourceKey = h.scidLength != 0 ? std::string(d.frame + h.scidAt, d.frame + h.after)
                                                  : EndpointKey(d, datagram, true);
  if (memory != nullptr) {
    const std::string destinationKey = h.dcidLength != 0 ? std::string(dcid.begin(), dcid.end())
                                                         : EndpointKey(d, datagram, false);
    if (const std::optional<std::string> original = memory->OriginalDcidFor(SpanOf(destinationKey))) {
      const std::span<const std::uint8_t> known(reinterpret_cast<const std::uint8_t*>(original->data()),
                                                original->size());
      for (const QuicSide side : {QuicSide::Server, QuicSide::Client}) {
        OpenAttempt attempt = TryKeys(h.version, known, side, packet, pnOffset);
        if (attempt.failure.empty()) {
          memory->Remember(SpanOf(sourceKey), known);
          return attempt;
        }
        if (attempt.packet.status == QuicOpenStatus::TooShort) return attempt;
      }
    }
  }
  OpenAttempt attempt = TryKeys(h.version, dcid, QuicSide::Client, packet, pnOffset);
  if (attempt.failure.empty()) {
    if (memory != nullptr) memory->Remember(SpanOf(sourceKey), dcid);
    return attempt;
  }
  if (attempt.packet.status == QuicOpenStatus::AuthenticationFailed && FromServerPort(d, datagram)) {
    attempt.failure = "keys unknown: the client's first Initial was not seen";
  }
  return attempt;
}

// The lines of an opened Initial: the bits the protection hid, the packet
// number, and the frames.
void AddOpenedInitial(PacketDecoder& d, NodeId layer, std::uint32_t p, std::uint32_t pnOffset,
                      const QuicOpenedPacket& opened, std::uint32_t protectedEnd) {
  if (d.IsTree()) {
    const std::uint32_t reserved = (opened.firstByte >> 2) & 3;
    d.AddFieldLine(layer, kLongReserved, BitPattern(kLongReserved, reserved) + Format(" = Reserved: %u", reserved), p,
                   p + 1, reserved);
    const std::uint32_t pnBits = opened.firstByte & 3;
    d.AddFieldLine(layer, kPacketNumberLength,
                   BitPattern(kPacketNumberLength, pnBits) +
                       Format(" = Packet Number Length: %u byte%s (%u)", pnBits + 1, pnBits == 0 ? "" : "s", pnBits),
                   p, p + 1, pnBits);
    d.AddFieldLine(layer, kPacketNumber,
                   Format("Packet Number: %llu", static_cast<unsigned long long>(opened.packetNumber)), pnOffset,
                   pnOffset + opened.pnLength, opened.packetNumber);
    const std::uint32_t payloadAt = pnOffset + opened.pnLength;
    d.AddBytes(layer, kPayload, payloadAt, protectedEnd - payloadAt,
               "Payload (" + QuicGroupedCount(protectedEnd - payloadAt) + " bytes, protected)");
  }
  const NodeId line = d.AddLine(layer, "Decrypted payload (" + QuicGroupedCount(opened.payload.size()) + " bytes)");
  d.DecodeDetached(opened.payload, line, [line](PacketDecoder& inner) { DecodeQuicFrames(inner, line); });
}

// One long-header packet at `p`; returns where the next packet of the
// datagram starts, or nothing when this one takes the rest.
std::optional<std::uint32_t> DecodeLongPacket(PacketDecoder& d, std::uint32_t datagram, std::uint32_t p) {
  const std::uint8_t first = d.frame[p];
  const std::optional<LongHeader> header = ReadLongHeader(d, p);
  const NodeId layer = d.IsTree() ? d.AddLayerLine(kProto, "QUIC IETF", p, d.capturedLength) : kNoNode;
  d.AddUint(layer, kHeaderForm, p, [](std::uint32_t v) {
    return BitPattern(kHeaderForm, v) + Format(" = Header Form: %s (%u)", v != 0 ? "Long Header" : "Short Header", v);
  });
  if (!header) {
    d.AddLine(layer, "Header cut short, or a connection id longer than 20 bytes");
    return std::nullopt;
  }
  const LongHeader& h = *header;
  if (h.version == 0) {
    if (d.IsTree()) d.AppendText(layer, " (Version Negotiation)");
    AddVersionNegotiation(d, layer, p, h);
    return std::nullopt;
  }
  const PacketType type = TypeOf(h.version, (first >> 4) & 3);
  if (d.IsTree()) {
    std::string info = Format(" (%s", TypeName(type));
    if (h.dcidLength != 0) info += ", DCID=" + HexText(d.frame + h.dcidAt, h.dcidLength);
    if (h.scidLength != 0) info += ", SCID=" + HexText(d.frame + h.scidAt, h.scidLength);
    d.AppendText(layer, info + ")");
    AddFlag(d, layer, kFixedBit, p, "True", "False");
    const FieldInfo& typeField = IsQuicV2(h.version) ? kLongPacketTypeV2 : kLongPacketType;
    d.AddUint(layer, typeField, p, [&typeField, type](std::uint32_t v) {
      return BitPattern(typeField, v) + Format(" = Packet Type: %s (%u)", TypeName(type), v);
    });
    AddVersion(d, layer, p + 1);
    AddConnectionIds(d, layer, h);
  }
  if (!IsKnownQuicVersion(h.version)) {
    // Another version's layout after the ids is unknown.
    const std::uint32_t rest = d.Available(h.after);
    if (rest != 0) d.AddBytes(layer, kRemainingPayload, h.after, rest, SizedLabel("Remaining Payload", rest));
    return std::nullopt;
  }
  if (type == PacketType::Retry) {
    // The token runs to the integrity tag, the last 16 bytes.
    const std::uint32_t rest = d.Available(h.after);
    if (rest >= kRetryTagLength) {
      const std::uint32_t tokenLength = rest - kRetryTagLength;
      if (tokenLength != 0) {
        d.AddBytes(layer, kRetryToken, h.after, tokenLength,
                   "Retry Token: " + HexText(d.frame + h.after, tokenLength));
      }
      d.AddBytes(layer, kRetryTag, h.after + tokenLength, kRetryTagLength,
                 "Retry Integrity Tag: " + HexText(d.frame + h.after + tokenLength, kRetryTagLength));
    } else if (rest != 0) {
      d.AddLine(layer, "Retry cut short before its integrity tag", h.after, d.capturedLength);
    }
    return std::nullopt;
  }

  std::uint32_t at = h.after;
  if (type == PacketType::Initial) {
    const std::optional<QuicVarint> tokenLength = AddVarint(d, layer, kTokenLength, at);
    if (!tokenLength) return std::nullopt;
    at += tokenLength->length;
    if (tokenLength->value > d.Available(at)) {
      d.AddBytes(layer, kToken, at, d.Available(at), "Token (cut short)");
      return std::nullopt;
    }
    const auto size = static_cast<std::uint32_t>(tokenLength->value);
    if (size != 0) d.AddBytes(layer, kToken, at, size, "Token: " + HexText(d.frame + at, size));
    at += size;
  }
  const std::optional<QuicVarint> length = AddVarint(d, layer, kLength, at);
  if (!length) return std::nullopt;
  const std::uint32_t pnOffset = at + length->length;
  const bool whole = length->value <= d.Available(pnOffset);
  const std::uint32_t packetEnd = whole ? pnOffset + static_cast<std::uint32_t>(length->value) : d.capturedLength;
  d.SetRange(layer, p, packetEnd);
  if (!whole) d.AddLine(layer, "Length exceeds the datagram", at, pnOffset);

  if (type == PacketType::Initial && whole) {
    const std::span<const std::uint8_t> packet = BytesAt(d, p, packetEnd - p);
    const OpenAttempt attempt = OpenInitial(d, datagram, h, packet, pnOffset - p);
    if (attempt.failure.empty()) {
      AddOpenedInitial(d, layer, p, pnOffset, attempt.packet, packetEnd);
    } else if (d.IsTree()) {
      d.AddFieldLine(layer, kDecryptionFailed, "Initial could not be decrypted (" + attempt.failure + ")", pnOffset,
                     packetEnd);
    }
  } else if (packetEnd > pnOffset) {
    // Keys from the TLS handshake protect the rest, or the packet was cut.
    if (type == PacketType::Initial && d.IsTree()) {
      d.AddFieldLine(layer, kDecryptionFailed, "Initial could not be decrypted (the packet is cut short)", pnOffset,
                     packetEnd);
    } else {
      d.AddBytes(layer, kProtectedPayload, pnOffset, packetEnd - pnOffset,
                 "Protected Payload (" + QuicGroupedCount(packetEnd - pnOffset) + " bytes)");
    }
  }
  if (!whole) return std::nullopt;
  return packetEnd;
}

// A short header (1-RTT): its connection id's length is not in the packet.
// The memory of Initials knows the ids a connection chose, so a known one
// is shown; otherwise the rest is the protected payload.
void DecodeShortPacket(PacketDecoder& d, std::uint32_t p) {
  if (!d.IsTree()) return;
  const NodeId layer = d.AddLayerLine(kProto, "QUIC IETF (1-RTT)", p, d.capturedLength);
  const NodeId group = d.AddFieldLine(layer, kShort, "QUIC Short Header", p, p + 1);
  d.AddUint(group, kHeaderForm, p, [](std::uint32_t v) {
    return BitPattern(kHeaderForm, v) + Format(" = Header Form: %s (%u)", v != 0 ? "Long Header" : "Short Header", v);
  });
  AddFlag(d, group, kFixedBit, p, "True", "False");
  AddFlag(d, group, kSpinBit, p, "True", "False");
  std::uint32_t at = p + 1;
  if (const QuicInitialMemory* memory = d.Context().quicInitials; memory != nullptr) {
    for (std::uint32_t n = kMaxConnectionIdLength; n >= 1; --n) {
      if (!d.Has(at, n) || !memory->OriginalDcidFor(BytesAt(d, at, n))) continue;
      d.AddBytes(group, kDcid, at, n, "Destination Connection ID: " + HexText(d.frame + at, n));
      d.SetRange(group, p, at + n);
      at += n;
      break;
    }
  }
  const std::uint32_t rest = d.Available(at);
  if (rest != 0) {
    d.AddBytes(layer, kProtectedPayload, at, rest, "Protected Payload (" + QuicGroupedCount(rest) + " bytes)");
  }
}

}  // namespace

void DecodeQuic(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Quic);
  std::uint32_t p = h;
  for (int n = 0; n < kMaxPacketsPerDatagram && p < d.capturedLength; ++n) {
    const std::uint8_t first = d.frame[p];
    if ((first & 0x80) != 0) {
      const std::optional<std::uint32_t> next = DecodeLongPacket(d, h, p);
      if (!next) return;
      p = *next;
      continue;
    }
    if (n != 0 && (first & 0x40) == 0) {
      // Bytes after the last packet that cannot start one: padding of the datagram.
      if (d.IsTree()) {
        const NodeId line = d.AddLayerLine("QUIC IETF", p, d.capturedLength);
        d.AddFieldLine(line, kCoalescedPadding,
                       "Coalesced Padding Data (" + QuicGroupedCount(d.capturedLength - p) + " bytes)", p,
                       d.capturedLength);
      }
      return;
    }
    DecodeShortPacket(d, p);
    return;
  }
  if (p < d.capturedLength && d.IsTree()) {
    const NodeId line = d.AddLayerLine("QUIC IETF", p, d.capturedLength);
    d.AddBytes(line, kRemainingPayload, p, d.capturedLength - p,
               SizedLabel("Remaining Payload", d.capturedLength - p) + ", more packets than are decoded");
  }
}

bool LooksLikeQuic(const PacketDecoder& d, std::uint32_t at) {
  const std::optional<std::uint8_t> first = d.U8(at);
  if (!first || (*first & 0x80) == 0) return false;
  const std::optional<LongHeader> h = ReadLongHeader(d, at);
  if (!h) return false;
  if (h->version == 0) {
    // Version negotiation: whole supported versions follow the ids.
    const std::uint32_t rest = d.Available(h->after);
    return rest != 0 && rest % 4 == 0;
  }
  return (*first & 0x40) != 0 && IsKnownQuicVersion(h->version);
}

}  // namespace qv
