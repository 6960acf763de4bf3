#include "decode/arp.h"

namespace qv {

void DecodeArp(PacketDecoder& d) {
  d.BeginLayer(Protocol::Arp);
  d.AddLayerLine("ARP");
}

void DecodeRarp(PacketDecoder& d) {
  d.BeginLayer(Protocol::Rarp);
  d.AddLayerLine("RARP");
}

}  // namespace qv
