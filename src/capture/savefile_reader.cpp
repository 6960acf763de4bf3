#include "capture/savefile_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "capture/link_type_numbers.h"
#include "capture/pcapng_options.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr std::uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint32_t kInterfaceDescription = 1;
constexpr std::uint32_t kObsoletePacket = 2;
constexpr std::uint32_t kSimplePacket = 3;
constexpr std::uint32_t kNameResolution = 4;
constexpr std::uint32_t kInterfaceStatistics = 5;
constexpr std::uint32_t kEnhancedPacket = 6;
constexpr std::uint32_t kDecryptionSecrets = 10;

constexpr std::uint16_t kOptComment = 1;
// The names one Name Resolution Block may give; the host-name cache keeps
// far fewer.
constexpr std::size_t kNamesPerBlock = 65536;
// What the decryption secrets of one file may hold in all.
constexpr std::uint64_t kSecretBytes = 16u << 20;

std::uint32_t Padded4(std::uint32_t n) { return (n + 3u) & ~3u; }

std::uint32_t RawU32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

__extension__ typedef unsigned __int128 Wide;

}  // namespace

std::optional<SavefileFormat> SavefileFormatOf(std::span<const std::uint8_t> head) {
  if (head.size() < 4) return std::nullopt;
  switch (RawU32(head.data())) {
    case kSectionHeader:
      return SavefileFormat::Pcapng;
    case 0xA1B2C3D4:
    case 0xD4C3B2A1:
    case 0xA1B23C4D:
    case 0x4D3CB2A1:
    case 0xA1B2CD34:
    case 0x34CDB2A1:
      return SavefileFormat::Pcap;
    default:
      return std::nullopt;
  }
}

SavefileReader::SavefileReader(int fd, std::span<const std::uint8_t> alreadyRead) : input_(fd, alreadyRead) {}

std::uint16_t SavefileReader::U16(const std::uint8_t* p) const {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return swapped_ ? __builtin_bswap16(v) : v;
}
std::uint32_t SavefileReader::U32(const std::uint8_t* p) const {
  const std::uint32_t v = RawU32(p);
  return swapped_ ? __builtin_bswap32(v) : v;
}
std::uint64_t SavefileReader::U64(const std::uint8_t* p) const {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return swapped_ ? __builtin_bswap64(v) : v;
}

bool SavefileReader::Fail(std::uint64_t offset, std::string what) {
  damaged_ = true;
  damage_.offset = offset;
  // A read that failed is not damage of the file: its reason says more.
  damage_.what = input_.Failure().empty() ? std::move(what) : input_.Failure();
  return false;
}

bool SavefileReader::ReadStart() {
  started_ = true;
  if (!input_.Ensure(4)) return Fail(0, "the file is shorter than a capture file's header");
  format_ = SavefileFormatOf({input_.Here(), 4});
  if (!format_) return Fail(0, "unknown file format");
  if (*format_ == SavefileFormat::Pcapng) return true;  // the section header is read as a block

  if (!input_.Ensure(24)) return Fail(0, "the file header is cut short");
  const std::uint8_t* h = input_.Here();
  const std::uint32_t magic = RawU32(h);
  swapped_ = magic == 0xD4C3B2A1 || magic == 0x4D3CB2A1 || magic == 0x34CDB2A1;
  nanoseconds_ = magic == 0xA1B23C4D || magic == 0x4D3CB2A1;
  if (magic == 0xA1B2CD34 || magic == 0x34CDB2A1) recordHeader_ = 24;
  const std::uint16_t major = U16(h + 4);
  if (major != 2) return Fail(4, Format("pcap version %u.%u is not known", major, U16(h + 6)));
  SavefileInterface interface;
  interface.snapshotLength = U32(h + 16);
  if (interface.snapshotLength == 0 || interface.snapshotLength > kLargestRecord) {
    interface.snapshotLength = kLargestRecord;
  }
  // The upper bits carry the frame check sequence's length, not the type.
  interface.linkType = LinkTypeFromFile(static_cast<int>(U32(h + 20) & 0x03FFFFFF));
  interface.unitsPerSecond = nanoseconds_ ? 1000000000 : 1000000;
  interfaces_.push_back(std::move(interface));
  input_.Advance(24);
  return true;
}

