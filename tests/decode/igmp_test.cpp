#include "decode/igmp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "decode_helpers.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr std::uint32_t kIgmp = 34;  // after Ethernet II and a 20-byte IPv4 header

const framegen::Mac kMulticast{0x01, 0x00, 0x5e, 0x00, 0x00, 0xfb};
const framegen::Mac kHost{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};

// An IGMP message in IPv4 in Ethernet II, padded to the minimum frame unless
// `pad` is false.
Bytes IgmpFrame(const Bytes& message, bool pad = true) {
  FrameBuilder b;
  b.Ethernet(kMulticast, kHost, 0x0800).Ipv4({192, 168, 1, 2}, {224, 0, 0, 251}, 2).Raw(message);
  if (pad) b.PadTo(60);
  return b.Build();
}

// The IGMP decoder alone, on the message at `at` of a whole frame, so the
// ranges are those of the frame.
TreeDecode DecodeAt(std::span<const std::uint8_t> frame, std::uint32_t at = kIgmp) {
  TreeDecode out;
  PacketDecoder d(frame, {}, &out.tree, DecodeMode::Tree, &out.layerStarts, nullptr);
  d.offset = at;
  DecodeIgmp(d);
  out.text = out.tree.ToText();
  return out;
}

// The frames of a classic little-endian savefile, each in a buffer of exactly
// its captured length. Empty when the file cannot be read.
std::vector<Bytes> ReadSavefile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto le32 = [&file](std::size_t at) {
    return static_cast<std::uint32_t>(file[at]) | static_cast<std::uint32_t>(file[at + 1]) << 8 |
           static_cast<std::uint32_t>(file[at + 2]) << 16 | static_cast<std::uint32_t>(file[at + 3]) << 24;
  };
  std::vector<Bytes> frames;
  if (file.size() < 24 || le32(0) != 0xa1b2c3d4) return frames;
  for (std::size_t at = 24; at + 16 <= file.size();) {
    const std::size_t captured = le32(at + 8);
    at += 16;
    if (captured > file.size() - at) break;
    frames.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at),
                        file.begin() + static_cast<std::ptrdiff_t>(at + captured));
    at += captured;
  }
  return frames;
}

std::string CorpusPath(const char* name) { return std::string(QUORVANET_CORPUS_DIR) + "/" + name; }

