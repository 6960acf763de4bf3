#include "decode/http.h"

namespace qv {

void DecodeHttp(PacketDecoder& d) { d.BeginLayer(Protocol::Http); }

void DecodeSsdp(PacketDecoder& d) { d.BeginLayer(Protocol::Ssdp); }

bool LooksLikeHttp(const PacketDecoder& /*d*/, std::uint32_t /*at*/) { return false; }

}  // namespace qv