SavefileReader::Result SavefileReader::Next(SavefileFrame& frame) {
  if (damaged_) return Result::Damaged;
  if (!started_ && !ReadStart()) return Result::Damaged;
  return *format_ == SavefileFormat::Pcap ? NextPcap(frame) : NextPcapng(frame);
}

SavefileReader::Result SavefileReader::NextPcap(SavefileFrame& frame) {
  const std::uint64_t at = input_.Offset();
  if (!input_.Ensure(recordHeader_)) {
    if (input_.Available() == 0 && input_.Failure().empty()) return Result::End;
    Fail(at, "a record header is cut short");
    return Result::Damaged;
  }
  const std::uint8_t* h = input_.Here();
  const SavefileInterface& interface = interfaces_.front();
  std::uint32_t seconds = U32(h);
  std::uint32_t fraction = U32(h + 4);
  const std::uint32_t captured = U32(h + 8);
  const std::uint32_t wire = U32(h + 12);
  if (captured > kLargestRecord) {
    Fail(at, Format("a record of %u bytes is longer than any this program reads (%u)", captured, kLargestRecord));
    return Result::Damaged;
  }
  // A record longer than the file's snapshot length (within the largest)
  // is read whole, as Wireshark reads it: real files have such records, and
  // their bytes are there. libpcap would cut them to the snapshot length.
  if (captured > wire) {
    Fail(at, Format("a record holds %u bytes of a frame of %u", captured, wire));
    return Result::Damaged;
  }
  if (!input_.Ensure(recordHeader_ + captured)) {
    Fail(at, "a record is cut short");
    return Result::Damaged;
  }
  h = input_.Here();
  // A fraction of a second beyond a second is carried over, as writers
  // that did not normalise their time stamps meant it.
  const std::uint32_t perSecond = nanoseconds_ ? 1000000000u : 1000000u;
  seconds += fraction / perSecond;
  fraction %= perSecond;
  const std::uint32_t ns = nanoseconds_ ? fraction : fraction * 1000u;
  frame.header.seconds = seconds;
  frame.header.microseconds = ns / 1000u;
  frame.header.extraNanoseconds = static_cast<std::uint16_t>(ns % 1000u);
  frame.header.capturedLength = captured;
  frame.header.wireLength = wire;
  frame.linkType = interface.linkType;
  frame.interface = 0;
  frame.bytes = h + recordHeader_;
  frame.offset = at + recordHeader_;
  frame.comment = {};
  input_.Advance(recordHeader_ + captured);
  return Result::Packet;
}

