#include "decode/tls.h"

#include <algorithm>

#include "decode/text_format.h"
#include "decode/tls_fields.h"
#include "decode/tls_internal.h"
#include "decode/tls_names.h"

namespace qv {

namespace tls {

std::string BytesText(std::uint32_t count) { return Format("%u byte%s", count, count == 1 ? "" : "s"); }

std::string HexPreview(const PacketDecoder& d, std::uint32_t at, std::uint32_t count, std::uint32_t limit) {
  const std::uint32_t shown = std::min({count, limit, d.Available(at)});
  std::string out = appfield::HexText(d.frame + at, shown);
  if (shown < count) out += "...";
  return out;
}

}  // namespace tls

namespace {

using namespace tls;

// The fields of every TLS unit, registered here: this unit is always linked.
constexpr const FieldInfo* kFields[] = {
    &kProto, &kRecord, &kContentType, &kOpaqueType, &kRecordVersion, &kRecordLength, &kAppData, &kChangeCipherSpec,
    &kAlert, &kAlertLevel, &kAlertDesc, &kSegmentData, &kRecordData, &kHandshake, &kHsType, &kHsLength, &kHsData,
    &kHsVersion, &kRandom, &kRandomTime, &kRandomBytes, &kSessionIdLength, &kSessionId, &kCipherSuitesLength,
    &kCipherSuites, &kCipherSuite, &kCompMethodsLength, &kCompMethods, &kCompMethod, &kExtensionsLength,
    &kCertificatesLength, &kCertificates, &kCertificateLength, &kCertificate, &kCertContextLength, &kCertContext,
    &kCurveType, &kNamedCurve, &kServerPointLength, &kServerPoint, &kClientPointLength, &kClientPoint, &kEpmsLength,
    &kEpms, &kSigLength, &kSig, &kTicketLifetime, &kTicketAgeAdd, &kTicketNonceLength, &kTicketNonce, &kTicketLength,
    &kTicket, &kVerifyData, &kCertTypesCount, &kCertTypes, &kCertType, &kDnamesLength, &kDnames, &kDnameLength,
    &kDname, &kExtType, &kExtLength, &kExtData, &kSniListLength, &kSniType, &kSniLength, &kSni, &kAlpnLength,
    &kAlpnList, &kAlpnStrLength, &kAlpnStr, &kVersionsLength, &kVersion, &kGroupsLength, &kGroups, &kGroup,
    &kKeyShareLength, &kKeyShareGroup, &kKeyExchangeLength, &kKeyExchange, &kSelectedGroup, &kSigAlgsLength, &kSigAlgs,
    &kSigAlg, &kSigHash, &kSigSig, &kPointFormatsLength, &kPointFormats, &kPointFormat, &kPskModesLength, &kPskMode,
    &kRenegLength, &kReneg, &kStatusType, &kStatusResponders, &kStatusExts, &kPaddingData, &kRecordSizeLimit,
    &kCompressAlgsLength, &kCompressAlg, &kAlpsLength, &kAlpsStrLength, &kAlpsStr, &kPskIdentitiesLength,
    &kPskIdentityLength, &kPskIdentity, &kPskTicketAge, &kPskBindersLength, &kPskBinders, &kPskSelected,
    &kMaxEarlyData, &kEchType, &kEchKdf, &kEchAead, &kEchConfigId, &kEchEncLength, &kEchEnc, &kEchPayloadLength,
    &kEchPayload, &kQuicParameter, &kQuicParamType, &kQuicParamLength, &kQuicParamValue
};
const FieldRegistration kRegistration(kFields);

enum ContentType : std::uint8_t {
  kChangeCipherSpecType = 20,
  kAlertType = 21,
  kHandshakeType = 22,
  kApplicationDataType = 23,
  kHeartbeatType = 24,
};

// A record header that could be one: a known content type, version 3.0 to
// 3.4, a length a record may have.
struct RecordHeader {
  std::uint8_t type = 0;
  std::uint16_t version = 0;
  std::uint16_t length = 0;
};

std::optional<RecordHeader> ReadRecordHeader(const PacketDecoder& d, std::uint32_t at) {
  if (!d.Has(at, kRecordHeaderLength)) return std::nullopt;
  const RecordHeader h{d.frame[at], *d.U16(at + 1), *d.U16(at + 3)};
  if (h.type < kChangeCipherSpecType || h.type > kHeartbeatType) return std::nullopt;
  if ((h.version >> 8) != 3 || (h.version & 0xff) > 4) return std::nullopt;
  if (h.length == 0 || h.length > kMaxRecordLength) return std::nullopt;
  return h;
}

// "TLSv1.2"; a record of a connection known to be TLS 1.3 (its ServerHello
// chose it in this segment, or the records show it) still says 1.2 in its
// header, and is labelled 1.3.
const char* RecordLabel(const RecordHeader& h, const Session& s) {
  if (s.version == kTls13 && h.version >= 0x0301) return RecordVersionLabel(kTls13);
  return RecordVersionLabel(h.version);
}

// The handshake record's messages are readable: no ChangeCipherSpec came
// before, the first message has a known type, and its length fits the
// record unless the record is full-sized (a message continued in the next
// record).
bool HandshakeInClear(const PacketDecoder& d, const RecordHeader& h, std::uint32_t body, const Session& s) {
  if (s.encrypted) return false;
  const std::optional<std::uint8_t> type = d.U8(body);
  if (!type) return true;  // nothing captured to judge by: shown as far as it goes
  if (HandshakeTypeName(*type) == nullptr) return false;
  const std::optional<std::uint32_t> length = d.U24(body + 1);
  if (!length) return true;
  return std::uint64_t{*length} + kHandshakeHeaderLength <= h.length || h.length >= (1u << 14);
}

void AddAlert(PacketDecoder& d, NodeId record, const RecordHeader& h, const Area& body) {
  if (h.length != 2) {
    d.AppendText(record, ": Encrypted Alert");
    d.AddFieldLine(record, kAlert, "Alert Message: Encrypted Alert", body.start, body.end);
    return;
  }
  const NodeId alert = d.AddFieldLine(record, kAlert, "Alert Message", body.start, body.end);
  const FieldRead<std::uint32_t> level = d.AddUint(alert, kAlertLevel, body.start, [](std::uint32_t v) {
    const char* name = AlertLevelName(v);
    return Format("Level: %s (%u)", name != nullptr ? name : "Unknown", v);
  });
  const FieldRead<std::uint32_t> desc = d.AddUint(alert, kAlertDesc, body.start + 1, [](std::uint32_t v) {
    const char* name = AlertDescriptionName(v);
    return Format("Description: %s (%u)", name != nullptr ? name : "Unknown", v);
  });
  if (level && desc) {
    const char* l = AlertLevelName(*level);
    const char* n = AlertDescriptionName(*desc);
    d.AppendText(record, Format(": Alert (Level: %s, Description: %s)", l != nullptr ? l : "Unknown",
                                n != nullptr ? n : "Unknown"));
  } else {
    d.AppendText(record, ": Alert Protocol");
  }
}

// One record in tree mode: its header lines and its body as far as it was
// captured. Returns where the next record starts.
std::uint64_t AddRecord(PacketDecoder& d, NodeId layer, std::uint32_t p, const RecordHeader& h, Session& s) {
  const std::uint64_t declaredEnd = std::uint64_t{p} + kRecordHeaderLength + h.length;
  const Area body = appfield::AreaOf(p + kRecordHeaderLength, h.length, d.capturedLength);
  const NodeId record = d.AddFieldLine(layer, kRecord, Format("%s Record Layer", RecordLabel(h, s)), p,
                                       static_cast<std::uint32_t>(std::min<std::uint64_t>(declaredEnd, body.end)));
  const bool opaque = h.type == kApplicationDataType && s.version == kTls13;
  d.AddUint(record, opaque ? kOpaqueType : kContentType, p, [opaque](std::uint32_t v) {
    return Format("%s: %s (%u)", opaque ? "Opaque Type" : "Content Type", ContentTypeName(v), v);
  });
  d.AddUint(record, kRecordVersion, p + 1, [](std::uint32_t v) {
    const char* name = VersionName(v);
    return Format("Version: %s (0x%04x)", name != nullptr ? name : "Unknown", v);
  });
  d.AddUint(record, kRecordLength, p + 3, "Length: %u");

  switch (h.type) {
    case kChangeCipherSpecType:
      d.AppendText(record, ": ChangeCipherSpec Protocol: ChangeCipherSpec");
      d.AddFieldLine(record, kChangeCipherSpec, "ChangeCipherSpec Message", body.start, body.end);
      s.encrypted = true;
      break;
    case kAlertType: AddAlert(d, record, h, body); break;
    case kHandshakeType:
      d.AppendText(record, ": Handshake Protocol");
      if (!HandshakeInClear(d, h, body.start, s)) {
        d.AppendText(record, ": Encrypted Handshake Message");
        d.AddFieldLine(record, kHandshake, "Handshake Protocol: Encrypted Handshake Message", body.start, body.end);
      } else if (const HandshakeSummary m = DecodeHandshakeArea(d, record, body, s); m.count == 1) {
        d.AppendText(record, std::string(": ") + m.firstName);
      } else if (m.count > 1) {
        d.AppendText(record, ": Multiple Handshake Messages");
      }
      break;
    case kApplicationDataType:
      d.AppendText(record, ": Application Data Protocol: Application Data");
      if (body.Size() != 0) {
        const std::string size =
            body.Size() == h.length ? BytesText(h.length) : Format("%u of %u bytes here", body.Size(), h.length);
        d.AddBytes(record, kAppData, body.start, body.Size(), "Encrypted Application Data (" + size + ")");
      }
      break;
    default:
      d.AppendText(record, ": Heartbeat Protocol");
      if (body.Size() != 0) {
        d.AddBytes(record, kRecordData, body.start, body.Size(), "Heartbeat Message (" + BytesText(h.length) + ")");
      }
      break;
  }
  if (declaredEnd > d.capturedLength) {
    d.AppendText(record, Format(" [record continues in a later segment: %u of %u bytes here]", body.Size(), h.length));
  }
  return declaredEnd;
}

void AddRecords(PacketDecoder& d, std::uint32_t h) {
  const NodeId layer = d.AddLayerLine(kProto, "Transport Layer Security", h, d.capturedLength);
  Session s;
  if (!ReadRecordHeader(d, h)) {
    // The middle or the end of a record that began in an earlier segment.
    const std::uint32_t rest = d.Available(h);
    d.AddBytes(layer, kSegmentData, h, rest, "Continuation Data (" + BytesText(rest) + ")");
    return;
  }
  std::uint32_t p = h;
  while (d.Available(p) != 0) {
    const std::optional<RecordHeader> header = ReadRecordHeader(d, p);
    if (!header) {
      const std::uint32_t rest = d.Available(p);
      const char* what = rest < kRecordHeaderLength ? "Record header cut short" : "Not a TLS record";
      d.AddBytes(layer, kSegmentData, p, rest, Format("%s (%s)", what, BytesText(rest).c_str()));
      return;
    }
    // In TLS 1.2 the ChangeCipherSpec is followed by an encrypted
    // handshake record; application data right after it is TLS 1.3's
    // compatibility ChangeCipherSpec before the client's encrypted flight.
    if (header->type == kChangeCipherSpecType && s.version == 0 &&
        std::uint64_t{p} + kRecordHeaderLength + header->length < d.capturedLength) {
      const std::optional<RecordHeader> after = ReadRecordHeader(d, p + kRecordHeaderLength + header->length);
      if (after && after->type == kApplicationDataType) s.version = kTls13;
    }
    const std::uint64_t next = AddRecord(d, layer, p, *header, s);
    if (next >= d.capturedLength) return;
    p = static_cast<std::uint32_t>(next);
  }
}

// Summary mode: only a ClientHello's server name matters.
void ScanRecords(PacketDecoder& d, std::uint32_t h) {
  Session s;
  std::uint32_t p = h;
  while (const std::optional<RecordHeader> header = ReadRecordHeader(d, p)) {
    if (header->type == kHandshakeType && d.U8(p + kRecordHeaderLength) == 1) {
      const Area body = appfield::AreaOf(p + kRecordHeaderLength, header->length, d.capturedLength);
      DecodeHandshakeArea(d, kNoNode, body, s);
    }
    const std::uint64_t next = std::uint64_t{p} + kRecordHeaderLength + header->length;
    if (next >= d.capturedLength) return;
    p = static_cast<std::uint32_t>(next);
  }
}

}  // namespace

void DecodeTls(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Tls);
  if (d.IsSummary()) {
    ScanRecords(d, h);
    return;
  }
  if (d.IsTree()) AddRecords(d, h);
}

bool LooksLikeTlsRecord(const PacketDecoder& d, std::uint32_t at) {
  const std::optional<RecordHeader> h = ReadRecordHeader(d, at);
  if (!h) return false;
  const std::optional<std::uint8_t> first = d.U8(at + kRecordHeaderLength);
  switch (h->type) {
    case kChangeCipherSpecType: return h->length == 1 && first.value_or(1) == 1;
    case kAlertType: return h->length >= 2 && (h->length != 2 || first.value_or(1) == 1 || first == 2);
    case kHandshakeType: return !first || HandshakeTypeName(*first) != nullptr;
    case kHeartbeatType: return h->length >= 3;
    default: return true;
  }
}

void DecodeTlsHandshakeMessages(PacketDecoder& d, NodeId parent, std::uint32_t start, std::uint32_t end,
                                NameOrigin origin) {
  Session s;
  s.origin = origin;
  const std::uint32_t limit = std::min(end, d.capturedLength);
  if (start >= limit) return;
  DecodeHandshakeArea(d, parent, Area{start, limit}, s);
}

}  // namespace qv
