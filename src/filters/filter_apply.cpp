#include "filters/filter_apply.h"

#include <chrono>

#include "capture/capture_filter.h"
#include "capture/pcap_handle.h"
#include "decode/text_format.h"

namespace qv {

namespace {

constexpr const char* kCaption = "Quorvanet";
// The capture thread sets a handed-over program at its next turn, at most a
// read time-out away; it may be waiting for this thread meanwhile, so the
// wait is bounded.
constexpr std::chrono::milliseconds kHandOverWait{1000};

std::uint32_t ChosenNetmask(const CTalvenorDoc& doc) {
  const std::optional<Adapter> adapter = doc.ChosenAdapter();
  return adapter ? AdapterNetmask(adapter->name) : DefaultNetmask();
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

bool ApplyFilter(CTalvenorDoc& doc, const FilterRules& rules, UserPrompt& prompt, const FilterBuildOptions& options) {
  FilterSlot& slot = doc.Filters();
  if (!slot.Attached()) return false;
  const std::string expression = BuildFilterExpression(rules, options);
  doc.SetFilterText(expression);
  std::optional<FilterCompile> compiled = slot.Compile(expression, true, ChosenNetmask(doc));
  if (!compiled) return false;  // the capture ended meanwhile
  if (!compiled->ok) {
    prompt.ShowMessage(kFilterCompileFailed + compiled->error, kCaption, MessageIcon::Error);
    return false;
  }
  const FilterSlot::HandResult handed = slot.Hand(std::move(compiled->filter), kHandOverWait, expression);
  switch (handed.result) {
    case FilterSlot::HandOver::Set:
    case FilterSlot::HandOver::Pending:
      return true;
    case FilterSlot::HandOver::SetFailed:
      prompt.ShowMessage(kFilterSetFailed + handed.error, kCaption, MessageIcon::Error);
      return false;
    case FilterSlot::HandOver::NoHandle:
      break;
  }
  return false;
}

bool CheckFilterExpression(CTalvenorDoc& doc, const std::string& text, UserPrompt& prompt) {
  const std::string expression = Trimmed(text);
  if (expression.empty()) {
    prompt.ShowMessage(kNoFilterMessage, kCaption, MessageIcon::Warning);
    return false;
  }
  if (doc.Filters().Attached()) {
    // The running capture's handle compiles; its filter stays as it was.
    if (std::optional<FilterCompile> compiled = doc.Filters().Compile(expression, false, ChosenNetmask(doc))) {
      if (compiled->ok) return true;
      prompt.ShowMessage(Format(kCheckCompileFailed, compiled->error.c_str()), kCaption, MessageIcon::Error);
      return false;
    }
  }
  if (doc.Adapters().empty() && !doc.EnumerateAdapters()) {
    prompt.ShowMessage(kNoDeviceListMessage, kCaption, MessageIcon::Error);
    return false;
  }
  // A copy: the list is the session's, and the session's choice stays untouched.
  const std::vector<Adapter> adapters = doc.Adapters();
  const std::optional<std::size_t> pick = prompt.ChooseAdapter(adapters);
  if (!pick || *pick >= adapters.size()) return false;
  const std::string& name = adapters[*pick].name;
  // Compiled for the adapter's link type without opening it: only the
  // capture helper may open adapters.
  const int linkType = adapters[*pick].linkType >= 0 ? adapters[*pick].linkType : kLinkTypeEthernet;
  PcapHandle handle(pcap_open_dead(linkType, CTalvenorDoc::kSnapshotLength));
  if (!handle) {
    prompt.ShowMessage(Format(kCheckOpenFailed, "out of memory"), kCaption, MessageIcon::Error);
    return false;
  }
  const FilterCompile compiled = CompileFilter(handle.get(), expression, false, AdapterNetmask(name));
  handle.reset();
  if (!compiled.ok) {
    prompt.ShowMessage(Format(kCheckCompileFailed, compiled.error.c_str()), kCaption, MessageIcon::Error);
    return false;
  }
  return true;
}

}  // namespace qv
