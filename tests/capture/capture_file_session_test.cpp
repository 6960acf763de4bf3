// Capture files through the session: interfaces of several link types,
// comments, names, statistics and damage as the user meets them, and Save
// in both formats read back by the session and by tshark.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "capture/savefile_writer.h"
#include "capture/settings_store.h"
#include "capture_file_builder.h"
#include "recording_prompt.h"
#include "shell_command.h"
#include "temp_dir.h"

namespace qv {
namespace {

using testing::CaptureBytes;
using testing::RecordingPrompt;
using testing::TempDir;

// An Ethernet frame with IPv4 and UDP from 192.0.2.1 to 192.0.2.2.
std::vector<std::uint8_t> EthernetUdp(std::uint8_t tag) {
  std::vector<std::uint8_t> f = {0x02, 0, 0, 0, 0, 2, 0x02, 0, 0, 0, 0, 1, 0x08, 0x00,
                                 0x45, 0, 0, 32, 0, 1, 0, 0, 64, 17, 0, 0, 192, 0, 2, 1, 192, 0, 2, 2,
                                 0x9c, 0x40, 0x00, 0x35, 0, 12, 0, 0, tag, tag, tag, tag};
  return f;
}

// The same datagram in a Linux cooked header (link type 113).
std::vector<std::uint8_t> CookedUdp(std::uint8_t tag) {
  std::vector<std::uint8_t> f = {0, 0, 0, 1, 0, 6, 0x02, 0, 0, 0, 0, 1, 0, 0, 0x08, 0x00};
  const std::vector<std::uint8_t> e = EthernetUdp(tag);
  f.insert(f.end(), e.begin() + 14, e.end());
  return f;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A pcapng file as `tcpdump -i any` merged with an Ethernet capture gives:
// two interfaces of different link types, a comment, a name and drops.
std::vector<std::uint8_t> MixedFile() {
  CaptureBytes f;
  f.Append(testing::SectionHeader(false, {testing::TextOption(1, "merged by hand")}));
  f.Append(testing::InterfaceDescription(false, 1, 0, {testing::TextOption(2, "eth0")}));
  f.Append(testing::InterfaceDescription(false, 113, 0, {testing::TextOption(2, "any")}));
  f.Append(testing::EnhancedPacket(false, 0, 1700000000000001ull, EthernetUdp(1), {testing::TextOption(1, "the first")}));
  f.Append(testing::EnhancedPacket(false, 1, 1700000000000002ull, CookedUdp(2)));
  CaptureBytes names;
  names.U16(1).U16(4 + 9).Raw({192, 0, 2, 2}).Raw({'d', 'n', 's', '.', 't', 'e', 's', 't', 0}).Pad4().U16(0).U16(0);
  f.Append(testing::Block(false, 4, names));
  f.Append(testing::EnhancedPacket(false, 0, 1700000000000003ull, EthernetUdp(3)));
  CaptureBytes statistics;
  statistics.U32(1).U32(0).U32(0);
  f.Append(testing::Block(false, 5, statistics, {testing::U64Option(5, 4, false), testing::U64Option(7, 9, false)}));
  return f.Bytes();
}

struct Session {
  RecordingPrompt prompt;
  MemorySettingsStore settings;
  CTalvenorDoc doc{prompt, settings};

  bool Read(const std::string& path) {
    if (!doc.Open(path)) return false;
    doc.WaitForCapture();
    return !doc.LastRunFailed();
  }
  std::vector<PacketRecord> Records() {
    std::vector<PacketRecord> out;
    for (std::uint32_t n = 0; n < doc.PacketCount(); ++n) out.push_back(*doc.Buffer().Find(n));
    return out;
  }
};

TEST(CaptureFileSession, MixedLinkTypesCommentsNamesAndDrops) {
  TempDir dir;
  const std::string path = dir.File("mixed.pcapng");
  WriteFile(path, MixedFile());
  Session s;
  ASSERT_TRUE(s.Read(path)) << (s.prompt.Messages().empty() ? "" : s.prompt.Messages().back());
  const std::vector<PacketRecord> records = s.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].linkType, 1);
  EXPECT_EQ(records[1].linkType, 113);
  EXPECT_EQ(records[2].linkType, 1);
  EXPECT_EQ(records[0].comment, "the first");
  EXPECT_EQ(records[1].comment, "");
  // Both link types give the same addresses in the row.
  EXPECT_EQ(s.doc.SummaryOf(records[1]).DstIpText(), "192.0.2.2");
  EXPECT_EQ(s.doc.SummaryOf(records[1]).DstPortText(), s.doc.SummaryOf(records[0]).DstPortText());
  EXPECT_EQ(s.doc.Buffer().InterfaceAt(records[1].interface).name, "any");

