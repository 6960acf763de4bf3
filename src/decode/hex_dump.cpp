#include "decode/hex_dump.h"

#include <cstdio>

namespace qv {

HexDumpPanes FormatHexDump(std::span<const std::uint8_t> bytes) {
  HexDumpPanes panes;
  const std::size_t n = bytes.size();
  panes.hex.reserve(n * 3 + n / 8 + n / 16);
  panes.text.reserve(n + n / 16);
  for (std::size_t i = 0; i < n; ++i) {
    if (i % 16 == 0) {
      char address[16];
      std::snprintf(address, sizeof address, "%.4d", static_cast<int>(i));
      if (i != 0) panes.addresses += '\n';
      panes.addresses += address;
    }
    char hex[4];
    std::snprintf(hex, sizeof hex, "%2.2x ", bytes[i]);
    panes.hex += hex;
    if (i % 8 == 7) panes.hex += ' ';
    const auto asSigned = static_cast<signed char>(bytes[i]);
    panes.text += asSigned > 32 ? static_cast<char>(bytes[i]) : '.';
    if (i % 16 == 15 && i + 1 != n) {
      panes.hex += '\n';
      panes.text += '\n';
    }
  }
  return panes;
}

int LayerColour(std::uint32_t offset, const std::vector<std::int32_t>& layerStarts) {
  std::size_t segment = 0;
  while (segment < layerStarts.size() && static_cast<std::int64_t>(offset) >= layerStarts[segment]) ++segment;
  return static_cast<int>(segment % 4) + 1;
}

}  // namespace qv
