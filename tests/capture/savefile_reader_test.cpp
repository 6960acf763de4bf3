// The capture-file reader on files built byte by byte: every pcap and pcapng
// variant it reads, every kind of damage it names, files cut anywhere, and
// the corpus read against libpcap.

#include "capture/savefile_reader.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "capture_file_builder.h"

namespace qv {
namespace {

using testing::CaptureBytes;
using testing::EnhancedPacket;
using testing::InterfaceDescription;
using testing::Option;
using testing::SectionHeader;

struct ReadFrame {
  FrameHeader header;
  int linkType = 0;
  std::uint32_t interface = 0;
  std::vector<std::uint8_t> bytes;
  std::uint64_t offset = 0;
  std::string comment;
  std::uint64_t Ns() const { return std::uint64_t{header.seconds} * 1000000000u + NanosecondsOf(header); }
};

struct ReadOut {
  std::vector<ReadFrame> frames;
  SavefileReader::Result last = SavefileReader::Result::End;
  SavefileReader::DamageReport damage;
  std::vector<SavefileInterface> interfaces;
  std::vector<std::string> sectionComments;
  std::vector<SavefileName> names;
  std::vector<DecryptionSecrets> secrets;
};

// Reads `bytes` from a memory file, as from a regular file: the first four
// bytes are handed in as already read, as the opener does.
ReadOut Read(const std::vector<std::uint8_t>& bytes) {
  const int fd = ::memfd_create("capture", MFD_CLOEXEC);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  const std::size_t head = std::min<std::size_t>(4, bytes.size());
  ::lseek(fd, static_cast<off_t>(head), SEEK_SET);
  SavefileReader reader(fd, {bytes.data(), head});
  ReadOut out;
  SavefileFrame f;
  for (;;) {
    out.last = reader.Next(f);
    if (out.last != SavefileReader::Result::Packet) break;
    ReadFrame r{f.header, f.linkType, f.interface, {f.bytes, f.bytes + f.header.capturedLength}, f.offset,
                std::string(f.comment)};
    // The frame lies where the reader says.
    EXPECT_LE(f.offset + f.header.capturedLength, bytes.size());
    EXPECT_EQ(0, std::memcmp(bytes.data() + f.offset, f.bytes, f.header.capturedLength));
    out.frames.push_back(std::move(r));
    for (SavefileName& n : reader.TakeNames()) out.names.push_back(std::move(n));
  }
  for (SavefileName& n : reader.TakeNames()) out.names.push_back(std::move(n));
  out.damage = reader.Damage();
  out.interfaces = reader.Interfaces();
  out.sectionComments = reader.SectionComments();
  out.secrets = reader.Secrets();
  ::close(fd);
  return out;
}

std::vector<std::uint8_t> TestFrame(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> f(n);
  for (std::size_t i = 0; i < n; ++i) f[i] = static_cast<std::uint8_t>(seed + i);
  return f;
}

TEST(SavefileReader, PcapVariants) {
  struct Case {
    const char* what;
    bool big;
    std::uint32_t magic;
    std::uint32_t fraction;
    std::uint64_t expectNs;  // of the first record
  };
  const Case cases[] = {
      {"little-endian microseconds", false, 0xA1B2C3D4, 123456, 123456000},
      {"big-endian microseconds", true, 0xA1B2C3D4, 123456, 123456000},
      {"little-endian nanoseconds", false, 0xA1B23C4D, 123456789, 123456789},
      {"big-endian nanoseconds", true, 0xA1B23C4D, 123456789, 123456789},
      {"modified format", false, 0xA1B2CD34, 5, 5000},
      {"modified format, big-endian", true, 0xA1B2CD34, 5, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CaptureBytes file = testing::PcapFile(c.big, c.magic, 65535, 113,
                                                {{1700000000, c.fraction, TestFrame(60, 1), 0},
                                                 {1700000001, 0, TestFrame(42, 9), 1500}});
    const ReadOut out = Read(file.Bytes());
    EXPECT_EQ(out.last, SavefileReader::Result::End);
    ASSERT_EQ(out.frames.size(), 2u);
    EXPECT_EQ(out.frames[0].linkType, 113);
    EXPECT_EQ(out.frames[0].Ns(), 1700000000ull * 1000000000u + c.expectNs);
    EXPECT_EQ(out.frames[0].bytes, TestFrame(60, 1));
    EXPECT_EQ(out.frames[1].header.wireLength, 1500u);
    EXPECT_EQ(out.frames[1].header.capturedLength, 42u);
  }
}

TEST(SavefileReader, PcapSnapshotLengthOfNoneOrTooLargeIsTheLargest) {
  for (const std::uint32_t snapshot : {0u, 262145u, 0xFFFFFFFFu}) {
    const ReadOut out = Read(testing::PcapFile(false, 0xA1B2C3D4, snapshot, 1, {{1, 0, TestFrame(70000, 3), 0}}).Bytes());
    EXPECT_EQ(out.last, SavefileReader::Result::End) << snapshot << ": " << out.damage.what;
    ASSERT_EQ(out.frames.size(), 1u);
    EXPECT_EQ(out.frames[0].bytes.size(), 70000u);
  }
}

// As Wireshark reads them; libpcap would cut them to the snapshot length.
TEST(SavefileReader, PcapRecordsLongerThanTheSnapshotAreReadWhole) {
  const ReadOut out = Read(testing::PcapFile(false, 0xA1B2C3D4, 100, 1, {{1, 0, TestFrame(101, 0), 0}}).Bytes());
  EXPECT_EQ(out.last, SavefileReader::Result::End) << out.damage.what;
  ASSERT_EQ(out.frames.size(), 1u);
  EXPECT_EQ(out.frames[0].bytes, TestFrame(101, 0));
}

TEST(SavefileReader, PcapFractionsPastASecondCarryOver) {
  const ReadOut out = Read(testing::PcapFile(false, 0xA1B2C3D4, 65535, 1, {{10, 2500000, TestFrame(14, 0), 0}}).Bytes());
  ASSERT_EQ(out.frames.size(), 1u);
  EXPECT_EQ(out.frames[0].header.seconds, 12u);
  EXPECT_EQ(out.frames[0].header.microseconds, 500000u);
}

TEST(SavefileReader, PcapDamageIsNamedWithItsByte) {
  const std::vector<std::uint8_t> good = TestFrame(60, 0);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> file;
    std::size_t kept;
    std::uint64_t offset;
    const char* says;
  };
  const std::size_t second = 24 + 16 + 60;  // where the second record starts
  std::vector<std::uint8_t> cutHeader = testing::PcapFile(false, 0xA1B2C3D4, 65535, 1, {{1, 0, good, 0}}).Bytes();
  cutHeader.insert(cutHeader.end(), 7, 0);
  std::vector<std::uint8_t> cutData =
      testing::PcapFile(false, 0xA1B2C3D4, 65535, 1, {{1, 0, good, 0}, {1, 0, good, 0}}).Bytes();
  cutData.resize(cutData.size() - 1);
  const Case cases[] = {
      {"more than the wire length",
       testing::PcapFile(false, 0xA1B2C3D4, 65535, 1, {{1, 0, good, 0}, {1, 0, good, 59}}).Bytes(), 1, second,
       "holds 60 bytes of a frame of 59"},
      {"beyond 256 KiB",
       testing::PcapFile(false, 0xA1B2C3D4, 0, 1, {{1, 0, good, 0}, {1, 0, {}, 300000, 300000}}).Bytes(), 1, second,
       "longer than any this program reads"},
      {"a record header cut short", cutHeader, 1, second, "a record header is cut short"},
      {"a record cut short", cutData, 1, second, "a record is cut short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadOut out = Read(c.file);
    EXPECT_EQ(out.last, SavefileReader::Result::Damaged);
    EXPECT_EQ(out.frames.size(), c.kept);
    EXPECT_EQ(out.damage.offset, c.offset);
    EXPECT_NE(out.damage.what.find(c.says), std::string::npos) << out.damage.what;
  }
}

TEST(SavefileReader, NotACaptureFile) {
  for (const std::vector<std::uint8_t>& file :
       {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0xA1}, std::vector<std::uint8_t>{'G', 'I', 'F', '8', '9'}}) {
    const ReadOut out = Read(file);
    EXPECT_EQ(out.last, SavefileReader::Result::Damaged);
    EXPECT_EQ(out.damage.offset, 0u);
  }
  EXPECT_EQ(Read({'G', 'I', 'F', '8'}).damage.what, "unknown file format");
}

// Two sections in opposite byte orders, interfaces of different link types
// and time resolutions, every packet block kind, names, statistics,
// secrets, comments, and blocks the reader does not know.
CaptureBytes RichPcapng() {
  CaptureBytes file;
  for (const bool big : {false, true}) {
    CaptureBytes s(big);
    s.Append(SectionHeader(big, {testing::TextOption(1, big ? "second section" : "first section")}));
    s.Append(InterfaceDescription(big, 1, 0,
                                  {testing::TextOption(2, "eth0"), testing::TextOption(3, "the uplink"),
                                   Option{9, {9}}}));  // nanoseconds
    s.Append(InterfaceDescription(big, 113, 96, {Option{9, {0x80 | 10}}, testing::U64Option(14, 100, big)}));
    s.Append(EnhancedPacket(big, 0, 1700000000123456789ull, TestFrame(60, 1), {testing::TextOption(1, "look here")}));
    s.Append(EnhancedPacket(big, 1, 3ull * 1024 + 512, TestFrame(44, 2)));  // 3.5 s in units of 1/1024 s, plus 100 s
    // A custom block, and a block type nobody knows.
    CaptureBytes custom(big);
    custom.U32(32473).Raw(TestFrame(10, 0));
    s.Append(testing::Block(big, 0x00000BAD, custom));
    s.Append(testing::Block(big, 0x12345, CaptureBytes(big).U32(7)));
    CaptureBytes names(big);
    names.U16(1).U16(4 + 9 + 6).Raw({192, 0, 2, 7}).Raw({'h', 'o', 's', 't', '.', 'o', 'r', 'g', 0})
        .Raw({'a', 'l', 'i', 'a', 's', 0}).Pad4();
    names.U16(2).U16(16 + 4).Raw(std::vector<std::uint8_t>(15, 0)).U8(1).Raw({'o', 'n', 'e', 0});
    names.U16(0).U16(0);
    s.Append(testing::Block(big, 4, names));
    CaptureBytes statistics(big);
    statistics.U32(0).U32(0).U32(0);
    s.Append(testing::Block(big, 5, statistics, {testing::U64Option(5, 7, big), testing::U64Option(7, 11, big)}));
    CaptureBytes secrets(big);
    secrets.U32(0x544c534b).U32(5).Raw({'k', 'e', 'y', 's', '\n'});
    s.Append(testing::Block(big, 10, secrets));
    s.Append(testing::ObsoletePacket(big, 1, 1024, TestFrame(20, 3)));
    s.Append(testing::SimplePacket(big, TestFrame(120, 4)));  // cut to the first interface's snapshot: none
    file.Append(s);
  }
  return file;
}

TEST(SavefileReader, PcapngSectionsInterfacesAndBlocks) {
  const ReadOut out = Read(RichPcapng().Bytes());
  ASSERT_EQ(out.last, SavefileReader::Result::End) << out.damage.what;
  ASSERT_EQ(out.frames.size(), 8u);
  for (int section = 0; section < 2; ++section) {
    SCOPED_TRACE(section);
    const ReadFrame* f = &out.frames[static_cast<std::size_t>(section) * 4];
    const std::uint32_t first = static_cast<std::uint32_t>(section) * 2;  // interfaces count over sections
    EXPECT_EQ(f[0].linkType, 1);
    EXPECT_EQ(f[0].interface, first);
    EXPECT_EQ(f[0].Ns(), 1700000000123456789ull);
    EXPECT_EQ(f[0].comment, "look here");
    EXPECT_EQ(f[0].bytes, TestFrame(60, 1));
    EXPECT_EQ(f[1].linkType, 113);
    EXPECT_EQ(f[1].interface, first + 1);
    EXPECT_EQ(f[1].Ns(), 103500000000ull);
    EXPECT_EQ(f[2].linkType, 113);  // the obsolete block's interface
    EXPECT_EQ(f[2].Ns(), 101000000000ull);
    EXPECT_EQ(f[3].linkType, 1);
    EXPECT_EQ(f[3].bytes, TestFrame(120, 4));
  }
  ASSERT_EQ(out.interfaces.size(), 4u);
  EXPECT_EQ(out.interfaces[0].name, "eth0");
  EXPECT_EQ(out.interfaces[0].description, "the uplink");
  EXPECT_EQ(out.interfaces[2].name, "eth0");
  EXPECT_EQ(out.interfaces[1].snapshotLength, 96u);
  EXPECT_EQ(out.interfaces[0].ifDrop, 7u);
  EXPECT_EQ(out.interfaces[2].osDrop, 11u);
  EXPECT_FALSE(out.interfaces[1].ifDrop);
  EXPECT_EQ(out.sectionComments, (std::vector<std::string>{"first section", "second section"}));
  ASSERT_EQ(out.names.size(), 6u);
  EXPECT_EQ(out.names[0].name, "host.org");
  EXPECT_EQ(out.names[1].name, "alias");
  EXPECT_FALSE(out.names[1].ipv6);
  EXPECT_EQ(out.names[1].address[3], 7);
  EXPECT_TRUE(out.names[2].ipv6);
  EXPECT_EQ(out.names[2].address[15], 1);
  ASSERT_EQ(out.secrets.size(), 2u);
  EXPECT_EQ(out.secrets[0].type, 0x544c534bu);
  EXPECT_EQ(out.secrets[0].data.size(), 5u);
}

TEST(SavefileReader, PcapngSimplePacketIsCutToTheSnapshot) {
  CaptureBytes file;
  file.Append(SectionHeader(false)).Append(InterfaceDescription(false, 1, 50));
  file.Append(testing::SimplePacket(false, TestFrame(80, 0), 1500));
  const ReadOut out = Read(file.Bytes());
  ASSERT_EQ(out.frames.size(), 1u);
  EXPECT_EQ(out.frames[0].header.capturedLength, 50u);
  EXPECT_EQ(out.frames[0].header.wireLength, 1500u);
}

TEST(SavefileReader, PcapngDamageIsNamedWithItsByte) {
  const CaptureBytes head = CaptureBytes().Append(SectionHeader(false)).Append(InterfaceDescription(false, 1, 0));
  const std::vector<std::uint8_t> packet = EnhancedPacket(false, 0, 1, TestFrame(40, 0)).Bytes();
  auto with = [&](const std::vector<std::uint8_t>& tail, bool firstPacket = true) {
    std::vector<std::uint8_t> f = head.Bytes();
    if (firstPacket) f.insert(f.end(), packet.begin(), packet.end());
    f.insert(f.end(), tail.begin(), tail.end());
    return f;
  };
  const std::uint64_t after = head.Size() + packet.size();
  std::vector<std::uint8_t> badTrailer = packet;
  badTrailer[badTrailer.size() - 4] ^= 4;
  std::vector<std::uint8_t> oddLength = packet;
  oddLength[4] = 13;
  std::vector<std::uint8_t> hugeLength = packet;
  hugeLength[7] = 0x7F;
  std::vector<std::uint8_t> cut = packet;
  cut.resize(cut.size() - 8);
  std::vector<std::uint8_t> overlong = packet;
  overlong[20] = 200;  // captured length beyond the block
  struct Case {
    const char* what;
    std::vector<std::uint8_t> file;
    std::size_t kept;
    std::uint64_t offset;
    const char* says;
  };
  const Case cases[] = {
      {"a trailer that differs", with(badTrailer), 1, after + packet.size() - 4, "differs from its length"},
      {"a length not a multiple of four", with(oddLength), 1, after + 4, "block length of 13"},
      {"a length beyond any block", with(hugeLength), 1, after + 4, "is not possible"},
      {"a block cut short", with(cut), 1, after, "a block is cut short"},
      {"a header cut short", with({6, 0, 0}), 1, after, "a block header is cut short"},
      {"a captured length past its block", with(overlong), 1, after, "runs past its block"},
      {"a missing interface", with(EnhancedPacket(false, 3, 1, TestFrame(4, 0)).Bytes()), 1, after,
       "names interface 3, and its section has 1"},
      {"a section without interfaces",
       CaptureBytes().Append(SectionHeader(false)).Append(EnhancedPacket(false, 0, 1, TestFrame(4, 0))).Bytes(), 0, 28,
       "before any interface"},
      {"no section header", EnhancedPacket(false, 0, 1, TestFrame(4, 0)).Bytes(), 0, 0, "unknown file format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadOut out = Read(c.file);
    EXPECT_EQ(out.last, SavefileReader::Result::Damaged);
    EXPECT_EQ(out.frames.size(), c.kept);
    EXPECT_EQ(out.damage.offset, c.offset);
    EXPECT_NE(out.damage.what.find(c.says), std::string::npos) << out.damage.what;
  }
}

// A file cut at any byte gives the frames of the blocks wholly before the
// cut: a cut between blocks is a shorter good file, any other is damage.
TEST(SavefileReader, FilesCutAnywhere) {
  const std::vector<std::uint8_t> pcapng = RichPcapng().Bytes();
  const std::vector<std::uint8_t> pcap =
      testing::PcapFile(true, 0xA1B23C4D, 0, 1, {{1, 0, TestFrame(33, 0), 0}, {2, 0, TestFrame(1, 0), 0}, {3, 0, {}, 0}})
          .Bytes();
  for (const std::vector<std::uint8_t>* whole : {&pcap, &pcapng}) {
    const ReadOut full = Read(*whole);
    ASSERT_EQ(full.last, SavefileReader::Result::End);
    for (std::size_t n = 0; n < whole->size(); ++n) {
      const std::vector<std::uint8_t> cut(whole->begin(), whole->begin() + static_cast<std::ptrdiff_t>(n));
      const ReadOut out = Read(cut);
      ASSERT_LE(out.frames.size(), full.frames.size()) << n;
      for (std::size_t i = 0; i < out.frames.size(); ++i) ASSERT_EQ(out.frames[i].bytes, full.frames[i].bytes) << n;
      if (out.last == SavefileReader::Result::End) {
        // Only at a block boundary, with every frame of the blocks before it.
        const bool boundary = out.frames.empty() || out.frames.back().offset + out.frames.back().bytes.size() <= n;
        ASSERT_TRUE(boundary) << n;
      } else {
        ASSERT_LE(out.damage.offset, n) << n;
      }
    }
  }
}

// A pipe gives its bytes in pieces of any size: the reader waits for each
// record whole.
TEST(SavefileReader, ReadsAPipeInSmallPieces) {
  const std::vector<std::uint8_t> file = RichPcapng().Bytes();
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::thread writer([&] {
    for (std::size_t at = 0; at < file.size(); at += 7) {
      const std::size_t n = std::min<std::size_t>(7, file.size() - at);
      EXPECT_EQ(::write(ends[1], file.data() + at, n), static_cast<ssize_t>(n));
    }
    ::close(ends[1]);
  });
  SavefileReader reader(ends[0], {});
  SavefileFrame f;
  std::size_t frames = 0;
  SavefileReader::Result r;
  while ((r = reader.Next(f)) == SavefileReader::Result::Packet) ++frames;
  writer.join();
  ::close(ends[0]);
  EXPECT_EQ(r, SavefileReader::Result::End) << reader.Damage().what;
  EXPECT_EQ(frames, 8u);
}

#ifdef QUORVANET_CORPUS_DIR
// Every corpus file reads as libpcap reads it: the same frames, lengths and
// time stamps.
TEST(SavefileReader, CorpusReadsAsLibpcapReadsIt) {
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(QUORVANET_CORPUS_DIR)) {
    if (entry.path().extension() != ".pcap" && entry.path().extension() != ".pcapng") continue;
    SCOPED_TRACE(entry.path().filename().string());
    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* p = pcap_open_offline_with_tstamp_precision(entry.path().c_str(), PCAP_TSTAMP_PRECISION_NANO, errbuf);
    if (p == nullptr) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const ReadOut out = Read(bytes);
    std::size_t i = 0;
    pcap_pkthdr* h = nullptr;
    const u_char* data = nullptr;
    int result;
    while ((result = pcap_next_ex(p, &h, &data)) == 1) {
      ASSERT_LT(i, out.frames.size()) << out.damage.what;
      const ReadFrame& f = out.frames[i++];
      // libpcap cuts a record longer than the snapshot length; here it is whole.
      if (f.header.capturedLength != h->caplen) {
        ASSERT_EQ(h->caplen, static_cast<bpf_u_int32>(pcap_snapshot(p)));
      }
      ASSERT_GE(f.header.capturedLength, h->caplen);
      ASSERT_EQ(f.header.wireLength, h->len);
      ASSERT_EQ(f.header.seconds, static_cast<std::uint32_t>(h->ts.tv_sec));
      ASSERT_EQ(NanosecondsOf(f.header), static_cast<std::uint32_t>(h->ts.tv_usec));
      ASSERT_EQ(0, std::memcmp(f.bytes.data(), data, h->caplen));
      ASSERT_EQ(f.linkType, pcap_datalink(p));
    }
    EXPECT_EQ(i, out.frames.size());
    // Where libpcap met damage, so did the reader.
    EXPECT_EQ(result == PCAP_ERROR, out.last == SavefileReader::Result::Damaged) << out.damage.what;
    pcap_close(p);
    ++files;
  }
  EXPECT_GT(files, 20u);
}
#endif

}  // namespace
}  // namespace qv
