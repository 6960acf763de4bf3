#include "capture_helper/capture_run.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "capture_helper/channel.h"
#include "capture_helper/live_handle.h"
#include "capture_helper/pcapng_output.h"
#include "capture_helper/rights_drop.h"
#include "capture_helper/sandbox.h"

namespace qv::helper {
namespace {

using control::MessageType;

constexpr std::uint64_t kFlushEveryNs = 50'000'000;  // while frames arrive
constexpr std::size_t kFlushAtBytes = 256 * 1024;
constexpr std::uint64_t kDropsEveryNs = 1'000'000'000;
constexpr int kBatchFrames = 512;

std::uint64_t NowNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::uint64_t>(t.tv_sec) * 1'000'000'000ull + static_cast<std::uint64_t>(t.tv_nsec);
}

// Empty when fd is a regular file open for writing.
std::string CheckOutputFile(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return "No output file was given (descriptor " + std::to_string(fd) + " is not open)";
  if (!S_ISREG(st.st_mode)) return "The output file is not a regular file";
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) return "The output file is not open for writing";
  return {};
}

// libpcap's counters are 32 bits wide and wrap on a long capture; the
// parent gets 64-bit totals since Started.
class WideCounter {
 public:
  std::uint64_t Update(std::uint32_t now) {
    total_ += static_cast<std::uint32_t>(now - last_);
    last_ = now;
    return total_;
  }

 private:
  std::uint32_t last_ = 0;
  std::uint64_t total_ = 0;
};

class CaptureRun {
 public:
  CaptureRun(Channel& channel, pcap_t* handle, const InterfaceInfo& info)
      : channel_(channel), handle_(handle), info_(info) {}

  // Runs until Stop or a failure; answers the exit code.
  int Loop(int outputFd, const InterfaceDropCounter& ifDrops);

 private:
  static void OnFrame(u_char* user, const pcap_pkthdr* header, const u_char* bytes);
  bool FlushAndTell();
  void TellDrops(bool must);
  bool HandleControl(bool& stop);
  bool Rotate();
  void SetFilter(const std::string& text);
  [[noreturn]] void Finish(const std::string& error);
  [[noreturn]] void ParentGone();

  Channel& channel_;
  pcap_t* handle_;
  InterfaceInfo info_;
  PcapngOutput output_;
  const InterfaceDropCounter* ifDrops_ = nullptr;
  std::uint64_t firstUnflushedNs_ = 0;  // 0: no frame waits in the buffer
  bool failed_ = false;
  WideCounter received_, kernelDrops_, interfaceDrops_;
};

void CaptureRun::OnFrame(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
  auto* run = reinterpret_cast<CaptureRun*>(user);
  if (run->failed_) return;
  run->output_.Add(*header, bytes);
  if (run->firstUnflushedNs_ == 0) run->firstUnflushedNs_ = NowNs();
  if (run->output_.Buffered() >= kFlushAtBytes && !run->FlushAndTell()) run->failed_ = true;
}

// Writes the buffer to the file and offers Written; false when the file
// would not take it.
bool CaptureRun::FlushAndTell() {
  firstUnflushedNs_ = 0;
  if (output_.Buffered() == 0) return true;
  const bool ok = output_.Flush();
  if (!channel_.Offer(control::Written{.frames = output_.Frames(), .fileBytes = output_.FileBytes()}.Encode())) {
    ParentGone();
  }
  return ok;
}

void CaptureRun::TellDrops(bool must) {
  pcap_stat stats{};
  if (pcap_stats(handle_, &stats) != 0) return;
  const control::Drops drops{.received = received_.Update(stats.ps_recv),
                             .kernelDrops = kernelDrops_.Update(stats.ps_drop),
                             .interfaceDrops = interfaceDrops_.Update(stats.ps_ifdrop) + ifDrops_->SinceStart()};
  const bool delivered = must ? channel_.Must(drops.Encode()) : channel_.Offer(drops.Encode());
  if (!delivered) ParentGone();
}

