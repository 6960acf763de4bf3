// The command line capturing real IPv6 traffic on a veth pair between two
// network namespaces of the test's own: the kernel's neighbour discovery and
// a burst of UDP datagrams from one end's address to the other's. (With both
// ends in one namespace the kernel would deliver the datagrams through its
// loopback instead.) Nothing leaves the two namespaces.

#include <arpa/inet.h>
#include <fcntl.h>
#include <sched.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "child_processes.h"
#include "veth_namespace.h"

namespace qv {
namespace {

using testing::PeerNamespace;
using testing::VethNamespace;

constexpr const char* kCaptureEnd = "fd00:51::2";  // qv0, where the capture runs
constexpr const char* kSenderEnd = "fd00:51::1";   // qv1
constexpr int kDatagrams = 20;

// What the command line prints (stdout and stderr) when it captures on qv0
// with `options` while the neighbour discovery and the burst go by; empty
// with `skip` set when no namespaces can be made here.
std::string CaptureBurst(const std::string& options, std::string& skip) {
  VethNamespace ns("qvip6");
  if (const std::string why = ns.Make(); !why.empty()) {
    skip = "live capture needs network namespaces (root or CAP_NET_ADMIN): " + why;
    return {};
  }
  const std::string& capturing = ns.Name();
  PeerNamespace sender("qvip6s");
  std::string out;
  const std::string ipv6On = " sysctl -qw net.ipv6.conf.all.disable_ipv6=0 net.ipv6.conf.default.disable_ipv6=0";
  const bool ready = sender.TakeLink(capturing, "qv1").empty() &&
                     testing::Run("ip netns exec " + capturing + ipv6On + " net.ipv6.conf.qv0.disable_ipv6=0", &out) &&
                     testing::Run("ip netns exec " + sender.Name() + ipv6On, &out) &&
                     testing::Run("ip -n " + capturing + " addr add " + kCaptureEnd + "/64 dev qv0 nodad", &out) &&
                     testing::Run("ip -n " + sender.Name() + " addr add " + kSenderEnd + "/64 dev qv1 nodad", &out);
  EXPECT_TRUE(ready) << out;
  if (!ready) return {};

  // Stopped by SIGINT after a while (the datagrams are bounded in count,
  // the capture in time).
  const std::string capture = "ip netns exec " + capturing + " timeout -s INT 6 " +
                              std::string(QUORVANET_CLI_PATH) + " -i qv0 " + options + " 2>&1";
  std::FILE* pipe = ::popen(capture.c_str(), "r");
  EXPECT_NE(pipe, nullptr);
  if (pipe == nullptr) return {};
  // Sent once the capture helper has opened the adapter.
  EXPECT_EQ(testing::StartedCaptureHelpers(std::chrono::seconds(10)).size(), 1u) << "the capture did not start";

  // From qv1's address to qv0's: the first datagram makes the kernel ask for
  // qv0's link-layer address (neighbour solicitation, then advertisement).
  bool bound = false;
  const bool entered = sender.RunInside([&] {
    const int fd = ::socket(AF_INET6, SOCK_DGRAM, 0);
    if (fd < 0) return;
    sockaddr_in6 from{};
    from.sin6_family = AF_INET6;
    from.sin6_port = htons(5555);
    ::inet_pton(AF_INET6, kSenderEnd, &from.sin6_addr);
    bound = ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0;
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(9999);
    ::inet_pton(AF_INET6, kCaptureEnd, &to.sin6_addr);
    const char payload[] = "quorvanet ipv6 burst";
    for (int i = 0; bound && i < kDatagrams; ++i) {
      ::sendto(fd, payload, sizeof payload, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(fd);
  });

  std::string output;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
  ::pclose(pipe);
  EXPECT_TRUE(entered && bound) << "cannot send from the second namespace";
  return output;
}

TEST(LiveIpv6, NeighbourDiscoveryAndUdpBurstShowAddressesAndPorts) {
  std::string skip;
  const std::string output = CaptureBurst("-V -f 'icmp6 or udp port 9999'", skip);
  if (!skip.empty()) GTEST_SKIP() << skip;
  ASSERT_FALSE(output.empty());

  // Rows: Time, Size, Src MAC, Dest MAC, Src IP, Dest IP, Src Port, Dest Port, Protocols.
  const std::string udpRow = std::string("\t") + kSenderEnd + "\t" + kCaptureEnd + "\t5555\t9999\tIPv6 UDP \n";
  int udpRows = 0;
  for (std::size_t at = output.find(udpRow); at != std::string::npos; at = output.find(udpRow, at + 1)) ++udpRows;
  EXPECT_EQ(udpRows, kDatagrams) << output;
  // Neighbour discovery for qv0's address, in rows and tree.
  EXPECT_NE(output.find("IPv6 ICMPv6 \n"), std::string::npos) << output;
  EXPECT_NE(output.find("Neighbor Solicitation"), std::string::npos) << output;
  EXPECT_NE(output.find("Neighbor Advertisement"), std::string::npos) << output;
  EXPECT_NE(output.find(std::string("Target address: ") + kCaptureEnd), std::string::npos) << output;
}

// A display filter after the capture filter: of the neighbour discovery, the
// burst and the port-unreachable errors it draws (which quote the datagrams)
// only the datagrams are shown, with the numbers they had in the capture,
// which counted the neighbour discovery first.
TEST(LiveIpv6, DisplayFilterKeepsTheDatagramsWithTheirCaptureNumbers) {
  std::string skip;
  const std::string output = CaptureBurst(
      "-f 'icmp6 or udp port 9999' -Y 'udp.dstport == 9999 && !icmpv6' -T fields -e frame.number "
      "-e ipv6.addr -e udp.port",
      skip);
  if (!skip.empty()) GTEST_SKIP() << skip;
  const std::string line = std::string("\t") + kSenderEnd + "," + kCaptureEnd + "\t5555,9999\n";
  int lines = 0;
  int firstNumber = 0;
  for (std::size_t at = output.find(line); at != std::string::npos; at = output.find(line, at + 1)) {
    const std::size_t begin = output.rfind('\n', at) == std::string::npos ? 0 : output.rfind('\n', at) + 1;
    if (lines++ == 0) firstNumber = std::stoi(output.substr(begin, at - begin));
  }
  EXPECT_EQ(lines, kDatagrams) << output;
  // Nothing else: the datagrams' lines and the total.
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), kDatagrams + 1) << output;
  EXPECT_GT(firstNumber, 1) << output;
  EXPECT_NE(output.find(std::to_string(kDatagrams) + " packets, "), std::string::npos) << output;
}

}  // namespace
}  // namespace qv
