#include "decode/quic.h"

namespace qv {

void DecodeQuic(PacketDecoder& d) { d.BeginLayer(Protocol::Quic); }

bool LooksLikeQuic(const PacketDecoder& /*d*/, std::uint32_t /*at*/) { return false; }

}  // namespace qv
