// Live capture for real: a veth pair inside a network namespace the test
// makes for itself. The test thread enters the namespace, so the capture
// thread it starts sees only that namespace's adapters; frames are written
// onto one end with a packet socket and captured on the other through the
// capture library. No frame leaves the pair.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "capture/capture_log.h"
#include "child_processes.h"
#include "log_reading.h"
#include "session_harness.h"
#include "veth_namespace.h"
#include "live_session.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr std::uint32_t kProbeTag = 0xFFFF;

class LiveCapture : public LiveSessionTest {
 protected:
  void SetUp() override {
    LiveSessionTest::SetUp();
    if (session_) session_->doc->SetFilterText(kTestFramesOnly);
  }
  std::vector<Bytes> WakeFrames() const override { return {UdpTo(kCaptureEnd, kProbeTag)}; }

  // Starts capturing on qv0 and returns once frames arrive: probes are sent
  // until one is listed, then the stragglers are awaited and cleared away.
  void StartCapturing() {
    Session& s = *session_;
    ASSERT_TRUE(s.doc->Start());
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
      ASSERT_TRUE(sender_->Send(UdpTo(kCaptureEnd, kProbeTag)));
      seen = s.observer->WaitUntil([&] { return !s.observer->rows.empty(); }, 50ms);
    }
    ASSERT_TRUE(seen) << "no frame arrived; messages: " << ::testing::PrintToString(s.prompt.Messages());
    std::this_thread::sleep_for(300ms);
    ClearAndMeasure();
    ASSERT_EQ(s.doc->PacketCount(), 0u);
  }

  // Clear Packets from the interface while the capture waits for frames;
  // returns how long until it was served.
  std::chrono::milliseconds ClearAndMeasure() {
    Session& s = *session_;
    const int before = s.observer->Locked([&] { return s.observer->packetClears; });
    const auto t0 = std::chrono::steady_clock::now();
    s.ui.Call([&] { s.doc->ClearPackets(); });
    EXPECT_TRUE(s.observer->WaitUntil([&] { return s.observer->packetClears > before; }, 1000ms))
        << "Clear Packets not served within a second";
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
  }

};

TEST_F(LiveCapture, FramesArriveNumberedWithTheirRows) {
  ASSERT_NO_FATAL_FAILURE(StartCapturing());
  Session& s = *session_;
  EXPECT_EQ(s.doc->OwnAddress(), kCaptureEnd);
  EXPECT_EQ(s.prompt.AdapterDialogs(), 0);

  const Bytes toUs = UdpTo(kCaptureEnd, 1);
  const Bytes broadcast =
      FrameBuilder().Ethernet(framegen::kBroadcast, kSender, 0x0806)
          .Arp(1, kSender, {169, 254, 7, 1}, {0, 0, 0, 0, 0, 0}, {169, 254, 7, 2})
          .PadTo(60)
          .Build();
  const Bytes multicast = UdpTo({0x01, 0x00, 0x5e, 0, 0, 1}, 3);
  for (const Bytes* f : {&toUs, &broadcast, &multicast}) ASSERT_TRUE(sender_->Send(*f));
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() >= 3; }, 3000ms))
      << "frames missing: " << s.observer->Locked([&] { return s.observer->rows.size(); });
  s.doc->Stop();
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  s.ui.Drain();

  const std::vector<SeenRow> rows = s.observer->ListedRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].bytes, toUs);
  EXPECT_EQ(rows[1].bytes, broadcast);
  EXPECT_EQ(rows[2].bytes, multicast);
  for (std::uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i].number, i);
    EXPECT_EQ(rows[i].columns[kColumnSize], "60");
    EXPECT_EQ(rows[i].columns[kColumnSrcMac], "2:51:56:0:0:1");
  }
  EXPECT_EQ(rows[0].columns[kColumnDestMac], "2:51:56:0:0:10");
  EXPECT_EQ(rows[0].columns[kColumnSrcIp], "169.254.7.1");
  EXPECT_EQ(rows[0].columns[kColumnDestPort], "40001");
  EXPECT_EQ(rows[0].colour, kRowSentToUs);  // addressed to the capturing adapter
  EXPECT_EQ(rows[1].columns[kColumnDestMac], "Broadcast");
  EXPECT_EQ(rows[1].columns[kColumnSrcPort], "----");
  EXPECT_EQ(rows[1].colour, kRowBlack);
  EXPECT_EQ(rows[2].columns[kColumnDestMac], "Multicast");
  EXPECT_TRUE(s.prompt.Messages().empty()) << ::testing::PrintToString(s.prompt.Messages());
  s.ExpectInStep();
}