// Ends the run: what is buffered goes to the file, then Drops and End (after
// an Error when there is one); exits.
void CaptureRun::Finish(const std::string& error) {
  std::string why = error;
  if (why.empty()) {
    // Frames the kernel already holds belong to the capture: read them in
    // (for a bounded time, on a link that does not pause).
    const std::uint64_t since = NowNs();
    while (!failed_ && NowNs() - since < kFlushEveryNs &&
           pcap_dispatch(handle_, kBatchFrames, OnFrame, reinterpret_cast<u_char*>(this)) > 0) {
    }
    if (failed_) why = "Cannot write the capture file: " + output_.Error();
  }
  if (output_.Buffered() > 0 && !output_.Flush() && why.empty()) {
    why = "Cannot write the capture file: " + output_.Error();
  }
  if (!why.empty()) channel_.SendError(why);
  TellDrops(true);
  channel_.Must(control::End{.frames = output_.Frames(), .fileBytes = output_.FileBytes()}.Encode());
  // The kernel closes the handle and the file; the allow-list has no room
  // for what a tidy pcap_close would call.
  ::_exit(why.empty() ? 0 : 1);
}

void CaptureRun::ParentGone() {
  // Nobody reads the messages now; what is buffered still goes to the file.
  output_.Flush();
  ::_exit(1);
}

bool CaptureRun::Rotate() {
  const int fd = channel_.TakeDescriptor();
  if (fd < 0) Finish("The control channel carried Rotate without a file");
  if (const std::string bad = CheckOutputFile(fd); !bad.empty()) {
    ::close(fd);
    Finish(bad + " (Rotate)");
  }
  if (output_.Buffered() > 0 && !output_.Flush()) {
    ::close(fd);
    Finish("Cannot write the capture file: " + output_.Error());
  }
  firstUnflushedNs_ = 0;
  const control::FileSwitched switched{.framesInOldFile = output_.Frames(), .oldFileBytes = output_.FileBytes()};
  output_.Begin(fd, info_);  // closes the old file
  if (!channel_.Must(switched.Encode())) ParentGone();
  if (!output_.Flush()) Finish("Cannot write the new capture file: " + output_.Error());
  if (!channel_.Offer(control::Written{.frames = 0, .fileBytes = output_.FileBytes()}.Encode())) ParentGone();
  return true;
}

