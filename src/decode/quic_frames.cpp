#include "decode/quic_frames.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "decode/app_field_lines.h"
#include "decode/quic_fields.h"
#include "decode/quic_varint.h"
#include "decode/text_format.h"
#include "decode/tls.h"

namespace qv {

namespace {

using namespace quicfield;

enum FrameType : std::uint64_t {
  kPadding = 0x00,
  kPing = 0x01,
  kAck = 0x02,
  kAckEcn = 0x03,
  kCrypto = 0x06,
  kNewToken = 0x07,
  kCloseTransport = 0x1c,
  kCloseApplication = 0x1d,
};

const char* FrameName(std::uint64_t type) {
  switch (type) {
    case 0x00: return "PADDING";
    case 0x01: return "PING";
    case 0x02: return "ACK";
    case 0x03: return "ACK_ECN";
    case 0x04: return "RESET_STREAM";
    case 0x05: return "STOP_SENDING";
    case 0x06: return "CRYPTO";
    case 0x07: return "NEW_TOKEN";
    case 0x10: return "MAX_DATA";
    case 0x11: return "MAX_STREAM_DATA";
    case 0x12: return "MAX_STREAMS (BIDI)";
    case 0x13: return "MAX_STREAMS (UNI)";
    case 0x14: return "DATA_BLOCKED";
    case 0x15: return "STREAM_DATA_BLOCKED";
    case 0x16: return "STREAMS_BLOCKED (BIDI)";
    case 0x17: return "STREAMS_BLOCKED (UNI)";
    case 0x18: return "NEW_CONNECTION_ID";
    case 0x19: return "RETIRE_CONNECTION_ID";
    case 0x1a: return "PATH_CHALLENGE";
    case 0x1b: return "PATH_RESPONSE";
    case 0x1c: return "CONNECTION_CLOSE (Transport)";
    case 0x1d: return "CONNECTION_CLOSE (Application)";
    case 0x1e: return "HANDSHAKE_DONE";
    case 0x30:
    case 0x31: return "DATAGRAM";
    default: break;
  }
  if (type >= 0x08 && type <= 0x0f) return "STREAM";
  return "Unknown";
}

const char* TransportErrorName(std::uint64_t code) {
  static constexpr const char* kNames[] = {
      "NO_ERROR",
      "INTERNAL_ERROR",
      "CONNECTION_REFUSED",
      "FLOW_CONTROL_ERROR",
      "STREAM_LIMIT_ERROR",
      "STREAM_STATE_ERROR",
      "FINAL_SIZE_ERROR",
      "FRAME_ENCODING_ERROR",
      "TRANSPORT_PARAMETER_ERROR",
      "CONNECTION_ID_LIMIT_ERROR",
      "PROTOCOL_VIOLATION",
      "INVALID_TOKEN",
      "APPLICATION_ERROR",
      "CRYPTO_BUFFER_EXCEEDED",
      "KEY_UPDATE_ERROR",
      "AEAD_LIMIT_REACHED",
      "NO_VIABLE_PATH",
  };
  if (code < std::size(kNames)) return kNames[code];
  if (code >= 0x100 && code <= 0x1ff) return "CRYPTO_ERROR";
  return "Unknown";
}

// One CRYPTO frame's data, where it sits in the plaintext and in the stream.
struct CryptoPiece {
  std::uint64_t offset;
  std::uint32_t start;
  std::uint32_t length;
  NodeId line;  // its "Crypto Data" line
};

class FrameReader {
 public:
  FrameReader(PacketDecoder& d, NodeId parent) : d_(d), parent_(parent), end_(d.capturedLength) {}

  void ReadAll() {
    std::uint32_t at = 0;
    while (at < end_) {
      const std::optional<std::uint32_t> next = ReadFrame(at);
      if (!next) return;
      at = *next;
    }
  }

  void HandCryptoToTls();

 private:
  // A variable-length integer field at `at`, which moves past it.
  std::optional<std::uint64_t> Varint(NodeId line, const FieldInfo& f, std::uint32_t& at) {
    const std::optional<QuicVarint> v = ReadQuicVarint(d_.frame, at, end_);
    if (!v) return std::nullopt;
    if (d_.IsTree()) {
      d_.AddFieldLine(line, f, Format("%s: %llu", std::string(f.name).c_str(), static_cast<unsigned long long>(v->value)),
                      at, at + v->length, v->value);
    }
    at += v->length;
    return v->value;
  }

  // The frame's own line covers it once its end is known.
  void Finish(NodeId line, std::uint32_t start, std::uint32_t end) {
    if (!d_.IsTree() || line == kNoNode) return;
    if (d_.IsDetached()) {
      DecodeNode& node = (*d_.Tree())[line];
      node.storedBytes.assign(reinterpret_cast<const char*>(d_.frame + start), end - start);
      node.bytesStored = true;
    } else {
      d_.SetRange(line, start, end);
    }
  }

