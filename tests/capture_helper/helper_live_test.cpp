// The capture helper on a veth pair inside a network namespace of the
// test's own: one helper sends a bounded burst on qv1 with its send mode,
// another captures it on qv0 into pcapng files (rotating once on the way);
// every frame must be in the files, whole and in order, and neither helper
// may hold a capability while it works. Nothing leaves the namespace.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "capture/savefile_reader.h"
#include "helper_process.h"
#include "veth_namespace.h"

namespace qv::testing {
namespace {

using control::MessageType;

constexpr std::uint32_t kBurst = 20000;
constexpr std::uint32_t kGapMicroseconds = 10;
constexpr const char* kNoCapabilities = "0000000000000000";

// Ethernet to qv0 from qv1, EtherType 0x88B5 (local experimental), with a
// payload that fills the minimum frame.
std::vector<std::uint8_t> TestFrame(std::size_t length = 60) {
  std::vector<std::uint8_t> f = {0x02, 0x51, 0x56, 0x00, 0x00, 0x10, 0x02, 0x51, 0x56, 0x00, 0x00, 0x11, 0x88, 0xB5};
  for (std::size_t i = f.size(); i < length; ++i) f.push_back(static_cast<std::uint8_t>(i));
  return f;
}

class OutputFile {
 public:
  OutputFile() {
    char path[] = "/tmp/qv-helper-live-XXXXXX";
    fd_ = ::mkstemp(path);
    path_ = path;
  }
  ~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    ::unlink(path_.c_str());
  }
  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

struct FileFrames {
  std::size_t count = 0;
  std::size_t others = 0;  // frames that are not the test's (there should be none)
  std::uint64_t lastStamp = 0;
  bool inOrder = true;
  bool whole = true;
  std::string damage;
  std::vector<SavefileInterface> interfaces;
};

// Reads a file with the program's own reader, as the parent will.
void ReadFrames(const std::string& path, const std::vector<std::uint8_t>& expected, FileFrames& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0) << path;
  SavefileReader reader(fd, {});
  SavefileFrame frame;
  for (;;) {
    const SavefileReader::Result r = reader.Next(frame);
    if (r == SavefileReader::Result::End) break;
    if (r == SavefileReader::Result::Damaged) {
      out.damage = reader.Damage().what;
      break;
    }
    const bool ours = frame.header.capturedLength == expected.size() &&
                      std::memcmp(frame.bytes, expected.data(), expected.size()) == 0;
    if (!ours) {
      ++out.others;
      continue;
    }
    out.whole = out.whole && frame.header.wireLength == expected.size();
    const std::uint64_t stamp = std::uint64_t{frame.header.seconds} * 1'000'000'000ull + NanosecondsOf(frame.header);
    out.inOrder = out.inOrder && stamp >= out.lastStamp;
    out.lastStamp = stamp;
    ++out.count;
  }
  out.interfaces = reader.Interfaces();
  ::close(fd);
}

class HelperOnVeth : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MayCapture()) GTEST_SKIP() << "this process may not open a packet socket (no cap_net_raw)";
    const std::string why = ns_.Make();
    if (!why.empty()) GTEST_SKIP() << why;
  }
  VethNamespace ns_{"qvhelper"};
};

