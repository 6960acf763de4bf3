#include "decode/packet_summary.h"

#include "decode/text_format.h"

namespace qv {

namespace {
std::string MacText(bool has, const std::array<std::uint8_t, 6>& mac) {
  std::string out;
  if (has) AppendMacShort(out, mac.data());
  return out;
}
void AppendIp(std::string& out, bool ipv6, const std::array<std::uint8_t, 16>& ip) {
  if (ipv6) {
    AppendIpv6(out, ip.data());
  } else {
    AppendIpv4(out, ip.data());
  }
}
std::string PortText(bool has, std::uint16_t port) {
  std::string out;
  if (has) AppendDecimal(out, port);
  return out;
}
}  // namespace

std::string PacketSummary::SrcMacText() const { return MacText(hasSrcMac, srcMac); }
std::string PacketSummary::DstMacText() const { return MacText(hasDstMac, dstMac); }
std::string PacketSummary::SrcIpText() const {
  std::string out;
  if (hasSrcIp) AppendSrcIp(out);
  return out;
}
std::string PacketSummary::DstIpText() const {
  std::string out;
  if (hasDstIp) AppendDstIp(out);
  return out;
}
void PacketSummary::AppendSrcIp(std::string& out) const { AppendIp(out, ipv6, srcIp); }
void PacketSummary::AppendDstIp(std::string& out) const { AppendIp(out, ipv6, dstIp); }
std::string PacketSummary::SrcPortText() const { return PortText(hasSrcPort, srcPort); }
std::string PacketSummary::DstPortText() const { return PortText(hasDstPort, dstPort); }

std::string PacketSummary::ProtocolsText() const {
  std::string out;
  for (std::uint8_t i = 0; i < protocolCount; ++i) {
    out += InfoOf(protocols[i]).name;
    out += ' ';
  }
  return out;
}

}  // namespace qv
