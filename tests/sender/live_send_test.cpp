// The send job on a real adapter: a veth pair inside a network namespace
// the test makes for itself. Frames are sent through the capture library on
// one end and read with a packet socket on the other; none leaves the pair.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>

#include "capture/capture_session.h"
#include "capture/settings_store.h"
#include "recording_prompt.h"
#include "sender/frame_composer.h"
#include "sender/packet_file.h"
#include "sender/helper_send_backend.h"
#include "sender/send_job.h"
#include "veth_namespace.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::VethNamespace;

// Locally administered source address of every frame the tests send.
constexpr std::uint8_t kSource[6] = {0x02, 0x51, 0x56, 0, 0, 0x01};

Frame TestFrame(std::uint8_t tag, std::size_t length = 60) {
  Frame f(length, tag);
  const std::uint8_t header[14] = {0x02, 0x51, 0x56, 0, 0, 0x10, 0x02, 0x51, 0x56, 0, 0, 0x01, 0x88, 0xB5};
  std::copy(std::begin(header), std::end(header), f.begin());
  return f;
}

// Frames arriving on one end of the pair, the test's own only.
class Receiver {
 public:
  explicit Receiver(const char* adapter) : fd_(::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL))) {
    if (fd_ < 0) return;
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ETH_P_ALL);
    at.sll_ifindex = static_cast<int>(::if_nametoindex(adapter));
    if (at.sll_ifindex == 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Receiver() {
    if (fd_ >= 0) ::close(fd_);
  }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  bool Ok() const { return fd_ >= 0; }

  // Frames received until `quiet` passes without one (or `limit` is reached).
  std::vector<Frame> Collect(std::chrono::milliseconds quiet, std::size_t limit = 100000) {
    std::vector<Frame> out;
    while (out.size() < limit) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
      std::uint8_t buffer[2048];
      sockaddr_ll from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (n < 14 || from.sll_pkttype == PACKET_OUTGOING) continue;
      if (!std::equal(std::begin(kSource), std::end(kSource), buffer + 6)) continue;
      out.emplace_back(buffer, buffer + n);
    }
    return out;
  }
  // Counts the test's frames until the job ends, then drains for `quiet`.
  std::size_t CountWhile(SendJob& job, std::chrono::milliseconds quiet) {
    std::size_t n = 0;
    while (job.Sending()) n += Collect(20ms).size();
    return n + Collect(quiet).size();
  }

 private:
  int fd_;
};

class LiveSend : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = ns_.Make(); !why.empty()) {
      GTEST_SKIP() << "live sending needs network namespaces (root or CAP_NET_ADMIN): " << why;
    }
    if (const std::string why = ns_.Enter(); !why.empty()) GTEST_SKIP() << why;
    receiver_ = std::make_unique<Receiver>("qv0");
    if (!receiver_->Ok()) GTEST_SKIP() << "cannot open a packet socket (needs CAP_NET_RAW)";
  }
  void TearDown() override {
    job_.Stop();
    job_.WaitUntilIdle(5000ms);
    receiver_.reset();
    ns_.Leave();
  }

  VethNamespace ns_{"qvsend"};
  std::unique_ptr<Receiver> receiver_;
  HelperSendBackend backend_;  // as the program sends: through the capture helper
  testing::RecordingPrompt prompt_;
  SendJob job_{backend_, prompt_};
};

TEST_F(LiveSend, CountThreeGapZeroDeliversThreeIdenticalFrames) {
  const Frame frame = TestFrame(0xA3, 100);
  job_.Start({"qv1", frame, {3, 0}});
  ASSERT_TRUE(job_.WaitUntilIdle(5000ms));
  const std::vector<Frame> got = receiver_->Collect(300ms);
  EXPECT_EQ(got, std::vector<Frame>(3, frame));
  EXPECT_EQ(job_.TakeResult()->Sent(), 3u);
  EXPECT_TRUE(prompt_.Messages().empty()) << ::testing::PrintToString(prompt_.Messages());
}

TEST_F(LiveSend, CountZeroSendsUntilStopWhichEndsWithinOneGap) {
  job_.Start({"qv1", TestFrame(0xB0), {0, 200}});
  std::this_thread::sleep_for(700ms);
  const auto t0 = Clock::now();
  job_.Stop();
  ASSERT_TRUE(job_.WaitUntilIdle(2000ms));
  EXPECT_LT(Clock::now() - t0, 200ms) << "Stop waited for the gap";
  const std::size_t got = receiver_->Collect(300ms).size();
  EXPECT_GE(got, 1u);  // a busy machine may take a while to open the adapter
  EXPECT_LE(got, 5u);
  EXPECT_EQ(job_.TakeResult()->attempted, got);
}