TEST_F(HelperOnVeth, BurstArrivesWholeAndInOrderAcrossARotation) {
  OutputFile first;
  OutputFile second;
  HelperProcess capture;
  ASSERT_TRUE(capture.Start({"capture", "--adapter", "qv0", "--snaplen", "262144", "--promisc", "1", "--timeout", "20",
                             "--buffer", "16777216", "--filter", "ether proto 0x88b5"},
                            first.Fd(), ns_.Name()));
  auto startedMessage = capture.WaitFor(MessageType::Started);
  ASSERT_TRUE(startedMessage) << capture.ErrorText();
  const auto started = *control::Started::Decode(startedMessage->payload);
  EXPECT_EQ(started.linkType, 1u);
  EXPECT_EQ(capture.Status("CapEff"), kNoCapabilities);
  EXPECT_EQ(capture.Status("CapPrm"), kNoCapabilities);
  EXPECT_EQ(capture.Status("Seccomp"), "2");

  HelperProcess sender;
  ASSERT_TRUE(sender.Start({"send", "--adapter", "qv1"}, -1, ns_.Name()));
  const std::vector<std::uint8_t> frame = TestFrame();
  ASSERT_TRUE(sender.Send(control::SendFrames{.count = kBurst, .gapMicroseconds = kGapMicroseconds, .frame = frame}.Encode()));

  // Part of the way in, the parent gives the capture a new file.
  auto progress = sender.WaitFor(MessageType::SendProgress);
  ASSERT_TRUE(progress) << sender.ErrorText();
  EXPECT_EQ(sender.Status("CapEff"), kNoCapabilities);
  EXPECT_EQ(sender.Status("CapPrm"), kNoCapabilities);
  EXPECT_EQ(sender.Status("Seccomp"), "2");
  ASSERT_TRUE(capture.Send(control::Rotate{}.Encode(), second.Fd()));
  auto switchedMessage = capture.WaitFor(MessageType::FileSwitched);
  ASSERT_TRUE(switchedMessage) << capture.ErrorText();
  const auto switched = *control::FileSwitched::Decode(switchedMessage->payload);

  auto doneMessage = sender.WaitFor(MessageType::SendDone, std::chrono::seconds(60));
  ASSERT_TRUE(doneMessage) << sender.ErrorText();
  const auto done = *control::SendDone::Decode(doneMessage->payload);
  EXPECT_EQ(done.sent, kBurst) << done.firstError;
  EXPECT_EQ(done.failed, 0u) << done.firstError;
  // The gaps are kept to absolute deadlines: the burst never takes less.
  EXPECT_GE(done.nanoseconds, std::uint64_t{kBurst} * kGapMicroseconds * 1000);
  ASSERT_TRUE(sender.Send(control::Stop{}.Encode()));
  EXPECT_TRUE(sender.ReadToEnd());
  EXPECT_EQ(sender.Wait().code, 0);

  // Wait (bounded) until the capture has written the burst, then stop it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::uint64_t framesInNew = 0;
  while (switched.framesInOldFile + framesInNew < kBurst && std::chrono::steady_clock::now() < deadline) {
    auto w = capture.WaitFor(MessageType::Written, std::chrono::milliseconds(500));
    if (w) framesInNew = control::Written::Decode(w->payload)->frames;
  }
  ASSERT_TRUE(capture.Send(control::Stop{}.Encode()));
  ASSERT_TRUE(capture.ReadToEnd());
  const HelperExit exit = capture.Wait();
  EXPECT_TRUE(exit.exited) << "signal " << exit.signal;
  EXPECT_EQ(exit.code, 0) << capture.ErrorText();
  const auto end = *control::End::Decode(capture.SeenOf(MessageType::End).at(0).payload);
  const auto drops = capture.SeenOf(MessageType::Drops);
  ASSERT_FALSE(drops.empty());
  EXPECT_EQ(control::Drops::Decode(drops.back().payload)->kernelDrops, 0u);

  FileFrames old;
  FileFrames now;
  ReadFrames(first.Path(), frame, old);
  ReadFrames(second.Path(), frame, now);
  EXPECT_EQ(old.damage, "");
  EXPECT_EQ(now.damage, "");
  EXPECT_EQ(old.count, switched.framesInOldFile);
  EXPECT_EQ(now.count, end.frames);
  EXPECT_EQ(old.count + now.count, kBurst);
  EXPECT_EQ(old.others + now.others, 0u);
  EXPECT_TRUE(old.inOrder && now.inOrder && old.whole && now.whole);
  EXPECT_LE(old.lastStamp, now.lastStamp);
  // Each file describes the adapter: Ethernet, nanosecond stamps, its name.
  for (const FileFrames* f : {&old, &now}) {
    ASSERT_EQ(f->interfaces.size(), 1u);
    EXPECT_EQ(f->interfaces[0].linkType, 1);
    EXPECT_EQ(f->interfaces[0].unitsPerSecond, 1'000'000'000u);
    EXPECT_EQ(f->interfaces[0].name, "qv0");
    EXPECT_EQ(f->interfaces[0].snapshotLength, 262144u);
  }
}

TEST_F(HelperOnVeth, SendRefusesFramesPastTheMtuAndStopsAnEndlessBurst) {
  HelperProcess sender;
  ASSERT_TRUE(sender.Start({"send", "--adapter", "qv1"}, -1, ns_.Name()));

  // veth's MTU is 1500; with the 14-byte Ethernet header 1514 bytes go, 1515 do not.
  ASSERT_TRUE(sender.Send(control::SendFrames{.count = 1, .gapMicroseconds = 0, .frame = TestFrame(1515)}.Encode()));
  auto refused = sender.WaitFor(MessageType::SendDone);
  ASSERT_TRUE(refused) << sender.ErrorText();
  const auto r = *control::SendDone::Decode(refused->payload);
  EXPECT_EQ(r.sent, 0u);
  EXPECT_EQ(r.firstError, "The frame is longer than the adapter's MTU (1500 bytes) and its link header");

  ASSERT_TRUE(sender.Send(control::SendFrames{.count = 1, .gapMicroseconds = 0, .frame = TestFrame(1514)}.Encode()));
  auto one = sender.WaitFor(MessageType::SendDone);
  ASSERT_TRUE(one) << sender.ErrorText();
  EXPECT_EQ(control::SendDone::Decode(one->payload)->sent, 1u);

  // Count 0 sends until Stop, a frame a millisecond; Stop ends it within a gap.
  ASSERT_TRUE(sender.Send(control::SendFrames{.count = 0, .gapMicroseconds = 1000, .frame = TestFrame()}.Encode()));
  // (The single frame's burst told its progress too: wait for this one's.)
  for (;;) {
    auto progress = sender.WaitFor(MessageType::SendProgress);
    ASSERT_TRUE(progress) << sender.ErrorText();
    if (control::SendProgress::Decode(progress->payload)->sent > 1) break;
  }
  ASSERT_TRUE(sender.Send(control::Stop{}.Encode()));
  auto stopped = sender.WaitFor(MessageType::SendDone);
  ASSERT_TRUE(stopped) << sender.ErrorText();
  const auto s = *control::SendDone::Decode(stopped->payload);
  EXPECT_GT(s.sent, 1u);
  EXPECT_EQ(s.failed, 0u);
  EXPECT_TRUE(sender.ReadToEnd());
  const HelperExit exit = sender.Wait();
  EXPECT_TRUE(exit.exited) << "signal " << exit.signal;
  EXPECT_EQ(exit.code, 0);
}

}  // namespace
}  // namespace qv::testing
