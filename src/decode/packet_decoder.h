#pragma once
// One decoding run over one captured frame. The same protocol decoders serve
// two modes:
//  - tree mode builds the decode tree of the selected packet and the list of
//    offsets at which its layers start (the hex dump colours by them);
//  - summary mode fills the packet-list row and reports every recognised
//    protocol and IP conversation to the statistics.
//
// Every read goes through the checked accessors below: a field whose bytes
// were not all captured reads as "absent" and produces no line, and no line's
// range reaches past the captured length, whatever a header claims.

#include <array>
#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decode/decode_tree.h"
#include "decode/enabled_decoders.h"
#include "decode/field_selection.h"
#include "decode/fields.h"
#include "decode/ip_conversation_sample.h"
#include "decode/learned_name.h"
#include "decode/packet_summary.h"
#include "decode/protocol.h"

namespace qv {

enum class DecodeMode : std::uint8_t { Tree = 0, Summary = 1 };

// Link type of Ethernet captures in the capture library.
inline constexpr int kLinkTypeEthernet = 1;

// PacketDecoder::flags bits.
inline constexpr std::uint32_t QuotedDatagram = 1u << 0;  // decoding the IP header quoted in an ICMP error

class PacketDecoder;
class QuicInitialMemory;

// Where summary-mode decoding reports what it recognised.
class DecodeSink {
 public:
  virtual ~DecodeSink() = default;
  virtual void AddProtocol(std::string_view name, int layer) = 0;
  // The protocols of one frame (or of its first 32 reports), in the order
  // they were reported: one call a frame instead of one a protocol. By
  // default each goes to AddProtocol with its name and layer.
  virtual void AddProtocols(std::span<const Protocol> protocols);
  virtual void UpdateConversation(const IpConversationSample& sample) = 0;
  // A name the traffic gives for an address; most sinks ignore it.
  virtual void LearnName(const LearnedName& /*name*/) {}
};

// The protocol scripts, offered every payload that no built-in decoder took.
class ScriptHost {
 public:
  virtual ~ScriptHost() = default;
  // Offers the bytes from decoder.offset + headerLength to the scripts
  // registered under parentName; true when one of them claimed the bytes.
  virtual bool ApplyScripts(PacketDecoder& decoder, std::uint32_t headerLength, std::string_view parentName) = 0;
};

// What a run needs from the capture session.
struct DecodeContext {
  int linkType = kLinkTypeEthernet;
  DecodeSink* sink = nullptr;        // summary mode: statistics; may be null
  ScriptHost* scripts = nullptr;     // tree mode: protocol scripts; may be null
  EnabledDecoders decoders{};        // which optional decoders run
  // QUIC: the connection ids of the Initials seen so far, so that a
  // server's Initial can be opened; may be null.
  QuicInitialMemory* quicInitials = nullptr;
  // Tree mode for display filters: only the lines of these fields are kept
  // (in a tree that keeps a scratch line), and no line gets a text; null
  // for every line with its text.
  const FieldSelection* onlyFields = nullptr;
  // The frame's comment (from its capture file, or the user's), shown as the
  // tree's first line; empty: none.
  std::string_view comment;
};

// What a field line read: its line (kNoNode in summary mode) and its value,
// absent when the field's bytes were not all captured.
template <class T>
struct FieldRead {
  NodeId line = kNoNode;
  std::optional<T> value;

  explicit operator bool() const { return value.has_value(); }
  T operator*() const { return *value; }
};

using DecoderFn = void (*)(PacketDecoder&);

class PacketDecoder {
 public:
  // Deepest nesting of layers decoded; a frame that nests further (IP in IP
  // in IP ...) is not followed beyond it.
  static constexpr int kMaxDepth = 24;

  PacketDecoder(std::span<const std::uint8_t> frame, const DecodeContext& context, DecodeTree* tree,
                DecodeMode mode, std::vector<std::int32_t>* layerStarts, PacketSummary* summary);
  // Hands the sink what was reported and not yet handed over (a decoder
  // whose pieces were called without Decode()).
  ~PacketDecoder();
  PacketDecoder(const PacketDecoder&) = delete;
  PacketDecoder& operator=(const PacketDecoder&) = delete;

  // Decodes the whole frame, starting with the link-layer header of the
  // context's link type.
  void Decode();

