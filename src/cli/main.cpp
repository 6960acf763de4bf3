// quorvanet-cli: the capture engine and decoders without the window. Lists
// adapters, captures live or reads a savefile, prints one row per frame and
// optionally the decode tree and hex dump, and saves the buffer at the end.

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "capture/cache_folder.h"
#include "capture/capture_log.h"
#include "capture/adapter_overview.h"
#include "capture/capture_session.h"
#include "capture/host_names.h"
#include "capture/settings.h"
#include "cli/cli_options.h"
#include "cli/doctor_command.h"
#include "cli/field_glossary.h"
#include "cli/output_chain.h"
#include "cli/read_progress_line.h"
#include "filters/filter_rules.h"
#include "filters/rule_file.h"
#include "cli/row_printer.h"
#include "cli/send_command.h"
#include "cli/statistics_report.h"
#include "cli/terminal_prompt.h"
#include "scripts/script_applier.h"
#include "scripts/script_registry.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Waits for the capture to end; Ctrl+C or a termination request stops it.
void WaitForEnd(qv::CTalvenorDoc& doc, qv::RowPrinter& printer, const sigset_t& stopSignals) {
  const timespec now{0, 0};
  while (!printer.WaitForEnd(std::chrono::milliseconds(100))) {
    if (sigtimedwait(&stopSignals, nullptr, &now) > 0) doc.Stop();
  }
  doc.WaitForCapture();
}

}  // namespace