  const DropCounts drops = s.doc.Drops();
  EXPECT_TRUE(drops.known);
  EXPECT_EQ(drops.interface, 4u);
  EXPECT_EQ(drops.kernel, 9u);
  EXPECT_EQ(s.doc.LastFileInfo().sectionComments, std::vector<std::string>{"merged by hand"});

  std::string name;
  NameOrigin origin{};
  EXPECT_TRUE(s.doc.Statistics().names.Find(IpAddress::V4({192, 0, 2, 2}), name, origin));
  EXPECT_EQ(name, "dns.test");
  EXPECT_EQ(origin, NameOrigin::CaptureFile);
}

TEST(CaptureFileSession, DamageKeepsThePacketsBeforeIt) {
  TempDir dir;
  std::vector<std::uint8_t> bytes = MixedFile();
  bytes.resize(bytes.size() - 30);  // into the statistics block
  const std::string path = dir.File("cut.pcapng");
  WriteFile(path, bytes);
  Session s;
  EXPECT_FALSE(s.Read(path));
  EXPECT_EQ(s.doc.PacketCount(), 3u);
  ASSERT_FALSE(s.prompt.Messages().empty());
  const std::string expected =
      "The file " + path + " is damaged at byte " + std::to_string(bytes.size() + 30 - 52) +
      ": a block is cut short; the 3 packets before it were kept.";
  EXPECT_EQ(s.prompt.Messages().back(), expected);
}

TEST(CaptureFileSession, NotACaptureFileCannotBeOpened) {
  TempDir dir;
  const std::string path = dir.File("notes.txt");
  WriteFile(path, {'h', 'e', 'l', 'l', 'o', '\n'});
  Session s;
  EXPECT_FALSE(s.Read(path));
  ASSERT_FALSE(s.prompt.Messages().empty());
  EXPECT_EQ(s.prompt.Messages().back(),
            "Unable to open the file " + path + ".\nThe following error occured: unknown file format");
}

TEST(CaptureFileSession, CommentIsTheTreesFirstLine) {
  TempDir dir;
  const std::string path = dir.File("mixed.pcapng");
  WriteFile(path, MixedFile());
  struct Shown : CaptureObserver {
    std::string tree;
    void PacketShown(std::int64_t, std::span<const std::uint8_t>, const DecodeTree& t,
                     const std::vector<std::int32_t>&) override {
      tree = t.ToText();
    }
  } shown;
  Session s;
  s.doc.SetObserver(&shown);
  ASSERT_TRUE(s.Read(path));
  ASSERT_TRUE(s.doc.ShowPacket(0));
  EXPECT_EQ(shown.tree.substr(0, shown.tree.find('\n')), "Comment: the first");
  // A comment edited in the buffer is shown the next time.
  ASSERT_TRUE(s.doc.SetPacketComment(1, "line one\nline two"));
  ASSERT_TRUE(s.doc.ShowPacket(1));
  EXPECT_EQ(shown.tree.substr(0, shown.tree.find('\n')), "Comment: line one line two");
  EXPECT_TRUE(s.doc.SetPacketComment(0, ""));
  EXPECT_EQ(s.doc.Buffer().Find(0)->comment, "");
  EXPECT_FALSE(s.doc.SetPacketComment(7, "no such packet"));
}

// What is saved opens again with the same frames, link types, comments and
// drop counts, in whichever format it was saved.
TEST(CaptureFileSession, SaveAndOpenAgain) {
  TempDir dir;
  const std::string original = dir.File("mixed.pcapng");
  WriteFile(original, MixedFile());
  Session first;
  ASSERT_TRUE(first.Read(original));
  const std::vector<PacketRecord> before = first.Records();

  struct Case {
    const char* name;
    SaveFormat format;
  };
  for (const Case& c : {Case{"again.pcapng", SaveFormat::Automatic}, Case{"again.log", SaveFormat::Automatic},
                        Case{"forced.pcapng", SaveFormat::Pcapng}}) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    SaveOptions options;
    options.format = c.format;
    ASSERT_TRUE(first.doc.Save(path, options));
    Session again;
    ASSERT_TRUE(again.Read(path));
    const std::vector<PacketRecord> after = again.Records();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
      // Saved newest first.
      const PacketRecord& b = before[before.size() - 1 - i];
      EXPECT_EQ(std::vector<std::uint8_t>(after[i].bytes.begin(), after[i].bytes.end()),
                std::vector<std::uint8_t>(b.bytes.begin(), b.bytes.end()));
      EXPECT_EQ(after[i].linkType, b.linkType);
      EXPECT_EQ(after[i].comment, b.comment);
      EXPECT_EQ(after[i].seconds, b.seconds);
      EXPECT_EQ(after[i].microseconds, b.microseconds);
      EXPECT_EQ(again.doc.Buffer().InterfaceAt(after[i].interface).name,
                first.doc.Buffer().InterfaceAt(b.interface).name);
    }
    EXPECT_EQ(again.doc.Drops(), first.doc.Drops());
  }
  // pcap cannot hold two link types: said, and nothing is written.
  const std::string pcap = dir.File("mixed.pcap");
  EXPECT_FALSE(first.doc.Save(pcap));
  EXPECT_NE(first.prompt.Messages().back().find("save them as pcapng"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(pcap));
}

