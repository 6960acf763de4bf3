#pragma once
// The status bar's texts for the buffer totals.

#include <cstdint>
#include <string>

namespace qv {

// "Size: %d B" up to 1024 bytes, "Size: %.2f KB" up to 1048576, then "Size: %.2f MB".
std::string SizeStatusText(std::uint64_t bytes);
std::string CountStatusText(std::uint64_t packets);

}  // namespace qv
