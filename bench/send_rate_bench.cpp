// Frames per second of a send job (count 0, gap 0), which sends through the
// capture helper, against a bare packet socket writing the same frame in this
// process, on the same veth end, interleaved in one run. Run it through run_send_bench.sh, which makes the namespace and the
// veth pair; it refuses adapters whose name does not start with "qv".
//
//   send_rate_bench ADAPTER [SECONDS_PER_RUN] [REPS]

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "capture/user_prompt.h"
#include "sender/helper_send_backend.h"
#include "sender/send_job.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kMaxFramesPerRun = 20000000;  // a bound besides the time

class StderrPrompt : public qv::UserPrompt {
 public:
  void ShowMessage(const std::string& text, const std::string&, qv::MessageIcon) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  std::optional<std::size_t> ChooseAdapter(const std::vector<qv::Adapter>&) override { return std::nullopt; }
};

qv::Frame BenchFrame() {
  qv::Frame f(60, 0);
  const std::uint8_t header[14] = {0x02, 0x51, 0x56, 0, 0, 0x10, 0x02, 0x51, 0x56, 0, 0, 0x01, 0x88, 0xB5};
  std::copy(std::begin(header), std::end(header), f.begin());
  return f;
}

// The baseline: sendto() on a packet socket, as fast as it returns.
double RawSocketRate(const std::string& adapter, const qv::Frame& frame, double seconds) {
  const int fd = ::socket(AF_PACKET, SOCK_RAW, 0);
  if (fd < 0) return 0;
  sockaddr_ll to{};
  to.sll_family = AF_PACKET;
  to.sll_ifindex = static_cast<int>(::if_nametoindex(adapter.c_str()));
  to.sll_halen = 6;
  std::copy(frame.begin(), frame.begin() + 6, to.sll_addr);
  std::uint64_t sent = 0;
  const auto start = Clock::now();
  const auto until = start + std::chrono::duration<double>(seconds);
  while (sent < kMaxFramesPerRun) {
    for (int i = 0; i < 256; ++i) {
      if (::sendto(fd, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
          static_cast<ssize_t>(frame.size())) {
        ++sent;
      }
    }
    if (Clock::now() >= until) break;
  }
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  return static_cast<double>(sent) / took;
}

// The send job with count 0 and gap 0, stopped after `seconds`.
double SendJobRate(const std::string& adapter, const qv::Frame& frame, double seconds) {
  StderrPrompt prompt;
  qv::HelperSendBackend backend;
  qv::SendJob job(backend, prompt);
  job.Start({adapter, frame, {0, 0}});
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  while (job.Sending() && Clock::now() < until && job.Current() < kMaxFramesPerRun) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  job.Stop();
  job.WaitUntilIdle(std::chrono::milliseconds(10000));
  const auto result = job.TakeResult();
  return result ? result->Rate() : 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]).rfind("qv", 0) != 0) {
    std::fprintf(stderr, "usage: send_rate_bench QV_ADAPTER [SECONDS_PER_RUN] [REPS] (run by run_send_bench.sh)\n");
    return 2;
  }
  const std::string adapter = argv[1];
  const double seconds = argc > 2 ? std::clamp(std::atof(argv[2]), 0.2, 10.0) : 2.0;
  const int reps = argc > 3 ? std::clamp(std::atoi(argv[3]), 1, 20) : 5;
  const qv::Frame frame = BenchFrame();
  std::vector<double> raw, job;
  for (int r = 0; r < reps; ++r) {
    raw.push_back(RawSocketRate(adapter, frame, seconds));
    job.push_back(SendJobRate(adapter, frame, seconds));
    std::printf("run %d: packet socket %.0f frames/s, send job %.0f frames/s\n", r + 1, raw.back(), job.back());
  }
  const double rawMedian = Median(raw), jobMedian = Median(job);
  const double rawBest = *std::max_element(raw.begin(), raw.end());
  const double jobBest = *std::max_element(job.begin(), job.end());
  std::printf("packet socket: median %.0f, best %.0f frames/s\n", rawMedian, rawBest);
  std::printf("send job (count 0, gap 0): median %.0f, best %.0f frames/s\n", jobMedian, jobBest);
  const double ratio = rawMedian > 0 ? jobMedian / rawMedian : 0;
  std::printf("send job / packet socket (medians): %.2f, goal at least 0.80: %s\n", ratio,
              ratio >= 0.8 ? "PASS" : "MISS");
  return 0;
}
