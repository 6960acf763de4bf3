// Fix checksums against real captures: every IPv4, TCP, UDP and ICMP
// checksum that verifies in a corpus frame is zeroed and must come back
// exactly; a frame whose checksums are already right is left unchanged.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "sender/checksum_fixer.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> CorpusFrames() {
  std::vector<Bytes> out;
  const fs::path dir = QUORVANET_CORPUS_DIR;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    if (e.path().extension() != ".pcap") continue;
    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* p = pcap_open_offline(e.path().c_str(), errbuf);
    if (p == nullptr) continue;
    if (pcap_datalink(p) == DLT_EN10MB) {
      pcap_pkthdr* h = nullptr;
      const u_char* data = nullptr;
      while (pcap_next_ex(p, &h, &data) == 1) out.emplace_back(data, data + h->caplen);
    }
    pcap_close(p);
  }
  return out;
}

std::uint16_t Be16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]); }

// Where a frame's checksums sit, found independently of the fixer: plain
// Ethernet II, IPv4, an unfragmented datagram captured whole.
struct Fields {
  std::size_t ipSum = 0;
  std::size_t transportSum = 0;  // 0: none
  const char* transport = nullptr;
  bool verifies = false;
};

Fields Locate(const Bytes& f) {
  Fields out;
  if (f.size() < 34 || Be16(f, 12) != 0x0800 || (f[14] >> 4) != 4) return out;
  const std::size_t ihl = (f[14] & 0x0F) * 4u;
  const std::size_t total = Be16(f, 16);
  if (ihl < 20 || total < ihl || f.size() < 14 + total || (Be16(f, 20) & 0x3FFF) != 0) return out;
  out.ipSum = 24;
  // A header verifies when its ones' complement sum, checksum included, is all ones.
  const std::span<const std::uint8_t> header(f.data() + 14, ihl);
  bool ok = InternetChecksum(header) == 0;
  const std::size_t t = 14 + ihl;
  const std::size_t len = total - ihl;
  std::uint32_t pseudo = 0;
  for (std::size_t i = 26; i < 34; i += 2) pseudo += Be16(f, i);
  const std::uint8_t proto = f[23];
  if (proto == 17 && len >= 8 && Be16(f, t + 6) == 0) return out;  // sent without a checksum
  if (proto == 6 && len >= 20) {
    out.transportSum = t + 16, out.transport = "TCP";
    ok = ok && InternetChecksum({f.data() + t, len}, pseudo + 6 + static_cast<std::uint32_t>(len)) == 0;
  } else if (proto == 17 && len >= 8 && Be16(f, t + 4) == len) {
    out.transportSum = t + 6, out.transport = "UDP";
    ok = ok && InternetChecksum({f.data() + t, len}, pseudo + 17 + static_cast<std::uint32_t>(len)) == 0;
  } else if (proto == 1 && len >= 4) {
    out.transportSum = t + 2, out.transport = "ICMP";
    ok = ok && InternetChecksum({f.data() + t, len}) == 0;
  }
  out.verifies = ok;
  return out;
}

TEST(FixChecksums, RestoresZeroedChecksumsOfCorpusFrames) {
  const std::vector<Bytes> frames = CorpusFrames();
  if (frames.empty()) GTEST_SKIP() << "no corpus at " << QUORVANET_CORPUS_DIR;
  std::map<std::string, int> restored;
  for (const Bytes& original : frames) {
    const Fields where = Locate(original);
    if (!where.verifies) continue;
    SCOPED_TRACE(::testing::PrintToString(original));

    Bytes untouched = original;
    const ChecksumReport same = FixChecksums(untouched);
    EXPECT_EQ(untouched, original);
    EXPECT_TRUE(same.changed.empty());

    Bytes zeroed = original;
    zeroed[where.ipSum] = zeroed[where.ipSum + 1] = 0;
    if (where.transport != nullptr) zeroed[where.transportSum] = zeroed[where.transportSum + 1] = 0;
    const ChecksumReport report = FixChecksums(zeroed);
    ASSERT_EQ(zeroed, original);
    EXPECT_TRUE(report.ipv4);
    for (const ChecksumChange& c : report.changed) {
      EXPECT_EQ(c.before, 0);
      ++restored[c.field];
    }
  }
  for (const char* kind : {"IPv4 header", "TCP", "UDP", "ICMP"}) {
    EXPECT_GT(restored[kind], 0) << "no corpus frame exercised " << kind;
  }
}

TEST(FixChecksums, LeavesWhatItCannotOrNeedNotCompute) {
  // Ethernet II + IPv4 (20 bytes) + UDP, 8 bytes of payload; checksums zero.
  Bytes udp = {0x02, 0, 0, 0, 0, 1, 0x02, 0, 0, 0, 0, 2, 0x08, 0x00,
               0x45, 0, 0, 36, 0, 1, 0, 0, 64, 17, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2,
               0x9c, 0x40, 0x9c, 0x41, 0, 16, 0, 0, 'p', 'a', 'y', 'l', 'o', 'a', 'd', '!'};
  struct Case {
    const char* name;
    std::size_t at;      // a byte to change first
    std::uint8_t value;
    std::size_t trim;    // bytes cut from the end
    std::vector<std::string> recomputed;
    std::vector<std::string> skipped;
  };
  const Case cases[] = {
      {"whole", 0, 0x02, 0, {"IPv4 header", "UDP"}, {}},
      {"more fragments", 20, 0x20, 0, {"IPv4 header"}, {"UDP"}},
      {"cut short", 0, 0x02, 3, {"IPv4 header"}, {"UDP"}},
      {"UDP length beyond the datagram", 39, 99, 0, {"IPv4 header"}, {"UDP"}},
      {"other protocol", 23, 47, 0, {"IPv4 header"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes f = udp;
    f[c.at] = c.value;
    f.resize(f.size() - c.trim);
    const Bytes before = f;
    const ChecksumReport r = FixChecksums(f);
    EXPECT_EQ(r.recomputed, c.recomputed);
    EXPECT_EQ(r.skipped, c.skipped);
    // Only the checksum fields may change.
    for (std::size_t i = 0; i < f.size(); ++i) {
      if (i == 24 || i == 25 || i == 40 || i == 41) continue;
      ASSERT_EQ(f[i], before[i]) << i;
    }
  }
  Bytes arp(60, 0xFF);
  arp[12] = 0x08, arp[13] = 0x06;
  EXPECT_FALSE(FixChecksums(arp).ipv4);
  Bytes tiny = {1, 2, 3};
  EXPECT_FALSE(FixChecksums(tiny).ipv4);
  Bytes badIhl = udp;
  badIhl[14] = 0x44;
  EXPECT_FALSE(FixChecksums(badIhl).ipv4);
  EXPECT_EQ(DescribeChecksumReport(FixChecksums(arp)), "No IPv4 header in this frame: nothing to fix.");
  Bytes fixedTwice = udp;
  EXPECT_NE(DescribeChecksumReport(FixChecksums(fixedTwice)).find("Fixed: IPv4 header 0x0000 -> "), std::string::npos);
  EXPECT_EQ(DescribeChecksumReport(FixChecksums(fixedTwice)), "Checksums already right: IPv4 header, UDP");
}

}  // namespace
}  // namespace qv
