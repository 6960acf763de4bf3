// The window capturing for a long time (offscreen), as a user leaves it
// running: small buffer limits with "remove packets & go on", so that the
// buffer is cleared again and again; logging on with small rotating files;
// statistics and host names on, with the Statistics page in front (its table
// and each of its charts in turn, so that their refresh timers run).
//
//   QT_QPA_PLATFORM=offscreen soak_window_bench ADAPTER LOG_DIR SECONDS [MAX_COUNT=20000]
//
// Prints "pid N" and "capturing" once the capture runs, a "progress" line
// every 10 s, and the totals once it stopped (on SIGINT or SIGTERM, or after
// SECONDS). run_soak.sh reads the process's memory from outside while it runs.

#include <csignal>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "bench/bench_window.h"
#include "capture/host_names.h"
#include "ui/logs_page.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"
#include "ui/statistics_page.h"

namespace {

// Every frame is counted once on layer 1 of the statistics, which "remove
// packets & go on" keeps: the frames captured over the whole run.
std::uint64_t FramesCounted(const qv::SessionStatistics& statistics) {
  const qv::LayerSnapshot link = statistics.layers.Snapshot(1);
  std::uint64_t total = link.others;
  for (const qv::ProtocolCount& p : link.protocols) total += p.count;
  return total;
}

// The name the conversation table shows for `address` as a destination, or
// "(none)" when no row has it (yet).
std::string ShownName(const qv::ConversationTable& table, const std::string& address) {
  for (const qv::ConversationRow& row : table.Rows()) {
    if (row.ColumnText(1) != address) continue;
    return row.destinationName.empty() ? "(none)" : row.destinationName;
  }
  return "(none)";
}

}  // namespace

int main(int argc, char** argv) {
  const sigset_t stop = BlockStopSignals();

  QApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: soak_window_bench ADAPTER LOG_DIR SECONDS [MAX_COUNT=20000]\n");
    return 2;
  }
  const int limitSeconds = std::atoi(argv[3]);
  const long maxCount = argc > 4 ? std::atol(argv[4]) : 20000;
  if (limitSeconds <= 0 || maxCount <= 0) {
    std::fprintf(stderr, "soak_window_bench: bad time limit or count limit\n");
    return 2;
  }
  QTemporaryDir dir;
  qv::QtSettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
  store.SetString("pcap", "CurrentDevice", argv[1]);
  qv::QtUserPrompt prompt;
  prompt.SetSilent(true);
  // The system's resolver, as the program uses it; run_soak.sh gives the
  // namespace a hosts file of its own and no reachable name server.
  qv::CMainFrame window(store, prompt, dir.path().toStdString() + "/", nullptr, nullptr,
                        std::make_shared<qv::SystemResolver>());
  window.resize(1280, 800);
  window.show();

  qv::OptionsValues values;
  values.currentDevice = argv[1];
  values.bufferMaxCount = static_cast<std::uint32_t>(maxCount);
  values.bufferMaxBytes = 10000000;
  values.whenFullAction = 1;  // remove packets & go on
  values.statisticsRows = 30;
  values.useDns = true;
  values.checkForNewVersion = false;
  values.kernelBufferMB = 32;
  window.ApplyOptions(values);

  // The Logs page as a user sets it: logging on, into LOG_DIR, a new file
  // at every megabyte.
  qv::LogsPage& logs = window.Logs();
  logs.LoggingBox()->setChecked(true);
  logs.DirectoryField()->setText(QString::fromLocal8Bit(argv[2]));
  logs.SizeBox()->setChecked(true);
  logs.SizeField()->setValue(1.0);

  qv::StatisticsPage& statistics = window.StatisticsView();
  window.Tabs()->setCurrentWidget(&statistics);
  QApplication::processEvents();

  std::uint64_t clears = 0;
  QObject::connect(&window.Model(), &QAbstractItemModel::modelReset, [&] { ++clears; });

  StallMeter stalls;
  QElapsedTimer running;
  // Whether the Statistics page was in front at every look while capturing
  // (quitting closes the window, so it is not looked at afterwards).
  bool statisticsInFront = true;
  CaptureStopper stopper(window, stop, limitSeconds,
                         [&] { statisticsInFront = statisticsInFront && statistics.isVisible(); });
  // The Statistics page's own tabs in turn: the table, then each chart.
  QTimer turn;
  turn.setInterval(10000);
  QObject::connect(&turn, &QTimer::timeout, [&] {
    QTabWidget* tabs = statistics.Tabs();
    tabs->setCurrentIndex((tabs->currentIndex() + 1) % tabs->count());
  });
  QTimer progress;
  progress.setInterval(10000);
  QObject::connect(&progress, &QTimer::timeout, [&] {
    const qv::DropCounts drops = window.Doc().Drops();
    statisticsInFront = statisticsInFront && statistics.isVisible();
    std::printf("progress %lld s: captured %llu, clears %llu, buffered %u, logged %llu, dropped by kernel %llu, "
                "page %d/%d visible %d\n",
                static_cast<long long>(running.elapsed() / 1000),
                static_cast<unsigned long long>(FramesCounted(window.Doc().Statistics())),
                static_cast<unsigned long long>(clears), window.Doc().PacketCount(),
                static_cast<unsigned long long>(window.Log().FramesWritten()),
                static_cast<unsigned long long>(drops.kernel), window.Tabs()->currentIndex(),
                statistics.Tabs()->currentIndex(), statistics.isVisible() ? 1 : 0);
    std::fflush(stdout);
  });

  window.StartCapture();
  if (!window.Doc().IsCapturing()) {
    std::fprintf(stderr, "soak_window_bench: the capture did not start\n");
    return 1;
  }
  std::printf("pid %d\ncapturing\n", static_cast<int>(getpid()));
  std::fflush(stdout);
  running.start();
  stalls.Start();
  stopper.Start();
  turn.start();
  progress.start();
  QApplication::exec();
  stalls.Stop();
  window.Poll();
  // What was handed to the log is on disk before the files are read back.
  window.Log().Flush();

  const qv::DropCounts drops = window.Doc().Drops();
  const qv::ConversationTable& table = window.Doc().Statistics().conversations;
  std::printf("captured %llu\n", static_cast<unsigned long long>(FramesCounted(window.Doc().Statistics())));
  std::printf("conversation_samples %llu\n", static_cast<unsigned long long>(table.Samples()));
  std::printf("clears %llu\n", static_cast<unsigned long long>(clears));
  std::printf("buffered_at_end %u\n", window.Doc().PacketCount());
  std::printf("logged %llu\n", static_cast<unsigned long long>(window.Log().FramesWritten()));
  std::printf("dropped_kernel %llu\n", static_cast<unsigned long long>(drops.kernel));
  std::printf("dropped_interface %llu\n", static_cast<unsigned long long>(drops.interface));
  std::printf("dropped_ours %llu\n", static_cast<unsigned long long>(drops.ours));
  std::printf("drops_known %d\n", drops.known ? 1 : 0);
  std::printf("conversation_rows %zu\n", table.RowCount());
  std::printf("host_names_cached %zu\n", window.HostNames().CachedNames());
  std::printf("sink_name %s\n", ShownName(table, "169.254.7.2").c_str());
  std::printf("statistics_visible %d\n", statisticsInFront ? 1 : 0);
  std::printf("longest_gap_ms %lld\n", static_cast<long long>(stalls.LongestGapMs()));
  std::fflush(stdout);
  std::_Exit(0);
}
