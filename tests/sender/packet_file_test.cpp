// Packet files: the layout byte for byte, round trips of awkward bytes, and
// damaged files refused without touching anything.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sender/packet_file.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class PacketFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qv-spk-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string PathOf(const char* name) const { return (dir_ / name).string(); }
  static void Write(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path dir_;
};

TEST_F(PacketFile, TheInitialFrameMakesAnEightyFiveByteFile) {
  const std::string path = PathOf("packet.spk");
  ASSERT_EQ(SavePacketFile(path, InitialFrame()), "");
  EXPECT_EQ(Read(path), "QUORVANET VERSION 1\r\n60\r\n" + std::string(60, '\xFF'));
  EXPECT_EQ(fs::file_size(path), 85u);
  EXPECT_EQ(LoadPacketFile(path).frame, InitialFrame());
}

TEST_F(PacketFile, RoundTripsKeepEveryByte) {
  Frame all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  const Frame frames[] = {{0x0D, 0x0A, 0x1A, 0x00, 0x0A, 0x0D}, {}, all, Frame(3000, 0x0A)};
  for (const Frame& f : frames) {
    SCOPED_TRACE(f.size());
    const std::string path = PathOf("round.spk");
    ASSERT_EQ(SavePacketFile(path, f), "");
    const PacketFileLoad load = LoadPacketFile(path);
    EXPECT_EQ(load.error, "");
    EXPECT_EQ(load.frame, f);
  }
  EXPECT_EQ(Read(PathOf("round.spk")).substr(0, 27), "QUORVANET VERSION 1\r\n3000\r\n");
  ASSERT_EQ(SavePacketFile(PathOf("empty.spk"), Frame{}), "");
  EXPECT_EQ(Read(PathOf("empty.spk")), "QUORVANET VERSION 1\r\n0\r\n");
}

TEST_F(PacketFile, AcceptsOtherVersionsLfLineEndsAndTrailingBytes) {
  const struct {
    const char* name;
    std::string contents;
    Frame frame;
  } cases[] = {
      {"version 2", "QUORVANET VERSION 2\r\n3\r\nabc", {'a', 'b', 'c'}},
      {"only 8 compared", "QUORVANE whatever\r\n1\r\nz", {'z'}},
      {"LF alone", "QUORVANET VERSION 1\n2\n\r\n", {'\r', '\n'}},
      {"bytes after the frame", "QUORVANET VERSION 1\r\n1\r\nxyz", {'x'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const PacketFileLoad load = ParsePacketFile(c.contents);
    EXPECT_EQ(load.error, "");
    EXPECT_EQ(load.frame, c.frame);
  }
}

TEST_F(PacketFile, DamagedFilesAreRefused) {
  const struct {
    const char* name;
    std::string contents;
  } cases[] = {
      {"other magic", "QUORVANXT VERSION 1\r\n1\r\nz"},
      {"empty file", ""},
      {"magic only", "QUORVANET VERSION 1"},
      {"no length", "QUORVANET VERSION 1\r\n"},
      {"negative length", "QUORVANET VERSION 1\r\n-1\r\nz"},
      {"length not a number", "QUORVANET VERSION 1\r\nabc\r\nz"},
      {"garbage after the length", "QUORVANET VERSION 1\r\n1x\r\nz"},
      {"ends early", "QUORVANET VERSION 1\r\n60\r\n" + std::string(59, '\xFF')},
      {"four billion", "QUORVANET VERSION 1\r\n4000000000\r\nabc"},
      {"twenty digits", "QUORVANET VERSION 1\r\n99999999999999999999\r\nabc"},
      {"first line too long", "QUORVANET" + std::string(300, 'x') + "\r\n1\r\nz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ParsePacketFile(c.contents).error, "Wrong file!");
    const std::string path = PathOf("damaged.spk");
    Write(path, c.contents);
    const PacketFileLoad load = LoadPacketFile(path);
    EXPECT_EQ(load.error, "Wrong file!");
    EXPECT_TRUE(load.frame.empty());
  }
}

TEST_F(PacketFile, MissingFilesAndFailedSaves) {
  EXPECT_EQ(LoadPacketFile(PathOf("absent.spk")).error, "Couldn't open that file");
  EXPECT_EQ(LoadPacketFile(dir_.string()).error, "Couldn't open that file");
  EXPECT_EQ(SavePacketFile(PathOf("no/such/dir/p.spk"), InitialFrame()), "Couldn't create that file");

  // A save that cannot complete leaves the earlier file as it was.
  const std::string path = PathOf("kept.spk");
  ASSERT_EQ(SavePacketFile(path, Frame{1, 2, 3}), "");
  const std::string before = Read(path);
  if (::geteuid() != 0) {
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(SavePacketFile(path, InitialFrame()), "Couldn't create that file");
    fs::permissions(dir_, fs::perms::owner_all);
  }
  // A directory where the file should go cannot be replaced by it.
  fs::create_directories(PathOf("isdir.spk"));
  EXPECT_EQ(SavePacketFile(PathOf("isdir.spk"), InitialFrame()), "Couldn't create that file");
  EXPECT_EQ(Read(path), before);
  // No temporary file is left behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 2);
}

}  // namespace
}  // namespace qv
