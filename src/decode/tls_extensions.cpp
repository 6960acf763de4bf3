// Hello and other handshake extensions: the common ones taken apart, the
// rest shown by name and bytes.

#include <algorithm>
#include <string>
#include <tuple>

#include "decode/text_format.h"
#include "decode/tls_fields.h"
#include "decode/tls_internal.h"
#include "decode/tls_names.h"

namespace qv::tls {

namespace {

enum ExtensionType : std::uint16_t {
  kServerName = 0,
  kStatusRequest = 5,
  kSupportedGroups = 10,
  kEcPointFormats = 11,
  kSignatureAlgorithms = 13,
  kAlpn = 16,
  kPadding = 21,
  kCompressCertificate = 27,
  kRecordSizeLimitType = 28,
  kPreSharedKey = 41,
  kEarlyData = 42,
  kSupportedVersions = 43,
  kPskKeyExchangeModes = 45,
  kSignatureAlgorithmsCert = 50,
  kKeyShare = 51,
  kQuicTransportParameters = 57,
  kApplicationSettingsOld = 17513,
  kApplicationSettings = 17613,
  kEncryptedClientHello = 0xfe0d,
  kQuicTransportParametersDraft = 0xffa5,
  kRenegotiationInfo = 0xff01,
};

std::string NameOr(const char* name) { return name != nullptr ? name : "Unknown"; }

// The length field of `width` bytes at `at` in `area`, and the area it
// announces (cut at the area's end).
struct List {
  std::uint32_t length = 0;
  Area items;
};

std::optional<List> ReadList(const PacketDecoder& d, std::uint32_t at, std::uint32_t width, const Area& area) {
  if (!area.Holds(at, width)) return std::nullopt;
  const std::uint32_t length = width == 1 ? d.frame[at] : *d.U16(at);
  return List{length, appfield::AreaOf(at + width, length, area.end)};
}

std::string Plural(std::uint32_t n, const char* one, const char* many) {
  return Format("%u %s", n, n == 1 ? one : many);
}

std::string Printable(const PacketDecoder& d, std::uint32_t at, std::uint32_t count) {
  return appfield::PrintableText(d.frame + at, count, false);
}

// A string of `length` bytes after its length field.
void AddString(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at, std::uint32_t length,
               const Area& area, const char* label) {
  const Area s = appfield::AreaOf(at, length, area.end);
  if (s.Size() == 0) return;
  d.AddBytes(parent, f, at, s.Size(), std::string(label) + ": " + Printable(d, at, s.Size()));
}

void AddServerName(PacketDecoder& d, NodeId ext, const Area& a) {
  const std::optional<List> list = ReadList(d, a.start, 2, a);
  if (!list) return;
  const NodeId sni = d.AddLine(ext, "Server Name Indication extension", a.start, a.end);
  d.AddUint(sni, kSniListLength, a.start, "Server Name list length: %u");
  std::uint32_t p = list->items.start;
  while (list->items.Holds(p, 3)) {
    d.AddUint(sni, kSniType, p,
              [](std::uint32_t v) { return Format("Server Name Type: %s (%u)", v == 0 ? "host_name" : "Unknown", v); });
    const std::uint32_t length = *d.U16(p + 1);
    d.AddUint(sni, kSniLength, p + 1, "Server Name length: %u");
    AddString(d, sni, kSni, p + 3, length, list->items, "Server Name");
    p += 3 + length;
  }
}

// A list of strings with one-byte lengths (ALPN and ALPS).
void AddProtocolNames(PacketDecoder& d, NodeId parent, const Area& items, const FieldInfo& lengthField,
                      const FieldInfo& nameField, const char* lengthLabel, const char* nameLabel) {
  std::uint32_t p = items.start;
  while (items.Holds(p, 1)) {
    const std::uint32_t length = d.frame[p];
    d.AddUint(parent, lengthField, p, (std::string(lengthLabel) + ": %u").c_str());
    AddString(d, parent, nameField, p + 1, length, items, nameLabel);
    p += 1 + length;
  }
}

void AddAlpn(PacketDecoder& d, NodeId ext, const Area& a) {
  const std::optional<List> list = ReadList(d, a.start, 2, a);
  if (!list) return;
  d.AddUint(ext, kAlpnLength, a.start, "ALPN Extension Length: %u");
  const NodeId names = d.AddFieldLine(ext, kAlpnList, "ALPN Protocol", list->items.start, list->items.end);
  AddProtocolNames(d, names, list->items, kAlpnStrLength, kAlpnStr, "ALPN string length", "ALPN Next Protocol");
}

void AddApplicationSettings(PacketDecoder& d, NodeId ext, const Area& a, ExtensionsOf where) {
  if (where != ExtensionsOf::ClientHello) {
    if (a.Size() != 0) d.AddBytes(ext, kExtData, a.start, a.Size(), "Data (" + BytesText(a.Size()) + ")");
    return;
  }
  const std::optional<List> list = ReadList(d, a.start, 2, a);
  if (!list) return;
  d.AddUint(ext, kAlpsLength, a.start, "ALPS Extension Length: %u");
  const NodeId names = d.AddLine(ext, "Supported ALPN List", list->items.start, list->items.end);
  AddProtocolNames(d, names, list->items, kAlpsStrLength, kAlpsStr, "Supported ALPN Length", "Supported ALPN");
}

std::string VersionText(std::uint32_t v) {
  return Format("Supported Version: %s (0x%04x)", NameOr(VersionName(v)).c_str(), v);
}

void AddSupportedVersions(PacketDecoder& d, NodeId ext, const Area& a, ExtensionsOf where, Session& s) {
  if (where != ExtensionsOf::ClientHello) {
    if (!a.Holds(a.start, 2)) return;
    const FieldRead<std::uint32_t> v = d.AddUint(ext, kVersion, a.start, VersionText);
    if (v && where == ExtensionsOf::ServerHello) s.version = static_cast<std::uint16_t>(*v);
    return;
  }
  const std::optional<List> list = ReadList(d, a.start, 1, a);
  if (!list) return;
  d.AddUint(ext, kVersionsLength, a.start, "Supported Versions length: %u");
  for (std::uint32_t p = list->items.start; list->items.Holds(p, 2); p += 2) d.AddUint(ext, kVersion, p, VersionText);
}

std::string GroupText(const char* label, std::uint32_t v, bool hex) {
  return Format(hex ? "%s: %s (0x%04x)" : "%s: %s (%u)", label, NameOr(GroupName(v)).c_str(), v);
}

void AddSupportedGroups(PacketDecoder& d, NodeId ext, const Area& a) {
  const std::optional<List> list = ReadList(d, a.start, 2, a);
  if (!list) return;
  d.AddUint(ext, kGroupsLength, a.start, "Supported Groups List Length: %u");
  const NodeId groups =
      d.AddFieldLine(ext, kGroups, "Supported Groups (" + Plural(list->length / 2, "group", "groups") + ")",
                     list->items.start, list->items.end);
  for (std::uint32_t p = list->items.start; list->items.Holds(p, 2); p += 2) {
    d.AddUint(groups, kGroup, p, [](std::uint32_t v) { return GroupText("Supported Group", v, true); });
  }
}

// One key share entry; returns where the next one starts.
std::uint64_t AddKeyShareEntry(PacketDecoder& d, NodeId parent, std::uint32_t p, const Area& a) {
  if (!a.Holds(p, 4)) {
    d.AddLine(parent, "Key Share Entry cut short (" + BytesText(a.end - p) + ")", p, a.end);
    return a.end;
  }
  const std::uint32_t group = *d.U16(p);
  const std::uint32_t length = *d.U16(p + 2);
  const Area key = appfield::AreaOf(p + 4, length, a.end);
  const NodeId entry = d.AddLine(
      parent, Format("Key Share Entry: Group: %s, Key Exchange length: %u", NameOr(GroupName(group)).c_str(), length),
      p, key.end);
  d.AddUint(entry, kKeyShareGroup, p, [](std::uint32_t v) { return GroupText("Group", v, false); });
  d.AddUint(entry, kKeyExchangeLength, p + 2, "Key Exchange Length: %u");
  if (key.Size() != 0) {
    std::string text = "Key Exchange: " + HexPreview(d, key.start, key.Size(), 32);
    if (key.Size() < length) text += Format(" [%u of %u bytes here]", key.Size(), length);
    d.AddBytes(entry, kKeyExchange, key.start, key.Size(), std::move(text));
  }
  return std::uint64_t{p} + 4 + length;
}

void AddKeyShare(PacketDecoder& d, NodeId ext, const Area& a, ExtensionsOf where) {
  if (where == ExtensionsOf::HelloRetryRequest) {
    if (!a.Holds(a.start, 2)) return;
    d.AddUint(ext, kSelectedGroup, a.start, [](std::uint32_t v) { return GroupText("Selected Group", v, false); });
    return;
  }
  const NodeId shares = d.AddLine(ext, "Key Share extension", a.start, a.end);
  if (where != ExtensionsOf::ClientHello) {
    if (a.Size() != 0) AddKeyShareEntry(d, shares, a.start, a);
    return;
  }
  const std::optional<List> list = ReadList(d, a.start, 2, a);
  if (!list) return;
  d.AddUint(shares, kKeyShareLength, a.start, "Client Key Share Length: %u");
  std::uint64_t p = list->items.start;
  while (p < list->items.end) p = AddKeyShareEntry(d, shares, static_cast<std::uint32_t>(p), list->items);
}

void AddEcPointFormats(PacketDecoder& d, NodeId ext, const Area& a) {
  const std::optional<List> list = ReadList(d, a.start, 1, a);
  if (!list) return;
  d.AddUint(ext, kPointFormatsLength, a.start, "EC point formats Length: %u");
  const NodeId formats = d.AddFieldLine(ext, kPointFormats, Format("Elliptic curves point formats (%u)", list->length),
                                        list->items.start, list->items.end);
  for (std::uint32_t p = list->items.start; p < list->items.end; ++p) {
    d.AddUint(formats, kPointFormat, p, [](std::uint32_t v) {
      return Format("EC point format: %s (%u)", NameOr(EcPointFormatName(v)).c_str(), v);
    });
  }
}

void AddPskModes(PacketDecoder& d, NodeId ext, const Area& a) {
  const std::optional<List> list = ReadList(d, a.start, 1, a);
  if (!list) return;
  d.AddUint(ext, kPskModesLength, a.start, "PSK Key Exchange Modes Length: %u");
  for (std::uint32_t p = list->items.start; p < list->items.end; ++p) {
    d.AddUint(ext, kPskMode, p, [](std::uint32_t v) {
      return Format("PSK Key Exchange Mode: %s (%u)", NameOr(PskModeName(v)).c_str(), v);
    });
  }
}

void AddRenegotiationInfo(PacketDecoder& d, NodeId ext, const Area& a) {
  const std::optional<List> info = ReadList(d, a.start, 1, a);
  if (!info) return;
  const NodeId line = d.AddLine(ext, "Renegotiation Info extension", a.start, a.end);
  d.AddUint(line, kRenegLength, a.start, "Renegotiation info extension length: %u");
  if (info->items.Size() != 0) {
    d.AddBytes(line, kReneg, info->items.start, info->items.Size(),
               "Renegotiation info: " + HexPreview(d, info->items.start, info->items.Size()));
  }
}

void AddStatusRequest(PacketDecoder& d, NodeId ext, const Area& a, ExtensionsOf where) {
  if (where != ExtensionsOf::ClientHello || !a.Holds(a.start, 5)) {
    if (a.Size() != 0) d.AddBytes(ext, kExtData, a.start, a.Size(), "Data (" + BytesText(a.Size()) + ")");
    return;
  }
  d.AddUint(ext, kStatusType, a.start, [](std::uint32_t v) {
    return Format("Certificate Status Type: %s (%u)", v == 1 ? "OCSP" : v == 2 ? "OCSP Multi" : "Unknown", v);
  });
  d.AddUint(ext, kStatusResponders, a.start + 1, "Responder ID list Length: %u");
  d.AddUint(ext, kStatusExts, a.start + 3, "Request Extensions Length: %u");
}

// An outer ClientHello's encrypted inner one: the HPKE suite, the config it
// was sealed for, the encapsulated key and the sealed payload. The inner
// ClientHello says only that it is one; the server's forms are bytes.
void AddEncryptedClientHello(PacketDecoder& d, NodeId ext, const Area& a, ExtensionsOf where) {
  if (where != ExtensionsOf::ClientHello || !a.Holds(a.start, 1)) {
    if (a.Size() != 0) d.AddBytes(ext, kExtData, a.start, a.Size(), "Data (" + BytesText(a.Size()) + ")");
    return;
  }
  const FieldRead<std::uint32_t> type = d.AddUint(ext, kEchType, a.start, [](std::uint32_t v) {
    return Format("Client Hello type: %s (%u)",
                  v == 0   ? "Outer Client Hello"
                  : v == 1 ? "Inner Client Hello"
                           : "Unknown",
                  v);
  });
  if (*type != 0) return;
  std::uint32_t p = a.start + 1;
  if (!a.Holds(p, 4)) return;
  const NodeId suite = d.AddLine(ext,
                                 Format("Cipher Suite: %s, %s", NameOr(HpkeKdfName(*d.U16(p))).c_str(),
                                        NameOr(HpkeAeadName(*d.U16(p + 2))).c_str()),
                                 p, p + 4);
  d.AddUint(suite, kEchKdf, p,
            [](std::uint32_t v) { return Format("KDF Id: %s (0x%04x)", NameOr(HpkeKdfName(v)).c_str(), v); });
  d.AddUint(suite, kEchAead, p + 2,
            [](std::uint32_t v) { return Format("AEAD Id: %s (0x%04x)", NameOr(HpkeAeadName(v)).c_str(), v); });
  p += 4;
  if (!a.Holds(p, 1)) return;
  d.AddUint(ext, kEchConfigId, p, "Config Id: %u");
  ++p;
  for (const auto& [lengthField, bytesField, label] :
       {std::tuple{&kEchEncLength, &kEchEnc, "Enc"}, std::tuple{&kEchPayloadLength, &kEchPayload, "Payload"}}) {
    const std::optional<List> v = ReadList(d, p, 2, a);
    if (!v) return;
    d.AddUint(ext, *lengthField, p, (std::string(label) + " length: %u").c_str());
    if (v->items.Size() != 0) {
      d.AddBytes(ext, *bytesField, v->items.start, v->items.Size(),
                 std::string(label) + ": " + HexPreview(d, v->items.start, v->items.Size()));
    }
    const std::uint64_t next = std::uint64_t{p} + 2 + v->length;
    if (next >= a.end) return;
    p = static_cast<std::uint32_t>(next);
  }
}

void AddCompressCertificate(PacketDecoder& d, NodeId ext, const Area& a) {
  const std::optional<List> list = ReadList(d, a.start, 1, a);
  if (!list) return;
  d.AddUint(ext, kCompressAlgsLength, a.start, "Algorithms Length: %u");
  for (std::uint32_t p = list->items.start; list->items.Holds(p, 2); p += 2) {
    d.AddUint(ext, kCompressAlg, p,
              [](std::uint32_t v) { return Format("Algorithm: %s (%u)", NameOr(CertCompressionName(v)).c_str(), v); });
  }
}

// The client's identities and binders; the server names the identity it took.
void AddPreSharedKey(PacketDecoder& d, NodeId ext, const Area& a, ExtensionsOf where) {
  if (where != ExtensionsOf::ClientHello) {
    if (a.Holds(a.start, 2)) d.AddUint(ext, kPskSelected, a.start, "Selected Identity: %u");
    return;
  }
  const std::optional<List> identities = ReadList(d, a.start, 2, a);
  if (!identities) return;
  d.AddUint(ext, kPskIdentitiesLength, a.start, "Identities Length: %u");
  std::uint32_t p = identities->items.start;
  while (identities->items.Holds(p, 2)) {
    const std::uint32_t length = *d.U16(p);
    const Area identity = appfield::AreaOf(p + 2, length, identities->items.end);
    const auto end =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(identity.end + std::uint64_t{4}, identities->items.end));
    const NodeId line = d.AddLine(ext, "PSK Identity (length: " + std::to_string(length) + ")", p, end);
    d.AddUint(line, kPskIdentityLength, p, "Identity Length: %u");
    if (identity.Size() != 0) {
      d.AddBytes(line, kPskIdentity, identity.start, identity.Size(),
                 "Identity: " + HexPreview(d, identity.start, identity.Size()));
    }
    const std::uint64_t age = std::uint64_t{p} + 2 + length;
    if (age + 4 > identities->items.end) break;
    d.AddUint(line, kPskTicketAge, static_cast<std::uint32_t>(age), "Obfuscated Ticket Age: %u");
    p = static_cast<std::uint32_t>(age + 4);
  }
  const std::uint64_t binders = std::uint64_t{a.start} + 2 + identities->length;
  if (binders >= a.end) return;
  const std::optional<List> list = ReadList(d, static_cast<std::uint32_t>(binders), 2, a);
  if (!list) return;
  d.AddUint(ext, kPskBindersLength, static_cast<std::uint32_t>(binders), "PSK Binders length: %u");
  d.AddFieldLine(ext, kPskBinders, "PSK Binders", list->items.start, list->items.end);
}

void AddEarlyData(PacketDecoder& d, NodeId ext, const Area& a, ExtensionsOf where) {
  if (where == ExtensionsOf::NewSessionTicket && a.Holds(a.start, 4)) {
    d.AddUint(ext, kMaxEarlyData, a.start, "Maximum Early Data Size: %u");
  } else if (a.Size() != 0) {
    d.AddBytes(ext, kExtData, a.start, a.Size(), "Data (" + BytesText(a.Size()) + ")");
  }
}

void AddExtensionBody(PacketDecoder& d, NodeId ext, std::uint32_t type, const Area& a, ExtensionsOf where, Session& s) {
  switch (type) {
    case kServerName:
      if (where == ExtensionsOf::ClientHello) AddServerName(d, ext, a);
      return;
    case kAlpn: AddAlpn(d, ext, a); return;
    case kSupportedVersions: AddSupportedVersions(d, ext, a, where, s); return;
    case kSupportedGroups: AddSupportedGroups(d, ext, a); return;
    case kKeyShare: AddKeyShare(d, ext, a, where); return;
    case kSignatureAlgorithms:
    case kSignatureAlgorithmsCert: AddSignatureAlgorithms(d, ext, a); return;
    case kEcPointFormats: AddEcPointFormats(d, ext, a); return;
    case kPskKeyExchangeModes: AddPskModes(d, ext, a); return;
    case kRenegotiationInfo: AddRenegotiationInfo(d, ext, a); return;
    case kStatusRequest: AddStatusRequest(d, ext, a, where); return;
    case kPreSharedKey: AddPreSharedKey(d, ext, a, where); return;
    case kEarlyData: AddEarlyData(d, ext, a, where); return;
    case kEncryptedClientHello: AddEncryptedClientHello(d, ext, a, where); return;
    case kQuicTransportParameters:
    case kQuicTransportParametersDraft: AddQuicTransportParameters(d, ext, a); return;
    case kApplicationSettings:
    case kApplicationSettingsOld: AddApplicationSettings(d, ext, a, where); return;
    case kCompressCertificate: AddCompressCertificate(d, ext, a); return;
    case kRecordSizeLimitType:
      if (a.Holds(a.start, 2)) d.AddUint(ext, kRecordSizeLimit, a.start, "Record Size Limit: %u");
      return;
    case kPadding:
      if (a.Size() != 0)
        d.AddBytes(ext, kPaddingData, a.start, a.Size(), "Padding Data: " + HexPreview(d, a.start, a.Size(), 16));
      return;
    default:
      if (a.Size() != 0) d.AddBytes(ext, kExtData, a.start, a.Size(), "Data (" + BytesText(a.Size()) + ")");
      return;
  }
}

}  // namespace

