// Frames read from a savefile stay in the file: they must read back as the
// capture library first handed them over, in every savefile flavour, and a
// file cut short underneath must give a message, never a crash.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "session_harness.h"

namespace qv::testing {
namespace {

enum class Flavour { Pcap, PcapSwapped, PcapNano, PcapNanoSwapped, Pcapng, PcapngSwapped };

class FileBytes {
 public:
  explicit FileBytes(bool swapped) : swapped_(swapped) {}
  void U16(std::uint16_t v) {
    if (swapped_) v = __builtin_bswap16(v);
    Raw(&v, 2);
  }
  void U32(std::uint32_t v) {
    if (swapped_) v = __builtin_bswap32(v);
    Raw(&v, 4);
  }
  void Raw(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    bytes.insert(bytes.end(), b, b + n);
  }
  void Pad() {
    while (bytes.size() % 4 != 0) bytes.push_back(0);
  }
  Bytes bytes;

 private:
  bool swapped_;
};

// A savefile of `frames` in the flavour; pcapng mixes enhanced packet blocks
// with and without options and a simple packet block.
Bytes SavefileOf(Flavour flavour, const std::vector<Bytes>& frames) {
  const bool swapped = flavour == Flavour::PcapSwapped || flavour == Flavour::PcapNanoSwapped ||
                       flavour == Flavour::PcapngSwapped;
  FileBytes out(swapped);
  if (flavour == Flavour::Pcapng || flavour == Flavour::PcapngSwapped) {
    out.U32(0x0A0D0D0A);
    out.U32(28);
    out.U32(0x1A2B3C4D);
    out.U16(1);
    out.U16(0);
    out.U32(0xFFFFFFFF);
    out.U32(0xFFFFFFFF);
    out.U32(28);
    out.U32(1);  // interface description
    out.U32(20);
    out.U16(1);
    out.U16(0);
    out.U32(65535);
    out.U32(20);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const Bytes& f = frames[i];
      const auto padded = static_cast<std::uint32_t>((f.size() + 3) / 4 * 4);
      if (i == 2) {
        out.U32(3);  // simple packet block
        out.U32(16 + padded);
        out.U32(static_cast<std::uint32_t>(f.size()));
        out.Raw(f.data(), f.size());
        out.Pad();
        out.U32(16 + padded);
        continue;
      }
      const bool comment = i % 2 == 1;
      const std::uint32_t total = 32 + padded + (comment ? 12 : 0);
      out.U32(6);
      out.U32(total);
      out.U32(0);
      out.U32(0);
      out.U32(static_cast<std::uint32_t>(1000 + i));
      out.U32(static_cast<std::uint32_t>(f.size()));
      out.U32(static_cast<std::uint32_t>(f.size()));
      out.Raw(f.data(), f.size());
      out.Pad();
      if (comment) {
        out.U16(1);  // opt_comment "qv"
        out.U16(2);
        out.Raw("qv\0\0", 4);
        out.U32(0);  // opt_endofopt
      }
      out.U32(total);
    }
    return out.bytes;
  }
  const bool nano = flavour == Flavour::PcapNano || flavour == Flavour::PcapNanoSwapped;
  out.U32(nano ? 0xA1B23C4D : 0xA1B2C3D4);
  out.U16(2);
  out.U16(4);
  out.U32(0);
  out.U32(0);
  out.U32(65535);
  out.U32(1);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    out.U32(static_cast<std::uint32_t>(1000 + i));
    out.U32(nano ? 999999999 : 999999);
    out.U32(static_cast<std::uint32_t>(frames[i].size()));
    out.U32(static_cast<std::uint32_t>(frames[i].size()));
    out.Raw(frames[i].data(), frames[i].size());
  }
  return out.bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

std::vector<Bytes> SomeFrames(std::uint32_t firstTag) {
  // Odd sizes leave pcapng padding behind the frame.
  return {TaggedFrame(firstTag, 60), TaggedFrame(firstTag + 1, 1514), TaggedFrame(firstTag + 2, 61),
          TaggedFrame(firstTag + 3, 97), TaggedFrame(firstTag + 4, 60)};
}

std::vector<Bytes> BufferedFrames(const CTalvenorDoc& doc) {
  std::vector<Bytes> out;
  for (std::uint32_t n = 0; n < doc.PacketCount(); ++n) {
    const std::optional<PacketRecord> r = doc.Buffer().Find(n);
    if (!r) break;
    out.emplace_back(r->bytes.begin(), r->bytes.end());
  }
  return out;
}

// For each buffered frame, whether it was left in its file.
std::vector<bool> LeftInFile(const CTalvenorDoc& doc) {
  std::vector<bool> out;
  for (std::uint32_t n = 0; n < doc.PacketCount(); ++n) out.push_back(doc.Buffer().Find(n)->file != nullptr);
  return out;
}

// Writes `frames` as a savefile named `name` and reads it in; its path.
std::string ReadIn(Session& s, const std::string& name, Flavour flavour, const std::vector<Bytes>& frames) {
  const std::string path = s.dir.File(name);
  WriteFile(path, SavefileOf(flavour, frames));
  s.ReadToEnd(path);
  return path;
}

std::string ChangedMessage(const std::string& path) {
  return "The file " + path +
         " has changed since it was read: its packets can no longer be read from it.\n"
         "Open the file again to see its present contents.";
}

TEST(FileFrames, ReadBackEqualsTheFirstReadInEveryFlavour) {
  // Every frame stays in its file, also those of pcapng blocks with options
  // (1, 3) and of the simple packet block (2).
  const std::vector<bool> all(5, true);
  const struct {
    Flavour flavour;
    const char* name;
    const std::vector<bool>& inFile;
  } cases[] = {
      {Flavour::Pcap, "pcap", all},
      {Flavour::PcapSwapped, "pcap big-endian", all},
      {Flavour::PcapNano, "pcap ns", all},
      {Flavour::PcapNanoSwapped, "pcap ns big-endian", all},
      {Flavour::Pcapng, "pcapng", all},
      {Flavour::PcapngSwapped, "pcapng big-endian", all},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    const std::vector<Bytes> frames = SomeFrames(0);
    ReadIn(s, "in.cap", c.flavour, frames);
    EXPECT_TRUE(s.prompt.Messages().empty()) << ::testing::PrintToString(s.prompt.Messages());
    EXPECT_EQ(BufferedFrames(*s.doc), frames);
    EXPECT_EQ(LeftInFile(*s.doc), c.inFile);
    s.ExpectInStep();
  }
}

TEST(FileFrames, AFileCutShortGivesAMessageOnShowAndSave) {
  Session s;
  const std::vector<Bytes> frames = SomeFrames(0);
  const std::string path = ReadIn(s, "in.pcap", Flavour::Pcap, frames);
  std::filesystem::resize_file(path, 30);

  // Shown: told once, and the bars are emptied.
  EXPECT_TRUE(s.doc->ShowPacket(1));
  EXPECT_TRUE(s.doc->ShowPacket(2));
  const std::optional<PacketRecord> r = s.doc->Buffer().Find(1);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->unreadable);
  EXPECT_TRUE(r->bytes.empty());
  EXPECT_EQ(r->capturedLength, 1514u);
  EXPECT_EQ(s.prompt.Messages(), (std::vector<std::string>{ChangedMessage(path)}));

