// Writes the browsing capture: the uplink of a small office whose people
// browse the web today, in a browser's proportions by frame. TLS over TCP
// 443 carries most of it (handshakes with a current ClientHello, TLS 1.3
// and some TLS 1.2 server flights with their certificates, then mostly
// application-data records of about 1400 bytes and the ACK-only segments
// that answer them), QUIC over UDP 443 a quarter (client and server Initial
// packets protected with the version 1 Initial keys, so any observer can
// read the ClientHello, then 1-RTT short-header packets), then DNS (A, AAAA,
// CNAME and HTTPS records), plain HTTP/1.1 on port 80, and the rest: lone
// TCP ACKs, ARP, mDNS and SSDP. A few hundred hosts, some conversations over
// IPv6.
//
// The output depends only on the frame count: the generator has a fixed
// seed and its own random number code, and the cryptography it uses is
// deterministic (see browsing_crypto.h).
//
// Usage: make_browsing_capture OUTPUT [FRAMES]   (FRAMES defaults to 1000000)

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <span>
#include <string>
#include <vector>

#include "bench/browsing_crypto.h"
#include "bench/browsing_messages.h"
#include "bench/bench_random.h"
#include "framegen/frame_builder.h"

using qv::framegen::Mac;
using qv::framegen::PcapWriter;
using namespace qv::browsing;

using qv::bench::Random;

namespace {

struct Address {
  bool v6 = false;
  std::array<std::uint8_t, 16> b{};
};

Address V4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  Address x;
  x.b = {a, b, c, d};
  return x;
}

Address V6(std::initializer_list<std::uint16_t> groups) {
  Address x;
  x.v6 = true;
  std::size_t i = 0;
  for (std::uint16_t g : groups) {
    x.b[i++] = static_cast<std::uint8_t>(g >> 8);
    x.b[i++] = static_cast<std::uint8_t>(g);
  }
  return x;
}

struct Host {
  Mac mac;
  Address v4, v6;
  bool timestamps;  // its TCP stack sends the timestamp option
};

struct Server {
  Host host;
  std::string name;
  bool quic, http, tls12;
  std::vector<Bytes> chain;  // TLS 1.2 servers send their certificates in the clear
};

constexpr std::uint8_t kFin = 0x01, kSyn = 0x02, kPsh = 0x08, kAck = 0x10;

