#include "bench/mixed_traffic.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_random.h"

namespace qv::bench {

namespace {

using framegen::Bytes;
using framegen::FrameBuilder;
using framegen::Ip4;
using framegen::Mac;

constexpr std::uint8_t kFin = 0x01, kSyn = 0x02, kPsh = 0x08, kAck = 0x10;

// 200 addresses behind 20 pairs of MAC addresses: the trunk carries the
// traffic of 20 router pairs, each with the networks behind it.
constexpr std::uint32_t kAddresses = 200;
constexpr std::uint32_t kMacPairs = 20;
// Flows open at once. Each has two ordered address pairs (one a direction),
// so some thousands of conversations are live at any time.
constexpr std::uint32_t kOpenFlows = 1500;
// The name servers and NTP servers are among the addresses.
constexpr std::uint32_t kNameServers = 3;
constexpr std::uint32_t kNtpServers = 4;
// The largest frame: 1400 bytes.
constexpr std::uint32_t kLargestFrame = 1400;

struct Flow {
  std::uint32_t client, server;
  std::uint16_t clientPort, serverPort;
  std::uint32_t clientSeq, serverSeq;
  bool timestamps;
  int sent;   // frames so far
  int frames;  // frames in all, the handshake and the close included
};

class MixedTraffic {
 public:
  MixedTraffic(CaptureOutput& out, std::uint64_t frames) : out_(out), frames_(frames), random_(0x4d49'5845'4453ULL) {
    for (std::size_t i = 0; i < payload_.size(); ++i) payload_[i] = static_cast<std::uint8_t>(random_.Next());
    for (std::uint32_t i = 0; i < kAddresses; ++i) {
      // Three in four on private networks, the rest public servers.
      if (i % 4 != 3) {
        addresses_.push_back({10, static_cast<std::uint8_t>(30 + i % kMacPairs), static_cast<std::uint8_t>(i / 40),
                              static_cast<std::uint8_t>(10 + i % 40)});
      } else {
        addresses_.push_back({static_cast<std::uint8_t>(random_.Between(23, 210)), static_cast<std::uint8_t>(random_.Below(256)),
                              static_cast<std::uint8_t>(random_.Below(256)), static_cast<std::uint8_t>(random_.Between(1, 254))});
      }
    }
    for (std::uint32_t i = 0; i < kMacPairs; ++i) {
      macPairs_.push_back({Mac{0x00, 0x1b, 0x21, 0x5a, static_cast<std::uint8_t>(i), 0x01},
                           Mac{0x3c, 0x52, 0x82, 0x6b, static_cast<std::uint8_t>(i), 0x02}});
    }
    for (std::uint32_t i = 0; i < kOpenFlows; ++i) flows_.push_back(NewFlow());
  }

  void Run() {
    // TCP, UDP (DNS, NTP, mDNS), ARP, ICMP and BPDUs as 60/25/7/5/3 of the
    // frames. A pick of UDP, ARP or ICMP writes 1.65, 1.7 and 1.85 frames on
    // average (answers and replies), so those are picked less often.
    while (written_ < frames_) {
      const double pick = random_.Unit();
      if (pick < 0.7061) {
        StepFlow(flows_[random_.Below(kOpenFlows)]);
      } else if (pick < 0.8844) {
        const double udp = random_.Unit();
        if (udp < 0.5) {
          Dns();
        } else if (udp < 0.7) {
          Ntp();
        } else {
          Mdns();
        }
      } else if (pick < 0.9329) {
        Arp();
      } else if (pick < 0.9647) {
        Ping();
      } else {
        Bpdu();
      }
    }
    std::fprintf(stderr, "%llu frames of the mixed shape, %llu captured bytes (%.1f per frame)\n",
                 static_cast<unsigned long long>(written_), static_cast<unsigned long long>(bytes_),
                 static_cast<double>(bytes_) / static_cast<double>(written_ ? written_ : 1));
  }

 private:
  struct MacPair {
    Mac a, b;
  };

  void Emit(const Bytes& frame) {
    if (written_ >= frames_) return;
    micros_ += 1 + static_cast<std::uint64_t>(random_.Exponential(25.0));
    out_.Write(frame, static_cast<std::uint32_t>(micros_ / 1'000'000), static_cast<std::uint32_t>(micros_ % 1'000'000));
    ++written_;
    bytes_ += frame.size();
  }