  // Saved: refused, and no file is left behind.
  EXPECT_FALSE(s.doc->Save(s.dir.File("out.pcap")));
  EXPECT_FALSE(std::filesystem::exists(s.dir.File("out.pcap")));
  EXPECT_FALSE(std::filesystem::exists(s.dir.File("out.pcap.part")));
  ASSERT_EQ(s.prompt.Messages().size(), 2u);
  EXPECT_NE(s.prompt.Messages()[1].find("has changed since it was read"), std::string::npos);

  // Cleared, the file is let go, and reading it again gives what is there now.
  s.doc->ClearPackets();
  s.ui.Drain();
  EXPECT_EQ(s.doc->PacketCount(), 0u);
}

TEST(FileFrames, AFileRewrittenInPlaceOrGrownIsTold) {
  // The same size, new contents: the modification time says so.
  {
    Session s;
    const std::string path = ReadIn(s, "in.pcap", Flavour::Pcap, SomeFrames(0));
    WriteFile(path, SavefileOf(Flavour::Pcap, SomeFrames(100)));
    struct timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};  // a time surely other than the first
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_TRUE(s.doc->Buffer().Find(3)->unreadable);
  }
  // Grown by other frames in front: the fingerprint of each frame says so,
  // while a file that only grew at its end still reads back.
  {
    Session s;
    const std::vector<Bytes> frames = SomeFrames(0);
    const std::string path = ReadIn(s, "in.pcap", Flavour::Pcap, frames);
    std::vector<Bytes> more = frames;
    more.push_back(TaggedFrame(50, 80));
    WriteFile(path, SavefileOf(Flavour::Pcap, more));
    EXPECT_EQ(BufferedFrames(*s.doc), frames);

    std::vector<Bytes> shifted = SomeFrames(200);
    shifted.insert(shifted.end(), frames.begin(), frames.end());
    WriteFile(path, SavefileOf(Flavour::Pcap, shifted));
    EXPECT_TRUE(s.doc->Buffer().Find(4)->unreadable);
  }
}

