// Writes the benchmark capture: a long stretch of busy office LAN traffic as a
// sniffer on the uplink would see it. Mostly TCP (bulk transfers with full
// MSS-sized segments, their ACK-only segments, request/response exchanges of
// middling size, handshakes and closes), plus DNS, media streams over UDP,
// ARP, ICMP echo, IEEE 802.3 frames with LLC (spanning tree BPDUs, CDP over
// SNAP, IPX) and a few IPv4 headers with options. Some hundreds of hosts talk
// over many concurrent conversations; time stamps increase with realistic,
// bursty gaps.
//
// The output depends only on the frame count: the generator has a fixed seed
// and its own random number code (no standard distributions, whose results
// differ between standard libraries).
//
// Usage: make_bench_capture OUTPUT [FRAMES] [OPTIONS]   (FRAMES defaults to 1000000)
//   --conversations N   plain TCP and UDP frames spread over N conversations
//                       instead, the load of a conversation table that keeps
//                       reusing its rows
//   --shape office      the office LAN above (the default)
//   --shape mixed       frames of every size from 60 to 1400 bytes, 200
//                       addresses behind 20 MAC pairs in thousands of short
//                       conversations; TCP, UDP (DNS, NTP, mDNS), ARP, ICMP
//                       and BPDUs as 60/25/7/5/3 (see mixed_traffic.h)
//   --format pcapng     the same frames as pcapng (a section header, one
//                       interface, an Enhanced Packet Block a frame) instead
//                       of a classic savefile

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "bench/bench_random.h"
#include "bench/capture_output.h"
#include "bench/mixed_traffic.h"
#include "framegen/frame_builder.h"

using namespace qv::framegen;

using qv::bench::CaptureFormat;
using qv::bench::CaptureOutput;
using qv::bench::Random;

namespace {

struct Host {
  Mac mac;
  Ip4 ip;
  bool timestamps;  // its TCP stack sends the timestamp option (12 bytes per segment)
};

constexpr std::uint8_t kFin = 0x01, kSyn = 0x02, kRst = 0x04, kPsh = 0x08, kAck = 0x10;

// Conversation kinds, from the quietest to the busiest.
enum class Kind { kInteractive, kWeb, kBulk };

struct Connection {
  const Host* client;
  const Host* server;  // its MAC is the router's when the server is remote
  Mac serverMac;
  std::uint16_t clientPort, serverPort;
  std::uint32_t clientSeq, serverSeq;
  std::uint32_t clientTs, serverTs;
  bool timestamps;
  Kind kind;
  int phase;                  // 0 SYN, 1 SYN-ACK, 2 ACK, 3 request, 4 response, 5.. close
  std::uint64_t toSend;       // response bytes still to come
  int unacked;                // full segments the client has not acknowledged yet
  int ackEvery;               // 2 with delayed ACKs, 1 in quick-ACK mode
  int exchanges;              // request/response rounds left
};

struct MediaStream {
  const Host* from;
  const Host* to;
  Mac toMac;
  std::uint16_t fromPort, toPort;
  std::uint16_t sequence;
  std::uint32_t rtpTime;
  std::uint32_t ssrc;
  std::uint32_t payload;  // bytes of media per packet
};

class Generator {
 public:
  Generator(CaptureOutput& out, std::uint64_t frames) : out_(out), frames_(frames), random_(0x5155'4f52'564eULL) {
    for (std::size_t i = 0; i < payload_.size(); ++i) payload_[i] = static_cast<std::uint8_t>(random_.Next());
    MakeHosts();
    for (int i = 0; i < kConnections; ++i) connections_.push_back(NewConnection());
    for (int i = 0; i < kMediaStreams; ++i) media_.push_back(NewMediaStream());
  }

  void Run() {
    while (written_ < frames_) {
      const double pick = random_.Unit();
      if (pick < 0.855) {
        StepConnection(connections_[PickConnection()]);
      } else if (pick < 0.905) {
        StepMedia();
      } else if (pick < 0.945) {
        Dns();
      } else if (pick < 0.960) {
        Arp();
      } else if (pick < 0.975) {
        Ping();
      } else if (pick < 0.985) {
        OtherUdp();
      } else if (pick < 0.9915) {
        Bpdu();
      } else if (pick < 0.9945) {
        Cdp();
      } else if (pick < 0.9975) {
        Ipx();
      } else {
        Ipv4WithOptions();
      }
    }
    std::fprintf(stderr, "%llu frames, %llu captured bytes (%.1f per frame), %.1f s of traffic\n",
                 static_cast<unsigned long long>(written_), static_cast<unsigned long long>(bytes_),
                 static_cast<double>(bytes_) / static_cast<double>(written_ ? written_ : 1),
                 static_cast<double>(micros_ - kStart * 1'000'000ULL) / 1e6);
  }

