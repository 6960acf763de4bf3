#include "filters/field_column.h"

#include "decode/packet_decoder.h"

namespace qv {

namespace {

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;

// A number that orders as the value does: a signed value is moved up by
// 2^63, so that negative ones come first.
std::uint64_t SortNumber(const FieldInfo& f, const FieldOccurrence& o) {
  switch (f.type) {
    case FieldType::RelativeTime:
    case FieldType::AbsoluteTime: return o.number ^ kSignBit;  // nanoseconds, signed
    case FieldType::Int8:
    case FieldType::Int16:
    case FieldType::Int32: {
      if (f.base == FieldBase::Hex) return o.number;
      return static_cast<std::uint64_t>(SignedFieldValue(f, o.number)) ^ kSignBit;
    }
    default: return o.number;
  }
}

}  // namespace

bool SortsByNumber(const FieldInfo& f) {
  return IsIntegerField(f) || f.type == FieldType::AbsoluteTime || f.type == FieldType::RelativeTime;
}

FieldColumnReader::FieldColumnReader(std::vector<const FieldInfo*> fields, DecodeSetup setup)
    : setup_(setup), values_(std::move(fields)) {}

std::vector<FieldColumnValue> FieldColumnReader::Read(const PacketRecord& record,
                                                     std::optional<std::int64_t> previousTimeNs) {
  std::vector<FieldColumnValue> out(values_.Wanted().size());
  if (out.empty() || record.unreadable) return out;
  tree_.Clear();
  const DecodeContext context{record.linkType, nullptr,          nullptr, setup_.decoders,
                              setup_.quicInitials, nullptr, record.comment};
  PacketDecoder(record.bytes, context, &tree_, DecodeMode::Tree, nullptr, nullptr).Decode();
  // Without the frame before it (the first one) the delta is 0, as tshark has it.
  const FrameFacts facts = FactsOf(record, firstNs_, previousTimeNs.value_or(RecordTimeNs(record)));
  values_.Collect(tree_, record.bytes, facts);
  for (std::size_t i = 0; i < out.size(); ++i) {
    FieldColumnValue& v = out[i];
    const std::span<const FieldOccurrence> occurrences = values_.Of(i);
    for (std::size_t k = 0; k < occurrences.size(); ++k) {
      if (k > 0) v.text += ',';
      v.text += OccurrenceText(occurrences[k]);
    }
    if (!occurrences.empty() && SortsByNumber(*values_.Wanted()[i])) {
      v.hasNumber = true;
      v.number = SortNumber(*values_.Wanted()[i], occurrences.front());
    }
  }
  return out;
}

}  // namespace qv
