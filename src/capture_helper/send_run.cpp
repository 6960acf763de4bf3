#include "capture_helper/send_run.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "capture_helper/channel.h"
#include "capture_helper/live_handle.h"
#include "capture_helper/rights_drop.h"
#include "capture_helper/sandbox.h"

namespace qv::helper {
namespace {

using control::MessageType;

constexpr std::uint64_t kProgressEveryNs = 100'000'000;  // at most ~10 a second
// A Stop reaches a burst without gaps within this long.
constexpr std::uint64_t kWatchEveryNs = 200'000;

std::uint64_t NowNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::uint64_t>(t.tv_sec) * 1'000'000'000ull + static_cast<std::uint64_t>(t.tv_nsec);
}

timespec ToTimespec(std::uint64_t ns) {
  return timespec{static_cast<time_t>(ns / 1'000'000'000ull), static_cast<long>(ns % 1'000'000'000ull)};
}

class SendLoop {
 public:
  SendLoop(Channel& channel, pcap_t* handle, int maxFrameBytes, int mtu)
      : channel_(channel), handle_(handle), maxFrameBytes_(maxFrameBytes), mtu_(mtu) {}
  [[noreturn]] void Run();

 private:
  // What the parent sent; sets stop_ on Stop, queues a burst on SendFrames.
  void Take(const control::Message& m);
  // Reads the channel when it has something; waits at most until deadline
  // (CLOCK_MONOTONIC ns; 0: do not wait, ~0: wait as long as it takes).
  void WatchChannel(std::uint64_t deadline);
  void Burst(const control::SendFrames& burst);
  [[noreturn]] void Fail(const std::string& error);

  Channel& channel_;
  pcap_t* handle_;
  int maxFrameBytes_;
  int mtu_;
  bool stop_ = false;
  std::optional<control::SendFrames> next_;
};

void SendLoop::Fail(const std::string& error) {
  channel_.SendError(error);
  ::_exit(1);
}

void SendLoop::Take(const control::Message& m) {
  switch (m.type) {
    case MessageType::Stop:
      stop_ = true;
      return;
    case MessageType::SendFrames: {
      if (next_) Fail("The control channel carried SendFrames while a burst was still being sent");
      next_ = control::SendFrames::Decode(m.payload);
      if (!next_) Fail("The control channel carried a damaged SendFrames message");
      return;
    }
    default:
      Fail("The control channel carried " + std::string(control::TypeName(m.type)) + ", which sending does not take");
  }
}

void SendLoop::WatchChannel(std::uint64_t deadline) {
  for (;;) {
    pollfd p{channel_.Fd(), POLLIN, 0};
    int ready = 0;
    if (deadline == ~std::uint64_t{0}) {
      ready = ::ppoll(&p, 1, nullptr, nullptr);
    } else {
      const std::uint64_t now = NowNs();
      const timespec wait = ToTimespec(deadline > now ? deadline - now : 0);
      ready = ::ppoll(&p, 1, &wait, nullptr);
    }
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) Fail(std::string("poll failed: ") + std::strerror(errno));
    if (ready == 0) return;
    if (!channel_.Read()) ::_exit(1);  // the parent is gone
    while (auto m = channel_.Next()) Take(*m);
    if (channel_.Failed()) Fail(channel_.Error());
    return;
  }
}

