// The addresses a DNS, mDNS or LLMNR response gives for names, reported to
// the statistics in summary mode. This runs for every response of a capture,
// so it builds no lines and reads no more than it needs: the questions and
// the answers' own names are stepped over in place, and a name is read only
// for an address record.

#include <optional>

#include "decode/dns_message.h"

namespace qv::dns {

namespace {

constexpr std::uint32_t kHeaderLength = 12;
constexpr std::uint32_t kQuestionFixedLength = 4;  // type, class
constexpr std::uint32_t kRecordFixedLength = 10;   // type, class, time to live, data length
constexpr std::uint16_t kTypeA = 1;
constexpr std::uint16_t kTypeAaaa = 28;
constexpr std::uint16_t kClassIn = 1;

// Where the name at `at` ends in place (after its zero or its pointer), or
// nothing when it does not end inside the message. Each step moves forward,
// so the walk ends.
std::optional<std::uint32_t> SkipName(const PacketDecoder& d, const Message& m, std::uint32_t at) {
  std::uint32_t pos = at;
  while (m.Holds(pos, 1)) {
    const std::uint8_t length = d.frame[pos];
    if (length == 0) return pos + 1;
    if ((length & 0xC0) == 0xC0) {
      if (!m.Holds(pos, 2)) return std::nullopt;
      return pos + 2;
    }
    if ((length & 0xC0) != 0) return std::nullopt;
    pos += 1u + length;
  }
  return std::nullopt;
}

NameOrigin OriginOf(Flavour flavour) {
  switch (flavour) {
    case Flavour::Mdns: return NameOrigin::Mdns;
    case Flavour::Llmnr: return NameOrigin::Llmnr;
    case Flavour::Dns: break;
  }
  return NameOrigin::Dns;
}

}  // namespace

void LearnAnswerNames(PacketDecoder& d, const Message& m) {
  if (!m.Holds(m.start, kHeaderLength)) return;
  const std::uint16_t flags = *d.U16(m.start + 2);
  // A standard response (an update's sections carry other things).
  if ((flags & 0x8000) == 0 || ((flags >> 11) & 0xF) != 0) return;
  const std::uint16_t questions = *d.U16(m.start + 4);
  std::uint16_t answers = *d.U16(m.start + 6);
  if (answers == 0) return;

  std::uint32_t p = m.start + kHeaderLength;
  std::string asked;  // the first question's name, when it reads without a fault
  for (std::uint32_t i = 0; i < questions; ++i) {
    if (i == 0 && m.flavour != Flavour::Mdns) {
      Name name = ReadName(d, m, p, m.end);
      if (!name.ended) return;
      if (name.problem == NameProblem::None) asked = std::move(name.text);
      p = name.end;
    } else {
      const std::optional<std::uint32_t> end = SkipName(d, m, p);
      if (!end) return;
      p = *end;
    }
    if (!m.Holds(p, kQuestionFixedLength)) return;
    p += kQuestionFixedLength;
  }

  const NameOrigin origin = OriginOf(m.flavour);
  for (; answers != 0; --answers) {
    const std::optional<std::uint32_t> nameEnd = SkipName(d, m, p);
    if (!nameEnd || !m.Holds(*nameEnd, kRecordFixedLength)) return;
    const std::uint32_t q = *nameEnd;
    const std::uint16_t type = *d.U16(q);
    // mDNS takes the class's top bit for the cache-flush flag.
    const std::uint16_t rrClass = *d.U16(q + 2) & (m.flavour == Flavour::Mdns ? 0x7FFF : 0xFFFF);
    const std::uint32_t length = *d.U16(q + 8);
    const std::uint32_t data = q + kRecordFixedLength;
    if (!m.Holds(data, length)) return;  // its address may not all be here
    const bool v4 = type == kTypeA && length == 4;
    const bool v6 = type == kTypeAaaa && length == 16;
    if (rrClass == kClassIn && (v4 || v6)) {
      if (!asked.empty()) {
        d.LearnName(origin, d.frame + data, v6, asked);
      } else {
        const Name own = ReadName(d, m, p, *nameEnd);
        if (own.problem == NameProblem::None) d.LearnName(origin, d.frame + data, v6, own.text);
      }
    }
    p = data + length;
  }
}

}  // namespace qv::dns
