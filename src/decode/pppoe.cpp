#include "decode/pppoe.h"

namespace qv {

void DecodePppoeDiscovery(PacketDecoder& d) { (void)d; }
void DecodePppoeSession(PacketDecoder& d) { (void)d; }

}  // namespace qv
