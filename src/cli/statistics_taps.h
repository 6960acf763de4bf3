#pragma once
// `quorvanet-cli -z KIND[,FILTER]`: the statistics tables tshark's -z
// prints at the end of a run (io,phs, conv,eth, conv,ip, conv,ipv6). The
// stage sits in front of the printer, after the -Y display filter, so the
// tables count the frames shown; each table may narrow them further with a
// display filter of its own. Frames are decoded on the capture thread.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "cli/statistics_table.h"
#include "filters/display_filter.h"
#include "filters/display_filter_match.h"

namespace qv {

struct StatisticsRequest {
  std::string kind;                  // "io,phs", "conv,eth", "conv,ip" or "conv,ipv6"
  std::optional<std::string> filter;  // after the kind's second comma (may be empty)
  DisplayFilterPtr compiled;          // the filter, compiled; null: every frame
};

// The -z argument split into its kind and filter; false, with tshark's
// message, for a kind that is not one of ours.
bool ParseStatisticsRequest(const std::string& argument, StatisticsRequest& request, std::string& error);

class StatisticsTaps : public ForwardingObserver {
 public:
  StatisticsTaps(CTalvenorDoc& doc, std::vector<StatisticsRequest> requests, CaptureObserver& next);
  ~StatisticsTaps() override;

  // A frame read and not shown: it may still be the first frame, from which
  // the conversations' start times count.
  void Skipped(const PacketRecord& record);
  // The tables, the one given last first, as tshark prints them.
  void Print(std::FILE* out) const;

  void PacketAdded(const PacketRecord& record, const PacketSummary& row) override;

 private:
  struct Tap {
    std::unique_ptr<StatisticsTable> table;
    std::unique_ptr<DisplayFilterMatcher> matcher;  // null: every frame
  };
  void TakeFirstTime(const PacketRecord& record);

  CTalvenorDoc& doc_;
  std::vector<Tap> taps_;
  bool started_ = false;
  std::int64_t firstNs_ = 0;
  DecodeTree tree_;
  std::vector<std::int32_t> layerStarts_;
};

}  // namespace qv