  // --- state of the run ---
  std::uint32_t capturedLength;
  const std::uint8_t* frame;
  std::uint32_t offset = 0;          // start of the header being decoded
  DecodeMode mode;
  NodeId parentItem = kRootNode;     // where the next layer line goes
  PacketSummary* summary;            // the row; null when not wanted
  std::optional<IpConversationSample> sample;
  std::uint32_t flags = 0;
  // The addresses of the innermost IP header so far (pointers into the
  // captured frame, null when not captured). Application decoders name the
  // server of a request by them; QUIC finds a connection by them.
  const std::uint8_t* ipSource = nullptr;
  const std::uint8_t* ipDestination = nullptr;
  bool ipIsV6 = false;
  // One past the last byte of the innermost IP datagram, as its length field
  // says (0: not known, as for a segmentation offload's length of 0). Bytes
  // after it (Ethernet's padding of a short frame) belong to no payload.
  std::uint32_t ipDatagramEnd = 0;

  bool IsTree() const { return mode == DecodeMode::Tree && tree_ != nullptr; }
  // Whether lines get their texts (not when decoding for display filters).
  bool WritesText() const { return context_.onlyFields == nullptr; }
  bool IsSummary() const { return mode == DecodeMode::Summary; }
  int LinkType() const { return context_.linkType; }
  // Whether an optional decoder runs in this decoding.
  bool IsOn(OptionalDecoder decoder) const { return context_.decoders.IsOn(decoder); }
  const DecodeContext& Context() const { return context_; }
  DecodeTree* Tree() const { return tree_; }
  const std::vector<std::int32_t>* LayerStarts() const { return layerStarts_; }
  // How many decoders are nested at this point (the script hook stacks
  // script layers on top of it, within kMaxDepth).
  int Depth() const { return depth_; }

  // --- checked reads; absent when any byte lies beyond the captured data ---
  bool Has(std::uint32_t at, std::uint32_t count) const {
    return static_cast<std::uint64_t>(at) + count <= capturedLength;
  }
  std::uint32_t Available(std::uint32_t at) const { return at < capturedLength ? capturedLength - at : 0; }
  const std::uint8_t* Bytes(std::uint32_t at, std::uint32_t count) const {
    return Has(at, count) ? frame + at : nullptr;
  }
  // Inline: every frame of a capture takes dozens of them.
  std::optional<std::uint8_t> U8(std::uint32_t at) const {
    if (!Has(at, 1)) return std::nullopt;
    return frame[at];
  }
  std::optional<std::uint16_t> U16(std::uint32_t at) const {  // big-endian
    if (!Has(at, 2)) return std::nullopt;
    return static_cast<std::uint16_t>(frame[at] << 8 | frame[at + 1]);
  }
  std::optional<std::uint32_t> U24(std::uint32_t at) const;  // big-endian
  std::optional<std::uint32_t> U32(std::uint32_t at) const {  // big-endian
    if (!Has(at, 4)) return std::nullopt;
    return static_cast<std::uint32_t>(frame[at]) << 24 | static_cast<std::uint32_t>(frame[at + 1]) << 16 |
           static_cast<std::uint32_t>(frame[at + 2]) << 8 | frame[at + 3];
  }
  std::optional<std::uint16_t> U16Le(std::uint32_t at) const;  // least significant byte first
  std::optional<std::uint32_t> U32Le(std::uint32_t at) const;

  // --- the steps every protocol decoder takes ---

  // Announces the protocol whose header starts at `offset`: in tree mode its
  // start joins the layer start list; in summary mode it is counted; in the
  // row its name joins the protocol chain.
  void BeginLayer(Protocol protocol);
  // The same without the layer start (the Ethernet header, which is the
  // first coloured segment by itself).
  void ReportProtocol(Protocol protocol);

  // Tree mode: the layer line under parentItem with the header's range
  // (clipped to the captured bytes). Returns kNoNode in summary mode.
  NodeId AddLayerLine(std::string text, std::uint32_t start, std::uint32_t end);
  NodeId AddLayerLine(std::string text);  // without a range

  // Tree mode: a line under `parent`. The range is clipped to the captured
  // bytes. Does nothing (returns kNoNode) in summary mode or without a parent.
  NodeId AddLine(NodeId parent, std::string text, std::uint32_t start, std::uint32_t end);
  NodeId AddLine(NodeId parent, std::string text);  // without a range
  // A layer line that is the protocol field `proto` ("ipv6", "vlan").
  NodeId AddLayerLine(const FieldInfo& proto, std::string text, std::uint32_t start, std::uint32_t end);

