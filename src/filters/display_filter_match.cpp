#include "filters/display_filter_match.h"

namespace qv {

FrameFacts FactsOf(const PacketRecord& record, std::int64_t firstNs, std::int64_t previousNs) {
  const std::int64_t now = RecordTimeNs(record);
  FrameFacts facts;
  facts.number = record.number + 1;
  facts.wireLength = record.wireLength;
  facts.capturedLength = record.capturedLength;
  facts.timeNs = now;
  facts.relativeNs = now - firstNs;
  facts.deltaNs = now - previousNs;
  return facts;
}

DisplayFilterMatcher::DisplayFilterMatcher(DisplayFilterPtr filter, DecodeSetup setup)
    : filter_(std::move(filter)), decoding_(filter_->Fields(), setup) {}

void DisplayFilterMatcher::SetFirstTime(std::int64_t ns) {
  haveFirst_ = true;
  firstNs_ = ns;
}

void DisplayFilterMatcher::Follows(std::int64_t previousNs) {
  havePrevious_ = true;
  previousNs_ = previousNs;
}

bool DisplayFilterMatcher::Matches(const PacketRecord& record) {
  const std::int64_t now = RecordTimeNs(record);
  if (!haveFirst_) SetFirstTime(now);
  const FrameFacts facts = FactsOf(record, firstNs_, havePrevious_ ? previousNs_ : now);
  havePrevious_ = true;
  previousNs_ = now;
  return filter_->Matches(decoding_.Decode(record, facts));
}

}  // namespace qv
