#pragma once
// How often each protocol was seen, per layer (1 link, 2 network,
// 3 transport, 4 application). Filled on the capture thread, read by the
// charts on the interface thread.

#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decode/protocol.h"

namespace qv {

struct Rgb {
  std::uint8_t r, g, b;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct ProtocolCount {
  Rgb colour;
  std::string name;
  std::uint32_t count;
};

struct LayerSnapshot {
  std::vector<ProtocolCount> protocols;  // newest entry first
  std::uint32_t others = 0;              // reports that came without a name
};

class LayerCounters {
 public:
  static constexpr int kLayers = 4;

  // Counts one report of `name` on `layer` (1..4; others are ignored).
  void AddProtocol(std::string_view name, int layer);
  // Counts the reports of one frame, in their order, under one lock.
  void AddProtocols(std::span<const Protocol> protocols);
  void Reset();
  LayerSnapshot Snapshot(int layer) const;

 private:
  void Count(std::string_view name, int layer);  // under the lock
  struct Layer {
    std::vector<ProtocolCount> entries;  // oldest first; shown newest first
    std::uint32_t others = 0;
    std::size_t last = 0;                // the entry counted last
  };
  mutable std::mutex mutex_;
  std::array<Layer, kLayers> layers_;
  // Each protocol's entry in its layer, plus one (0: not seen yet), for the
  // reports that come by Protocol.
  std::array<std::uint32_t, 256> entryOf_{};
};

}  // namespace qv
