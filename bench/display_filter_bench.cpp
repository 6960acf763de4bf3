// Display filters on the packet list of a large capture (offscreen): how
// long until the list shows only the frames a display filter accepts, the
// longest stall of the interface thread meanwhile, and how long Cancel
// takes; beside the capture-filter language on the same buffer. Baseline
// from the same run: the same filter over the same frames in a plain loop
// on one thread, and the list filter's worker job alone.
//
//   QT_QPA_PLATFORM=offscreen display_filter_bench FILE [ROUNDS]
//
// Prints one "name value" line per figure: the median and the best of the
// rounds for each filter.

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/bench_window.h"
#include "filters/list_filter.h"
#include "ui/list_filter_bar.h"
#include "ui/packet_list_model.h"

namespace {

double Seconds(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e9; }

struct Figures {
  std::vector<double> seconds;
  std::vector<double> gapsMs;
  std::vector<double> cancelMs;
  std::vector<double> plain;
  std::vector<double> job;
  long shown = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: display_filter_bench FILE [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  OffscreenWindow offscreen;
  qv::CMainFrame& window = offscreen.window;
  window.OpenCaptureFile(QString::fromLocal8Bit(argv[1]));
  while (window.Doc().IsReadingFile() || window.Model().rowCount() != static_cast<int>(window.Doc().PacketCount())) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  const std::uint32_t frames = window.Doc().PacketCount();
  std::printf("frames %u\n", frames);

  StallMeter stalls;
  qv::ListFilterBar& bar = window.ListFilter();
  struct Filter {
    const char* text;
    bool display;
  };
  const Filter filters[] = {{"tcp port 443", false},
                            {"tcp.port == 443 && ip.src == 10.0.0.5", true},
                            {"dns.qry.name contains \"example\"", true},
                            {"!(udp || tcp)", true},
                            // The capture filter's frames, for a like-for-like comparison.
                            {"tcp.port == 443", true}};
  double bpfMedian = 0;
  for (const Filter& filter : filters) {
    Figures f;
    for (int round = 0; round < rounds; ++round) {
      bar.SetExpression(QString());
      QApplication::processEvents();

      QElapsedTimer t;
      t.start();
      stalls.Start();
      if (!bar.SetExpression(QString::fromUtf8(filter.text))) {
        std::printf("REJECTED %s: %s\n", filter.text, bar.Error().toUtf8().constData());
        break;
      }
      while (bar.Running()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      f.gapsMs.push_back(static_cast<double>(stalls.Stop()));
      f.seconds.push_back(Seconds(t));
      f.shown = window.Model().rowCount();

      // Cancel a quarter of a second into a run: how long until it has stopped.
      bar.SetExpression(QString());
      bar.SetExpression(QString::fromUtf8(filter.text));
      QElapsedTimer wait;
      wait.start();
      while (wait.elapsed() < 250) QApplication::processEvents(QEventLoop::AllEvents, 10);
      QElapsedTimer cancel;
      cancel.start();
      bar.Cancel();
      f.cancelMs.push_back(static_cast<double>(cancel.nsecsElapsed()) / 1e6);

      // The same work in a plain loop on this thread.
      std::shared_ptr<const qv::ListFilter> list;
      if (filter.display) {
        qv::DisplayFilterError error;
        list = std::make_shared<const qv::ListFilter>(qv::CompileDisplayFilter(filter.text, &error),
                                                      qv::DecodeSetup{window.Doc().Decoders(), window.Doc().QuicInitials()}, 0);
      }
      if (list) {
        std::unique_ptr<qv::FrameTest> test = list->NewTest();
        QElapsedTimer p;
        p.start();
        const std::vector<std::uint32_t> matched = qv::MatchFrames(window.Doc().Buffer(), *test, 0, frames);
        f.plain.push_back(Seconds(p));
        if (static_cast<long>(matched.size()) != f.shown) std::printf("MISMATCH %s\n", filter.text);

        // The list filter's job alone, as the bar starts it.
        QElapsedTimer j;
        j.start();
        qv::ListFilterJob job(window.Doc().Buffer(), list, frames);
        while (!job.Done()) QThread::msleep(1);
        f.job.push_back(Seconds(j));
      }
    }
    if (f.seconds.empty()) continue;
    if (!filter.display) bpfMedian = Median(f.seconds);
    std::printf("%s \"%s\" shown %ld of %u\n", filter.display ? "display" : "capture-filter", filter.text, f.shown,
                frames);
    std::printf("  list_filter_s median %.3f best %.3f", Median(f.seconds), Best(f.seconds));
    if (filter.display && bpfMedian > 0) std::printf(" (%.1fx the capture filter)", Median(f.seconds) / bpfMedian);
    std::printf("\n  longest_gap_ms median %.0f worst %.0f\n", Median(f.gapsMs), Worst(f.gapsMs));
    std::printf("  cancel_ms median %.1f worst %.1f\n", Median(f.cancelMs), Worst(f.cancelMs));
    if (!f.plain.empty()) std::printf("  plain_match_loop_s median %.3f best %.3f\n", Median(f.plain), Best(f.plain));
    if (!f.job.empty()) std::printf("  worker_job_s median %.3f best %.3f\n", Median(f.job), Best(f.job));
  }
  std::fflush(stdout);
  std::_Exit(0);
}
