#include "decode/ntp.h"

#include <cmath>
#include <ctime>

#include "decode/app_field_lines.h"
#include "decode/text_format.h"

namespace qv {

namespace {

using appfield::AddBits;
using appfield::BitPattern;
using appfield::HexText;

// --- the fields ---

constexpr FieldInfo kProto{"ntp", "Network Time Protocol", FieldType::Protocol};
constexpr FieldInfo kFlags{"ntp.flags", "Flags", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kLeap{"ntp.flags.li", "Leap Indicator", FieldType::UInt8, FieldBase::Dec, 0xc0};
constexpr FieldInfo kVersion{"ntp.flags.vn", "Version number", FieldType::UInt8, FieldBase::Dec, 0x38};
constexpr FieldInfo kMode{"ntp.flags.mode", "Mode", FieldType::UInt8, FieldBase::Dec, 0x07};
constexpr FieldInfo kStratum{"ntp.stratum", "Peer Clock Stratum", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kPoll{"ntp.ppoll", "Peer Polling Interval", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kPrecision{"ntp.precision", "Peer Clock Precision", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kRootDelay{"ntp.rootdelay", "Root Delay", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kRootDispersion{"ntp.rootdispersion", "Root Dispersion", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kRefId{"ntp.refid", "Reference ID", FieldType::Bytes};
constexpr FieldInfo kRefTime{"ntp.reftime", "Reference Timestamp", FieldType::AbsoluteTime};
constexpr FieldInfo kOrigin{"ntp.org", "Origin Timestamp", FieldType::AbsoluteTime};
constexpr FieldInfo kReceive{"ntp.rec", "Receive Timestamp", FieldType::AbsoluteTime};
constexpr FieldInfo kTransmit{"ntp.xmt", "Transmit Timestamp", FieldType::AbsoluteTime};
constexpr FieldInfo kExtension{"ntp.ext", "Extension", FieldType::None};
constexpr FieldInfo kExtType{"ntp.ext.type", "Field Type", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kExtLength{"ntp.ext.length", "Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kExtValue{"ntp.ext.value", "Value", FieldType::Bytes};
constexpr FieldInfo kKeyId{"ntp.keyid", "Key ID", FieldType::Bytes};
constexpr FieldInfo kMac{"ntp.mac", "Message Authentication Code", FieldType::Bytes};
constexpr FieldInfo kPadding{"ntp.padding", "Padding", FieldType::Bytes};

// Control messages (mode 6).
constexpr FieldInfo kCtrlFlags{"ntp.ctrl.flags2", "Flags 2", FieldType::UInt8, FieldBase::Hex};
constexpr FieldInfo kCtrlResponse{"ntp.ctrl.flags2.r", "Response bit", FieldType::UInt8, FieldBase::Dec, 0x80};
constexpr FieldInfo kCtrlError{"ntp.ctrl.flags2.error", "Error bit", FieldType::UInt8, FieldBase::Dec, 0x40};
constexpr FieldInfo kCtrlMore{"ntp.ctrl.flags2.more", "More bit", FieldType::UInt8, FieldBase::Dec, 0x20};
constexpr FieldInfo kCtrlOpcode{"ntp.ctrl.flags2.opcode", "Opcode", FieldType::UInt8, FieldBase::Dec, 0x1f};
constexpr FieldInfo kCtrlSequence{"ntp.ctrl.sequence", "Sequence", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kCtrlStatus{"ntp.ctrl.status", "Status", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kCtrlErrorStatus{"ntp.ctrl.err_status", "Error Status Word", FieldType::UInt16, FieldBase::Dec,
                                     0xff00};
constexpr FieldInfo kSysLeap{"ntp.ctrl.sys_status.li", "Leap Indicator", FieldType::UInt16, FieldBase::Dec, 0xc000};
constexpr FieldInfo kSysClockSource{"ntp.ctrl.sys_status.clksrc", "Clock Source", FieldType::UInt16, FieldBase::Dec,
                                    0x3f00};
constexpr FieldInfo kSysCount{"ntp.ctrl.sys_status.count", "System Event Counter", FieldType::UInt16, FieldBase::Dec,
                              0x00f0};
constexpr FieldInfo kSysCode{"ntp.ctrl.sys_status.code", "System Event Code", FieldType::UInt16, FieldBase::Dec,
                             0x000f};
constexpr FieldInfo kPeerConfig{"ntp.ctrl.peer_status.config", "Peer Status", FieldType::Boolean, FieldBase::None,
                                0x8000, 2};
constexpr FieldInfo kPeerAuthEnable{"ntp.ctrl.peer_status.authenable", "Peer Status", FieldType::Boolean,
                                    FieldBase::None, 0x4000, 2};
constexpr FieldInfo kPeerAuthentic{"ntp.ctrl.peer_status.authentic", "Peer Status", FieldType::Boolean,
                                   FieldBase::None, 0x2000, 2};
constexpr FieldInfo kPeerReach{"ntp.ctrl.peer_status.reach", "Peer Status", FieldType::Boolean, FieldBase::None,
                               0x1000, 2};
constexpr FieldInfo kPeerBroadcast{"ntp.ctrl.peer_status.bcast", "Peer Status broadcast association",
                                   FieldType::Boolean, FieldBase::None, 0x0800, 2};
constexpr FieldInfo kPeerSelection{"ntp.ctrl.peer_status.selection", "Peer Selection", FieldType::UInt16,
                                   FieldBase::Dec, 0x0700};
constexpr FieldInfo kPeerCount{"ntp.ctrl.peer_status.count", "Peer Event Counter", FieldType::UInt16, FieldBase::Dec,
                               0x00f0};
constexpr FieldInfo kPeerCode{"ntp.ctrl.peer_status.code", "Peer Event Code", FieldType::UInt16, FieldBase::Dec,
                              0x000f};
constexpr FieldInfo kCtrlAssociation{"ntp.ctrl.associd", "AssociationID", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kCtrlOffset{"ntp.ctrl.offset", "Offset", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kCtrlCount{"ntp.ctrl.count", "Count", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kCtrlData{"ntp.ctrl.data", "Data", FieldType::None};
constexpr FieldInfo kCtrlItem{"ntp.ctrl.item", "Item", FieldType::None};
// The data of a control message that is not text.
constexpr FieldInfo kCtrlDataBytes{"ntp.ctrl.data.bytes", "Data", FieldType::Bytes};

// Private messages (mode 7).
constexpr FieldInfo kPrivResponse{"ntp.priv.flags.r", "Response bit", FieldType::UInt8, FieldBase::Dec, 0x80};
constexpr FieldInfo kPrivMore{"ntp.priv.flags.more", "More bit", FieldType::UInt8, FieldBase::Dec, 0x40};
constexpr FieldInfo kPrivAuthSeq{"ntp.priv.auth_seq", "Auth, sequence", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kPrivAuth{"ntp.priv.auth", "Auth bit", FieldType::UInt8, FieldBase::Dec, 0x80};
constexpr FieldInfo kPrivSeq{"ntp.priv.seq", "Sequence number", FieldType::UInt8, FieldBase::Dec, 0x7f};
constexpr FieldInfo kPrivImpl{"ntp.priv.impl", "Implementation", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kPrivReqCode{"ntp.priv.reqcode", "Request code", FieldType::UInt8, FieldBase::Dec};
constexpr FieldInfo kPrivErr{"ntp.priv.err", "Err", FieldType::UInt8, FieldBase::Hex, 0xf0};
constexpr FieldInfo kPrivItems{"ntp.priv.numitems", "Number of data items", FieldType::UInt16, FieldBase::Dec, 0x0fff};
constexpr FieldInfo kPrivReserved{"ntp.priv.reserved", "Reserved", FieldType::UInt8, FieldBase::Hex, 0xf0};
constexpr FieldInfo kPrivItemSize{"ntp.priv.itemsize", "Size of data item", FieldType::UInt16, FieldBase::Dec,
                                  0x0fff};
constexpr FieldInfo kPrivData{"ntp.priv.data", "Data", FieldType::Bytes};

constexpr const FieldInfo* kFields[] = {
    &kProto, &kFlags, &kLeap, &kVersion, &kMode, &kStratum, &kPoll, &kPrecision, &kRootDelay, &kRootDispersion,
    &kRefId, &kRefTime, &kOrigin, &kReceive, &kTransmit, &kExtension, &kExtType, &kExtLength, &kExtValue, &kKeyId,
    &kMac, &kPadding,
    &kCtrlFlags, &kCtrlResponse, &kCtrlError, &kCtrlMore, &kCtrlOpcode, &kCtrlSequence, &kCtrlStatus,
    &kCtrlErrorStatus, &kSysLeap, &kSysClockSource, &kSysCount, &kSysCode, &kPeerConfig, &kPeerAuthEnable,
    &kPeerAuthentic, &kPeerReach, &kPeerBroadcast, &kPeerSelection, &kPeerCount, &kPeerCode, &kCtrlAssociation,
    &kCtrlOffset, &kCtrlCount, &kCtrlData, &kCtrlItem, &kCtrlDataBytes,
    &kPrivResponse, &kPrivMore, &kPrivAuthSeq, &kPrivAuth, &kPrivSeq, &kPrivImpl, &kPrivReqCode, &kPrivErr,
    &kPrivItems, &kPrivReserved, &kPrivItemSize, &kPrivData,
};
const FieldRegistration kRegistration(kFields);

// --- the layout ---

constexpr std::uint32_t kHeaderLength = 48;
constexpr std::uint32_t kControlHeaderLength = 12;
constexpr std::uint32_t kPrivateHeaderLength = 8;
constexpr std::uint32_t kKeyIdLength = 4;
// The shortest extension field; a message authentication code (MD5 or
// SHA-1, with its key id) is 20 or 24 bytes, so more than that after the
// header starts an extension field.
constexpr std::uint32_t kMinExtensionLength = 16;
constexpr std::uint32_t kLongestMac = 24;

enum Mode : std::uint8_t { kControl = 6, kPrivate = 7 };

// Seconds from 1900, where NTP's era 0 starts, to 1970.
constexpr std::int64_t kNtpToUnix = 2208988800;

// --- names ---

const char* LeapName(std::uint32_t li) {
  switch (li) {
    case 0: return "no warning";
    case 1: return "last minute of the day has 61 seconds";
    case 2: return "last minute of the day has 59 seconds";
    default: return "unknown (clock unsynchronized)";
  }
}

const char* ModeName(std::uint32_t mode) {
  switch (mode) {
    case 1: return "symmetric active";
    case 2: return "symmetric passive";
    case 3: return "client";
    case 4: return "server";
    case 5: return "broadcast";
    case 6: return "reserved for NTP control message";
    case 7: return "reserved for private use";
    default: return "reserved";
  }
}

// The short name in the layer line.
const char* ModeShortName(std::uint32_t mode) {
  switch (mode) {
    case 6: return "control";
    case 7: return "private";
    default: return ModeName(mode);
  }
}

const char* StratumName(std::uint32_t stratum) {
  if (stratum == 0) return "unspecified or invalid";
  if (stratum == 1) return "primary reference";
  if (stratum <= 15) return "secondary reference";
  if (stratum == 16) return "unsynchronized";
  return "reserved";
}

const char* OpcodeName(std::uint32_t opcode) {
  switch (opcode) {
    case 0: return "reserved";
    case 1: return "read status";
    case 2: return "read variables";
    case 3: return "write variables";
    case 4: return "read clock variables";
    case 5: return "write clock variables";
    case 6: return "set trap address/port";
    case 7: return "asynchronous message";
    case 8: return "runtime configuration";
    case 9: return "save config to file";
    case 10: return "retrieve MRU (mrulist)";
    case 11: return "retrieve ordered list";
    case 12: return "request a client nonce";
    case 31: return "unset trap address/port";
    default: return "Unknown";
  }
}

const char* ClockSourceName(std::uint32_t source) {
  switch (source) {
    case 0: return "unspecified or unknown";
    case 1: return "Calibrated atomic clock";
    case 2: return "VLF (band 4) or LF (band 5) radio";
    case 3: return "HF (band 7) radio";
    case 4: return "UHF (band 9) satellite";
    case 5: return "local net";
    case 6: return "UDP/NTP";
    case 7: return "UDP/TIME";
    case 8: return "eyeball-and-wristwatch";
    case 9: return "telephone modem";
    default: return "reserved";
  }
}

const char* SystemEventName(std::uint32_t code) {
  switch (code) {
    case 0: return "unspecified";
    case 1: return "frequency correction (drift) file not available";
    case 2: return "frequency correction started (frequency stepped)";
    case 3: return "spike detected and suppressed";
    case 4: return "frequency training started";
    case 5: return "clock synchronized";
    case 6: return "system restart";
    case 7: return "panic stop (required step greater than panic threshold)";
    case 8: return "no system peer";
    case 9: return "leap second insertion/deletion armed";
    case 10: return "leap second disarmed";
    case 11: return "leap second inserted or deleted";
    case 12: return "clock stepped";
    case 13: return "kernel loop discipline status changed";
    case 14: return "leapseconds table loaded from file";
    case 15: return "leapseconds table outdated";
    default: return nullptr;
  }
}

const char* PeerSelectionName(std::uint32_t selection) {
  switch (selection) {
    case 0: return "rejected";
    case 1: return "passed sanity checks";
    case 2: return "passed correctness checks";
    case 3: return "passed candidate checks";
    case 4: return "passed outlier checks";
    case 5: return "current synchronization source; max distance exceeded";
    case 6: return "current synchronization source; max distance okay";
    default: return "reserved";
  }
}

// Kiss codes that a server of stratum 0 sends in place of a reference.
const char* KissCodeMeaning(std::string_view code) {
  struct Kiss {
    std::string_view code;
    const char* meaning;
  };
  static constexpr Kiss kKisses[] = {
      {"ACST", "the association belongs to a anycast server"},
      {"AUTH", "server authentication failed"},
      {"AUTO", "autokey sequence failed"},
      {"BCST", "the association belongs to a broadcast server"},
      {"CRYP", "cryptographic authentication or identification failed"},
      {"DENY", "access denied by remote server"},
      {"DROP", "lost peer in symmetric mode"},
      {"RSTR", "access denied due to local policy"},
      {"INIT", "the association has not yet synchronized for the first time"},
      {"MCST", "the association belongs to a manycast server"},
      {"NKEY", "no key found"},
      {"RATE", "rate exceeded"},
      {"RMOT", "somebody is tinkering with the association from a remote host"},
      {"STEP", "a step change in system time has occurred"},
  };
  for (const Kiss& k : kKisses) {
    if (k.code == code) return k.meaning;
  }
  return nullptr;
}

// --- line texts ---

// An unsigned 16.16 fixed-point number of seconds.
std::string ShortSeconds(const char* label, std::uint32_t value) {
  return Format("%s: %.6f seconds", label, static_cast<double>(value) / 65536.0);
}

// Reference ID: four characters for stratum 0 (a kiss code) and 1 (the kind
// of reference clock), an IPv4 address (or the hash of an IPv6 one) above.
std::string ReferenceText(const std::uint8_t* id, std::uint32_t stratum) {
  if (id[0] == 0 && id[1] == 0 && id[2] == 0 && id[3] == 0) return "Reference ID: NULL";
  if (stratum >= 2) return Format("Reference ID: %u.%u.%u.%u", id[0], id[1], id[2], id[3]);
  const std::uint32_t n = appfield::LengthUntilNul(id, 4);
  const std::string code = appfield::PrintableText(id, n, true);
  std::string text = "Reference ID: " + code;
  if (stratum == 0) {
    const char* meaning = KissCodeMeaning(code);
    text += meaning != nullptr ? Format(" (kiss code: %s)", meaning) : std::string(" (kiss code)");
  } else {
    text += " (reference clock)";
  }
  return text;
}

// An NTP timestamp: seconds and a 32-bit fraction. The seconds wrap every
// 136 years; values with the top bit clear are taken as era 1 (from 2036),
// so a timestamp covers 1968 to 2104.
struct Timestamp {
  std::int64_t unixSeconds;
  std::uint32_t nanoseconds;
};

Timestamp ToUnix(std::uint32_t seconds, std::uint32_t fraction) {
  std::int64_t s = seconds;
  if ((seconds & 0x80000000u) == 0) s += std::int64_t{1} << 32;
  const auto ns = static_cast<std::uint32_t>((static_cast<std::uint64_t>(fraction) * 1000000000u) >> 32);
  return {s - kNtpToUnix, ns};
}

std::string DateText(const Timestamp& t) {
  const auto seconds = static_cast<std::time_t>(t.unixSeconds);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char date[64];
  std::strftime(date, sizeof date, "%b %e, %Y %H:%M:%S", &utc);
  return Format("%s.%09u UTC", date, t.nanoseconds);
}

// --- field lines ---

void AddTimestamp(PacketDecoder& d, NodeId layer, const FieldInfo& f, std::uint32_t at) {
  const std::optional<std::uint32_t> seconds = d.U32(at);
  const std::optional<std::uint32_t> fraction = d.U32(at + 4);
  if (!seconds || !fraction) return;
  if (*seconds == 0 && *fraction == 0) {
    // Not set.
    d.AddFieldLine(layer, f, std::string(f.name) + ": NULL", at, at + 8, 0);
    return;
  }
  const Timestamp t = ToUnix(*seconds, *fraction);
  // Before 1970 the time has no value in nanoseconds since then: 0 stands in.
  const std::uint64_t ns = t.unixSeconds < 0 ? 0
                                             : static_cast<std::uint64_t>(t.unixSeconds) * 1000000000u + t.nanoseconds;
  d.AddFieldLine(layer, f, std::string(f.name) + ": " + DateText(t), at, at + 8, ns);
}

// The first byte: leap indicator, version, mode. In a private message the
// leap indicator's bits are the response and more bits.
std::optional<std::uint32_t> AddFlags(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  const FieldRead<std::uint32_t> flags = d.AddUint(layer, kFlags, h, [](std::uint32_t v) {
    const std::uint32_t mode = v & 7;
    if (mode == kPrivate) {
      return Format("Flags: 0x%02x, Response bit: %s, Version number: NTP Version %u, Mode: %s", v,
                    (v & 0x80) != 0 ? "Response" : "Request", (v >> 3) & 7, ModeName(mode));
    }
    return Format("Flags: 0x%02x, Leap Indicator: %s, Version number: NTP Version %u, Mode: %s", v, LeapName(v >> 6),
                  (v >> 3) & 7, ModeName(mode));
  });
  if (!flags) return std::nullopt;
  if ((*flags & 7) == kPrivate) {
    AddBits(d, flags.line, kPrivResponse, h, [](std::uint32_t v) { return v != 0 ? "Response" : "Request"; });
    AddBits(d, flags.line, kPrivMore, h);
  } else {
    AddBits(d, flags.line, kLeap, h, LeapName);
  }
  d.AddUint(flags.line, kVersion, h, [](std::uint32_t v) {
    return BitPattern(kVersion, v) + Format(" = Version number: NTP Version %u (%u)", v, v);
  });
  AddBits(d, flags.line, kMode, h, ModeName);
  return flags.value;
}

// Extension fields of version 4, then the key id and message authentication
// code, from `at` to the captured end.
void AddTrailer(PacketDecoder& d, NodeId layer, std::uint32_t at, bool extensions) {
  while (extensions && d.Available(at) > kLongestMac) {
    const std::uint32_t type = *d.U16(at);
    const std::uint32_t length = *d.U16(at + 2);
    if (length < kMinExtensionLength || length % 4 != 0 || length > d.Available(at)) break;
    const NodeId field = d.AddFieldLine(layer, kExtension, Format("Extension: type 0x%04x, %u bytes", type, length),
                                        at, at + length);
    d.AddUint(field, kExtType, at, "Field Type: 0x%04x");
    d.AddUint(field, kExtLength, at + 2, "Length: %u");
    d.AddBytes(field, kExtValue, at + 4, length - 4, appfield::SizedLabel("Value", length - 4));
    at += length;
  }
  if (!d.Has(at, kKeyIdLength)) {
    const std::uint32_t rest = d.Available(at);
    if (rest != 0) d.AddBytes(layer, kPadding, at, rest, appfield::SizedLabel("Padding", rest));
    return;
  }
  d.AddBytes(layer, kKeyId, at, kKeyIdLength, "Key ID: " + HexText(d.frame + at, kKeyIdLength));
  at += kKeyIdLength;
  const std::uint32_t rest = d.Available(at);
  if (rest != 0) {
    d.AddBytes(layer, kMac, at, rest, "Message Authentication Code: " + HexText(d.frame + at, rest));
  }
}

// Modes 1 to 5: the 48-byte header and what follows it.
void AddTimeMessage(PacketDecoder& d, NodeId layer, std::uint32_t h, std::uint32_t version) {
  const FieldRead<std::uint32_t> stratum = d.AddUint(layer, kStratum, h + 1, [](std::uint32_t v) {
    return Format("Peer Clock Stratum: %s (%u)", StratumName(v), v);
  });
  d.AddUint(layer, kPoll, h + 2, [](std::uint32_t v) {
    // The poll interval is a power of two between 16 s and 36 h.
    if (v < 4 || v > 17) return Format("Peer Polling Interval: invalid (%u)", v);
    return Format("Peer Polling Interval: %u (%u seconds)", v, 1u << v);
  });
  d.AddUint(layer, kPrecision, h + 3, [](std::uint32_t v) {
    const int exponent = static_cast<std::int8_t>(v);
    return Format("Peer Clock Precision: %.9f seconds (2^%d)", std::ldexp(1.0, exponent), exponent);
  });
  d.AddUint(layer, kRootDelay, h + 4, [](std::uint32_t v) { return ShortSeconds("Root Delay", v); });
  d.AddUint(layer, kRootDispersion, h + 8, [](std::uint32_t v) { return ShortSeconds("Root Dispersion", v); });
  if (const std::uint8_t* id = d.Bytes(h + 12, 4); id != nullptr && stratum) {
    d.AddBytes(layer, kRefId, h + 12, 4, ReferenceText(id, *stratum));
  }
  AddTimestamp(d, layer, kRefTime, h + 16);
  AddTimestamp(d, layer, kOrigin, h + 24);
  AddTimestamp(d, layer, kReceive, h + 32);
  AddTimestamp(d, layer, kTransmit, h + 40);
  if (d.Has(h, kHeaderLength)) AddTrailer(d, layer, h + kHeaderLength, version >= 4);
}

// Control data is text ("version=..., leap=00") for most operations: one
// line per item; anything that is not printable as bytes.
void AddControlData(PacketDecoder& d, NodeId layer, std::uint32_t at, std::uint32_t count) {
  const std::uint32_t n = std::min(count, d.Available(at));
  if (n == 0) return;
  const std::uint8_t* data = d.frame + at;
  bool text = true;
  for (std::uint32_t i = 0; i < n && text; ++i) {
    text = (data[i] >= 0x20 && data[i] < 0x7F) || data[i] == '\r' || data[i] == '\n' || data[i] == '\t';
  }
  if (!text) {
    d.AddBytes(layer, kCtrlDataBytes, at, n, appfield::SizedLabel("Data", n));
    return;
  }
  const NodeId group = d.AddFieldLine(layer, kCtrlData, appfield::SizedLabel("Data", n), at, at + n);
  std::uint32_t i = 0;
  while (i < n) {
    // Items are separated by commas; a comma inside quotes belongs to the value.
    std::uint32_t j = i;
    bool quoted = false;
    while (j < n && (quoted || data[j] != ',')) {
      if (data[j] == '"') quoted = !quoted;
      ++j;
    }
    std::uint32_t first = i;
    std::uint32_t last = j;
    while (first < last && (data[first] == ' ' || data[first] == '\r' || data[first] == '\n')) ++first;
    while (last > first && (data[last - 1] == ' ' || data[last - 1] == '\r' || data[last - 1] == '\n')) --last;
    if (last > first) {
      d.AddFieldLine(group, kCtrlItem, appfield::PrintableText(data + first, last - first, false), at + first,
                     at + last);
    }
    i = j + 1;
  }
}

// The status word: system status for association 0, peer status for any
// other, the error code when the error bit is set.
void AddControlStatus(PacketDecoder& d, NodeId layer, std::uint32_t h, std::uint32_t flags2,
                      std::optional<std::uint16_t> association) {
  const NodeId status = d.AddUint(layer, kCtrlStatus, h + 4, "Status: 0x%04x").line;
  const bool response = (flags2 & 0x80) != 0;
  if (!response || !association) return;
  if ((flags2 & 0x40) != 0) {
    AddBits(d, status, kCtrlErrorStatus, h + 4);
  } else if (*association == 0) {
    AddBits(d, status, kSysLeap, h + 4, LeapName);
    AddBits(d, status, kSysClockSource, h + 4, ClockSourceName);
    AddBits(d, status, kSysCount, h + 4);
    AddBits(d, status, kSysCode, h + 4, SystemEventName);
  } else {
    appfield::AddFlag(d, status, kPeerConfig, h + 4, "configured", "not configured");
    appfield::AddFlag(d, status, kPeerAuthEnable, h + 4, "authentication enabled", "authentication disabled");
    appfield::AddFlag(d, status, kPeerAuthentic, h + 4, "authentication okay", "authentication not okay");
    appfield::AddFlag(d, status, kPeerReach, h + 4, "reachability okay", "reachability not okay");
    appfield::AddFlag(d, status, kPeerBroadcast, h + 4, "broadcast association", "not broadcast association");
    AddBits(d, status, kPeerSelection, h + 4, PeerSelectionName);
    AddBits(d, status, kPeerCount, h + 4);
    AddBits(d, status, kPeerCode, h + 4);
  }
}

// Mode 6: the control header, the data of `count` bytes padded to a
// multiple of four, then the authenticator.
void AddControlMessage(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  const FieldRead<std::uint32_t> flags2 = d.AddUint(layer, kCtrlFlags, h + 1, [](std::uint32_t v) {
    return Format("Flags 2: 0x%02x, Response bit: %s, Opcode: %s", v, (v & 0x80) != 0 ? "Response" : "Request",
                  OpcodeName(v & 0x1f));
  });
  if (!flags2) return;
  AddBits(d, flags2.line, kCtrlResponse, h + 1, [](std::uint32_t v) { return v != 0 ? "Response" : "Request"; });
  AddBits(d, flags2.line, kCtrlError, h + 1);
  AddBits(d, flags2.line, kCtrlMore, h + 1);
  AddBits(d, flags2.line, kCtrlOpcode, h + 1, OpcodeName);
  d.AddUint(layer, kCtrlSequence, h + 2, "Sequence: %u");
  AddControlStatus(d, layer, h, *flags2, d.U16(h + 6));
  d.AddUint(layer, kCtrlAssociation, h + 6, "AssociationID: %u");
  d.AddUint(layer, kCtrlOffset, h + 8, "Offset: %u");
  const FieldRead<std::uint32_t> count = d.AddUint(layer, kCtrlCount, h + 10, "Count: %u");
  if (!count) return;
  const std::uint32_t at = h + kControlHeaderLength;
  AddControlData(d, layer, at, *count);
  const std::uint64_t padded = (std::uint64_t{*count} + 3) & ~std::uint64_t{3};
  if (padded > d.Available(at)) return;
  const std::uint32_t padding = static_cast<std::uint32_t>(padded) - *count;
  if (padding != 0) d.AddBytes(layer, kPadding, at + *count, padding, appfield::SizedLabel("Padding", padding));
  const std::uint32_t after = at + static_cast<std::uint32_t>(padded);
  if (d.Available(after) != 0) AddTrailer(d, layer, after, false);
}

// Mode 7, private to one implementation: its header and the data as bytes.
void AddPrivateMessage(PacketDecoder& d, NodeId layer, std::uint32_t h) {
  const NodeId authSeq = d.AddUint(layer, kPrivAuthSeq, h + 1, "Auth, sequence: %u").line;
  AddBits(d, authSeq, kPrivAuth, h + 1);
  AddBits(d, authSeq, kPrivSeq, h + 1);
  d.AddUint(layer, kPrivImpl, h + 2, "Implementation: %u");
  d.AddUint(layer, kPrivReqCode, h + 3, "Request code: %u");
  d.AddUint(layer, kPrivErr, h + 4, "Err: 0x%02x");
  d.AddUint(layer, kPrivItems, h + 4, "Number of data items: %u");
  d.AddUint(layer, kPrivReserved, h + 6, "Reserved: 0x%02x");
  d.AddUint(layer, kPrivItemSize, h + 6, "Size of data item: %u");
  const std::uint32_t rest = d.Available(h + kPrivateHeaderLength);
  if (rest != 0) d.AddBytes(layer, kPrivData, h + kPrivateHeaderLength, rest, appfield::SizedLabel("Data", rest));
}

void DescribeMessage(PacketDecoder& d, std::uint32_t h) {
  const std::uint8_t first = *d.U8(h);
  const std::uint32_t mode = first & 7;
  const std::uint32_t version = (first >> 3) & 7;
  const NodeId layer =
      d.AddLayerLine(kProto, Format("NTP (Version %u, %s)", version, ModeShortName(mode)), h, d.capturedLength);
  AddFlags(d, layer, h);
  if (mode == kControl) {
    AddControlMessage(d, layer, h);
  } else if (mode == kPrivate) {
    AddPrivateMessage(d, layer, h);
  } else {
    AddTimeMessage(d, layer, h, version);
  }
}

}  // namespace

void DecodeNtp(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Ntp);
  // The row and the statistics only learn that NTP was here.
  if (!d.IsTree() || !d.Has(h, 1)) return;
  DescribeMessage(d, h);
}

}  // namespace qv
