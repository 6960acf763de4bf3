// Opening a large capture in the window (offscreen): how long until every
// row is in the packet list, the longest stall of the interface thread while
// it loads, the memory the loaded capture costs, and how long sorting the
// list by each column takes.
//
//   QT_QPA_PLATFORM=offscreen window_load_bench FILE [--statistics] [--protocols] [--field NAME]...
//
// With --statistics the Statistics page is in front during the load, with a
// conversation table of 1000 rows, and its table and a layer chart take
// turns every half second. With --protocols it also counts the loaded rows
// by the last protocol their Protocols column names, as the list shows it
// ("protocol_rows NAME COUNT" lines, after every figure is measured). Each
// --field adds that field's column ("Apply as Column") after the load and
// times sorting by it, which decodes every frame.
//
// Prints one "name value" line per figure; run_window_bench.sh compares them
// with quorvanet-cli on the same file.

#include <sys/resource.h>

#include <QApplication>
#include <QTabWidget>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_window.h"
#include "capture/packet_row.h"
#include "ui/packets_page.h"
#include "ui/statistics_page.h"

namespace {

// Resident set now, in KiB.
long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  bool statistics = false, protocols = false, usage = argc < 2;
  std::vector<std::string> fields;
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--field" && i + 1 < argc) {
      fields.emplace_back(argv[++i]);
    } else if (option == "--statistics") {
      statistics = true;
    } else if (option == "--protocols") {
      protocols = true;
    } else {
      usage = true;
    }
  }
  if (usage) {
    std::fprintf(stderr, "usage: window_load_bench FILE [--statistics] [--protocols] [--field NAME]...\n");
    return 2;
  }
  OffscreenWindow offscreen;
  qv::CMainFrame& window = offscreen.window;
  QTimer statisticsTurns;
  if (statistics) {
    window.Doc().Statistics().conversations.SetRowLimit(1000);
    window.Tabs()->setCurrentWidget(&window.StatisticsView());
    statisticsTurns.setInterval(500);
    QObject::connect(&statisticsTurns, &QTimer::timeout, [&] {
      QTabWidget* pages = window.StatisticsView().Tabs();
      pages->setCurrentIndex(pages->currentIndex() == 0 ? 3 : 0);  // the table, the transport layer
    });
    statisticsTurns.start();
  }
  QApplication::processEvents();
  const long baselineKiB = ResidentKiB();

  StallMeter stalls;
  QElapsedTimer load;
  load.start();
  stalls.Start();
  window.OpenCaptureFile(QString::fromLocal8Bit(argv[1]));
  // Loaded when the file has been read and the list holds every frame.
  QTimer done;
  done.setInterval(5);
  QObject::connect(&done, &QTimer::timeout, [&] {
    if (!window.Doc().IsReadingFile() && window.Model().rowCount() == static_cast<int>(window.Doc().PacketCount())) {
      QApplication::quit();
    }
  });
  done.start();
  QApplication::exec();
  const double loadSeconds = static_cast<double>(load.nsecsElapsed()) / 1e9;
  stalls.Stop();
  done.stop();

  const int rows = window.Model().rowCount();
  const std::uint64_t captured = window.Doc().BufferedBytes();
  // The last row is reachable and has its texts.
  const bool lastRowShown = rows > 0 && !window.Model().Text(rows - 1, qv::kColumnTime).isEmpty();
  const long peakKiB = PeakKiB();

  double slowestSort = 0;
  int slowestColumn = 0;
  for (int column = 0; column < qv::kColumnCount; ++column) {
    QElapsedTimer sort;
    sort.start();
    window.Model().sort(column);
    const double seconds = static_cast<double>(sort.nsecsElapsed()) / 1e9;
    std::printf("sort_%s_s %.3f\n", qv::kColumnHeadings[static_cast<std::size_t>(column)], seconds);
    if (seconds > slowestSort) {
      slowestSort = seconds;
      slowestColumn = column;
    }
  }

  for (const std::string& name : fields) {
    if (!window.Packets().AddFieldColumn(qv::FindField(name))) {
      std::printf("no field %s\n", name.c_str());
      continue;
    }
    const int column = window.Model().columnCount() - 1;
    QElapsedTimer screen;
    screen.start();
    for (int row = 0; row < 50 && row < rows; ++row) (void)window.Model().Text(row, column);
    std::printf("field_%s_first_screen_ms %.1f\n", name.c_str(), static_cast<double>(screen.nsecsElapsed()) / 1e6);
    // On the worker: done when the window's timer has taken the new order.
    StallMeter sortStalls;
    QElapsedTimer sort;
    sort.start();
    sortStalls.Start();
    window.Model().sort(column);
    while (window.Model().Sorting()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 gap = sortStalls.Stop();
    std::printf("sort_field_%s_s %.3f\n", name.c_str(), static_cast<double>(sort.nsecsElapsed()) / 1e9);
    std::printf("sort_field_%s_longest_gap_ms %lld\n", name.c_str(), static_cast<long long>(gap));
  }

  if (protocols) {
    std::map<std::string, int> byProtocol;
    for (int row = 0; row < rows; ++row) {
      const std::string text = window.Model().Text(row, qv::kColumnProtocols).trimmed().toStdString();
      const std::size_t blank = text.rfind(' ');
      ++byProtocol[text.empty() ? std::string("(none)") : text.substr(blank == std::string::npos ? 0 : blank + 1)];
    }
    for (const auto& [name, count] : byProtocol) std::printf("protocol_rows %s %d\n", name.c_str(), count);
  }

  std::printf("rows %d\n", rows);
  std::printf("last_row_shown %d\n", lastRowShown ? 1 : 0);
  std::printf("load_s %.3f\n", loadSeconds);
  std::printf("longest_gap_ms %lld\n", static_cast<long long>(stalls.LongestGapMs()));
  std::printf("captured_bytes %llu\n", static_cast<unsigned long long>(captured));
  std::printf("baseline_kib %ld\n", baselineKiB);
  std::printf("peak_kib_after_load %ld\n", peakKiB);
  std::printf("slowest_sort_s %.3f (%s)\n", slowestSort, qv::kColumnHeadings[static_cast<std::size_t>(slowestColumn)]);
  std::fflush(stdout);
  std::_Exit(0);
}
