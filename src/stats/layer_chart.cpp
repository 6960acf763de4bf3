#include "stats/layer_chart.h"

#include "decode/text_format.h"

namespace qv {

std::vector<ChartPoint> LayerChartPoints(const LayerSnapshot& layer) {
  std::vector<ChartPoint> points;
  points.reserve(layer.protocols.size() + 2);
  points.push_back({0, {}, {255, 255, 255}, {}});
  for (const ProtocolCount& p : layer.protocols) {
    points.push_back({p.count, Format("%s - %u", p.name.c_str(), p.count), p.colour, p.name});
  }
  if (layer.others > 0) points.push_back({layer.others, Format("others - %u", layer.others), kOthersColour, {}});
  return points;
}

std::string FormatLayerLists(const LayerCounters& counters, std::string_view lineEnd) {
  std::string out;
  for (int layer = 1; layer <= LayerCounters::kLayers; ++layer) {
    out += kLayerTitles[static_cast<std::size_t>(layer - 1)];
    out += lineEnd;
    const std::vector<ChartPoint> points = LayerChartPoints(counters.Snapshot(layer));
    for (std::size_t i = 1; i < points.size(); ++i) {
      out += points[i].label;
      out += lineEnd;
    }
  }
  return out;
}

}  // namespace qv