TEST_F(LiveCapture, ClearsAreServedWhileNoTrafficFlows) {
  ASSERT_NO_FATAL_FAILURE(StartCapturing());  // its clear was served without traffic as well
  Session& s = *session_;
  ASSERT_TRUE(sender_->Send(UdpTo(kCaptureEnd, 1)));
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() == 1; }, 3000ms));

  const std::chrono::milliseconds packets = ClearAndMeasure();
  EXPECT_EQ(s.doc->PacketCount(), 0u);
  const int before = s.observer->Locked([&] { return s.observer->statisticsClears; });
  s.ui.Call([&] { s.doc->ClearStatistics(); });
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->statisticsClears > before; }, 1000ms));
  // A request, served by the capture thread.
  EXPECT_EQ(s.observer->Locked([&] { return s.observer->statisticsClearThreads.back(); }),
            s.observer->Locked([&] { return s.observer->captureThread; }));
  std::printf("Clear Packets served after %lld ms without traffic\n", static_cast<long long>(packets.count()));

  // The capture goes on, numbering from 0 again.
  ASSERT_TRUE(sender_->Send(UdpTo(kCaptureEnd, 2)));
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() == 1; }, 3000ms));
  EXPECT_EQ(TagOf(s.observer->ListedRows()[0].bytes), 2u);
  EXPECT_EQ(s.observer->ListedRows()[0].number, 0u);
  s.ExpectInStep();
}

TEST_F(LiveCapture, StopEndsTheCaptureThreadWithinASecond) {
  ASSERT_NO_FATAL_FAILURE(StartCapturing());
  Session& s = *session_;
  const auto t0 = std::chrono::steady_clock::now();
  s.doc->Stop();
  EXPECT_TRUE(s.observer->WaitForEnd(1, 1000ms)) << "the capture thread still runs";
  s.doc->WaitForCapture();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 1500ms);
  EXPECT_FALSE(s.observer->lastEndFailed);
  EXPECT_TRUE(s.doc->CanStart());
}


TEST_F(LiveCapture, LoggedFramesAreTheCapturedOnesAcrossRotations) {
  Session& s = *session_;
  TempDir logs;
  CaptureLog log([&](const std::string& text) { ADD_FAILURE() << text; });
  s.doc->SetLogSink(&log);
  LogOptions options;
  options.loggingOn = true;
  options.directory = logs.File("");
  options.maxPackets = 1000;
  log.SetOptions(options);
  ASSERT_NO_FATAL_FAILURE(StartCapturing());  // its probes are logged as well

  // A burst, bounded in count and time, from inside the namespace.
  constexpr std::uint32_t kBurst = 3000;
  const auto t0 = std::chrono::steady_clock::now();
  std::uint32_t sent = 0;
  while (sent < kBurst && std::chrono::steady_clock::now() - t0 < 5s) {
    if (sender_->Send(UdpTo(kCaptureEnd, sent))) ++sent;
  }
  const auto sentAt = std::chrono::steady_clock::now();
  ASSERT_EQ(sent, kBurst);
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() >= kBurst; }, 10000ms))
      << "captured " << s.observer->Locked([&] { return s.observer->ListedCountLocked(); });
  const std::uint64_t captured = s.observer->Locked([&] { return s.observer->rows.size(); });
  while (log.FramesWritten() < captured && std::chrono::steady_clock::now() - sentAt < 10s) {
    std::this_thread::sleep_for(1ms);
  }
  const auto onDisk = std::chrono::steady_clock::now();
  s.doc->Stop();
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  std::printf("logging: %u frames sent in %lld ms; all %llu captured frames written %lld ms after the last send\n",
              kBurst, static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(sentAt - t0).count()),
              static_cast<unsigned long long>(captured),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(onDisk - sentAt).count()));

  // Every captured frame (the cleared probes too), in order, read back by
  // the capture library; each file but the last holds its 1000 frames.
  std::vector<Bytes> logged;
  const std::vector<std::string> files = LogFilesIn(logs.File(""));
  ASSERT_GE(files.size(), 4u);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const LogContents c = ReadLog(logs.File(files[i]));
    EXPECT_TRUE(c.readable) << files[i];
    if (i + 1 < files.size()) {
      EXPECT_EQ(c.frames.size(), 1000u) << files[i];
    }
    logged.insert(logged.end(), c.frames.begin(), c.frames.end());
  }
  const std::vector<SeenRow> rows = s.observer->Locked([&] { return s.observer->rows; });
  ASSERT_EQ(logged.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(logged[i], rows[i].bytes) << "frame " << i;
  session_.reset();  // the capture ends before the log goes
}

