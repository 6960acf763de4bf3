#include "capture/savefile_writer.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qv {
namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

class Savefile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("quorvanet-save-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(Savefile, LayoutIsNewestFirstWithLittleEndianHeaders) {
  PacketBuffer buffer;
  const std::uint8_t first[3] = {1, 2, 3};
  const std::uint8_t second[2] = {9, 8};
  buffer.Append({100, 5, 3, 60}, first);
  buffer.Append({101, 6, 2, 2}, second);
  const std::string path = Path("two.log");
  ASSERT_EQ(WriteSavefile(path, buffer), "");

  const std::vector<std::uint8_t> expected = {
      0xd4, 0xc3, 0xb2, 0xa1, 2, 0, 4, 0,  // magic, version 2.4
      0, 0, 0, 0, 0, 0, 0, 0,              // time zone, accuracy
      0xea, 0x05, 0, 0, 1, 0, 0, 0,        // snapshot length 1514, Ethernet
      101, 0, 0, 0, 6, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 9, 8,                // newest first
      100, 0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0, 60, 0, 0, 0, 1, 2, 3,
  };
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_FALSE(std::filesystem::exists(path + ".part"));
}

TEST_F(Savefile, LongRecordsSurviveTheRoundTripThroughTheLibrary) {
  PacketBuffer buffer;
  std::vector<std::uint8_t> big(3000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  const std::uint8_t small[60] = {};
  buffer.Append({1, 0, 60, 60}, small);
  buffer.Append({2, 0, 3000, 3000}, big.data());
  const std::string path = Path("big.log");
  ASSERT_EQ(WriteSavefile(path, buffer), "");
  EXPECT_EQ(Le32(ReadFile(path), 16), 3000u);  // snapshot length covers the longest record

  char errbuf[PCAP_ERRBUF_SIZE];
  pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
  ASSERT_NE(p, nullptr) << errbuf;
  pcap_pkthdr* h;
  const u_char* data;
  ASSERT_EQ(pcap_next_ex(p, &h, &data), 1);
  ASSERT_EQ(h->caplen, 3000u);
  EXPECT_EQ(h->len, 3000u);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), data));
  ASSERT_EQ(pcap_next_ex(p, &h, &data), 1);
  EXPECT_EQ(h->caplen, 60u);
  EXPECT_EQ(pcap_next_ex(p, &h, &data), PCAP_ERROR_BREAK);
  pcap_close(p);
}

// A display filter's choice: the link types and snapshot length are those
// of the records written, not of the whole buffer.
TEST_F(Savefile, ChosenRecordsAloneDecideTheFileKindAndSnapshotLength) {
  PacketBuffer buffer;
  const std::vector<std::uint8_t> big(3000, 0xab);
  const std::uint8_t small[60] = {};
  buffer.Append({1, 0, 60, 60}, small, 1);           // number 0
  buffer.Append({2, 0, 3, 40}, small, 101);          // number 1
  buffer.Append({3, 0, 3000, 3000}, big.data(), 1);  // number 2
  buffer.Append({4, 0, 3, 40}, small, 101);          // number 3
  auto keep = [](std::initializer_list<std::uint32_t> numbers) {
    const std::vector<std::uint32_t> chosen(numbers);
    return [chosen](const PacketRecord& r) { return std::find(chosen.begin(), chosen.end(), r.number) != chosen.end(); };
  };

  // One link type among the chosen: a classic file of that type.
  const std::string raw = Path("raw.log");
  ASSERT_EQ(WriteSavefile(raw, buffer, keep({1, 3})), "");
  const std::vector<std::uint8_t> rawFile = ReadFile(raw);
  EXPECT_EQ(Le32(rawFile, 0), 0xa1b2c3d4u);
  EXPECT_EQ(Le32(rawFile, 16), 1514u);
  EXPECT_EQ(Le32(rawFile, 20), 101u);
  ASSERT_EQ(rawFile.size(), 24u + 2 * (16 + 3));
  EXPECT_EQ(Le32(rawFile, 24), 4u);  // newest first
  EXPECT_EQ(Le32(rawFile, 24 + 19), 2u);

  // Two: pcapng with their interfaces in the order the buffer first holds
  // them; the 3000-byte record is not among them.
  const std::string mixed = Path("mixed.log");
  ASSERT_EQ(WriteSavefile(mixed, buffer, keep({3, 0})), "");
  const std::vector<std::uint8_t> mixedFile = ReadFile(mixed);
  EXPECT_EQ(Le32(mixedFile, 0), 0x0A0D0D0Au);
  const std::uint32_t first = Le32(mixedFile, 4);   // after the section header
  EXPECT_EQ(Le32(mixedFile, first), 1u);            // first interface block
  EXPECT_EQ(mixedFile[first + 8], 1);               // Ethernet
  EXPECT_EQ(Le32(mixedFile, first + 12), 1514u);
  const std::uint32_t second = first + Le32(mixedFile, first + 4);
  EXPECT_EQ(Le32(mixedFile, second), 1u);
  EXPECT_EQ(mixedFile[second + 8], 101);            // raw IP

  // None: an empty Ethernet file, as for an empty buffer.
  const std::string none = Path("none.log");
  ASSERT_EQ(WriteSavefile(none, buffer, keep({})), "");
  const std::vector<std::uint8_t> noneFile = ReadFile(none);
  ASSERT_EQ(noneFile.size(), 24u);
  EXPECT_EQ(Le32(noneFile, 20), 1u);
}

TEST_F(Savefile, FailureLeavesTheExistingFileAlone) {
  PacketBuffer buffer;
  EXPECT_NE(WriteSavefile(Path("no-such-dir/x.log"), buffer), "");
  EXPECT_EQ(SavedSnapshotLength(0), 1514u);
  EXPECT_EQ(SavedSnapshotLength(1514), 1514u);
  EXPECT_EQ(SavedSnapshotLength(1515), 1515u);
}

}  // namespace
}  // namespace qv
