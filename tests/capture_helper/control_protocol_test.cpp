#include "capture_helper/control_protocol.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace qv::control {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::span<const std::uint8_t> PayloadOf(const Bytes& message) {
  return std::span<const std::uint8_t>(message).subspan(kHeaderBytes);
}

Bytes Header(std::uint32_t type, std::uint32_t length) {
  Bytes b;
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(type >> (8 * i)));
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
  return b;
}

// A payload text: u32 length, then the bytes.
Bytes Text(std::string_view s) {
  const auto n = static_cast<std::uint32_t>(s.size());
  Bytes b{static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16),
          static_cast<std::uint8_t>(n >> 24)};
  b.insert(b.end(), s.begin(), s.end());
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Decodes a message's bytes with the type's own Decode after checking the
// header; std::nullopt when either refuses.
template <typename T>
std::optional<T> RoundTrip(const T& value) {
  const Bytes bytes = value.Encode();
  MessageDecoder d;
  d.Feed(bytes);
  auto m = d.Next();
  if (!m || m->type != T::kType || !d.AtMessageBoundary()) return std::nullopt;
  return T::Decode(m->payload);
}

TEST(ControlPayloads, FixedSizeTypesRoundTrip) {
  Started s{.linkType = 1, .snaplen = 262144, .kernelBufferBytesInForce = 0x1'0000'0000ull, .flags = Started::kBufferRefused};
  auto s2 = RoundTrip(s);
  ASSERT_TRUE(s2);
  EXPECT_EQ(s2->linkType, 1u);
  EXPECT_EQ(s2->snaplen, 262144u);
  EXPECT_EQ(s2->kernelBufferBytesInForce, 0x1'0000'0000ull);
  EXPECT_EQ(s2->flags, Started::kBufferRefused);

  auto w = RoundTrip(Written{.frames = 7, .fileBytes = 0xFFFF'FFFF'FFFF'FFFFull});
  ASSERT_TRUE(w);
  EXPECT_EQ(w->frames, 7u);
  EXPECT_EQ(w->fileBytes, 0xFFFF'FFFF'FFFF'FFFFull);

  auto dr = RoundTrip(Drops{.received = 1, .kernelDrops = 2, .interfaceDrops = 3});
  ASSERT_TRUE(dr);
  EXPECT_EQ(dr->received, 1u);
  EXPECT_EQ(dr->kernelDrops, 2u);
  EXPECT_EQ(dr->interfaceDrops, 3u);

  auto e = RoundTrip(End{.frames = 5, .fileBytes = 600});
  ASSERT_TRUE(e);
  EXPECT_EQ(e->frames, 5u);
  EXPECT_EQ(e->fileBytes, 600u);

  auto f = RoundTrip(FileSwitched{.framesInOldFile = 9, .oldFileBytes = 1000});
  ASSERT_TRUE(f);
  EXPECT_EQ(f->framesInOldFile, 9u);
  EXPECT_EQ(f->oldFileBytes, 1000u);

  auto p = RoundTrip(SendProgress{.sent = 11, .failed = 1});
  ASSERT_TRUE(p);
  EXPECT_EQ(p->sent, 11u);
  EXPECT_EQ(p->failed, 1u);

  EXPECT_TRUE(RoundTrip(Stop{}));
  EXPECT_TRUE(RoundTrip(Rotate{}));
}

TEST(ControlPayloads, IntegersAreLittleEndian) {
  const Bytes b = Written{.frames = 0x0102030405060708ull, .fileBytes = 1}.Encode();
  const Bytes expected = Concat({Header(2, 16), {8, 7, 6, 5, 4, 3, 2, 1}, {1, 0, 0, 0, 0, 0, 0, 0}});
  EXPECT_EQ(b, expected);
}

TEST(ControlPayloads, TextTypesRoundTrip) {
  EXPECT_EQ(RoundTrip(Warning{"promiscuous mode not supported"})->text, "promiscuous mode not supported");
  EXPECT_EQ(RoundTrip(Error{"Gr\xC3\xBC\xC3\x9F" "e"})->text, "Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(RoundTrip(Error{""})->text, "");
  EXPECT_EQ(RoundTrip(SetFilter{"tcp port 80"})->filter, "tcp port 80");

  auto r = RoundTrip(Rights{.flags = Rights::kNetRawPermitted | Rights::kSeccompAvailable, .detail = "cap_net_raw=ep"});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->flags, Rights::kNetRawPermitted | Rights::kSeccompAvailable);
  EXPECT_EQ(r->detail, "cap_net_raw=ep");

  auto fs = RoundTrip(FilterSet{.ok = false, .error = "syntax error"});
  ASSERT_TRUE(fs);
  EXPECT_FALSE(fs->ok);
  EXPECT_EQ(fs->error, "syntax error");
  EXPECT_TRUE(RoundTrip(FilterSet{.ok = true})->ok);

  auto sd = RoundTrip(SendDone{.sent = 3, .failed = 1, .nanoseconds = 123456789, .firstError = "No such device"});
  ASSERT_TRUE(sd);
  EXPECT_EQ(sd->sent, 3u);
  EXPECT_EQ(sd->failed, 1u);
  EXPECT_EQ(sd->nanoseconds, 123456789u);
  EXPECT_EQ(sd->firstError, "No such device");
}

TEST(ControlPayloads, TextsAreCleanedAndCutWhenEncoded) {
  // A byte that is not UTF-8 becomes U+FFFD; the decoder accepts the result.
  EXPECT_EQ(RoundTrip(Warning{"a\xFF" "b"})->text, "a\xEF\xBF\xBD" "b");
  // A lone surrogate and an overlong '/' are not UTF-8 either.
  EXPECT_EQ(RoundTrip(Warning{"\xED\xA0\x80"})->text, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(RoundTrip(Warning{"\xC0\xAF"})->text, "\xEF\xBF\xBD\xEF\xBF\xBD");
  // Cut at 64 KiB, never inside a character.
  std::string longText(kMaxTextBytes - 1, 'x');
  longText += "\xC3\xA9\xC3\xA9";
  auto w = RoundTrip(Warning{longText});
  ASSERT_TRUE(w);
  EXPECT_EQ(w->text.size(), kMaxTextBytes - 1);
}

TEST(ControlPayloads, AdaptersRoundTrip) {
  AdapterEntry eth{.name = "eth0", .description = "", .flags = 0x16, .linkTypes = {1, 143}, .addresses = {}};
  AdapterAddress v4{.family = AF_INET, .prefixLength = 24, .address = {}};
  v4.address[0] = 192;
  v4.address[1] = 0;
  v4.address[2] = 2;
  v4.address[3] = 7;
  AdapterAddress v6{.family = AF_INET6, .prefixLength = 64, .address = {}};
  v6.address[0] = 0xfe;
  v6.address[1] = 0x80;
  v6.address[15] = 1;
  eth.addresses = {v4, v6};
  AdapterEntry any{.name = "any", .description = "Pseudo-device that captures on all interfaces", .flags = 0, .linkTypes = {}, .addresses = {}};
  auto a = RoundTrip(Adapters{{eth, any}});
  ASSERT_TRUE(a);
  ASSERT_EQ(a->adapters.size(), 2u);
  EXPECT_EQ(a->adapters[0], eth);
  EXPECT_EQ(a->adapters[1], any);
  EXPECT_TRUE(RoundTrip(Adapters{})->adapters.empty());
}

TEST(ControlPayloads, AdaptersPastTheLimitAreLeftOut) {
  Adapters many;
  AdapterEntry big{.name = "x", .description = std::string(60000, 'd'), .flags = 0, .linkTypes = {}, .addresses = {}};
  for (int i = 0; i < 40; ++i) many.adapters.push_back(big);
  const Bytes bytes = many.Encode();
  ASSERT_LE(bytes.size() - kHeaderBytes, kMaxPayloadBytes);
  auto a = Adapters::Decode(PayloadOf(bytes));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->adapters.size(), kMaxPayloadBytes / (60000 + 4 + 4 + 1 + 12));
}

TEST(ControlPayloads, SendFramesRoundTripAndBounds) {
  SendFrames s{.count = 20000, .gapMicroseconds = 10, .frame = Bytes(60, 0xAB)};
  auto s2 = RoundTrip(s);
  ASSERT_TRUE(s2);
  EXPECT_EQ(s2->count, 20000u);
  EXPECT_EQ(s2->gapMicroseconds, 10u);
  EXPECT_EQ(s2->frame, s.frame);
  EXPECT_TRUE(RoundTrip(SendFrames{.count = 0, .gapMicroseconds = kMaxGapMicroseconds, .frame = Bytes(kMaxFrameBytes, 1)}));

  EXPECT_FALSE(RoundTrip(SendFrames{.count = kMaxSendCount + 1, .gapMicroseconds = 0, .frame = {1}}));
  EXPECT_FALSE(RoundTrip(SendFrames{.count = 1, .gapMicroseconds = kMaxGapMicroseconds + 1, .frame = {1}}));
}

// Payloads that pass the framing (their length is in range) yet are damaged
// inside: each Decode refuses them.
TEST(ControlPayloads, DamagedPayloadsAreRefused) {
  struct Case {
    const char* what;
    std::function<bool(std::span<const std::uint8_t>)> decode;
    Bytes payload;
  };
  auto ok = [](auto decoded) { return decoded.has_value(); };
  const Case cases[] = {
      {"text length past the payload", [&](auto p) { return ok(Warning::Decode(p)); }, Concat({Bytes{10, 0, 0, 0}, {'a', 'b'}})},
      {"text shorter than its payload", [&](auto p) { return ok(Error::Decode(p)); }, Concat({Text("ab"), {0}})},
      {"text not UTF-8", [&](auto p) { return ok(SetFilter::Decode(p)); }, Text("\xC3")},
      {"text length past 64 KiB", [&](auto p) { return ok(Warning::Decode(p)); }, Concat({Bytes{0x01, 0x00, 0x01, 0x00}, Bytes(65537, 'a')})},
      {"FilterSet ok is neither 0 nor 1", [&](auto p) { return ok(FilterSet::Decode(p)); }, Concat({Bytes{2, 0, 0, 0}, Text("")})},
      {"Rights without its text", [&](auto p) { return ok(Rights::Decode(p)); }, Bytes{1, 0, 0, 0}},
      {"SendDone text cut", [&](auto p) { return ok(SendDone::Decode(p)); }, Concat({Bytes(24, 0), Bytes{5, 0, 0, 0, 'a'}})},
      {"SendFrames frame length 0", [&](auto p) { return ok(SendFrames::Decode(p)); }, Concat({Bytes(8, 0), Bytes{0, 0, 0, 0}, {1}})},
      {"SendFrames frame length past the payload", [&](auto p) { return ok(SendFrames::Decode(p)); }, Concat({Bytes(8, 0), Bytes{3, 0, 0, 0}, {1, 2}})},
      {"SendFrames bytes after the frame", [&](auto p) { return ok(SendFrames::Decode(p)); }, Concat({Bytes(8, 0), Bytes{1, 0, 0, 0}, {1, 2}})},
      {"Adapters count past the payload", [&](auto p) { return ok(Adapters::Decode(p)); }, Bytes{0xFF, 0xFF, 0xFF, 0xFF}},
      {"Adapters with an empty name", [&](auto p) { return ok(Adapters::Decode(p)); }, Concat({Bytes{1, 0, 0, 0}, Text(""), Text(""), Bytes(12, 0)})},
      {"Adapters link count past the payload", [&](auto p) { return ok(Adapters::Decode(p)); }, Concat({Bytes{1, 0, 0, 0}, Text("lo"), Text(""), Bytes(4, 0), Bytes{9, 0, 0, 0}, Bytes(4, 0)})},
      {"Adapters address of an unknown family", [&](auto p) { return ok(Adapters::Decode(p)); }, Concat({Bytes{1, 0, 0, 0}, Text("lo"), Text(""), Bytes(8, 0), Bytes{1, 0, 0, 0}, Bytes{99, 0, 8}, Bytes(16, 0)})},
      {"Adapters IPv4 prefix past 32", [&](auto p) { return ok(Adapters::Decode(p)); }, Concat({Bytes{1, 0, 0, 0}, Text("lo"), Text(""), Bytes(8, 0), Bytes{1, 0, 0, 0}, Bytes{AF_INET, 0, 33}, Bytes(16, 0)})},
      {"Adapters bytes after the last adapter", [&](auto p) { return ok(Adapters::Decode(p)); }, Concat({Bytes{0, 0, 0, 0}, {0}})},
      {"Stop with a payload", [&](auto p) { return ok(Stop::Decode(p)); }, Bytes{0}},
      {"Written one byte short", [&](auto p) { return ok(Written::Decode(p)); }, Bytes(15, 0)},
  };
  for (const Case& c : cases) EXPECT_FALSE(c.decode(c.payload)) << c.what;
}

// ---- the stream decoder ----

TEST(MessageDecoder, SeveralMessagesInOneFeedAndInterleavedTypes) {
  const Bytes stream = Concat({Started{.linkType = 1, .snaplen = 100}.Encode(), Written{.frames = 1, .fileBytes = 2}.Encode(),
                               Warning{"w"}.Encode(), Drops{.received = 5}.Encode(), Written{.frames = 2, .fileBytes = 4}.Encode(),
                               End{.frames = 2, .fileBytes = 4}.Encode()});
  MessageDecoder d;
  d.Feed(stream);
  std::vector<MessageType> types;
  while (auto m = d.Next()) types.push_back(m->type);
  EXPECT_FALSE(d.Failed()) << d.Error();
  EXPECT_TRUE(d.AtMessageBoundary());
  const std::vector<MessageType> expected{MessageType::Started, MessageType::Written, MessageType::Warning,
                                          MessageType::Drops, MessageType::Written, MessageType::End};
  EXPECT_EQ(types, expected);
}

TEST(MessageDecoder, MessagesSplitByteByByte) {
  const Bytes stream = Concat({SendFrames{.count = 3, .gapMicroseconds = 1, .frame = Bytes(100, 7)}.Encode(), Stop{}.Encode(),
                               SetFilter{"udp"}.Encode()});
  MessageDecoder d;
  std::vector<Message> got;
  for (std::uint8_t byte : stream) {
    d.Feed(std::span<const std::uint8_t>(&byte, 1));
    const std::size_t before = got.size();
    while (auto m = d.Next()) got.push_back(std::move(*m));
    // Between messages only right after one was complete.
    EXPECT_EQ(d.AtMessageBoundary(), got.size() != before);
  }
  ASSERT_EQ(got.size(), 3u);
  EXPECT_TRUE(d.AtMessageBoundary());
  EXPECT_EQ(SendFrames::Decode(got[0].payload)->frame, Bytes(100, 7));
  EXPECT_EQ(got[1].type, MessageType::Stop);
  EXPECT_EQ(SetFilter::Decode(got[2].payload)->filter, "udp");
}

TEST(MessageDecoder, ShortMessageAtTheEndIsNotABoundary) {
  const Bytes one = End{.frames = 1, .fileBytes = 1}.Encode();
  for (std::size_t cut : {std::size_t{1}, std::size_t{7}, std::size_t{8}, one.size() - 1}) {
    MessageDecoder d;
    d.Feed(std::span<const std::uint8_t>(one).first(cut));
    EXPECT_FALSE(d.Next()) << cut;
    EXPECT_FALSE(d.Failed()) << cut;
    EXPECT_FALSE(d.AtMessageBoundary()) << cut;
  }
}

TEST(MessageDecoder, BadHeadersFailAtOnce) {
  struct Case {
    const char* what;
    Bytes header;
    const char* errorHas;
  };
  const Case cases[] = {
      {"unknown type", Header(55, 0), "unknown type 55"},
      {"type 0", Header(0, 0), "unknown type 0"},
      {"fixed type too short", Header(2, 15), "Written message of 15 bytes; it must be exactly 16"},
      {"fixed type too long", Header(1, 21), "Started message of 21 bytes"},
      {"empty type with a payload", Header(100, 1), "Stop message of 1 bytes"},
      {"text type without its length", Header(4, 3), "Warning message of 3 bytes; it must be 4 to"},
      {"past 1 MiB", Header(8, kMaxPayloadBytes + 1), "Adapters message"},
      {"length near 4 GiB", Header(103, 0xFFFFFFFFu), "SendFrames message"},
      {"SendFrames without a frame", Header(103, 12), "SendFrames message of 12 bytes"},
  };
  for (const Case& c : cases) {
    MessageDecoder d;
    d.Feed(c.header);  // the payload never comes: the header alone decides
    EXPECT_FALSE(d.Next()) << c.what;
    EXPECT_TRUE(d.Failed()) << c.what;
    EXPECT_NE(d.Error().find(c.errorHas), std::string::npos) << c.what << ": " << d.Error();
    // A failed decoder stays failed.
    d.Feed(Stop{}.Encode());
    EXPECT_FALSE(d.Next()) << c.what;
  }
}

TEST(MessageDecoder, GoodMessagesBeforeABadOneAreDelivered) {
  MessageDecoder d;
  d.Feed(Concat({Stop{}.Encode(), Header(7, 3), Bytes(3, 0)}));
  auto m = d.Next();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->type, MessageType::Stop);
  EXPECT_FALSE(d.Next());
  EXPECT_TRUE(d.Failed());
}

TEST(MessageDecoder, LongStreamKeepsItsBufferSmall) {
  const Bytes w = Written{.frames = 1, .fileBytes = 2}.Encode();
  MessageDecoder d;
  std::size_t count = 0;
  for (int i = 0; i < 100000; ++i) {
    // Feed in pieces that never line up with messages.
    Bytes piece = Concat({w, w});
    d.Feed(std::span<const std::uint8_t>(piece).first(i % 2 ? 30 : piece.size()));
    if (i % 2) d.Feed(std::span<const std::uint8_t>(piece).subspan(30));
    while (d.Next()) ++count;
    EXPECT_LE(d.Pending(), 2 * w.size());
  }
  EXPECT_EQ(count, 200000u);
  EXPECT_TRUE(d.AtMessageBoundary());
}

// ---- through a real socketpair ----

class ControlSocket : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_), 0); }
  void TearDown() override {
    for (int fd : fds_) {
      if (fd >= 0) ::close(fd);
    }
  }
  void CloseEnd(int i) {
    ::close(fds_[i]);
    fds_[i] = -1;
  }
  int fds_[2] = {-1, -1};
};

