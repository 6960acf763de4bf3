#pragma once
// The capture file the helper writes: pcapng in host byte order, one Section
// Header Block, one Interface Description Block, then an Enhanced Packet
// Block a frame. Blocks gather in a buffer and go to the file descriptor in
// one write when the capture loop flushes; the counts it reports are those
// of complete blocks in the file, so a reader that stops there never sees
// half a block.

#include <cstdint>
#include <string>
#include <vector>

struct pcap_pkthdr;

namespace qv::helper {

struct InterfaceInfo {
  std::uint32_t linkType = 0;
  std::uint32_t snaplen = 0;
  bool nanoseconds = true;  // if_tsresol 9, else 6 (microseconds)
  std::string name;
};

class PcapngOutput {
 public:
  // fd: open for writing; not owned until Begin(), owned after.
  PcapngOutput() = default;
  ~PcapngOutput();
  PcapngOutput(const PcapngOutput&) = delete;
  PcapngOutput& operator=(const PcapngOutput&) = delete;

  // Starts a file: takes the descriptor and buffers the section header and
  // interface blocks. A descriptor held before is closed.
  void Begin(int fd, const InterfaceInfo& info);

  // Buffers one frame.
  void Add(const pcap_pkthdr& header, const std::uint8_t* bytes);

  // Writes the buffer out. False when the file would not take it all (errno
  // kept in Error()); the file then ends at the last complete block that
  // went in (the rest is cut off when it can be) and the counts stay there.
  bool Flush();

  // Complete blocks in the file (not counting the buffer).
  std::uint64_t Frames() const { return writtenFrames_; }
  std::uint64_t FileBytes() const { return writtenBytes_; }
  std::size_t Buffered() const { return buffer_.size(); }
  const std::string& Error() const { return error_; }

  // Closes the file's descriptor (after a Flush).
  void Close();

 private:
  void EndBlock(std::size_t start);

  int fd_ = -1;
  bool nanoseconds_ = true;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::size_t> blockEnds_;     // offsets in buffer_ where a block ends
  std::vector<bool> blockIsFrame_;         // and whether that block is a frame
  std::uint64_t writtenFrames_ = 0;
  std::uint64_t writtenBytes_ = 0;
  std::string error_;
};

}  // namespace qv::helper
