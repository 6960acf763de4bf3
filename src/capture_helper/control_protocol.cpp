#include "capture_helper/control_protocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qv::control {
namespace {

constexpr std::size_t kTextOverhead = 4;

// ---- writing payloads ----

class PayloadWriter {
 public:
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v) {
    for (int i = 0; i < 2; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Bytes(std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  void Text(std::string_view text);
  std::size_t Size() const { return bytes_.size(); }
  void Truncate(std::size_t size) { bytes_.resize(size); }
  void PutU32At(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  std::vector<std::uint8_t> Message(MessageType type) const { return EncodeMessage(type, bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Length of a valid UTF-8 sequence at text[i], or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF are not).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4;
    cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

bool ValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8SequenceLength(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// Texts from libpcap or the system need not be UTF-8: a byte that does not
// start a valid sequence becomes U+FFFD, and the text is cut, on a character
// boundary, to what a text may hold.
std::string CleanText(std::string_view text) {
  std::string out;
  out.reserve(std::min(text.size(), kMaxTextBytes));
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = Utf8SequenceLength(text, i);
    std::string_view piece = n ? text.substr(i, n) : std::string_view("\xEF\xBF\xBD");
    if (n == 0) n = 1;
    if (out.size() + piece.size() > kMaxTextBytes) break;
    out.append(piece);
    i += n;
  }
  return out;
}

void PayloadWriter::Text(std::string_view text) {
  const std::string clean = CleanText(text);
  U32(static_cast<std::uint32_t>(clean.size()));
  bytes_.insert(bytes_.end(), clean.begin(), clean.end());
}

// ---- reading payloads ----

class PayloadReader {
 public:
  explicit PayloadReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool U8(std::uint8_t& v) {
    if (!Has(1)) return Fail();
    v = bytes_[at_++];
    return true;
  }
  bool U16(std::uint16_t& v) {
    std::uint64_t w = 0;
    if (!Le(2, w)) return false;
    v = static_cast<std::uint16_t>(w);
    return true;
  }
  bool U32(std::uint32_t& v) {
    std::uint64_t w = 0;
    if (!Le(4, w)) return false;
    v = static_cast<std::uint32_t>(w);
    return true;
  }
  bool U64(std::uint64_t& v) { return Le(8, v); }
  bool Bytes(std::size_t n, std::span<const std::uint8_t>& out) {
    if (!Has(n)) return Fail();
    out = bytes_.subspan(at_, n);
    at_ += n;
    return true;
  }
  bool Text(std::string& out) {
    std::uint32_t length = 0;
    if (!U32(length) || length > kMaxTextBytes || !Has(length)) return Fail();
    std::string text(reinterpret_cast<const char*>(bytes_.data() + at_), length);
    if (!ValidUtf8(text)) return Fail();
    at_ += length;
    out = std::move(text);
    return true;
  }
  std::size_t Remaining() const { return bytes_.size() - at_; }
  // Every byte read, none left over, no read past the end.
  bool Done() const { return ok_ && at_ == bytes_.size(); }

 private:
  bool Has(std::size_t n) const { return ok_ && bytes_.size() - at_ >= n; }
  bool Fail() {
    ok_ = false;
    return false;
  }
  bool Le(int n, std::uint64_t& v) {
    if (!Has(static_cast<std::size_t>(n))) return Fail();
    v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(bytes_[at_ + i]) << (8 * i);
    at_ += static_cast<std::size_t>(n);
    return true;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

template <typename T>
std::optional<T> Finish(const PayloadReader& r, T value) {
  if (!r.Done()) return std::nullopt;
  return value;
}

struct TypeInfo {
  std::uint32_t type;
  std::string_view name;
  PayloadRange range;
};

constexpr std::size_t kText = kTextOverhead + kMaxTextBytes;
constexpr TypeInfo kTypes[] = {
    {1, "Started", {20, 20}},
    {2, "Written", {16, 16}},
    {3, "Drops", {24, 24}},
    {4, "Warning", {kTextOverhead, kText}},
    {5, "Error", {kTextOverhead, kText}},
    {6, "End", {16, 16}},
    {7, "FileSwitched", {16, 16}},
    {8, "Adapters", {4, kMaxPayloadBytes}},
    {9, "Rights", {4 + kTextOverhead, 4 + kText}},
    {10, "FilterSet", {4 + kTextOverhead, 4 + kText}},
    {11, "SendProgress", {16, 16}},
    {12, "SendDone", {24 + kTextOverhead, 24 + kText}},
    {100, "Stop", {0, 0}},
    {101, "SetFilter", {kTextOverhead, kText}},
    {102, "Rotate", {0, 0}},
    {103, "SendFrames", {12 + 1, 12 + kMaxFrameBytes}},
};

const TypeInfo* FindType(std::uint32_t type) {
  for (const TypeInfo& info : kTypes) {
    if (info.type == type) return &info;
  }
  return nullptr;
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

template <typename T>
std::vector<std::uint8_t> TextMessage(const std::string& text) {
  PayloadWriter w;
  w.Text(text);
  return w.Message(T::kType);
}

template <typename T>
std::optional<T> TextDecode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  T value;
  r.Text(value.text);
  return Finish(r, std::move(value));
}

std::vector<std::uint8_t> TwoCounters(MessageType type, std::uint64_t a, std::uint64_t b) {
  PayloadWriter w;
  w.U64(a);
  w.U64(b);
  return w.Message(type);
}

}  // namespace

std::string_view TypeName(std::uint32_t type) {
  const TypeInfo* info = FindType(type);
  return info ? info->name : std::string_view("unknown");
}

std::optional<PayloadRange> AllowedPayload(std::uint32_t type) {
  const TypeInfo* info = FindType(type);
  if (!info) return std::nullopt;
  return info->range;
}

std::vector<std::uint8_t> EncodeMessage(MessageType type, std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> out;
  out.reserve(kHeaderBytes + payload.size());
  const auto t = static_cast<std::uint32_t>(type);
  const auto n = static_cast<std::uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(t >> (8 * i)));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

// ---- Started .. SendDone ----

std::vector<std::uint8_t> Started::Encode() const {
  PayloadWriter w;
  w.U32(linkType);
  w.U32(snaplen);
  w.U64(kernelBufferBytesInForce);
  w.U32(flags);
  return w.Message(kType);
}

std::optional<Started> Started::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  Started s;
  r.U32(s.linkType);
  r.U32(s.snaplen);
  r.U64(s.kernelBufferBytesInForce);
  r.U32(s.flags);
  return Finish(r, s);
}

std::vector<std::uint8_t> Written::Encode() const { return TwoCounters(kType, frames, fileBytes); }

std::optional<Written> Written::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  Written w;
  r.U64(w.frames);
  r.U64(w.fileBytes);
  return Finish(r, w);
}

std::vector<std::uint8_t> Drops::Encode() const {
  PayloadWriter w;
  w.U64(received);
  w.U64(kernelDrops);
  w.U64(interfaceDrops);
  return w.Message(kType);
}

std::optional<Drops> Drops::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  Drops d;
  r.U64(d.received);
  r.U64(d.kernelDrops);
  r.U64(d.interfaceDrops);
  return Finish(r, d);
}

std::vector<std::uint8_t> Warning::Encode() const { return TextMessage<Warning>(text); }
std::optional<Warning> Warning::Decode(std::span<const std::uint8_t> payload) { return TextDecode<Warning>(payload); }

std::vector<std::uint8_t> Error::Encode() const { return TextMessage<Error>(text); }
std::optional<Error> Error::Decode(std::span<const std::uint8_t> payload) { return TextDecode<Error>(payload); }

std::vector<std::uint8_t> End::Encode() const { return TwoCounters(kType, frames, fileBytes); }

std::optional<End> End::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  End e;
  r.U64(e.frames);
  r.U64(e.fileBytes);
  return Finish(r, e);
}

std::vector<std::uint8_t> FileSwitched::Encode() const { return TwoCounters(kType, framesInOldFile, oldFileBytes); }

std::optional<FileSwitched> FileSwitched::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  FileSwitched f;
  r.U64(f.framesInOldFile);
  r.U64(f.oldFileBytes);
  return Finish(r, f);
}

std::vector<std::uint8_t> Adapters::Encode() const {
  PayloadWriter w;
  w.U32(0);
  std::uint32_t count = 0;
  for (const AdapterEntry& a : adapters) {
    const std::size_t before = w.Size();
    w.Text(a.name);
    w.Text(a.description);
    w.U32(a.flags);
    w.U32(static_cast<std::uint32_t>(a.linkTypes.size()));
    for (std::uint32_t dlt : a.linkTypes) w.U32(dlt);
    w.U32(static_cast<std::uint32_t>(a.addresses.size()));
    for (const AdapterAddress& addr : a.addresses) {
      w.U16(addr.family);
      w.U8(addr.prefixLength);
      w.Bytes(addr.address);
    }
    if (w.Size() > kMaxPayloadBytes) {
      w.Truncate(before);
      break;
    }
    ++count;
  }
  w.PutU32At(0, count);
  return w.Message(kType);
}

std::optional<Adapters> Adapters::Decode(std::span<const std::uint8_t> payload) {
  constexpr std::size_t kSmallestAdapter = 4 + 4 + 4 + 4 + 4;
  constexpr std::size_t kAddressBytes = 2 + 1 + 16;
  PayloadReader r(payload);
  std::uint32_t count = 0;
  if (!r.U32(count) || count > r.Remaining() / kSmallestAdapter) return std::nullopt;
  Adapters out;
  out.adapters.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    AdapterEntry a;
    std::uint32_t linkCount = 0;
    std::uint32_t addressCount = 0;
    if (!r.Text(a.name) || a.name.empty() || !r.Text(a.description) || !r.U32(a.flags)) return std::nullopt;
    if (!r.U32(linkCount) || linkCount > r.Remaining() / 4) return std::nullopt;
    a.linkTypes.resize(linkCount);
    for (std::uint32_t& dlt : a.linkTypes) r.U32(dlt);
    if (!r.U32(addressCount) || addressCount > r.Remaining() / kAddressBytes) return std::nullopt;
    a.addresses.resize(addressCount);
    for (AdapterAddress& addr : a.addresses) {
      std::span<const std::uint8_t> bytes;
      if (!r.U16(addr.family) || !r.U8(addr.prefixLength) || !r.Bytes(16, bytes)) return std::nullopt;
      std::memcpy(addr.address.data(), bytes.data(), 16);
      const bool v4 = addr.family == AF_INET && addr.prefixLength <= 32;
      const bool v6 = addr.family == AF_INET6 && addr.prefixLength <= 128;
      if (!v4 && !v6) return std::nullopt;
    }
    out.adapters.push_back(std::move(a));
  }
  return Finish(r, std::move(out));
}

std::vector<std::uint8_t> Rights::Encode() const {
  PayloadWriter w;
  w.U32(flags);
  w.Text(detail);
  return w.Message(kType);
}

std::optional<Rights> Rights::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  Rights v;
  r.U32(v.flags);
  r.Text(v.detail);
  return Finish(r, std::move(v));
}