TEST(CaptureFileSession, NanosecondsSurviveASave) {
  TempDir dir;
  const std::string path = dir.File("ns.pcap");
  WriteFile(path, testing::PcapFile(false, 0xA1B23C4D, 65535, 1, {{5, 123456789, EthernetUdp(1), 0}}).Bytes());
  Session s;
  ASSERT_TRUE(s.Read(path));
  for (const char* name : {"ns-again.pcap", "ns-again.pcapng"}) {
    const std::string saved = dir.File(name);
    ASSERT_TRUE(s.doc.Save(saved));
    Session again;
    ASSERT_TRUE(again.Read(saved));
    ASSERT_EQ(again.doc.PacketCount(), 1u);
    EXPECT_EQ(NanosecondsOf(*again.doc.Buffer().Find(0)), 123456789u) << name;
  }
}

// What mergecap makes of an Ethernet capture and a `tcpdump -i any` one.
TEST(CaptureFileSession, MergecapOfTwoLinkTypes) {
  if (testing::RunShell("command -v mergecap").status != 0) GTEST_SKIP() << "mergecap is not installed";
  TempDir dir;
  WriteFile(dir.File("eth.pcap"),
            testing::PcapFile(false, 0xA1B2C3D4, 65535, 1, {{10, 0, EthernetUdp(1), 0}, {12, 0, EthernetUdp(3), 0}})
                .Bytes());
  WriteFile(dir.File("any.pcap"), testing::PcapFile(false, 0xA1B2C3D4, 65535, 113, {{11, 0, CookedUdp(2), 0}}).Bytes());
  const std::string merged = dir.File("merged.pcapng");
  const testing::CommandRun run = testing::RunShell("HOME=" + dir.File("") + " mergecap -F pcapng -w '" + merged + "' '" +
                                                    dir.File("eth.pcap") + "' '" + dir.File("any.pcap") + "'");
  ASSERT_EQ(run.status, 0) << run.out;
  Session s;
  ASSERT_TRUE(s.Read(merged)) << (s.prompt.Messages().empty() ? "" : s.prompt.Messages().back());
  const std::vector<PacketRecord> records = s.Records();
  ASSERT_EQ(records.size(), 3u);
  // In time order, each with its own link type and the same addresses.
  EXPECT_EQ(records[0].linkType, 1);
  EXPECT_EQ(records[1].linkType, 113);
  EXPECT_EQ(records[2].linkType, 1);
  for (const PacketRecord& r : records) EXPECT_EQ(s.doc.SummaryOf(r).SrcIpText(), "192.0.2.1");
}

// Wireshark reads what we write: the frames, their interfaces' link types
// and the comments.
TEST(CaptureFileSession, TsharkReadsOurPcapng) {
  if (testing::RunShell("command -v tshark").status != 0) GTEST_SKIP() << "tshark is not installed";
  TempDir dir;
  const std::string original = dir.File("mixed.pcapng");
  WriteFile(original, MixedFile());
  Session s;
  ASSERT_TRUE(s.Read(original));
  const std::string saved = dir.File("saved.pcapng");
  ASSERT_TRUE(s.doc.Save(saved));
  const testing::CommandRun run = testing::RunShell(
      "HOME=" + dir.File("") + " tshark -n -r '" + saved +
          "' -T fields -e frame.interface_name -e udp.dstport -e frame.comment",
      false);
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "eth0\t53\t\nany\t53\t\neth0\t53\tthe first\n");
}

}  // namespace
}  // namespace qv