std::size_t CountOf(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Igmp, Version2ReportIsEightBytesThenUnsupported) {
  const Bytes frame = IgmpFrame(Hex("16 00 fa 04 e0 00 00 fb"));
  const TreeDecode t = DecodeAt(frame);
  EXPECT_EQ(t.text,
            "IGMP [34,42)\n"
            "  Type: 0x16 - Version 2 Membership Report [34,35)\n"
            "  Max response time:  0 (0x00) [35,36)\n"
            "  Checksum:  64004 (0xfa04) [36,38)\n"
            "  Group address:  224.0.0.251 [38,42)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 42}));
}

TEST(Igmp, OlderMessageNames) {
  struct Case {
    std::uint8_t type;
    const char* line;
  };
  const Case cases[] = {
      {0x12, "  Type: 0x12 - Version 1 Membership Report [34,35)\n"},
      {0x16, "  Type: 0x16 - Version 2 Membership Report [34,35)\n"},
      {0x17, "  Type: 0x17 - Leave Group [34,35)\n"},
  };
  for (const Case& c : cases) {
    const std::string text = DecodeAt(IgmpFrame({c.type, 0x64, 0x00, 0x01, 0xef, 0xff, 0xff, 0xfa})).text;
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
    EXPECT_NE(text.find("  Max response time:  100 (0x64) [35,36)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Group address:  239.255.255.250 [38,42)\n"), std::string::npos) << text;
  }
}

TEST(Igmp, Version3QueryWithSources) {
  const Bytes frame = IgmpFrame(Hex("11 64 ee 9b e0 00 00 01 0a 7d 00 02 c0 a8 01 01 c0 a8 01 02"));
  const TreeDecode t = DecodeAt(frame);
  EXPECT_EQ(t.text,
            "IGMP [34,54)\n"
            "  Type: 0x11 - Membership Query Message [34,35)\n"
            "  Max response code:  0x64 - Max response time: 100.000000 [35,36)\n"
            "  Checksum:  61083 (0xee9b) [36,38)\n"
            "  Group address:  224.0.0.1 [38,42)\n"
            "  S Flag (Suppress Router-Side Processing): ----1--- [42,43)\n"
            "  QRV (Querier's Robustness Variable): 0x02 [42,43)\n"
            "  QQIC (Querier's Query Interval Code):  0x7d - Querier's Query Interval: 125.000000 [43,44)\n"
            "  Number of Sources: 2 (0x0002) [44,46)\n"
            "  Group address:  192.168.1.1 [46,50)\n"
            "  Group address:  192.168.1.2 [50,54)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 54}));
}

TEST(Igmp, QueryTimeCodesAndFlags) {
  // Below 128 the code is the time; from 128 on, (mantissa | 0x10) << (exponent + 3).
  struct Case {
    std::uint8_t code;
    const char* time;
  };
  const Case codes[] = {
      {0x00, "0.000000"},   {0x64, "100.000000"},   {0x7f, "127.000000"},   {0x80, "128.000000"},
      {0x8a, "208.000000"}, {0x8f, "248.000000"},   {0x90, "256.000000"},   {0xfe, "30720.000000"},
      {0xff, "31744.000000"},
  };
  for (const Case& c : codes) {
    const std::string text = DecodeAt(IgmpFrame({0x11, c.code, 0, 0, 224, 0, 0, 1, 0x00, c.code, 0, 0})).text;
    EXPECT_NE(text.find("Max response time: " + std::string(c.time) + " [35,36)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Querier's Query Interval: " + std::string(c.time) + " [43,44)\n"), std::string::npos)
        << text;
  }

  struct Flags {
    std::uint8_t byte;
    const char* s;
    const char* qrv;
  };
  const Flags flags[] = {
      {0x0a, "----1---", "0x02"},
      {0x02, "----0---", "0x02"},
      {0x07, "----0---", "0x07"},
      {0xf0, "----0---", "0x00"},
      {0xff, "----1---", "0x07"},
  };
  for (const Flags& f : flags) {
    const std::string text = DecodeAt(IgmpFrame({0x11, 0, 0, 0, 224, 0, 0, 1, f.byte, 0, 0, 0})).text;
    EXPECT_NE(text.find("  S Flag (Suppress Router-Side Processing): " + std::string(f.s) + " [42,43)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  QRV (Querier's Robustness Variable): " + std::string(f.qrv) + " [42,43)\n"),
              std::string::npos)
        << text;
  }
}

// An 8-byte query that ends the captured data is still read in the version 3
// layout: the fields after byte 8 were not captured and get no line.
TEST(Igmp, EightByteQueryAtTheEndOfTheCapture) {
  const Bytes frame = IgmpFrame(Hex("11 64 ee 9b 00 00 00 00"), false);
  ASSERT_EQ(frame.size(), 42u);
  const TreeDecode t = DecodeAt(frame);
  EXPECT_EQ(t.text,
            "IGMP [34,42)\n"
            "  Type: 0x11 - Membership Query Message [34,35)\n"
            "  Max response code:  0x64 - Max response time: 100.000000 [35,36)\n"
            "  Checksum:  61083 (0xee9b) [36,38)\n"
            "  Group address:  0.0.0.0 [38,42)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 42}));
}

TEST(Igmp, Version3ReportRecordsFollowOneAnother) {
  // The first record has two sources and one word of auxiliary data: 20 bytes.
  const Bytes frame = IgmpFrame(
      Hex("22 00 12 34 00 00 00 02"
          "01 01 00 02 e0 00 00 fb c0 a8 01 01 c0 a8 01 02 de ad be ef"
          "04 00 00 00 ef ff ff fa"));
  const TreeDecode t = DecodeAt(frame);
  EXPECT_EQ(t.text,
            "IGMP [34,70)\n"
            "  Type: 0x22 - Version 3 Membership Report Message [34,35)\n"
            "  Checksum:  4660 (0x1234) [36,38)\n"
            "  Number of group records:  2 (0x0002) [40,42)\n"
            "  Group 1 [42,62)\n"
            "    Record Type: 0x01 [42,43)\n"
            "    Auxiliary Data Length: 1 (0x01) [43,44)\n"
            "    Number of Sources 2 (0x0002) [44,46)\n"
            "    Multicast address:  224.0.0.251 [46,50)\n"
            "    Source addresses: [50,58)\n"
            "    Source address 1:  192.168.1.1 [50,54)\n"
            "    Source address 2:  192.168.1.2 [54,58)\n"
            "    Auxiliary Data [58,62)\n"
            "  Group 2 [62,70)\n"
            "    Record Type: 0x04 [62,63)\n"
            "    Auxiliary Data Length: 0 (0x00) [63,64)\n"
            "    Number of Sources 0 (0x0000) [64,66)\n"
            "    Multicast address:  239.255.255.250 [66,70)\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 70}));
}

TEST(Igmp, AnyOtherNonZeroTypeIsAVersion3Report) {
  for (const std::uint8_t type : {std::uint8_t{0x22}, std::uint8_t{0x30}, std::uint8_t{0x01}, std::uint8_t{0xff}}) {
    const std::string text = DecodeAt(IgmpFrame({type, 0, 0, 0, 0, 0, 0, 0})).text;
    char expected[64];
    std::snprintf(expected, sizeof expected, "  Type: 0x%02x - Version 3 Membership Report Message [34,35)\n", type);
    EXPECT_NE(text.find(expected), std::string::npos) << text;
    EXPECT_NE(text.find("IGMP [34,42)\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Group 1"), std::string::npos) << text;
  }
}

TEST(Igmp, TypeZeroHasNoFields) {
  const TreeDecode t = DecodeAt(IgmpFrame(Hex("00 00 00 00 00 00 00 00")));
  EXPECT_EQ(t.text, "IGMP\n");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 34}));
}

// Counts far beyond the frame: the walks end with the captured data.
TEST(Igmp, HugeCountsStopAtTheCapturedData) {
  {
    // 65535 records of zeros in a 60-byte frame: two whole records, then one
    // of which only two bytes were captured.
    const Bytes frame = IgmpFrame(Hex("22 00 00 00 00 00 ff ff"));
    ASSERT_EQ(frame.size(), 60u);
    const TreeDecode t = DecodeAt(frame);
    EXPECT_EQ(CountOf(t.text, "  Group "), 3u) << t.text;
    EXPECT_NE(t.text.find("  Group 2 [50,58)\n"), std::string::npos) << t.text;
    EXPECT_NE(t.text.find("  Group 3 [58,60)\n"
                          "    Record Type: 0x00 [58,59)\n"
                          "    Auxiliary Data Length: 0 (0x00) [59,60)\n"),
              std::string::npos)
        << t.text;
    EXPECT_EQ(t.text.find("Number of Sources 0 (0x0000) [60"), std::string::npos) << t.text;
    EXPECT_TRUE(t.text.starts_with("IGMP [34,60)\n")) << t.text;
    EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{34, 60}));
  }
  {
    // One record claiming 65535 sources and 255 words of auxiliary data.
    const Bytes frame = IgmpFrame(Hex("22 00 00 00 00 00 00 01  01 ff ff ff e0 00 00 fb  0a 00 00 01 0a 00 00 02"));
    const TreeDecode t = DecodeAt(frame);
    EXPECT_NE(t.text.find("    Number of Sources 65535 (0xffff) [44,46)\n"), std::string::npos) << t.text;
    EXPECT_NE(t.text.find("  Group 1 [42,60)\n"), std::string::npos) << t.text;
    EXPECT_NE(t.text.find("    Source addresses: [50,60)\n"), std::string::npos) << t.text;
    EXPECT_EQ(CountOf(t.text, "    Source address "), 2u) << t.text;  // 50-54, 54-58; 58-62 was cut
    EXPECT_EQ(t.text.find("Auxiliary Data ["), std::string::npos) << t.text;
  }
  {
    // A query claiming 65535 sources.
    const TreeDecode t = DecodeAt(IgmpFrame(Hex("11 00 00 00 e0 00 00 01 00 00 ff ff 0a 00 00 01")));
    EXPECT_EQ(CountOf(t.text, "  Group address:  "), 1u + 3u) << t.text;  // the group, then sources at 46, 50, 54
    EXPECT_TRUE(t.text.starts_with("IGMP [34,60)\n")) << t.text;
  }
}