  Bytes Payload(std::size_t n) {
    const std::size_t at = random_.Below(static_cast<std::uint32_t>(payload_.size() - n));
    return Bytes(payload_.begin() + static_cast<std::ptrdiff_t>(at), payload_.begin() + static_cast<std::ptrdiff_t>(at + n));
  }

  std::uint16_t Id() { return static_cast<std::uint16_t>(ipId_++); }
  std::uint32_t AnyAddress() { return random_.Below(kAddresses); }
  std::uint32_t OtherThan(std::uint32_t address) {
    const std::uint32_t other = random_.Below(kAddresses - 1);
    return other >= address ? other + 1 : other;
  }
  // The MAC addresses a frame from `from` carries: the pair of the sender's
  // networks, in the direction of the frame.
  const Mac& SourceMac(std::uint32_t from) const { return macPairs_[from % kMacPairs].a; }
  const Mac& DestinationMac(std::uint32_t from) const { return macPairs_[from % kMacPairs].b; }
  FrameBuilder Ip(std::uint32_t from, std::uint32_t to, std::uint8_t protocol, std::uint8_t ttl = 64) {
    FrameBuilder f;
    f.Ethernet(DestinationMac(from), SourceMac(from), 0x0800)
        .Ipv4(addresses_[from], addresses_[to], protocol, {}, 0, Id(), 0x4000, ttl);
    return f;
  }

  // ---- TCP -----------------------------------------------------------------

  Flow NewFlow() {
    Flow f{};
    f.client = AnyAddress();
    f.server = OtherThan(f.client);
    static constexpr std::uint16_t kPorts[] = {443, 443, 443, 80, 22, 445, 993, 8080, 3389, 5432};
    f.serverPort = kPorts[random_.Below(10)];
    f.clientPort = static_cast<std::uint16_t>(random_.Between(32768, 60999));
    f.clientSeq = static_cast<std::uint32_t>(random_.Next());
    f.serverSeq = static_cast<std::uint32_t>(random_.Next());
    f.timestamps = random_.Chance(0.7);
    // Short flows: a handful of frames up to a few hundred.
    f.frames = static_cast<int>(4 + random_.Below(random_.Chance(0.8) ? 30 : 300));
    return f;
  }

