#include "capture/savefile_writer.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

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

TEST_F(Savefile, FailureLeavesTheExistingFileAlone) {
  PacketBuffer buffer;
  EXPECT_NE(WriteSavefile(Path("no-such-dir/x.log"), buffer), "");
  EXPECT_EQ(SavedSnapshotLength(0), 1514u);
  EXPECT_EQ(SavedSnapshotLength(1514), 1514u);
  EXPECT_EQ(SavedSnapshotLength(1515), 1515u);
}

}  // namespace
}  // namespace qv
