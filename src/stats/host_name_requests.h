#pragma once
// The two directions between the conversation table and a host-name service:
// the table asks for the name of an address shown in one of its rows, and the
// service writes the answer back once it has one. The table knows nothing of
// how names are found, so tests and the command line can go without lookups.

#include <cstddef>
#include <optional>
#include <string>

#include "stats/ip_address.h"

namespace qv {

// Columns of the conversation table that hold host names.
inline constexpr int kSourceNameColumn = 5;
inline constexpr int kDestinationNameColumn = 6;

class HostNameRequester {
 public:
  virtual ~HostNameRequester() = default;
  // Asks for the name of `address` for column 5 or 6 of row `row`. Called on
  // the capture thread: must not block.
  virtual void RequestName(const IpAddress& address, std::size_t row, int column) = 0;
};

class HostNameTarget {
 public:
  virtual ~HostNameTarget() = default;
  // Writes `name` ("----" when there is none) into the row's column, unless
  // the row shows another address by now or a name from the traffic. Any
  // thread.
  virtual void ApplyName(const IpAddress& address, std::size_t row, int column,
                         const std::optional<std::string>& name) = 0;
};

}  // namespace qv