SavefileReader::Result SavefileReader::NextPcapng(SavefileFrame& frame) {
  for (;;) {
    const std::uint64_t at = input_.Offset();
    if (!input_.Ensure(8)) {
      if (input_.Available() == 0 && input_.Failure().empty() && inSection_) return Result::End;
      Fail(at, inSection_ ? "a block header is cut short" : "the section header is cut short");
      return Result::Damaged;
    }
    std::uint32_t type = RawU32(input_.Here());
    if (type == kSectionHeader) {
      // The byte order of the section, and so of its own length, is that
      // of its byte-order magic.
      if (!input_.Ensure(12)) {
        Fail(at, "the section header is cut short");
        return Result::Damaged;
      }
      const std::uint32_t bom = RawU32(input_.Here() + 8);
      if (bom != kByteOrderMagic && bom != __builtin_bswap32(kByteOrderMagic)) {
        Fail(at + 8, "the section's byte-order magic is not known");
        return Result::Damaged;
      }
      swapped_ = bom != kByteOrderMagic;
    } else if (!inSection_) {
      Fail(at, "the file does not start with a section header");
      return Result::Damaged;
    } else {
      type = U32(input_.Here());
    }
    const std::uint32_t total = U32(input_.Here() + 4);
    const std::uint32_t least = type == kSectionHeader ? 28 : 12;
    if (total < least || total % 4 != 0 || total > InputWindow::kLargest) {
      Fail(at + 4, Format("a block length of %u is not possible", total));
      return Result::Damaged;
    }
    const bool known = type == kSectionHeader || type == kInterfaceDescription || type == kObsoletePacket ||
                       type == kSimplePacket || type == kNameResolution || type == kInterfaceStatistics ||
                       type == kEnhancedPacket || type == kDecryptionSecrets;
    if (!known) {
      // Read through, never held whole: only its trailer is looked at.
      if (!input_.Skip(total - 4) || !input_.Ensure(4)) {
        Fail(at, "a block is cut short");
        return Result::Damaged;
      }
      const std::uint32_t trailer = U32(input_.Here());
      if (trailer != total) {
        Fail(input_.Offset(), Format("the block's length at its end (%u) differs from its length at its start (%u)",
                                     trailer, total));
        return Result::Damaged;
      }
      input_.Advance(4);
      continue;
    }
    if (!input_.Ensure(total)) {
      Fail(at, "a block is cut short");
      return Result::Damaged;
    }
    const std::uint32_t trailer = U32(input_.Here() + total - 4);
    if (trailer != total) {
      Fail(at + total - 4,
           Format("the block's length at its end (%u) differs from its length at its start (%u)", trailer, total));
      return Result::Damaged;
    }
    const bool packet = PcapngBlock(type, total, frame);
    if (damaged_) return Result::Damaged;
    input_.Advance(total);
    if (packet) return Result::Packet;
  }
}

bool SavefileReader::PcapngBlock(std::uint32_t type, std::uint32_t total, SavefileFrame& frame) {
  const std::uint64_t at = input_.Offset();
  const std::span<const std::uint8_t> body(input_.Here() + 8, total - 12);
  switch (type) {
    case kSectionHeader:
      SectionHeader();
      return false;
    case kInterfaceDescription:
      InterfaceDescription(body, at);
      return false;
    case kEnhancedPacket:
      return EnhancedPacket(body, at, frame, false);
    case kObsoletePacket:
      return EnhancedPacket(body, at, frame, true);
    case kSimplePacket:
      return SimplePacket(body, at, frame);
    case kNameResolution:
      NameResolution(body);
      return false;
    case kInterfaceStatistics:
      InterfaceStatistics(body, at);
      return false;
    case kDecryptionSecrets:
      if (body.size() >= 8) {
        const std::uint32_t length = U32(body.data() + 4);
        if (length <= body.size() - 8 && secretBytes_ + length <= kSecretBytes) {
          secretBytes_ += length;
          secrets_.push_back({U32(body.data()), {body.begin() + 8, body.begin() + 8 + length}});
        }
      }
      return false;
    default:
      return false;
  }
}

bool SavefileReader::SectionHeader() {
  const std::uint64_t at = input_.Offset();
  const std::uint8_t* h = input_.Here();
  const std::uint16_t major = U16(h + 12);
  if (major != 1) return Fail(at + 12, Format("pcapng version %u.%u is not known", major, U16(h + 14)));
  // A new section numbers its interfaces from 0 again.
  inSection_ = true;
  sectionFirst_ = interfaces_.size();
  const std::uint32_t total = U32(h + 4);
  ForEachOption({h + 24, total - 28}, swapped_, [&](std::uint16_t code, std::span<const std::uint8_t> value) {
    if (code == kOptComment) sectionComments_.push_back(OptionText(value));
  });
  return true;
}