// Every prefix of a query and of a two-record report, in both modes, through
// the whole decoder chain: nothing is read or shown beyond the prefix.
TEST(Igmp, EveryPrefixStaysWithinTheCapturedBytes) {
  const Bytes frames[] = {
      IgmpFrame(Hex("11 8a ee 9b e0 00 00 01 0a 7d 00 02 c0 a8 01 01 c0 a8 01 02")),
      IgmpFrame(Hex("22 00 12 34 00 00 00 02"
                    "01 01 00 02 e0 00 00 fb c0 a8 01 01 c0 a8 01 02 de ad be ef"
                    "04 00 00 00 ef ff ff fa")),
  };
  for (const Bytes& full : frames) {
    for (std::size_t n = 0; n <= full.size(); ++n) {
      const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      const std::uint32_t len = static_cast<std::uint32_t>(n);
      const TreeDecode whole = DecodeTreeOf(prefix);
      EXPECT_TRUE(RangesWithin(whole.tree, len)) << n;
      const SummaryDecode s = DecodeSummaryOf(prefix);
      (void)s;
      if (n > kIgmp) {
        const TreeDecode t = DecodeAt(prefix);
        EXPECT_TRUE(RangesWithin(t.tree, len)) << n;
        for (std::int32_t start : t.layerStarts) EXPECT_LE(start, static_cast<std::int32_t>(len)) << n;
      }
    }
  }
}

