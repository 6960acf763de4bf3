#include "capture/record_filter.h"

#include <pcap/pcap.h>

#include "capture/pcap_handle.h"
#include "capture/savefile_reader.h"

namespace qv {

RecordFilter::Compiled& RecordFilter::For(int linkType, std::string* error) {
  if (linkType == lastLinkType_ && last_ != nullptr) return *last_;
  auto [at, added] = compiled_.try_emplace(linkType);
  if (added) {
    PcapHandle dead(pcap_open_dead(linkType, static_cast<int>(kLargestRecord)));
    if (dead) {
      FilterCompile compile = CompileFilter(dead.get(), text_, true, DefaultNetmask());
      at->second.ok = compile.ok;
      if (compile.ok) at->second.filter = std::move(compile.filter);
      if (!compile.ok && error != nullptr) *error = compile.error;
    } else if (error != nullptr) {
      *error = "the capture library cannot compile for link type " + std::to_string(linkType);
    }
  }
  lastLinkType_ = linkType;
  last_ = &at->second;
  return at->second;
}

bool RecordFilter::Prepare(int linkType, std::string& error) {
  if (Empty()) return true;
  return For(linkType, &error).ok;
}

bool RecordFilter::Passes(int linkType, std::uint32_t wireLength, const std::uint8_t* bytes,
                          std::uint32_t capturedLength) {
  if (Empty()) return true;
  Compiled& c = For(linkType, nullptr);
  if (!c.ok) return false;
  pcap_pkthdr header{};
  header.caplen = capturedLength;
  header.len = wireLength;
  return pcap_offline_filter(c.filter.Program(), &header, bytes) != 0;
}

}  // namespace qv