std::vector<std::uint8_t> FilterSet::Encode() const {
  PayloadWriter w;
  w.U32(ok ? 1 : 0);
  w.Text(error);
  return w.Message(kType);
}

std::optional<FilterSet> FilterSet::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  FilterSet v;
  std::uint32_t ok = 0;
  if (!r.U32(ok) || ok > 1) return std::nullopt;
  v.ok = ok == 1;
  r.Text(v.error);
  return Finish(r, std::move(v));
}

std::vector<std::uint8_t> SendProgress::Encode() const { return TwoCounters(kType, sent, failed); }

std::optional<SendProgress> SendProgress::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  SendProgress v;
  r.U64(v.sent);
  r.U64(v.failed);
  return Finish(r, v);
}

std::vector<std::uint8_t> SendDone::Encode() const {
  PayloadWriter w;
  w.U64(sent);
  w.U64(failed);
  w.U64(nanoseconds);
  w.Text(firstError);
  return w.Message(kType);
}

std::optional<SendDone> SendDone::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  SendDone v;
  r.U64(v.sent);
  r.U64(v.failed);
  r.U64(v.nanoseconds);
  r.Text(v.firstError);
  return Finish(r, std::move(v));
}

// ---- parent -> helper ----

std::vector<std::uint8_t> Stop::Encode() const { return EncodeMessage(kType, {}); }

