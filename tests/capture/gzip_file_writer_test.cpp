#include "capture/gzip_file_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>

#include "compressed_fixtures.h"
#include "temp_dir.h"

namespace qv {
namespace {

using testing::Bytes;

Bytes Gunzip(const std::string& path) {
  gzFile in = gzopen(path.c_str(), "rb");
  EXPECT_NE(in, nullptr);
  Bytes out;
  std::uint8_t piece[65536];
  for (int n; in != nullptr && (n = gzread(in, piece, sizeof piece)) > 0;) out.insert(out.end(), piece, piece + n);
  if (in != nullptr) gzclose(in);
  return out;
}

TEST(GzipFileWriterTest, WhatIsWrittenComesBackFromGunzip) {
  testing::TempDir dir;
  const Bytes data = testing::CaptureLikeBytes(3'000'000);
  const std::string path = dir.File("saved.pcap.gz");
  std::FILE* out = OpenGzipFileForWriting(path);
  ASSERT_NE(out, nullptr);
  // In pieces of every size, as a writer flushes its records.
  std::size_t done = 0;
  for (std::size_t piece = 1; done < data.size(); piece = piece * 3 + 1) {
    const std::size_t n = std::min(piece % 200'000 + 1, data.size() - done);
    ASSERT_EQ(std::fwrite(data.data() + done, 1, n, out), n);
    done += n;
  }
  ASSERT_EQ(std::fclose(out), 0);

  std::uint8_t magic[2] = {};
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_EQ(::read(fd, magic, 2), 2);
  ::close(fd);
  EXPECT_EQ(magic[0], 0x1f);
  EXPECT_EQ(magic[1], 0x8b);
  EXPECT_TRUE(Gunzip(path) == data);
}

TEST(GzipFileWriterTest, AFileThatCannotBeWrittenWholeFailsAtTheLatestAtClose) {
  testing::TempDir dir;
  errno = 0;
  EXPECT_EQ(OpenGzipFileForWriting(dir.File("missing/saved.pcap.gz")), nullptr);
  EXPECT_EQ(errno, ENOENT);

  // /dev/full takes no byte: ENOSPC, as a full disk gives.
  std::FILE* out = OpenGzipFileForWriting("/dev/full");
  if (out == nullptr) GTEST_SKIP() << "no /dev/full";
  const Bytes data = testing::CaptureLikeBytes(1'000'000);
  const bool written = std::fwrite(data.data(), 1, data.size(), out) == data.size() && std::fflush(out) == 0;
  const bool closed = std::fclose(out) == 0;
  EXPECT_FALSE(written && closed);
  EXPECT_EQ(errno, ENOSPC);
}

TEST(GzipFileWriterTest, SavesCompressedByTheNameEndingInGz) {
  EXPECT_TRUE(IsGzipFileName("capture.pcap.gz"));
  EXPECT_TRUE(IsGzipFileName("dir.gz/capture.gz"));
  EXPECT_FALSE(IsGzipFileName("capture.pcap"));
  EXPECT_FALSE(IsGzipFileName(".gz"));
  EXPECT_FALSE(IsGzipFileName("capture.gzip"));
  EXPECT_FALSE(IsGzipFileName("dir.gz/capture"));
}

}  // namespace
}  // namespace qv
