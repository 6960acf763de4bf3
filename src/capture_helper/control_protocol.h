#pragma once
// The control channel between the capture helper (quorvanet-capture) and the
// program that started it: an AF_UNIX stream socket carrying framed messages.
//
// Each message is u32 type, u32 payload length (both little-endian), then the
// payload. Payloads are at most 1 MiB, and each type has its own range of
// payload lengths (fixed-size types must be exactly their size). Integers in
// payloads are little-endian; a text is u32 length + UTF-8 bytes, at most
// 64 KiB. Nothing here trusts the other side: every decode is bounded and
// checked and answers std::nullopt (or a clear error text) for damaged input.
//
// Only the C++ standard library and the socket calls: the helper links this
// and libpcap, libcap and libseccomp, nothing else.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv::control {

enum class MessageType : std::uint32_t {
  // helper -> parent
  Started = 1,
  Written = 2,
  Drops = 3,
  Warning = 4,
  Error = 5,
  End = 6,
  FileSwitched = 7,
  Adapters = 8,
  Rights = 9,
  FilterSet = 10,
  SendProgress = 11,
  SendDone = 12,
  // parent -> helper
  Stop = 100,
  SetFilter = 101,
  Rotate = 102,
  SendFrames = 103,
};

inline constexpr std::size_t kHeaderBytes = 8;
inline constexpr std::size_t kMaxPayloadBytes = 1024 * 1024;
inline constexpr std::size_t kMaxTextBytes = 64 * 1024;
inline constexpr std::size_t kMaxFrameBytes = 65535;
inline constexpr std::uint32_t kMaxSendCount = 1'000'000;
inline constexpr std::uint32_t kMaxGapMicroseconds = 1'000'000'000;

// The name of a message type for messages ("Started", ...); "unknown" for
// numbers that are not a type.
std::string_view TypeName(std::uint32_t type);
inline std::string_view TypeName(MessageType type) { return TypeName(static_cast<std::uint32_t>(type)); }

struct PayloadRange {
  std::size_t min = 0;
  std::size_t max = 0;
};
// The payload lengths a type allows; std::nullopt for an unknown type.
std::optional<PayloadRange> AllowedPayload(std::uint32_t type);

struct Message {
  MessageType type{};
  std::vector<std::uint8_t> payload;
};

// Header + payload. The payload must fit the type's range (the structs below
// only build payloads that do).
std::vector<std::uint8_t> EncodeMessage(MessageType type, std::span<const std::uint8_t> payload);

// ---- payloads, helper -> parent ----

struct Started {
  static constexpr MessageType kType = MessageType::Started;
  static constexpr std::uint32_t kBufferRefused = 1u << 0;  // library default buffer in force
  std::uint32_t linkType = 0;  // DLT
  std::uint32_t snaplen = 0;
  std::uint64_t kernelBufferBytesInForce = 0;
  std::uint32_t flags = 0;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<Started> Decode(std::span<const std::uint8_t> payload);
};

// Frames and bytes of complete pcapng blocks in the current output file.
struct Written {
  static constexpr MessageType kType = MessageType::Written;
  std::uint64_t frames = 0;
  std::uint64_t fileBytes = 0;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<Written> Decode(std::span<const std::uint8_t> payload);
};

// Cumulative since Started.
struct Drops {
  static constexpr MessageType kType = MessageType::Drops;
  std::uint64_t received = 0;
  std::uint64_t kernelDrops = 0;     // ps_drop
  std::uint64_t interfaceDrops = 0;  // ps_ifdrop
  std::vector<std::uint8_t> Encode() const;
  static std::optional<Drops> Decode(std::span<const std::uint8_t> payload);
};

struct Warning {
  static constexpr MessageType kType = MessageType::Warning;
  std::string text;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<Warning> Decode(std::span<const std::uint8_t> payload);
};

struct Error {
  static constexpr MessageType kType = MessageType::Error;
  std::string text;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<Error> Decode(std::span<const std::uint8_t> payload);
};

// Final totals of the current file; the helper then exits 0.
struct End {
  static constexpr MessageType kType = MessageType::End;
  std::uint64_t frames = 0;
  std::uint64_t fileBytes = 0;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<End> Decode(std::span<const std::uint8_t> payload);
};

// Answer to Rotate: the old file is complete at this size.
struct FileSwitched {
  static constexpr MessageType kType = MessageType::FileSwitched;
  std::uint64_t framesInOldFile = 0;
  std::uint64_t oldFileBytes = 0;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<FileSwitched> Decode(std::span<const std::uint8_t> payload);
};

struct AdapterAddress {
  std::uint16_t family = 0;  // AF_INET or AF_INET6
  std::uint8_t prefixLength = 0;
  std::array<std::uint8_t, 16> address{};  // IPv4 in the first 4 bytes
  bool operator==(const AdapterAddress&) const = default;
};

struct AdapterEntry {
  std::string name;
  std::string description;
  std::uint32_t flags = 0;               // pcap_if_t flags
  std::vector<std::uint32_t> linkTypes;  // empty when the adapter could not be opened to ask
  std::vector<AdapterAddress> addresses;
  bool operator==(const AdapterEntry&) const = default;
};

struct Adapters {
  static constexpr MessageType kType = MessageType::Adapters;
  std::vector<AdapterEntry> adapters;
  // Adapters that would take the payload past 1 MiB are left out (the count
  // says how many are in).
  std::vector<std::uint8_t> Encode() const;
  static std::optional<Adapters> Decode(std::span<const std::uint8_t> payload);
};

