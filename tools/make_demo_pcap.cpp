// Writes samples/demo.pcap: a short capture of everyday LAN traffic that
// touches every protocol family the decoders know. Run it again (the build
// has a target for it) whenever a decoder is added.

#include <cstdio>
#include <string>

#include "framegen/frame_builder.h"

using namespace qv::framegen;

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "samples/demo.pcap";
  const Mac host{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
  const Mac router{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};
  const Mac printer{0x08, 0x00, 0x09, 0x7c, 0x11, 0x22};
  const Ip4 hostIp{192, 168, 1, 10};
  const Ip4 routerIp{192, 168, 1, 1};
  const Ip4 webIp{93, 184, 216, 34};
  const Ip4 dnsIp{192, 168, 1, 1};

  PcapWriter out(path);
  std::uint32_t sec = 1796040000;  // 2026-12-01
  std::uint32_t usec = 0;
  auto write = [&](const Bytes& f) {
    usec += 13721;
    if (usec >= 1000000) {
      usec -= 1000000;
      ++sec;
    }
    out.Write(f, sec, usec);
  };

  // ARP: who has the router, and its answer (padded to the Ethernet minimum).
  write(FrameBuilder().Ethernet(kBroadcast, host, 0x0806).Arp(1, host, hostIp, Mac{}, routerIp).PadTo(60).Build());
  write(FrameBuilder().Ethernet(host, router, 0x0806).Arp(2, router, routerIp, host, hostIp).PadTo(60).Build());

  // DNS query and answer over UDP.
  write(FrameBuilder().Ethernet(router, host, 0x0800).Ipv4(hostIp, dnsIp, 17).Udp(53124, 53)
            .Raw(Hex("1a2b 0100 0001 0000 0000 0000 07 6578616d706c65 03 636f6d 00 0001 0001")).Build());
  write(FrameBuilder().Ethernet(host, router, 0x0800).Ipv4(dnsIp, hostIp, 17).Udp(53, 53124)
            .Raw(Hex("1a2b 8180 0001 0001 0000 0000 07 6578616d706c65 03 636f6d 00 0001 0001"
                     "c00c 0001 0001 00000e10 0004 5db8d822")).Build());

  // A TCP connection: handshake with options, a request, the answer, the close.
  write(FrameBuilder().Ethernet(router, host, 0x0800).Ipv4(hostIp, webIp, 6).Tcp(49152, 80, 1000, 0, 0x02,
            Hex("020405b4 01030302 0402080a 0001e240 00000000")).Build());
  write(FrameBuilder().Ethernet(host, router, 0x0800).Ipv4(webIp, hostIp, 6).Tcp(80, 49152, 5000, 1001, 0x12,
            Hex("020405b4 01010402 01030307")).Build());
  write(FrameBuilder().Ethernet(router, host, 0x0800).Ipv4(hostIp, webIp, 6).Tcp(49152, 80, 1001, 5001, 0x10).Build());
  write(FrameBuilder().Ethernet(router, host, 0x0800).Ipv4(hostIp, webIp, 6).Tcp(49152, 80, 1001, 5001, 0x18)
            .Text("GET / HTTP/1.1\r\nHost: example.com\r\n\r\n").Build());
  write(FrameBuilder().Ethernet(host, router, 0x0800).Ipv4(webIp, hostIp, 6).Tcp(80, 49152, 5001, 1038, 0x18,
            Hex("0101050a 00001388 000013a0"))
            .Text("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello").Build());
  write(FrameBuilder().Ethernet(router, host, 0x0800).Ipv4(hostIp, webIp, 6).Tcp(49152, 80, 1038, 5044, 0x11).Build());

  // ICMP echo request and reply.
  write(FrameBuilder().Ethernet(router, host, 0x0800).Ipv4(hostIp, routerIp, 1)
            .Raw(Hex("0800 0000 0001 0001")).Text("abcdefghijklmnopqrstuvwabcdefghi").Build());
  write(FrameBuilder().Ethernet(host, router, 0x0800).Ipv4(routerIp, hostIp, 1)
            .Raw(Hex("0000 0000 0001 0001")).Text("abcdefghijklmnopqrstuvwabcdefghi").Build());

  // ICMP port unreachable quoting a UDP datagram.
  write(FrameBuilder().Ethernet(host, router, 0x0800).Ipv4(routerIp, hostIp, 1)
            .Raw(Hex("0303 0000 00000000"))
            .Raw(Hex("4500 0021 abcd 0000 4011 0000 c0a8010a c0a80101 c350 0045 000d 0000"))
            .Raw(Hex("0001 0203 04")).Build());

  // IGMPv2 membership report, IPv4 with the Router Alert option.
  write(FrameBuilder().Ethernet(Mac{0x01, 0x00, 0x5e, 0x00, 0x00, 0xfb}, host, 0x0800)
            .Ipv4(hostIp, Ip4{224, 0, 0, 251}, 2, Hex("94040000"), 0xc0, 0x0001, 0x0000, 1)
            .Raw(Hex("1600 0000 e00000fb")).PadTo(60).Build());

  // IPv4 with a timestamp option, carrying UDP.
  write(FrameBuilder().Ethernet(router, host, 0x0800)
            .Ipv4(hostIp, routerIp, 17, Hex("440c0501 c0a8010a 0001e240"), 0xb8)
            .Udp(5004, 5004).Text("rtp").Build());

  // IP in IP.
  write(FrameBuilder().Ethernet(router, host, 0x0800).Ipv4(hostIp, routerIp, 4)
            .Ipv4(Ip4{10, 0, 0, 1}, Ip4{10, 0, 0, 2}, 17).Udp(1000, 2000).Text("tunnelled").Build());

  // IPv6 (named, not decoded further).
  write(FrameBuilder().Ethernet(Mac{0x33, 0x33, 0, 0, 0, 1}, host, 0x86dd).Ipv6(58)
            .Raw(Hex("8600 0000 4000 0708 0000 0000 0000 0000")).Build());

  // Novell IPX over IEEE 802.3 with LLC, and IPX over SNAP.
  write(FrameBuilder().Ieee8023(kBroadcast, printer).Llc(0xe0, 0xe0, 0x03)
            .Raw(Hex("ffff 0060 0004 00000000 ffffffffffff 0453 00000000 0800097c1122 0453"
                     "0002 0004 5052494e5445520000000000"))
            .PadTo(60).Build());
  write(FrameBuilder().Ieee8023(kBroadcast, printer).Llc(0xaa, 0xaa, 0x03).Snap(0x000000, 0x8137)
            .Raw(Hex("ffff 0022 0000 00000000 ffffffffffff 0452 00000000 0800097c1122 4000 0001 0004"))
            .PadTo(60).Build());

  // Spanning tree configuration BPDU.
  write(FrameBuilder().Ieee8023(Mac{0x01, 0x80, 0xc2, 0, 0, 0}, router).Llc(0x42, 0x42, 0x03)
            .Raw(Hex("0000 00 00 00 8000001b213a4f01 00000000 8000001b213a4f01 8001 0000 1400 0200 0f00"))
            .PadTo(60).Build());

  // NetBIOS over LLC.
  write(FrameBuilder().Ieee8023(Mac{0x03, 0, 0, 0, 0, 1}, host).Llc(0xf0, 0xf0, 0x03)
            .Raw(Hex("2c00 ff ef 08 0000 0000 0000"))
            .Text("WORKGROUP      ").Raw(Hex("1d")).Text("HOST           ").Raw(Hex("00")).Build());

  // NetBIOS over IPX: a session message carrying SMB (Trans to a mailslot).
  write(FrameBuilder().Ethernet(kBroadcast, printer, 0x8137)
            .Raw(Hex("ffff 0053 00 04 00000000 ffffffffffff 0455 00000001 0800097c1122 0455"))
            .Raw(Hex("10 04 0102 3412 0500 2301 0000 ff00 0001 0200"))
            .Raw(Hex("ff534d42 25 00 00 0000 18 03c8 000000000000000000000000 0100 feff 0008 0700 00 0000"))
            .Build());

  // A NetBIOS datagram over LLC carrying SMB.
  write(FrameBuilder().Ieee8023(Mac{0x03, 0, 0, 0, 0, 1}, host).Llc(0xf0, 0xf0, 0x03)
            .Raw(Hex("2c00 ffef 08 00 0000 0100 0000"))
            .Text("HOST").Zeros(12).Text("WORKGROUP      ").Raw(Hex("1d"))
            .Raw(Hex("ff534d42 25 00 00 0000 00 0000 000000000000000000000000 0000 0000 0000 0000 02 11112222 0300 aabbcc"))
            .Build());

  // RARP: a diskless host asks for its own address.
  write(FrameBuilder().Ethernet(kBroadcast, printer, 0x8035).Arp(3, printer, Ip4{}, printer, Ip4{}).PadTo(60).Build());

  // X.25 packet layer and XNS over LLC: named, not decoded further.
  write(FrameBuilder().Ieee8023(router, host).Llc(0x7e, 0x7e, 0x03).Raw(Hex("1001 0b 00")).PadTo(60).Build());
  write(FrameBuilder().Ieee8023(router, host).Llc(0x80, 0x80, 0x03).Raw(Hex("ffff 0028 00 04")).PadTo(60).Build());

  // Configuration test (loopback) and an EtherType no decoder knows.
  write(FrameBuilder().Ethernet(Mac{0xcf, 0, 0, 0, 0, 0}, host, 0x9000).Raw(Hex("0000 0100")).PadTo(60).Build());
  write(FrameBuilder().Ethernet(router, host, 0x88cc).Raw(Hex("0207 04001b213a4f01 0402 0701")).PadTo(60).Build());

  std::printf("wrote %s\n", path.c_str());
  return 0;
}
