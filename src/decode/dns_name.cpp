// Domain names in DNS messages: labels, compression pointers and the ways a
// hostile message can make a name endless or reach outside the message.

#include <array>

#include "decode/dns_message.h"
#include "decode/text_format.h"

namespace qv::dns {

namespace {

// A name is at most 255 bytes in wire form: its labels, their length bytes
// and the final zero.
constexpr std::uint32_t kMaxNameLength = 255;
// Such a name has at most 127 labels; a walk that follows more pointers than
// that is not reading a name any more.
constexpr std::size_t kMaxPointers = 128;

constexpr std::uint8_t kLabelTypeMask = 0xC0;
constexpr std::uint8_t kPointer = 0xC0;

// Appends one label in presentation form: the dot and the backslash are
// escaped with a backslash, bytes that are not printable as \DDD.
void AppendLabel(std::string& out, const std::uint8_t* bytes, std::uint32_t length) {
  if (!out.empty()) out += '.';
  for (std::uint32_t i = 0; i < length; ++i) {
    const std::uint8_t c = bytes[i];
    if (c == '.' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += Format("\\%03u", c);
    }
  }
}

// After a name grew too long: where its bytes in place end, found by walking
// its remaining labels without reading them.
void FindEndInPlace(const PacketDecoder& d, Name& name, std::uint32_t pos, std::uint32_t limit) {
  while (pos < limit) {
    const std::uint8_t length = d.frame[pos];
    if (length == 0) {
      name.end = pos + 1;
      name.ended = true;
      return;
    }
    if ((length & kLabelTypeMask) == kPointer) {
      name.end = pos + 2 <= limit ? pos + 2 : limit;
      name.ended = pos + 2 <= limit;
      return;
    }
    if ((length & kLabelTypeMask) != 0) break;
    pos += 1u + length;
  }
  name.end = pos < limit ? pos + 1 : limit;
  name.ended = false;
}

const char* ProblemText(const Name& name) {
  switch (name.problem) {
    case NameProblem::None: return "";
    case NameProblem::Loop: return "compression loop";
    case NameProblem::TooManyPointers: return "too many compression pointers";
    case NameProblem::PointerPastEnd: return "compression pointer past the end of the message";
    case NameProblem::TooLong: return "name longer than 255 bytes";
    case NameProblem::ReservedLabel:
      return name.labelType == 0x40 ? "reserved label type 0x40" : "reserved label type 0x80";
    case NameProblem::CutShort: return "the message ends inside the name";
    case NameProblem::PastRecord: return "the name runs past its record's data";
  }
  return "";
}

}  // namespace

std::string Name::Shown() const {
  if (problem == NameProblem::None) return text.empty() ? std::string("<Root>") : text;
  std::string out = text;
  if (!out.empty()) out += ' ';
  out += '[';
  out += ProblemText(*this);
  out += ']';
  return out;
}

Name ReadName(const PacketDecoder& d, const Message& m, std::uint32_t at, std::uint32_t limit) {
  Name name;
  name.start = at;
  name.end = at;
  if (limit > m.end) limit = m.end;
  // Where each walk through labels began: the name itself and every pointer's
  // target. Coming back to one of them would go round for ever.
  std::array<std::uint32_t, kMaxPointers + 1> visited{};
  std::size_t visits = 0;
  visited[visits++] = at;

  std::uint32_t pos = at;
  std::uint32_t bound = limit;  // its own labels end before the limit; pointed-to ones before the message's end
  bool jumped = false;
  std::uint32_t wireLength = 1;  // the final zero
  const auto stopInPlace = [&](NameProblem problem, std::uint32_t end) {
    name.problem = problem;
    if (!jumped) {
      name.end = end;
      name.ended = false;
    }
  };
  for (;;) {
    if (pos >= bound) {
      stopInPlace(jumped || bound == m.end ? NameProblem::CutShort : NameProblem::PastRecord, bound);
      break;
    }
    const std::uint8_t length = d.frame[pos];
    if (length == 0) {
      if (!jumped) {
        name.end = pos + 1;
        name.ended = true;
      }
      break;
    }
    const std::uint8_t type = length & kLabelTypeMask;
    if (type == kPointer) {
      if (pos + 2 > bound) {
        stopInPlace(jumped || bound == m.end ? NameProblem::CutShort : NameProblem::PastRecord, bound);
        break;
      }
      if (!jumped) {
        name.end = pos + 2;
        name.ended = true;
      }
      const std::uint32_t target = m.start + ((static_cast<std::uint32_t>(length & 0x3F) << 8) | d.frame[pos + 1]);
      if (target >= m.end) {
        name.problem = NameProblem::PointerPastEnd;
        break;
      }
      bool seen = false;
      for (std::size_t i = 0; i < visits; ++i) seen = seen || visited[i] == target;
      if (seen) {
        name.problem = NameProblem::Loop;
        break;
      }
      if (visits == visited.size()) {
        name.problem = NameProblem::TooManyPointers;
        break;
      }
      visited[visits++] = target;
      jumped = true;
      bound = m.end;
      pos = target;
      continue;
    }
    if (type != 0) {
      name.labelType = type;
      stopInPlace(NameProblem::ReservedLabel, pos + 1);
      break;
    }
    if (wireLength + 1u + length > kMaxNameLength) {
      name.problem = NameProblem::TooLong;
      if (!jumped) FindEndInPlace(d, name, pos, limit);
      break;
    }
    if (pos + 1u + length > bound) {
      stopInPlace(jumped || bound == m.end ? NameProblem::CutShort : NameProblem::PastRecord, bound);
      break;
    }
    AppendLabel(name.text, d.frame + pos + 1, length);
    wireLength += 1u + length;
    pos += 1u + length;
  }
  return name;
}

NodeId AddNameLine(PacketDecoder& d, NodeId parent, const FieldInfo& f, const char* label, const Name& name) {
  if (!d.IsTree() || name.end <= name.start) return kNoNode;
  // The value is the name as read, not the bytes in place (which may be a
  // pointer to it).
  return AddValueLine(d, parent, f, std::string(label) + ": " + name.Shown(), name.start, name.end,
                      name.problem == NameProblem::None && name.text.empty() ? "<Root>" : name.text);
}

}  // namespace qv::dns