void CaptureRun::SetFilter(const std::string& text) {
  bpf_program program{};
  control::FilterSet answer;
  if (pcap_compile(handle_, &program, text.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
    answer.error = pcap_geterr(handle_);
  } else {
    if (pcap_setfilter(handle_, &program) != 0) {
      answer.error = pcap_geterr(handle_);
    } else {
      answer.ok = true;
    }
    pcap_freecode(&program);
  }
  if (!channel_.Must(answer.Encode())) ParentGone();
}

// Reads what the parent sent and acts on it; false when it closed its end.
bool CaptureRun::HandleControl(bool& stop) {
  if (!channel_.Read()) return false;
  while (auto m = channel_.Next()) {
    switch (m->type) {
      case MessageType::Stop:
        stop = true;
        return true;
      case MessageType::SetFilter: {
        auto filter = control::SetFilter::Decode(m->payload);
        if (!filter) Finish("The control channel carried a damaged SetFilter message");
        SetFilter(filter->filter);
        break;
      }
      case MessageType::Rotate:
        Rotate();
        break;
      default:
        Finish("The control channel carried " + std::string(control::TypeName(m->type)) +
               ", which a capture does not take");
    }
  }
  if (channel_.Failed()) Finish(channel_.Error());
  return true;
}

int CaptureRun::Loop(int outputFd, const InterfaceDropCounter& ifDrops) {
  ifDrops_ = &ifDrops;
  output_.Begin(outputFd, info_);
  if (!output_.Flush()) Finish("Cannot write the capture file: " + output_.Error());
  if (!channel_.Offer(control::Written{.frames = 0, .fileBytes = output_.FileBytes()}.Encode())) ParentGone();

  const int pcapFd = pcap_get_selectable_fd(handle_);
  std::uint64_t dropsDue = NowNs() + kDropsEveryNs;
  for (;;) {
    const std::uint64_t now = NowNs();
    std::uint64_t wakeAt = dropsDue;
    if (firstUnflushedNs_ != 0) wakeAt = std::min(wakeAt, firstUnflushedNs_ + kFlushEveryNs);
    const int timeoutMs = wakeAt > now ? static_cast<int>((wakeAt - now + 999'999) / 1'000'000) : 0;

    pollfd fds[2] = {{pcapFd, POLLIN, 0}, {channel_.Fd(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0 && errno != EINTR) Finish(std::string("poll failed: ") + std::strerror(errno));

    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
      bool stop = false;
      if (!HandleControl(stop)) ParentGone();
      if (stop) Finish({});
    }

    if (fds[0].revents & (POLLERR | POLLNVAL)) {
      int error = 0;
      socklen_t length = sizeof error;
      ::getsockopt(pcapFd, SOL_SOCKET, SO_ERROR, &error, &length);
      if (error == ENETDOWN) Finish("The adapter " + info_.name + " went down");
      if (error != 0 || (fds[0].revents & POLLNVAL)) {
        Finish("The capture socket failed: " + std::string(std::strerror(error ? error : EBADF)));
      }
    }
    if (fds[0].revents & POLLIN) {
      // Read until nothing is left, flushing at least every 50 ms, and go
      // back to poll() then so that the parent's messages are seen.
      const std::uint64_t readingSince = NowNs();
      for (;;) {
        const int n = pcap_dispatch(handle_, kBatchFrames, OnFrame, reinterpret_cast<u_char*>(this));
        if (failed_) Finish("Cannot write the capture file: " + output_.Error());
        if (n < 0) Finish(pcap_geterr(handle_));
        if (n == 0 || NowNs() - readingSince >= kFlushEveryNs) break;
      }
    }
    // Nothing more to read now, or the 50 ms are up: out with what is there.
    if (!FlushAndTell()) Finish("Cannot write the capture file: " + output_.Error());

    if (NowNs() >= dropsDue) {
      TellDrops(false);
      dropsDue = NowNs() + kDropsEveryNs;
    }
  }
}

}  // namespace

int RunCapture(const Arguments& arguments, int controlFd, int outputFd) {
  Channel channel(controlFd);
  auto fail = [&](const std::string& text, int code) {
    channel.SendError(text);
    return code;
  };
  if (const std::string bad = CheckOutputFile(outputFd); !bad.empty()) return fail(bad, 2);
  if (const std::string error = KeepOnlyNetRaw(); !error.empty()) return fail(error, 1);

  LiveRequest request{.adapter = arguments.adapter, .snaplen = arguments.snaplen, .promisc = arguments.promisc,
                      .timeoutMs = arguments.timeoutMs, .bufferBytes = arguments.bufferBytes, .nanoseconds = true};
  LiveHandle live = OpenLive(request);
  if (!live.handle) return fail(live.error, 1);
  std::unique_ptr<pcap_t, void (*)(pcap_t*)> handle(live.handle, pcap_close);
  if (!live.warning.empty()) channel.SendWarning(live.warning);
  if (pcap_setnonblock(handle.get(), 1, nullptr) != 0) return fail(pcap_geterr(handle.get()), 1);

  InterfaceInfo info;
  info.linkType = static_cast<std::uint32_t>(pcap_datalink(handle.get()));
  info.snaplen = static_cast<std::uint32_t>(pcap_snapshot(handle.get()));
  info.nanoseconds = pcap_get_tstamp_precision(handle.get()) == PCAP_TSTAMP_PRECISION_NANO;
  info.name = arguments.adapter;
  const std::uint64_t bufferInForce = KernelBufferInForce(handle.get());
  InterfaceDropCounter ifDrops(arguments.adapter);

  if (const std::string error = DropAllCapabilities(); !error.empty()) return fail(error, 1);

  if (arguments.filter && !arguments.filter->empty()) {
    bpf_program program{};
    if (pcap_compile(handle.get(), &program, arguments.filter->c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
      return fail(std::string("The capture filter is not valid: ") + pcap_geterr(handle.get()), 2);
    }
    if (pcap_setfilter(handle.get(), &program) != 0) {
      channel.SendWarning(std::string("The capture filter did not apply: ") + pcap_geterr(handle.get()));
    }
    pcap_freecode(&program);
  }

  if (const std::string error = InstallSandbox(); !error.empty()) return fail(error, 1);

  const control::Started started{.linkType = info.linkType, .snaplen = info.snaplen,
                                 .kernelBufferBytesInForce = bufferInForce,
                                 .flags = live.bufferRefused ? control::Started::kBufferRefused : 0u};
  if (!channel.Must(started.Encode())) ::_exit(1);
  CaptureRun run(channel, handle.release(), info);
  return run.Loop(outputFd, ifDrops);
}

}  // namespace qv::helper
