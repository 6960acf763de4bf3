#include "capture_helper/pcapng_output.h"

#include <pcap/pcap.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qv::helper {
namespace {

constexpr std::uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceDescription = 0x00000001;
constexpr std::uint32_t kEnhancedPacket = 0x00000006;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint16_t kOptEnd = 0;
constexpr std::uint16_t kOptIfName = 2;
constexpr std::uint16_t kOptIfTsresol = 9;

void Put(std::vector<std::uint8_t>& b, const void* p, std::size_t n) {
  const auto* bytes = static_cast<const std::uint8_t*>(p);
  b.insert(b.end(), bytes, bytes + n);
}
void Put16(std::vector<std::uint8_t>& b, std::uint16_t v) { Put(b, &v, 2); }
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) { Put(b, &v, 4); }
void Pad4(std::vector<std::uint8_t>& b) {
  while (b.size() % 4) b.push_back(0);
}

void PutOption(std::vector<std::uint8_t>& b, std::uint16_t code, const void* value, std::size_t length) {
  Put16(b, code);
  Put16(b, static_cast<std::uint16_t>(length));
  Put(b, value, length);
  Pad4(b);
}

}  // namespace

PcapngOutput::~PcapngOutput() { Close(); }

void PcapngOutput::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void PcapngOutput::EndBlock(std::size_t start) {
  // The block's total length, at its start and its end.
  const auto total = static_cast<std::uint32_t>(buffer_.size() - start + 4);
  std::memcpy(buffer_.data() + start + 4, &total, 4);
  Put32(buffer_, total);
}

void PcapngOutput::Begin(int fd, const InterfaceInfo& info) {
  Close();
  fd_ = fd;
  nanoseconds_ = info.nanoseconds;
  buffer_.clear();
  blockEnds_.clear();
  blockIsFrame_.clear();
  writtenFrames_ = 0;
  writtenBytes_ = 0;
  error_.clear();

  std::size_t start = buffer_.size();
  Put32(buffer_, kSectionHeader);
  Put32(buffer_, 0);
  Put32(buffer_, kByteOrderMagic);
  Put16(buffer_, 1);  // version 1.0
  Put16(buffer_, 0);
  const std::int64_t unknownLength = -1;
  Put(buffer_, &unknownLength, 8);
  EndBlock(start);
  blockEnds_.push_back(buffer_.size());
  blockIsFrame_.push_back(false);

  start = buffer_.size();
  Put32(buffer_, kInterfaceDescription);
  Put32(buffer_, 0);
  Put16(buffer_, static_cast<std::uint16_t>(info.linkType));
  Put16(buffer_, 0);
  Put32(buffer_, info.snaplen);
  const std::string name = info.name.substr(0, 255);
  if (!name.empty()) PutOption(buffer_, kOptIfName, name.data(), name.size());
  const std::uint8_t resolution = info.nanoseconds ? 9 : 6;
  PutOption(buffer_, kOptIfTsresol, &resolution, 1);
  Put16(buffer_, kOptEnd);
  Put16(buffer_, 0);
  EndBlock(start);
  blockEnds_.push_back(buffer_.size());
  blockIsFrame_.push_back(false);
}

void PcapngOutput::Add(const pcap_pkthdr& header, const std::uint8_t* bytes) {
  const std::size_t start = buffer_.size();
  const std::uint64_t fraction = static_cast<std::uint64_t>(header.ts.tv_usec);
  const std::uint64_t units = static_cast<std::uint64_t>(header.ts.tv_sec) * (nanoseconds_ ? 1'000'000'000ull : 1'000'000ull) + fraction;
  Put32(buffer_, kEnhancedPacket);
  Put32(buffer_, 0);
  Put32(buffer_, 0);  // interface 0
  Put32(buffer_, static_cast<std::uint32_t>(units >> 32));
  Put32(buffer_, static_cast<std::uint32_t>(units));
  Put32(buffer_, header.caplen);
  Put32(buffer_, header.len);
  Put(buffer_, bytes, header.caplen);
  Pad4(buffer_);
  EndBlock(start);
  blockEnds_.push_back(buffer_.size());
  blockIsFrame_.push_back(true);
}

bool PcapngOutput::Flush() {
  std::size_t done = 0;
  bool ok = true;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    error_ = n < 0 ? std::strerror(errno) : "the file took no more bytes";
    ok = false;
    break;
  }
  // Count the blocks that went in whole.
  std::size_t complete = 0;
  for (std::size_t i = 0; i < blockEnds_.size() && blockEnds_[i] <= done; ++i) {
    complete = blockEnds_[i];
    if (blockIsFrame_[i]) ++writtenFrames_;
  }
  if (!ok && complete < done) {
    // Leave no half block behind for a reader that goes by the file's size.
    if (::ftruncate(fd_, static_cast<off_t>(writtenBytes_ + complete)) == 0) {
      ::lseek(fd_, static_cast<off_t>(writtenBytes_ + complete), SEEK_SET);
    }
  }
  writtenBytes_ += complete;
  buffer_.clear();
  blockEnds_.clear();
  blockIsFrame_.clear();
  return ok;
}

}  // namespace qv::helper
