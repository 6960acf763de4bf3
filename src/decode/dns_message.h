#pragma once
// What the units of the DNS decoder share: the bounds of the message being
// decoded, its names (with compression pointers followed safely) and the
// decoding of each record's data. Only the DNS units include this.

#include <cstdint>
#include <string>

#include "decode/packet_decoder.h"

namespace qv::dns {

// The three protocols that share the message format; they differ in a few
// header bits and in the top bit of the class (mDNS).
enum class Flavour : std::uint8_t { Dns, Mdns, Llmnr };

// One message: from the first byte of its header to the end of what was
// captured of it (over TCP, at most the length that precedes it). Every read
// of the message stays inside; compression offsets count from `start`.
struct Message {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  Flavour flavour = Flavour::Dns;
  std::uint16_t flags = 0;  // the header's flags word (0 when not captured)

  bool Holds(std::uint32_t at, std::uint32_t width) const {
    return at >= start && static_cast<std::uint64_t>(at) + width <= end;
  }
};

// The data of one record: its declared length, cut at the message's end.
struct RecordData {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  std::uint32_t declared = 0;  // the record's data length

  bool Holds(std::uint32_t at, std::uint32_t width) const {
    return at >= start && static_cast<std::uint64_t>(at) + width <= end;
  }
  bool Complete() const { return end - start == declared; }
};

// Why a name ended before its last label.
enum class NameProblem : std::uint8_t {
  None,
  Loop,            // a compression pointer leads back to where the name has been
  TooManyPointers, // more pointers than any name of 255 bytes needs
  PointerPastEnd,  // a pointer to a byte beyond the message
  TooLong,         // more than 255 bytes of labels
  ReservedLabel,   // a label length with its top bits 01 or 10
  CutShort,        // the message ends inside the name
  PastRecord,      // a name in a record's data runs past that data
};

struct Name {
  std::string text;             // dotted, with unprintable bytes escaped; empty for the root
  std::uint32_t start = 0;
  std::uint32_t end = 0;        // one past its bytes in place (up to where it was read)
  bool ended = false;           // where it ends in place is known, so what follows can be read
  NameProblem problem = NameProblem::None;
  std::uint8_t labelType = 0;   // the reserved label type (0x40 or 0x80)

  // "www.example.com", "<Root>", or the labels read and why the name stops:
  // "www.example [compression loop]".
  std::string Shown() const;
};

// The name at `at`. Its own labels must end before `limit` (the message's or
// the record data's end); compression pointers may lead anywhere inside the
// message.
Name ReadName(const PacketDecoder& d, const Message& m, std::uint32_t at, std::uint32_t limit);

// Summary mode: reports the address of each A and AAAA record in the answer
// section of a standard response to the sink, with the name it answers (the
// first question's; for mDNS, and without a question, the record's own).
// Reads only what the message holds; a damaged entry ends the walk.
void LearnAnswerNames(PacketDecoder& d, const Message& m);

// The line "label: name" over the name's bytes in place, showing field `f`
// whose value is the name's text.
NodeId AddNameLine(PacketDecoder& d, NodeId parent, const FieldInfo& f, const char* label, const Name& name);

// "60 (1 minute)", "3661 (1 hour, 1 minute, 1 second)".
std::string SecondsText(std::uint32_t seconds);

// "A", "AAAA", "TYPE1234" for one without a mnemonic.
std::string TypeMnemonic(std::uint16_t type);
// The type line's text: "A (Host Address) (1)", "Unknown (1234)".
std::string TypeText(std::uint32_t type);
constexpr std::uint16_t kTypeOpt = 41;

// Adds the lines of a record's data under `record` and appends what the
// record line shows of it (", addr 192.0.2.1"). Bytes of the data that its
// type does not account for are shown as data.
void AddRecordData(PacketDecoder& d, const Message& m, NodeId record, std::uint16_t type, const RecordData& data);

// The OPT pseudo-record: its class and time to live carry the EDNS fields
// (payload size, extended RCODE, version, DO bit) at `at`, 6 bytes.
void AddOptHeader(PacketDecoder& d, const Message& m, NodeId record, std::uint32_t at);
// Its data, the EDNS options; returns where the decoded options end.
std::uint32_t AddOptOptions(PacketDecoder& d, NodeId record, const RecordData& data);

// SVCB and HTTPS: priority, target and the service parameters; returns where
// the decoded part ends.
std::uint32_t AddServiceBinding(PacketDecoder& d, const Message& m, NodeId record, const RecordData& data);

// A line over [start, end) that shows field `f` with the value bytes given
// (a name read through pointers, an address prefix filled up with zeros).
NodeId AddValueLine(PacketDecoder& d, NodeId parent, const FieldInfo& f, std::string text, std::uint32_t start,
                    std::uint32_t end, std::string value);

// The bits of a 16-bit flags word that `mask` selects, the others as dots:
// ".000 0... .... ....".
std::string BitPattern16(std::uint16_t mask, std::uint32_t value);

// The bytes in presentation form: printable ones as they are, others as \DDD.
std::string EscapedText(const std::uint8_t* bytes, std::uint32_t count);
// "1 byte", "12 bytes".
std::string ByteCount(std::uint32_t count);
// Lower-case hex digits without separators.
std::string HexText(const std::uint8_t* bytes, std::uint32_t count);

}  // namespace qv::dns
