// Texts and lines the DNS units share: record types, durations, flag bits,
// strings, and lines whose value is not the bytes they cover.

#include "decode/dns_message.h"
#include "decode/text_format.h"

namespace qv::dns {

namespace {

struct TypeEntry {
  std::uint16_t type;
  const char* mnemonic;
  const char* description;  // null: the mnemonic says it all
};

constexpr TypeEntry kTypes[] = {
    {1, "A", "Host Address"},
    {2, "NS", "authoritative Name Server"},
    {3, "MD", "Mail Destination"},
    {4, "MF", "Mail Forwarder"},
    {5, "CNAME", "Canonical NAME for an alias"},
    {6, "SOA", "Start Of a zone of Authority"},
    {7, "MB", "MailBox domain name"},
    {8, "MG", "Mail Group member"},
    {9, "MR", "Mail Rename domain"},
    {10, "NULL", nullptr},
    {11, "WKS", "Well Known Service"},
    {12, "PTR", "domain name PoinTeR"},
    {13, "HINFO", "host information"},
    {14, "MINFO", "Mailbox or mail list information"},
    {15, "MX", "Mail eXchange"},
    {16, "TXT", "Text strings"},
    {17, "RP", "Responsible Person"},
    {18, "AFSDB", "AFS Data Base location"},
    {24, "SIG", "security signature"},
    {25, "KEY", "security key"},
    {28, "AAAA", "IPv6 Address"},
    {29, "LOC", "Location Information"},
    {33, "SRV", "Server Selection"},
    {35, "NAPTR", "Naming Authority Pointer"},
    {36, "KX", "Key Exchanger"},
    {37, "CERT", nullptr},
    {39, "DNAME", nullptr},
    {41, "OPT", nullptr},
    {42, "APL", nullptr},
    {43, "DS", "Delegation Signer"},
    {44, "SSHFP", "SSH Key Fingerprint"},
    {45, "IPSECKEY", nullptr},
    {46, "RRSIG", "Resource Record Signature"},
    {47, "NSEC", "Next Secure"},
    {48, "DNSKEY", "DNS Public Key"},
    {49, "DHCID", nullptr},
    {50, "NSEC3", nullptr},
    {51, "NSEC3PARAM", nullptr},
    {52, "TLSA", nullptr},
    {55, "HIP", "Host Identity Protocol"},
    {59, "CDS", "Child DS"},
    {60, "CDNSKEY", "DNSKEY(s) the Child wants reflected in DS"},
    {61, "OPENPGPKEY", "OpenPGP Key"},
    {62, "CSYNC", "Child-to-Parent Synchronization"},
    {63, "ZONEMD", nullptr},
    {64, "SVCB", "General Purpose Service Endpoints"},
    {65, "HTTPS", "HTTPS Service Endpoints"},
    {99, "SPF", nullptr},
    {249, "TKEY", "Transaction Key"},
    {250, "TSIG", "Transaction Signature"},
    {251, "IXFR", "incremental transfer"},
    {252, "AXFR", "transfer of an entire zone"},
    {253, "MAILB", "mailbox-related RRs"},
    {254, "MAILA", "mail agent RRs"},
    {255, "ANY", "A request for all records the server/cache has available"},
    {256, "URI", nullptr},
    {257, "CAA", "Certification Authority Restriction"},
};

const TypeEntry* FindType(std::uint16_t type) {
  for (const TypeEntry& e : kTypes) {
    if (e.type == type) return &e;
  }
  return nullptr;
}

void AppendUnit(std::string& out, std::uint32_t count, const char* unit) {
  if (count == 0) return;
  if (!out.empty()) out += ", ";
  out += Format("%u %s%s", count, unit, count == 1 ? "" : "s");
}

}  // namespace

std::string TypeMnemonic(std::uint16_t type) {
  const TypeEntry* e = FindType(type);
  return e != nullptr ? std::string(e->mnemonic) : Format("TYPE%u", type);
}

std::string TypeText(std::uint32_t type) {
  const TypeEntry* e = FindType(static_cast<std::uint16_t>(type));
  if (e == nullptr) return Format("Unknown (%u)", type);
  if (e->description == nullptr) return Format("%s (%u)", e->mnemonic, type);
  return Format("%s (%s) (%u)", e->mnemonic, e->description, type);
}

std::string SecondsText(std::uint32_t seconds) {
  std::string units;
  AppendUnit(units, seconds / 86400, "day");
  AppendUnit(units, seconds / 3600 % 24, "hour");
  AppendUnit(units, seconds / 60 % 60, "minute");
  AppendUnit(units, seconds % 60, "second");
  if (units.empty()) units = "0 seconds";
  return Format("%u (%s)", seconds, units.c_str());
}

std::string BitPattern16(std::uint16_t mask, std::uint32_t value) {
  unsigned shift = 0;
  while (shift < 15 && ((mask >> shift) & 1) == 0) ++shift;
  const std::uint32_t placed = value << shift;
  std::string out;
  for (unsigned i = 16; i-- > 0;) {
    const std::uint32_t bit = 1u << i;
    out += (mask & bit) == 0 ? '.' : (placed & bit) != 0 ? '1' : '0';
    if (i % 4 == 0 && i != 0) out += ' ';
  }
  return out;
}

std::string EscapedText(const std::uint8_t* bytes, std::uint32_t count) {
  std::string out;
  out.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t c = bytes[i];
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += Format("\\%03u", c);
    }
  }
  return out;
}

std::string ByteCount(std::uint32_t count) { return Format("%u byte%s", count, count == 1 ? "" : "s"); }

std::string HexText(const std::uint8_t* bytes, std::uint32_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(std::size_t{count} * 2);
  for (std::uint32_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

NodeId AddValueLine(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::string text, std::uint32_t start,
                    std::uint32_t end, std::string value) {
  const NodeId line = d.AddFieldLine(parent, f, std::move(text), start, end);
  if (line != kNoNode) {
    DecodeNode& node = (*d.Tree())[line];
    node.storedBytes = std::move(value);
    node.bytesStored = true;
  }
  return line;
}

}  // namespace qv::dns