struct Rights {
  static constexpr MessageType kType = MessageType::Rights;
  static constexpr std::uint32_t kNetRawPermitted = 1u << 0;
  static constexpr std::uint32_t kNetRawEffective = 1u << 1;
  static constexpr std::uint32_t kPacketSocketOpens = 1u << 2;
  static constexpr std::uint32_t kSeccompAvailable = 1u << 3;
  static constexpr std::uint32_t kRunningAsRoot = 1u << 4;
  std::uint32_t flags = 0;
  std::string detail;  // one line
  std::vector<std::uint8_t> Encode() const;
  static std::optional<Rights> Decode(std::span<const std::uint8_t> payload);
};

// Answer to SetFilter.
struct FilterSet {
  static constexpr MessageType kType = MessageType::FilterSet;
  bool ok = false;
  std::string error;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<FilterSet> Decode(std::span<const std::uint8_t> payload);
};

struct SendProgress {
  static constexpr MessageType kType = MessageType::SendProgress;
  std::uint64_t sent = 0;
  std::uint64_t failed = 0;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<SendProgress> Decode(std::span<const std::uint8_t> payload);
};

struct SendDone {
  static constexpr MessageType kType = MessageType::SendDone;
  std::uint64_t sent = 0;
  std::uint64_t failed = 0;
  std::uint64_t nanoseconds = 0;  // from the first frame to the end of the last gap
  std::string firstError;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<SendDone> Decode(std::span<const std::uint8_t> payload);
};

// ---- payloads, parent -> helper ----

struct Stop {
  static constexpr MessageType kType = MessageType::Stop;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<Stop> Decode(std::span<const std::uint8_t> payload);
};

// A capture filter, compiled in the helper; "" removes the filter.
struct SetFilter {
  static constexpr MessageType kType = MessageType::SetFilter;
  std::string filter;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<SetFilter> Decode(std::span<const std::uint8_t> payload);
};

// The new output file travels with the message's first byte (SCM_RIGHTS):
// send it with SendMessage(fd, Rotate{}.Encode(), newFileFd).
struct Rotate {
  static constexpr MessageType kType = MessageType::Rotate;
  std::vector<std::uint8_t> Encode() const;
  static std::optional<Rotate> Decode(std::span<const std::uint8_t> payload);
};

struct SendFrames {
  static constexpr MessageType kType = MessageType::SendFrames;
  std::uint32_t count = 0;  // 0: until Stop; else at most kMaxSendCount
  std::uint32_t gapMicroseconds = 0;
  std::vector<std::uint8_t> frame;  // 1..65535 bytes
  std::vector<std::uint8_t> Encode() const;
  static std::optional<SendFrames> Decode(std::span<const std::uint8_t> payload);
};

// ---- the stream decoder ----

// Cuts a byte stream into messages. Feed() what was read, then call Next()
// until it answers std::nullopt. Bytes may come in any pieces: several
// messages in one piece, one message over many. A header with an unknown
// type or a length outside its type's range fails the decoder at once (it
// does not wait for the payload); Failed() stays true and Error() says why.
// At the end of the stream, !AtMessageBoundary() means the last message was
// cut short.
class MessageDecoder {
 public:
  void Feed(std::span<const std::uint8_t> bytes);
  std::optional<Message> Next();
  bool Failed() const { return !error_.empty(); }
  const std::string& Error() const { return error_; }
  bool AtMessageBoundary() const { return buffer_.size() == start_; }
  // Bytes fed and not yet taken as messages.
  std::size_t Pending() const { return buffer_.size() - start_; }

 private:
  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0;
  std::string error_;
};

// ---- socket helpers ----

// Writes the whole message (header + payload) to a stream socket: MSG_NOSIGNAL,
// partial writes and EINTR handled, and on a non-blocking socket it waits in
// poll() until the socket takes more. passFd >= 0 travels with the first byte
// (SCM_RIGHTS). false (errno set) when the peer is gone or the socket fails.
bool SendMessage(int fd, std::span<const std::uint8_t> message, int passFd = -1);
bool SendMessage(int fd, MessageType type, std::span<const std::uint8_t> payload, int passFd = -1);

// Never waits: true when the whole message went; false with nothing written
// when the socket cannot take it now (errno EAGAIN) or on an error (errno).
// Should the kernel take only part of a large message, the rest is written
// blocking so that the stream stays framed; the small messages this is meant
// for go whole or not at all.
bool TrySendMessage(int fd, std::span<const std::uint8_t> message);
bool TrySendMessage(int fd, MessageType type, std::span<const std::uint8_t> payload);

// One recvmsg() of at most kReadChunkBytes into the decoder. Answers the bytes
// read, 0 at the end of the stream, -1 on an error (errno; EAGAIN on a
// non-blocking socket with nothing to read). EINTR is retried. When a
// descriptor came with the bytes it is stored in *receivedFd (close-on-exec),
// else *receivedFd is set to -1; with receivedFd == nullptr, or beyond the
// first, descriptors are closed.
inline constexpr std::size_t kReadChunkBytes = 64 * 1024;
long ReadSome(int fd, MessageDecoder& decoder, int* receivedFd = nullptr);

}  // namespace qv::control
