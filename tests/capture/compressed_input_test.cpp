#include "capture/compressed_input.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "compressed_fixtures.h"
#include "temp_dir.h"

namespace qv {
namespace {

using ::testing::HasSubstr;
using testing::Bytes;
using testing::CaptureLikeBytes;
using testing::CompressPart;

enum class Source { File, Pipe };

struct Outcome {
  Decompressed result;
  Bytes bytes;  // what the temporary file holds
  bool atStart = false;
};

Bytes Concatenated(Compression compression, const std::vector<Bytes>& parts, bool withSize = true) {
  Bytes out;
  for (const Bytes& p : parts) {
    const Bytes c = CompressPart(compression, p, withSize);
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

Bytes Joined(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes StartOf(const Bytes& bytes, std::size_t size) { return Bytes(bytes.begin(), bytes.begin() + size); }

// The temporary folder stands for the user's cache folder.
class CompressedInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CACHE_HOME")) oldCache_ = old;
    ::setenv("XDG_CACHE_HOME", dir_.File("cache").c_str(), 1);
    // A run that stops early closes the pipe on its writer.
    ::signal(SIGPIPE, SIG_IGN);
  }
  void TearDown() override {
    if (oldCache_) {
      ::setenv("XDG_CACHE_HOME", oldCache_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CACHE_HOME");
    }
  }
  std::string CacheDir() const { return dir_.File("cache") + "/quorvanet"; }

  // Decompresses `compressed` read from a file or a pipe, the way a reader
  // does: the magic is read first and handed back as the prefix.
  Outcome Run(const Bytes& compressed, Source source, const DecompressProgress& progress = nullptr,
              const DecompressOptions& options = {}) {
    int fd = -1;
    std::thread writer;
    if (source == Source::File) {
      const std::string path = dir_.Write("input", std::string_view(reinterpret_cast<const char*>(compressed.data()),
                                                                     compressed.size()));
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } else {
      int ends[2];
      EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
      fd = ends[0];
      writer = std::thread([&compressed, out = ends[1]] {
        std::size_t done = 0;
        while (done < compressed.size()) {
          const ssize_t put = ::write(out, compressed.data() + done, compressed.size() - done);
          if (put <= 0) break;
          done += static_cast<std::size_t>(put);
        }
        ::close(out);
      });
    }
    EXPECT_GE(fd, 0);
    std::uint8_t head[kCompressionMagicBytes];
    std::size_t got = 0;
    while (got < sizeof head) {
      const ssize_t n = ::read(fd, head + got, sizeof head - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    const std::span<const std::uint8_t> prefix(head, got);
    Outcome o;
    o.result = Decompress(fd, prefix, DetectCompression(prefix), "test capture", progress, options);
    ::close(fd);
    if (writer.joinable()) writer.join();
    if (o.result.fd >= 0) {
      o.atStart = ::lseek(o.result.fd, 0, SEEK_CUR) == 0;
      o.bytes.resize(o.result.size + 1);  // one more: the file holds no more than it says
      std::size_t have = 0;
      for (ssize_t n; (n = ::read(o.result.fd, o.bytes.data() + have, o.bytes.size() - have)) > 0;) {
        have += static_cast<std::size_t>(n);
      }
      o.bytes.resize(have);
      ::close(o.result.fd);
    }
    return o;
  }

  qv::testing::TempDir dir_;
  std::optional<std::string> oldCache_;
};

TEST(DetectCompressionTest, ByMagicNumbersOnly) {
  const struct {
    Bytes head;
    Compression expected;
  } cases[] = {
      {{0x1f, 0x8b, 0x08, 0x00}, Compression::Gzip},
      {{0x1f, 0x8b}, Compression::Gzip},
      {{0x28, 0xb5, 0x2f, 0xfd, 0x24}, Compression::Zstd},
      {{0x04, 0x22, 0x4d, 0x18}, Compression::Lz4},
      {{0xd4, 0xc3, 0xb2, 0xa1}, Compression::None},   // classic savefile, little-endian
      {{0x0a, 0x0d, 0x0d, 0x0a}, Compression::None},   // pcapng section header
      {{0x28, 0xb5, 0x2f}, Compression::None},         // too short to be zstd
      {{0x04, 0x22, 0x4d}, Compression::None},
      {{0x1f}, Compression::None},
      {{}, Compression::None},
      {{0x02, 0x21, 0x4c, 0x18}, Compression::None},   // lz4's legacy format
      {{0x1f, 0x9d, 0x90, 0x00}, Compression::None},   // compress(1)
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DetectCompression(c.head), c.expected) << ::testing::PrintToString(c.head);
  }
  EXPECT_STREQ(CompressionName(Compression::Gzip), "gzip");
  EXPECT_STREQ(CompressionName(Compression::Zstd), "zstd");
  EXPECT_STREQ(CompressionName(Compression::Lz4), "lz4");
}

struct FormatCase {
  Compression compression;
  Source source;
};

const FormatCase kFormats[] = {
    {Compression::Gzip, Source::File}, {Compression::Gzip, Source::Pipe}, {Compression::Zstd, Source::File},
    {Compression::Zstd, Source::Pipe}, {Compression::Lz4, Source::File},  {Compression::Lz4, Source::Pipe},
};

std::string Describe(const FormatCase& c) {
  return std::string(CompressionName(c.compression)) + (c.source == Source::File ? " file" : " pipe");
}

// Several members or frames, one larger than the buffers, an empty one,
// and one of a single byte.
const std::vector<Bytes>& Parts() {
  static const std::vector<Bytes> parts{CaptureLikeBytes(2'500'000, 1), CaptureLikeBytes(1, 2), Bytes{},
                                        CaptureLikeBytes(300'000, 3)};
  return parts;
}

TEST_F(CompressedInputTest, EveryFormatGivesBackTheBytesOfAllItsMembersOrFrames) {
  const Bytes expected = Joined(Parts());
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(Describe(c));
    for (const bool withSize : {true, false}) {
      const Bytes compressed = Concatenated(c.compression, Parts(), withSize);
      std::uint64_t lastConsumed = 0, total = 1;
      bool ordered = true;
      const Outcome o = Run(compressed, c.source, [&](std::uint64_t consumed, std::uint64_t t) {
        ordered = ordered && consumed >= lastConsumed;
        lastConsumed = consumed;
        total = t;
        return true;
      });
      EXPECT_EQ(o.result.problem, DecompressProblem::None) << o.result.error;
      EXPECT_FALSE(o.result.stopped);
      EXPECT_TRUE(o.atStart);
      EXPECT_EQ(o.result.size, expected.size());
      EXPECT_TRUE(o.bytes == expected);
      EXPECT_TRUE(ordered);
      EXPECT_EQ(lastConsumed, compressed.size());
      EXPECT_EQ(total, c.source == Source::File ? compressed.size() : 0u);
    }
  }
}

TEST_F(CompressedInputTest, ACutShortStreamKeepsWhatCameBeforeTheCut) {
  const Bytes expected = Joined(Parts());
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(Describe(c));
    Bytes compressed = Concatenated(c.compression, Parts());
    compressed.resize(compressed.size() / 2);
    const Outcome o = Run(compressed, c.source);
    EXPECT_EQ(o.result.problem, DecompressProblem::Damaged);
    EXPECT_EQ(o.result.errorOffset, compressed.size());
    EXPECT_THAT(o.result.error, HasSubstr("data of test capture is cut short at byte " +
                                          std::to_string(compressed.size())));
    EXPECT_GT(o.result.size, 500'000u);
    EXPECT_LT(o.result.size, expected.size());
    EXPECT_TRUE(o.bytes == StartOf(expected, o.bytes.size()));
  }
}

TEST_F(CompressedInputTest, DamageIsReportedWithItsOffsetAndTheFirstMemberIsKept) {
  const std::vector<Bytes> parts{CaptureLikeBytes(700'000, 4), CaptureLikeBytes(900'000, 5)};
  for (const FormatCase& c : kFormats) {
    const Bytes first = CompressPart(c.compression, parts[0]);
    const Bytes second = CompressPart(c.compression, parts[1]);
    const struct {
      const char* what;
      std::size_t at;  // in the second member or frame
      std::size_t length;
    } damages[] = {
        {"its header", 0, 4},
        {"its middle", second.size() / 2, 16},
        {"its checksum", second.size() - 2, 2},
    };
    for (const auto& d : damages) {
      SCOPED_TRACE(Describe(c) + ", " + d.what);
      Bytes compressed = first;
      compressed.insert(compressed.end(), second.begin(), second.end());
      for (std::size_t i = 0; i < d.length; ++i) compressed[first.size() + d.at + i] ^= 0x5a;
      const Outcome o = Run(compressed, c.source);
      EXPECT_EQ(o.result.problem, DecompressProblem::Damaged);
      EXPECT_THAT(o.result.error, HasSubstr("data of test capture is damaged at byte " +
                                            std::to_string(o.result.errorOffset)));
      EXPECT_GE(o.result.errorOffset, first.size() + d.at);
      EXPECT_LE(o.result.errorOffset, compressed.size());
      // Bytes of the damaged member may have come out before the damage
      // showed; those of the whole member before it all did.
      ASSERT_GE(o.bytes.size(), parts[0].size());
      EXPECT_TRUE(StartOf(o.bytes, parts[0].size()) == parts[0]);
      if (d.at == 0) {
        EXPECT_EQ(o.bytes.size(), parts[0].size());
        // Found within the slice of input the decoder was given.
        EXPECT_LE(o.result.errorOffset, first.size() + 64 * 1024);
      }
    }
  }
}

TEST_F(CompressedInputTest, BytesAfterTheLastGzipMemberAreDamage) {
  Bytes compressed = CompressPart(Compression::Gzip, CaptureLikeBytes(1000));
  const std::size_t end = compressed.size();
  compressed.insert(compressed.end(), {'j', 'u', 'n', 'k'});
  const Outcome o = Run(compressed, Source::File);
  EXPECT_EQ(o.result.problem, DecompressProblem::Damaged);
  EXPECT_EQ(o.result.errorOffset, end);
  EXPECT_EQ(o.result.size, 1000u);
}

TEST_F(CompressedInputTest, AStopAskedForEndsSoonWithWhatThereIs) {
  const Bytes expected = Joined(Parts());
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(Describe(c));
    int calls = 0;
    const Outcome o = Run(Concatenated(c.compression, Parts()), c.source, [&](std::uint64_t, std::uint64_t) {
      return ++calls < 3;
    });
    EXPECT_TRUE(o.result.stopped);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(o.result.problem, DecompressProblem::None) << o.result.error;
    EXPECT_GT(o.result.size, 0u);
    EXPECT_LT(o.result.size, expected.size());
    EXPECT_TRUE(o.bytes == StartOf(expected, o.bytes.size()));
  }
}

TEST_F(CompressedInputTest, AFrameThatAnnouncesMoreThanFitsIsRefusedAtOnce) {
  const Bytes part = CaptureLikeBytes(3'000'000);
  for (const Compression compression : {Compression::Zstd, Compression::Lz4, Compression::Gzip}) {
    SCOPED_TRACE(CompressionName(compression));
    int writes = 0;
    DecompressOptions options;
    options.freeSpace = [&](const std::string& folder) -> std::optional<std::uint64_t> {
      EXPECT_EQ(folder, CacheDir());
      ++writes;
      return 1'500'000;
    };
    // gzip's size trailer is read from the end of a file; zstd and lz4
    // announce the size in the frame header, so a pipe does too.
    const Source source = compression == Compression::Gzip ? Source::File : Source::Pipe;
    const Outcome o = Run(CompressPart(compression, part), source, nullptr, options);
    EXPECT_EQ(o.result.problem, DecompressProblem::NoRoom);
    EXPECT_EQ(o.result.fd, -1);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(o.result.error, "Not enough room in " + CacheDir() +
                                  " to decompress test capture: it needs about 3 MB and 1 MB are free.");
  }
}

TEST_F(CompressedInputTest, AFullDiskStopsTheWritingWithAnEstimateOfTheRoomNeeded) {
  // No size announced: the estimate comes from the ratio so far, or is a
  // lower bound when the input's length is not known (a pipe).
  const Bytes part = CaptureLikeBytes(4'000'000);
  DecompressOptions options;
  options.freeSpace = [](const std::string&) -> std::optional<std::uint64_t> { return 600'000; };
  for (const FormatCase& c : kFormats) {
    if (c.compression == Compression::Gzip && c.source == Source::File) continue;  // has the trailer's size
    SCOPED_TRACE(Describe(c));
    const Outcome o = Run(CompressPart(c.compression, part, false), c.source, nullptr, options);
    EXPECT_EQ(o.result.problem, DecompressProblem::NoRoom);
    const std::string start = "Not enough room in " + CacheDir() + " to decompress test capture: it needs ";
    const std::string end = " MB and 0 MB are free.";
    const std::string& e = o.result.error;
    ASSERT_EQ(e.substr(0, start.size()), start) << e;
    ASSERT_GT(e.size(), start.size() + end.size());
    ASSERT_EQ(e.substr(e.size() - end.size()), end) << e;
    const std::string needed = e.substr(start.size(), e.size() - start.size() - end.size());
    if (c.source == Source::File) {
      // About 4 MB, from the ratio of the first megabyte.
      ASSERT_EQ(needed.substr(0, 6), "about ") << e;
      EXPECT_GE(std::stoi(needed.substr(6)), 3);
      EXPECT_LE(std::stoi(needed.substr(6)), 5);
    } else {
      EXPECT_EQ(needed.substr(0, 10), "more than ") << e;
    }
  }
}

TEST_F(CompressedInputTest, NothingIsLeftInTheCacheFolder) {
  const Bytes compressed = Concatenated(Compression::Zstd, Parts());
  const Outcome whole = Run(compressed, Source::File);
  Bytes cut = compressed;
  cut.resize(cut.size() / 3);
  const Outcome damaged = Run(cut, Source::Pipe);
  EXPECT_EQ(whole.result.problem, DecompressProblem::None);
  EXPECT_EQ(damaged.result.problem, DecompressProblem::Damaged);
  ASSERT_TRUE(std::filesystem::is_directory(CacheDir()));
  EXPECT_TRUE(std::filesystem::is_empty(CacheDir()));
  const auto permissions = std::filesystem::status(CacheDir()).permissions();
  EXPECT_EQ(permissions & std::filesystem::perms::all, std::filesystem::perms::owner_all);
}

TEST_F(CompressedInputTest, AnUncompressedFileIsNotTaken) {
  const Outcome o = Run(Bytes{0xd4, 0xc3, 0xb2, 0xa1, 2, 0, 4, 0}, Source::File);
  EXPECT_EQ(o.result.fd, -1);
  EXPECT_NE(o.result.problem, DecompressProblem::None);
  EXPECT_FALSE(o.result.error.empty());
}

}  // namespace
}  // namespace qv