int main(int argc, char** argv) {
  const qv::CliParse parse = qv::ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parse.error.empty()) {
    std::fprintf(stderr, "quorvanet-cli: %s\n%s", parse.error.c_str(), qv::CliUsage());
    return kExitUsage;
  }
  const qv::CliOptions& o = parse.options;
  if (o.help) {
    std::fputs(qv::CliUsage(), stdout);
    return kExitOk;
  }
  if (o.doctor) return qv::RunDoctorCommand(stdout);
  if (o.listFields) {
    std::fputs(qv::FieldGlossary().c_str(), stdout);
    return kExitOk;
  }

  // Decompressed captures a crashed run left under a name.
  qv::RemoveStaleCacheFiles();

  std::string filter = o.filter;
  if (!o.rulesFile.empty()) {
    const qv::RuleFileRead rules = qv::ReadRuleFile(o.rulesFile);
    if (rules.status != qv::RuleFileStatus::Ok) {
      std::fprintf(stderr, "quorvanet-cli: %s\n", qv::RuleFileMessage(rules.status, o.rulesFile).c_str());
      return kExitFailed;
    }
    filter = qv::BuildFilterExpression(rules.rules);
  }
  // Fields and the display filter are checked before anything is read.
  std::string choiceError;
  std::optional<qv::OutputChoice> choice = qv::ResolveOutputChoice(o, choiceError);
  if (!choice) {
    std::fprintf(stderr, "quorvanet-cli: %s\n", choiceError.c_str());
    return kExitUsage;
  }
  if (o.printFilter) {
    // Exactly as built, blanks included.
    std::printf("%s\n", filter.c_str());
    return kExitOk;
  }

  // Signals are taken by the main thread alone, so the capture thread is
  // never interrupted mid-frame.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  if (!o.sendFile.empty()) return qv::RunSendCommand(o, stopSignals);
  // Scripts load before anything runs; a faulty one is a usage error.
  qv::ScriptRegistry scripts;
  for (const std::string& path : o.scripts) {
    try {
      scripts.LoadScript(path);
    } catch (const qv::CScriptExc& e) {
      std::fprintf(stderr, "quorvanet-cli: script %s: %s\n", path.c_str(), e.what());
      return kExitUsage;
    }
  }
  qv::ScriptApplier scriptApplier(scripts);

  qv::TerminalPrompt prompt;
  qv::MemorySettingsStore settings;
  qv::CTalvenorDoc doc(prompt, settings);
  doc.SetEnabledDecoders(o.decoders);
  doc.SetMemoryBudget(static_cast<std::uint64_t>(qv::DefaultMemoryBudgetMB()) << 20);

  if (o.listAdapters) {
    if (!doc.EnumerateAdapters()) return kExitFailed;
    // As the adapter dialog lists them: name, description, addresses and state.
    const std::vector<qv::Adapter>& adapters = doc.Adapters();
    for (const std::size_t i : qv::AdapterDisplayOrder(adapters)) {
      std::printf("%s\t%s\t%s\n", adapters[i].name.c_str(), adapters[i].description.c_str(),
                  qv::AdapterDetails(adapters[i]).c_str());
    }
    return kExitOk;
  }

  qv::OutputChain output(doc, o, std::move(*choice), &scriptApplier);
  qv::RowPrinter& printer = output.Counter();
  // A long read tells how far it has got, on a terminal.
  qv::ReadProgressLine progressLine(output.Observer(), stderr, ::isatty(STDERR_FILENO) == 1);
  doc.SetObserver(&progressLine);

  std::optional<qv::CaptureLog> log;  // written and flushed when the capture ends
  qv::ConversationTable& conversations = output.Statistics().conversations;
  conversations.SetRowLimit(o.statsRows);
  conversations.SetUseDns(o.names);
  conversations.SetUseTrafficNames(o.names);
  qv::HostNameService hostNames(conversations, std::make_shared<qv::SystemResolver>());
  if (o.names) {
    conversations.SetNameRequester(&hostNames);
    hostNames.Start();
  }

  bool started = false;
  if (!o.readFile.empty()) {
    doc.SetReadFilter(filter);
    started = doc.Open(o.readFile);
  } else {
    if (!o.interface.empty()) settings.SetString("pcap", "CurrentDevice", o.interface);
    doc.SetFilterText(filter);
    doc.SetKernelBufferMB(o.bufferMB.value_or(qv::kKernelBufferDefaultMB));
    // The command line keeps everything it captures.
    doc.SetLimits(0xFFFFFFFFu, 0xFFFFFFFFu);
    if (!o.logDirectory.empty()) {
      qv::Settings logSettings;
      logSettings.loggingOn = true;
      logSettings.logDirectory = o.logDirectory;
      logSettings.countLimitOn = o.logCount != 0;
      logSettings.maxLogCount = static_cast<std::int32_t>(o.logCount);
      logSettings.sizeLimitOn = o.logSizeMb != 0;
      logSettings.maxLogSize = o.logSizeMb * 1024 * 1024;
      log.emplace([&prompt](const std::string& text) { prompt.ShowMessage(text, "Quorvanet", qv::MessageIcon::Error); });
      log->SetOptions(qv::TakeLogOptions(logSettings));
      doc.SetLogSink(&*log);
    }
    started = doc.Start();
  }
  if (!started) return kExitFailed;
  WaitForEnd(doc, printer, stopSignals);
  output.Flush();

  if (o.stats) {
    if (o.names) hostNames.WaitUntilIdle(std::chrono::seconds(5));
    hostNames.Stop();
    qv::PrintStatistics(output.Statistics(), stdout);
  }

  int status = doc.LastRunFailed() ? kExitFailed : kExitOk;
  if (!o.writeFile.empty() && !output.Save(o.writeFile, o.writeFormat)) status = kExitFailed;
  // The totals: on stdout with -q (they are then the output), else on
  // stderr below the rows (and the -z tables). Frames lost by a live capture are always named.
  std::string total = std::to_string(printer.Frames()) + " packets, " + std::to_string(printer.WireBytes()) +
                      " bytes";
  const qv::DropCounts drops = doc.Drops();
  if (drops.known) total += ", " + std::to_string(drops.kernel + drops.interface) + " dropped by kernel";
  if (drops.ours != 0) total += ", " + std::to_string(drops.ours) + " given up";
  // The -z tables, like tshark's, are the end of standard output.
  output.PrintTables(stdout);
  std::fprintf(o.quiet && o.statistics.empty() ? stdout : stderr, "%s\n", total.c_str());
  // Everything is written and the capture thread has ended. Handing the
  // buffer back page by page would take longer than reading the file did,
  // so the process ends without tearing it down; the capture helper's files
  // go all the same.
  doc.RemoveCaptureFiles();
  std::fflush(nullptr);
  std::_Exit(status);
}
