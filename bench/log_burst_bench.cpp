// Logging under a burst: run inside a network namespace that holds the veth
// pair qv0/qv1 (bench/run_log_bench.sh makes one). Frames are written onto
// qv1 with a packet socket and captured on qv0 by the capture session, with
// the log files on and off in turn. Each run prints how many frames were
// sent, captured and logged, how long the capture took to list the whole
// burst, and how long after that the last frame was on disk.
//
//   log_burst_bench [FRAMES] [REPS] [LOG_DIR]

#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_log.h"
#include "capture/capture_session.h"
#include "framegen/frame_builder.h"

namespace {

using namespace std::chrono;
using qv::framegen::Bytes;

class Quiet : public qv::UserPrompt {
 public:
  void ShowMessage(const std::string& text, const std::string&, qv::MessageIcon) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
  }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  std::optional<std::size_t> ChooseAdapter(const std::vector<qv::Adapter>&) override { return std::nullopt; }
};

class Counter : public qv::CaptureObserver {
 public:
  void PacketAdded(const qv::PacketRecord&, const qv::PacketSummary&) override {
    frames.fetch_add(1, std::memory_order_relaxed);
    last.store(steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
  }
  std::atomic<std::uint64_t> frames{0};
  std::atomic<steady_clock::rep> last{0};
};

struct Run {
  bool logging;
  std::uint64_t sent, captured, logged;
  double captureMs;  // first send to the last frame listed
  double diskLagMs;  // the last frame listed to the last frame written (1 ms polls)
  double sendMs;     // the burst's sending
};

Run OneRun(bool logging, std::uint32_t frames, const std::string& logDir, int sender) {
  Quiet prompt;
  qv::MemorySettingsStore settings;
  settings.SetString("pcap", "CurrentDevice", "qv0");
  qv::CTalvenorDoc doc(prompt, settings);
  Counter counter;
  qv::CaptureLog log([](const std::string& text) { std::fprintf(stderr, "log: %s\n", text.c_str()); });
  doc.SetObserver(&counter);
  doc.SetLogSink(&log);
  doc.SetLimits(4000000000u, 100000000u);  // no when-full clears during the burst
  doc.SetFilterText("ether src 02:51:56:00:00:01");
  qv::LogOptions options;
  options.loggingOn = logging;
  options.directory = logDir;
  options.maxPackets = 100000;
  log.SetOptions(options);

  sockaddr_ll to{};
  to.sll_family = AF_PACKET;
  to.sll_ifindex = static_cast<int>(::if_nametoindex("qv1"));
  to.sll_halen = 6;
  Bytes frame = qv::framegen::FrameBuilder()
                    .Ethernet({0x02, 0x51, 0x56, 0, 0, 0x10}, {0x02, 0x51, 0x56, 0, 0, 0x01}, 0x0800)
                    .Ipv4({169, 254, 7, 1}, {169, 254, 7, 2}, 17)
                    .Udp(40000, 40001)
                    .PadTo(64)
                    .Build();
  auto send = [&] {
    return ::sendto(sender, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) > 0;
  };

  Run run{logging, 0, 0, 0, 0, 0, 0};
  if (!doc.Start()) return run;
  // Probes until the capture listens (bounded), then a quiet moment.
  for (int i = 0; i < 200 && counter.frames.load() == 0; ++i) {
    send();
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(200ms);
  const std::uint64_t before = counter.frames.load();
  const std::uint64_t loggedBefore = log.FramesWritten();

  const auto t0 = steady_clock::now();
  while (run.sent < frames && steady_clock::now() - t0 < 20s) {
    if (send()) ++run.sent;
  }
  run.sendMs = duration<double, std::milli>(steady_clock::now() - t0).count();
  // Done when nothing more arrives for half a second (bounded); meanwhile
  // the moment the log last grew is noted.
  std::uint64_t seen = 0, written = 0;
  auto logGrew = t0;
  for (auto quietSince = steady_clock::now(); steady_clock::now() - quietSince < 500ms;) {
    std::this_thread::sleep_for(1ms);
    if (counter.frames.load() != seen) {
      seen = counter.frames.load();
      quietSince = steady_clock::now();
    }
    if (log.FramesWritten() != written) {
      written = log.FramesWritten();
      logGrew = steady_clock::now();
    }
    if (steady_clock::now() - t0 > 60s) break;
  }
  const auto lastListed = steady_clock::time_point(steady_clock::duration(counter.last.load()));
  run.captured = counter.frames.load() - before;
  if (logging) run.diskLagMs = std::max(0.0, duration<double, std::milli>(logGrew - lastListed).count());
  run.logged = log.FramesWritten() - loggedBefore;
  run.captureMs = duration<double, std::milli>(lastListed - t0).count();
  doc.Stop();
  doc.WaitForCapture();
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t frames = argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 200000;
  const int reps = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string logDir = argc > 3 ? argv[3] : (std::filesystem::temp_directory_path() / "quorvanet-log-bench").string();
  std::filesystem::create_directories(logDir);
  const int sender = ::socket(AF_PACKET, SOCK_RAW, 0);
  if (sender < 0 || ::if_nametoindex("qv1") == 0) {
    std::fprintf(stderr, "log_burst_bench: needs the veth pair qv0/qv1 and CAP_NET_RAW (see run_log_bench.sh)\n");
    return 2;
  }
  std::vector<Run> runs;
  for (int r = 0; r < reps; ++r) {
    for (bool logging : {false, true}) {
      const Run run = OneRun(logging, frames, logDir, sender);
      std::printf("run %d logging=%s sent=%llu send_ms=%.1f captured=%llu logged=%llu capture_ms=%.1f disk_lag_ms=%.1f\n", r,
                  logging ? "on" : "off", static_cast<unsigned long long>(run.sent), run.sendMs,
                  static_cast<unsigned long long>(run.captured), static_cast<unsigned long long>(run.logged),
                  run.captureMs, run.diskLagMs);
      std::fflush(stdout);
      runs.push_back(run);
      std::error_code ec;
      for (const auto& e : std::filesystem::directory_iterator(logDir, ec)) std::filesystem::remove(e.path(), ec);
    }
  }
  for (bool logging : {false, true}) {
    std::vector<double> rates, lags;
    std::uint64_t lost = 0;
    for (const Run& r : runs) {
      if (r.logging != logging) continue;
      rates.push_back(r.captureMs > 0 ? static_cast<double>(r.captured) / r.captureMs * 1000.0 : 0);
      lags.push_back(r.diskLagMs);
      if (logging) lost += r.captured - std::min(r.captured, r.logged);
    }
    std::sort(rates.begin(), rates.end());
    std::sort(lags.begin(), lags.end());
    std::printf("logging=%s frames/s captured: median %.0f best %.0f", logging ? "on" : "off",
                rates[rates.size() / 2], rates.back());
    if (logging) {
      std::printf("; disk lag ms: median %.1f best %.1f; captured but not logged: %llu", lags[lags.size() / 2],
                  lags.front(), static_cast<unsigned long long>(lost));
    }
    std::printf("\n");
  }
  std::printf("command: %s %u %d %s\n", argv[0], frames, reps, logDir.c_str());
  ::close(sender);
  return 0;
}
