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

class DisplayFilterStage : public CaptureObserver {
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
  void CaptureStarted(bool readingFile) override { next_.CaptureStarted(readingFile); }
  void CaptureEnded(bool failed) override { next_.CaptureEnded(failed); }
  void TotalsChanged(std::uint32_t count, std::uint64_t bytes) override { next_.TotalsChanged(count, bytes); }
  void BufferCleared() override;
  void LimitsChanged(std::uint32_t maxCount, std::uint32_t maxBytes) override { next_.LimitsChanged(maxCount, maxBytes); }
  void StatisticsCleared() override { next_.StatisticsCleared(); }
  void CaptureNotice(const std::string& text) override { next_.CaptureNotice(text); }
  bool PostClearCommand(ClearCommand command) override { return next_.PostClearCommand(command); }

 private:
  CTalvenorDoc& doc_;
  CaptureObserver& next_;
  DisplayFilterMatcher matcher_;
  std::uint64_t stopAfter_;
  bool countStatistics_;
  std::uint64_t read_ = 0;
  std::vector<bool> kept_;  // by packet number
  SessionStatistics statistics_;
  std::function<void(const PacketRecord&)> skipped_;
};

}  // namespace qv