 private:
  static constexpr int kLocalHosts = 320;
  static constexpr int kRemoteHosts = 180;
  static constexpr int kConnections = 600;
  static constexpr int kMediaStreams = 12;
  static constexpr std::uint64_t kStart = 1796040000;  // 2026-12-01 UTC

  void MakeHosts() {
    // Local hosts on 10.20.0.0/22, vendor prefixes of common NICs; the first
    // few are the office's own servers (DNS, file, mail, intranet).
    static constexpr std::uint8_t kVendors[][3] = {
        {0x00, 0x1b, 0x21}, {0x3c, 0x52, 0x82}, {0xf4, 0x8e, 0x38}, {0x00, 0x50, 0x56}, {0xa4, 0x83, 0xe7}};
    for (int i = 0; i < kLocalHosts; ++i) {
      Host h;
      const auto& v = kVendors[random_.Below(5)];
      h.mac = {v[0], v[1], v[2], static_cast<std::uint8_t>(random_.Below(256)),
               static_cast<std::uint8_t>(random_.Below(256)), static_cast<std::uint8_t>(random_.Below(256))};
      h.ip = {10, 20, static_cast<std::uint8_t>(i / 200), static_cast<std::uint8_t>(10 + i % 200)};
      h.timestamps = random_.Chance(0.6);
      local_.push_back(h);
    }
    // Remote servers are reached through the router: they share its MAC.
    for (int i = 0; i < kRemoteHosts; ++i) {
      Host h;
      h.mac = router_.mac;
      h.ip = {static_cast<std::uint8_t>(random_.Between(20, 220)), static_cast<std::uint8_t>(random_.Below(256)),
              static_cast<std::uint8_t>(random_.Below(256)), static_cast<std::uint8_t>(random_.Between(1, 254))};
      h.timestamps = random_.Chance(0.8);
      remote_.push_back(h);
    }
  }

  // ---- output ----------------------------------------------------------

  // Writes a frame `gapMean` seconds (on average) after the previous one.
  // Exchanges of two frames may end one frame past the count: it is dropped.
  void Emit(const Bytes& frame, double gapMean) {
    if (written_ >= frames_) return;
    micros_ += 1 + static_cast<std::uint64_t>(random_.Exponential(gapMean * 1e6));
    out_.Write(frame, static_cast<std::uint32_t>(micros_ / 1'000'000), static_cast<std::uint32_t>(micros_ % 1'000'000));
    ++written_;
    bytes_ += frame.size();
  }

  Bytes Payload(std::size_t n) {
    const std::size_t at = random_.Below(static_cast<std::uint32_t>(payload_.size() - n));
    return Bytes(payload_.begin() + static_cast<std::ptrdiff_t>(at), payload_.begin() + static_cast<std::ptrdiff_t>(at + n));
  }

  std::uint16_t Id() { return static_cast<std::uint16_t>(ipId_++); }

  // ---- TCP conversations -------------------------------------------------

  Connection NewConnection() {
    Connection c{};
    c.client = &local_[random_.Below(kLocalHosts)];
    const double kind = random_.Unit();
    c.kind = kind < 0.25 ? Kind::kBulk : kind < 0.85 ? Kind::kWeb : Kind::kInteractive;
    if (random_.Chance(0.7)) {
      c.server = &remote_[random_.Below(kRemoteHosts)];
    } else {
      c.server = &local_[random_.Below(8)];  // the office's own servers
    }
    if (c.server == c.client) c.server = &local_[8 + random_.Below(kLocalHosts - 8)];
    c.serverMac = c.server->mac;
    static constexpr std::uint16_t kWebPorts[] = {443, 443, 443, 80, 8080};
    static constexpr std::uint16_t kBulkPorts[] = {445, 443, 22, 2049, 80};
    static constexpr std::uint16_t kInteractivePorts[] = {22, 3389, 993, 5222, 23};
    c.serverPort = c.kind == Kind::kWeb    ? kWebPorts[random_.Below(5)]
                   : c.kind == Kind::kBulk ? kBulkPorts[random_.Below(5)]
                                           : kInteractivePorts[random_.Below(5)];
    c.clientPort = static_cast<std::uint16_t>(random_.Between(32768, 60999));
    c.clientSeq = static_cast<std::uint32_t>(random_.Next());
    c.serverSeq = static_cast<std::uint32_t>(random_.Next());
    c.clientTs = static_cast<std::uint32_t>(random_.Next());
    c.serverTs = static_cast<std::uint32_t>(random_.Next());
    c.timestamps = c.client->timestamps && c.server->timestamps;
    c.ackEvery = random_.Chance(0.3) ? 1 : 2;
    // Half the conversations were already open when the capture started.
    c.phase = random_.Chance(0.5) && written_ == 0 ? 3 : 0;
    c.exchanges = c.kind == Kind::kInteractive ? static_cast<int>(random_.Between(20, 400))
                  : c.kind == Kind::kWeb      ? static_cast<int>(random_.Between(1, 12))
                                              : static_cast<int>(random_.Between(1, 3));
    return c;
  }

