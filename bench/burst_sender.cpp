// Writes a burst of numbered UDP frames onto one adapter as fast as a packet
// socket takes them, or at a steady rate when one is given. Meant for a veth
// end inside a namespace of its own (the benchmark makes one); it refuses to
// run longer than its time limit.
//
//   burst_sender IFNAME COUNT [SIZE=128] [SECONDS=60] [RATE=0 (frames/s, 0: no limit)] [SOURCES=1]
//
// Frames go from 169.254.7.1 to 169.254.7.2; with SOURCES > 1 (at most 4000)
// frame n comes from source k = n mod SOURCES, 169.254.(8 + k / 200).(1 + k % 200),
// so that a capture sees that many conversations.
//
// Each frame carries its sequence number (32 bits, network order) at UDP
// payload offset 0, i.e. at frame offset 42. Prints "sent N in S s (R/s)".

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr std::uint8_t kDestination[6] = {0x02, 0x51, 0x56, 0, 0, 0x10};
constexpr std::uint8_t kSource[6] = {0x02, 0x51, 0x56, 0, 0, 0x01};

void SetHeaderChecksum(std::uint8_t* ip) {
  ip[10] = ip[11] = 0;
  std::uint32_t sum = 0;
  for (int i = 0; i < 20; i += 2) sum += static_cast<std::uint32_t>(ip[i] << 8 | ip[i + 1]);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  ip[10] = static_cast<std::uint8_t>(~sum >> 8);
  ip[11] = static_cast<std::uint8_t>(~sum);
}

// Source k of several: 169.254.(8 + k / 200).(1 + k % 200).
void SetSource(std::vector<std::uint8_t>& frame, unsigned long k) {
  std::uint8_t* ip = frame.data() + 14;
  ip[12] = 169, ip[13] = 254;
  ip[14] = static_cast<std::uint8_t>(8 + k / 200);
  ip[15] = static_cast<std::uint8_t>(1 + k % 200);
  SetHeaderChecksum(ip);
}

std::vector<std::uint8_t> Template(std::size_t size) {
  std::vector<std::uint8_t> f(size, 0);
  std::memcpy(f.data(), kDestination, 6);
  std::memcpy(f.data() + 6, kSource, 6);
  f[12] = 0x08;  // IPv4
  std::uint8_t* ip = f.data() + 14;
  ip[0] = 0x45;
  const std::uint16_t total = static_cast<std::uint16_t>(size - 14);
  ip[2] = static_cast<std::uint8_t>(total >> 8);
  ip[3] = static_cast<std::uint8_t>(total);
  ip[8] = 64;
  ip[9] = 17;  // UDP
  const std::uint8_t from[4] = {169, 254, 7, 1}, to[4] = {169, 254, 7, 2};
  std::memcpy(ip + 12, from, 4);
  std::memcpy(ip + 16, to, 4);
  SetHeaderChecksum(ip);
  std::uint8_t* udp = ip + 20;
  udp[0] = 40000 >> 8, udp[1] = 40000 & 0xFF, udp[2] = 40001 >> 8, udp[3] = 40001 & 0xFF;
  const std::uint16_t udpLength = static_cast<std::uint16_t>(total - 20);
  udp[4] = static_cast<std::uint8_t>(udpLength >> 8);
  udp[5] = static_cast<std::uint8_t>(udpLength);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: burst_sender IFNAME COUNT [SIZE=128] [SECONDS=60] [RATE=0] [SOURCES=1]\n");
    return 2;
  }
  const unsigned ifindex = if_nametoindex(argv[1]);
  const unsigned long count = std::strtoul(argv[2], nullptr, 10);
  const std::size_t size = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 128;
  const double limit = argc > 4 ? std::strtod(argv[4], nullptr) : 60.0;
  const double rate = argc > 5 ? std::strtod(argv[5], nullptr) : 0.0;
  const unsigned long sources = argc > 6 ? std::strtoul(argv[6], nullptr, 10) : 1;
  if (ifindex == 0 || count == 0 || size < 46 || size > 1514 || !(limit > 0) || !(rate >= 0) || sources == 0 ||
      sources > 4000) {
    std::fprintf(stderr, "burst_sender: bad adapter, count, size, time limit, rate or number of sources\n");
    return 2;
  }
  const int fd = socket(AF_PACKET, SOCK_RAW, 0);  // protocol 0: sends only
  if (fd < 0) {
    std::perror("burst_sender: socket");
    return 1;
  }
  int one = 1;
#ifdef PACKET_QDISC_BYPASS
  setsockopt(fd, SOL_PACKET, PACKET_QDISC_BYPASS, &one, sizeof one);
#endif
  sockaddr_ll to{};
  to.sll_family = AF_PACKET;
  to.sll_ifindex = static_cast<int>(ifindex);
  to.sll_halen = 6;
  std::memcpy(to.sll_addr, kDestination, 6);

  // Frames go out in batches of kBatch through one sendmmsg() call each.
  constexpr unsigned kBatch = 64;
  std::vector<std::vector<std::uint8_t>> frames(kBatch, Template(size));
  std::vector<iovec> iov(kBatch);
  std::vector<mmsghdr> messages(kBatch);
  for (unsigned i = 0; i < kBatch; ++i) {
    iov[i] = {frames[i].data(), frames[i].size()};
    messages[i].msg_hdr = {};
    messages[i].msg_hdr.msg_name = &to;
    messages[i].msg_hdr.msg_namelen = sizeof to;
    messages[i].msg_hdr.msg_iov = &iov[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  const auto t0 = std::chrono::steady_clock::now();
  unsigned long sent = 0;
  while (sent < count) {
    if (rate > 0) {
      // Paced: each batch waits until its first frame is due, so the rate
      // holds over the whole run; a sender that fell behind catches up one
      // batch after another.
      const auto due = t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(static_cast<double>(sent) / rate));
      std::this_thread::sleep_until(due);
      if (std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() > limit) break;
    }
    const unsigned batch = static_cast<unsigned>(std::min<unsigned long>(kBatch, count - sent));
    for (unsigned i = 0; i < batch; ++i) {
      const std::uint32_t seq = htonl(static_cast<std::uint32_t>(sent + i));
      std::memcpy(frames[i].data() + 42, &seq, 4);
      if (sources > 1) SetSource(frames[i], (sent + i) % sources);
    }
    unsigned done = 0;
    while (done < batch) {
      const int n = sendmmsg(fd, messages.data() + done, batch - done, 0);
      if (n > 0) {
        done += static_cast<unsigned>(n);
      } else if (errno != ENOBUFS && errno != EAGAIN) {
        std::perror("burst_sender: sendmmsg");
        close(fd);
        return 1;
      } else if (std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() > limit) {
        break;  // the adapter's queue stayed full until the time limit
      }
    }
    sent += done;
    if (done < batch) break;
    if ((sent & 0x3FFF) < kBatch &&
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() > limit) {
      break;
    }
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  close(fd);
  std::printf("sent %lu in %.3f s (%.0f/s)\n", sent, s, s > 0 ? sent / s : 0.0);
  return sent == count ? 0 : 1;
}
