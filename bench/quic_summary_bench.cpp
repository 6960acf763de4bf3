// Summary-mode decoding (what the capture thread does for every frame) of
// QUIC datagrams: a client's Initial, which is opened (key derivation,
// header protection, AES-128-GCM over 1162 bytes), against a 1-RTT packet of
// the same size, which is not, and a plain UDP datagram on another port.
//
//   build/release/bench/quic_summary_bench [ROUNDS]     (default 15)
//
// Each round decodes each frame 2000 times, alternating the frames; the
// figures are the median and the best round, per decode.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decode/packet_decoder.h"
#include "decode/quic_initial_memory.h"
#include "framegen/frame_builder.h"
// The client Initial of RFC 9001 appendix A.2.
#include "../tests/decode/quic_vectors.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDecodesPerRound = 2000;


class NullSink : public qv::DecodeSink {
 public:
  void AddProtocol(std::string_view, int) override {}
  void UpdateConversation(const qv::IpConversationSample&) override {}
};

std::vector<std::uint8_t> Datagram(const std::vector<std::uint8_t>& payload, std::uint16_t port) {
  return qv::framegen::FrameBuilder()
      .Ethernet({0x02, 0, 0, 0, 0, 0x02}, {0x02, 0, 0, 0, 0, 0x01}, 0x0800)
      .Ipv4({10, 0, 0, 1}, {10, 0, 0, 2}, 17)
      .Udp(50000, port)
      .Raw(payload)
      .Build();
}

double Round(const std::vector<std::uint8_t>& frame, qv::QuicInitialMemory& memory) {
  NullSink sink;
  qv::DecodeContext context{qv::kLinkTypeEthernet, &sink, nullptr, qv::EnabledDecoders::All()};
  context.quicInitials = &memory;
  const auto start = Clock::now();
  for (int i = 0; i < kDecodesPerRound; ++i) {
    qv::PacketSummary row;
    qv::PacketDecoder(frame, context, nullptr, qv::DecodeMode::Summary, nullptr, &row).Decode();
  }
  const std::chrono::duration<double, std::micro> took = Clock::now() - start;
  return took.count() / kDecodesPerRound;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const std::vector<std::uint8_t> initial = qv::framegen::Hex(qv::testing::kV1ClientInitial);
  std::vector<std::uint8_t> oneRtt(initial.size(), 0x5a);
  oneRtt[0] = 0x41;
  const struct {
    const char* name;
    std::vector<std::uint8_t> frame;
  } cases[] = {
      {"client Initial (opened)", Datagram(initial, 443)},
      {"1-RTT packet", Datagram(oneRtt, 443)},
      {"UDP, another port", Datagram(oneRtt, 5000)},
  };
  qv::QuicInitialMemory memory;
  std::vector<std::vector<double>> times(std::size(cases));
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t c = 0; c < std::size(cases); ++c) times[c].push_back(Round(cases[c].frame, memory));
  }
  for (std::size_t c = 0; c < std::size(cases); ++c) {
    std::vector<double>& t = times[c];
    std::sort(t.begin(), t.end());
    std::printf("%-26s median %8.2f us  best %8.2f us per decode\n", cases[c].name, t[t.size() / 2], t.front());
  }
  return 0;
}
