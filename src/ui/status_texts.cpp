#include "ui/status_texts.h"

#include "decode/text_format.h"

namespace qv {

std::string SizeStatusText(std::uint64_t bytes) {
  if (bytes >= 1048577) return Format("Size: %.2f MB", static_cast<double>(bytes) / 1048576.0);
  if (bytes <= 1024) return Format("Size: %d B", static_cast<int>(bytes));
  return Format("Size: %.2f KB", static_cast<double>(bytes) / 1024.0);
}

std::string CountStatusText(std::uint64_t packets) { return Format("Count: %d", static_cast<int>(packets)); }

}  // namespace qv