// Assembles one frame at a time in a buffer of its own: Ethernet, IPv4 or
// IPv6, TCP or UDP, the payload; lengths and checksums are filled in by
// Finish().
class FrameAssembler {
 public:
  void Begin(const Mac& dst, const Mac& src, const Address& from, const Address& to, std::uint8_t protocol,
             std::uint8_t ttl, std::uint16_t id) {
    f_.clear();
    Put(dst);
    Put(src);
    Put16(from.v6 ? 0x86dd : 0x0800);
    ip_ = f_.size();
    v6_ = from.v6;
    protocol_ = protocol;
    if (v6_) {
      f_.insert(f_.end(),
                {0x60, 0x0a, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0, 0, protocol, ttl});
      Put(std::span(from.b));
      Put(std::span(to.b));
    } else {
      f_.insert(f_.end(), {0x45, 0x00, 0, 0, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0x40,
                           0x00, ttl, protocol, 0, 0});
      Put(std::span(from.b).first(4));
      Put(std::span(to.b).first(4));
    }
    l4_ = f_.size();
  }
  void Tcp(std::uint16_t sport, std::uint16_t dport, std::uint32_t seq, std::uint32_t ack, std::uint8_t flags,
           std::uint16_t window, std::span<const std::uint8_t> options) {
    Put16(sport);
    Put16(dport);
    Put32(seq);
    Put32(ack);
    f_.push_back(static_cast<std::uint8_t>((5 + options.size() / 4) << 4));
    f_.push_back(flags);
    Put16(window);
    Put16(0);
    Put16(0);
    Put(options);
  }
  void Udp(std::uint16_t sport, std::uint16_t dport) {
    Put16(sport);
    Put16(dport);
    Put16(0);
    Put16(0);
  }
  void Append(std::span<const std::uint8_t> bytes) { Put(bytes); }
  void Append(const std::string& text) { f_.insert(f_.end(), text.begin(), text.end()); }
  // `n` bytes that look encrypted, from a pool of random bytes.
  void Fill(std::size_t n, const std::vector<std::uint8_t>& pool, std::size_t at) {
    f_.insert(f_.end(), pool.begin() + static_cast<std::ptrdiff_t>(at),
              pool.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  // An ARP frame has no IP layer.
  void Arp(const Mac& dst, const Mac& src, std::uint16_t operation, const Address& senderIp, const Mac& targetMac,
           const Address& targetIp) {
    f_.clear();
    Put(dst);
    Put(src);
    Put16(0x0806);
    f_.insert(f_.end(), {0x00, 0x01, 0x08, 0x00, 6, 4});
    Put16(operation);
    Put(src);
    Put(std::span(senderIp.b).first(4));
    Put(targetMac);
    Put(std::span(targetIp.b).first(4));
    f_.resize(60, 0);
    ip_ = 0;
  }

  const Bytes& Finish() {
    if (ip_ != 0) {
      const std::size_t l4Length = f_.size() - l4_;
      if (protocol_ == 17) Set16(l4_ + 4, static_cast<std::uint16_t>(l4Length));
      std::uint64_t sum = l4Length + protocol_;
      if (v6_) {
        Set16(ip_ + 4, static_cast<std::uint16_t>(l4Length));
        sum += Sum(ip_ + 8, 32);
      } else {
        Set16(ip_ + 2, static_cast<std::uint16_t>(f_.size() - ip_));
        Set16(ip_ + 10, Fold(Sum(ip_, 20)));
        sum += Sum(ip_ + 12, 8);
      }
      std::uint16_t check = Fold(sum + Sum(l4_, l4Length));
      if (protocol_ == 17 && check == 0) check = 0xffff;
      Set16(l4_ + (protocol_ == 17 ? 6 : 16), check);
      if (f_.size() < 60) f_.resize(60, 0);
    }
    return f_;
  }

 private:
  void Put(std::span<const std::uint8_t> v) { f_.insert(f_.end(), v.begin(), v.end()); }
  void Put16(std::uint16_t v) {
    f_.insert(f_.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
  }
  void Put32(std::uint32_t v) {
    Put16(static_cast<std::uint16_t>(v >> 16));
    Put16(static_cast<std::uint16_t>(v));
  }
  void Set16(std::size_t at, std::uint16_t v) {
    f_[at] = static_cast<std::uint8_t>(v >> 8);
    f_[at + 1] = static_cast<std::uint8_t>(v);
  }
  // The ones'-complement sum of big-endian 16-bit words, not yet folded.
  std::uint64_t Sum(std::size_t at, std::size_t n) const {
    std::uint64_t sum = 0;
    const std::uint8_t* p = f_.data() + at;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]) + (p[i + 2] << 8 | p[i + 3]);
    for (; i + 2 <= n; i += 2) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
    if (i < n) sum += static_cast<std::uint32_t>(p[i] << 8);
    return sum;
  }
  static std::uint16_t Fold(std::uint64_t sum) {
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
  }

  Bytes f_;
  std::size_t ip_ = 0, l4_ = 0;
  bool v6_ = false;
  std::uint8_t protocol_ = 0;
};

// A TCP segment waiting in a conversation: `head` then `fill` bytes from
// the random pool.
struct Segment {
  bool fromClient;
  std::uint8_t flags;
  Bytes head;
  std::size_t fill;
};

struct TcpConversation {
  const Host* client;
  const Server* server;
  bool v6, tls;
  std::uint16_t clientPort, serverPort;
  std::uint32_t clientSeq, serverSeq, clientTs, serverTs;
  bool timestamps;
  int stage;      // 0 handshake, 1 exchanges, 2 close, 3 done
  int exchanges;  // request/response rounds left
  unsigned grease;
  std::deque<Segment> queue;
};

struct Datagram {
  bool fromClient;
  Bytes head;
  std::size_t fill;
};

struct QuicConnection {
  const Host* client;
  const Server* server;
  bool v6;
  std::uint16_t clientPort;
  std::array<std::uint8_t, 8> originalDcid, serverCid;
  int stage;      // 0 handshake, 1 data, 2 done
  int remaining;  // 1-RTT packets still to come
  unsigned grease;
  std::deque<Datagram> queue;
};

struct PendingAnswer {
  const Host* client;
  bool v6;
  std::uint16_t clientPort;
  Bytes message;
};

const char* const kDomains[] = {"www.google.com",
                                "fonts.gstatic.com",
                                "www.youtube.com",
                                "i.ytimg.com",
                                "rr3.googlevideo.com",
                                "www.wikipedia.org",
                                "upload.wikimedia.org",
                                "github.com",
                                "avatars.githubusercontent.com",
                                "www.bbc.co.uk",
                                "static.files.bbci.co.uk",
                                "news.ycombinator.com",
                                "www.reddit.com",
                                "i.redd.it",
                                "cdn.jsdelivr.net",
                                "ajax.googleapis.com",
                                "www.amazon.de",
                                "m.media-amazon.com",
                                "images-eu.ssl-images-amazon.com",
                                "login.microsoftonline.com",
                                "outlook.office.com",
                                "teams.microsoft.com",
                                "www.linkedin.com",
                                "static.licdn.com",
                                "stackoverflow.com",
                                "cdn.sstatic.net",
                                "www.theguardian.com",
                                "assets.guim.co.uk",
                                "docs.python.org",
                                "pypi.org",
                                "www.mozilla.org",
                                "firefox.settings.services.mozilla.com",
                                "www.spiegel.de",
                                "cdn.cookielaw.org",
                                "connect.facebook.net",
                                "www.instagram.com",
                                "scontent.cdninstagram.com",
                                "api.twitter.com",
                                "pbs.twimg.com",
                                "www.netflix.com",
                                "occ-0-56-55.1.nflxso.net",
                                "open.spotify.com",
                                "i.scdn.co",
                                "www.nytimes.com",
                                "static01.nyt.com",
                                "slack.com",
                                "a.slack-edge.com",
                                "zoom.us",
                                "www.dropbox.com",
                                "cfl.dropboxstatic.com",
                                "www.apple.com",
                                "gateway.icloud.com",
                                "weather.com",
                                "www.ebay.de",
                                "i.ebayimg.com",
                                "www.heise.de",
                                "www.debian.org",
                                "deb.debian.org",
                                "www.cloudflare.com",
                                "cdnjs.cloudflare.com",
                                "securepubads.g.doubleclick.net",
                                "www.googletagmanager.com",
                                "analytics.example.net",
                                "intranet.example.org"};

constexpr std::uint64_t kStart = 1796119200;  // 2026-12-01 10:00 UTC

class Generator {
 public:
  Generator(const std::string& path, std::uint64_t frames)
      : out_(path), frames_(frames), random_(0x4252'4f57'5345ULL), pool_(1 << 16) {
    random_.Fill(pool_.data(), pool_.size());
    MakeHosts();
    for (int i = 0; i < kTlsConversations; ++i) tls_.push_back(NewTcp(true));
    for (int i = 0; i < kHttpConversations; ++i) http_.push_back(NewTcp(false));
    for (int i = 0; i < kQuicConnections; ++i) quic_.push_back(NewQuic());
  }

