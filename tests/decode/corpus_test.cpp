// Real captures written by other tools, some of them deliberately damaged:
// every frame decodes in both modes without a read beyond its captured bytes
// (the sanitizers watch each frame in a buffer of exactly its size), and the
// row holds the addresses and ports that the headers really carry.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "decode/link_types.h"
#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

namespace fs = std::filesystem;

std::vector<fs::path> Savefiles(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    const std::string ext = e.path().extension().string();
    if (e.is_regular_file() && (ext == ".pcap" || ext == ".pcapng" || ext == ".cap")) out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Frame {
  std::vector<std::uint8_t> bytes;  // exactly the captured bytes
  int linkType;
};

std::vector<Frame> ReadFrames(const fs::path& file, std::string& error) {
  std::vector<Frame> frames;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_open_offline(file.c_str(), errbuf);
  if (handle == nullptr) {
    error = errbuf;
    return frames;
  }
  const int linkType = pcap_datalink(handle);
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  int rc;
  while ((rc = pcap_next_ex(handle, &header, &data)) == 1) {
    frames.push_back({std::vector<std::uint8_t>(data, data + header->caplen), linkType});
  }
  if (rc == PCAP_ERROR) error = pcap_geterr(handle);
  pcap_close(handle);
  return frames;
}

std::uint16_t Be16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

// Where an IPv4 header starts, read from the link-layer header by hand.
std::optional<std::size_t> Ipv4HeaderAt(const Frame& f) {
  const std::vector<std::uint8_t>& b = f.bytes;
  switch (f.linkType) {
    case kLinkTypeEthernet:
      if (b.size() >= 14 && Be16(b, 12) == 0x0800) return 14;
      break;
    case kLinkTypeLinuxSll:
      if (b.size() >= 16 && Be16(b, 14) == 0x0800) return 16;
      break;
    case kLinkTypeRaw:
    case kLinkTypeRawBsdOs:
      if (!b.empty() && b[0] >> 4 == 4) return 0;
      break;
    case kLinkTypeIpv4:
      return 0;
    case kLinkTypeNull:
      // The writer's byte order: either way round, family 2.
      if (b.size() >= 4 && ((b[0] == 2 && b[1] == 0 && b[2] == 0 && b[3] == 0) ||
                            (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 2))) {
        return 4;
      }
      break;
    default:
      break;
  }
  return std::nullopt;
}

// The checks on one frame; the caller names the frame in the trace.
void CheckFrame(const Frame& f) {
  const std::vector<std::uint8_t>& b = f.bytes;
  const auto len = static_cast<std::uint32_t>(b.size());

  TreeDecode t;
  PacketDecoder tree(b, {f.linkType, nullptr, nullptr, EnabledDecoders::Classic()}, &t.tree, DecodeMode::Tree, &t.layerStarts, nullptr);
  tree.Decode();
  EXPECT_TRUE(RangesWithin(t.tree, len)) << t.tree.ToText();
  for (const std::int32_t start : t.layerStarts) {
    EXPECT_TRUE(start >= 0 && static_cast<std::uint32_t>(start) <= len) << start;
  }

  SummaryDecode s;
  PacketDecoder summary(b, {f.linkType, &s.sink, nullptr, EnabledDecoders::Classic()}, nullptr, DecodeMode::Summary, nullptr, &s.row);
  summary.Decode();

  // A Linux cooked header gives the sender's address as the source MAC.
  if (f.linkType == kLinkTypeLinuxSll && b.size() >= 12) {
    EXPECT_EQ(s.row.hasSrcMac, Be16(b, 4) == 6);
    if (s.row.hasSrcMac) {
      EXPECT_TRUE(std::equal(s.row.srcMac.begin(), s.row.srcMac.end(), b.begin() + 6));
    }
  }

  // A complete IPv4 header after the link-layer header.
  const std::optional<std::size_t> ipv4At = Ipv4HeaderAt(f);
  if (!ipv4At || b.size() < *ipv4At + 20) return;
  const std::size_t h = *ipv4At;
  const std::size_t headerLength = static_cast<std::size_t>(b[h] & 0x0F) * 4;
  if (headerLength < 20 || b.size() < h + headerLength) return;
  const std::uint8_t protocol = b[h + 9];
  const std::array<std::uint8_t, 4> src{b[h + 12], b[h + 13], b[h + 14], b[h + 15]};
  const std::array<std::uint8_t, 4> dst{b[h + 16], b[h + 17], b[h + 18], b[h + 19]};
  // An ICMP error or IP in IP carries a second IPv4 header of its own, which
  // writes its addresses and ports as well.
  if (protocol == 1 || protocol == 4) return;
  EXPECT_TRUE(s.row.hasSrcIp && !s.row.ipv6 && std::equal(src.begin(), src.end(), s.row.srcIp.begin()))
      << s.row.SrcIpText();
  EXPECT_TRUE(s.row.hasDstIp && !s.row.ipv6 && std::equal(dst.begin(), dst.end(), s.row.dstIp.begin()))
      << s.row.DstIpText();

  if (protocol != 6 && protocol != 17) {
    EXPECT_TRUE(s.sink.samples.empty());
    return;
  }
  const std::size_t p = h + headerLength;
  const bool hasSrcPort = b.size() >= p + 2;
  const bool hasDstPort = b.size() >= p + 4;
  EXPECT_EQ(s.row.hasSrcPort, hasSrcPort);
  EXPECT_EQ(s.row.hasDstPort, hasDstPort);
  if (hasSrcPort) {
    EXPECT_EQ(s.row.srcPort, Be16(b, p));
  }
  if (hasDstPort) {
    EXPECT_EQ(s.row.dstPort, Be16(b, p + 2));
  }
  if (!hasDstPort) {
    EXPECT_TRUE(s.sink.samples.empty());
    return;
  }
  ASSERT_EQ(s.sink.samples.size(), 1u);
  const IpConversationSample& sample = s.sink.samples[0];
  EXPECT_EQ(sample.source, src);
  EXPECT_EQ(sample.destination, dst);
  EXPECT_EQ(sample.totalLength, Be16(b, h + 2));
  EXPECT_EQ(sample.sourcePort, Be16(b, p));
  EXPECT_EQ(sample.destinationPort, Be16(b, p + 2));
}

TEST(Corpus, EveryFrameDecodesWithinItsBytesAndRowsMatchTheHeaders) {
  const fs::path dir = QUORVANET_CORPUS_DIR;
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no capture corpus at " << dir;
  const std::vector<fs::path> files = Savefiles(dir);
  ASSERT_FALSE(files.empty()) << dir;

  std::size_t total = 0;
  for (const fs::path& file : files) {
    std::string error;
    const std::vector<Frame> frames = ReadFrames(file, error);
    EXPECT_TRUE(error.empty()) << file.filename() << ": " << error;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      SCOPED_TRACE(file.filename().string() + " frame " + std::to_string(i + 1));
      // Both files whose link-type word carries an FCS length in its upper
      // bits are reported as Ethernet.
      EXPECT_EQ(frames[i].linkType, kLinkTypeEthernet);
      CheckFrame(frames[i]);
    }
    total += frames.size();
  }
  EXPECT_GT(total, 0u);
}