// libpcap's "any" adapter gives every frame a Linux cooked header instead of
// its Ethernet one; the rows still show the addresses, ports and protocols.
TEST_F(LiveCapture, AnyAdapterShowsCookedFramesWithTheirAddresses) {
  Session& s = *session_;
  s.settings.SetString("pcap", "CurrentDevice", "any");
  // Ethernet addresses cannot be filtered on cooked headers.
  s.doc->SetFilterText("udp dst port 40001");
  ASSERT_NO_FATAL_FAILURE(StartCapturing());
  EXPECT_EQ(s.doc->LinkType(), 113);

  const Bytes toUs = UdpTo(kCaptureEnd, 1);
  const Bytes broadcast = UdpTo(framegen::kBroadcast, 2);
  for (const Bytes* f : {&toUs, &broadcast}) ASSERT_TRUE(sender_->Send(*f));
  // Each frame is seen leaving qv1 and arriving on qv0.
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() >= 4; }, 3000ms))
      << "frames missing: " << s.observer->Locked([&] { return s.observer->rows.size(); });
  s.doc->Stop();
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  s.ui.Drain();

  std::vector<std::string> destinations[3];
  for (const SeenRow& row : s.observer->ListedRows()) {
    ASSERT_GE(row.bytes.size(), 16u + 32u);
    EXPECT_EQ(row.bytes[14] << 8 | row.bytes[15], 0x0800);  // the cooked header's protocol
    EXPECT_EQ(row.columns[kColumnSrcMac], "2:51:56:0:0:1");
    EXPECT_EQ(row.columns[kColumnSrcIp], "169.254.7.1");
    EXPECT_EQ(row.columns[kColumnDestIp], "169.254.7.2");
    EXPECT_EQ(row.columns[kColumnSrcPort], "40000");
    EXPECT_EQ(row.columns[kColumnDestPort], "40001");
    EXPECT_EQ(row.columns[kColumnProtocols], "IPv4 UDP ");
    // The tag sits two bytes further on than behind an Ethernet header.
    const std::uint32_t tag = static_cast<std::uint32_t>(row.bytes[44]) << 24 | row.bytes[45] << 16 |
                              row.bytes[46] << 8 | row.bytes[47];
    if (tag == 1 || tag == 2) destinations[tag].push_back(row.columns[kColumnDestMac]);
  }
  // Sent by us leaves the column empty; a broadcast arriving says so.
  EXPECT_EQ(destinations[1], (std::vector<std::string>{"", ""}));
  std::sort(destinations[2].begin(), destinations[2].end());
  EXPECT_EQ(destinations[2], (std::vector<std::string>{"", "Broadcast"}));
  EXPECT_TRUE(s.prompt.Messages().empty()) << ::testing::PrintToString(s.prompt.Messages());
  const std::optional<PacketRecord> first = s.doc->Buffer().Find(0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->linkType, 113);
}

// Sends tags first..first+count-1 as fast as the socket takes them.
void SendBurst(const FrameSender& sender, std::uint32_t first, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    while (!sender.Send(UdpTo(kCaptureEnd, first + i))) std::this_thread::yield();
  }
}

// Waits until the listed count has stayed put for a while: the capture has
// read everything it will get.
std::size_t WaitUntilSettled(Session& s, std::size_t goal) {
  std::size_t last = 0;
  for (int quiet = 0; quiet < 10;) {
    s.observer->WaitUntil([&] { return s.observer->ListedCountLocked() >= goal; }, 200ms);
    const std::size_t now = s.observer->Locked([&] { return s.observer->ListedCountLocked(); });
    quiet = now == last ? quiet + 1 : 0;
    last = now;
    if (now >= goal) break;
  }
  return last;
}