bool SavefileReader::InterfaceDescription(std::span<const std::uint8_t> body, std::uint64_t at) {
  if (body.size() < 8) return Fail(at, "an interface description is cut short");
  SavefileInterface interface;
  interface.linkType = LinkTypeFromFile(U16(body.data()));
  interface.snapshotLength = U32(body.data() + 4);
  if (interface.snapshotLength == 0 || interface.snapshotLength > kLargestRecord) {
    interface.snapshotLength = kLargestRecord;
  }
  bool resolutionOk = true;
  ForEachOption(body.subspan(8), swapped_, [&](std::uint16_t code, std::span<const std::uint8_t> value) {
    switch (code) {
      case 2:  // if_name
        interface.name = OptionText(value);
        break;
      case 3:  // if_description
        interface.description = OptionText(value);
        break;
      case 9:  // if_tsresol: a negative power of 10, or of 2 with the top bit set
        if (value.size() >= 1) {
          const std::uint8_t r = value[0];
          const unsigned power = r & 0x7F;
          if ((r & 0x80) != 0 ? power > 63 : power > 19) {
            resolutionOk = false;
          } else if ((r & 0x80) != 0) {
            interface.unitsPerSecond = std::uint64_t{1} << power;
          } else {
            interface.unitsPerSecond = 1;
            for (unsigned i = 0; i < power; ++i) interface.unitsPerSecond *= 10;
          }
        }
        break;
      case 14:  // if_tsoffset, in seconds
        if (value.size() >= 8) interface.offsetSeconds = static_cast<std::int64_t>(U64(value.data()));
        break;
      default:
        break;
    }
  });
  if (!resolutionOk) {
    return Fail(at, Format("interface %zu has a time resolution finer than any this program reads",
                           interfaces_.size() - sectionFirst_));
  }
  interfaces_.push_back(std::move(interface));
  return true;
}

bool SavefileReader::PacketFrame(std::uint32_t interface, std::uint64_t stamp, std::uint32_t captured,
                                 std::uint32_t wire, std::uint64_t at, std::uint64_t bytesAt, SavefileFrame& frame) {
  const std::size_t inSection = interfaces_.size() - sectionFirst_;
  if (interface >= inSection) {
    if (inSection == 0) return Fail(at, "a packet comes before any interface of its section");
    return Fail(at, Format("a packet names interface %u, and its section has %zu", interface, inSection));
  }
  if (captured > kLargestRecord) {
    return Fail(at, Format("a packet of %u bytes is longer than any this program reads (%u)", captured,
                           kLargestRecord));
  }
  const SavefileInterface& i = interfaces_[sectionFirst_ + interface];
  const std::uint64_t units = i.unitsPerSecond;
  const std::uint64_t whole = stamp / units;
  const std::uint64_t fraction = stamp % units;
  // The usual resolutions without a wide division.
  const auto ns = static_cast<std::uint32_t>(units == 1000000      ? fraction * 1000u
                                             : units == 1000000000 ? fraction
                                                                   : static_cast<Wide>(fraction) * 1000000000u / units);
  // Unsigned arithmetic: a hostile offset or stamp wraps instead of overflowing.
  frame.header.seconds = static_cast<std::uint32_t>(whole + static_cast<std::uint64_t>(i.offsetSeconds));
  frame.header.microseconds = ns / 1000u;
  frame.header.extraNanoseconds = static_cast<std::uint16_t>(ns % 1000u);
  frame.header.capturedLength = captured;
  frame.header.wireLength = wire;
  frame.linkType = i.linkType;
  frame.interface = static_cast<std::uint32_t>(sectionFirst_ + interface);
  frame.offset = bytesAt;
  frame.bytes = input_.Here() + (bytesAt - at);
  frame.comment = {};
  return true;
}

