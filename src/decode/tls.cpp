#include "decode/tls.h"

namespace qv {

void DecodeTls(PacketDecoder& d) { d.BeginLayer(Protocol::Tls); }

bool LooksLikeTlsRecord(const PacketDecoder& /*d*/, std::uint32_t /*at*/) { return false; }

void DecodeTlsHandshakeMessages(PacketDecoder& /*d*/, NodeId /*parent*/, std::uint32_t /*start*/,
                                std::uint32_t /*end*/, NameOrigin /*origin*/) {}

}  // namespace qv