  // Bulk transfers are picked more often: they carry most of the frames.
  std::size_t PickConnection() {
    for (;;) {
      const std::size_t i = random_.Below(static_cast<std::uint32_t>(connections_.size()));
      const Connection& c = connections_[i];
      const double weight = c.kind == Kind::kBulk ? 1.0 : c.kind == Kind::kWeb ? 0.55 : 0.12;
      if (random_.Chance(weight)) return i;
    }
  }

  Bytes TcpFrame(const Connection& c, bool fromClient, std::uint8_t flags, std::size_t payloadLength,
                 const Bytes& synOptions = {}) {
    const Host& src = fromClient ? *c.client : *c.server;
    const Host& dst = fromClient ? *c.server : *c.client;
    const Mac& srcMac = fromClient ? c.client->mac : c.serverMac;
    const Mac& dstMac = fromClient ? c.serverMac : c.client->mac;
    Bytes options = synOptions;
    if (options.empty() && c.timestamps) {
      const std::uint32_t mine = fromClient ? c.clientTs : c.serverTs;
      const std::uint32_t theirs = fromClient ? c.serverTs : c.clientTs;
      options = {1, 1, 8, 10, static_cast<std::uint8_t>(mine >> 24), static_cast<std::uint8_t>(mine >> 16),
                 static_cast<std::uint8_t>(mine >> 8), static_cast<std::uint8_t>(mine),
                 static_cast<std::uint8_t>(theirs >> 24), static_cast<std::uint8_t>(theirs >> 16),
                 static_cast<std::uint8_t>(theirs >> 8), static_cast<std::uint8_t>(theirs)};
    }
    const std::uint32_t seq = fromClient ? c.clientSeq : c.serverSeq;
    const std::uint32_t ack = (flags & kAck) ? (fromClient ? c.serverSeq : c.clientSeq) : 0;
    const auto window = static_cast<std::uint16_t>(fromClient ? 501 + (c.clientPort % 3000) : 65160);
    FrameBuilder f;
    f.Ethernet(dstMac, srcMac, 0x0800)
        .Ipv4(src.ip, dst.ip, 6, {}, 0, Id(), 0x4000, fromClient ? 64 : static_cast<std::uint8_t>(48 + c.serverPort % 13))
        .Tcp(fromClient ? c.clientPort : c.serverPort, fromClient ? c.serverPort : c.clientPort, seq, ack, flags,
             options, window);
    if (payloadLength > 0) f.Raw(Payload(payloadLength));
    // Windows hosts (no timestamps) are seen on the far side of a switch: padded.
    if (!c.timestamps) f.PadTo(60);
    return f.Build();
  }