  // --- field lines: the value and the range both come from one offset ---
  //
  // Each reads the field `f` at `at` over its width (big-endian), and in tree
  // mode adds its line under `parent` with the field and its value. Nothing
  // is added, and the value is absent, when its bytes were not all captured.
  //
  // An unsigned field of up to 32 bits (a Boolean or masked field takes its
  // bits of the container). `format` is printf's, given the value twice, so
  // "TTL: %u" and "Window: %u (0x%04x)" both work.
  FieldRead<std::uint32_t> AddUint(NodeId parent, const FieldInfo& f, std::uint32_t at, const char* format);
  // The same with the text made by `textOf(value)`.
  template <class TextOf>
    requires std::invocable<TextOf, std::uint32_t>
  FieldRead<std::uint32_t> AddUint(NodeId parent, const FieldInfo& f, std::uint32_t at, TextOf&& textOf) {
    FieldRead<std::uint32_t> read;
    const std::optional<std::uint64_t> container = ReadContainer(f, at);
    if (!container) return read;
    read.value = static_cast<std::uint32_t>(MaskedValue(f, *container));
    if (IsTree()) read.line = AddFieldLine(parent, f, LineText(textOf, *read.value), at, at + FieldWidth(f), *read.value);
    return read;
  }
  // A 64-bit field; the text is made by `textOf(value)`.
  template <class TextOf>
  FieldRead<std::uint64_t> AddUint64(NodeId parent, const FieldInfo& f, std::uint32_t at, TextOf&& textOf) {
    FieldRead<std::uint64_t> read;
    read.value = ReadContainer(f, at);
    if (!read.value) return read;
    *read.value = MaskedValue(f, *read.value);
    if (IsTree()) read.line = AddFieldLine(parent, f, LineText(textOf, *read.value), at, at + FieldWidth(f), *read.value);
    return read;
  }
  // An address (IPv4, IPv6, MAC) or another field of fixed width: the bytes
  // read, or null.
  const std::uint8_t* AddAddress(NodeId parent, const FieldInfo& f, std::uint32_t at, std::string text);
  // Bytes or a string of `length` bytes at `at`; the line covers what was
  // captured of them (its value is those bytes). kNoNode when none was.
  NodeId AddBytes(NodeId parent, const FieldInfo& f, std::uint32_t at, std::uint32_t length, std::string text);
  // A field line whose value the decoder worked out itself (a length in
  // bytes from a count of words, a group line with no value).
  NodeId AddFieldLine(NodeId parent, const FieldInfo& f, std::string text, std::uint32_t start, std::uint32_t end,
                      std::uint64_t value = 0);
  // A field line with no frame range whose value bytes are given (decrypted
  // or reassembled data).
  NodeId AddStoredField(NodeId parent, const FieldInfo& f, std::string text, std::string valueBytes);
  // Names the field (and value) that an existing line shows.
  void SetField(NodeId node, const FieldInfo& f, std::uint64_t value = 0);

  void SetRange(NodeId node, std::uint32_t start, std::uint32_t end);
  void AppendText(NodeId node, std::string_view suffix);

  // Calls `decoder` for the payload at `payloadOffset`, then restores
  // `offset`. Nothing is called when no byte of the payload was captured or
  // the nesting is too deep.
  void Dispatch(DecoderFn decoder, std::uint32_t payloadOffset);

  // Offers the payload after the current header to the scripts.
  bool ApplyScripts(std::uint32_t headerLength, std::string_view parentName);
  // Tree mode: the unclaimed data from `offset` on becomes a layer of its own.
  void MarkUnsupported();

  // The tail of a layer in tree mode: when no inner decoder added a line
  // after `layerLine`, the payload goes to the scripts under `parentName`,
  // and, unclaimed, is marked unsupported.
  void FinishLayer(NodeId layerLine, std::uint32_t headerLength, std::string_view parentName);
  // The same without the sibling test, for decoders that call no inner decoder.
  void FinishPayload(std::uint32_t headerLength, std::string_view parentName);
  // Tree mode: stored scripts keep the payloads they claimed before an
  // optional decoder took them by port or type. Offers the payload after the
  // current header to the scripts under `parentName`; true when one claimed
  // it, and the optional decoder must then leave it alone.
  bool ScriptsClaimFirst(std::uint32_t headerLength, std::string_view parentName) {
    return ApplyScripts(headerLength, parentName);
  }
  // The payload `headerLength` bytes after `offset` goes to the optional
  // decoder `which`, unless a stored script claims it first (tree mode).
  // False when that decoder is switched off: the caller goes on as the
  // classic decoders do.
  // The decoder reads no further than `payloadEnd` (the end of the datagram
  // that carries the payload); the scripts are offered what they always were.
  bool DispatchOptional(OptionalDecoder which, DecoderFn decoder, std::uint32_t headerLength,
                        std::string_view parentName, std::uint32_t payloadEnd = UINT32_MAX);
  // Where the payload of the transport header at `offset` ends: the IP
  // datagram's end when known, else the captured end.
  std::uint32_t TransportPayloadEnd() const {
    return ipDatagramEnd != 0 && ipDatagramEnd < capturedLength ? ipDatagramEnd : capturedLength;
  }

