#include "decode/packet_decoder.h"

#include <algorithm>
#include <new>

#include "decode/derived_fields.h"
#include "decode/link_types.h"
#include "decode/text_format.h"

namespace qv {

namespace {

// The comment as one line of text: its line breaks and other control
// characters become spaces.
std::string CommentLine(std::string_view comment) {
  std::string line = "Comment: ";
  line.reserve(line.size() + comment.size());
  for (const char c : comment) line.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
  return line;
}

}  // namespace

PacketDecoder::PacketDecoder(std::span<const std::uint8_t> frameBytes, const DecodeContext& context,
                             DecodeTree* tree, DecodeMode decodeMode, std::vector<std::int32_t>* layerStarts,
                             PacketSummary* row)
    : capturedLength(static_cast<std::uint32_t>(frameBytes.size())),
      frame(frameBytes.data()),
      mode(decodeMode),
      summary(row),
      context_(context),
      tree_(tree),
      layerStarts_(layerStarts) {}

PacketDecoder::PacketDecoder(const PacketDecoder& outer, std::span<const std::uint8_t> bytes, NodeId parent)
    : capturedLength(static_cast<std::uint32_t>(bytes.size())),
      frame(bytes.data()),
      mode(outer.mode),
      parentItem(parent),
      summary(outer.summary),
      flags(outer.flags),
      ipSource(outer.ipSource),
      ipDestination(outer.ipDestination),
      ipIsV6(outer.ipIsV6),
      context_(outer.context_),
      tree_(outer.tree_),
      layerStarts_(nullptr),
      reported_(outer.reported_),
      depth_(outer.depth_ + 1),
      detached_(true) {}

PacketDecoder::~PacketDecoder() {
  if (reported_ != &ownReported_ || reported_->count == 0) return;
  try {
    HandOverProtocols();
  } catch (const std::bad_alloc&) {
    // A new protocol's entry could not be made: those reports are lost.
  }
}

void DecodeSink::AddProtocols(std::span<const Protocol> protocols) {
  for (const Protocol p : protocols) AddProtocol(InfoOf(p).name, InfoOf(p).layer);
}

void PacketDecoder::HandOverProtocols() {
  const std::uint8_t count = reported_->count;
  reported_->count = 0;
  if (count != 0 && context_.sink != nullptr) context_.sink->AddProtocols({reported_->protocols.data(), count});
}

void PacketDecoder::Decode() {
  if (IsTree()) tree_->Clear();
  // The list describes this frame alone, whatever the caller's vector held.
  if (layerStarts_ != nullptr) layerStarts_->clear();
  const LinesWithoutText noText(context_.onlyFields != nullptr);
  if (IsTree() && !detached_ && !context_.comment.empty()) {
    AddStoredField(kRootNode, FrameCommentField(), CommentLine(context_.comment), std::string(context_.comment));
  }
  try {
    LinkLayerDecoder(context_.linkType)(*this);
  } catch (...) {
    HandOverProtocols();  // what was decoded before counts, as it did before the failure
    throw;
  }
  HandOverProtocols();
}

std::optional<std::uint32_t> PacketDecoder::U24(std::uint32_t at) const {
  if (!Has(at, 3)) return std::nullopt;
  return static_cast<std::uint32_t>(frame[at]) << 16 | static_cast<std::uint32_t>(frame[at + 1]) << 8 |
         frame[at + 2];
}

std::optional<std::uint16_t> PacketDecoder::U16Le(std::uint32_t at) const {
  if (!Has(at, 2)) return std::nullopt;
  return static_cast<std::uint16_t>(frame[at + 1] << 8 | frame[at]);
}

std::optional<std::uint32_t> PacketDecoder::U32Le(std::uint32_t at) const {
  if (!Has(at, 4)) return std::nullopt;
  return static_cast<std::uint32_t>(frame[at + 3]) << 24 | static_cast<std::uint32_t>(frame[at + 2]) << 16 |
         static_cast<std::uint32_t>(frame[at + 1]) << 8 | frame[at];
}

void PacketDecoder::AddLayerStart(std::uint32_t at) {
  if (IsTree() && layerStarts_ != nullptr) layerStarts_->push_back(static_cast<std::int32_t>(Clip(at)));
}

void PacketDecoder::BeginLayer(Protocol protocol) {
  AddLayerStart(offset);
  ReportProtocol(protocol);
}

void PacketDecoder::ReportProtocol(Protocol protocol) {
  const ProtocolInfo& info = InfoOf(protocol);
  if (IsSummary() && context_.sink != nullptr) {
    if (reported_->count == ReportedProtocols::kCapacity) HandOverProtocols();
    reported_->protocols[reported_->count++] = protocol;
  }
  if (summary != nullptr && info.listedInRow) summary->AppendProtocol(protocol);
}

NodeId PacketDecoder::AddLayerLine(std::string text, std::uint32_t start, std::uint32_t end) {
  return AddLine(parentItem, std::move(text), start, end);
}

NodeId PacketDecoder::AddLayerLine(std::string text) { return AddLine(parentItem, std::move(text)); }

NodeId PacketDecoder::NewLine(NodeId parent, std::string text, std::uint32_t start, std::uint32_t end,
                              const FieldInfo* f) {
  if (!IsTree() || parent == kNoNode) return kNoNode;
  start = Clip(start);
  end = Clip(end);
  if (end < start) end = start;
  NodeId line;
  if (Selective() && (f == nullptr || !context_.onlyFields->Has(f))) {
    promoted_ = kNoNode;
    line = tree_->ReuseScratchLine(parent, detached_ ? 0 : start, detached_ ? 0 : end);
  } else {
    line = detached_ ? tree_->Add(parent, std::move(text)) : tree_->Add(parent, std::move(text), start, end);
  }
  if (detached_) {
    // Bytes that are not the frame's: no range, the bytes themselves kept.
    DecodeNode& node = (*tree_)[line];
    node.storedBytes.assign(reinterpret_cast<const char*>(frame + start), end - start);
    node.bytesStored = true;
  }
  return line;
}

NodeId PacketDecoder::AddLine(NodeId parent, std::string text, std::uint32_t start, std::uint32_t end) {
  return NewLine(parent, std::move(text), start, end, nullptr);
}

NodeId PacketDecoder::AddLine(NodeId parent, std::string text) {
  if (!IsTree() || parent == kNoNode) return kNoNode;
  if (Selective()) {
    promoted_ = kNoNode;
    return tree_->ReuseScratchLine(parent, 0, 0);
  }
  return tree_->Add(parent, std::move(text));
}

NodeId PacketDecoder::AddLayerLine(const FieldInfo& proto, std::string text, std::uint32_t start, std::uint32_t end) {
  const NodeId line = NewLine(parentItem, std::move(text), start, end, &proto);
  SetField(line, proto);
  return line;
}

FieldRead<std::uint32_t> PacketDecoder::AddUint(NodeId parent, const FieldInfo& f, std::uint32_t at,
                                                const char* format) {
  return AddUint(parent, f, at, [format](std::uint32_t v) {
    // Not a literal, but every caller's is: the value is passed twice so that
    // a format may show it once or twice.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return Format(format, v, v);
#pragma GCC diagnostic pop
  });
}

const std::uint8_t* PacketDecoder::AddAddress(NodeId parent, const FieldInfo& f, std::uint32_t at, std::string text) {
  const std::uint32_t width = FieldWidth(f);
  const std::uint8_t* bytes = Bytes(at, width);
  if (bytes != nullptr && width != 0) AddFieldLine(parent, f, std::move(text), at, at + width);
  return width != 0 ? bytes : nullptr;
}

NodeId PacketDecoder::AddBytes(NodeId parent, const FieldInfo& f, std::uint32_t at, std::uint32_t length,
                               std::string text) {
  if (length == 0 || at >= capturedLength) return kNoNode;
  const std::uint64_t end = std::min<std::uint64_t>(static_cast<std::uint64_t>(at) + length, capturedLength);
  return AddFieldLine(parent, f, std::move(text), at, static_cast<std::uint32_t>(end));
}

NodeId PacketDecoder::AddFieldLine(NodeId parent, const FieldInfo& f, std::string text, std::uint32_t start,
                                   std::uint32_t end, std::uint64_t value) {
  if (Selective() && parent != kNoNode && !context_.onlyFields->Has(&f)) {
    // The line of a field not asked for: every frame has dozens of them,
    // so the scratch line is handed out as it is.
    promoted_ = kNoNode;
    return tree_->ScratchLine();
  }
  const NodeId line = NewLine(parent, std::move(text), start, end, &f);
  SetField(line, f, value);
  return line;
}

NodeId PacketDecoder::AddStoredField(NodeId parent, const FieldInfo& f, std::string text, std::string valueBytes) {
  if (!IsTree() || parent == kNoNode) return kNoNode;
  if (Selective() && !context_.onlyFields->Has(&f)) return AddLine(parent, std::string());
  const NodeId line = tree_->Add(parent, std::move(text));
  SetField(line, f);
  DecodeNode& node = (*tree_)[line];
  node.storedBytes = std::move(valueBytes);
  node.bytesStored = true;
  return line;
}

void PacketDecoder::SetField(NodeId node, const FieldInfo& f, std::uint64_t value) {
  if (!IsTree() || node == kNoNode) return;
  if (Selective() && node == tree_->ScratchLine()) {
    // The line just written turns out to show a field: kept, if selected.
    if (!context_.onlyFields->Has(&f)) return;
    const DecodeNode scratch = (*tree_)[node];
    node = tree_->Add(scratch.parent, std::string(), scratch.start, scratch.end);
    (*tree_)[node].storedBytes = scratch.storedBytes;
    (*tree_)[node].bytesStored = scratch.bytesStored;
    promoted_ = node;
  }
  (*tree_)[node].field = &f;
  (*tree_)[node].value = value;
}

void PacketDecoder::SetRange(NodeId node, std::uint32_t start, std::uint32_t end) {
  if (!IsTree() || node == kNoNode) return;
  start = Clip(start);
  end = Clip(end);
  if (end < start) end = start;
  // Detached lines have no range; their value bytes stay what they were given.
  if (detached_) return;
  (*tree_)[node].start = start;
  (*tree_)[node].end = end;
  if (promoted_ != kNoNode && node == tree_->ScratchLine()) {
    (*tree_)[promoted_].start = start;
    (*tree_)[promoted_].end = end;
  }
}

void PacketDecoder::AppendText(NodeId node, std::string_view suffix) {
  if (!IsTree() || node == kNoNode) return;
  (*tree_)[node].text += suffix;
}

void PacketDecoder::Dispatch(DecoderFn decoder, std::uint32_t payloadOffset) {
  if (payloadOffset >= capturedLength || depth_ >= kMaxDepth) return;
  const std::uint32_t saved = offset;
  offset = payloadOffset;
  ++depth_;
  decoder(*this);
  --depth_;
  offset = saved;
}

bool PacketDecoder::ApplyScripts(std::uint32_t headerLength, std::string_view parentName) {
  // Scripts read the frame's own bytes; detached data is not offered to them.
  if (!IsTree() || context_.scripts == nullptr || detached_) return false;
  return context_.scripts->ApplyScripts(*this, headerLength, parentName);
}

bool PacketDecoder::DispatchOptional(OptionalDecoder which, DecoderFn decoder, std::uint32_t headerLength,
                                     std::string_view parentName, std::uint32_t payloadEnd) {
  if (!IsOn(which)) return false;
  if (ScriptsClaimFirst(headerLength, parentName)) return true;
  const std::uint32_t captured = capturedLength;
  capturedLength = std::min(capturedLength, payloadEnd);
  Dispatch(decoder, offset + headerLength);
  capturedLength = captured;
  return true;
}

void PacketDecoder::MarkUnsupported() { AddLayerStart(offset); }

void PacketDecoder::FinishLayer(NodeId layerLine, std::uint32_t headerLength, std::string_view parentName) {
  if (!IsTree() || layerLine == kNoNode) return;
  if ((*tree_)[layerLine].nextSibling != kNoNode) return;
  FinishPayload(headerLength, parentName);
}

void PacketDecoder::FinishPayload(std::uint32_t headerLength, std::string_view parentName) {
  if (!IsTree()) return;
  if (ApplyScripts(headerLength, parentName)) return;
  offset += headerLength;
  MarkUnsupported();
}

void PacketDecoder::LearnName(NameOrigin origin, const std::uint8_t* address, bool ipv6, std::string_view name) {
  // A datagram quoted by an ICMP error went nowhere: it names nothing.
  if (!IsSummary() || context_.sink == nullptr || address == nullptr || name.empty() || (flags & QuotedDatagram)) {
    return;
  }
  LearnedName learned;
  learned.ipv6 = ipv6;
  std::copy(address, address + (ipv6 ? 16 : 4), learned.address.begin());
  learned.name = name;
  learned.origin = origin;
  context_.sink->LearnName(learned);
}

void PacketDecoder::HandOverSample() {
  if (!IsSummary() || !sample) return;
  if (context_.sink != nullptr) context_.sink->UpdateConversation(*sample);
  sample.reset();
}

}  // namespace qv