  Bytes Segment(const Flow& f, bool fromClient, std::uint8_t flags, std::size_t payloadLength) {
    const std::uint32_t from = fromClient ? f.client : f.server, to = fromClient ? f.server : f.client;
    Bytes options;
    if (flags & kSyn) {
      options = framegen::Hex("020405b4 0402080a 00000000 00000000 01030307");
    } else if (f.timestamps) {
      options = framegen::Hex("0101080a 00000000 00000000");
      const std::uint32_t now = static_cast<std::uint32_t>(micros_ / 1000);
      for (int i = 0; i < 4; ++i) options[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(now >> (24 - 8 * i));
    }
    FrameBuilder b = Ip(from, to, 6, fromClient ? 64 : 57);
    b.Tcp(fromClient ? f.clientPort : f.serverPort, fromClient ? f.serverPort : f.clientPort,
          fromClient ? f.clientSeq : f.serverSeq, (flags & kAck) ? (fromClient ? f.serverSeq : f.clientSeq) : 0, flags,
          options, static_cast<std::uint16_t>(fromClient ? 64240 : 65160));
    if (payloadLength > 0) b.Raw(Payload(payloadLength));
    b.PadTo(60);
    return b.Build();
  }

  void StepFlow(Flow& f) {
    const int step = f.sent++;
    if (step == 0) {
      Emit(Segment(f, true, kSyn, 0));
      ++f.clientSeq;
    } else if (step == 1) {
      Emit(Segment(f, false, kSyn | kAck, 0));
      ++f.serverSeq;
    } else if (step + 1 < f.frames) {
      // Data both ways, more of it from the server: 15% bare
      // acknowledgements, 14% full-sized segments, the rest of any size.
      const bool fromClient = random_.Chance(0.4);
      const auto room = static_cast<std::uint32_t>(kLargestFrame - (14 + 20 + 20 + (f.timestamps ? 12 : 0)));
      const double size = random_.Unit();
      const std::size_t payload = size < 0.15 ? 0 : size < 0.29 ? room : random_.Between(1, room);
      Emit(Segment(f, fromClient, static_cast<std::uint8_t>(kAck | (payload ? kPsh : 0)), payload));
      (fromClient ? f.clientSeq : f.serverSeq) += static_cast<std::uint32_t>(payload);
    } else {
      Emit(Segment(f, random_.Chance(0.5), kFin | kAck, 0));
      f = NewFlow();
    }
  }

  // ---- UDP -------------------------------------------------------------------

  // "host-N.DOMAIN.example.com", or "host-N.local" for mDNS, as DNS writes
  // names: each label after its length.
  static Bytes HostName(std::uint32_t address, std::string_view domain) {
    Bytes name;
    const auto label = [&](std::string_view text) {
      name.push_back(static_cast<std::uint8_t>(text.size()));
      name.insert(name.end(), text.begin(), text.end());
    };
    label("host-" + std::to_string(address));
    label(domain);
    if (domain != "local") {
      label("example");
      label("com");
    }
    name.push_back(0);
    return name;
  }

  void Dns() {
    // A client asks one of the name servers for an address; the answer
    // names it (the table learns the name from it) with one to eight
    // records, the addresses of the name's other hosts.
    const std::uint32_t server = random_.Below(kNameServers);
    std::uint32_t client = AnyAddress();
    if (client == server) client = kNameServers + random_.Below(kAddresses - kNameServers);
    const auto port = static_cast<std::uint16_t>(random_.Between(32768, 60999));
    const auto id = static_cast<std::uint16_t>(random_.Next());
    const std::uint32_t named = AnyAddress();
    static constexpr const char* kDomains[] = {"corp", "lab", "shop", "mail", "cdn", "files"};
    const Bytes name = HostName(named, kDomains[random_.Below(6)]);
    Bytes query{static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    query.insert(query.end(), name.begin(), name.end());
    query.insert(query.end(), {0, 1, 0, 1});
    Emit(Ip(client, server, 17).Udp(port, 53).Raw(query).PadTo(60).Build());
    if (random_.Chance(0.1)) return;  // unanswered
    Bytes answer = query;
    answer[2] = 0x81;
    answer[3] = 0x80;
    const auto records = static_cast<std::uint8_t>(1 + random_.Below(8));
    answer[7] = records;
    for (std::uint8_t i = 0; i < records; ++i) {
      const Ip4& address = addresses_[i == 0 ? named : AnyAddress()];
      answer.insert(answer.end(), {0xc0, 0x0c, 0, 1, 0, 1, 0, 0, 0x0e, 0x10, 0, 4, address[0], address[1], address[2], address[3]});
    }
    Emit(Ip(server, client, 17).Udp(53, port).Raw(answer).Build());
  }

  void Ntp() {
    const std::uint32_t server = kAddresses - 1 - random_.Below(kNtpServers);
    std::uint32_t client = AnyAddress();
    if (client == server) client = 0;
    Bytes ntp = Payload(48);
    ntp[0] = 0x23;  // version 4, client
    Emit(Ip(client, server, 17).Udp(123, 123).Raw(ntp).Build());
    ntp[0] = 0x24;  // version 4, server
    ntp[1] = 2;
    Emit(Ip(server, client, 17, 52).Udp(123, 123).Raw(ntp).Build());
  }

  void Mdns() {
    // An announcement: the host's own name with its address, then a TXT
    // record of service details that makes frames of every size.
    const std::uint32_t host = AnyAddress();
    const Bytes name = HostName(host, "local");
    Bytes message{0, 0, 0x84, 0x00, 0, 0, 0, 2, 0, 0, 0, 0};
    message.insert(message.end(), name.begin(), name.end());
    const Ip4& address = addresses_[host];
    message.insert(message.end(), {0, 1, 0x80, 1, 0, 0, 0, 120, 0, 4, address[0], address[1], address[2], address[3]});
    const std::size_t text = random_.Between(1, kLargestFrame - 14 - 20 - 8 - static_cast<std::uint32_t>(message.size()) - 12);
    message.insert(message.end(), {0xc0, 0x0c, 0, 16, 0x80, 1, 0, 0, 0x11, 0x94, static_cast<std::uint8_t>(text >> 8),
                                   static_cast<std::uint8_t>(text)});
    Bytes txt = Payload(text);
    // TXT strings: each a length byte and that many bytes.
    for (std::size_t at = 0; at < txt.size(); at += 1 + txt[at]) {
      txt[at] = static_cast<std::uint8_t>(std::min<std::size_t>(txt.size() - at - 1, txt[at] % 64));
    }
    message.insert(message.end(), txt.begin(), txt.end());
    Emit(FrameBuilder()
             .Ethernet(Mac{0x01, 0x00, 0x5e, 0x00, 0x00, 0xfb}, SourceMac(host), 0x0800)
             .Ipv4(address, Ip4{224, 0, 0, 251}, 17, {}, 0, Id(), 0x4000, 255)
             .Udp(5353, 5353)
             .Raw(message)
             .Build());
  }

  // ---- ARP, ICMP, BPDUs --------------------------------------------------------

  void Arp() {
    const std::uint32_t asker = AnyAddress(), target = OtherThan(asker);
    Emit(FrameBuilder()
             .Ethernet(framegen::kBroadcast, SourceMac(asker), 0x0806)
             .Arp(1, SourceMac(asker), addresses_[asker], Mac{}, addresses_[target])
             .PadTo(60)
             .Build());
    if (random_.Chance(0.7)) {
      Emit(FrameBuilder()
               .Ethernet(SourceMac(asker), DestinationMac(asker), 0x0806)
               .Arp(2, DestinationMac(asker), addresses_[target], SourceMac(asker), addresses_[asker])
               .PadTo(60)
               .Build());
    }
  }

  void Ping() {
    const std::uint32_t from = AnyAddress(), to = OtherThan(from);
    const auto ident = static_cast<std::uint16_t>(random_.Next());
    const auto seq = static_cast<std::uint16_t>(random_.Below(1000));
    // Mostly the 56 bytes of a Linux ping, some larger probes.
    const Bytes data = Payload(random_.Chance(0.8) ? 56 : random_.Between(16, kLargestFrame - 14 - 20 - 8));
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
      if (icmp.size() % 2 != 0) sum += static_cast<std::uint32_t>(icmp.back() << 8);
      while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
      icmp[2] = static_cast<std::uint8_t>(~sum >> 8);
      icmp[3] = static_cast<std::uint8_t>(~sum);
      return icmp;
    };
    Emit(Ip(from, to, 1).Raw(echo(8)).Build());
    if (random_.Chance(0.85)) Emit(Ip(to, from, 1, 60).Raw(echo(0)).Build());
  }

  void Bpdu() {
    const std::uint32_t pair = random_.Below(kMacPairs);
    const Mac& bridge = macPairs_[pair].a;
    Bytes bpdu{0x00, 0x00, 0x02, 0x02, 0x3c,
               0x80, 0x00, 0x00, 0x1b, 0x21, 0x5a, 0x00, 0x01,  // root
               0x00, 0x00, 0x00, static_cast<std::uint8_t>(4 * (1 + pair % 4)),  // path cost
               0x80, 0x00, bridge[0], bridge[1], bridge[2], bridge[3], bridge[4], bridge[5],
               0x80, static_cast<std::uint8_t>(1 + random_.Below(24)),  // port
               0x01, 0x00, 0x14, 0x00, 0x02, 0x00, 0x0f, 0x00, 0x00};
    Emit(FrameBuilder()
             .Ieee8023(Mac{0x01, 0x80, 0xc2, 0x00, 0x00, 0x00}, bridge)
             .Llc(0x42, 0x42, 0x03)
             .Raw(bpdu)
             .PadTo(60)
             .Build());
  }

  CaptureOutput& out_;
  std::uint64_t frames_;
  Random random_;
  std::array<std::uint8_t, 1 << 16> payload_{};
  std::vector<Ip4> addresses_;
  std::vector<MacPair> macPairs_;
  std::vector<Flow> flows_;
  std::uint64_t written_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint32_t ipId_ = 1;
  std::uint64_t micros_ = 1796040000ULL * 1'000'000ULL;
};

}  // namespace

void WriteMixedTraffic(CaptureOutput& out, std::uint64_t frames) { MixedTraffic(out, frames).Run(); }

}  // namespace qv::bench
