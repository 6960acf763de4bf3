#include "scripts/script_applier.h"

#include <algorithm>

#include "scripts/script_matching.h"

namespace qv {

namespace {

std::optional<std::uint32_t> BigEndianAt(const PacketDecoder& d, std::int64_t at, std::uint32_t width) {
  if (at < 0 || at > static_cast<std::int64_t>(d.capturedLength)) return std::nullopt;
  const auto pos = static_cast<std::uint32_t>(at);
  switch (width) {
    case 1: return d.U8(pos);
    case 2: return d.U16(pos);
    case 4: return d.U32(pos);
    default: return std::nullopt;
  }
}

}  // namespace

bool ScriptApplier::ApplyScripts(PacketDecoder& decoder, std::uint32_t headerLength, std::string_view parentName) {
  return Offer(decoder, headerLength, parentName, decoder.Depth());
}

bool ScriptApplier::Offer(PacketDecoder& d, std::uint32_t headerLength, std::string_view parentName, int depth) {
  if (depth >= PacketDecoder::kMaxDepth) return false;
  // Positions beyond the captured bytes behave as the captured end: every
  // read there fails, and the offset never leaves the frame.
  const std::uint32_t parentStart = std::min(d.offset, d.capturedLength);
  const std::uint32_t scriptStart =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{parentStart} + headerLength, d.capturedLength));

  const ProtocolScript* chosen = nullptr;
  for (const ProtocolScript& script : registry_.Scripts()) {
    if (script.enabled && MatchScript(script, d.frame, parentStart, scriptStart, d.capturedLength, parentName)) {
      chosen = &script;
      break;
    }
  }
  if (chosen == nullptr) return false;

  d.AddLayerStart(scriptStart);
  const std::uint32_t length =
      std::min(ScriptLength(*chosen, d.frame, scriptStart, d.capturedLength), d.capturedLength - scriptStart);
  const NodeId line = d.AddLine(kRootNode, chosen->ownName, scriptStart, scriptStart + length);
  AddFields(d, *chosen, line, scriptStart);

  const std::uint32_t saved = d.offset;
  d.offset = scriptStart;
  // A header of no bytes would offer the same bytes again: the chain ends.
  const bool stacked = length > 0 && Offer(d, length, chosen->ownName, depth + 1);
  if (!stacked) {
    d.offset += length;
    d.MarkUnsupported();
  }
  d.offset = saved;
  return true;
}

void ScriptApplier::AddFields(PacketDecoder& d, const ProtocolScript& script, NodeId line, std::uint32_t scriptStart) {
  const auto captured = static_cast<std::int64_t>(d.capturedLength);
  for (const ScriptField& field : script.fields) {
    const std::int64_t start = static_cast<std::int64_t>(scriptStart) + field.start;
    const std::int64_t end = static_cast<std::int64_t>(scriptStart) + field.end;
    if (start < 0 || end < 0 || start > captured || end > captured) continue;  // not captured

    if (field.kind == ScriptField::Kind::Conditional) {
      const std::int64_t width = end - start;
      if (width == 1 || width == 2 || width == 4) {
        const auto actual = BigEndianAt(d, start, static_cast<std::uint32_t>(width));
        const std::uint32_t wanted = width == 4 ? static_cast<std::uint32_t>(field.match)
                                                : static_cast<std::uint32_t>(field.match) & (width == 1 ? 0xFFu : 0xFFFFu);
        if (!actual || *actual != wanted) continue;
      }
    }

    std::optional<LabelValue> value;
    if (field.group) {
      const std::uint32_t width = field.group->width;
      if (width == 1 || width == 2 || width == 4) {
        const auto v = BigEndianAt(d, static_cast<std::int64_t>(scriptStart) + field.group->offset, width);
        if (!v) continue;  // the value's bytes were not captured
        value = LabelValue{*v, width};
      }
    }
    d.AddLine(line, RenderLabel(field.label, value), static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end));
  }
}

}  // namespace qv
