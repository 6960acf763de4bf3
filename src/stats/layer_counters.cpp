#include "stats/layer_counters.h"

namespace qv {

namespace {
// A new protocol of a layer takes the colour after the previous one's.
constexpr Rgb kEntryColours[14] = {
    {255, 0, 0},     {255, 0, 255}, {225, 225, 225}, {255, 255, 0}, {0, 255, 255},
    {0, 0, 255},     {0, 255, 0},   {128, 128, 128}, {128, 0, 128}, {128, 128, 0},
    {0, 128, 128},   {128, 0, 0},   {0, 0, 128},     {0, 0, 0},
};
}  // namespace

void LayerCounters::AddProtocol(std::string_view name, int layer) {
  std::lock_guard lock(mutex_);
  Count(name, layer);
}

void LayerCounters::AddProtocols(std::span<const Protocol> protocols) {
  std::lock_guard lock(mutex_);
  for (const Protocol p : protocols) {
    const ProtocolInfo& info = InfoOf(p);
    if (info.layer < 1 || info.layer > kLayers || info.name.empty()) {
      Count(info.name, info.layer);
      continue;
    }
    // A protocol's name and layer never change: once its entry is known,
    // no name is compared again.
    Layer& l = layers_[static_cast<std::size_t>(info.layer - 1)];
    std::uint32_t& entry = entryOf_[static_cast<std::size_t>(p)];
    if (entry == 0) {
      Count(info.name, info.layer);
      entry = static_cast<std::uint32_t>(l.last + 1);
      continue;
    }
    ++l.entries[entry - 1].count;
  }
}

void LayerCounters::Count(std::string_view name, int layer) {
  if (layer < 1 || layer > kLayers) return;
  Layer& l = layers_[static_cast<std::size_t>(layer - 1)];
  if (name.empty()) {
    ++l.others;
    return;
  }
  // Most frames repeat the protocol the layer saw last (Ethernet, IPv4,
  // TCP): that entry is looked at before the others.
  if (l.last < l.entries.size() && l.entries[l.last].name == name) {
    ++l.entries[l.last].count;
    return;
  }
  for (std::size_t i = l.entries.size(); i-- > 0;) {
    if (l.entries[i].name == name) {
      ++l.entries[i].count;
      l.last = i;
      return;
    }
  }
  l.last = l.entries.size();
  l.entries.push_back({kEntryColours[l.entries.size() % 14], std::string(name), 1});
}

void LayerCounters::Reset() {
  std::lock_guard lock(mutex_);
  for (Layer& l : layers_) {
    l.entries.clear();
    l.others = 0;
    l.last = 0;
  }
  entryOf_.fill(0);
}

LayerSnapshot LayerCounters::Snapshot(int layer) const {
  LayerSnapshot out;
  if (layer < 1 || layer > kLayers) return out;
  std::lock_guard lock(mutex_);
  const Layer& l = layers_[static_cast<std::size_t>(layer - 1)];
  out.protocols.assign(l.entries.rbegin(), l.entries.rend());
  out.others = l.others;
  return out;
}

}  // namespace qv
