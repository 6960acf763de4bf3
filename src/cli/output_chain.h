#pragma once
// What a command-line run prints and writes, put together from the options:
// the row printer (which also counts frames and waits for the end), or the
// -T json or -T fields printer in its place, in front of them the -z tables
// and in front of those the -Y display filter. With a display filter, --stats and -w see only the frames
// it matched.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "cli/cli_options.h"
#include "cli/display_filter_stage.h"
#include "cli/field_printer.h"
#include "cli/json_printer.h"
#include "cli/row_printer.h"
#include "cli/statistics_taps.h"
#include "filters/display_filter.h"

namespace qv {

// The parts of the options checked against the field registry.
struct OutputChoice {
  std::vector<const FieldInfo*> fields;  // -e, in order
  DisplayFilterPtr filter;               // -Y; null: none
  std::vector<StatisticsRequest> statistics;  // -z, in the order given
};

// Null, with the message (several lines for a filter: the error, the
// filter, a mark under the faulty place), when a -e field is unknown or the
// -Y filter (or the filter of a -z) does not compile, or a -z is unknown.
std::optional<OutputChoice> ResolveOutputChoice(const CliOptions& options, std::string& error);

class OutputChain {
 public:
  OutputChain(CTalvenorDoc& doc, const CliOptions& options, OutputChoice choice, ScriptHost* scripts);

  // What the session reports to.
  CaptureObserver& Observer();
  // Counts the frames shown and knows when the run has ended.
  RowPrinter& Counter() { return printer_; }
  // The statistics --stats prints: the session's, or the shown frames' alone.
  SessionStatistics& Statistics();
  void Flush();
  // The -z tables; nothing when none was asked for.
  void PrintTables(std::FILE* out) const;
  // -w: the buffer, or with a display filter the frames it matched, in
  // `format` (-F: "pcapng" or "pcap"; empty: as the name asks); false (with
  // the message shown) when the file cannot be written.
  bool Save(const std::string& path, const std::string& format);

 private:
  CTalvenorDoc& doc_;
  RowPrinter printer_;
  std::optional<JsonPrinter> json_;
  std::optional<FieldPrinter> fields_;
  std::optional<StatisticsTaps> taps_;
  std::optional<DisplayFilterStage> stage_;
};

}  // namespace qv
