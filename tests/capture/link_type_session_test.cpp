// A buffer that holds frames of several link types: every row, tree and
// saved file follows the link type of its own record, not the one of the
// file read last.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <fstream>
#include <iterator>

#include "capture/savefile_writer.h"
#include "session_harness.h"

namespace qv {
namespace {

using namespace qv::testing;

// The tagged frame with a Linux cooked header (sent by us, from
// 02:51:56:00:00:07) in place of its Ethernet header.
Bytes CookedTaggedFrame(std::uint32_t tag) {
  const Bytes ethernet = TaggedFrame(tag);
  Bytes frame = framegen::Hex("0004 0001 0006 025156000007 0000 0800");
  frame.insert(frame.end(), ethernet.begin() + 14, ethernet.end());
  return frame;
}

void WriteCookedFile(const std::string& path, std::uint32_t count) {
  PcapWriter w(path, 65535, 113);
  for (std::uint32_t i = 0; i < count; ++i) w.Write(CookedTaggedFrame(100 + i), 2000 + i, i);
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::string Joined(const std::vector<std::string>& messages) {
  std::string all = "messages shown:";
  for (const std::string& m : messages) all += "\n  " + m;
  return all;
}

struct Read {
  int linkType = -1;
  std::vector<Bytes> frames;
  std::string error;
};
Read ReadWithLibrary(const std::string& path) {
  Read out;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
  if (p == nullptr) {
    out.error = errbuf;
    return out;
  }
  out.linkType = pcap_datalink(p);
  pcap_pkthdr* h;
  const u_char* data;
  while (pcap_next_ex(p, &h, &data) == 1) out.frames.emplace_back(data, data + h->caplen);
  pcap_close(p);
  return out;
}

TEST(LinkTypePerRecord, RowsAndTreesKeepTheirLinkTypeAfterAnotherFileIsRead) {
  Session s;
  const std::string ethernet = s.dir.File("ethernet.pcap");
  const std::string cooked = s.dir.File("cooked.pcap");
  WriteTaggedFile(ethernet, 2);
  WriteCookedFile(cooked, 2);
  // Each read must end on its own and cleanly before the next begins: a
  // read that failed or did not end in time stops the test here, with the
  // messages shown, instead of surfacing later as an empty buffer.
  ASSERT_NO_FATAL_FAILURE(s.ReadToEnd(ethernet));
  ASSERT_EQ(s.doc->PacketCount(), 2u) << Joined(s.prompt.Messages());
  ASSERT_NO_FATAL_FAILURE(s.ReadToEnd(cooked));  // Open keeps what the buffer held
  ASSERT_EQ(s.doc->PacketCount(), 4u) << Joined(s.prompt.Messages());
  EXPECT_FALSE(s.observer->Locked([&] { return s.observer->lastEndFailed; }));
  EXPECT_EQ(s.doc->LinkType(), 113);

  // The rows as listed, and as the list computes them again when it draws or sorts.
  const std::vector<SeenRow> rows = s.observer->ListedRows();
  ASSERT_EQ(rows.size(), 4u);
  for (std::uint32_t n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    const std::optional<PacketRecord> r = s.doc->Buffer().Find(n);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->linkType, n < 2 ? 1 : 113);
    const auto again = ColumnTexts(*r, s.doc->SummaryOf(*r));
    EXPECT_EQ(again, rows[n].columns);
    EXPECT_EQ(again[kColumnSrcMac], n < 2 ? "2:51:56:0:0:1" : "2:51:56:0:0:7");
    EXPECT_EQ(again[kColumnDestMac], n < 2 ? "2:51:56:0:0:20" : "");
    EXPECT_EQ(again[kColumnSrcIp], "169.254.1.1");
    EXPECT_EQ(again[kColumnDestPort], "40001");
    EXPECT_EQ(again[kColumnProtocols], "IPv4 UDP ");
  }

  ASSERT_TRUE(s.doc->ShowPacket(0));
  ASSERT_TRUE(s.doc->ShowPacket(3));
  s.doc->ShowRawPacket(CookedTaggedFrame(7), 113);
  s.doc->ShowRawPacket(TaggedFrame(7));
  const auto shown = s.observer->Locked([&] { return s.observer->shown; });
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].tree.rfind("Ethernet II [0,14)\n", 0), 0u) << shown[0].tree;
  EXPECT_EQ(shown[1].tree.rfind("Linux cooked capture [0,16)\n", 0), 0u) << shown[1].tree;
  EXPECT_EQ(shown[2].tree.rfind("Linux cooked capture [0,16)\n", 0), 0u) << shown[2].tree;
  EXPECT_EQ(shown[3].tree.rfind("Ethernet II [0,14)\n", 0), 0u) << shown[3].tree;
}