  void Run() {
    while (written_ < frames_) {
      const double pick = random_.Unit();
      if (pick < 0.55) {
        StepTcp(tls_, true);
        ++counts_[0];
      } else if (pick < 0.80) {
        StepQuic();
        ++counts_[1];
      } else if (pick < 0.85) {
        Dns();
        ++counts_[2];
      } else if (pick < 0.90) {
        StepTcp(http_, false);
        ++counts_[3];
      } else if (pick < 0.94) {
        LoneAck();
        ++counts_[4];
      } else if (pick < 0.965) {
        Arp();
        ++counts_[4];
      } else if (pick < 0.985) {
        Mdns();
        ++counts_[4];
      } else {
        Ssdp();
        ++counts_[4];
      }
    }
    const double n = static_cast<double>(written_ ? written_ : 1);
    std::fprintf(stderr,
                 "%llu frames, %.1f captured bytes a frame, %.1f s of traffic; TLS %.1f%%, QUIC %.1f%%, DNS %.1f%%, "
                 "HTTP %.1f%%, other %.1f%%\n",
                 static_cast<unsigned long long>(written_), static_cast<double>(bytes_) / n,
                 static_cast<double>(micros_ - kStart * 1'000'000ULL) / 1e6,
                 100.0 * static_cast<double>(counts_[0]) / n, 100.0 * static_cast<double>(counts_[1]) / n,
                 100.0 * static_cast<double>(counts_[2]) / n, 100.0 * static_cast<double>(counts_[3]) / n,
                 100.0 * static_cast<double>(counts_[4]) / n);
  }

 private:
  static constexpr int kClients = 240;
  static constexpr int kTlsConversations = 160;
  static constexpr int kHttpConversations = 16;
  static constexpr int kQuicConnections = 60;
  static constexpr std::size_t kMss = 1448;

  RandomBytes Randomness() {
    return [this](std::uint8_t* out, std::size_t n) { random_.Fill(out, n); };
  }

  void MakeHosts() {
    static constexpr std::uint8_t kVendors[][3] = {
        {0x3c, 0x52, 0x82}, {0xf4, 0x8e, 0x38}, {0xa4, 0x83, 0xe7}, {0xdc, 0xa6, 0x32}, {0x8c, 0x85, 0x90}};
    for (int i = 0; i < kClients; ++i) {
      Host h;
      const auto& v = kVendors[random_.Below(5)];
      h.mac = {v[0],
               v[1],
               v[2],
               static_cast<std::uint8_t>(random_.Below(256)),
               static_cast<std::uint8_t>(random_.Below(256)),
               static_cast<std::uint8_t>(random_.Below(256))};
      h.v4 = V4(192, 168, static_cast<std::uint8_t>(1 + i / 200), static_cast<std::uint8_t>(20 + i % 200));
      h.v6 = V6({0x2001, 0x0db8, 0x0010, 0x0001, static_cast<std::uint16_t>(random_.Next()),
                 static_cast<std::uint16_t>(random_.Next()), static_cast<std::uint16_t>(random_.Next()),
                 static_cast<std::uint16_t>(random_.Next())});
      h.timestamps = random_.Chance(0.7);
      clients_.push_back(h);
    }
    // Every site has a few servers behind the router (which lends them its MAC).
    const std::string issuers[] = {"Example Issuing CA R3", "Example Issuing CA E1", "Example TLS RSA CA G1"};
    for (std::uint32_t i = 0; i < std::size(issuers); ++i) {
      intermediates_.push_back(Certificate(issuers[i], 9000 + i, "Example Root CA", 9999, 7000 + i));
    }
    std::uint32_t serial = 1;
    for (const char* domain : kDomains) {
      const std::uint32_t copies = random_.Between(3, 6);
      for (std::uint32_t k = 0; k < copies; ++k) {
        Server s;
        s.name = domain;
        s.host.mac = router_.mac;
        s.host.v4 =
            V4(static_cast<std::uint8_t>(random_.Between(23, 216)), static_cast<std::uint8_t>(random_.Below(256)),
               static_cast<std::uint8_t>(random_.Below(256)), static_cast<std::uint8_t>(random_.Between(1, 254)));
        s.host.v6 = V6({0x2001, 0x0db8, static_cast<std::uint16_t>(0x4000 + serial), 0, 0, 0, 0,
                        static_cast<std::uint16_t>(random_.Between(1, 0xfff))});
        s.host.timestamps = random_.Chance(0.85);
        s.quic = random_.Chance(0.45);
        s.http = random_.Chance(0.2);
        s.tls12 = !s.quic && random_.Chance(0.3);
        if (s.tls12) {
          const std::uint32_t issuer = random_.Below(static_cast<std::uint32_t>(std::size(issuers)));
          s.chain = {Certificate(s.name, 100 + serial, issuers[issuer], 9000 + issuer, 10000 + serial),
                     intermediates_[issuer]};
        }
        ++serial;
        servers_.push_back(std::move(s));
      }
    }
    for (const Server& s : servers_) {
      if (s.quic) quicServers_.push_back(&s);
      if (s.http) httpServers_.push_back(&s);
    }
  }