  // A frame cut short by the end of the payload: what was read stays, the
  // rest of the payload is not decoded.
  std::optional<std::uint32_t> CutShort(NodeId line, std::uint32_t start) {
    d_.AddLine(line, "Frame cut short by the end of the payload");
    Finish(line, start, end_);
    return std::nullopt;
  }

  std::optional<std::uint32_t> ReadFrame(std::uint32_t start);
  std::optional<std::uint32_t> ReadPadding(std::uint32_t start);
  std::optional<std::uint32_t> ReadAck(NodeId line, std::uint32_t start, std::uint32_t at, bool ecn);
  std::optional<std::uint32_t> ReadCrypto(NodeId line, std::uint32_t start, std::uint32_t at);
  std::optional<std::uint32_t> ReadNewToken(NodeId line, std::uint32_t start, std::uint32_t at);
  std::optional<std::uint32_t> ReadClose(NodeId line, std::uint32_t start, std::uint32_t at, bool transport);

  PacketDecoder& d_;
  NodeId parent_;
  std::uint32_t end_;
  std::vector<CryptoPiece> crypto_;
};

std::optional<std::uint32_t> FrameReader::ReadFrame(std::uint32_t start) {
  const std::optional<QuicVarint> type = ReadQuicVarint(d_.frame, start, end_);
  if (!type) {
    d_.AddLine(parent_, "Frame type cut short by the end of the payload");
    return std::nullopt;
  }
  if (type->value == kPadding) return ReadPadding(start);

  const NodeId line = d_.AddFieldLine(parent_, kFrame, FrameName(type->value), start, start);
  d_.AddFieldLine(line, kFrameType,
                  Format("Frame Type: %s (0x%016llx)", FrameName(type->value),
                         static_cast<unsigned long long>(type->value)),
                  start, start + type->length, type->value);
  const std::uint32_t at = start + type->length;
  switch (type->value) {
    case kPing: Finish(line, start, at); return at;
    case kAck: return ReadAck(line, start, at, false);
    case kAckEcn: return ReadAck(line, start, at, true);
    case kCrypto: return ReadCrypto(line, start, at);
    case kNewToken: return ReadNewToken(line, start, at);
    case kCloseTransport: return ReadClose(line, start, at, true);
    case kCloseApplication: return ReadClose(line, start, at, false);
    default: break;
  }
  // An Initial carries none of the other frames; their layouts are not
  // followed here, so the rest of the payload is shown as it is.
  if (at < end_) d_.AddBytes(line, kRemainingPayload, at, end_ - at, appfield::SizedLabel("Remaining Payload", end_ - at));
  Finish(line, start, end_);
  return std::nullopt;
}

// A run of PADDING frames (single zero bytes) is one line.
std::optional<std::uint32_t> FrameReader::ReadPadding(std::uint32_t start) {
  std::uint32_t at = start;
  while (at < end_ && d_.frame[at] == 0) ++at;
  const std::uint32_t count = at - start;
  if (d_.IsTree()) {
    const NodeId line =
        d_.AddFieldLine(parent_, kFrame, "PADDING Length: " + QuicGroupedCount(count), start, at);
    d_.AddFieldLine(line, kFrameType, "Frame Type: PADDING (0x0000000000000000)", start, start + 1, 0);
    d_.AddFieldLine(line, kPaddingLength, Format("Padding Length: %u", count), start, at, count);
  }
  return at;
}

std::optional<std::uint32_t> FrameReader::ReadAck(NodeId line, std::uint32_t start, std::uint32_t at, bool ecn) {
  if (!Varint(line, kAckLargest, at) || !Varint(line, kAckDelay, at)) return CutShort(line, start);
  const std::optional<std::uint64_t> ranges = Varint(line, kAckRangeCount, at);
  if (!ranges || !Varint(line, kAckFirstRange, at)) return CutShort(line, start);
  // Each further range takes at least two bytes, which bounds the loop
  // whatever the count claims.
  for (std::uint64_t i = 0; i < *ranges; ++i) {
    if (!Varint(line, kAckGap, at) || !Varint(line, kAckRange, at)) return CutShort(line, start);
  }
  if (ecn) {
    if (!Varint(line, kAckEct0, at) || !Varint(line, kAckEct1, at) || !Varint(line, kAckEcnCe, at)) {
      return CutShort(line, start);
    }
  }
  Finish(line, start, at);
  return at;
}

std::optional<std::uint32_t> FrameReader::ReadCrypto(NodeId line, std::uint32_t start, std::uint32_t at) {
  const std::optional<std::uint64_t> offset = Varint(line, kCryptoOffset, at);
  if (!offset) return CutShort(line, start);
  const std::optional<std::uint64_t> length = Varint(line, kCryptoLength, at);
  if (!length) return CutShort(line, start);
  if (*length > end_ - at) {
    if (at < end_) d_.AddFieldLine(line, kCryptoData, "Crypto Data (cut short)", at, end_);
    return CutShort(line, start);
  }
  const auto size = static_cast<std::uint32_t>(*length);
  const NodeId data = d_.AddFieldLine(line, kCryptoData, "Crypto Data", at, at + size);
  if (d_.IsTree()) d_.AppendText(line, Format(" offset=%llu length=%u", static_cast<unsigned long long>(*offset), size));
  if (size != 0) crypto_.push_back({*offset, at, size, data});
  Finish(line, start, at + size);
  return at + size;
}

std::optional<std::uint32_t> FrameReader::ReadNewToken(NodeId line, std::uint32_t start, std::uint32_t at) {
  const std::optional<std::uint64_t> length = Varint(line, kNewTokenLength, at);
  if (!length) return CutShort(line, start);
  if (*length > end_ - at) {
    d_.AddBytes(line, kNewTokenToken, at, end_ - at, "Token (cut short)");
    return CutShort(line, start);
  }
  const auto size = static_cast<std::uint32_t>(*length);
  d_.AddBytes(line, kNewTokenToken, at, size, "Token: " + appfield::HexText(d_.frame + at, size));
  Finish(line, start, at + size);
  return at + size;
}

std::optional<std::uint32_t> FrameReader::ReadClose(NodeId line, std::uint32_t start, std::uint32_t at,
                                                    bool transport) {
  const std::optional<QuicVarint> code = ReadQuicVarint(d_.frame, at, end_);
  if (!code) return CutShort(line, start);
  if (d_.IsTree()) {
    const auto value = static_cast<unsigned long long>(code->value);
    if (transport) {
      std::string name = TransportErrorName(code->value);
      if (code->value >= 0x100 && code->value <= 0x1ff) name += Format(" (TLS alert %llu)", value & 0xff);
      d_.AddFieldLine(line, kCloseErrorCode, Format("Error code: %s (%llu)", name.c_str(), value), at,
                      at + code->length, code->value);
      d_.AppendText(line, " Error code: " + name);
    } else {
      d_.AddFieldLine(line, kCloseAppErrorCode, Format("Application Error code: %llu", value), at, at + code->length,
                      code->value);
      d_.AppendText(line, Format(" Error code: %llu", value));
    }
  }
  at += code->length;
  if (transport && !Varint(line, kCloseFrameType, at)) return CutShort(line, start);
  const std::optional<std::uint64_t> length = Varint(line, kCloseReasonLength, at);
  if (!length) return CutShort(line, start);
  if (*length > end_ - at) {
    d_.AddBytes(line, kCloseReason, at, end_ - at, "Reason phrase (cut short)");
    return CutShort(line, start);
  }
  const auto size = static_cast<std::uint32_t>(*length);
  if (size != 0) {
    d_.AddBytes(line, kCloseReason, at, size,
                "Reason phrase: " + appfield::PrintableText(d_.frame + at, size, false));
  }
  Finish(line, start, at + size);
  return at + size;
}

// Chrome spreads its ClientHello over several CRYPTO frames of one packet,
// in any order: the bytes contiguous from offset 0 are put together. Data
// that only continues an earlier packet's is shown but not decoded.
void FrameReader::HandCryptoToTls() {
  if (crypto_.empty()) return;
  if (crypto_.size() == 1) {
    const CryptoPiece& only = crypto_.front();
    if (only.offset == 0) {
      DecodeTlsHandshakeMessages(d_, only.line, only.start, only.start + only.length, NameOrigin::QuicServerName);
    }
    return;
  }
  std::vector<CryptoPiece> pieces = crypto_;
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const CryptoPiece& a, const CryptoPiece& b) { return a.offset < b.offset; });
  std::vector<std::uint8_t> joined;
  std::uint64_t next = 0;
  std::size_t used = 0;
  for (const CryptoPiece& p : pieces) {
    if (p.offset > next) break;
    const std::uint64_t pieceEnd = p.offset + p.length;
    if (pieceEnd <= next) continue;
    const auto skip = static_cast<std::uint32_t>(next - p.offset);
    joined.insert(joined.end(), d_.frame + p.start + skip, d_.frame + p.start + p.length);
    next = pieceEnd;
    ++used;
  }
  if (joined.empty()) return;
  const NodeId line = d_.AddLine(parent_, Format("CRYPTO data from offset 0 (%s bytes from %zu frames)",
                                                 QuicGroupedCount(joined.size()).c_str(), used));
  if (line != kNoNode) {
    // The joined bytes are the line's value.
    DecodeNode& node = (*d_.Tree())[line];
    node.storedBytes.assign(joined.begin(), joined.end());
    node.bytesStored = true;
  }
  const auto size = static_cast<std::uint32_t>(joined.size());
  d_.DecodeDetached(joined, line, [&](PacketDecoder& inner) {
    DecodeTlsHandshakeMessages(inner, line, 0, size, NameOrigin::QuicServerName);
  });
}

}  // namespace

std::string QuicGroupedCount(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

void DecodeQuicFrames(PacketDecoder& d, NodeId parent) {
  FrameReader reader(d, parent);
  reader.ReadAll();
  reader.HandCryptoToTls();
}

}  // namespace qv