TEST_F(LiveCapture, ABurstArrivesWholeAndInOrderWithNoDrops) {
  constexpr std::uint32_t kBurst = 30000;
  Session& s = *session_;
  s.doc->SetLimits(0xFFFFFFFFu, 0xFFFFFFFFu);
  ASSERT_NO_FATAL_FAILURE(StartCapturing());
  SendBurst(*sender_, 1, kBurst);
  EXPECT_EQ(WaitUntilSettled(s, kBurst), kBurst);
  s.doc->Stop();
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  s.ui.Drain();

  std::vector<std::uint32_t> expected(kBurst);
  for (std::uint32_t i = 0; i < kBurst; ++i) expected[i] = i + 1;
  EXPECT_EQ(s.ListedTags(), expected);
  const DropCounts drops = s.doc->Drops();
  EXPECT_TRUE(drops.known);
  EXPECT_EQ(drops.Total(), 0u);
  // The ring the kernel set up is at least what was asked for.
  EXPECT_GE(s.doc->KernelBufferInForce(), 32u << 20);
  s.ExpectInStep();
}

// A tiny kernel buffer and the capture helper held up (it is the reader now:
// a busy capture thread of this process holds nothing up, the helper writes
// on into its file): the kernel drops what does not fit, and every frame
// sent is either captured or counted as dropped.
TEST_F(LiveCapture, FramesTheKernelDroppedAreCounted) {
  constexpr std::uint32_t kBurst = 30000;
  Session& s = *session_;
  s.doc->SetLimits(0xFFFFFFFFu, 0xFFFFFFFFu);
  s.doc->SetKernelBufferMB(1);
  ASSERT_NO_FATAL_FAILURE(StartCapturing());
  const std::vector<pid_t> helpers = DescendantsNamed("quorvanet-capture");
  ASSERT_EQ(helpers.size(), 1u) << "the capture helper is not running";
  ASSERT_EQ(::kill(helpers[0], SIGSTOP), 0);
  SendBurst(*sender_, 1, kBurst);
  ASSERT_EQ(::kill(helpers[0], SIGCONT), 0);
  const std::size_t listed = WaitUntilSettled(s, kBurst);
  s.doc->Stop();
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  s.ui.Drain();

  const DropCounts drops = s.doc->Drops();
  EXPECT_GT(drops.kernel, 0u);
  EXPECT_LT(listed, kBurst);
  EXPECT_EQ(listed + drops.Total(), kBurst) << "frames neither captured nor counted as dropped";
  EXPECT_GT(s.doc->KernelBufferInForce(), 0u);
  EXPECT_LT(s.doc->KernelBufferInForce(), 4u << 20);
  // What did arrive is in order.
  const std::vector<std::uint32_t> tags = s.ListedTags();
  EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end()));
  s.ExpectInStep();
}

// The when-full actions under a burst: the buffer never holds more than its
// count limit, and "stop" ends the capture holding exactly that many frames.
TEST_F(LiveCapture, BufferLimitsHoldUnderABurst) {
  constexpr std::uint32_t kBurst = 20000;
  constexpr std::uint32_t kMaxCount = 1000;
  for (int action : {0, 1, 2}) {
    SCOPED_TRACE(action);
    Session& s = *session_;
    s.doc->SetLimits(0xFFFFFFFFu, kMaxCount);
    s.doc->SetWhenFullAction(action);
    ASSERT_NO_FATAL_FAILURE(StartCapturing());
    const std::size_t totalsBefore = s.observer->Locked([&] { return s.observer->totals.size(); });
    SendBurst(*sender_, 1, kBurst);
    if (action == 0) {
      ASSERT_TRUE(s.observer->WaitForEnd());
    } else {
      WaitUntilSettled(s, kBurst);
      s.doc->Stop();
      ASSERT_TRUE(s.observer->WaitForEnd());
    }
    s.doc->WaitForCapture();
    s.ui.Drain();
    const std::vector<SessionObserver::Totals> totals = s.observer->Locked([&] { return s.observer->totals; });
    std::uint32_t most = 0;
    for (std::size_t i = totalsBefore; i < totals.size(); ++i) most = std::max(most, totals[i].count);
    EXPECT_LE(most, kMaxCount);
    if (action == 0) {
      EXPECT_EQ(s.doc->PacketCount(), kMaxCount);
    } else {
      EXPECT_GT(s.observer->Locked([&] { return s.observer->packetClears; }), 0);
    }
    s.ExpectInStep();
    s.doc->ClearAll();
    s.ui.Drain();
  }
}

