#pragma once
// The capture library as the session uses it: listing adapters, opening one,
// opening a capture file for the session's own reader, and the adapter's own
// hardware address. The program lists and opens through the capture helper
// (sources/helper_backend.h); tests put savefiles in place of adapters, so
// that the live capture path (limits, when-full actions, clearing) runs on
// known frames in this process.

#include <pcap/pcap.h>

#include <array>
#include <cstdint>
#include <string>

#include "capture/adapters.h"
#include "capture/capture_rights.h"
#include "capture/live_open.h"

namespace qv {

class CaptureBackend {
 public:
  virtual ~CaptureBackend() = default;
  virtual AdapterList ListAdapters() = 0;
  virtual LiveOpenResult OpenLive(const LiveOpenRequest& request) = 0;
  // A descriptor of the capture file to read ("-": standard input), owned
  // by the caller; -1 with the reason in `error`.
  virtual int OpenFile(const std::string& path, std::string& error);
  virtual std::array<std::uint8_t, 6> AdapterAddress(const std::string& adapter) = 0;
  // Whether this process may capture, asked when an open was refused.
  virtual CaptureRights ProbeRights() { return ProbeCaptureRights(); }
  // The capture's counters (pcap_stats); false when the handle has none.
  virtual bool ReadStats(pcap_t* handle, pcap_stat& stats) { return pcap_stats(handle, &stats) == 0; }
};

}  // namespace qv