TEST_F(LiveSend, ThreeFramesWithASecondsGapTakeAboutThreeSeconds) {
  const auto t0 = Clock::now();
  job_.Start({"qv1", TestFrame(0xC1), {3, 1000}});
  const std::size_t got = receiver_->CountWhile(job_, 300ms);
  ASSERT_TRUE(job_.WaitUntilIdle(2000ms));
  const auto took = job_.TakeResult()->seconds;
  EXPECT_EQ(got, 3u);
  EXPECT_GE(took, 2.95);  // the gap follows the last frame too
  EXPECT_LT(took, 4.0);
  EXPECT_GE(Clock::now() - t0, 2950ms);
}

TEST_F(LiveSend, AnAdapterThatDoesNotExistIsReportedWithTheLibrarysText) {
  job_.Start({"qvnone", TestFrame(1), {1, 0}});
  ASSERT_TRUE(job_.WaitUntilIdle(5000ms));
  ASSERT_EQ(prompt_.Messages().size(), 1u);
  const std::string m = prompt_.Messages()[0];
  EXPECT_EQ(m.rfind("I couldn't open selected adapter. The following error has occured:\n", 0), 0u) << m;
  EXPECT_GT(m.size(), 70u) << "the library's text follows";
}

TEST_F(LiveSend, ResendPutsTheCapturedBytesBackOnTheWire) {
  // Capture one frame on qv0 through the session, as the window does.
  MemorySettingsStore settings;
  settings.SetString("pcap", "CurrentDevice", "qv0");
  CTalvenorDoc doc(prompt_, settings);
  doc.SetFilterText("ether src 02:51:56:00:00:01");
  ASSERT_TRUE(doc.Start());
  Frame original = TestFrame(0xD4, 200);
  for (std::size_t i = 14; i < original.size(); ++i) original[i] = static_cast<std::uint8_t>(i * 7);
  // The capture thread opens its handle shortly after Start: send until it sees one.
  for (int i = 0; i < 100 && doc.PacketCount() == 0; ++i) {
    job_.Start({"qv1", original, {1, 0}});
    ASSERT_TRUE(job_.WaitUntilIdle(2000ms));
    std::this_thread::sleep_for(30ms);
  }
  doc.Stop();
  doc.WaitForCapture();
  ASSERT_GT(doc.PacketCount(), 0u) << ::testing::PrintToString(prompt_.Messages());
  const std::optional<PacketRecord> record = doc.Buffer().Find(0);
  ASSERT_TRUE(record);
  ASSERT_EQ(Frame(record->bytes.begin(), record->bytes.end()), original);
  receiver_->Collect(100ms);  // what qv0 itself heard so far

  // Resend it from qv0: qv1 receives the same bytes.
  Receiver other("qv1");
  ASSERT_TRUE(other.Ok());
  job_.Start({"qv0", FrameForResend(record->bytes), {1, 0}});
  ASSERT_TRUE(job_.WaitUntilIdle(2000ms));
  EXPECT_EQ(other.Collect(300ms), std::vector<Frame>{original});
}

TEST_F(LiveSend, TheCommandLineSendsAPacketFile) {
  const Frame frame = TestFrame(0xE5, 80);
  const std::string path = std::filesystem::temp_directory_path() / ("qv-send-" + std::to_string(::getpid()) + ".spk");
  ASSERT_EQ(SavePacketFile(path, frame), "");
  // The child process starts in this thread's namespace.
  std::string out;
  const bool ok = testing::Run(std::string(QUORVANET_CLI_PATH) + " --send " + path + " -i qv1 -c 3 --gap 10", &out);
  std::filesystem::remove(path);
  EXPECT_TRUE(ok) << out;
  EXPECT_EQ(out.rfind("sent 3 frames, ", 0), 0u) << out;
  EXPECT_EQ(receiver_->Collect(300ms), std::vector<Frame>(3, frame));

  EXPECT_FALSE(testing::Run(std::string(QUORVANET_CLI_PATH) + " --send " + path + " -i qv1", &out));
  EXPECT_NE(out.find("Couldn't open that file"), std::string::npos) << out;
}

}  // namespace
}  // namespace qv
