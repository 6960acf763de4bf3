// The window capturing live under a burst (offscreen): selects the adapter,
// sets the kernel buffer and a capture filter, starts, and stops on SIGINT
// (or after its time limit). Prints what the window holds and the drops the
// Dropped pane shows, and the longest time its interface thread could not
// answer.
//
//   QT_QPA_PLATFORM=offscreen live_window_bench ADAPTER BUFFER_MB FILTER [SECONDS=120]
//
// run_live_bench.sh runs it beside tcpdump and quorvanet-cli on the same burst.

#include <csignal>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "bench/bench_window.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/qt_settings_store.h"
#include "ui/qt_user_prompt.h"

int main(int argc, char** argv) {
  const sigset_t stop = BlockStopSignals();

  QApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: live_window_bench ADAPTER BUFFER_MB FILTER [SECONDS=120]\n");
    return 2;
  }
  const int limitSeconds = argc > 4 ? std::atoi(argv[4]) : 120;
  QTemporaryDir dir;
  qv::QtSettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
  store.SetString("pcap", "CurrentDevice", argv[1]);
  qv::QtUserPrompt prompt;
  prompt.SetSilent(true);
  qv::CMainFrame window(store, prompt, dir.path().toStdString() + "/");
  window.resize(1280, 800);
  window.show();
  // Limits beyond what the dialog allows, so that nothing is cleared while
  // the burst comes in and every frame stays countable.
  qv::OptionsValues values;
  values.currentDevice = argv[1];
  values.bufferMaxCount = 0xFFFFFFFFu;
  values.bufferMaxBytes = 0xFFFFFFFFu;
  values.kernelBufferMB = std::atoi(argv[2]);
  window.ApplyOptions(values);
  window.Doc().SetFilterText(argv[3]);
  QApplication::processEvents();

  StallMeter stalls;
  CaptureStopper stopper(window, stop, limitSeconds);

  window.StartCapture();
  if (!window.Doc().IsCapturing()) {
    std::fprintf(stderr, "live_window_bench: the capture did not start\n");
    return 1;
  }
  std::fprintf(stderr, "capturing\n");
  stalls.Start();
  stopper.Start();
  QApplication::exec();
  stalls.Stop();
  window.Poll();

  const qv::DropCounts drops = window.Doc().Drops();
  std::printf("captured %u\n", window.Doc().PacketCount());
  std::printf("rows %d\n", window.Model().rowCount());
  std::printf("dropped_kernel %llu\n", static_cast<unsigned long long>(drops.kernel));
  std::printf("dropped_interface %llu\n", static_cast<unsigned long long>(drops.interface));
  std::printf("dropped_ours %llu\n", static_cast<unsigned long long>(drops.ours));
  std::printf("kernel_buffer_in_force_bytes %llu\n",
              static_cast<unsigned long long>(window.Doc().KernelBufferInForce()));
  std::printf("longest_gap_ms %lld\n", static_cast<long long>(stalls.LongestGapMs()));
  std::fflush(stdout);
  std::_Exit(0);
}