  void StepConnection(Connection& c) {
    const std::size_t mss = c.timestamps ? 1448 : 1460;
    switch (c.phase) {
      case 0: {
        Bytes opts = Hex("020405b4 0402080a 00000000 00000000 01030307");
        if (!c.client->timestamps) opts = Hex("020405b4 01030308 01010402");
        Emit(TcpFrame(c, true, kSyn, 0, opts), 400e-6);
        c.clientSeq += 1;
        c.phase = 1;
        return;
      }
      case 1: {
        Bytes opts = c.timestamps ? Hex("020405b4 0402080a 00000000 00000000 01030307") : Hex("020405b4 01010402");
        Emit(TcpFrame(c, false, kSyn | kAck, 0, opts), 30e-6);
        c.serverSeq += 1;
        c.phase = 2;
        return;
      }
      case 2:
        Emit(TcpFrame(c, true, kAck, 0), 30e-6);
        c.phase = 3;
        return;
      case 3: {
        // The request: a few hundred bytes (HTTP/TLS, SMB read, a keystroke).
        const std::size_t len = c.kind == Kind::kInteractive ? 36 + 16 * random_.Below(4)
                                                             : 180 + random_.Below(c.kind == Kind::kWeb ? 900 : 300);
        Emit(TcpFrame(c, true, kAck | kPsh, len), c.kind == Kind::kInteractive ? 400e-6 : 150e-6);
        c.clientSeq += static_cast<std::uint32_t>(len);
        c.clientTs += 3;
        c.toSend = c.kind == Kind::kBulk          ? 200'000 + random_.Below(30'000'000)
                   : c.kind == Kind::kWeb         ? 300 + random_.Below(random_.Chance(0.3) ? 400'000 : 6'000)
                                                  : 36 + 48 * random_.Below(20);
        c.unacked = 0;
        c.phase = 4;
        return;
      }
      case 4: {
        // The response, with ACK-only segments from the client after every
        // second full segment (delayed ACK) or every one (quick ACK).
        if (c.unacked >= c.ackEvery || (c.toSend == 0 && c.unacked > 0)) {
          Emit(TcpFrame(c, true, kAck, 0), 15e-6);
          c.unacked = 0;
          c.clientTs += 1;
          if (c.toSend == 0) Finish(c);
          return;
        }
        const std::size_t len = c.toSend < mss ? static_cast<std::size_t>(c.toSend) : mss;
        const bool last = len == c.toSend;
        Emit(TcpFrame(c, false, static_cast<std::uint8_t>(kAck | (last ? kPsh : 0)), len),
             c.kind == Kind::kBulk ? 25e-6 : 60e-6);
        c.serverSeq += static_cast<std::uint32_t>(len);
        c.serverTs += 1;
        c.toSend -= len;
        ++c.unacked;
        if (last && c.unacked == 1 && random_.Chance(0.4)) {
          // A lone final segment is acknowledged after the delayed-ACK timer.
          Emit(TcpFrame(c, true, kAck, 0), 40e-6);
          c.unacked = 0;
          Finish(c);
        }
        return;
      }
      case 5:
        Emit(TcpFrame(c, true, kFin | kAck, 0), 300e-6);
        c.clientSeq += 1;
        c.phase = 6;
        return;
      case 6:
        Emit(TcpFrame(c, false, kFin | kAck, 0), 100e-6);
        c.serverSeq += 1;
        c.phase = 7;
        return;
      default:
        if (random_.Chance(0.03)) {
          Emit(TcpFrame(c, true, kRst | kAck, 0), 50e-6);
        } else {
          Emit(TcpFrame(c, true, kAck, 0), 50e-6);
        }
        c = NewConnection();
        return;
    }
  }

  void Finish(Connection& c) {
    if (--c.exchanges > 0) {
      c.phase = 3;
    } else {
      c.phase = 5;
    }
  }

  // ---- UDP -----------------------------------------------------------------

  MediaStream NewMediaStream() {
    MediaStream m{};
    m.from = &remote_[random_.Below(kRemoteHosts)];
    m.to = &local_[random_.Below(kLocalHosts)];
    m.toMac = m.to->mac;
    m.fromPort = static_cast<std::uint16_t>(random_.Between(10000, 20000) & ~1u);
    m.toPort = static_cast<std::uint16_t>(random_.Between(16384, 32767) & ~1u);
    m.sequence = static_cast<std::uint16_t>(random_.Next());
    m.rtpTime = static_cast<std::uint32_t>(random_.Next());
    m.ssrc = static_cast<std::uint32_t>(random_.Next());
    static constexpr std::uint32_t kSizes[] = {160, 172, 320, 640, 960, 1100, 1200, 1240};
    m.payload = kSizes[random_.Below(8)];
    return m;
  }

  void StepMedia() {
    MediaStream& m = media_[random_.Below(kMediaStreams)];
    const std::uint32_t len = m.payload > 900 ? m.payload - random_.Below(300) : m.payload;
    const Bytes rtp{0x80, static_cast<std::uint8_t>(m.payload > 900 ? 0x60 : 0x00),
                    static_cast<std::uint8_t>(m.sequence >> 8), static_cast<std::uint8_t>(m.sequence),
                    static_cast<std::uint8_t>(m.rtpTime >> 24), static_cast<std::uint8_t>(m.rtpTime >> 16),
                    static_cast<std::uint8_t>(m.rtpTime >> 8), static_cast<std::uint8_t>(m.rtpTime),
                    static_cast<std::uint8_t>(m.ssrc >> 24), static_cast<std::uint8_t>(m.ssrc >> 16),
                    static_cast<std::uint8_t>(m.ssrc >> 8), static_cast<std::uint8_t>(m.ssrc)};
    Emit(FrameBuilder()
             .Ethernet(m.toMac, router_.mac, 0x0800)
             .Ipv4(m.from->ip, m.to->ip, 17, {}, 0xb8, Id(), 0x4000, 52)
             .Udp(m.fromPort, m.toPort)
             .Raw(rtp)
             .Raw(Payload(len))
             .Build(),
         90e-6);
    ++m.sequence;
    m.rtpTime += 160;
    if (random_.Chance(0.0005)) m = NewMediaStream();
  }