TEST(LinkTypePerRecord, SaveDeclaresTheRecordsOwnLinkType) {
  Session s;
  const std::string cooked = s.dir.File("cooked.pcap");
  WriteCookedFile(cooked, 3);
  s.ReadToEnd(cooked);
  const std::string saved = s.dir.File("saved.log");
  ASSERT_TRUE(s.doc->Save(saved));
  EXPECT_EQ(Le32(ReadAll(saved), 20), 113u);
  const Read back = ReadWithLibrary(saved);
  ASSERT_EQ(back.error, "");
  EXPECT_EQ(back.linkType, 113);
  ASSERT_EQ(back.frames.size(), 3u);
  EXPECT_EQ(back.frames[0], CookedTaggedFrame(102));  // newest first
}

// A savefile holds one link type; pcapng gives each its own interface.
TEST(LinkTypePerRecord, SaveOfMixedLinkTypesWritesOneInterfacePerLinkType) {
  PacketBuffer buffer;
  const Bytes ethernet = TaggedFrame(1);
  const Bytes cooked = CookedTaggedFrame(2);
  const Bytes raw(cooked.begin() + 16, cooked.begin() + 19);  // 3 bytes: padded to 4
  buffer.Append({10, 1, static_cast<std::uint32_t>(ethernet.size()), 60}, ethernet.data(), 1);
  buffer.Append({11, 2, static_cast<std::uint32_t>(cooked.size()), 80}, cooked.data(), 113);
  buffer.Append({12, 3, 3, 40}, raw.data(), 101);
  buffer.Append({13, 4, static_cast<std::uint32_t>(ethernet.size()), 60}, ethernet.data(), 1);
  EXPECT_EQ(buffer.LinkTypes(), (std::vector<int>{1, 113, 101}));

  TempDir dir;
  const std::string path = dir.File("mixed.log");
  ASSERT_EQ(WriteSavefile(path, buffer), "");
  const Bytes b = ReadAll(path);

  // Section header, then three interfaces, then four packets newest first.
  struct Block {
    std::uint32_t type;
    std::size_t at;
    std::uint32_t length;
  };
  std::vector<Block> blocks;
  for (std::size_t at = 0; at + 12 <= b.size();) {
    const std::uint32_t length = Le32(b, at + 4);
    ASSERT_TRUE(length >= 12 && length % 4 == 0 && at + length <= b.size()) << at;
    EXPECT_EQ(Le32(b, at + length - 4), length) << at;
    blocks.push_back({Le32(b, at), at, length});
    at += length;
  }
  ASSERT_EQ(blocks.size(), 8u);
  EXPECT_EQ(blocks[0].type, 0x0A0D0D0Au);
  EXPECT_EQ(Le32(b, 8), 0x1A2B3C4Du);
  const int interfaceLinkTypes[] = {1, 113, 101};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(blocks[1 + i].type, 1u);
    EXPECT_EQ(b[blocks[1 + i].at + 8] | b[blocks[1 + i].at + 9] << 8, interfaceLinkTypes[i]);
  }
  struct Packet {
    std::uint32_t interface;
    std::uint64_t microseconds;
    std::uint32_t captured;
    std::uint32_t wire;
  };
  const auto cookedLength = static_cast<std::uint32_t>(cooked.size());
  const Packet expected[] = {
      {0, 13000004, 60, 60}, {2, 12000003, 3, 40}, {1, 11000002, cookedLength, 80}, {0, 10000001, 60, 60}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const std::size_t at = blocks[4 + i].at;
    EXPECT_EQ(blocks[4 + i].type, 6u);
    EXPECT_EQ(Le32(b, at + 8), expected[i].interface);
    EXPECT_EQ(static_cast<std::uint64_t>(Le32(b, at + 12)) << 32 | Le32(b, at + 16), expected[i].microseconds);
    EXPECT_EQ(Le32(b, at + 20), expected[i].captured);
    EXPECT_EQ(Le32(b, at + 24), expected[i].wire);
    EXPECT_EQ(blocks[4 + i].length, 32 + ((expected[i].captured + 3) & ~3u));
  }
  EXPECT_EQ(Bytes(b.begin() + static_cast<std::ptrdiff_t>(blocks[6].at + 28),
                  b.begin() + static_cast<std::ptrdiff_t>(blocks[6].at + 28 + cookedLength)),
            cooked);

  // After a clear, the buffer saves as a classic file of the new link type again.
  buffer.Clear();
  buffer.Append({1, 0, 3, 3}, raw.data(), 101);
  ASSERT_EQ(WriteSavefile(path, buffer), "");
  EXPECT_EQ(Le32(ReadAll(path), 0), 0xa1b2c3d4u);
  EXPECT_EQ(Le32(ReadAll(path), 20), 101u);
}

}  // namespace
}  // namespace qv