TEST(FileFrames, AFileReplacedUnderItsNameStillReadsBackItsOldFrames) {
  Session s;
  const std::vector<Bytes> frames = SomeFrames(0);
  const std::string path = ReadIn(s, "in.pcap", Flavour::Pcap, frames);
  const std::string other = s.dir.File("other.pcap");
  WriteFile(other, SavefileOf(Flavour::Pcap, SomeFrames(100)));
  std::filesystem::rename(other, path);
  EXPECT_EQ(BufferedFrames(*s.doc), frames);
  EXPECT_TRUE(s.doc->ShowPacket(3));
  EXPECT_TRUE(s.prompt.Messages().empty());
}

TEST(FileFrames, TwoFilesOpenedInTurnEachReadFromTheirOwn) {
  Session s;
  const std::vector<Bytes> first = SomeFrames(0);
  const std::vector<Bytes> second = SomeFrames(100);
  const std::string a = ReadIn(s, "a.pcap", Flavour::Pcap, first);
  ReadIn(s, "b.pcapng", Flavour::Pcapng, second);
  std::vector<Bytes> both = first;
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_EQ(BufferedFrames(*s.doc), both);
  s.ExpectInStep();

  // Cutting the first file short spoils its frames only.
  std::filesystem::resize_file(a, 30);
  EXPECT_TRUE(s.doc->Buffer().Find(0)->unreadable);
  EXPECT_FALSE(s.doc->Buffer().Find(5)->unreadable);
  EXPECT_EQ(BufferedFrames(*s.doc)[9], second[4]);

  // Saved, the second file's frames are still there but the first's are not:
  // the save is refused rather than writing a file with holes.
  EXPECT_FALSE(s.doc->Save(s.dir.File("out.pcap")));
}

TEST(FileFrames, FramesFromAPipeAreCopied) {
  // A pipe has no places to return to.
  Session s;
  const std::vector<Bytes> frames = SomeFrames(0);
  const std::string fifo = s.dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { WriteFile(fifo, SavefileOf(Flavour::Pcap, frames)); });
  s.ReadToEnd(fifo);
  writer.join();
  EXPECT_EQ(BufferedFrames(*s.doc), frames);
  EXPECT_EQ(LeftInFile(*s.doc), std::vector<bool>(5, false));
}

}  // namespace
}  // namespace qv::testing