  // ---- output ----------------------------------------------------------

  void Emit(double gapMean) {
    const Bytes& frame = frame_.Finish();
    micros_ += 1 + static_cast<std::uint64_t>(random_.Exponential(gapMean * 1e6));
    out_.Write(frame, static_cast<std::uint32_t>(micros_ / 1'000'000), static_cast<std::uint32_t>(micros_ % 1'000'000));
    ++written_;
    bytes_ += frame.size();
  }

  std::size_t PoolAt(std::size_t n) { return random_.Below(static_cast<std::uint32_t>(pool_.size() - n)); }
  std::uint16_t Id() { return static_cast<std::uint16_t>(ipId_++); }
  const Host& AnyClient() { return clients_[random_.Below(kClients)]; }

  // ---- TCP: TLS on 443 and HTTP on 80 -------------------------------------

  TcpConversation NewTcp(bool tls) {
    TcpConversation c{};
    c.tls = tls;
    c.client = &AnyClient();
    c.server = tls ? &servers_[random_.Below(static_cast<std::uint32_t>(servers_.size()))]
                   : httpServers_[random_.Below(static_cast<std::uint32_t>(httpServers_.size()))];
    c.v6 = random_.Chance(0.2);
    c.serverPort = tls ? 443 : 80;
    c.clientPort = static_cast<std::uint16_t>(random_.Between(32768, 60999));
    c.clientSeq = static_cast<std::uint32_t>(random_.Next());
    c.serverSeq = static_cast<std::uint32_t>(random_.Next());
    c.clientTs = static_cast<std::uint32_t>(random_.Next());
    c.serverTs = static_cast<std::uint32_t>(random_.Next());
    c.timestamps = c.client->timestamps && c.server->host.timestamps;
    c.grease = random_.Below(16);
    c.exchanges = static_cast<int>(tls ? random_.Between(1, 25) : random_.Between(1, 6));
    // A third of the conversations were already open when the capture started.
    c.stage = written_ == 0 && random_.Chance(0.33) ? 1 : 0;
    return c;
  }

  void Push(TcpConversation& c, bool fromClient, std::uint8_t flags, Bytes head = {}, std::size_t fill = 0) {
    c.queue.push_back({fromClient, flags, std::move(head), fill});
  }

  // A byte stream from one side cut into full segments, the other side
  // acknowledging every second one and the last.
  void PushStream(TcpConversation& c, bool fromClient, const Bytes& prefix, std::size_t fill) {
    std::size_t at = 0, unacked = 0;
    const std::size_t total = prefix.size() + fill;
    while (at < total) {
      const std::size_t n = std::min(kMss, total - at);
      const std::size_t fromPrefix = at < prefix.size() ? std::min(n, prefix.size() - at) : 0;
      Bytes head(prefix.begin() + static_cast<std::ptrdiff_t>(std::min(at, prefix.size())),
                 prefix.begin() + static_cast<std::ptrdiff_t>(std::min(at, prefix.size()) + fromPrefix));
      at += n;
      Push(c, fromClient, static_cast<std::uint8_t>(kAck | (at == total ? kPsh : 0)), std::move(head), n - fromPrefix);
      if (++unacked == 2 || at == total) {
        Push(c, !fromClient, kAck);
        unacked = 0;
      }
    }
  }

