#pragma once
// Reads capture files: libpcap's savefile ("pcap": both byte orders,
// microsecond and nanosecond time stamps, the old "modified" format with its
// longer record headers) and pcapng (sections in either byte order, several
// sections, interfaces of different link types and time resolutions,
// Enhanced, Simple and obsolete Packet Blocks, name resolution, interface
// statistics, decryption secrets and comments). Unknown and custom blocks
// are skipped by their length.
//
// The reader parses every block itself, so it always knows where each frame
// lies in the input: the packet buffer can leave the frames of a regular
// file there. Whatever a header claims, nothing is read past the bytes the
// input holds, and a length is checked before anything is allocated for it;
// a damaged input ends the read with the byte where the damage starts and
// what it is, after every frame before it.
//
// Used by one thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/input_window.h"
#include "capture/packet_record.h"

namespace qv {

// The largest frame a record may hold, and the snapshot length of a file
// that declares none or a larger one.
inline constexpr std::uint32_t kLargestRecord = 262144;

enum class SavefileFormat { Pcap, Pcapng };

// The magic numbers at the start of a pcap or pcapng file; none when `head`
// (at least four bytes) starts neither.
std::optional<SavefileFormat> SavefileFormatOf(std::span<const std::uint8_t> head);

// An interface of the file (pcap files have one).
struct SavefileInterface {
  int linkType = 1;
  std::uint32_t snapshotLength = kLargestRecord;
  std::string name;         // if_name, when given
  std::string description;  // if_description, when given
  std::uint64_t unitsPerSecond = 1000000;  // if_tsresol
  std::int64_t offsetSeconds = 0;          // if_tsoffset
  // The last Interface Statistics Block's counts, when it gave them.
  std::optional<std::uint64_t> ifDrop;  // isb_ifdrop
  std::optional<std::uint64_t> osDrop;  // isb_osdrop
};

// A name a Name Resolution Block gives for an address.
struct SavefileName {
  bool ipv6 = false;
  std::array<std::uint8_t, 16> address{};  // network order; IPv4 in the first four bytes
  std::string name;
};

// A Decryption Secrets Block, kept as it is.
struct DecryptionSecrets {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

struct SavefileFrame {
  FrameHeader header;
  int linkType = 1;
  std::uint32_t interface = 0;  // into Interfaces(), counted over all sections
  const std::uint8_t* bytes = nullptr;  // header.capturedLength bytes, valid until the next Next()
  std::uint64_t offset = 0;    // where the bytes lie in the input
  std::string_view comment;    // the packet's first opt_comment, valid as `bytes`
};

class SavefileReader {
 public:
  // Reads from `fd` (not owned), whose first bytes `alreadyRead` were taken
  // from it to recognise it.
  SavefileReader(int fd, std::span<const std::uint8_t> alreadyRead);

  enum class Result { Packet, End, Damaged };
  // The next frame into `frame` (Packet); End after the last one; Damaged
  // when the input is not a capture file or is damaged (Damage() says where
  // and how).
  Result Next(SavefileFrame& frame);

  struct DamageReport {
    std::uint64_t offset = 0;
    std::string what;
  };
  const DamageReport& Damage() const { return damage_; }
  // Whether the file's header (pcap) or first section header (pcapng) was
  // read whole: damage before it means the file cannot be opened at all.
  bool HeaderRead() const { return inSection_ || !interfaces_.empty(); }

  // What the blocks read so far said.
  const std::vector<SavefileInterface>& Interfaces() const { return interfaces_; }
  const std::vector<std::string>& SectionComments() const { return sectionComments_; }
  const std::vector<DecryptionSecrets>& Secrets() const { return secrets_; }
  // The names of Name Resolution Blocks read since the last call.
  std::vector<SavefileName> TakeNames() { return std::move(names_); }
  bool HasNames() const { return !names_.empty(); }

  // Reads stop at this input offset until it is raised (a file still being
  // written, up to its last complete block): at a block boundary there Next()
  // says End, and says more once the limit has moved on.
  void SetReadLimit(std::uint64_t offset) { input_.SetLimit(offset); }

  // Input bytes read so far, for progress.
  std::uint64_t Consumed() const { return input_.Consumed(); }

 private:
  bool Fail(std::uint64_t offset, std::string what);
  bool ReadStart();
  Result NextPcap(SavefileFrame& frame);
  Result NextPcapng(SavefileFrame& frame);
  // The pcapng block at the current offset, whose type and total length
  // are known and checked: sets up `frame` for a packet, takes in the
  // others. True for a packet.
  bool PcapngBlock(std::uint32_t type, std::uint32_t total, SavefileFrame& frame);
  bool SectionHeader();
  bool InterfaceDescription(std::span<const std::uint8_t> body, std::uint64_t at);
  bool EnhancedPacket(std::span<const std::uint8_t> body, std::uint64_t at, SavefileFrame& frame, bool obsolete);
  bool SimplePacket(std::span<const std::uint8_t> body, std::uint64_t at, SavefileFrame& frame);
  void NameResolution(std::span<const std::uint8_t> body);
  bool InterfaceStatistics(std::span<const std::uint8_t> body, std::uint64_t at);
  bool PacketFrame(std::uint32_t interface, std::uint64_t stamp, std::uint32_t captured, std::uint32_t wire,
                   std::uint64_t at, std::uint64_t bytesAt, SavefileFrame& frame);

  std::uint16_t U16(const std::uint8_t* p) const;
  std::uint32_t U32(const std::uint8_t* p) const;
  std::uint64_t U64(const std::uint8_t* p) const;

  InputWindow input_;
  std::optional<SavefileFormat> format_;
  bool started_ = false;
  bool swapped_ = false;  // the file's byte order is not this machine's
  // pcap
  std::uint32_t recordHeader_ = 16;
  bool nanoseconds_ = false;
  // pcapng: this section's interfaces start at sectionFirst_ in interfaces_
  std::size_t sectionFirst_ = 0;
  bool inSection_ = false;
  std::vector<SavefileInterface> interfaces_;
  std::vector<std::string> sectionComments_;
  std::vector<DecryptionSecrets> secrets_;
  std::vector<SavefileName> names_;
  std::uint64_t secretBytes_ = 0;
  DamageReport damage_;
  bool damaged_ = false;
};

}  // namespace qv
