#include "cli/output_chain.h"

#include "capture/savefile_writer.h"

namespace qv {

namespace {

RowPrinterOptions PrintingOf(const CliOptions& o, ScriptHost* scripts, bool filtered) {
  RowPrinterOptions printing;
  printing.rows = !o.quiet && !o.json && !o.fields;
  printing.tree = o.tree;
  printing.hex = o.hex;
  // With a display filter -c counts the frames read, so the filter stops the run.
  printing.stopAfter = filtered ? 0 : o.count.value_or(0);
  printing.scripts = scripts;
  return printing;
}

// "column 5: ..." followed by the filter and a caret under the column.
std::string FilterErrorText(const std::string& filter, const DisplayFilterError& e) {
  std::string text = "invalid display filter: " + e.Text() + "\n    " + filter;
  if (e.column >= 1 && e.column <= filter.size() + 1) text += "\n    " + std::string(e.column - 1, ' ') + '^';
  return text;
}

// The -z requests with their filters compiled; false, with the message, for
// an unknown one or a filter that does not compile.
bool ResolveStatistics(const CliOptions& o, std::vector<StatisticsRequest>& requests, std::string& error) {
  for (const std::string& argument : o.statistics) {
    StatisticsRequest& request = requests.emplace_back();
    if (!ParseStatisticsRequest(argument, request, error)) return false;
    if (!request.filter || request.filter->empty()) continue;
    DisplayFilterError e;
    request.compiled = CompileDisplayFilter(*request.filter, &e);
    if (!request.compiled) {
      error = "-z " + request.kind + ": " + FilterErrorText(*request.filter, e);
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<OutputChoice> ResolveOutputChoice(const CliOptions& o, std::string& error) {
  OutputChoice choice;
  if (!ResolveStatistics(o, choice.statistics, error)) return std::nullopt;
  if (o.fields) {
    choice.fields = ResolveOutputFields(o.outputFields, error);
    if (choice.fields.empty()) return std::nullopt;
  }
  if (!o.displayFilter.empty()) {
    DisplayFilterError e;
    choice.filter = CompileDisplayFilter(o.displayFilter, &e);
    if (!choice.filter) {
      error = FilterErrorText(o.displayFilter, e);
      return std::nullopt;
    }
  }
  return choice;
}

OutputChain::OutputChain(CTalvenorDoc& doc, const CliOptions& o, OutputChoice choice, ScriptHost* scripts)
    : doc_(doc), printer_(doc, stdout, PrintingOf(o, scripts, choice.filter != nullptr)) {
  // The JSON and field printers leave counting and the end of the run to
  // the row printer, which then prints no rows.
  CaptureObserver* shown = &printer_;
  if (o.json) shown = &json_.emplace(doc, printer_, stdout, scripts);
  if (o.fields) shown = &fields_.emplace(doc, printer_, stdout, scripts, std::move(choice.fields), o.fieldFormat);
  if (!choice.statistics.empty()) shown = &taps_.emplace(doc, std::move(choice.statistics), *shown);
  if (choice.filter) {
    stage_.emplace(doc, std::move(choice.filter), *shown, o.count.value_or(0), o.stats);
    stage_->OnSkipped([this](const PacketRecord& r) {
      if (fields_) fields_->PacketSkipped(r);
      if (taps_) taps_->Skipped(r);
    });
  }
}

CaptureObserver& OutputChain::Observer() {
  if (stage_) return *stage_;
  if (taps_) return *taps_;
  if (json_) return *json_;
  if (fields_) return *fields_;
  return printer_;
}

SessionStatistics& OutputChain::Statistics() { return stage_ ? stage_->Statistics() : doc_.Statistics(); }

void OutputChain::Flush() {
  if (json_) json_->Flush();
  if (fields_) fields_->Flush();
  printer_.Flush();
}

void OutputChain::PrintTables(std::FILE* out) const {
  if (taps_) taps_->Print(out);
}

bool OutputChain::Save(const std::string& path, const std::string& format) {
  SaveOptions options;
  options.format = format == "pcapng" ? SaveFormat::Pcapng
                   : format == "pcap" ? SaveFormat::Pcap
                                      : SaveFormatForName(path);
  options.gzip = NameAsksForGzip(path);
  if (stage_) options.keep = [this](const PacketRecord& r) { return stage_->Kept(r.number); };
  return doc_.Save(path, std::move(options));
}

}  // namespace qv