void AddSignatureAlgorithms(PacketDecoder& d, NodeId ext, const Area& a) {
  const std::optional<List> list = ReadList(d, a.start, 2, a);
  if (!list) return;
  d.AddUint(ext, kSigAlgsLength, a.start, "Signature Hash Algorithms Length: %u");
  const NodeId algs = d.AddFieldLine(
      ext, kSigAlgs, "Signature Hash Algorithms (" + Plural(list->length / 2, "algorithm", "algorithms") + ")",
      list->items.start, list->items.end);
  for (std::uint32_t p = list->items.start; list->items.Holds(p, 2); p += 2) {
    const NodeId alg = d.AddUint(algs, kSigAlg, p, [](std::uint32_t v) {
                          if (const char* name = SignatureSchemeName(v))
                            return Format("Signature Algorithm: %s (0x%04x)", name, v);
                          return Format("Signature Algorithm: %s %s (0x%04x)", HashAlgorithmName(v >> 8),
                                        SignatureAlgorithmName(v & 0xff), v);
                        }).line;
    d.AddUint(alg, kSigHash, p, [](std::uint32_t v) {
      return Format("Signature Hash Algorithm Hash: %s (%u)", HashAlgorithmName(v), v);
    });
    d.AddUint(alg, kSigSig, p + 1, [](std::uint32_t v) {
      return Format("Signature Hash Algorithm Signature: %s (%u)", SignatureAlgorithmName(v), v);
    });
  }
}

