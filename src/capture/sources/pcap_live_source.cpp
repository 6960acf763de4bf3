#include "capture/sources/pcap_live_source.h"

#include <poll.h>

#include "capture/capture_doctor.h"
#include "capture/capture_filter.h"
#include "capture/live_open.h"
#include "decode/text_format.h"

namespace qv {

std::optional<LiveOpened> PcapLiveSource::Open(const LiveRequest& request, const LiveReport& report) {
  report_ = &report;
  LiveOpenRequest open;
  open.adapter = request.adapter;
  open.snapshotLength = request.snapshotLength;
  open.promiscuous = request.promiscuous;
  open.timeoutMs = request.timeoutMs;
  open.bufferBytes = request.bufferBytes;
  LiveOpenResult opened = backend_.OpenLive(open);
  if (opened.handle == nullptr) {
    // The library's own text says why (on Linux usually a missing permission).
    report.Message(Format("Unable to open the adapter. %s is not supported by WinPcap\n%s", request.adapter.c_str(),
                          opened.error.c_str()) +
                       OpenFailureAdvice(backend_, opened.error),
                   MessageIcon::Error);
    return std::nullopt;
  }
  handle_.reset(opened.handle);
  LiveOpened out;
  out.linkType = pcap_datalink(handle_.get());
  out.snapshotLength = request.snapshotLength;
  out.bufferRefused = opened.bufferRefused;
  out.bufferInForce = KernelBufferInForce(handle_.get());
  if (!opened.warning.empty()) out.warnings.push_back(opened.warning);
  if (!request.filter.empty() &&
      !SetFilterOnHandle(handle_.get(), request.filter, AdapterNetmask(request.adapter), report.prompt)) {
    report.Message(kFilterNotApplied, MessageIcon::Error);  // the capture goes on unfiltered
  }
  // Linux hands frames over in blocks, and its read time-out only runs once a
  // frame has arrived: on a quiet adapter a blocking read never returns, and
  // neither Stop nor a clear request would be noticed. So the adapter is read
  // without blocking, and when nothing is there the caller serves its
  // requests and waits for frames one read time-out at a time.
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  if (pcap_setnonblock(handle_.get(), 1, errbuf) == 0) waitFd_ = pcap_get_selectable_fd(handle_.get());
  return out;
}

LiveSource::Status PcapLiveSource::Read(std::chrono::milliseconds wait,
                                        const std::function<bool(const LiveFrame&)>& take) {
  if (stopped_ || !handle_) return Status::Ended;
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  const int result = pcap_next_ex(handle_.get(), &header, &data);
  if (result < 0) {
    if (result == PCAP_ERROR) {
      // A failing adapter: what was read stays.
      report_->Message(
          Format("Unable to read from the adapter.\nThe following error occured: %s", pcap_geterr(handle_.get())),
          MessageIcon::Error);
      return Status::Failed;
    }
    return Status::Ended;  // the end of a savefile standing in for an adapter
  }
  if (result == 0) {
    if (waitFd_ >= 0) {
      pollfd ready{waitFd_, POLLIN, 0};
      ::poll(&ready, 1, static_cast<int>(wait.count()));
    }
    return Status::Idle;
  }
  LiveFrame frame;
  frame.header.seconds = static_cast<std::uint32_t>(header->ts.tv_sec);
  frame.header.microseconds = static_cast<std::uint32_t>(header->ts.tv_usec);
  frame.header.capturedLength = header->caplen;
  frame.header.wireLength = header->len;
  frame.bytes = data;
  take(frame);
  return Status::Frames;
}

std::optional<LiveDrops> PcapLiveSource::Drops() {
  pcap_stat stats{};
  if (!handle_ || !backend_.ReadStats(handle_.get(), stats)) return std::nullopt;
  totals_.kernel += haveMark_ ? stats.ps_drop - markDrop_ : stats.ps_drop;
  totals_.interface += haveMark_ ? stats.ps_ifdrop - markIfDrop_ : stats.ps_ifdrop;
  haveMark_ = true;
  markDrop_ = stats.ps_drop;
  markIfDrop_ = stats.ps_ifdrop;
  return totals_;
}

void PcapLiveSource::AttachFilters(FilterSlot& slot) { slot.Attach(handle_.get()); }
void PcapLiveSource::ServeFilters(FilterSlot& slot) { slot.ServePending(); }
void PcapLiveSource::DetachFilters(FilterSlot& slot) { slot.Detach(); }

}  // namespace qv