  Bytes DnsName() {
    static constexpr const char* kLabels[] = {"www", "api", "cdn", "mail", "login", "static", "img", "update",
                                              "telemetry", "files", "intranet", "s3", "edge", "push"};
    static constexpr const char* kDomains[] = {"example", "contoso", "fabrikam", "northwind", "wingtip",
                                               "tailspin", "adventure-works", "litware", "proseware"};
    static constexpr const char* kTops[] = {"com", "net", "org", "io", "de"};
    Bytes name;
    auto label = [&](const char* s) {
      const std::string_view v(s);
      name.push_back(static_cast<std::uint8_t>(v.size()));
      name.insert(name.end(), v.begin(), v.end());
    };
    label(kLabels[random_.Below(14)]);
    if (random_.Chance(0.3)) label(kLabels[random_.Below(14)]);
    label(kDomains[random_.Below(9)]);
    label(kTops[random_.Below(5)]);
    name.push_back(0);
    return name;
  }

  void Dns() {
    const Host& client = local_[random_.Below(kLocalHosts)];
    const Host& server = local_[0];
    const auto port = static_cast<std::uint16_t>(random_.Between(32768, 60999));
    const auto id = static_cast<std::uint16_t>(random_.Next());
    const Bytes name = DnsName();
    const std::uint8_t type = random_.Chance(0.35) ? 28 : 1;  // AAAA or A
    Bytes query{static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    query.insert(query.end(), name.begin(), name.end());
    query.insert(query.end(), {0, type, 0, 1});
    Emit(FrameBuilder().Ethernet(server.mac, client.mac, 0x0800).Ipv4(client.ip, server.ip, 17, {}, 0, Id())
             .Udp(port, 53).Raw(query).Build(),
         300e-6);
    // The answer: one to four records.
    Bytes answer = query;
    answer[2] = 0x81;
    answer[3] = 0x80;
    const std::uint8_t records = static_cast<std::uint8_t>(1 + random_.Below(4));
    answer[7] = records;
    for (int i = 0; i < records; ++i) {
      answer.insert(answer.end(), {0xc0, 0x0c, 0, type, 0, 1, 0, 0, 0x01, 0x2c, 0, static_cast<std::uint8_t>(type == 1 ? 4 : 16)});
      const Bytes addr = Payload(type == 1 ? 4 : 16);
      answer.insert(answer.end(), addr.begin(), addr.end());
    }
    Emit(FrameBuilder().Ethernet(client.mac, server.mac, 0x0800).Ipv4(server.ip, client.ip, 17, {}, 0, Id())
             .Udp(53, port).Raw(answer).Build(),
         300e-6);
  }

  void OtherUdp() {
    const Host& h = local_[random_.Below(kLocalHosts)];
    const double pick = random_.Unit();
    if (pick < 0.4) {
      // NTP client request.
      Bytes ntp = Payload(48);
      ntp[0] = 0x23;
      Emit(FrameBuilder().Ethernet(router_.mac, h.mac, 0x0800).Ipv4(h.ip, remote_[3].ip, 17, {}, 0, Id())
               .Udp(123, 123).Raw(ntp).Build(),
           500e-6);
    } else if (pick < 0.7) {
      // NetBIOS name service broadcast.
      Emit(FrameBuilder().Ethernet(kBroadcast, h.mac, 0x0800)
               .Ipv4(h.ip, Ip4{10, 20, 3, 255}, 17, {}, 0, Id(), 0x0000, 128)
               .Udp(137, 137).Raw(Payload(50)).Build(),
           500e-6);
    } else {
      // mDNS / SSDP chatter.
      Emit(FrameBuilder().Ethernet(Mac{0x01, 0x00, 0x5e, 0x00, 0x00, 0xfb}, h.mac, 0x0800)
               .Ipv4(h.ip, Ip4{224, 0, 0, 251}, 17, {}, 0, Id(), 0x4000, 255)
               .Udp(5353, 5353).Raw(Payload(60 + random_.Below(300))).Build(),
           500e-6);
    }
  }

  // ---- ARP and ICMP --------------------------------------------------------

  void Arp() {
    const Host& asker = local_[random_.Below(kLocalHosts)];
    const Host& target = random_.Chance(0.5) ? router_ : local_[random_.Below(kLocalHosts)];
    Emit(FrameBuilder().Ethernet(kBroadcast, asker.mac, 0x0806).Arp(1, asker.mac, asker.ip, Mac{}, target.ip)
             .PadTo(60).Build(),
         250e-6);
    if (random_.Chance(0.8)) {
      Emit(FrameBuilder().Ethernet(asker.mac, target.mac, 0x0806).Arp(2, target.mac, target.ip, asker.mac, asker.ip)
               .PadTo(60).Build(),
           150e-6);
    }
  }

  void Ping() {
    const Host& from = local_[random_.Below(kLocalHosts)];
    const bool remote = random_.Chance(0.5);
    const Host& to = remote ? remote_[random_.Below(kRemoteHosts)] : local_[random_.Below(kLocalHosts)];
    const Mac& toMac = remote ? router_.mac : to.mac;
    const auto ident = static_cast<std::uint16_t>(random_.Next());
    const auto seq = static_cast<std::uint16_t>(random_.Below(200));
    Bytes data = Payload(56);  // Linux ping: 8 bytes of time, 48 of pattern
    auto echo = [&](std::uint8_t type) {
      Bytes icmp(8 + data.size());
      icmp[0] = type;
      icmp[4] = static_cast<std::uint8_t>(ident >> 8);
      icmp[5] = static_cast<std::uint8_t>(ident);
      icmp[6] = static_cast<std::uint8_t>(seq >> 8);
      icmp[7] = static_cast<std::uint8_t>(seq);
      std::copy(data.begin(), data.end(), icmp.begin() + 8);
      std::uint32_t sum = 0;
      for (std::size_t i = 0; i + 1 < icmp.size(); i += 2) sum += static_cast<std::uint32_t>(icmp[i] << 8 | icmp[i + 1]);
      while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
      icmp[2] = static_cast<std::uint8_t>(~sum >> 8);
      icmp[3] = static_cast<std::uint8_t>(~sum);
      return icmp;
    };
    Emit(FrameBuilder().Ethernet(toMac, from.mac, 0x0800).Ipv4(from.ip, to.ip, 1, {}, 0, Id()).Raw(echo(8)).Build(),
         800e-6);
    if (random_.Chance(0.9)) {
      Emit(FrameBuilder().Ethernet(from.mac, toMac, 0x0800).Ipv4(to.ip, from.ip, 1, {}, 0, Id(), 0x0000, remote ? 54 : 64)
               .Raw(echo(0)).Build(),
           remote ? 500e-6 : 200e-6);
    }
  }

  // ---- IEEE 802.3 with LLC -------------------------------------------------

  void Bpdu() {
    // Configuration BPDU (or RSTP) from one of the access switches.
    const std::uint8_t sw = static_cast<std::uint8_t>(random_.Below(6));
    const Mac bridge{0x00, 0x1a, 0xa1, 0x42, 0x10, static_cast<std::uint8_t>(0x20 + sw)};
    const bool rstp = sw >= 3;
    Bytes bpdu{0x00, 0x00, static_cast<std::uint8_t>(rstp ? 2 : 0), static_cast<std::uint8_t>(rstp ? 2 : 0),
               static_cast<std::uint8_t>(rstp ? 0x3c : 0x00),
               0x80, 0x00, 0x00, 0x1a, 0xa1, 0x42, 0x10, 0x01,  // root
               0x00, 0x00, 0x00, 0x04,                          // path cost
               0x80, 0x00, bridge[0], bridge[1], bridge[2], bridge[3], bridge[4], bridge[5],
               0x80, static_cast<std::uint8_t>(1 + random_.Below(48)),  // port
               0x01, 0x00, 0x14, 0x00, 0x02, 0x00, 0x0f, 0x00};
    if (rstp) bpdu.push_back(0x00);  // version 1 length
    Emit(FrameBuilder().Ieee8023(Mac{0x01, 0x80, 0xc2, 0x00, 0x00, 0x00}, bridge).Llc(0x42, 0x42, 0x03).Raw(bpdu)
             .PadTo(60).Build(),
         300e-6);
  }

  void Cdp() {
    const std::uint8_t sw = static_cast<std::uint8_t>(random_.Below(6));
    const Mac bridge{0x00, 0x1a, 0xa1, 0x42, 0x10, static_cast<std::uint8_t>(0x20 + sw)};
    Bytes cdp{0x02, 0xb4, 0x00, 0x00};  // version, hold time, checksum
    auto tlv = [&](std::uint16_t type, std::string_view value) {
      const auto len = static_cast<std::uint16_t>(value.size() + 4);
      cdp.insert(cdp.end(), {static_cast<std::uint8_t>(type >> 8), static_cast<std::uint8_t>(type),
                             static_cast<std::uint8_t>(len >> 8), static_cast<std::uint8_t>(len)});
      cdp.insert(cdp.end(), value.begin(), value.end());
    };
    tlv(1, "access-sw-0" + std::to_string(sw) + ".office.example.com");
    tlv(3, "GigabitEthernet1/0/" + std::to_string(1 + random_.Below(48)));
    tlv(4, std::string("\x00\x00\x00\x28", 4));
    tlv(5, "Switch Software, Version 15.2(7)E8, RELEASE SOFTWARE (fc3)\nTechnical Support: support.example.com\n"
           "Copyright (c) 1986-2026 by the vendor\nCompiled Mon 01-Jun-26 10:00 by builder");
    tlv(6, "WS-C2960X-48FPD-L");
    Emit(FrameBuilder().Ieee8023(Mac{0x01, 0x00, 0x0c, 0xcc, 0xcc, 0xcc}, bridge).Llc(0xaa, 0xaa, 0x03)
             .Snap(0x00000c, 0x2000).Raw(cdp).Build(),
         300e-6);
  }

  void Ipx() {
    // A legacy NetWare print server announcing itself (SAP over IPX over
    // 802.2), or an old client's NCP request.
    const Host& h = local_[random_.Below(16)];
    const bool sap = random_.Chance(0.5);
    const Mac& to = sap ? kBroadcast : local_[1].mac;
    Bytes ipx{0xff, 0xff, 0, 0, 0, static_cast<std::uint8_t>(sap ? 0x04 : 0x11),
              0, 0, 0x10, 0x01, to[0], to[1], to[2], to[3], to[4], to[5], 0x04, static_cast<std::uint8_t>(sap ? 0x52 : 0x51),
              0, 0, 0x10, 0x01, h.mac[0], h.mac[1], h.mac[2], h.mac[3], h.mac[4], h.mac[5],
              static_cast<std::uint8_t>(sap ? 0x04 : 0x40), static_cast<std::uint8_t>(sap ? 0x52 : 0x03)};
    const Bytes body = sap ? Payload(64 * (1 + random_.Below(3)) + 2) : Payload(40 + random_.Below(120));
    ipx.insert(ipx.end(), body.begin(), body.end());
    const auto len = static_cast<std::uint16_t>(ipx.size());
    ipx[2] = static_cast<std::uint8_t>(len >> 8);
    ipx[3] = static_cast<std::uint8_t>(len);
    Emit(FrameBuilder().Ieee8023(to, h.mac).Llc(0xe0, 0xe0, 0x03).Raw(ipx)
             .PadTo(60).Build(),
         250e-6);
  }

  // ---- IPv4 with options -----------------------------------------------------

  void Ipv4WithOptions() {
    const Host& h = local_[random_.Below(kLocalHosts)];
    const double pick = random_.Unit();
    if (pick < 0.6) {
      // IGMPv2 membership report with Router Alert.
      const Ip4 group{239, 255, static_cast<std::uint8_t>(random_.Below(4)), static_cast<std::uint8_t>(random_.Below(256))};
      Bytes igmp{0x16, 0x00, 0x00, 0x00, group[0], group[1], group[2], group[3]};
      std::uint32_t sum = 0;
      for (std::size_t i = 0; i < igmp.size(); i += 2) sum += static_cast<std::uint32_t>(igmp[i] << 8 | igmp[i + 1]);
      while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
      igmp[2] = static_cast<std::uint8_t>(~sum >> 8);
      igmp[3] = static_cast<std::uint8_t>(~sum);
      Emit(FrameBuilder().Ethernet(Mac{0x01, 0x00, 0x5e, static_cast<std::uint8_t>(group[1] & 0x7f), group[2], group[3]},
                                   h.mac, 0x0800)
               .Ipv4(h.ip, group, 2, Hex("94040000"), 0xc0, Id(), 0x0000, 1)
               .Raw(igmp).PadTo(60).Build(),
           250e-6);
    } else if (pick < 0.85) {
      // ping -R: ICMP echo with a record-route option.
      Bytes icmp = Payload(64);
      icmp[0] = 8;
      icmp[1] = 0;
      Emit(FrameBuilder().Ethernet(router_.mac, h.mac, 0x0800)
               .Ipv4(h.ip, remote_[random_.Below(kRemoteHosts)].ip, 1,
                     Hex("01 07 27 04 0a140001 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000"),
                     0, Id())
               .Raw(icmp).Build(),
           250e-6);
    } else {
      // UDP with a timestamp option (a measurement probe).
      Emit(FrameBuilder().Ethernet(router_.mac, h.mac, 0x0800)
               .Ipv4(h.ip, remote_[random_.Below(kRemoteHosts)].ip, 17, Hex("440c0501 0a14000a 0001e240"), 0, Id())
               .Udp(static_cast<std::uint16_t>(random_.Between(32768, 60999)), 33434).Raw(Payload(32)).Build(),
           250e-6);
    }
  }

  CaptureOutput& out_;
  std::uint64_t frames_;
  Random random_;
  std::array<std::uint8_t, 1 << 16> payload_{};
  Host router_{{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01}, {10, 20, 0, 1}, true};
  std::vector<Host> local_;
  std::vector<Host> remote_;
  std::vector<Connection> connections_;
  std::vector<MediaStream> media_;
  std::uint64_t written_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint32_t ipId_ = 1;
  std::uint64_t micros_ = kStart * 1'000'000ULL;  // time of the last frame
};

// Many conversations at once: every frame belongs to one of `conversations`
// ordered pairs of IPv4 hosts, picked at random, so a conversation table
// smaller than that keeps reusing its rows. Each pair keeps its own ports;
// four frames in five are TCP, the rest UDP.
void WriteConversationSpread(CaptureOutput& out, std::uint64_t frames, std::uint32_t conversations) {
  struct Pair {
    Ip4 client, server;
    std::uint16_t clientPort, serverPort;
    bool udp;
  };
  Random random(0x434f'4e56'4552ULL);
  std::vector<Pair> pairs;
  pairs.reserve(conversations);
  // Clients on 10.40.0.0/16, servers on 172.16.0.0/16: every pair is distinct.
  constexpr std::uint32_t kClients = 500;
  for (std::uint32_t i = 0; i < conversations; ++i) {
    const std::uint32_t client = i % kClients, server = i / kClients;
    pairs.push_back({{10, 40, static_cast<std::uint8_t>(client / 250), static_cast<std::uint8_t>(1 + client % 250)},
                     {172, 16, static_cast<std::uint8_t>(server / 250), static_cast<std::uint8_t>(1 + server % 250)},
                     static_cast<std::uint16_t>(random.Between(1024, 65000)),
                     static_cast<std::uint16_t>(random.Chance(0.5) ? 443 : random.Between(1, 1023)), random.Chance(0.2)});
  }
  const Mac clientMac{0x00, 0x1b, 0x21, 0x10, 0x20, 0x30}, routerMac{0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01};
  std::array<std::uint8_t, 1460> payload{};
  for (auto& b : payload) b = static_cast<std::uint8_t>(random.Next());
  std::uint64_t micros = 1796040000ULL * 1'000'000ULL, bytes = 0;
  for (std::uint64_t n = 0; n < frames; ++n) {
    const Pair& p = pairs[random.Below(conversations)];
    const std::size_t size = random.Chance(0.4) ? 0 : random.Between(1, 1460);
    FrameBuilder frame;
    frame.Ethernet(routerMac, clientMac, 0x0800).Ipv4(p.client, p.server, p.udp ? 17 : 6);
    if (p.udp) {
      frame.Udp(p.clientPort, p.serverPort);
    } else {
      frame.Tcp(p.clientPort, p.serverPort, static_cast<std::uint32_t>(n), 1, kAck | (size ? kPsh : 0));
    }
    frame.Raw(Bytes(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(size)));
    const Bytes built = frame.Build();
    micros += 1 + random.Below(200);
    out.Write(built, static_cast<std::uint32_t>(micros / 1'000'000), static_cast<std::uint32_t>(micros % 1'000'000));
    bytes += built.size();
  }
  std::fprintf(stderr, "%llu frames over %u conversations, %.1f captured bytes per frame\n",
               static_cast<unsigned long long>(frames), conversations,
               static_cast<double>(bytes) / static_cast<double>(frames ? frames : 1));
}

bool ParseCount(const char* text, std::uint64_t& into) {
  char* end = nullptr;
  into = std::strtoull(text, &end, 10);
  return end != text && *end == '\0' && into != 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t frames = 1'000'000, conversations = 0;
  bool mixed = false;
  CaptureFormat format = CaptureFormat::kPcap;
  std::vector<std::string> positional;
  const auto usage = [] {
    std::fprintf(stderr,
                 "usage: make_bench_capture OUTPUT [FRAMES] [--conversations N] [--shape office|mixed] "
                 "[--format pcap|pcapng]\n");
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg != "--conversations" && arg != "--shape" && arg != "--format") {
      positional.push_back(arg);
      continue;
    }
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (arg == "--conversations") {
      if (!ParseCount(value.c_str(), conversations) || conversations > 65000) {
        std::fprintf(stderr, "make_bench_capture: bad conversation count '%s'\n", value.c_str());
        return 2;
      }
    } else if (arg == "--shape") {
      if (value != "office" && value != "mixed") return usage();
      mixed = value == "mixed";
    } else {
      if (value != "pcap" && value != "pcapng") return usage();
      format = value == "pcapng" ? CaptureFormat::kPcapng : CaptureFormat::kPcap;
    }
  }
  if (positional.empty() || positional.size() > 2 || (mixed && conversations != 0)) return usage();
  if (positional.size() == 2 && !ParseCount(positional[1].c_str(), frames)) {
    std::fprintf(stderr, "make_bench_capture: bad frame count '%s'\n", positional[1].c_str());
    return 2;
  }
  try {
    CaptureOutput out(positional[0], format);
    if (conversations != 0) {
      WriteConversationSpread(out, frames, static_cast<std::uint32_t>(conversations));
    } else if (mixed) {
      qv::bench::WriteMixedTraffic(out, frames);
    } else {
      Generator generator(out, frames);
      generator.Run();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_bench_capture: %s\n", e.what());
    return 1;
  }
  return 0;
}