void AddExtensionsBlock(PacketDecoder& d, NodeId parent, std::uint32_t at, const Area& limit, ExtensionsOf where,
                        Session& s) {
  const std::optional<List> block = ReadList(d, at, 2, limit);
  if (!block) return;
  d.AddUint(parent, kExtensionsLength, at, "Extensions Length: %u");
  const Area& all = block->items;
  std::uint32_t p = all.start;
  while (p < all.end) {
    if (!all.Holds(p, 4)) {
      d.AddLine(parent, "Extension header cut short (" + BytesText(all.end - p) + ")", p, all.end);
      return;
    }
    const std::uint32_t type = *d.U16(p);
    const std::uint32_t length = *d.U16(p + 2);
    const Area a = appfield::AreaOf(p + 4, length, all.end);
    std::string text = Format("Extension: %s (len=%u)", NameOr(ExtensionName(type)).c_str(), length);
    if (a.Size() < length) text += Format(" [%u of %u bytes here]", a.Size(), length);
    const NodeId ext = d.AddLine(parent, std::move(text), p, a.end);
    d.AddUint(ext, kExtType, p,
              [](std::uint32_t v) { return Format("Type: %s (%u)", NameOr(ExtensionName(v)).c_str(), v); });
    d.AddUint(ext, kExtLength, p + 2, "Length: %u");
    AddExtensionBody(d, ext, type, a, where, s);
    const std::uint64_t next = std::uint64_t{p} + 4 + length;
    if (next >= all.end) return;
    p = static_cast<std::uint32_t>(next);
  }
}

