#include "cli/display_filter_stage.h"

namespace qv {

DisplayFilterStage::DisplayFilterStage(CTalvenorDoc& doc, DisplayFilterPtr filter, CaptureObserver& next,
                                       std::uint64_t stopAfter, bool statistics)
    : ForwardingObserver(next),
      doc_(doc),
      matcher_(std::move(filter), DecodeSetup{doc.Decoders(), doc.QuicInitials()}),
      stopAfter_(stopAfter),
      countStatistics_(statistics) {}

void DisplayFilterStage::PacketAdded(const PacketRecord& record, const PacketSummary& row) {
  ++read_;
  const bool match = matcher_.Matches(record);
  if (kept_.size() <= record.number) kept_.resize(std::size_t{record.number} + 1, false);
  kept_[record.number] = match;
  if (match) {
    if (countStatistics_) {
      // The session counted every frame read; these are the frames shown.
      PacketSummary counted;
      PacketDecoder(record.bytes, {record.linkType, &statistics_, nullptr, doc_.Decoders(), doc_.QuicInitials()},
                    nullptr, DecodeMode::Summary, nullptr, &counted)
          .Decode();
    }
    Next().PacketAdded(record, row);
  } else if (skipped_) {
    skipped_(record);
  }
  if (stopAfter_ != 0 && read_ >= stopAfter_) doc_.Stop();
}

void DisplayFilterStage::BufferCleared() {
  kept_.clear();
  Next().BufferCleared();
}

}  // namespace qv
