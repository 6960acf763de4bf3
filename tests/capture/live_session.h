#pragma once
// A capture session on qv0 of a veth pair in the test's own namespace, with a
// sender on qv1: what the live tests of the capture and the filters share.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "session_harness.h"
#include "veth_namespace.h"

namespace qv::testing {

inline constexpr framegen::Mac kCaptureEnd = {0x02, 0x51, 0x56, 0, 0, 0x10};  // "qv0", captured on
inline constexpr framegen::Mac kSender = {0x02, 0x51, 0x56, 0, 0, 0x01};      // source of the test's frames
// Only the test's frames: the kernel's own (IPv6 neighbour discovery, ...)
// leave qv1 with its own address.
inline constexpr const char* kTestFramesOnly = "ether src 02:51:56:00:00:01";

// A UDP frame from kSender to `dst` whose payload carries `tag`.
inline Bytes UdpTo(const framegen::Mac& dst, std::uint32_t tag) {
  const std::uint8_t t[4] = {static_cast<std::uint8_t>(tag >> 24), static_cast<std::uint8_t>(tag >> 16),
                             static_cast<std::uint8_t>(tag >> 8), static_cast<std::uint8_t>(tag)};
  return FrameBuilder()
      .Ethernet(dst, kSender, 0x0800)
      .Ipv4({169, 254, 7, 1}, {169, 254, 7, 2}, 17)
      .Udp(40000, 40001)
      .Raw(Bytes(t, t + 4))
      .PadTo(60)
      .Build();
}

class LiveSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = ns_.Make(); !why.empty()) {
      GTEST_SKIP() << "live capture needs network namespaces (root or CAP_NET_ADMIN): " << why;
    }
    if (const std::string why = ns_.Enter(); !why.empty()) GTEST_SKIP() << why;
    sender_ = std::make_unique<FrameSender>(kCaptureEnd);
    if (!sender_->Ok()) GTEST_SKIP() << "cannot open a packet socket (needs CAP_NET_RAW)";
    session_ = std::make_unique<Session>(true, Adapters::Real);
    session_->settings.SetString("pcap", "CurrentDevice", "qv0");
  }
  void TearDown() override {
    if (session_ && sender_) {
      // A capture that missed Stop still wakes for a frame: a failing test
      // then ends instead of hanging. A few frames, no more.
      Session& s = *session_;
      s.doc->Stop();
      for (int i = 0; i < 30; ++i) {
        if (s.observer->WaitUntil([&] { return s.observer->ended >= s.observer->started; }, 100ms)) break;
        for (const Bytes& f : WakeFrames()) sender_->Send(f);
      }
    }
    session_.reset();  // the capture has ended before the namespace goes
    sender_.reset();
    ns_.Leave();
  }
  // Frames that pass the test's filters.
  virtual std::vector<Bytes> WakeFrames() const = 0;

  VethNamespace ns_;
  std::unique_ptr<FrameSender> sender_;
  std::unique_ptr<Session> session_;
};

}  // namespace qv::testing