TEST_F(ControlSocket, MessagesAndADescriptorArrive) {
  char path[] = "/tmp/qv-control-XXXXXX";
  const int file = ::mkstemp(path);
  ASSERT_GE(file, 0);
  ::unlink(path);
  ASSERT_EQ(::write(file, "abc", 3), 3);

  ASSERT_TRUE(SendMessage(fds_[0], SetFilter{"icmp"}.Encode()));
  ASSERT_TRUE(SendMessage(fds_[0], Rotate{}.Encode(), file));
  ASSERT_TRUE(SendMessage(fds_[0], MessageType::Stop, {}));
  ::close(file);
  CloseEnd(0);

  MessageDecoder d;
  std::vector<Message> got;
  int received = -1;
  for (;;) {
    int fd = -1;
    const long n = ReadSome(fds_[1], d, &fd);
    ASSERT_GE(n, 0) << std::strerror(errno);
    if (fd >= 0) {
      ASSERT_EQ(received, -1) << "one descriptor was sent";
      received = fd;
    }
    while (auto m = d.Next()) got.push_back(std::move(*m));
    if (n == 0) break;
  }
  EXPECT_TRUE(d.AtMessageBoundary());
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].type, MessageType::SetFilter);
  EXPECT_EQ(got[1].type, MessageType::Rotate);
  EXPECT_EQ(got[2].type, MessageType::Stop);

  ASSERT_GE(received, 0);
  EXPECT_EQ(::fcntl(received, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  char back[3] = {};
  EXPECT_EQ(::pread(received, back, 3, 0), 3);
  EXPECT_EQ(std::string(back, 3), "abc");
  ::close(received);
}

TEST_F(ControlSocket, DescriptorIsClosedWhenNotWanted) {
  const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  ASSERT_TRUE(SendMessage(fds_[0], Rotate{}.Encode(), probe));
  ::close(probe);
  MessageDecoder d;
  ASSERT_GT(ReadSome(fds_[1], d), 0);
  // The descriptor that arrived got the lowest free number, the probe's, and
  // was closed again: nothing is open there now.
  EXPECT_EQ(::fcntl(probe, F_GETFD), -1);
  EXPECT_TRUE(d.Next());
}

TEST_F(ControlSocket, LargeMessageGoesWholeThroughASmallBuffer) {
  int small = 4096;
  ::setsockopt(fds_[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  AdapterEntry e{.name = "a", .description = std::string(60000, 'z'), .flags = 0, .linkTypes = {}, .addresses = {}};
  Adapters big;
  for (int i = 0; i < 15; ++i) big.adapters.push_back(e);
  const Bytes message = big.Encode();
  ASSERT_GT(message.size(), 800000u);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    _exit(SendMessage(fds_[0], message) ? 0 : 1);
  }
  CloseEnd(0);
  MessageDecoder d;
  std::optional<Message> m;
  while (!m) {
    const long n = ReadSome(fds_[1], d);
    ASSERT_GT(n, 0);
    m = d.Next();
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  auto a = Adapters::Decode(m->payload);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->adapters.size(), 15u);
}

TEST_F(ControlSocket, TrySendGivesUpWholeWhenFull) {
  int small = 4096;
  ::setsockopt(fds_[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  const Bytes w = Written{.frames = 1, .fileBytes = 2}.Encode();
  std::size_t sent = 0;
  for (int i = 0; i < 100000; ++i) {
    if (!TrySendMessage(fds_[0], w)) {
      EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << std::strerror(errno);
      break;
    }
    ++sent;
  }
  ASSERT_GT(sent, 0u);
  ASSERT_LT(sent, 100000u) << "the socket never filled";
  // What did go is whole messages only: the reader finds exactly that many.
  CloseEnd(0);
  MessageDecoder d;
  std::size_t got = 0;
  while (ReadSome(fds_[1], d) > 0) {
    while (d.Next()) ++got;
  }
  EXPECT_EQ(got, sent);
  EXPECT_TRUE(d.AtMessageBoundary());
  EXPECT_FALSE(d.Failed());
}

TEST_F(ControlSocket, SendToAClosedPeerFailsWithoutASignal) {
  CloseEnd(1);
  errno = 0;
  EXPECT_FALSE(SendMessage(fds_[0], Stop{}.Encode()));
  EXPECT_EQ(errno, EPIPE);
  EXPECT_FALSE(TrySendMessage(fds_[0], Stop{}.Encode()));
}

TEST_F(ControlSocket, ReadSomeSeesTheEndAndEagain) {
  MessageDecoder d;
  ASSERT_EQ(::fcntl(fds_[1], F_SETFL, O_NONBLOCK), 0);
  EXPECT_EQ(ReadSome(fds_[1], d), -1);
  EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
  ASSERT_TRUE(SendMessage(fds_[0], Header(6, 16)));  // an End header, payload never sent
  CloseEnd(0);
  EXPECT_EQ(ReadSome(fds_[1], d), 8);
  EXPECT_EQ(ReadSome(fds_[1], d), 0);
  EXPECT_FALSE(d.Next());
  EXPECT_FALSE(d.AtMessageBoundary());
}

}  // namespace
}  // namespace qv::control
