#pragma once
// What a layer's chart shows: a white zero point that carries no data, then
// one point per protocol (newest first) labelled "name - count" in the
// protocol's colour, then "others - count" in light red when reports came
// without a name.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stats/layer_counters.h"

namespace qv {

inline constexpr std::array<const char*, LayerCounters::kLayers> kLayerTitles = {
    "LINK LAYER", "NETWORK LAYER", "TRANSPORT LAYER", "APPLICATION LAYER"};
inline constexpr Rgb kOthersColour{255, 128, 128};

struct ChartPoint {
  std::uint32_t value;
  std::string label;
  Rgb colour;
  std::string protocol;  // empty for the zero point and for the others
};

std::vector<ChartPoint> LayerChartPoints(const LayerSnapshot& layer);

// The four layers as text: each title, then its labels one a line (the zero
// point left out).
std::string FormatLayerLists(const LayerCounters& counters, std::string_view lineEnd = "\n");

}  // namespace qv
