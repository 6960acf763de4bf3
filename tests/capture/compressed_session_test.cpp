// Compressed capture files through the session: each format reads to the
// frames of the plain file, left in the decompressed copy; a damaged stream
// keeps the frames before the damage; the copy goes away with the frames.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "capture/compressed_input.h"
#include "capture/settings_store.h"
#include "capture_file_builder.h"
#include "compressed_fixtures.h"
#include "recording_prompt.h"
#include "temp_dir.h"

namespace qv {
namespace {

using testing::RecordingPrompt;
using testing::TempDir;

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// 400 frames of every size from 60 to 459 bytes, each filled with its number.
std::vector<std::uint8_t> PlainCapture() {
  std::vector<testing::PcapRecordSpec> records;
  for (std::uint32_t i = 0; i < 400; ++i) {
    records.push_back({1000 + i, i, std::vector<std::uint8_t>(60 + i, static_cast<std::uint8_t>(i)), 0});
  }
  return testing::PcapFile(false, 0xA1B2C3D4, 65535, 1, records).Bytes();
}

// The decompressed copies this process holds open in `folder`.
int OpenCopiesIn(const std::string& folder) {
  int n = 0;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    const std::string target = std::filesystem::read_symlink(fd.path(), ignored).string();
    if (target.rfind(folder, 0) == 0) ++n;
  }
  return n;
}

class CompressedSession : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CACHE_HOME");
    if (old != nullptr) oldCache_ = old;
    ::setenv("XDG_CACHE_HOME", dir_.File("cache").c_str(), 1);
  }
  void TearDown() override {
    if (oldCache_.empty()) {
      ::unsetenv("XDG_CACHE_HOME");
    } else {
      ::setenv("XDG_CACHE_HOME", oldCache_.c_str(), 1);
    }
  }
  std::string CacheFolder() const { return dir_.File("cache") + "/quorvanet"; }

  TempDir dir_;
  std::string oldCache_;
};

TEST_F(CompressedSession, EachFormatReadsAsThePlainFile) {
  const std::vector<std::uint8_t> plain = PlainCapture();
  for (const Compression c : {Compression::Gzip, Compression::Zstd, Compression::Lz4}) {
    SCOPED_TRACE(CompressionName(c));
    // Two members (frames) in one file, as concatenated archives have.
    const std::size_t half = plain.size() / 2;
    std::vector<std::uint8_t> packed = testing::CompressPart(c, {plain.begin(), plain.begin() + half});
    const std::vector<std::uint8_t> rest = testing::CompressPart(c, {plain.begin() + half, plain.end()});
    packed.insert(packed.end(), rest.begin(), rest.end());
    const std::string path = dir_.File(std::string("capture-") + CompressionName(c));  // no telling name
    WriteFile(path, packed);

    RecordingPrompt prompt;
    MemorySettingsStore settings;
    CTalvenorDoc doc(prompt, settings);
    ASSERT_TRUE(doc.Open(path));
    doc.WaitForCapture();
    EXPECT_TRUE(prompt.Messages().empty()) << ::testing::PrintToString(prompt.Messages());
    ASSERT_EQ(doc.PacketCount(), 400u);
    for (std::uint32_t n = 0; n < 400; n += 37) {
      const std::optional<PacketRecord> r = doc.Buffer().Find(n);
      ASSERT_TRUE(r);
      EXPECT_EQ(r->capturedLength, 60 + n);
      EXPECT_EQ(r->bytes[0], static_cast<std::uint8_t>(n));
      EXPECT_EQ(r->seconds, 1000 + n);
      EXPECT_NE(r->file, nullptr) << "left in the decompressed copy";
    }
    EXPECT_EQ(OpenCopiesIn(CacheFolder()), 1);
    doc.ClearAll();
    EXPECT_EQ(OpenCopiesIn(CacheFolder()), 0) << "the copy outlived the frames";
  }
  // Nothing of them is left behind under a name either.
  EXPECT_TRUE(std::filesystem::is_empty(CacheFolder()));
}

TEST_F(CompressedSession, DamageKeepsTheFramesBeforeIt) {
  const std::vector<std::uint8_t> plain = PlainCapture();
  std::vector<std::uint8_t> packed = testing::CompressPart(Compression::Gzip, plain);
  packed[packed.size() * 2 / 3] ^= 0x55;
  const std::string path = dir_.File("damaged.pcap.gz");
  WriteFile(path, packed);

  RecordingPrompt prompt;
  MemorySettingsStore settings;
  CTalvenorDoc doc(prompt, settings);
  ASSERT_TRUE(doc.Open(path));
  doc.WaitForCapture();
  EXPECT_TRUE(doc.LastRunFailed());
  const std::uint32_t kept = doc.PacketCount();
  EXPECT_LT(kept, 400u);
  const std::vector<std::string> messages = prompt.Messages();
  ASSERT_EQ(messages.size(), 1u);
  const std::string& message = messages.front();
  EXPECT_EQ(message.rfind("The file " + path + " is damaged at byte ", 0), 0u) << message;
  EXPECT_NE(message.find("; the " + std::to_string(kept) + " packets before it were kept."), std::string::npos)
      << message;
}

}  // namespace
}  // namespace qv
