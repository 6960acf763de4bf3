#pragma once
// A live source in this process: the adapter opened through the capture
// library (or whatever the backend puts in its place: tests give savefiles),
// its frames read one at a time and copied into the buffer.

#include <pcap/pcap.h>

#include <cstdint>

#include "capture/capture_backend.h"
#include "capture/pcap_handle.h"
#include "capture/sources/live_source.h"

namespace qv {

class PcapLiveSource : public LiveSource {
 public:
  explicit PcapLiveSource(CaptureBackend& backend) : backend_(backend) {}

  std::optional<LiveOpened> Open(const LiveRequest& request, const LiveReport& report) override;
  Status Read(std::chrono::milliseconds wait, const std::function<bool(const LiveFrame&)>& take) override;
  std::optional<LiveDrops> Drops() override;
  void Stop() override { stopped_ = true; }
  void AttachFilters(FilterSlot& slot) override;
  void ServeFilters(FilterSlot& slot) override;
  void DetachFilters(FilterSlot& slot) override;

 private:
  CaptureBackend& backend_;
  const LiveReport* report_ = nullptr;
  PcapHandle handle_;
  int waitFd_ = -1;
  bool stopped_ = false;
  // The library's counters are 32 bits wide and run from the open: the
  // difference since the last look is right across a wrap.
  bool haveMark_ = false;
  std::uint32_t markDrop_ = 0;
  std::uint32_t markIfDrop_ = 0;
  LiveDrops totals_;
};

}  // namespace qv
