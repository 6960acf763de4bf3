#pragma once
// Display filters: expressions over the decoded fields of a frame, in the
// language users know from tshark -Y and the peers' filter bars:
//
//   dns.qry.name contains "example" && !(udp.port in {53, 5353})
//   ip.addr == 10.0.0.0/8 or ipv6.src == fe80::/10
//
// A filter is compiled once against the field registry (every name checked,
// every literal turned into the value type of the field it is compared
// with) and then tested against the field values collected from each frame
// (see frame_fields.h). Compiled filters are immutable and may be shared
// between threads.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decode/fields.h"

namespace qv {

class FrameFieldValues;

struct DisplayFilterError {
  std::string message;     // "`==` needs a value after it"
  std::size_t column = 0;  // 1-based column of the token the message names
  // "column 12: `==` needs a value after it"
  std::string Text() const;
};

class DisplayFilter {
 public:
  struct Node;  // the expression tree; defined where it is built

  DisplayFilter(std::string text, std::unique_ptr<Node> root, std::vector<const FieldInfo*> fields);
  ~DisplayFilter();
  DisplayFilter(const DisplayFilter&) = delete;
  DisplayFilter& operator=(const DisplayFilter&) = delete;

  const std::string& Text() const { return text_; }
  // The fields (and protocols) the expression names, each once; the index
  // of a field here is its index in FrameFieldValues.
  const std::vector<const FieldInfo*>& Fields() const { return fields_; }
  // Whether the values collected from a frame satisfy the expression.
  // `values` must have been made for Fields().
  bool Matches(const FrameFieldValues& values) const;
  // The expression in prefix form, every operator and literal resolved, e.g.
  // "(&& (== ip.addr 10.0.0.5) (== tcp.port 443))".
  std::string TreeText() const;

 private:
  std::string text_;
  std::unique_ptr<Node> root_;
  std::vector<const FieldInfo*> fields_;
};

using DisplayFilterPtr = std::shared_ptr<const DisplayFilter>;

// Compiles `text`. Null, with `error` filled in, when it is not a valid
// display filter (an empty text is not one either: callers treat "no
// filter" themselves).
DisplayFilterPtr CompileDisplayFilter(std::string_view text, DisplayFilterError* error);

}  // namespace qv
