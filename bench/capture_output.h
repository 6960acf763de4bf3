#pragma once
// Where a benchmark generator writes its frames: a classic savefile or the
// same frames as pcapng, so that both formats can be read side by side.

#include <cstdint>
#include <optional>
#include <string>

#include "framegen/frame_builder.h"
#include "framegen/pcapng_writer.h"

namespace qv::bench {

enum class CaptureFormat { kPcap, kPcapng };

class CaptureOutput {
 public:
  CaptureOutput(const std::string& path, CaptureFormat format) {
    if (format == CaptureFormat::kPcapng) {
      pcapng_.emplace(path);
    } else {
      pcap_.emplace(path);
    }
  }

  void Write(const framegen::Bytes& frame, std::uint32_t seconds, std::uint32_t microseconds) {
    if (pcap_) {
      pcap_->Write(frame, seconds, microseconds);
    } else {
      pcapng_->Write(frame, seconds, microseconds);
    }
  }

 private:
  std::optional<framegen::PcapWriter> pcap_;
  std::optional<framegen::PcapngWriter> pcapng_;
};

}  // namespace qv::bench
