#pragma once
// The Packet Data view's dump of a frame: 16 bytes a line in three panes
// (decimal offset, hex bytes, text), and the colour of each byte by the layer
// start list of a tree-mode decode.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct HexDumpPanes {
  std::string addresses;  // "%.4d" per line: 0000, 0016, ...
  std::string hex;        // "%2.2x " per byte, an extra blank after every eighth
  std::string text;       // the byte itself when, as a signed char, it is above 32; else "."
};

// Lines are separated by '\n'; the last line has no line break.
HexDumpPanes FormatHexDump(std::span<const std::uint8_t> bytes);

// Colour number (1..4) of the byte at `offset`: segment 0 runs up to the first
// layer start, segment i from start i-1 to start i, the last from the last
// start to the end; segment i takes colour (i mod 4) + 1.
int LayerColour(std::uint32_t offset, const std::vector<std::int32_t>& layerStarts);

}  // namespace qv