bool SavefileReader::EnhancedPacket(std::span<const std::uint8_t> body, std::uint64_t at, SavefileFrame& frame,
                                    bool obsolete) {
  if (body.size() < 20) return Fail(at, "a packet block is cut short");
  const std::uint8_t* b = body.data();
  const std::uint32_t interface = obsolete ? U16(b) : U32(b);
  const std::uint64_t stamp = (std::uint64_t{U32(b + 4)} << 32) | U32(b + 8);
  const std::uint32_t captured = U32(b + 12);
  const std::uint32_t wire = U32(b + 16);
  if (captured > body.size() - 20 || Padded4(captured) > body.size() - 20) {
    return Fail(at, Format("a packet's captured length of %u runs past its block", captured));
  }
  if (!PacketFrame(interface, stamp, captured, wire, at, at + 28, frame)) return false;
  ForEachOption(body.subspan(20 + Padded4(captured)), swapped_,
                [&](std::uint16_t code, std::span<const std::uint8_t> value) {
                  if (code == kOptComment && frame.comment.empty()) {
                    frame.comment = {reinterpret_cast<const char*>(value.data()), value.size()};
                  }
                });
  return true;
}

bool SavefileReader::SimplePacket(std::span<const std::uint8_t> body, std::uint64_t at, SavefileFrame& frame) {
  if (body.size() < 4) return Fail(at, "a packet block is cut short");
  const std::uint32_t wire = U32(body.data());
  // The frame is the block's rest, up to the wire length and the first
  // interface's snapshot length.
  std::uint32_t captured = std::min<std::uint32_t>(wire, static_cast<std::uint32_t>(body.size() - 4));
  if (interfaces_.size() > sectionFirst_) {
    captured = std::min(captured, interfaces_[sectionFirst_].snapshotLength);
  }
  return PacketFrame(0, 0, captured, wire, at, at + 12, frame);
}

void SavefileReader::NameResolution(std::span<const std::uint8_t> body) {
  std::size_t kept = 0;
  while (body.size() >= 4) {
    const std::uint16_t type = U16(body.data());
    const std::uint16_t length = U16(body.data() + 2);
    if (type == 0 || length > body.size() - 4) break;  // the end, or a record that runs past the block
    const std::span<const std::uint8_t> value = body.subspan(4, length);
    const std::size_t width = type == 1 ? 4 : type == 2 ? 16 : 0;
    if (width != 0 && value.size() > width) {
      // The address, then one or more names, each ended by a zero byte.
      std::span<const std::uint8_t> rest = value.subspan(width);
      while (!rest.empty() && kept < kNamesPerBlock) {
        const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
        const std::size_t n = static_cast<std::size_t>(end - rest.begin());
        if (n > 0) {
          SavefileName name;
          name.ipv6 = type == 2;
          std::copy_n(value.begin(), width, name.address.begin());
          name.name.assign(reinterpret_cast<const char*>(rest.data()), n);
          names_.push_back(std::move(name));
          ++kept;
        }
        rest = rest.subspan(std::min(n + 1, rest.size()));
      }
    }
    body = body.subspan(4 + std::min<std::size_t>(Padded4(length), body.size() - 4));
  }
}

bool SavefileReader::InterfaceStatistics(std::span<const std::uint8_t> body, std::uint64_t at) {
  if (body.size() < 12) return Fail(at, "an interface statistics block is cut short");
  const std::uint32_t interface = U32(body.data());
  const std::size_t inSection = interfaces_.size() - sectionFirst_;
  if (interface >= inSection) {
    return Fail(at, Format("interface statistics name interface %u, and the section has %zu", interface, inSection));
  }
  SavefileInterface& i = interfaces_[sectionFirst_ + interface];
  ForEachOption(body.subspan(12), swapped_, [&](std::uint16_t code, std::span<const std::uint8_t> value) {
    if (value.size() < 8) return;
    if (code == 5) i.ifDrop = U64(value.data());  // isb_ifdrop
    if (code == 7) i.osDrop = U64(value.data());  // isb_osdrop
  });
  return true;
}

}  // namespace qv
