// The session's live runs: a source opened for the chosen adapter, its
// frames taken into the buffer, the rows and the statistics, the log files
// fed, the buffer limits kept with the when-full action, and the drop
// counters followed. Where the frames come from is the source's business
// (sources/live_source.h).

#include <chrono>

#include "capture/capture_filter.h"
#include "capture/capture_session.h"
#include "capture/sources/live_source.h"
#include "decode/text_format.h"

namespace qv {

namespace {
constexpr std::uint64_t kMiB = 1u << 20;
// The drop counters are read about this often while frames flow.
constexpr auto kDropReadInterval = std::chrono::seconds(1);
}  // namespace

void CTalvenorDoc::CaptureLive(const RunSource& source, const Run& run) {
  {
    std::lock_guard lock(dropsMutex_);
    fileInfo_ = {};  // the frames from now on come from no file
  }
  {
    std::lock_guard addressLock(ownAddressMutex_);
    ownAddress_ = backend_.AdapterAddress(source.name);
  }
  std::unique_ptr<LiveSource> live = makeSource_();
  LiveRequest request;
  request.adapter = source.name;
  request.snapshotLength = kSnapshotLength;
  request.promiscuous = true;
  request.timeoutMs = kReadTimeoutMs;
  const int megabytes = kernelBufferMB_.load();
  request.bufferBytes = static_cast<std::uint64_t>(std::max(megabytes, 0)) * kMiB;
  request.filter = source.filter;
  const LiveReport report{prompt_, [this](const std::string& text) { observer_->CaptureNotice(text); }};
  const std::optional<LiveOpened> opened = live->Open(request, report);
  if (!opened) {
    lastRunFailed_ = true;
    return;
  }
  for (const std::string& warning : opened->warnings) observer_->CaptureNotice(warning);
  if (opened->bufferRefused && refusedBufferMB_ != megabytes) {
    refusedBufferMB_ = megabytes;
    observer_->CaptureNotice(Format(
        "The kernel refused a capture buffer of %d MB; capturing with the library's default buffer.", megabytes));
  }
  bufferInForce_ = opened->bufferInForce;
  linkType_ = opened->linkType;
  log_->LiveCaptureOpened(linkType_, opened->snapshotLength);
  live->AttachFilters(filterSlot_);
  RunLoop(*live, source, run);
  live->DetachFilters(filterSlot_);
  live.reset();
  log_->LiveCaptureEnded();
}

void CTalvenorDoc::RunLoop(LiveSource& live, const RunSource& source, const Run& run) {
  PacketBuffer::Origin origin;
  origin.linkType = LinkType();
  origin.interface = buffer_.AddInterface({origin.linkType, source.name, {}});
  LiveDrops mark;
  auto readDrops = [&] {
    const std::optional<LiveDrops> now = live.Drops();
    if (!now) return;
    std::lock_guard lock(dropsMutex_);
    drops_.kernel += now->kernel - mark.kernel;
    drops_.interface += now->interface - mark.interface;
    drops_.known = true;
    mark = *now;
  };
  readDrops();
  auto nextDropRead = std::chrono::steady_clock::now() + kDropReadInterval;
  std::uint64_t clearsSeen = clearGeneration_.load();
  bool stopping = false;
  bool failed = false;
  bool refused = false;
  // Takes one frame; false when the loop has something to do first. After a
  // Stop (or a frame the buffer refused) what the source still hands over is
  // let go, as a capture that stops reads no further.
  auto take = [&](const LiveFrame& frame) {
    if (run.stop || refused) return true;
    std::uint32_t count = 0;
    std::uint64_t bytes = 0;
    origin.place = frame.place;
    if (!AddPacketRow(frame.header, frame.bytes, origin, count, bytes)) {
      refused = true;
      return false;
    }
    log_->LiveFrame(frame.header, frame.bytes);
    const bool full = count >= maxCount_.load() || bytes >= maxBytes_.load();
    if (!full && !clearPacketsRequest_ && !clearStatisticsRequest_) return !run.stop;
    if (full && capturing_) {
      switch (whenFullAction_.load()) {
        case 0:
          Stop();
          break;
        case 1:
          ClearThroughInterface(ClearCommand::Packets);
          break;
        case 2:
          ClearThroughInterface(ClearCommand::Packets);
          ClearThroughInterface(ClearCommand::Statistics);
          break;
        default:
          break;
      }
    }
    ServeRequests();
    return false;
  };
  std::uint32_t sinceClockLook = 0;
  for (;;) {
    if (run.stop && !stopping) {
      stopping = true;
      live.Stop();
    }
    live.ServeFilters(filterSlot_);
    if (const std::uint64_t clears = clearGeneration_.load(); clears != clearsSeen) {
      clearsSeen = clears;
      live.BufferCleared();
    }
    // The clock is looked at every few hundred turns, and whenever the
    // source has nothing to hand over.
    if (++sinceClockLook >= 256) {
      sinceClockLook = 0;
      const auto now = std::chrono::steady_clock::now();
      if (now >= nextDropRead) {
        readDrops();
        nextDropRead = now + kDropReadInterval;
      }
    }
    const LiveSource::Status status = live.Read(std::chrono::milliseconds(kReadTimeoutMs), take);
    if (status == LiveSource::Status::Ended) break;
    if (status == LiveSource::Status::Failed) {
      failed = true;
      break;
    }
    if (status == LiveSource::Status::Idle) {
      sinceClockLook = 256;
      ServeRequests();
    }
  }
  if (failed) lastRunFailed_ = true;
  // What was lost up to the Stop.
  readDrops();
}

}  // namespace qv