std::optional<Area> FindExtension(const PacketDecoder& d, std::uint32_t at, const Area& limit, std::uint16_t type) {
  const std::optional<List> block = ReadList(d, at, 2, limit);
  if (!block) return std::nullopt;
  std::uint32_t p = block->items.start;
  while (block->items.Holds(p, 4)) {
    const std::uint32_t length = *d.U16(p + 2);
    if (*d.U16(p) == type) return appfield::AreaOf(p + 4, length, block->items.end);
    const std::uint64_t next = std::uint64_t{p} + 4 + length;
    if (next >= block->items.end) return std::nullopt;
    p = static_cast<std::uint32_t>(next);
  }
  return std::nullopt;
}

std::optional<Area> FindServerName(const PacketDecoder& d, std::uint32_t at, const Area& limit) {
  const std::optional<Area> ext = FindExtension(d, at, limit, kServerName);
  if (!ext) return std::nullopt;
  const std::optional<List> list = ReadList(d, ext->start, 2, *ext);
  if (!list || !list->items.Holds(list->items.start, 3) || d.frame[list->items.start] != 0) return std::nullopt;
  const std::uint32_t length = *d.U16(list->items.start + 1);
  const Area name = appfield::AreaOf(list->items.start + 3, length, list->items.end);
  // A name cut by the capture is not a name to learn.
  if (name.Size() != length) return std::nullopt;
  return name;
}

}  // namespace qv::tls