// Captures from Linux "any", tun devices and BSD loopback, some damaged.
TEST(Corpus, OtherLinkTypesDecodeWithinTheirBytesAndRowsMatchTheHeaders) {
  const fs::path dir = fs::path(QUORVANET_CORPUS_DIR) / "linktypes";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no link-type corpus at " << dir;
  const std::vector<fs::path> files = Savefiles(dir);
  ASSERT_FALSE(files.empty()) << dir;

  std::vector<int> linkTypesSeen;
  std::size_t withAddresses = 0;
  for (const fs::path& file : files) {
    std::string error;
    const std::vector<Frame> frames = ReadFrames(file, error);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      SCOPED_TRACE(file.filename().string() + " frame " + std::to_string(i + 1));
      if (std::find(linkTypesSeen.begin(), linkTypesSeen.end(), frames[i].linkType) == linkTypesSeen.end()) {
        linkTypesSeen.push_back(frames[i].linkType);
      }
      CheckFrame(frames[i]);
      // Every frame gets a tree, and one that carries IPv4 a row with addresses.
      TreeDecode t;
      PacketDecoder tree(frames[i].bytes, {frames[i].linkType, nullptr, nullptr, EnabledDecoders::Classic()}, &t.tree, DecodeMode::Tree,
                         &t.layerStarts, nullptr);
      tree.Decode();
      EXPECT_FALSE(t.tree.Empty());
      if (const auto at = Ipv4HeaderAt(frames[i]); at && frames[i].bytes.size() >= *at + 20) ++withAddresses;
    }
  }
  std::sort(linkTypesSeen.begin(), linkTypesSeen.end());
  // libpcap hands raw IP files (101 in the file) over as its DLT_RAW, 12 on Linux.
  EXPECT_EQ(linkTypesSeen, (std::vector<int>{kLinkTypeNull, kLinkTypeRawBsdOs, kLinkTypeLinuxSll, kLinkTypeIpv4}));
  EXPECT_GT(withAddresses, 50u);
}

}  // namespace
}  // namespace qv
