#include "filters/display_filter_match.h"

#include <algorithm>

#include "decode/derived_fields.h"
#include "decode/packet_decoder.h"

namespace qv {

namespace {

// Whether every field the filter names is one of the frame's own, so that
// no frame needs decoding.
bool NeedsDecoding(const DisplayFilter& filter) {
  return std::any_of(filter.Fields().begin(), filter.Fields().end(),
                     [](const FieldInfo* f) { return FrameFactOf(*f) == FrameFact::None; });
}

}  // namespace

DisplayFilterMatcher::DisplayFilterMatcher(DisplayFilterPtr filter, DecodeSetup setup)
    : filter_(std::move(filter)), setup_(setup), values_(filter_->Fields()), decode_(NeedsDecoding(*filter_)) {}

DisplayFilterMatcher::~DisplayFilterMatcher() = default;

void DisplayFilterMatcher::SetFirstTime(std::int64_t ns) {
  haveFirst_ = true;
  firstNs_ = ns;
}

bool DisplayFilterMatcher::Matches(const PacketRecord& record) {
  const std::int64_t now = RecordTimeNs(record);
  if (!haveFirst_) SetFirstTime(now);
  FrameFacts facts;
  facts.number = record.number + 1;
  facts.wireLength = record.wireLength;
  facts.capturedLength = record.capturedLength;
  facts.timeNs = now;
  facts.relativeNs = now - firstNs_;
  facts.deltaNs = havePrevious_ ? now - previousNs_ : 0;
  havePrevious_ = true;
  previousNs_ = now;

  tree_.Clear();
  if (decode_ && !record.unreadable) {
    const DecodeContext context{record.linkType, nullptr, nullptr, setup_.decoders, setup_.quicInitials};
    PacketDecoder(record.bytes, context, &tree_, DecodeMode::Tree, nullptr, nullptr).Decode();
  }
  values_.Collect(tree_, record.bytes, facts);
  return filter_->Matches(values_);
}

}  // namespace qv