  static Bytes RecordHead(std::uint8_t type, std::size_t length) {
    return {type, 0x03, 0x03, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  }

  void Refill(TcpConversation& c) {
    if (c.stage == 0) {
      Bytes syn = qv::framegen::Hex("020405b4 0402080a 00000000 00000000 01030307");
      if (!c.client->timestamps) syn = qv::framegen::Hex("020405b4 01030308 01010402");
      Push(c, true, kSyn, std::move(syn));
      Push(c, false, kSyn | kAck,
           c.timestamps ? qv::framegen::Hex("020405b4 0402080a 00000000 00000000 01030307")
                        : qv::framegen::Hex("020405b4 01010402"));
      Push(c, true, kAck);
      if (c.tls) {
        Push(c, true, kPsh | kAck,
             Record(22, ClientHello(c.server->name, {"h2", "http/1.1"}, c.grease, false, Randomness()), 0x0301));
        Push(c, false, kAck);
        if (c.server->tls12) {
          PushStream(c, false, ServerFlight12(c.server->chain, Randomness()), 0);
          Push(c, true, kPsh | kAck, ClientFinish12(Randomness()));
          Bytes finish = Record(20, {0x01});
          const Bytes encrypted = RecordHead(22, 40);
          finish.insert(finish.end(), encrypted.begin(), encrypted.end());
          Push(c, false, kPsh | kAck, std::move(finish), 40);
        } else {
          // ServerHello, the compatibility ChangeCipherSpec, then the
          // encrypted rest of the handshake (certificates included).
          Bytes flight = Record(22, ServerHello13(Randomness(), random_.Chance(0.7) ? 0x1301 : 0x1302));
          const Bytes change = Record(20, {0x01});
          flight.insert(flight.end(), change.begin(), change.end());
          const std::size_t encrypted = random_.Between(2400, 5200);
          const Bytes head = RecordHead(23, encrypted);
          flight.insert(flight.end(), head.begin(), head.end());
          flight.resize(flight.size() + encrypted);
          random_.Fill(flight.data() + flight.size() - encrypted, encrypted);
          PushStream(c, false, flight, 0);
          Bytes finish = Record(20, {0x01});
          const Bytes fin = RecordHead(23, 53);
          finish.insert(finish.end(), fin.begin(), fin.end());
          Push(c, true, kPsh | kAck, std::move(finish), 53);
        }
      }
      c.stage = 1;
      return;
    }
    if (c.stage == 1) {
      if (c.tls) {
        const std::size_t request = random_.Between(60, 900);
        Push(c, true, kPsh | kAck, RecordHead(23, request), request);
        const double size = random_.Unit();
        const std::uint32_t records = size < 0.6   ? random_.Between(1, 6)
                                      : size < 0.9 ? random_.Between(7, 60)
                                                   : random_.Between(61, 600);
        for (std::uint32_t r = 0; r < records; ++r) {
          const bool last = r + 1 == records;
          const std::size_t length = last ? random_.Between(100, 1395) : 1395;
          Push(c, false, static_cast<std::uint8_t>(kAck | (last ? kPsh : 0)), RecordHead(23, length), length);
          if (r % 2 == 1 || last) Push(c, true, kAck);
        }
      } else {
        static const char* const kPaths[] = {"/",          "/index.html",  "/images/logo.png", "/css/site.css",
                                             "/js/app.js", "/favicon.ico", "/api/v1/status"};
        const char* path = kPaths[random_.Below(std::size(kPaths))];
        const std::string requestText = HttpRequest("GET", c.server->name, path);
        Push(c, true, kPsh | kAck, Bytes(requestText.begin(), requestText.end()));
        const double kind = random_.Unit();
        const int status = kind < 0.8 ? 200 : kind < 0.92 ? 304 : kind < 0.96 ? 301 : 404;
        const bool image = std::strstr(path, "images") != nullptr || std::strstr(path, ".ico") != nullptr;
        const std::size_t body = status == 304   ? 0
                                 : status != 200 ? random_.Between(150, 400)
                                 : image         ? random_.Between(2000, 150000)
                                                 : random_.Between(300, 40000);
        const std::string head =
            HttpResponseHead(status, image && status == 200 ? "image/png" : "text/html; charset=utf-8", body);
        Bytes prefix(head.begin(), head.end());
        if (image && status == 200) {
          // A PNG whose one IDAT chunk (and its CRC) is the random fill.
          const std::size_t idat = body - 8 - 25 - 8 - 4;
          const Bytes png =
              qv::framegen::Hex("89504e470d0a1a0a 0000000d 49484452 00000100 000000c0 08060000 00 5f1a7c3e");
          prefix.insert(prefix.end(), png.begin(), png.end());
          prefix.insert(prefix.end(),
                        {static_cast<std::uint8_t>(idat >> 24), static_cast<std::uint8_t>(idat >> 16),
                         static_cast<std::uint8_t>(idat >> 8), static_cast<std::uint8_t>(idat), 'I', 'D', 'A', 'T'});
          PushStream(c, false, prefix, idat + 4);
        } else {
          static const std::string kText =
              "<div class=\"item\"><a href=\"/news/item\">An article about the network at work</a></div>\n";
          while (prefix.size() < head.size() + body) prefix.insert(prefix.end(), kText.begin(), kText.end());
          prefix.resize(head.size() + body);
          PushStream(c, false, prefix, 0);
        }
      }
      if (--c.exchanges <= 0) c.stage = 2;
      return;
    }
    if (c.stage == 2) {
      if (c.tls) Push(c, true, kPsh | kAck, RecordHead(21, 26), 26);  // close_notify, encrypted
      Push(c, true, kFin | kAck);
      Push(c, false, kFin | kAck);
      Push(c, true, kAck);
      c.stage = 3;
    }
  }

  void StepTcp(std::vector<TcpConversation>& list, bool tls) {
    const std::size_t i = random_.Below(static_cast<std::uint32_t>(list.size()));
    while (list[i].queue.empty()) {
      if (list[i].stage == 3) list[i] = NewTcp(tls);
      Refill(list[i]);
    }
    TcpConversation& c = list[i];
    Segment s = std::move(c.queue.front());
    c.queue.pop_front();
    const std::size_t length = (s.flags & kSyn) ? 0 : s.head.size() + s.fill;  // a SYN's head is its options
    WriteTcp(c, s.fromClient, s.flags, s.head, s.fill);
    std::uint32_t& seq = s.fromClient ? c.clientSeq : c.serverSeq;
    seq += static_cast<std::uint32_t>(length + ((s.flags & (kSyn | kFin)) ? 1 : 0));
    (s.fromClient ? c.clientTs : c.serverTs) += 1;
    Emit(s.fromClient ? (length ? 300e-6 : 60e-6) : 40e-6);
  }

  // One segment of `c`; a SYN's `head` is its options. `seqOffset` -1 makes
  // a keep-alive (one byte before what the peer acknowledged).
  void WriteTcp(const TcpConversation& c, bool fromClient, std::uint8_t flags, const Bytes& head, std::size_t fill,
                std::int32_t seqOffset = 0) {
    const Host& server = c.server->host;
    const Host& src = fromClient ? *c.client : server;
    const Host& dst = fromClient ? server : *c.client;
    std::array<std::uint8_t, 12> ts{};
    std::span<const std::uint8_t> options;
    if (!(flags & kSyn) && c.timestamps) {
      const std::uint32_t mine = fromClient ? c.clientTs : c.serverTs;
      const std::uint32_t theirs = fromClient ? c.serverTs : c.clientTs;
      ts = {1,
            1,
            8,
            10,
            static_cast<std::uint8_t>(mine >> 24),
            static_cast<std::uint8_t>(mine >> 16),
            static_cast<std::uint8_t>(mine >> 8),
            static_cast<std::uint8_t>(mine),
            static_cast<std::uint8_t>(theirs >> 24),
            static_cast<std::uint8_t>(theirs >> 16),
            static_cast<std::uint8_t>(theirs >> 8),
            static_cast<std::uint8_t>(theirs)};
      options = ts;
    }
    const bool synOptions = (flags & kSyn) != 0;
    const std::uint32_t seq = (fromClient ? c.clientSeq : c.serverSeq) + static_cast<std::uint32_t>(seqOffset);
    const std::uint32_t ack = (flags & kAck) ? (fromClient ? c.serverSeq : c.clientSeq) : 0;
    frame_.Begin(fromClient ? router_.mac : c.client->mac, fromClient ? c.client->mac : router_.mac,
                 c.v6 ? src.v6 : src.v4, c.v6 ? dst.v6 : dst.v4, 6, fromClient ? 64 : 57, Id());
    frame_.Tcp(fromClient ? c.clientPort : c.serverPort, fromClient ? c.serverPort : c.clientPort, seq, ack, flags,
               static_cast<std::uint16_t>(fromClient ? 501 + c.clientPort % 1500 : 65160),
               synOptions ? std::span<const std::uint8_t>(head) : options);
    if (!synOptions) {
      frame_.Append(head);
      if (fill) frame_.Fill(fill, pool_, PoolAt(fill));
    }
  }

  // A keep-alive or window update on one of the open TLS conversations.
  void LoneAck() {
    const TcpConversation& c = tls_[random_.Below(static_cast<std::uint32_t>(tls_.size()))];
    const bool keepAlive = random_.Chance(0.4);
    WriteTcp(c, true, kAck, {}, 0, keepAlive ? -1 : 0);
    Emit(500e-6);
  }

  // ---- QUIC on UDP 443 ----------------------------------------------------

  QuicConnection NewQuic() {
    QuicConnection q{};
    q.client = &AnyClient();
    q.server = quicServers_[random_.Below(static_cast<std::uint32_t>(quicServers_.size()))];
    q.v6 = random_.Chance(0.25);
    q.clientPort = static_cast<std::uint16_t>(random_.Between(32768, 60999));
    random_.Fill(q.originalDcid.data(), q.originalDcid.size());
    random_.Fill(q.serverCid.data(), q.serverCid.size());
    q.grease = random_.Below(16);
    q.remaining = static_cast<int>(random_.Chance(0.7) ? random_.Between(20, 300) : random_.Between(300, 3000));
    q.stage = written_ == 0 && random_.Chance(0.33) ? 1 : 0;
    return q;
  }

  static Bytes Crypto(const Bytes& data) {
    Bytes frame{0x06, 0x00, static_cast<std::uint8_t>(0x40 | (data.size() >> 8)),
                static_cast<std::uint8_t>(data.size())};
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
  }

  // A Handshake packet (long header, type 2) of `size` bytes, its payload
  // opaque to an observer.
  Bytes HandshakePacket(const QuicConnection& q, bool fromClient, std::size_t size) {
    Bytes p{static_cast<std::uint8_t>(0xe0 | random_.Below(16)), 0, 0, 0, 1};
    if (fromClient) {
      p.push_back(8);
      p.insert(p.end(), q.serverCid.begin(), q.serverCid.end());
      p.push_back(0);
    } else {
      p.push_back(0);
      p.push_back(8);
      p.insert(p.end(), q.serverCid.begin(), q.serverCid.end());
    }
    const std::size_t rest = size - p.size() - 2;
    p.push_back(static_cast<std::uint8_t>(0x40 | (rest >> 8)));
    p.push_back(static_cast<std::uint8_t>(rest));
    p.resize(size);
    random_.Fill(p.data() + size - rest, rest);
    return p;
  }

  void Refill(QuicConnection& q) {
    const std::span<const std::uint8_t> none;
    if (q.stage == 0) {
      const Bytes hello = ClientHello(q.server->name, {"h3"}, q.grease, true, Randomness());
      q.queue.push_back(
          {true, QuicInitialPacket(true, q.originalDcid, q.originalDcid, none, 0, Crypto(hello), 1250), 0});
      Bytes serverFrames{0x02, 0x00, 0x00, 0x00, 0x00};  // ACK of packet 0
      const Bytes serverHello = Crypto(ServerHello13(Randomness(), 0x1301));
      serverFrames.insert(serverFrames.end(), serverHello.begin(), serverHello.end());
      Bytes first = QuicInitialPacket(false, q.originalDcid, none, q.serverCid, 0, serverFrames, 0);
      const Bytes handshake = HandshakePacket(q, false, 1200 - first.size());
      first.insert(first.end(), handshake.begin(), handshake.end());
      q.queue.push_back({false, std::move(first), 0});
      q.queue.push_back({false, HandshakePacket(q, false, random_.Between(900, 1200)), 0});
      // The client acknowledges the server's Initial and sends its Finished,
      // padded to a full datagram as every Initial-bearing datagram must be.
      const Bytes finished = HandshakePacket(q, true, 90);
      Bytes reply = QuicInitialPacket(true, q.originalDcid, q.serverCid, none, 1, {0x02, 0x00, 0x00, 0x00, 0x00},
                                      1200 - finished.size());
      reply.insert(reply.end(), finished.begin(), finished.end());
      q.queue.push_back({true, std::move(reply), 0});
      q.stage = 1;
      return;
    }
    if (q.stage == 1) {
      if (random_.Chance(0.3)) q.queue.push_back(ShortPacket(q, true, random_.Between(60, 400)));
      const std::uint32_t burst = random_.Between(2, 12);
      for (std::uint32_t i = 0; i < burst; ++i) {
        q.queue.push_back(ShortPacket(q, false, random_.Between(1200, 1350)));
        if (i % 2 == 1 || i + 1 == burst) q.queue.push_back(ShortPacket(q, true, random_.Between(35, 60)));
      }
      q.remaining -= static_cast<int>(burst);
      if (q.remaining <= 0) q.stage = 2;
    }
  }

  // A 1-RTT packet: the short header (its low bits protected) and the
  // destination connection ID, then ciphertext.
  Datagram ShortPacket(const QuicConnection& q, bool fromClient, std::size_t size) {
    Datagram d{fromClient, {static_cast<std::uint8_t>(0x40 | random_.Below(64))}, 0};
    if (fromClient) d.head.insert(d.head.end(), q.serverCid.begin(), q.serverCid.end());
    d.fill = size - d.head.size();
    return d;
  }

  void StepQuic() {
    const std::size_t i = random_.Below(static_cast<std::uint32_t>(quic_.size()));
    while (quic_[i].queue.empty()) {
      if (quic_[i].stage == 2) quic_[i] = NewQuic();
      Refill(quic_[i]);
    }
    QuicConnection& q = quic_[i];
    Datagram d = std::move(q.queue.front());
    q.queue.pop_front();
    const Host& server = q.server->host;
    const Host& src = d.fromClient ? *q.client : server;
    const Host& dst = d.fromClient ? server : *q.client;
    frame_.Begin(d.fromClient ? router_.mac : q.client->mac, d.fromClient ? q.client->mac : router_.mac,
                 q.v6 ? src.v6 : src.v4, q.v6 ? dst.v6 : dst.v4, 17, d.fromClient ? 64 : 57, Id());
    frame_.Udp(d.fromClient ? q.clientPort : 443, d.fromClient ? 443 : q.clientPort);
    frame_.Append(d.head);
    if (d.fill) frame_.Fill(d.fill, pool_, PoolAt(d.fill));
    Emit(d.fromClient ? 200e-6 : 30e-6);
  }

  // ---- DNS, mDNS, SSDP, ARP ----------------------------------------------

  void Dns() {
    if (!answers_.empty() && (answers_.size() > 6 || random_.Chance(0.5))) {
      const PendingAnswer a = std::move(answers_.front());
      answers_.pop_front();
      frame_.Begin(a.client->mac, router_.mac, a.v6 ? router_.v6 : router_.v4, a.v6 ? a.client->v6 : a.client->v4, 17,
                   64, Id());
      frame_.Udp(53, a.clientPort);
      frame_.Append(a.message);
      Emit(2e-3);
      return;
    }
    const Host& client = AnyClient();
    const Server& server = servers_[random_.Below(static_cast<std::uint32_t>(servers_.size()))];
    const double kind = random_.Unit();
    const std::uint16_t type = kind < 0.45 ? 1 : kind < 0.8 ? 28 : 65;
    const bool v6 = random_.Chance(0.2), edns = random_.Chance(0.6);
    const auto id = static_cast<std::uint16_t>(random_.Next());
    const auto port = static_cast<std::uint16_t>(random_.Between(32768, 60999));
    std::vector<std::string> cnames;
    if (random_.Chance(0.4)) {
      cnames.push_back(server.name.substr(0, server.name.find('.')) + ".edge-" + std::to_string(random_.Below(40)) +
                       ".cdn.example.net");
      if (random_.Chance(0.3)) cnames.push_back("e" + std::to_string(random_.Below(9000)) + ".a.cdn.example.net");
    }
    std::vector<Bytes> addresses;
    const std::uint32_t count = random_.Between(1, type == 28 ? 2 : 4);
    for (std::uint32_t k = 0; k < count; ++k) {
      const Address& a = type == 28 ? server.host.v6 : server.host.v4;
      Bytes bytes(a.b.begin(), a.b.begin() + (type == 28 ? 16 : 4));
      bytes.back() = static_cast<std::uint8_t>(bytes.back() + k);
      addresses.push_back(std::move(bytes));
    }
    frame_.Begin(router_.mac, client.mac, v6 ? client.v6 : client.v4, v6 ? router_.v6 : router_.v4, 17, 64, Id());
    frame_.Udp(port, 53);
    frame_.Append(DnsQuery(id, server.name, type, edns));
    Emit(3e-3);
    answers_.push_back({&client, v6, port, DnsAnswer(id, server.name, type, edns, cnames, addresses)});
  }

  void Mdns() {
    static const char* const kServices[] = {"_googlecast._tcp.local", "_airplay._tcp.local",
                                            "_spotify-connect._tcp.local", "_ipp._tcp.local"};
    const std::string service = kServices[random_.Below(std::size(kServices))];
    const std::size_t device = random_.Below(6);
    const Host& h = clients_[device];
    const bool v6 = random_.Chance(0.4);
    static constexpr Mac kMdns4{0x01, 0x00, 0x5e, 0x00, 0x00, 0xfb}, kMdns6{0x33, 0x33, 0x00, 0x00, 0x00, 0xfb};
    Address linkLocal = h.v6;
    linkLocal.b[0] = 0xfe;
    linkLocal.b[1] = 0x80;
    std::fill(linkLocal.b.begin() + 2, linkLocal.b.begin() + 8, 0);
    frame_.Begin(v6 ? kMdns6 : kMdns4, h.mac, v6 ? linkLocal : h.v4,
                 v6 ? V6({0xff02, 0, 0, 0, 0, 0, 0, 0xfb}) : V4(224, 0, 0, 251), 17, 255, Id());
    frame_.Udp(5353, 5353);
    if (random_.Chance(0.5)) {
      frame_.Append(MdnsQuery(service));
    } else {
      static const char* const kNames[] = {"Living Room TV",    "Kitchen Speaker",   "Meeting Room",
                                           "Printer 2nd Floor", "Reception Display", "Lab Speaker"};
      const std::string host = "device-" + std::to_string(device) + ".local";
      frame_.Append(MdnsAnnouncement(service, kNames[device], host, h.v4.b.data()));
    }
    Emit(1e-3);
  }

  void Ssdp() {
    static constexpr Mac kSsdp{0x01, 0x00, 0x5e, 0x7f, 0xff, 0xfa};
    const bool search = random_.Chance(0.5);
    const std::size_t device = random_.Below(6);
    const Host& h = search ? AnyClient() : clients_[device];
    frame_.Begin(kSsdp, h.mac, h.v4, V4(239, 255, 255, 250), 17, search ? 4 : 2, Id());
    if (search) {
      frame_.Udp(static_cast<std::uint16_t>(random_.Between(32768, 60999)), 1900);
      frame_.Append(SsdpSearch(random_.Chance(0.5) ? "urn:dial-multiscreen-org:service:dial:1" : "ssdp:all"));
    } else {
      static const char* const kTypes[] = {"upnp:rootdevice", "urn:schemas-upnp-org:device:MediaRenderer:1",
                                           "urn:dial-multiscreen-org:service:dial:1"};
      const std::string location = "http://192.168.1." + std::to_string(20 + device) + ":8008/ssdp/device-desc.xml";
      frame_.Udp(1900, 1900);
      frame_.Append(SsdpNotify(location, kTypes[random_.Below(std::size(kTypes))],
                               "b0e1c2d3-0000-1000-8000-00000000000" + std::to_string(device)));
    }
    Emit(1e-3);
  }

  void Arp() {
    const Host& asker = AnyClient();
    if (random_.Chance(0.6)) {
      const Host& target = random_.Chance(0.5) ? router_ : AnyClient();
      frame_.Arp(qv::framegen::kBroadcast, asker.mac, 1, asker.v4, Mac{}, target.v4);
    } else {
      frame_.Arp(asker.mac, router_.mac, 2, router_.v4, asker.mac, asker.v4);
    }
    Emit(1e-3);
  }

  PcapWriter out_;
  std::uint64_t frames_;
  Random random_;
  std::vector<std::uint8_t> pool_;
  FrameAssembler frame_;
  Host router_{
      {0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x01}, V4(192, 168, 1, 1), V6({0x2001, 0x0db8, 0x0010, 0x0001, 0, 0, 0, 1}), true};
  std::vector<Host> clients_;
  std::vector<Server> servers_;
  std::vector<const Server*> quicServers_, httpServers_;
  std::vector<Bytes> intermediates_;
  std::vector<TcpConversation> tls_, http_;
  std::vector<QuicConnection> quic_;
  std::deque<PendingAnswer> answers_;
  std::uint64_t written_ = 0, bytes_ = 0;
  std::uint64_t counts_[5] = {};
  std::uint32_t ipId_ = 1;
  std::uint64_t micros_ = kStart * 1'000'000ULL;
};

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t frames = 1'000'000;
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: make_browsing_capture OUTPUT [FRAMES]\n");
    return 2;
  }
  if (argc == 3) {
    char* end = nullptr;
    frames = std::strtoull(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || frames == 0) {
      std::fprintf(stderr, "make_browsing_capture: bad frame count '%s'\n", argv[2]);
      return 2;
    }
  }
  try {
    Generator generator(argv[1], frames);
    generator.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_browsing_capture: %s\n", e.what());
    return 1;
  }
  return 0;
}
