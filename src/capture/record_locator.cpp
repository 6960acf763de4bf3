#include "capture/record_locator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace qv {

namespace {

constexpr std::uint32_t kVerifiedFrames = 16;
// How often a pcap file's reckoned position is compared with the stream's.
constexpr std::uint32_t kPositionCheckEvery = 65536;
constexpr std::uint32_t kPcapngPacketBlockAround = 32;  // type, length, interface, time (2), lengths (2), trailer
constexpr std::uint32_t kPcapngPacketBlockHead = 28;

std::uint32_t Padded4(std::uint32_t n) { return (n + 3u) & ~3u; }

std::uint32_t Word(const std::uint8_t* b) {
  std::uint32_t w;
  std::memcpy(&w, b, 4);
  return w;
}

// Link types whose frames libpcap hands over exactly as they are stored.
// It rewrites the pseudo-headers of USB and netfilter captures, and of Linux
// cooked captures carrying CAN, when the file's byte order is not the
// machine's; anything else unknown here is copied rather than trusted.
bool StoredAsRead(int linkType, bool swapped) {
  switch (linkType) {
    case DLT_NULL:
    case DLT_EN10MB:
    case DLT_RAW:
    case DLT_LOOP:
    case DLT_IPV4:
    case DLT_IPV6:
      return true;
    case DLT_LINUX_SLL:
    case DLT_LINUX_SLL2:
      return !swapped;
    default:
      return false;
  }
}

}  // namespace

RecordLocator::RecordLocator(pcap_t* handle, std::string path) {
  stream_ = pcap_file(handle);
  const int fd = stream_ != nullptr ? fileno(stream_) : -1;
  if (fd < 0) return;  // read from memory
  place_.file = FrameFile::Open(fd, std::move(path));
  if (!place_.file) return;  // a pipe or a terminal
  if (!StoredAsRead(pcap_datalink(handle), pcap_is_swapped(handle) != 0)) {
    GiveUp("link type " + std::to_string(pcap_datalink(handle)) + " is rewritten as it is read");
    return;
  }
  // The file must start where its descriptor starts (the header is there).
  std::uint8_t magic[4];
  if (!place_.file->Peek(0, magic)) {
    GiveUp("its header cannot be read again");
    return;
  }
  switch (Word(magic)) {
    case 0x0A0D0D0A:
      format_ = Format::Pcapng;
      break;
    case 0xA1B2C3D4:
    case 0xD4C3B2A1:
    case 0xA1B23C4D:  // nanosecond time stamps
    case 0x4D3CB2A1:
      format_ = Format::Pcap;
      break;
    case 0xA1B2CD34:  // the old "modified" format, with 24-byte record headers
    case 0x34CDB2A1:
      format_ = Format::Pcap;
      recordHeader_ = 24;
      break;
    default:
      GiveUp("its format is not known here");
      return;
  }
  snapshot_ = static_cast<std::uint32_t>(std::max(pcap_snapshot(handle), 0));
  before_ = ftello(stream_);
  // libpcap has read exactly the 24-byte header of a pcap file by now.
  if (before_ < 0 || (format_ == Format::Pcap && before_ != 24)) GiveUp("its position cannot be told");
}

void RecordLocator::GiveUp(const std::string& why) {
  if (place_.file && std::getenv("QUORVANET_DEBUG") != nullptr) {
    std::fprintf(stderr, "quorvanet: frames of %s are copied: %s\n", place_.file->Path().c_str(), why.c_str());
  }
  format_ = Format::None;
  place_.file.reset();
}

void RecordLocator::BeforeRecord() {
  // The position after the last record is that before this one; it is
  // only looked up again when it could not be reckoned.
  if (format_ != Format::None && before_ < 0) before_ = ftello(stream_);
}

bool RecordLocator::LocateInPcap(std::uint32_t length) {
  // Asking the stream costs a system call a record (glibc's ftello seeks),
  // as much as reading the record itself; so the position is reckoned:
  // the frame follows its record header, and the next record follows the
  // frame. Only a record that libpcap may have cut to the snapshot length
  // leaves the rest of its frame unread in the file, and there the stream
  // is asked.
  if (before_ < 0) return false;
  place_.offset = static_cast<std::uint64_t>(before_) + recordHeader_;
  if (length < snapshot_) {
    before_ = static_cast<off_t>(place_.offset + length);
    if (++sincePositionCheck_ >= kPositionCheckEvery) {
      sincePositionCheck_ = 0;
      if (ftello(stream_) != before_) {
        GiveUp("its reckoned positions drifted from the stream's");
        return false;
      }
    }
  } else {
    const off_t after = ftello(stream_);
    before_ = after;
    if (after < 0 || static_cast<std::uint64_t>(after) < place_.offset + length) return false;
  }
  return true;
}

bool RecordLocator::LocateInPcapng(std::uint32_t length) {
  const off_t after = ftello(stream_);
  const off_t before = before_;
  before_ = after;
  if (before < 0 || after < before) {
    before_ = -1;
    return false;
  }
  const auto consumed = static_cast<std::uint64_t>(after - before);
  if (consumed != std::uint64_t{kPcapngPacketBlockAround} + Padded4(length)) return false;
  // The length alone could also fit another block (a Simple Packet Block
  // padded beyond its frame): its header must say Enhanced Packet Block
  // of exactly that length, in either byte order.
  std::uint8_t head[8];
  if (!place_.file->Peek(static_cast<std::uint64_t>(before), head)) return false;
  const std::uint32_t type = Word(head);
  const std::uint32_t total = Word(head + 4);
  const bool plain = type == 6 && total == consumed;
  const bool swapped = type == __builtin_bswap32(6u) && __builtin_bswap32(total) == consumed;
  if (!plain && !swapped) return false;
  place_.offset = static_cast<std::uint64_t>(before) + kPcapngPacketBlockHead;
  return true;
}

const FramePlace* RecordLocator::Locate(const pcap_pkthdr& header, const std::uint8_t* bytes) {
  if (format_ == Format::None) return nullptr;
  const std::uint32_t length = header.caplen;
  if (!(format_ == Format::Pcap ? LocateInPcap(length) : LocateInPcapng(length))) return nullptr;
  if (verified_ < kVerifiedFrames) {
    ++verified_;
    const FrameFile::Bytes back = place_.file->Read(place_.offset, length);
    if (back.bytes.size() != length || (length != 0 && std::memcmp(back.bytes.data(), bytes, length) != 0)) {
      GiveUp("frame " + std::to_string(verified_) + " read back differs from the frame read");
      return nullptr;
    }
  }
  return &place_;
}

}  // namespace qv
