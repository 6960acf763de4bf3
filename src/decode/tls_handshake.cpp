// Handshake messages: the hellos, certificates, key exchanges and tickets,
// each shown as far as its bytes were captured and as its length allows.

#include <algorithm>
#include <ctime>

#include "decode/text_format.h"
#include "decode/tls_fields.h"
#include "decode/tls_internal.h"
#include "decode/tls_names.h"

namespace qv::tls {

namespace {

enum HandshakeType : std::uint8_t {
  kClientHelloMsg = 1,
  kServerHelloMsg = 2,
  kNewSessionTicketMsg = 4,
  kEncryptedExtensionsMsg = 8,
  kCertificateMsg = 11,
  kServerKeyExchangeMsg = 12,
  kCertificateRequestMsg = 13,
  kCertificateVerifyMsg = 15,
  kClientKeyExchangeMsg = 16,
  kFinishedMsg = 20,
};

constexpr std::uint32_t kRandomLength = 32;
// A ServerHello with this random is a HelloRetryRequest (TLS 1.3).
constexpr std::uint8_t kHelloRetryRandom[kRandomLength] = {
    0xcf, 0x21, 0xad, 0x74, 0xe5, 0x9a, 0x61, 0x11, 0xbe, 0x1d, 0x8c, 0x02, 0x1e, 0x65, 0xb8, 0x91,
    0xc2, 0xa2, 0x11, 0x16, 0x7a, 0xbb, 0x8c, 0x5e, 0x07, 0x9e, 0x09, 0xe2, 0xc8, 0xa8, 0x33, 0x9c};

std::string NameOr(const char* name, const char* fallback = "Unknown") { return name != nullptr ? name : fallback; }

std::string VersionText(const char* label, std::uint32_t v) {
  return Format("%s: %s (0x%04x)", label, NameOr(VersionName(v)).c_str(), v);
}

// A length-prefixed vector: its length field (1, 2 or 3 bytes) at `at`, and
// its bytes cut at `limit`. Absent when the length field is not all there.
struct Vector {
  std::uint32_t length = 0;
  Area bytes;
  std::uint64_t end = 0;  // where the next field starts, by the length
};

std::optional<Vector> ReadVector(const PacketDecoder& d, std::uint32_t at, std::uint32_t width, const Area& limit) {
  if (!limit.Holds(at, width)) return std::nullopt;
  std::uint32_t length = 0;
  for (std::uint32_t i = 0; i < width; ++i) length = length << 8 | d.frame[at + i];
  Vector v;
  v.length = length;
  v.bytes = appfield::AreaOf(at + width, length, limit.end);
  v.end = std::uint64_t{at} + width + length;
  return v;
}

// Bytes of a vector: "Session ID: 9c4c..." over what there is of them.
void AddVectorBytes(PacketDecoder& d, NodeId parent, const FieldInfo& f, const Vector& v, const char* label) {
  if (v.bytes.Size() == 0) return;
  d.AddBytes(parent, f, v.bytes.start, v.bytes.Size(),
             std::string(label) + ": " + HexPreview(d, v.bytes.start, v.bytes.Size(), 32));
}

std::string GmtText(std::uint32_t seconds) {
  const std::time_t t = seconds;
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[64];
  std::strftime(text, sizeof text, "%b %e, %Y %H:%M:%S", &utc);
  return std::string(text) + ".000000000 UTC";
}

// The 32-byte random; before TLS 1.3 its first four bytes were a time.
void AddRandom(PacketDecoder& d, NodeId parent, std::uint32_t at, const Area& m, bool withTime, bool retry) {
  if (!m.Holds(at, kRandomLength)) return;
  const NodeId random = d.AddBytes(
      parent, kRandom, at, kRandomLength,
      "Random: " + appfield::HexText(d.frame + at, kRandomLength) + (retry ? " (HelloRetryRequest magic)" : ""));
  if (!withTime || retry) return;
  const std::uint32_t seconds = *d.U32(at);
  d.AddFieldLine(random, kRandomTime, "GMT Unix Time: " + GmtText(seconds), at, at + 4,
                 std::uint64_t{seconds} * 1000000000u);
  d.AddBytes(random, kRandomBytes, at + 4, kRandomLength - 4,
             "Random Bytes: " + appfield::HexText(d.frame + at + 4, kRandomLength - 4));
}

// The session id after the random; returns where the next field starts.
std::optional<std::uint32_t> AddSessionId(PacketDecoder& d, NodeId parent, std::uint32_t at, const Area& m) {
  const std::optional<Vector> id = ReadVector(d, at, 1, m);
  if (!id) return std::nullopt;
  d.AddUint(parent, kSessionIdLength, at, "Session ID Length: %u");
  AddVectorBytes(d, parent, kSessionId, *id, "Session ID");
  if (id->end > m.end) return std::nullopt;
  return static_cast<std::uint32_t>(id->end);
}

std::string SuiteText(std::uint32_t v) {
  return Format("Cipher Suite: %s (0x%04x)", NameOr(CipherSuiteName(v)).c_str(), v);
}

std::string CompressionText(std::uint32_t v) {
  return Format("Compression Method: %s (%u)", NameOr(CompressionMethodName(v)).c_str(), v);
}

void AddClientHello(PacketDecoder& d, NodeId line, const Area& m, Session& s) {
  std::uint32_t p = m.start;
  if (!m.Holds(p, 2)) return;
  d.AddUint(line, kHsVersion, p, [](std::uint32_t v) { return VersionText("Version", v); });
  AddRandom(d, line, p + 2, m, true, false);
  const std::optional<std::uint32_t> afterId = AddSessionId(d, line, p + 2 + kRandomLength, m);
  if (!afterId) return;
  p = *afterId;

  const std::optional<Vector> suites = ReadVector(d, p, 2, m);
  if (!suites) return;
  d.AddUint(line, kCipherSuitesLength, p, "Cipher Suites Length: %u");
  const std::uint32_t count = suites->length / 2;
  const NodeId list =
      d.AddFieldLine(line, kCipherSuites, Format("Cipher Suites (%u suite%s)", count, count == 1 ? "" : "s"),
                     suites->bytes.start, suites->bytes.end);
  for (std::uint32_t q = suites->bytes.start; suites->bytes.Holds(q, 2); q += 2)
    d.AddUint(list, kCipherSuite, q, SuiteText);
  if (suites->end > m.end) return;
  p = static_cast<std::uint32_t>(suites->end);

  const std::optional<Vector> methods = ReadVector(d, p, 1, m);
  if (!methods) return;
  d.AddUint(line, kCompMethodsLength, p, "Compression Methods Length: %u");
  const NodeId comp = d.AddFieldLine(
      line, kCompMethods, Format("Compression Methods (%u method%s)", methods->length, methods->length == 1 ? "" : "s"),
      methods->bytes.start, methods->bytes.end);
  for (std::uint32_t q = methods->bytes.start; q < methods->bytes.end; ++q)
    d.AddUint(comp, kCompMethod, q, CompressionText);
  if (methods->end >= m.end) return;
  AddExtensionsBlock(d, line, static_cast<std::uint32_t>(methods->end), m, ExtensionsOf::ClientHello, s);
}

void AddServerHello(PacketDecoder& d, NodeId line, const Area& m, Session& s) {
  const std::uint32_t p = m.start;
  const std::optional<std::uint16_t> legacy = m.Holds(p, 2) ? d.U16(p) : std::nullopt;
  if (!legacy) return;
  const bool retry = m.Holds(p + 2, kRandomLength) &&
                     std::equal(kHelloRetryRandom, kHelloRetryRandom + kRandomLength, d.frame + p + 2);
  if (retry) d.AppendText(line, " (Hello Retry Request)");
  // The chosen version: supported_versions when the extensions carry it,
  // else the version field. Looked for first, since the random's
  // interpretation depends on it.
  const std::optional<Vector> id = ReadVector(d, p + 2 + kRandomLength, 1, m);
  const std::uint64_t afterId = id ? id->end : m.end;
  s.version = *legacy;
  if (afterId + 3 < m.end) {
    const std::optional<Area> chosen = FindExtension(d, static_cast<std::uint32_t>(afterId) + 3, m, 43);
    if (chosen && chosen->Size() == 2) s.version = *d.U16(chosen->start);
  }
  d.AddUint(line, kHsVersion, p, [](std::uint32_t v) { return VersionText("Version", v); });
  AddRandom(d, line, p + 2, m, s.version != kTls13, retry);
  const std::optional<std::uint32_t> at = AddSessionId(d, line, p + 2 + kRandomLength, m);
  if (at && m.Holds(*at, 3)) {
    d.AddUint(line, kCipherSuite, *at, SuiteText);
    d.AddUint(line, kCompMethod, *at + 2, CompressionText);
    if (*at + 3 < m.end) {
      AddExtensionsBlock(d, line, *at + 3, m, retry ? ExtensionsOf::HelloRetryRequest : ExtensionsOf::ServerHello, s);
    }
  }
  d.AddLine(line, VersionText("[Selected Version", s.version) + "]");
}

// TLS 1.2: a list of certificates. TLS 1.3: a request context first, and
// extensions after each certificate.
bool IsTls13CertificateForm(const PacketDecoder& d, const Area& m, std::uint32_t declared) {
  const std::optional<std::uint32_t> list12 = m.Holds(m.start, 3) ? d.U24(m.start) : std::nullopt;
  if (list12 && *list12 + 3 == declared) return false;
  const std::optional<std::uint8_t> context = m.Holds(m.start, 1) ? d.U8(m.start) : std::nullopt;
  if (!context || !m.Holds(m.start + 1 + *context, 3)) return false;
  return *d.U24(m.start + 1 + *context) + 4 + *context == declared;
}

void AddCertificates(PacketDecoder& d, NodeId line, const Area& m, std::uint32_t declared, Session& s) {
  std::uint32_t p = m.start;
  const bool tls13 = s.version == kTls13 || IsTls13CertificateForm(d, m, declared);
  if (tls13) {
    const std::optional<Vector> context = ReadVector(d, p, 1, m);
    if (!context) return;
    d.AddUint(line, kCertContextLength, p, "Certificate Request Context Length: %u");
    AddVectorBytes(d, line, kCertContext, *context, "Certificate Request Context");
    if (context->end > m.end) return;
    p = static_cast<std::uint32_t>(context->end);
  }
  const std::optional<Vector> list = ReadVector(d, p, 3, m);
  if (!list) return;
  d.AddUint(line, kCertificatesLength, p, "Certificates Length: %u");
  const NodeId certs = d.AddFieldLine(line, kCertificates, Format("Certificates (%s)", BytesText(list->length).c_str()),
                                      list->bytes.start, list->bytes.end);
  std::uint32_t q = list->bytes.start;
  while (q < list->bytes.end) {
    const std::optional<Vector> cert = ReadVector(d, q, 3, list->bytes);
    if (!cert) break;
    d.AddUint(certs, kCertificateLength, q, "Certificate Length: %u");
    if (cert->bytes.Size() != 0) {
      std::string text = "Certificate: " + HexPreview(d, cert->bytes.start, cert->bytes.Size(), 32);
      if (cert->bytes.Size() < cert->length) text += Format(" [%u of %u bytes here]", cert->bytes.Size(), cert->length);
      d.AddBytes(certs, kCertificate, cert->bytes.start, cert->bytes.Size(), std::move(text));
    }
    if (cert->end >= list->bytes.end) break;
    q = static_cast<std::uint32_t>(cert->end);
    if (tls13) {
      const std::optional<Vector> exts = ReadVector(d, q, 2, list->bytes);
      if (!exts) break;
      if (exts->length == 0) {
        d.AddUint(certs, kExtensionsLength, q, "Extensions Length: %u");
      } else {
        AddExtensionsBlock(d, certs, q, list->bytes, ExtensionsOf::Certificate, s);
      }
      if (exts->end >= list->bytes.end) break;
      q = static_cast<std::uint32_t>(exts->end);
    }
  }
}

// ECDHE parameters with a named curve; other key exchanges as bytes.
void AddServerKeyExchange(PacketDecoder& d, NodeId line, const Area& m) {
  const std::uint32_t p = m.start;
  if (d.U8(p) != 3 || !m.Holds(p, 4)) {
    if (m.Size() != 0) d.AddBytes(line, kHsData, p, m.Size(), "Key Exchange Parameters (" + BytesText(m.Size()) + ")");
    return;
  }
  const NodeId params = d.AddLine(line, "EC Diffie-Hellman Server Params", p, m.end);
  d.AddUint(params, kCurveType, p,
            [](std::uint32_t v) { return Format("Curve Type: %s (0x%02x)", v == 3 ? "named_curve" : "Unknown", v); });
  d.AddUint(params, kNamedCurve, p + 1,
            [](std::uint32_t v) { return Format("Named Curve: %s (0x%04x)", NameOr(GroupName(v)).c_str(), v); });
  const std::optional<Vector> point = ReadVector(d, p + 3, 1, m);
  d.AddUint(params, kServerPointLength, p + 3, "Pubkey Length: %u");
  AddVectorBytes(d, params, kServerPoint, *point, "Pubkey");
  if (point->end >= m.end) return;
  std::uint32_t q = static_cast<std::uint32_t>(point->end);
  // TLS 1.2 names the signature's algorithm; earlier versions do not.
  const std::optional<std::uint16_t> sigLength12 = m.Holds(q + 2, 2) ? d.U16(q + 2) : std::nullopt;
  if (sigLength12 && std::uint64_t{q} + 4 + *sigLength12 == m.end && m.Holds(q, 2)) {
    d.AddUint(params, kSigAlg, q, [](std::uint32_t v) {
      return Format("Signature Algorithm: %s (0x%04x)", NameOr(SignatureSchemeName(v)).c_str(), v);
    });
    q += 2;
  }
  const std::optional<Vector> sig = ReadVector(d, q, 2, m);
  if (!sig) return;
  d.AddUint(params, kSigLength, q, "Signature Length: %u");
  AddVectorBytes(d, params, kSig, *sig, "Signature");
}

// An EC point (one-byte length) or an RSA-encrypted premaster secret (two).
void AddClientKeyExchange(PacketDecoder& d, NodeId line, const Area& m, std::uint32_t declared) {
  const std::uint32_t p = m.start;
  if (const std::optional<std::uint8_t> n = d.U8(p); n && m.Size() != 0 && *n + 1u == declared) {
    const NodeId params = d.AddLine(line, "EC Diffie-Hellman Client Params", p, m.end);
    d.AddUint(params, kClientPointLength, p, "Pubkey Length: %u");
    AddVectorBytes(d, params, kClientPoint, *ReadVector(d, p, 1, m), "Pubkey");
    return;
  }
  if (const std::optional<std::uint16_t> n = m.Holds(p, 2) ? d.U16(p) : std::nullopt; n && *n + 2u == declared) {
    const NodeId params = d.AddLine(line, "RSA Encrypted PreMaster Secret", p, m.end);
    d.AddUint(params, kEpmsLength, p, "Encrypted PreMaster length: %u");
    AddVectorBytes(d, params, kEpms, *ReadVector(d, p, 2, m), "Encrypted PreMaster");
    return;
  }
  if (m.Size() != 0) d.AddBytes(line, kHsData, p, m.Size(), "Key Exchange Data (" + BytesText(m.Size()) + ")");
}

// TLS 1.2: lifetime and ticket. TLS 1.3: lifetime, age add, nonce, ticket
// and extensions.
void AddNewSessionTicket(PacketDecoder& d, NodeId line, const Area& m, std::uint32_t declared, Session& s) {
  std::uint32_t p = m.start;
  if (!m.Holds(p, 4)) return;
  d.AddUint(line, kTicketLifetime, p,
            [](std::uint32_t v) { return "Session Ticket Lifetime Hint: " + appfield::DurationText(v); });
  p += 4;
  const std::optional<std::uint16_t> length12 = m.Holds(p, 2) ? d.U16(p) : std::nullopt;
  const bool tls12 = length12 && std::uint64_t{*length12} + 6 == declared;
  if (!tls12) {
    if (!m.Holds(p, 4)) return;
    d.AddUint(line, kTicketAgeAdd, p, "Session Ticket Age Add: %u");
    p += 4;
    const std::optional<Vector> nonce = ReadVector(d, p, 1, m);
    if (!nonce) return;
    d.AddUint(line, kTicketNonceLength, p, "Session Ticket Nonce Length: %u");
    AddVectorBytes(d, line, kTicketNonce, *nonce, "Session Ticket Nonce");
    if (nonce->end > m.end) return;
    p = static_cast<std::uint32_t>(nonce->end);
  }
  const std::optional<Vector> ticket = ReadVector(d, p, 2, m);
  if (!ticket) return;
  d.AddUint(line, kTicketLength, p, "Session Ticket Length: %u");
  AddVectorBytes(d, line, kTicket, *ticket, "Session Ticket");
  if (!tls12 && ticket->end < m.end) {
    AddExtensionsBlock(d, line, static_cast<std::uint32_t>(ticket->end), m, ExtensionsOf::NewSessionTicket, s);
  }
}

// TLS 1.3: a request context and extensions. Before: the certificate
// types, the signature schemes (TLS 1.2) and the names of the authorities
// the server trusts.
void AddCertificateRequest(PacketDecoder& d, NodeId line, const Area& m, std::uint32_t declared, Session& s) {
  const std::uint32_t p = m.start;
  const std::optional<Vector> context = ReadVector(d, p, 1, m);
  if (!context) return;
  const std::optional<std::uint16_t> extensions = m.Holds(static_cast<std::uint32_t>(context->end), 2)
                                                      ? d.U16(static_cast<std::uint32_t>(context->end))
                                                      : std::nullopt;
  if (s.version == kTls13 || (extensions && context->end + 2 + *extensions == std::uint64_t{p} + declared)) {
    d.AddUint(line, kCertContextLength, p, "Certificate Request Context Length: %u");
    AddVectorBytes(d, line, kCertContext, *context, "Certificate Request Context");
    if (context->end < m.end) {
      AddExtensionsBlock(d, line, static_cast<std::uint32_t>(context->end), m, ExtensionsOf::CertificateRequest, s);
    }
    return;
  }
  d.AddUint(line, kCertTypesCount, p, "Certificate types count: %u");
  const NodeId types = d.AddFieldLine(line, kCertTypes, Format("Certificate types (%u types)", context->length),
                                      context->bytes.start, context->bytes.end);
  for (std::uint32_t q = context->bytes.start; q < context->bytes.end; ++q) {
    d.AddUint(types, kCertType, q, [](std::uint32_t v) {
      const char* name = v == 1 ? "RSA Sign" : v == 2 ? "DSS Sign" : v == 64 ? "ECDSA Sign" : "Unknown";
      return Format("Certificate type: %s (%u)", name, v);
    });
  }
  if (context->end >= m.end) return;
  std::uint32_t q = static_cast<std::uint32_t>(context->end);
  // TLS 1.2 lists signature schemes before the names; a length that leaves
  // exactly the names' vector behind tells.
  const std::optional<Vector> algs = ReadVector(d, q, 2, m);
  if (algs && algs->end + 2 <= std::uint64_t{p} + declared && m.Holds(static_cast<std::uint32_t>(algs->end), 2) &&
      algs->end + 2 + *d.U16(static_cast<std::uint32_t>(algs->end)) == std::uint64_t{p} + declared) {
    AddSignatureAlgorithms(d, line, Area{q, static_cast<std::uint32_t>(std::min<std::uint64_t>(algs->end, m.end))});
    q = static_cast<std::uint32_t>(algs->end);
  }
  const std::optional<Vector> names = ReadVector(d, q, 2, m);
  if (!names) return;
  d.AddUint(line, kDnamesLength, q, "Distinguished Names Length: %u");
  const NodeId list =
      d.AddFieldLine(line, kDnames, Format("Distinguished Names (%s)", BytesText(names->length).c_str()),
                     names->bytes.start, names->bytes.end);
  std::uint32_t n = names->bytes.start;
  while (names->bytes.Holds(n, 2)) {
    const std::optional<Vector> name = ReadVector(d, n, 2, names->bytes);
    d.AddUint(list, kDnameLength, n, "Distinguished Name Length: %u");
    if (name->bytes.Size() != 0) {
      d.AddFieldLine(list, kDname, "Distinguished Name (" + BytesText(name->length) + ")", name->bytes.start,
                     name->bytes.end);
    }
    if (name->end >= names->bytes.end) break;
    n = static_cast<std::uint32_t>(name->end);
  }
}

// The signature scheme and the signature over the handshake so far.
void AddCertificateVerify(PacketDecoder& d, NodeId line, const Area& m) {
  if (!m.Holds(m.start, 2)) return;
  d.AddUint(line, kSigAlg, m.start, [](std::uint32_t v) {
    return Format("Signature Algorithm: %s (0x%04x)", NameOr(SignatureSchemeName(v)).c_str(), v);
  });
  const std::optional<Vector> sig = ReadVector(d, m.start + 2, 2, m);
  if (!sig) return;
  d.AddUint(line, kSigLength, m.start + 2, "Signature Length: %u");
  AddVectorBytes(d, line, kSig, *sig, "Signature");
}

void AddBody(PacketDecoder& d, NodeId line, std::uint8_t type, const Area& m, std::uint32_t declared, Session& s) {
  switch (type) {
    case kClientHelloMsg: AddClientHello(d, line, m, s); return;
    case kServerHelloMsg: AddServerHello(d, line, m, s); return;
    case kCertificateMsg: AddCertificates(d, line, m, declared, s); return;
    case kServerKeyExchangeMsg: AddServerKeyExchange(d, line, m); return;
    case kClientKeyExchangeMsg: AddClientKeyExchange(d, line, m, declared); return;
    case kNewSessionTicketMsg: AddNewSessionTicket(d, line, m, declared, s); return;
    case kEncryptedExtensionsMsg: AddExtensionsBlock(d, line, m.start, m, ExtensionsOf::EncryptedExtensions, s); return;
    case kFinishedMsg:
      if (m.Size() != 0) d.AddFieldLine(line, kVerifyData, "Verify Data", m.start, m.end);
      return;
    case kCertificateRequestMsg: AddCertificateRequest(d, line, m, declared, s); return;
    case kCertificateVerifyMsg: AddCertificateVerify(d, line, m); return;
    default:
      if (m.Size() != 0) d.AddBytes(line, kHsData, m.start, m.Size(), "Message Data (" + BytesText(m.Size()) + ")");
      return;
  }
}

// Summary mode: a ClientHello's server name names the server.
void LearnServerName(PacketDecoder& d, const Area& m, const Session& s) {
  std::uint32_t p = m.start + 2 + kRandomLength;
  const std::optional<Vector> id = ReadVector(d, p, 1, m);
  if (!id || id->end > m.end) return;
  const std::optional<Vector> suites = ReadVector(d, static_cast<std::uint32_t>(id->end), 2, m);
  if (!suites || suites->end > m.end) return;
  const std::optional<Vector> methods = ReadVector(d, static_cast<std::uint32_t>(suites->end), 1, m);
  if (!methods || methods->end >= m.end) return;
  p = static_cast<std::uint32_t>(methods->end);
  if (const std::optional<Area> name = FindServerName(d, p, m); name && name->Size() != 0) {
    d.LearnServerName(s.origin, std::string_view(reinterpret_cast<const char*>(d.frame + name->start), name->Size()));
  }
}

}  // namespace

HandshakeSummary DecodeHandshakeArea(PacketDecoder& d, NodeId parent, Area area, Session& s) {
  HandshakeSummary summary;
  std::uint32_t p = area.start;
  while (p < area.end) {
    if (!area.Holds(p, kHandshakeHeaderLength)) {
      d.AddLine(parent, Format("Handshake message header cut short (%s of 4)", BytesText(area.end - p).c_str()), p,
                area.end);
      break;
    }
    const std::uint8_t type = d.frame[p];
    const std::uint32_t declared = *d.U24(p + 1);
    const Area m = appfield::AreaOf(p + kHandshakeHeaderLength, declared, area.end);
    const char* name = HandshakeTypeName(type);
    ++summary.count;
    if (summary.firstName == nullptr) summary.firstName = name != nullptr ? name : "Unknown";
    if (d.IsSummary()) {
      if (type == kClientHelloMsg) LearnServerName(d, m, s);
    } else if (d.IsTree()) {
      const NodeId line = d.AddFieldLine(parent, kHandshake, "Handshake Protocol: " + NameOr(name), p, m.end);
      d.AddUint(line, kHsType, p, [](std::uint32_t v) {
        return Format("Handshake Type: %s (%u)", NameOr(HandshakeTypeName(v)).c_str(), v);
      });
      d.AddUint(line, kHsLength, p + 1, "Length: %u");
      AddBody(d, line, type, m, declared, s);
      if (m.Size() < declared) d.AppendText(line, Format(" [%u of %u bytes here]", m.Size(), declared));
    }
    const std::uint64_t next = std::uint64_t{p} + kHandshakeHeaderLength + declared;
    if (next >= area.end) break;
    p = static_cast<std::uint32_t>(next);
  }
  return summary;
}

}  // namespace qv::tls
