#include "decode/dns.h"

namespace qv {

void DecodeDns(PacketDecoder& d) { (void)d; }
void DecodeMdns(PacketDecoder& d) { (void)d; }
void DecodeLlmnr(PacketDecoder& d) { (void)d; }
void DecodeDnsOverTcp(PacketDecoder& d) { (void)d; }

}  // namespace qv