TEST(Igmp, ReportInIpv4IsCountedAndMarksItsTail) {
  const Bytes frame = IgmpFrame(Hex("16 00 fa 04 e0 00 00 fb"));
  const TreeDecode t = DecodeTreeOf(frame);
  ASSERT_EQ(t.tree.TopLevel().size(), 3u) << t.text;
  EXPECT_EQ(t.tree[t.tree.TopLevel()[2]].text, "IGMP");
  EXPECT_EQ(t.layerStarts, (std::vector<std::int32_t>{14, 34, 42}));

  const SummaryDecode s = DecodeSummaryOf(frame);
  EXPECT_EQ(s.row.ProtocolsText(), "IPv4 IGMP ");
  EXPECT_EQ(s.sink.protocols, (std::vector<std::string>{"Ethernet II/1", "IPv4/2", "IGMP/2"}));
  EXPECT_TRUE(s.sink.samples.empty());
}

// Real captures: every frame decodes in both modes within its bytes, every
// IGMP message is counted, and a few decoded fields match the bytes.
TEST(Igmp, CapturedTrafficOfAllVersions) {
  const char* files[] = {"IGMP_V1.pcap", "IGMP_V2.pcap", "igmpv3-queries.pcap", "eapon1.pcap"};
  std::string all;
  for (const char* name : files) {
    const std::vector<Bytes> frames = ReadSavefile(CorpusPath(name));
    if (frames.empty()) GTEST_SKIP() << "capture not available: " << CorpusPath(name);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const Bytes& f = frames[i];
      const TreeDecode t = DecodeTreeOf(f);
      EXPECT_TRUE(RangesWithin(t.tree, static_cast<std::uint32_t>(f.size()))) << name << " #" << i;
      const bool igmp = f.size() > 34 && f[12] == 0x08 && f[13] == 0x00 && f[23] == 2;
      const SummaryDecode s = DecodeSummaryOf(f);
      EXPECT_EQ(s.row.ProtocolsText() == "IPv4 IGMP ", igmp) << name << " #" << i << " " << s.row.ProtocolsText();
      all += t.text;
    }
  }
  // IGMP_V1: a version 1 report; IGMP_V2: a leave; all behind a 24-byte IPv4
  // header with the router alert option.
  EXPECT_NE(all.find("IGMP [38,46)\n"
                     "  Type: 0x12 - Version 1 Membership Report [38,39)\n"
                     "  Max response time:  0 (0x00) [39,40)\n"
                     "  Checksum:  3331 (0x0d03) [40,42)\n"
                     "  Group address:  224.0.0.252 [42,46)\n"),
            std::string::npos);
  EXPECT_NE(all.find("  Type: 0x17 - Leave Group [38,39)\n"), std::string::npos);
  // igmpv3-queries: max response codes 0x64, 0xfe and 0x0a; QQIC 0x7d; QRV 2.
  for (const char* line : {"  Max response code:  0x64 - Max response time: 100.000000 [39,40)\n",
                           "  Max response code:  0xfe - Max response time: 30720.000000 [39,40)\n",
                           "  Max response code:  0x0a - Max response time: 10.000000 [39,40)\n",
                           "  QRV (Querier's Robustness Variable): 0x02 [46,47)\n",
                           "  QQIC (Querier's Query Interval Code):  0x7d - Querier's Query Interval: 125.000000 "
                           "[47,48)\n"}) {
    EXPECT_NE(all.find(line), std::string::npos) << line;
  }
  // eapon1: a version 3 report with one record for 239.255.255.250.
  EXPECT_NE(all.find("IGMP [38,54)\n"
                     "  Type: 0x22 - Version 3 Membership Report Message [38,39)\n"
                     "  Checksum:  59907 (0xea03) [40,42)\n"
                     "  Number of group records:  1 (0x0001) [44,46)\n"
                     "  Group 1 [46,54)\n"
                     "    Record Type: 0x04 [46,47)\n"
                     "    Auxiliary Data Length: 0 (0x00) [47,48)\n"
                     "    Number of Sources 0 (0x0000) [48,50)\n"
                     "    Multicast address:  239.255.255.250 [50,54)\n"),
            std::string::npos);
}

}  // namespace
}  // namespace qv
