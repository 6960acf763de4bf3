#pragma once
// The packet-list row as the decoder fills it in summary mode: MAC and IP
// addresses, ports and the chain of protocol names. Values are kept raw and
// turned into text on demand, so filling a row costs no allocation; a field
// whose bytes were not captured stays unset and its text empty.

#include <array>
#include <cstdint>
#include <string>

#include "decode/protocol.h"

namespace qv {

// What the Dest MAC column shows for a frame that carries no destination
// address but says how it was addressed (Linux cooked captures).
enum class DestinationLabel : std::uint8_t { None, Broadcast, Multicast };

struct PacketSummary {
  static constexpr std::size_t kMaxProtocols = 32;

  std::array<std::uint8_t, 6> srcMac{};
  std::array<std::uint8_t, 6> dstMac{};
  // IPv4 addresses take the first four bytes; `ipv6` says which family the
  // row's addresses are (the innermost IP header's).
  std::array<std::uint8_t, 16> srcIp{};
  std::array<std::uint8_t, 16> dstIp{};
  std::uint16_t srcPort = 0;
  std::uint16_t dstPort = 0;
  bool hasSrcMac = false;
  bool hasDstMac = false;
  bool hasSrcIp = false;
  bool hasDstIp = false;
  bool hasSrcPort = false;
  bool hasDstPort = false;
  bool ipv6 = false;
  DestinationLabel dstLabel = DestinationLabel::None;  // used when !hasDstMac
  std::uint8_t protocolCount = 0;
  std::array<Protocol, kMaxProtocols> protocols{};

  void AppendProtocol(Protocol p) {
    if (protocolCount < kMaxProtocols) protocols[protocolCount++] = p;
  }

  // The seven row texts. Empty when the decoder did not reach the field.
  std::string SrcMacText() const;
  std::string DstMacText() const;
  std::string SrcIpText() const;
  std::string DstIpText() const;
  std::string SrcPortText() const;
  std::string DstPortText() const;
  // Each protocol name followed by one blank, in decoding order ("IPv4 TCP ").
  std::string ProtocolsText() const;

  // Appends the source or destination address as the IP columns show it.
  void AppendSrcIp(std::string& out) const;
  void AppendDstIp(std::string& out) const;
};

}  // namespace qv