  // Summary mode: hands the conversation sample to the statistics, once.
  void HandOverSample();

  // Summary mode: tells the statistics that `address` (4 or 16 bytes, as
  // `ipv6` says) is called `name`.
  void LearnName(NameOrigin origin, const std::uint8_t* address, bool ipv6, std::string_view name);
  // Summary mode: the server this frame goes to (the innermost IP
  // destination) is called `name` (a TLS server name, an HTTP Host).
  void LearnServerName(NameOrigin origin, std::string_view name) {
    LearnName(origin, ipDestination, ipIsV6, name);
  }

  // Decodes bytes that are not the frame's own (decrypted or reassembled
  // data): `decode` runs with a decoder over `bytes` that shares this one's
  // tree, row and statistics. Its lines hang under `parent` and carry no
  // frame range; each keeps the bytes it describes as its value. Nothing
  // runs when the nesting is too deep.
  template <class Fn>
  void DecodeDetached(std::span<const std::uint8_t> bytes, NodeId parent, Fn&& decode) {
    if (depth_ >= kMaxDepth) return;
    PacketDecoder inner(*this, bytes, parent);
    decode(inner);
  }
  // Whether this decoder reads detached bytes (see DecodeDetached).
  bool IsDetached() const { return detached_; }

  // Appends a layer start in tree mode (used by the script hook too).
  void AddLayerStart(std::uint32_t at);

 private:
  // A field line's text from `textOf`, which is not called when no text is written.
  template <class TextOf, class Value>
  std::string LineText(TextOf& textOf, Value value) const {
    if (!WritesText()) return {};
    return std::string(textOf(value));
  }

  // The decoder of DecodeDetached.
  PacketDecoder(const PacketDecoder& outer, std::span<const std::uint8_t> bytes, NodeId parent);

  // Summary mode: the protocols reported and not yet handed to the sink.
  // The sink counts them under a lock; one call a frame instead of one a
  // protocol. A decoder of detached bytes adds to its outer decoder's, so
  // the order of the reports stays the order of decoding.
  struct ReportedProtocols {
    static constexpr std::uint8_t kCapacity = 32;
    std::array<Protocol, kCapacity> protocols;  // the first `count` are set
    std::uint8_t count = 0;
  };
  void HandOverProtocols();

  std::uint32_t Clip(std::uint32_t at) const { return at < capturedLength ? at : capturedLength; }
  // A new line, or the scratch line when only selected fields are kept and
  // `f` is not one of them (a line without a field: null).
  NodeId NewLine(NodeId parent, std::string text, std::uint32_t start, std::uint32_t end, const FieldInfo* f);
  bool Selective() const { return context_.onlyFields != nullptr && IsTree() && tree_->ScratchLine() != kNoNode; }
  // The big-endian container of an integer field, absent when not all captured.
  std::optional<std::uint64_t> ReadContainer(const FieldInfo& f, std::uint32_t at) const {
    const std::uint32_t width = FieldWidth(f);
    if (width == 0 || width > 8 || !Has(at, width)) return std::nullopt;
    std::uint64_t v = 0;
    for (std::uint32_t i = 0; i < width; ++i) v = v << 8 | frame[at + i];
    return v;
  }

  DecodeContext context_;
  DecodeTree* tree_;
  std::vector<std::int32_t>* layerStarts_;
  ReportedProtocols ownReported_;
  ReportedProtocols* reported_ = &ownReported_;  // the outermost decoder's
  int depth_ = 0;
  bool detached_ = false;
  // The line kept for the field that SetField gave the scratch line, while
  // the scratch line still holds that line.
  NodeId promoted_ = kNoNode;
};

}  // namespace qv