std::optional<Stop> Stop::Decode(std::span<const std::uint8_t> payload) {
  if (!payload.empty()) return std::nullopt;
  return Stop{};
}

std::vector<std::uint8_t> SetFilter::Encode() const {
  PayloadWriter w;
  w.Text(filter);
  return w.Message(kType);
}

std::optional<SetFilter> SetFilter::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  SetFilter v;
  r.Text(v.filter);
  return Finish(r, std::move(v));
}

std::vector<std::uint8_t> Rotate::Encode() const { return EncodeMessage(kType, {}); }

std::optional<Rotate> Rotate::Decode(std::span<const std::uint8_t> payload) {
  if (!payload.empty()) return std::nullopt;
  return Rotate{};
}

std::vector<std::uint8_t> SendFrames::Encode() const {
  PayloadWriter w;
  w.U32(count);
  w.U32(gapMicroseconds);
  w.U32(static_cast<std::uint32_t>(frame.size()));
  w.Bytes(frame);
  return w.Message(kType);
}

std::optional<SendFrames> SendFrames::Decode(std::span<const std::uint8_t> payload) {
  PayloadReader r(payload);
  SendFrames v;
  std::uint32_t length = 0;
  std::span<const std::uint8_t> bytes;
  if (!r.U32(v.count) || v.count > kMaxSendCount) return std::nullopt;
  if (!r.U32(v.gapMicroseconds) || v.gapMicroseconds > kMaxGapMicroseconds) return std::nullopt;
  if (!r.U32(length) || length < 1 || length > kMaxFrameBytes || !r.Bytes(length, bytes)) return std::nullopt;
  v.frame.assign(bytes.begin(), bytes.end());
  return Finish(r, std::move(v));
}

