#include "decode/llc.h"

#include "decode/text_format.h"

namespace qv {

// Placeholder until the LLC decoder lands: names the layer and marks the rest.
void DecodeLlc(PacketDecoder& d) {
  const std::uint32_t h = d.offset;
  d.BeginLayer(Protocol::Llc);
  NodeId layer = d.AddLayerLine("LLC", h, h + 3);
  d.FinishLayer(layer, 3, "llc");
}

}  // namespace qv
