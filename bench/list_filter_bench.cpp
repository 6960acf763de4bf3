// Filtering the packet list of a large capture (offscreen): how long until
// the list shows only the frames an expression accepts, and the longest
// stall of the interface thread meanwhile. Baselines from the same run: the
// same expression over the same frames in a plain loop on one thread
// (pcap_offline_filter over the buffered bytes, or the display filter's test
// for a text the list reads as one), and for a capture filter libpcap reading
// the file with the filter set.
//
//   QT_QPA_PLATFORM=offscreen list_filter_bench FILE [ROUNDS]
//
// Prints one "name value" line per figure: the median and the best of the
// rounds for each expression.

#include <pcap/pcap.h>

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/bench_window.h"
#include "filters/filter_preview.h"
#include "filters/list_filter.h"
#include "ui/list_filter_bar.h"

namespace {

struct Figures {
  std::vector<double> seconds;
  std::vector<double> gapsMs;
};


// libpcap reading the file with the filter set: the frames it keeps.
double ReadFiltered(const char* path, const char* expression, long* kept) {
  QElapsedTimer t;
  t.start();
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* p = pcap_open_offline(path, errbuf);
  if (p == nullptr) return -1;
  bpf_program program{};
  if (pcap_compile(p, &program, expression, 1, PCAP_NETMASK_UNKNOWN) == 0) pcap_setfilter(p, &program);
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  *kept = 0;
  while (pcap_next_ex(p, &header, &data) == 1) ++*kept;
  pcap_freecode(&program);
  pcap_close(p);
  return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: list_filter_bench FILE [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  OffscreenWindow offscreen;
  qv::CMainFrame& window = offscreen.window;

  window.OpenCaptureFile(QString::fromLocal8Bit(argv[1]));
  // Loaded when the file has been read and the list holds every frame.
  while (window.Doc().IsReadingFile() || window.Model().rowCount() != static_cast<int>(window.Doc().PacketCount())) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  const std::uint32_t frames = window.Doc().PacketCount();
  std::printf("frames %u\n", frames);

  StallMeter stalls;

  qv::ListFilterBar& bar = window.ListFilter();
  // "arp or icmp" reads as a display filter (display_filter_bench measures those).
  const char* const expressions[] = {"tcp port 80", "arp or icmp", "udp and not port 53", "ether broadcast",
                                     "ip and len > 1000"};
  for (const char* expression : expressions) {
    Figures list;
    std::vector<double> plain;
    std::vector<double> file;
    long shown = 0;
    long kept = 0;
    bool display = false;
    for (int round = 0; round < rounds; ++round) {
      bar.SetExpression(QString());  // all rows again
      QApplication::processEvents();

      QElapsedTimer t;
      t.start();
      stalls.Start();
      bar.SetExpression(QString::fromLatin1(expression));
      // The window's own 100 ms timer picks the result up, as in use.
      while (bar.Running()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      const qint64 longestGapMs = stalls.Stop();
      list.seconds.push_back(static_cast<double>(t.nsecsElapsed()) / 1e9);
      list.gapsMs.push_back(static_cast<double>(longestGapMs));
      shown = window.Model().rowCount();

      // The same work in a plain loop on this thread, with the filter the list used.
      const qv::ListFilter* used = window.Model().CurrentListFilter();
      if (used == nullptr) {
        std::printf("NOT COMPILED %s: %s\n", expression, bar.Error().toStdString().c_str());
        break;
      }
      display = used->IsDisplayFilter();
      const std::unique_ptr<qv::FrameTest> test = used->NewTest();
      QElapsedTimer p;
      p.start();
      const std::vector<std::uint32_t> matched = qv::MatchFrames(window.Doc().Buffer(), *test, 0, frames);
      plain.push_back(static_cast<double>(p.nsecsElapsed()) / 1e9);
      if (static_cast<long>(matched.size()) != shown) std::printf("MISMATCH %s\n", expression);
      if (!display) file.push_back(ReadFiltered(argv[1], expression, &kept));
    }
    if (list.seconds.empty()) continue;
    if (display) {
      std::printf("display filter \"%s\" shown %ld of %u\n", expression, shown, frames);
    } else {
      std::printf("expr \"%s\" shown %ld of %u (libpcap on the file keeps %ld)\n", expression, shown, frames, kept);
    }
    std::printf("  list_filter_s median %.3f best %.3f\n", Median(list.seconds), Best(list.seconds));
    std::printf("  longest_gap_ms median %.0f worst %.0f\n", Median(list.gapsMs),
                *std::max_element(list.gapsMs.begin(), list.gapsMs.end()));
    std::printf("  plain_match_loop_s median %.3f best %.3f\n", Median(plain), Best(plain));
    if (!file.empty()) std::printf("  pcap_read_file_filtered_s median %.3f best %.3f\n", Median(file), Best(file));
  }
  std::fflush(stdout);
  std::_Exit(0);
}
