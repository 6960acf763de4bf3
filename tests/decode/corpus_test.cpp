// Real captures written by other tools, some of them deliberately damaged:
// every frame decodes in both modes without a read beyond its captured bytes
// (the sanitizers watch each frame in a buffer of exactly its size), and the
// row holds the addresses and ports that the headers really carry.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

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

// The checks on one frame; the caller names the frame in the trace.
void CheckFrame(const Frame& f) {
  const std::vector<std::uint8_t>& b = f.bytes;
  const auto len = static_cast<std::uint32_t>(b.size());

  TreeDecode t;
  PacketDecoder tree(b, {f.linkType, nullptr, nullptr}, &t.tree, DecodeMode::Tree, &t.layerStarts, nullptr);
  tree.Decode();
  EXPECT_TRUE(RangesWithin(t.tree, len)) << t.tree.ToText();
  for (const std::int32_t start : t.layerStarts) {
    EXPECT_TRUE(start >= 0 && static_cast<std::uint32_t>(start) <= len) << start;
  }

  SummaryDecode s;
  PacketDecoder summary(b, {f.linkType, &s.sink, nullptr}, nullptr, DecodeMode::Summary, nullptr, &s.row);
  summary.Decode();

  // Ethernet II carrying a complete IPv4 header.
  constexpr std::size_t h = 14;
  if (f.linkType != kLinkTypeEthernet || b.size() < h + 20 || Be16(b, 12) != 0x0800) return;
  const std::size_t headerLength = static_cast<std::size_t>(b[h] & 0x0F) * 4;
  if (headerLength < 20 || b.size() < h + headerLength) return;
  const std::uint8_t protocol = b[h + 9];
  const std::array<std::uint8_t, 4> src{b[h + 12], b[h + 13], b[h + 14], b[h + 15]};
  const std::array<std::uint8_t, 4> dst{b[h + 16], b[h + 17], b[h + 18], b[h + 19]};
  // An ICMP error or IP in IP carries a second IPv4 header of its own, which
  // writes its addresses and ports as well.
  if (protocol == 1 || protocol == 4) return;
  EXPECT_TRUE(s.row.hasSrcIp && s.row.srcIp == src) << s.row.SrcIpText();
  EXPECT_TRUE(s.row.hasDstIp && s.row.dstIp == dst) << s.row.DstIpText();

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
  EXPECT_EQ(sample.sourcePort, std::to_string(Be16(b, p)));
  EXPECT_EQ(sample.destinationPort, std::to_string(Be16(b, p + 2)));
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

}  // namespace
}  // namespace qv