void SendLoop::Burst(const control::SendFrames& burst) {
  control::SendDone done;
  if (static_cast<long>(burst.frame.size()) > maxFrameBytes_) {
    done.firstError = "The frame is longer than the adapter's MTU (" + std::to_string(mtu_) +
                      " bytes) and its link header";
    if (!channel_.Must(done.Encode())) ::_exit(1);
    return;
  }
  const std::uint64_t gapNs = std::uint64_t{burst.gapMicroseconds} * 1000;
  const std::uint64_t start = NowNs();
  std::uint64_t progressDue = start + kProgressEveryNs;
  std::uint64_t watchDue = start;
  for (std::uint64_t i = 0; !stop_ && (burst.count == 0 || i < burst.count); ++i) {
    const int sent = pcap_inject(handle_, burst.frame.data(), burst.frame.size());
    if (sent == static_cast<int>(burst.frame.size())) {
      ++done.sent;
    } else {
      ++done.failed;
      if (done.firstError.empty()) {
        done.firstError = sent < 0 ? std::string(pcap_geterr(handle_))
                                   : "Only " + std::to_string(sent) + " of " + std::to_string(burst.frame.size()) +
                                         " bytes went out";
      }
    }
    // The gap after the frame, to an absolute deadline so that the burst's
    // pace does not drift; a Stop cuts it short. Without a gap the channel
    // is looked at every kWatchEveryNs rather than after every frame: a poll
    // a frame would cost as much as the send itself.
    const std::uint64_t deadline = start + (i + 1) * gapNs;
    if (gapNs) {
      WatchChannel(deadline);
    } else if (const std::uint64_t now = NowNs(); now >= watchDue) {
      WatchChannel(0);
      watchDue = now + kWatchEveryNs;
    }
    if (!stop_ && gapNs) {
      const timespec at = ToTimespec(deadline);
      while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
      }
    }
    if (NowNs() >= progressDue) {
      if (!channel_.Offer(control::SendProgress{.sent = done.sent, .failed = done.failed}.Encode())) ::_exit(1);
      progressDue = NowNs() + kProgressEveryNs;
    }
  }
  done.nanoseconds = NowNs() - start;
  if (!channel_.Must(control::SendProgress{.sent = done.sent, .failed = done.failed}.Encode())) ::_exit(1);
  if (!channel_.Must(done.Encode())) ::_exit(1);
}

void SendLoop::Run() {
  for (;;) {
    if (next_) {
      const control::SendFrames burst = std::move(*next_);
      next_.reset();
      Burst(burst);
    }
    if (stop_) ::_exit(0);
    if (!next_) WatchChannel(~std::uint64_t{0});
  }
}

}  // namespace

int LinkHeaderBytes(int linkType) {
  switch (linkType) {
    case DLT_EN10MB:
      return 14;
    case DLT_LINUX_SLL:
      return 16;
    default:  // DLT_RAW and the like: the frame is the packet
      return 0;
  }
}

int RunSend(const Arguments& arguments, int controlFd) {
  Channel channel(controlFd);
  auto fail = [&](const std::string& text, int code) {
    channel.SendError(text);
    return code;
  };
  if (const std::string error = KeepOnlyNetRaw(); !error.empty()) return fail(error, 1);
  // Small: the handle only sends, and a filter that takes nothing keeps its
  // ring empty.
  LiveRequest request{.adapter = arguments.adapter, .snaplen = 64, .promisc = false, .timeoutMs = 100,
                      .bufferBytes = 65536, .nanoseconds = false};
  LiveHandle live = OpenLive(request);
  if (!live.handle) return fail(live.error, 1);
  std::unique_ptr<pcap_t, void (*)(pcap_t*)> handle(live.handle, pcap_close);
  if (!live.warning.empty()) channel.SendWarning(live.warning);
  bpf_insn nothing = BPF_STMT(BPF_RET | BPF_K, 0);
  bpf_program takeNothing{1, &nothing};
  pcap_setfilter(handle.get(), &takeNothing);

  const int mtu = AdapterMtu(handle.get(), arguments.adapter);
  const int header = LinkHeaderBytes(pcap_datalink(handle.get()));
  const int maxFrame = mtu > 0 ? mtu + header : static_cast<int>(control::kMaxFrameBytes);

  if (const std::string error = DropAllCapabilities(); !error.empty()) return fail(error, 1);
  if (const std::string error = InstallSandbox(); !error.empty()) return fail(error, 1);
  SendLoop loop(channel, handle.release(), maxFrame, mtu);
  loop.Run();
}

}  // namespace qv::helper
