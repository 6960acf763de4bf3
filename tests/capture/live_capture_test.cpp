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

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "live_session.h"

namespace qv {
namespace {

using namespace qv::testing;

constexpr framegen::Mac kSendEnd = {0x02, 0x51, 0x56, 0, 0, 0x11};     // "qv1", written onto
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

}  // namespace
}  // namespace qv
