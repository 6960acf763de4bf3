#pragma once
// `quorvanet-cli -Y FILTER`: the display filter between the capture session
// and what prints. Every frame read is tested on the capture thread; only
// the frames that match go on to the printer, count in the statistics the
// stage keeps of its own and are written by -w. The session still buffers
// every frame read, so a frame keeps its number in the file.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "filters/display_filter.h"
#include "filters/display_filter_match.h"
#include "stats/session_statistics.h"

namespace qv {

class DisplayFilterStage : public ForwardingObserver {
 public:
  // `stopAfter` frames read, matching or not, end the run (0: never), as
  // tshark's -c counts with -Y. With `statistics` the matching frames are
  // counted in Statistics().
  DisplayFilterStage(CTalvenorDoc& doc, DisplayFilterPtr filter, CaptureObserver& next, std::uint64_t stopAfter,
                     bool statistics);

  // Told of each frame that did not match (on the capture thread).
  void OnSkipped(std::function<void(const PacketRecord&)> skipped) { skipped_ = std::move(skipped); }

  // Whether the buffered frame with this number matched.
  bool Kept(std::uint32_t number) const { return number < kept_.size() && kept_[number]; }
  SessionStatistics& Statistics() { return statistics_; }

  void PacketAdded(const PacketRecord& record, const PacketSummary& row) override;
  void BufferCleared() override;

 private:
  CTalvenorDoc& doc_;
  DisplayFilterMatcher matcher_;
  std::uint64_t stopAfter_;
  bool countStatistics_;
  std::uint64_t read_ = 0;
  std::vector<bool> kept_;  // by packet number
  SessionStatistics statistics_;
  std::function<void(const PacketRecord&)> skipped_;
};

}  // namespace qv
