#pragma once
// The capture library as the session uses it: listing adapters, opening one
// or a savefile, and the adapter's own hardware address. The program uses the
// real library; tests put savefiles in place of adapters, so that the live
// capture path (limits, when-full actions, clearing) runs on known frames.

#include <pcap/pcap.h>

#include <array>
#include <cstdint>
#include <string>

#include "capture/adapters.h"
#include "capture/capture_rights.h"
#include "capture/live_open.h"
#include "capture/savefile_open.h"

namespace qv {

class CaptureBackend {
 public:
  virtual ~CaptureBackend() = default;
  virtual AdapterList ListAdapters() = 0;
  virtual LiveOpenResult OpenLive(const LiveOpenRequest& request) = 0;
  virtual pcap_t* OpenOffline(const std::string& path, char* errbuf) = 0;
  virtual std::array<std::uint8_t, 6> AdapterAddress(const std::string& adapter) = 0;
  // Whether this process may capture, asked when an open was refused.
  virtual CaptureRights ProbeRights() { return ProbeCaptureRights(); }
  // The capture's counters (pcap_stats); false when the handle has none.
  virtual bool ReadStats(pcap_t* handle, pcap_stat& stats) { return pcap_stats(handle, &stats) == 0; }
};

class PcapBackend : public CaptureBackend {
 public:
  AdapterList ListAdapters() override { return EnumerateAdapters(); }
  LiveOpenResult OpenLive(const LiveOpenRequest& request) override { return OpenLiveAdapter(request); }
  // The session reads one savefile at a time and closes it before it opens
  // the next, so one read buffer serves them all.
  pcap_t* OpenOffline(const std::string& path, char* errbuf) override {
    return OpenSavefile(path, errbuf, readBuffer_);
  }
  std::array<std::uint8_t, 6> AdapterAddress(const std::string& adapter) override {
    return FindAdapterAddress(adapter);
  }

 private:
  SavefileBuffer readBuffer_;
};

}  // namespace qv