// ---- MessageDecoder ----

void MessageDecoder::Feed(std::span<const std::uint8_t> bytes) {
  if (Failed() || bytes.empty()) return;
  // Keep the buffer from growing with what was already taken.
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<Message> MessageDecoder::Next() {
  if (Failed() || Pending() < kHeaderBytes) return std::nullopt;
  const std::uint8_t* header = buffer_.data() + start_;
  const std::uint32_t type = ReadLe32(header);
  const std::uint32_t length = ReadLe32(header + 4);
  const TypeInfo* info = FindType(type);
  if (!info) {
    error_ = "The control channel carried a message of unknown type " + std::to_string(type);
    return std::nullopt;
  }
  if (length < info->range.min || length > info->range.max) {
    error_ = "The control channel carried a " + std::string(info->name) + " message of " + std::to_string(length) +
             " bytes; it must be ";
    if (info->range.min == info->range.max) {
      error_ += "exactly " + std::to_string(info->range.min) + " bytes";
    } else {
      error_ += std::to_string(info->range.min) + " to " + std::to_string(info->range.max) + " bytes";
    }
    return std::nullopt;
  }
  if (Pending() - kHeaderBytes < length) return std::nullopt;
  Message m;
  m.type = static_cast<MessageType>(type);
  const auto* body = header + kHeaderBytes;
  m.payload.assign(body, body + length);
  start_ += kHeaderBytes + length;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  return m;
}

// ---- sockets ----

namespace {

bool WaitWritable(int fd) {
  pollfd p{fd, POLLOUT, 0};
  for (;;) {
    const int r = ::poll(&p, 1, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      errno = EPIPE;
      return false;
    }
    if (p.revents & POLLOUT) return true;
  }
}

// One sendmsg, the descriptor riding along when passFd >= 0.
ssize_t SendOnce(int fd, const std::uint8_t* data, std::size_t size, int passFd, int flags) {
  iovec iov{const_cast<std::uint8_t*>(data), size};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  if (passFd >= 0) {
    std::memset(control, 0, sizeof control);
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &passFd, sizeof(int));
  }
  return ::sendmsg(fd, &msg, MSG_NOSIGNAL | flags);
}

bool SendRest(int fd, std::span<const std::uint8_t> message, std::size_t done, int passFd) {
  while (done < message.size()) {
    const ssize_t n = SendOnce(fd, message.data() + done, message.size() - done, done == 0 ? passFd : -1, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitWritable(fd)) return false;
      continue;
    }
    if (n == 0) errno = EPIPE;
    return false;
  }
  return true;
}

}  // namespace

bool SendMessage(int fd, std::span<const std::uint8_t> message, int passFd) {
  if (message.empty()) return true;
  return SendRest(fd, message, 0, passFd);
}

bool SendMessage(int fd, MessageType type, std::span<const std::uint8_t> payload, int passFd) {
  const std::vector<std::uint8_t> message = EncodeMessage(type, payload);
  return SendMessage(fd, message, passFd);
}

bool TrySendMessage(int fd, std::span<const std::uint8_t> message) {
  if (message.empty()) return true;
  for (;;) {
    const ssize_t n = SendOnce(fd, message.data(), message.size(), -1, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) == message.size()) return true;
    return SendRest(fd, message, static_cast<std::size_t>(n), -1);
  }
}

bool TrySendMessage(int fd, MessageType type, std::span<const std::uint8_t> payload) {
  const std::vector<std::uint8_t> message = EncodeMessage(type, payload);
  return TrySendMessage(fd, message);
}

long ReadSome(int fd, MessageDecoder& decoder, int* receivedFd) {
  if (receivedFd) *receivedFd = -1;
  std::vector<std::uint8_t> chunk(kReadChunkBytes);
  // Room for a few descriptors, so that extra ones arrive (and are closed)
  // rather than being cut off.
  constexpr std::size_t kMaxFds = 8;
  alignas(cmsghdr) char control[CMSG_SPACE(kMaxFds * sizeof(int))];
  for (;;) {
    iovec iov{chunk.data(), chunk.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &msg, MSG_CMSG_CLOEXEC);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
      const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (std::size_t i = 0; i < count; ++i) {
        int got = -1;
        std::memcpy(&got, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
        if (receivedFd && *receivedFd < 0) {
          *receivedFd = got;
        } else {
          ::close(got);
        }
      }
    }
    decoder.Feed(std::span<const std::uint8_t>(chunk.data(), static_cast<std::size_t>(n)));
    return static_cast<long>(n);
  }
}

}  // namespace qv::control
