// The helper's pcapng writer, read back with the program's own reader: the
// interface it describes, each frame's time and lengths, and a file that
// stops taking bytes (a full disk, a size limit) ending at its last whole
// block with counts that say so.

#include "capture_helper/pcapng_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "capture/savefile_reader.h"

namespace qv::helper {
namespace {

class TempPath {
 public:
  TempPath() {
    char path[] = "/tmp/qv-pcapng-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd >= 0) ::close(fd);
    path_ = path;
  }
  ~TempPath() { ::unlink(path_.c_str()); }
  const std::string& Path() const { return path_; }
  std::uint64_t Size() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  }

 private:
  std::string path_;
};

struct ReadBack {
  std::vector<SavefileFrame> frames;  // bytes point nowhere after the read
  std::vector<std::vector<std::uint8_t>> bytes;
  std::vector<SavefileInterface> interfaces;
  std::string damage;
};

ReadBack Read(const std::string& path) {
  ReadBack out;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    out.damage = "cannot open";
    return out;
  }
  SavefileReader reader(fd, {});
  SavefileFrame frame;
  for (;;) {
    const auto r = reader.Next(frame);
    if (r == SavefileReader::Result::End) break;
    if (r == SavefileReader::Result::Damaged) {
      out.damage = reader.Damage().what;
      break;
    }
    out.bytes.emplace_back(frame.bytes, frame.bytes + frame.header.capturedLength);
    frame.bytes = nullptr;
    out.frames.push_back(frame);
  }
  out.interfaces = reader.Interfaces();
  ::close(fd);
  return out;
}

pcap_pkthdr Header(long seconds, long fraction, std::uint32_t captured, std::uint32_t wire) {
  pcap_pkthdr h{};
  h.ts.tv_sec = seconds;
  h.ts.tv_usec = fraction;
  h.caplen = captured;
  h.len = wire;
  return h;
}

TEST(PcapngOutput, FramesReadBackWithTheirTimesAndLengths) {
  struct Case {
    bool nanoseconds;
    long fraction;          // what libpcap puts in tv_usec at that precision
    std::uint32_t expectNs;  // the fraction of the second the reader gives
  };
  for (const Case c : {Case{true, 123456789, 123456789u}, Case{false, 654321, 654321000u}}) {
    TempPath file;
    const int fd = ::open(file.Path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    PcapngOutput out;
    out.Begin(fd, InterfaceInfo{.linkType = 1, .snaplen = 96, .nanoseconds = c.nanoseconds, .name = "qv0"});
    std::vector<std::vector<std::uint8_t>> sent;
    for (std::uint32_t length : {60u, 61u, 62u, 63u, 96u}) {
      std::vector<std::uint8_t> bytes(length);
      for (std::uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + length);
      const pcap_pkthdr h = Header(1'700'000'000 + length, c.fraction, length, length == 96 ? 1514 : length);
      out.Add(h, bytes.data());
      sent.push_back(bytes);
    }
    EXPECT_EQ(out.Frames(), 0u) << "nothing counts before it is in the file";
    ASSERT_TRUE(out.Flush()) << out.Error();
    EXPECT_EQ(out.Frames(), 5u);
    EXPECT_EQ(out.FileBytes(), file.Size());
    EXPECT_EQ(out.Buffered(), 0u);

    const ReadBack back = Read(file.Path());
    EXPECT_EQ(back.damage, "");
    ASSERT_EQ(back.interfaces.size(), 1u);
    EXPECT_EQ(back.interfaces[0].linkType, 1);
    EXPECT_EQ(back.interfaces[0].snapshotLength, 96u);
    EXPECT_EQ(back.interfaces[0].name, "qv0");
    EXPECT_EQ(back.interfaces[0].unitsPerSecond, c.nanoseconds ? 1'000'000'000u : 1'000'000u);
    ASSERT_EQ(back.frames.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(back.bytes[i], sent[i]) << i;
      EXPECT_EQ(back.frames[i].header.seconds, 1'700'000'000u + sent[i].size()) << i;
      EXPECT_EQ(NanosecondsOf(back.frames[i].header), c.expectNs) << i;
      EXPECT_EQ(back.frames[i].header.wireLength, sent[i].size() == 96 ? 1514u : sent[i].size()) << i;
    }
  }
}

TEST(PcapngOutput, AFullDiskCountsNothingThatDidNotGoIn) {
  const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (fd < 0) GTEST_SKIP() << "no /dev/full here";
  PcapngOutput out;
  out.Begin(fd, InterfaceInfo{.linkType = 1, .snaplen = 100, .nanoseconds = true, .name = "lo"});
  std::vector<std::uint8_t> bytes(60, 0xAA);
  out.Add(Header(1, 2, 60, 60), bytes.data());
  EXPECT_FALSE(out.Flush());
  EXPECT_EQ(out.Frames(), 0u);
  EXPECT_EQ(out.FileBytes(), 0u);
  EXPECT_NE(out.Error().find("No space left"), std::string::npos) << out.Error();
}

// A size limit lets a write in part: the file is cut back to the last whole
// block, which is what the counts say, and the reader finds no damage.
TEST(PcapngOutput, AFileThatStopsMidBlockEndsAtItsLastWholeBlock) {
  TempPath file;
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);  // the write past the limit fails with EFBIG instead
    const rlimit limit{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const int fd = ::open(file.Path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    PcapngOutput out;
    out.Begin(fd, InterfaceInfo{.linkType = 1, .snaplen = 100, .nanoseconds = true, .name = "qv0"});
    std::vector<std::uint8_t> bytes(70, 0x55);
    for (int i = 0; i < 30; ++i) out.Add(Header(i, 0, 70, 70), bytes.data());
    const bool ok = out.Flush();
    const std::uint64_t counts[3] = {ok ? 1u : 0u, out.Frames(), out.FileBytes()};
    (void)!::write(report[1], counts, sizeof counts);
    _exit(0);
  }
  ::close(report[1]);
  std::uint64_t counts[3] = {};
  ASSERT_EQ(::read(report[0], counts, sizeof counts), static_cast<ssize_t>(sizeof counts));
  ::close(report[0]);
  int status = 0;
  ::waitpid(child, &status, 0);

  EXPECT_EQ(counts[0], 0u) << "the limit should have stopped the write";
  EXPECT_GT(counts[1], 0u);
  EXPECT_LT(counts[1], 30u);
  EXPECT_LE(counts[2], 1000u);
  EXPECT_EQ(file.Size(), counts[2]);
  const ReadBack back = Read(file.Path());
  EXPECT_EQ(back.damage, "");
  EXPECT_EQ(back.frames.size(), counts[1]);
}

}  // namespace
}  // namespace qv::helper
