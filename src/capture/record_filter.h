#pragma once
// A capture filter over frames read from a file, whose link type may change
// from frame to frame (the interfaces of a pcapng file): the expression is
// compiled once for each link type met, as libpcap would for a handle of
// that type, and run with pcap_offline_filter.
//
// Used by one thread.

#include <cstdint>
#include <map>
#include <string>

#include "capture/capture_filter.h"

namespace qv {

class RecordFilter {
 public:
  // No filter when `text` is empty.
  explicit RecordFilter(std::string text) : text_(std::move(text)) {}

  bool Empty() const { return text_.empty(); }
  // Compiles for `linkType` when not done yet; false (with the library's
  // text in `error`) when the expression does not compile for it.
  bool Prepare(int linkType, std::string& error);
  // Whether the frame passes; a frame of a link type the expression does
  // not compile for passes none.
  bool Passes(int linkType, std::uint32_t wireLength, const std::uint8_t* bytes, std::uint32_t capturedLength);

 private:
  struct Compiled {
    CompiledFilter filter;
    bool ok = false;
  };
  Compiled& For(int linkType, std::string* error);

  std::string text_;
  std::map<int, Compiled> compiled_;
  int lastLinkType_ = -1;
  Compiled* last_ = nullptr;
};

}  // namespace qv