// The command line names the frames the kernel dropped. Its capture helper
// is held up during the burst, so the burst overflows a 1 MiB kernel buffer.
TEST_F(LiveCapture, CommandLineNamesTheKernelsDrops) {
  constexpr std::uint32_t kBurst = 30000;
  const std::string command = "timeout -s INT 6 " + std::string(QUORVANET_CLI_PATH) + " -i qv0 -B 1 -f '" +
                              kTestFramesOnly + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");  // started inside the test's namespace
  ASSERT_NE(pipe, nullptr);
  const std::vector<pid_t> helpers = StartedCaptureHelpers(10s);
  ASSERT_EQ(helpers.size(), 1u) << "the command line's capture helper did not open the adapter";
  ::kill(helpers[0], SIGSTOP);
  SendBurst(*sender_, 1, kBurst);
  ::kill(helpers[0], SIGCONT);
  std::string out;
  char chunk[1 << 14];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
  ::pclose(pipe);

  const std::size_t lineStart = out.rfind('\n', out.size() - 2) + 1;
  unsigned long long packets = 0, bytes = 0, dropped = 0;
  ASSERT_EQ(std::sscanf(out.c_str() + lineStart, "%llu packets, %llu bytes, %llu dropped by kernel", &packets, &bytes,
                        &dropped),
            3)
      << out.substr(lineStart);
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(packets + dropped, kBurst) << out.substr(lineStart);
}


// The command line captures with no capability at all, through a helper that
// holds only CAP_NET_RAW as its file capability (as the package installs it)
// and gives even that up once the adapter is open. Root's own rights are
// taken away first: with "noroot" a root process gains nothing at exec.
TEST_F(LiveCapture, NeitherTheProgramNorItsHelperHoldsACapabilityWhileCapturing) {
  TempDir dir;
  const std::string helper = dir.File("quorvanet-capture");
  std::filesystem::copy_file(QUORVANET_HELPER_PATH, helper);
  std::filesystem::permissions(helper, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec);
  if (std::system(("setcap cap_net_raw=ep " + helper + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "setcap is not allowed here (needs CAP_SETFCAP and a file system with extended attributes)";
  }
  if (std::system("setpriv --securebits +noroot true 2>/dev/null") != 0) {
    GTEST_SKIP() << "setpriv cannot set the securebits here (needs CAP_SETPCAP)";
  }
  const std::string command = "QUORVANET_CAPTURE_HELPER=" + helper +
                              " setpriv --securebits +noroot,+noroot_locked,+no_setuid_fixup,+no_setuid_fixup_locked"
                              " --inh-caps=-all --ambient-caps=-all -- timeout -s INT 5 " +
                              std::string(QUORVANET_CLI_PATH) + " -i qv0 -q -f '" + kTestFramesOnly + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  // The capture's helper, once it has opened the adapter (after the adapter
  // list's helper has come and gone); a helper that kept its capability is
  // never found and fails below.
  const std::vector<pid_t> helpers = StartedCaptureHelpers(10s);
  const std::vector<pid_t> clis = DescendantsNamed("quorvanet-cli");
  std::uint64_t cliCaps = ~0ull;
  std::uint64_t helperCaps = ~0ull;
  if (clis.size() == 1) cliCaps = EffectiveCapabilities(clis[0]);
  if (helpers.size() == 1) helperCaps = EffectiveCapabilities(helpers[0]);
  for (std::uint32_t i = 0; i < 5; ++i) ASSERT_TRUE(sender_->Send(UdpTo(kCaptureEnd, i)));
  std::string out;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
  ::pclose(pipe);

  ASSERT_EQ(clis.size(), 1u) << out;
  ASSERT_EQ(helpers.size(), 1u) << out;
  EXPECT_EQ(cliCaps, 0u) << "the command line holds capabilities while it captures";
  EXPECT_EQ(helperCaps, 0u) << "the helper still holds capabilities after it started";
  unsigned long long packets = 0;
  ASSERT_EQ(std::sscanf(out.c_str(), "%llu packets", &packets), 1) << out;
  EXPECT_EQ(packets, 5u) << out;
}

}  // namespace
}  // namespace qv
