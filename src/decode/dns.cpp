#include "decode/dns.h"

#include <algorithm>
#include <optional>

#include "decode/dns_message.h"
#include "decode/text_format.h"

namespace qv {

namespace {

using dns::Flavour;
using dns::Message;

// --- the fields ---

constexpr FieldInfo kDnsProto{"dns", "Domain Name System", FieldType::Protocol};
constexpr FieldInfo kMdnsProto{"mdns", "Multicast Domain Name System", FieldType::Protocol};
constexpr FieldInfo kLlmnrProto{"llmnr", "Link-local Multicast Name Resolution", FieldType::Protocol};
constexpr FieldInfo kLength{"dns.length", "Length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kId{"dns.id", "Transaction ID", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kFlags{"dns.flags", "Flags", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kResponse{"dns.flags.response", "Response", FieldType::Boolean, FieldBase::None, 0x8000, 2};
constexpr FieldInfo kOpcode{"dns.flags.opcode", "Opcode", FieldType::UInt16, FieldBase::Dec, 0x7800};
constexpr FieldInfo kAuthoritative{"dns.flags.authoritative", "Authoritative", FieldType::Boolean, FieldBase::None,
                                   0x0400, 2};
constexpr FieldInfo kConflict{"dns.flags.conflict", "Conflict", FieldType::Boolean, FieldBase::None, 0x0400, 2};
constexpr FieldInfo kTruncated{"dns.flags.truncated", "Truncated", FieldType::Boolean, FieldBase::None, 0x0200, 2};
constexpr FieldInfo kRecDesired{"dns.flags.recdesired", "Recursion desired", FieldType::Boolean, FieldBase::None,
                                0x0100, 2};
constexpr FieldInfo kTentative{"dns.flags.tentative", "Tentative", FieldType::Boolean, FieldBase::None, 0x0100, 2};
constexpr FieldInfo kRecAvail{"dns.flags.recavail", "Recursion available", FieldType::Boolean, FieldBase::None,
                              0x0080, 2};
constexpr FieldInfo kZ{"dns.flags.z", "Z", FieldType::Boolean, FieldBase::None, 0x0040, 2};
constexpr FieldInfo kAuthenticated{"dns.flags.authenticated", "Answer authenticated", FieldType::Boolean,
                                   FieldBase::None, 0x0020, 2};
constexpr FieldInfo kCheckDisable{"dns.flags.checkdisable", "Non-authenticated data", FieldType::Boolean,
                                  FieldBase::None, 0x0010, 2};
constexpr FieldInfo kRcode{"dns.flags.rcode", "Reply code", FieldType::UInt16, FieldBase::Dec, 0x000F};
constexpr FieldInfo kQueries{"dns.count.queries", "Questions", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kZones{"dns.count.zones", "Zones", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kAnswers{"dns.count.answers", "Answer RRs", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kPrerequisites{"dns.count.prerequisites", "Prerequisites", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kAuthRr{"dns.count.auth_rr", "Authority RRs", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kUpdates{"dns.count.updates", "Updates", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kAddRr{"dns.count.add_rr", "Additional RRs", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kQryName{"dns.qry.name", "Name", FieldType::String};
constexpr FieldInfo kQryType{"dns.qry.type", "Type", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kQryClass{"dns.qry.class", "Class", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kQryQu{"dns.qry.qu", "\"QU\" question", FieldType::Boolean, FieldBase::None, 0x8000, 2};
constexpr FieldInfo kRespName{"dns.resp.name", "Name", FieldType::String};
constexpr FieldInfo kRespType{"dns.resp.type", "Type", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kRespClass{"dns.resp.class", "Class", FieldType::UInt16, FieldBase::Hex};
constexpr FieldInfo kCacheFlush{"dns.resp.cache_flush", "Cache flush", FieldType::Boolean, FieldBase::None, 0x8000,
                                2};
constexpr FieldInfo kTtl{"dns.resp.ttl", "Time to live", FieldType::UInt32, FieldBase::Dec};
constexpr FieldInfo kRespLength{"dns.resp.len", "Data length", FieldType::UInt16, FieldBase::Dec};
constexpr FieldInfo kExtraneous{"dns.extraneous.data", "Extraneous Data", FieldType::Bytes};

constexpr const FieldInfo* kFields[] = {
    &kDnsProto, &kMdnsProto, &kLlmnrProto, &kLength, &kId, &kFlags, &kResponse, &kOpcode, &kAuthoritative,
    &kConflict, &kTruncated, &kRecDesired, &kTentative, &kRecAvail, &kZ, &kAuthenticated, &kCheckDisable, &kRcode,
    &kQueries, &kZones, &kAnswers, &kPrerequisites, &kAuthRr, &kUpdates, &kAddRr,
    &kQryName, &kQryType, &kQryClass, &kQryQu,
    &kRespName, &kRespType, &kRespClass, &kCacheFlush, &kTtl, &kRespLength, &kExtraneous,
};
const FieldRegistration kRegistration(kFields);

// --- the header ---

constexpr std::uint32_t kHeaderLength = 12;
// Type, class, time to live and data length after a record's name.
constexpr std::uint32_t kRecordFixedLength = 10;
constexpr std::uint32_t kOpcodeUpdate = 5;
constexpr std::uint16_t kClassTopBit = 0x8000;

const char* OpcodeName(std::uint32_t opcode) {
  switch (opcode) {
    case 0: return "Standard query";
    case 1: return "Inverse query";
    case 2: return "Server status request";
    case 4: return "Zone change notification";
    case 5: return "Dynamic update";
    case 6: return "DNS Stateful operations (DSO)";
    default: return nullptr;
  }
}

const char* RcodeName(std::uint32_t rcode) {
  switch (rcode) {
    case 0: return "No error";
    case 1: return "Format error";
    case 2: return "Server failure";
    case 3: return "No such name";
    case 4: return "Not implemented";
    case 5: return "Refused";
    case 6: return "Name exists";
    case 7: return "RRset exists";
    case 8: return "RRset does not exist";
    case 9: return "Not authoritative";
    case 10: return "Name out of zone";
    case 11: return "DSO-Type not implemented";
    default: return nullptr;
  }
}

bool IsResponse(std::uint16_t flags) { return (flags & 0x8000) != 0; }
std::uint32_t OpcodeOf(std::uint16_t flags) { return (flags >> 11) & 0xF; }

// "Standard query", "Standard query response, No such name".
std::string FlagsSummary(std::uint16_t flags) {
  const char* opcode = OpcodeName(OpcodeOf(flags));
  std::string out = opcode != nullptr ? opcode : "Unknown operation";
  if (IsResponse(flags)) {
    const char* rcode = RcodeName(flags & 0xF);
    out += " response, ";
    out += rcode != nullptr ? rcode : "Unknown error";
  }
  return out;
}

// A one-bit flag: ".... ..0. .... .... = Truncated: Message is not truncated".
void AddFlag(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::uint32_t at, const char* label,
             const char* set, const char* clear) {
  d.AddUint(parent, f, at, [&f, label, set, clear](std::uint32_t v) {
    return dns::BitPattern16(static_cast<std::uint16_t>(f.mask), v) + " = " + label + ": " + (v != 0 ? set : clear);
  });
}

void AddFlagBits(PacketDecoder& d, const Message& m, NodeId flags, std::uint32_t at) {
  const bool response = IsResponse(m.flags);
  AddFlag(d, flags, kResponse, at, "Response", "Message is a response", "Message is a query");
  d.AddUint(flags, kOpcode, at, [](std::uint32_t v) {
    const char* name = OpcodeName(v);
    return dns::BitPattern16(0x7800, v) + " = Opcode: " + (name != nullptr ? name : "Unknown") + Format(" (%u)", v);
  });
  if (m.flavour == Flavour::Llmnr) {
    // LLMNR gives two of the bits meanings of its own and leaves out recursion.
    AddFlag(d, flags, kConflict, at, "Conflict", "The name is not considered unique", "None");
    AddFlag(d, flags, kTruncated, at, "Truncated", "Message is truncated", "Message is not truncated");
    AddFlag(d, flags, kTentative, at, "Tentative", "Tentative", "Not tentative");
  } else {
    if (response) {
      AddFlag(d, flags, kAuthoritative, at, "Authoritative", "Server is an authority for domain",
              "Server is not an authority for domain");
    }
    AddFlag(d, flags, kTruncated, at, "Truncated", "Message is truncated", "Message is not truncated");
    AddFlag(d, flags, kRecDesired, at, "Recursion desired", "Do query recursively", "Don't do query recursively");
    if (response) {
      AddFlag(d, flags, kRecAvail, at, "Recursion available", "Server can do recursive queries",
              "Server can't do recursive queries");
    }
    d.AddUint(flags, kZ, at,
              [](std::uint32_t v) { return dns::BitPattern16(0x0040, v) + Format(" = Z: reserved (%u)", v); });
    if (response) {
      AddFlag(d, flags, kAuthenticated, at, "Answer authenticated",
              "Answer/authority portion was authenticated by the server",
              "Answer/authority portion was not authenticated by the server");
    } else if ((m.flags & 0x0020) != 0) {
      // In a query the bit asks for it; it is shown only when asked.
      AddFlag(d, flags, kAuthenticated, at, "AD bit", "Set", "Not set");
    }
    AddFlag(d, flags, kCheckDisable, at, "Non-authenticated data", "Acceptable", "Unacceptable");
  }
  if (response) {
    d.AddUint(flags, kRcode, at, [](std::uint32_t v) {
      const char* name = RcodeName(v);
      return dns::BitPattern16(0x000F, v) + " = Reply code: " + (name != nullptr ? name : "Unknown") +
             Format(" (%u)", v);
    });
  }
}

// --- sections ---

struct SectionInfo {
  const FieldInfo* count;
  const char* countLabel;
  const char* title;
};

constexpr SectionInfo kSections[4] = {
    {&kQueries, "Questions", "Queries"},
    {&kAnswers, "Answer RRs", "Answers"},
    {&kAuthRr, "Authority RRs", "Authoritative nameservers"},
    {&kAddRr, "Additional RRs", "Additional records"},
};
// An update names its sections after what they carry.
constexpr SectionInfo kUpdateSections[4] = {
    {&kZones, "Zones", "Zone"},
    {&kPrerequisites, "Prerequisites", "Prerequisites"},
    {&kUpdates, "Updates", "Updates"},
    {&kAddRr, "Additional RRs", "Additional records"},
};

const char* ClassName(std::uint32_t c) {
  switch (c) {
    case 1: return "IN";
    case 2: return "CS";
    case 3: return "CH";
    case 4: return "HS";
    case 254: return "NONE";
    case 255: return "ANY";
    default: return nullptr;
  }
}

std::string ClassMnemonic(std::uint32_t c) {
  const char* name = ClassName(c);
  return name != nullptr ? std::string(name) : Format("CLASS%u", c);
}

std::string ClassText(std::uint32_t c) {
  const char* name = ClassName(c);
  return Format("Class: %s (0x%04x)", name != nullptr ? name : "Unknown", c);
}

// The class of a question or record. mDNS takes its top bit for a flag of
// its own (unicast response, cache flush), shown on a line of its own; the
// class is the other fifteen bits. Returns the class, absent when not in the
// message.
std::optional<std::uint32_t> AddClass(PacketDecoder& d, const Message& m, NodeId parent, const FieldInfo& f,
                                      const FieldInfo& topBit, std::uint32_t at) {
  if (!m.Holds(at, 2)) return std::nullopt;
  const std::uint16_t raw = *d.U16(at);
  if (m.flavour != Flavour::Mdns) {
    d.AddUint(parent, f, at, [](std::uint32_t v) { return ClassText(v); });
    return raw;
  }
  const std::uint32_t c = raw & 0x7FFFu;
  d.AddFieldLine(parent, f, dns::BitPattern16(0x7FFF, c) + " = " + ClassText(c), at, at + 2, c);
  d.AddUint(parent, topBit, at, [&topBit](std::uint32_t v) {
    return dns::BitPattern16(kClassTopBit, v) + " = " + std::string(topBit.name) + (v != 0 ? ": True" : ": False");
  });
  return raw;
}

// What one question or record covered and whether the walk can go on after it.
struct Entry {
  std::uint32_t end;
  bool goOn;
};

Entry AddQuestion(PacketDecoder& d, const Message& m, NodeId section, std::uint32_t p) {
  const dns::Name name = dns::ReadName(d, m, p, m.end);
  const NodeId line = d.AddLine(section, std::string(), p, name.end);
  dns::AddNameLine(d, line, kQryName, "Name", name);
  std::string summary = name.Shown();
  if (!name.ended) {
    d.AppendText(line, summary);
    return {name.end, false};
  }
  const std::uint32_t q = name.end;
  if (m.Holds(q, 2)) {
    const std::uint16_t type = *d.U16(q);
    d.AddUint(line, kQryType, q, [](std::uint32_t v) { return "Type: " + dns::TypeText(v); });
    summary += ": type " + dns::TypeMnemonic(type);
  }
  if (const std::optional<std::uint32_t> c = AddClass(d, m, line, kQryClass, kQryQu, q + 2)) {
    summary += ", class " + ClassMnemonic(m.flavour == Flavour::Mdns ? *c & 0x7FFFu : *c);
    if (m.flavour == Flavour::Mdns) summary += (*c & kClassTopBit) != 0 ? ", \"QU\" question" : ", \"QM\" question";
  }
  d.AppendText(line, summary);
  const std::uint32_t end = std::min(q + 4, m.end);
  d.SetRange(line, p, end);
  return {end, m.Holds(q, 4)};
}

// The class and time to live of an ordinary record.
void AddClassAndTtl(PacketDecoder& d, const Message& m, NodeId line, std::uint32_t at, std::string& summary) {
  if (const std::optional<std::uint32_t> c = AddClass(d, m, line, kRespClass, kCacheFlush, at)) {
    summary += ", class " + ClassMnemonic(m.flavour == Flavour::Mdns ? *c & 0x7FFFu : *c);
    if (m.flavour == Flavour::Mdns && (*c & kClassTopBit) != 0) summary += ", cache flush";
  }
  if (m.Holds(at + 2, 4)) {
    d.AddUint(line, kTtl, at + 2, [](std::uint32_t v) { return "Time to live: " + dns::SecondsText(v); });
  }
}

Entry AddRecord(PacketDecoder& d, const Message& m, NodeId section, std::uint32_t p) {
  const dns::Name name = dns::ReadName(d, m, p, m.end);
  const NodeId line = d.AddLine(section, std::string(), p, name.end);
  dns::AddNameLine(d, line, kRespName, "Name", name);
  std::string summary = name.Shown();
  if (!name.ended) {
    d.AppendText(line, summary);
    return {name.end, false};
  }
  const std::uint32_t q = name.end;
  std::optional<std::uint16_t> type;
  if (m.Holds(q, 2)) {
    type = *d.U16(q);
    d.AddUint(line, kRespType, q, [](std::uint32_t v) { return "Type: " + dns::TypeText(v); });
    summary += ": type " + dns::TypeMnemonic(*type);
  }
  if (type == dns::kTypeOpt) {
    dns::AddOptHeader(d, m, line, q + 2);
  } else {
    AddClassAndTtl(d, m, line, q + 2, summary);
  }
  NodeId lengthLine = kNoNode;
  if (m.Holds(q + 8, 2)) lengthLine = d.AddUint(line, kRespLength, q + 8, "Data length: %u").line;
  d.AppendText(line, summary);
  if (!m.Holds(q, kRecordFixedLength)) {
    const std::uint32_t end = std::min(q + kRecordFixedLength, m.end);
    d.SetRange(line, p, end);
    return {end, false};
  }
  const std::uint32_t start = q + kRecordFixedLength;
  const std::uint32_t declared = *d.U16(q + 8);
  const dns::RecordData data{start, std::min(start + declared, m.end), declared};
  if (!data.Complete()) {
    d.AppendText(lengthLine, " [only " + dns::ByteCount(data.end - data.start) + " in the message]");
  }
  dns::AddRecordData(d, m, line, *type, data);
  d.SetRange(line, p, data.end);
  return {data.end, data.Complete()};
}

struct SectionsWalk {
  std::uint32_t end;         // where the decoded entries end
  std::uint32_t missing = 0; // entries counted but not decoded
  std::uint32_t total = 0;
  bool stopped = false;      // an entry whose end is not known stopped the walk
};

SectionsWalk AddSections(PacketDecoder& d, const Message& m, NodeId layer, const std::uint16_t (&counts)[4],
                         const SectionInfo (&sections)[4]) {
  SectionsWalk walk{m.start + kHeaderLength};
  std::uint32_t& p = walk.end;
  for (int s = 0; s < 4; ++s) {
    const std::uint32_t count = counts[s];
    walk.total += count;
    if (count == 0) continue;
    if (walk.stopped || p >= m.end) {
      walk.missing += count;
      continue;
    }
    const NodeId group = d.AddLine(layer, sections[s].title, p, p);
    const std::uint32_t first = p;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (walk.stopped || p >= m.end) {
        walk.missing += count - i;
        break;
      }
      const Entry e = s == 0 ? AddQuestion(d, m, group, p) : AddRecord(d, m, group, p);
      p = e.end;
      walk.stopped = !e.goOn;
    }
    d.SetRange(group, first, p);
  }
  return walk;
}

// --- one message ---

const FieldInfo& ProtoOf(Flavour flavour) {
  switch (flavour) {
    case Flavour::Mdns: return kMdnsProto;
    case Flavour::Llmnr: return kLlmnrProto;
    case Flavour::Dns: break;
  }
  return kDnsProto;
}

const char* LayerName(Flavour flavour) {
  switch (flavour) {
    case Flavour::Mdns: return "MDNS";
    case Flavour::Llmnr: return "LLMNR";
    case Flavour::Dns: break;
  }
  return "DNS";
}

// Over TCP the message follows its length.
struct TcpFraming {
  std::optional<std::uint16_t> length;  // absent when not captured
};

// The message whose layer starts at `layerStart` (its length, over TCP) and
// whose captured bytes end at `end`.
void DecodeMessage(PacketDecoder& d, Flavour flavour, std::uint32_t layerStart, std::uint32_t end,
                   const TcpFraming* tcp) {
  Message m;
  m.start = tcp != nullptr ? layerStart + 2 : layerStart;
  m.end = std::max(end, layerStart);
  m.flavour = flavour;
  const bool hasFlags = m.Holds(m.start + 2, 2);
  if (hasFlags) m.flags = *d.U16(m.start + 2);

  std::string text = LayerName(flavour);
  if (hasFlags) text += IsResponse(m.flags) ? " (response)" : " (query)";
  const NodeId layer = d.AddLayerLine(ProtoOf(flavour), std::move(text), layerStart, m.end);
  if (tcp != nullptr) d.AddUint(layer, kLength, layerStart, "Length: %u");

  const std::uint32_t h = m.start;
  if (m.Holds(h, 2)) d.AddUint(layer, kId, h, "Transaction ID: 0x%04x");
  if (hasFlags) {
    const NodeId flags =
        d.AddUint(layer, kFlags, h + 2, [](std::uint32_t v) { return Format("Flags: 0x%04x ", v) + FlagsSummary(v); })
            .line;
    AddFlagBits(d, m, flags, h + 2);
  }
  const SectionInfo(&sections)[4] = OpcodeOf(m.flags) == kOpcodeUpdate ? kUpdateSections : kSections;
  std::uint16_t counts[4] = {};
  for (int s = 0; s < 4; ++s) {
    const std::uint32_t at = h + 4 + 2 * static_cast<std::uint32_t>(s);
    if (!m.Holds(at, 2)) continue;
    counts[s] = *d.U16(at);
    d.AddUint(layer, *sections[s].count, at, [label = sections[s].countLabel](std::uint32_t v) {
      return Format("%s: %u", label, v);
    });
  }

  const SectionsWalk walk = AddSections(d, m, layer, counts, sections);
  const bool continued = tcp != nullptr && (!tcp->length || m.start + *tcp->length > m.end);
  if (!walk.stopped && walk.end < m.end) {
    d.AddBytes(layer, kExtraneous, walk.end, m.end - walk.end,
               "Extraneous data (" + dns::ByteCount(m.end - walk.end) + ")");
  }
  if (continued) {
    if (tcp->length) {
      d.AddLine(layer, Format("Continued in a later segment: %u of the message's %u bytes are here",
                              m.end - std::min(m.start, m.end), *tcp->length));
    } else {
      d.AddLine(layer, "Continued in a later segment: its length is cut");
    }
  } else if (walk.missing != 0) {
    d.AddLine(layer, Format("%u of the %u entries that the header counts are not decoded", walk.missing, walk.total));
  }
}

// Summary mode with statistics to tell: the answers' addresses are worth a
// walk. (A datagram quoted by an ICMP error answered nobody.)
bool LearnsNames(const PacketDecoder& d) {
  return d.IsSummary() && d.Context().sink != nullptr && (d.flags & QuotedDatagram) == 0;
}

Message SummaryMessage(Flavour flavour, std::uint32_t start, std::uint32_t end) {
  Message m;
  m.start = start;
  m.end = std::max(end, start);
  m.flavour = flavour;
  return m;
}

void DecodeDatagram(PacketDecoder& d, Protocol protocol, Flavour flavour) {
  d.BeginLayer(protocol);
  if (!d.IsTree()) {
    // The row learns which protocol this is, the statistics also the names
    // that a response gives addresses.
    if (LearnsNames(d)) dns::LearnAnswerNames(d, SummaryMessage(flavour, d.offset, d.capturedLength));
    return;
  }
  DecodeMessage(d, flavour, d.offset, d.capturedLength, nullptr);
}

}  // namespace

void DecodeDns(PacketDecoder& d) { DecodeDatagram(d, Protocol::Dns, Flavour::Dns); }
void DecodeMdns(PacketDecoder& d) { DecodeDatagram(d, Protocol::Mdns, Flavour::Mdns); }
void DecodeLlmnr(PacketDecoder& d) { DecodeDatagram(d, Protocol::Llmnr, Flavour::Llmnr); }

void DecodeDnsOverTcp(PacketDecoder& d) {
  d.BeginLayer(Protocol::Dns);
  if (!d.IsTree()) {
    if (!LearnsNames(d)) return;
    // Every message the segment holds whole or in part, each after its length.
    std::uint64_t p = d.offset;
    while (p + 2 <= d.capturedLength) {
      const auto at = static_cast<std::uint32_t>(p);
      const std::uint64_t end = p + 2 + *d.U16(at);
      const auto cut = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, d.capturedLength));
      dns::LearnAnswerNames(d, SummaryMessage(Flavour::Dns, at + 2, cut));
      p = end;
    }
    return;
  }
  // Each message after its length, as many as the segment holds; the first
  // one's start is the layer's, each further one starts a layer of its own.
  std::uint32_t p = d.offset;
  while (d.Has(p, 1)) {
    if (p != d.offset) d.AddLayerStart(p);
    const TcpFraming tcp{d.U16(p)};
    const std::uint64_t declaredEnd = std::uint64_t{p} + 2 + tcp.length.value_or(0);
    const auto end = static_cast<std::uint32_t>(std::min<std::uint64_t>(declaredEnd, d.capturedLength));
    DecodeMessage(d, Flavour::Dns, p, end, &tcp);
    if (!tcp.length || declaredEnd >= d.capturedLength) return;
    p = static_cast<std::uint32_t>(declaredEnd);
  }
}

}  // namespace qv
